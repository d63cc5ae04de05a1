#pragma once
// The parameters of an ESC by name: every control the family's write frame carries has a
// stable ASCII name (lowercase words of its English caption joined by hyphens, the same in
// both languages, unique among the parameters of one ESC), and a numeric parameter says
// which values it can store. The window and the command line share these names.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/form.h"
#include "settings/esc_info.h"

namespace settings {

// The name of an ESC family ("Car Turbo"); "unknown" for a code outside 1 … 9.
std::string_view familyName(uint8_t family);

struct NamedParameter {
    form::ControlId control = 0;
    std::string_view name;
    // The control holding its caption in the form; 0 when it has none of its own.
    form::ControlId caption = 0;
    bool isList = false;
    // The up-down that sets a numeric parameter's edit; 0 for a list or an edit without one.
    form::ControlId spin = 0;
};

// The parameters the ESC's write frame carries, in the order of carriedControls(esc).
// Empty for a family code outside 1 … 9.
std::vector<NamedParameter> namedParameters(const EscInfo& esc);

// The parameter of that name (ASCII letters in any case); nullptr-like empty optional for
// a name the ESC's family does not carry.
std::optional<NamedParameter> findParameter(const EscInfo& esc, std::string_view name);
// The parameter a control is; none when the ESC's write frame does not carry it.
std::optional<NamedParameter> parameterOfControl(const EscInfo& esc, form::ControlId control);

// Lowercase ASCII words of a caption joined by hyphens ("Cut-off Voltage" gives
// "cut-off-voltage"); characters other than ASCII letters and digits separate words.
std::string nameFromCaption(std::string_view caption);

// Up to `count` of `candidates` nearest to `typed` (by edit distance, ASCII case ignored),
// nearest first; only those within half the length of the longer of the two.
std::vector<std::string> nearestNames(const std::vector<std::string>& candidates,
                                      std::string_view typed, std::size_t count);

// What the ESC stores when a numeric parameter is sent with `value`: the value read back
// after the family's coding of that control. `calcResult` is the calculator's result that
// scales the governor. None for a control the write frame does not carry as a number.
std::optional<int64_t> storedNumber(const EscInfo& esc, form::ControlId control, int64_t value,
                                    int64_t calcResult);

// The storable values nearest to `value` within low … high: the greatest below it and the
// least above it (either may be missing at the ends of the range).
struct NearestValues {
    std::optional<int64_t> below;
    std::optional<int64_t> above;
};
NearestValues nearestStorable(const EscInfo& esc, form::ControlId control, int64_t value,
                              int64_t low, int64_t high, int64_t calcResult);

}  // namespace settings
