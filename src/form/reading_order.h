#pragma once
// The order a reader takes through a form: top to bottom, and left to right within a row,
// with the controls inside a group box or frame read together, where the group stands.
// The window's Tab key follows it.

#include <span>
#include <vector>

#include "form/form.h"

namespace form {

// Controls whose tops lie this close (in pixels, 6 dialog units) stand in one row.
inline constexpr int kReadingRowTolerance = 12;

struct PlacedControl {
    ControlId id;
    Rect rect;
};

// The identifiers of `controls` in reading order. A control belongs to the smallest of
// `groups` that holds its centre; a group is read where its own rectangle stands, its
// controls one after the other in their reading order.
std::vector<ControlId> readingOrder(std::span<const PlacedControl> controls,
                                    std::span<const Rect> groups);

}  // namespace form
