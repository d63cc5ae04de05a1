#include "form/reading_order.h"

#include <algorithm>
#include <cstdint>

namespace form {
namespace {

bool holds(const Rect& outer, int x, int y) {
    return x >= outer.left && x < outer.right && y >= outer.top && y < outer.bottom;
}

int64_t area(const Rect& r) {
    return static_cast<int64_t>(r.width()) * r.height();
}

// Sorts `items` (anything with a rect) top to bottom in rows, left to right in a row.
template <typename T, typename RectOf>
void sortByReading(std::vector<T>& items, RectOf rectOf) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return rectOf(a).top < rectOf(b).top; });
    auto rowStart = items.begin();
    while (rowStart != items.end()) {
        const int rowTop = rectOf(*rowStart).top;
        auto rowEnd = std::find_if(rowStart, items.end(), [&](const T& item) {
            return rectOf(item).top > rowTop + kReadingRowTolerance;
        });
        std::stable_sort(rowStart, rowEnd,
                         [&](const T& a, const T& b) { return rectOf(a).left < rectOf(b).left; });
        rowStart = rowEnd;
    }
}

}  // namespace

std::vector<ControlId> readingOrder(std::span<const PlacedControl> controls,
                                    std::span<const Rect> groups) {
    struct Unit {
        Rect rect;
        std::vector<PlacedControl> members;
    };
    std::vector<Unit> units;
    std::vector<int> unitOfGroup(groups.size(), -1);
    for (const PlacedControl& control : controls) {
        const int x = control.rect.left + control.rect.width() / 2;
        const int y = control.rect.top + control.rect.height() / 2;
        int group = -1;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (holds(groups[g], x, y) &&
                (group < 0 || area(groups[g]) < area(groups[static_cast<std::size_t>(group)])))
                group = static_cast<int>(g);
        }
        if (group < 0) {
            units.push_back(Unit{control.rect, {control}});
            continue;
        }
        int& unit = unitOfGroup[static_cast<std::size_t>(group)];
        if (unit < 0) {
            unit = static_cast<int>(units.size());
            units.push_back(Unit{groups[static_cast<std::size_t>(group)], {}});
        }
        units[static_cast<std::size_t>(unit)].members.push_back(control);
    }
    sortByReading(units, [](const Unit& u) -> const Rect& { return u.rect; });
    std::vector<ControlId> order;
    order.reserve(controls.size());
    for (Unit& unit : units) {
        sortByReading(unit.members, [](const PlacedControl& c) -> const Rect& { return c.rect; });
        for (const PlacedControl& c : unit.members) order.push_back(c.id);
    }
    return order;
}

}  // namespace form
