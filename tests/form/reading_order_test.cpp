#include "form/reading_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace form {
namespace {

Rect at(int left, int top, int width = 100, int height = 24) {
    return Rect{left, top, left + width, top + height};
}

struct OrderCase {
    const char* name;
    std::vector<PlacedControl> controls;  // given in an order unlike the reading
    std::vector<Rect> groups;
    std::vector<ControlId> order;
};

const OrderCase kOrderCases[] = {
    {"rows top to bottom, left to right in a row",
     {{4, at(200, 60)}, {1, at(10, 10)}, {3, at(10, 60)}, {2, at(200, 10)}},
     {},
     {1, 2, 3, 4}},
    {"tops a few pixels apart still form one row",
     {{2, at(200, 154)}, {1, at(10, 160)}, {3, at(400, 152)}},
     {},
     {1, 2, 3}},
    {"tops further apart than the tolerance are rows of their own",
     {{1, at(200, 100)}, {2, at(10, 100 + kReadingRowTolerance + 1)}},
     {},
     {1, 2}},
    {"a group's controls are read together, where the group stands",
     {{1, at(10, 10)}, {2, at(10, 60)}, {3, at(300, 10)}},
     {Rect{0, 0, 150, 100}},
     {1, 2, 3}},
    {"a control belongs to the smallest group that holds it",
     {{3, at(320, 10)}, {1, at(10, 10)}, {2, at(10, 60)}, {4, at(320, 60)}},
     {Rect{0, 0, 600, 100}, Rect{300, 0, 450, 100}},
     {1, 2, 3, 4}},
};

TEST(ReadingOrder, GoesByRowsAndKeepsGroupsTogether) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readingOrder(c.controls, c.groups), c.order);
    }
}

}  // namespace
}  // namespace form
