// Parameters by name: every carried control of every family layout has one name, unique
// within the ESC; a numeric parameter refuses the values its coding would not keep.

#include "settings/parameter_names.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "settings/calculator.h"
#include "settings/families.h"

namespace settings {
namespace {

TEST(ParameterNames, EveryCarriedControlHasOneWellFormedUniqueName) {
    const EscInfo layouts[] = {
        {.family = 1},
        {.family = 4},
        {.family = 2, .major = 2, .settingsLength = 11},
        {.family = 2, .major = 1, .settingsLength = 11},
        {.family = 3, .major = 1, .settingsLength = 14},
        {.family = 8, .major = 1, .settingsLength = 13},
        {.family = 8, .major = 2, .settingsLength = 15},
        {.family = 8, .major = 3, .settingsLength = 16},
        {.family = 8, .variant = 5, .major = 1, .settingsLength = 16},
        {.family = 5},
        {.family = 6},
        {.family = 7},
        {.family = 9, .settingsLength = 18},
        {.family = 9, .variant = 6, .settingsLength = 19},
    };
    const std::regex wellFormed("[a-z0-9]+(-[a-z0-9]+)*");
    for (const EscInfo& esc : layouts) {
        SCOPED_TRACE(std::to_string(esc.family) + "/" + std::to_string(esc.variant) + "/" +
                     std::to_string(esc.major) + "/" + std::to_string(esc.settingsLength));
        const auto parameters = namedParameters(esc);
        std::vector<form::ControlId> controls;
        std::set<std::string> names;
        for (const NamedParameter& p : parameters) {
            controls.push_back(p.control);
            const std::string name(p.name);
            EXPECT_TRUE(std::regex_match(name, wellFormed)) << name;
            EXPECT_TRUE(names.insert(name).second) << name << " twice";
            // Found again by its name in any case, and by its control.
            std::string upper = name;
            for (char& c : upper) c = static_cast<char>(std::toupper(c));
            ASSERT_TRUE(findParameter(esc, upper).has_value()) << upper;
            EXPECT_EQ(findParameter(esc, upper)->control, p.control);
            EXPECT_EQ(parameterOfControl(esc, p.control)->name, p.name);
        }
        EXPECT_EQ(controls, carriedControls(esc));
    }
    EXPECT_TRUE(namedParameters({.family = 10}).empty());
    EXPECT_FALSE(findParameter({.family = 3, .major = 1, .settingsLength = 14}, "brake"));
}

TEST(ParameterNames, FromACaption) {
    const std::pair<const char*, const char*> cases[] = {
        {"Cut-off Voltage", "cut-off-voltage"}, {"Start-up Acceleration", "start-up-acceleration"},
        {"Boost Start RPM", "boost-start-rpm"}, {"  Min  Throttle ", "min-throttle"},
        {"BEC Voltage (V)", "bec-voltage-v"},
    };
    for (const auto& [caption, name] : cases) EXPECT_EQ(nameFromCaption(caption), name);
}

TEST(ParameterNames, NearestNamesOfATypo) {
    const std::vector<std::string> names = {"brake-strength", "drag-brake", "min-throttle",
                                            "max-throttle"};
    EXPECT_EQ(nearestNames(names, "brak-strenght", 3), std::vector<std::string>{"brake-strength"});
    EXPECT_EQ(nearestNames(names, "MIN-THROTTLE", 1), std::vector<std::string>{"min-throttle"});
    EXPECT_EQ(nearestNames(names, "mid-throttle", 2),
              (std::vector<std::string>{"min-throttle", "max-throttle"}));
    EXPECT_TRUE(nearestNames(names, "volume", 3).empty());
}

TEST(ParameterNames, ANumberTheCodingWouldNotKeepIsRefusedWithItsNeighbours) {
    struct Case {
        const char* what;
        EscInfo esc;
        form::ControlId control;
        int64_t value;
        int64_t low, high;
        int64_t calc;
        bool storable;
        std::optional<int64_t> below, above;
    };
    const EscInfo car = {.family = 3, .major = 1, .settingsLength = 14};
    const EscInfo air = {.family = 1};
    const EscInfo multi = {.family = 5};
    const int64_t g = kInitialCalcResult;
    const int64_t user = computeCalcResult(6, 3000, 20, 100);
    const Case cases[] = {
        {"min throttle in steps of 4", car, 1109, 1001, 1000, 1200, g, false, 1000, 1004},
        {"min throttle on a step", car, 1109, 1004, 1000, 1200, g, true, {}, {}},
        {"min throttle at the range's end", car, 1109, 1199, 1000, 1200, g, false, 1196, 1200},
        {"neutral in steps of 4 from 1004", car, 1113, 1502, 1400, 1580, g, false, 1500, 1504},
        {"brake strength in ones", car, 1116, 57, 4, 200, g, true, {}, {}},
        {"low end point in steps of 4", multi, 1100, 1001, 1000, 1150, g, false, 1000, 1004},
        {"governor against the start-up result", air, 1092, 5000, 0, INT32_MAX, g, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto stored = storedNumber(c.esc, c.control, c.value, c.calc);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(*stored == c.value, c.storable) << *stored;
        if (c.storable || !c.below)
            continue;
        const NearestValues near =
            nearestStorable(c.esc, c.control, c.value, c.low, c.high, c.calc);
        EXPECT_EQ(near.below, c.below);
        EXPECT_EQ(near.above, c.above);
    }
    // The governor above the start-up result is capped; against a user's larger result it
    // keeps 5000 but for the coding's resolution, and its neighbours are kept as they are.
    const auto governor = storedNumber(air, 1092, 5000, user);
    ASSERT_TRUE(governor.has_value());
    EXPECT_NEAR(double(*governor), 5000.0, double(user) / 255);
    const NearestValues near = nearestStorable(air, 1092, 5001, 0, INT32_MAX, user);
    ASSERT_TRUE(near.below && near.above);
    EXPECT_EQ(storedNumber(air, 1092, *near.below, user), *near.below);
    EXPECT_EQ(storedNumber(air, 1092, *near.above, user), *near.above);
    EXPECT_LT(*near.below, *near.above);
    // A list is no number.
    EXPECT_FALSE(storedNumber(car, 1038, 1, g).has_value());
}

}  // namespace
}  // namespace settings
