#include "settings/parameter_names.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "form/control_ids.h"
#include "settings/codec_rules.h"
#include "settings/families.h"

namespace settings {
namespace {

using namespace form;

constexpr std::size_t kFamilySlots = 10;  // indexed by family code 1 … 9

// One parameter control: its caption and spin, and its name in each family (the name
// of its English caption there). A family without a name of its own takes `name`.
struct NameRow {
    ControlId control;
    ControlId caption;
    ControlId spin;
    bool isList;
    const char* name;
    std::array<const char*, kFamilySlots> byFamily;
};

// Family codes:            -    1 Air    2 CarBasic 3 CarTurbo 4 AirBec  5 Multi   6 Boat
//                          7 Abc     8 CarFull  9 Water
const NameRow kNameRows[] = {
    {kComboCutoffVoltage,
     kLabelCutoffVoltage,
     0,
     true,
     "cut-off-voltage",
     {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "governor-mode", nullptr,
      nullptr}},
    {kComboBraking,
     kLabelBraking,
     0,
     true,
     "brake-strength",
     {nullptr, "brake", nullptr, nullptr, "brake", "brake", nullptr, "battery-type", nullptr,
      nullptr}},
    {kComboRunMode,
     kLabelRunMode,
     0,
     true,
     "running-mode",
     {nullptr, "flight-mode", nullptr, nullptr, "flight-mode", nullptr, nullptr, nullptr, nullptr,
      nullptr}},
    {kComboDragBrake,
     kLabelDragBrake,
     0,
     true,
     "drag-brake",
     {nullptr, nullptr, nullptr, nullptr, nullptr, "active-braking", nullptr, "cut-off-voltage",
      nullptr, nullptr}},
    {kComboMotorTiming, kLabelMotorTiming, 0, true, "motor-timing", {}},
    {kComboStartAccel,
     kLabelStartAccel,
     0,
     true,
     "start-up-acceleration",
     {nullptr, "start-mode", nullptr, nullptr, "start-mode", "start-mode", nullptr, "brake",
      nullptr, nullptr}},
    {kComboThrottlePercent,
     kLabelThrottlePercent,
     0,
     true,
     "reverse-throttle",
     {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "motor-rotation", nullptr,
      nullptr}},
    {kComboThrottleLimit,
     kLabelThrottleLimit,
     0,
     true,
     "throttle-limit",
     {nullptr, "throttle-range", nullptr, nullptr, "throttle-range", nullptr, nullptr,
      "motor-timing", nullptr, nullptr}},
    {kComboNeutralRange,
     kLabelNeutralRange,
     0,
     true,
     "neutral-range",
     {nullptr, "throttle-response", nullptr, nullptr, "throttle-response", nullptr, nullptr,
      "start-mode", nullptr, nullptr}},
    {kComboTurboTiming, kLabelTurboTiming, 0, true, "turbo-timing", {}},
    {kComboBoostStartRpm, kLabelBoostStartRpm, 0, true, "boost-start-rpm", {}},
    {kComboTurboDelay, kLabelTurboDelay, 0, true, "turbo-delay", {}},
    {kComboMotorRotation,
     kLabelMotorRotation,
     0,
     true,
     "motor-rotation",
     {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "cut-off-type", nullptr,
      nullptr}},
    {kComboBatteryType, kLabelBatteryType, 0, true, "battery-type", {}},
    {kComboBecVoltage, kLabelBecVoltage, 0, true, "bec-voltage", {}},
    {kComboStartPower, kLabelStartPower, 0, true, "start-power", {}},
    {kEditMinThrottle, kLabelMinThrottle, kSpinMinThrottle, false, "min-throttle", {}},
    {kEditMaxThrottle, kLabelMaxThrottle, kSpinMaxThrottle, false, "max-throttle", {}},
    {kEditCenterThrottle, kLabelCenterThrottle, kSpinCenterThrottle, false, "neutral-throttle", {}},
    {kEditBrakeValue,
     kLabelBraking,
     kSpinBrakeValue,
     false,
     "brake-strength",
     {nullptr, "brake", nullptr, nullptr, "brake", "brake", nullptr, nullptr, nullptr, nullptr}},
    {kEditLowEndPoint, 0, kSpinLowEndPoint, false, "low-end-point", {}},
    {kEditHighEndPoint, 0, kSpinHighEndPoint, false, "high-end-point", {}},
    {kEditGovernor, kLabelThrottlePercent, 0, false, "governor-rpm", {}},
};

const NameRow* rowOf(ControlId control) {
    for (const NameRow& row : kNameRows) {
        if (row.control == control)
            return &row;
    }
    return nullptr;
}

NamedParameter named(const NameRow& row, uint8_t family) {
    const char* name =
        family < kFamilySlots && row.byFamily[family] != nullptr ? row.byFamily[family] : row.name;
    return NamedParameter{row.control, name, row.caption, row.isList, row.spin};
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution =
                previous[j - 1] + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::optional<Coding> numberCodingOf(const EscInfo& esc, ControlId control) {
    const std::optional<FrameLayout> layout = writeLayoutFor(esc);
    if (!layout)
        return std::nullopt;
    for (std::size_t s = 0; s < layout->segmentCount; ++s) {
        for (const CodecRow& row : layout->segments[s]) {
            if (row.control == control && row.position != 0 && !codingReadsSelection(row.coding) &&
                !codingIsFormAction(row.coding) && row.coding != Coding::Constant &&
                row.coding != Coding::StartPowerNumber)
                return row.coding;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view familyName(uint8_t family) {
    static constexpr std::array<std::string_view, kFamilySlots> kNames = {
        "unknown",    "Air",  "Car Basic", "Car Turbo", "Air BEC",
        "Multirotor", "Boat", "ABC",       "Car Full",  "Water"};
    return family < kFamilySlots ? kNames[family] : kNames[0];
}

std::vector<NamedParameter> namedParameters(const EscInfo& esc) {
    std::vector<NamedParameter> parameters;
    for (const ControlId control : carriedControls(esc)) {
        if (const NameRow* row = rowOf(control))
            parameters.push_back(named(*row, esc.family));
    }
    return parameters;
}

std::optional<NamedParameter> findParameter(const EscInfo& esc, std::string_view name) {
    for (const NamedParameter& parameter : namedParameters(esc)) {
        if (equalIgnoringCase(parameter.name, name))
            return parameter;
    }
    return std::nullopt;
}

std::optional<NamedParameter> parameterOfControl(const EscInfo& esc, ControlId control) {
    for (const NamedParameter& parameter : namedParameters(esc)) {
        if (parameter.control == control)
            return parameter;
    }
    return std::nullopt;
}

std::string nameFromCaption(std::string_view caption) {
    std::string name;
    bool gap = false;
    for (const char c : caption) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!word) {
            gap = !name.empty();
            continue;
        }
        if (gap)
            name += '-';
        gap = false;
        name += lower(c);
    }
    return name;
}

std::vector<std::string> nearestNames(const std::vector<std::string>& candidates,
                                      std::string_view typed, std::size_t count) {
    std::vector<std::pair<std::size_t, std::string>> scored;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = editDistance(candidate, typed);
        if (distance * 2 <= std::max(candidate.size(), typed.size()))
            scored.emplace_back(distance, candidate);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> nearest;
    for (std::size_t i = 0; i < scored.size() && i < count; ++i)
        nearest.push_back(scored[i].second);
    return nearest;
}

std::optional<int64_t> storedNumber(const EscInfo& esc, ControlId control, int64_t value,
                                    int64_t calcResult) {
    const std::optional<Coding> coding = numberCodingOf(esc, control);
    if (!coding || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    const auto v = static_cast<int32_t>(value);
    switch (*coding) {
        case Coding::Step4:
        case Coding::Step4From1000:
        case Coding::ValueMinusOne:
            return decodeNumber(*coding, encodeNumber(*coding, v));
        case Coding::MinimumThrottle: {
            const MinimumThrottleCode code = encodeMinimumThrottle(v);
            return decodeMinimumThrottle(code.byte, code.minIs1004);
        }
        case Coding::CarMaximumThrottle:
            return decodeCarMaximumThrottle(encodeCarMaximumThrottle(v, esc.major));
        case Coding::WaterMaximumThrottle: {
            const bool build229 = isBuild229(esc);
            const WaterMaximumCode code = encodeWaterMaximumThrottle(v, build229);
            const uint8_t mark =
                code.mark != nullptr ? static_cast<uint8_t>(leadingNumber(code.mark)) : 0;
            return decodeWaterMaximumThrottle(code.byte, build229, mark);
        }
        case Coding::Governor: {
            const GovernorBytes bytes = encodeGovernor(v, calcResult);
            return decodeGovernor(bytes.low, bytes.high, calcResult);
        }
        default:
            return std::nullopt;
    }
}

NearestValues nearestStorable(const EscInfo& esc, ControlId control, int64_t value, int64_t low,
                              int64_t high, int64_t calcResult) {
    // The codings store steps of a few units; the governor's of at most calcResult / 4096
    // or so. A walk of this many values either way finds a neighbour of every coding.
    constexpr int64_t kWalk = 1 << 16;
    NearestValues nearest;
    const auto storable = [&](int64_t v) {
        const std::optional<int64_t> stored = storedNumber(esc, control, v, calcResult);
        return stored && *stored == v;
    };
    for (int64_t v = std::min(value - 1, high); v >= low && v >= value - kWalk; --v) {
        if (storable(v)) {
            nearest.below = v;
            break;
        }
    }
    for (int64_t v = std::max(value + 1, low); v <= high && v <= value + kWalk; ++v) {
        if (storable(v)) {
            nearest.above = v;
            break;
        }
    }
    return nearest;
}

}  // namespace settings
