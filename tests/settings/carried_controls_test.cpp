// The controls a family's write frame carries: what a front end may write to the ESC and
// compare in the read-back, and nothing that only the form shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/families.h"

namespace settings {
namespace {

using Ids = std::vector<form::ControlId>;

TEST(CarriedControls, EachFamilyCarriesTheControlsOfItsWriteFrame) {
    struct Case {
        const char* name;
        EscInfo esc;
        Ids ids;
    };
    // Air: brake, neutral, run mode, drag brake, timing, acceleration, cut-off, rotation,
    // throttle limit, governor (two bytes, one control); no throttle end points.
    const Ids air = {1030, 1045, 1032, 1034, 1036, 1038, 1029, 1060, 1042, 1092};
    Ids airBec = {1061};
    airBec.insert(airBec.end(), air.begin(), air.end());
    // Car: acceleration, timing, the brake (a list under major 2, else a number), the
    // three throttle points, neutral, drag brake, cut-off, battery, rotation.
    const Ids carList = {1038, 1036, 1030, 1109, 1111, 1113, 1045, 1034, 1029, 1095, 1060};
    const Ids carEdit = {1038, 1036, 1116, 1109, 1111, 1113, 1045, 1034, 1029, 1095, 1060};
    const auto plus = [](Ids ids, const Ids& more) {
        ids.insert(ids.end(), more.begin(), more.end());
        return ids;
    };
    const Ids water = {1032, 1060, 1042, 1040, 1036, 1038, 1029,
                       1095, 1109, 1111, 1113, 1045, 1034, 1105};
    const Case cases[] = {
        {"air", {.family = 1}, air},
        {"air with BEC byte first", {.family = 4}, airBec},
        {"car basic, brake list", {.family = 2, .major = 2, .settingsLength = 11}, carList},
        {"car basic, brake number", {.family = 2, .major = 1, .settingsLength = 11}, carEdit},
        {"car turbo, no run mode",
         {.family = 3, .major = 1, .settingsLength = 14},
         plus(carEdit, {1049, 1047, 1051})},
        {"car full, 13 bytes",
         {.family = 8, .major = 1, .settingsLength = 13},
         plus(carEdit, {1105, 1061})},
        {"car full, 15 bytes",
         {.family = 8, .major = 2, .settingsLength = 15},
         plus(carList, {1105, 1042, 1040, 1032})},
        {"car full, 16 bytes",
         {.family = 8, .major = 1, .settingsLength = 16},
         plus(carEdit, {1105, 1042, 1040, 1032, 1061})},
        {"car full, other length written as 16",
         {.family = 8, .major = 1, .settingsLength = 20},
         plus(carEdit, {1105, 1042, 1040, 1032, 1061})},
        {"car full to multirotor, locked brake still carried",
         {.family = 8, .variant = 5, .major = 1, .settingsLength = 16},
         plus(carEdit, {1105, 1042, 1040, 1032, 1061})},
        {"multirotor, end points", {.family = 5}, {1030, 1038, 1034, 1042, 1100, 1102}},
        {"boat", {.family = 6}, {1038, 1030, 1034, 1042, 1060, 1045}},
        {"family 7", {.family = 7}, {1038, 1030, 1060, 1034, 1042, 1045, 1029, 1040}},
        {"water, constants carry no control",
         {.family = 9, .settingsLength = 18},
         plus(water, {1030})},
        {"water with BEC byte",
         {.family = 9, .variant = 6, .settingsLength = 19},
         plus(water, {1030, 1061})},
        {"no family", {.family = 0}, {}},
        {"unknown family", {.family = 10}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(carriedControls(c.esc), c.ids);
    }
}

TEST(CarriedControls, EveryParameterByteButTheConstantsIsCarried) {
    struct Case {
        const char* name;
        EscInfo esc;
        uint8_t parameters;  // bytes between 0xF2 and 0xD1
        std::vector<uint8_t> constants;
    };
    const Case cases[] = {
        {"air, governor in P10 and P11", {.family = 1}, 11, {}},
        {"air with BEC byte", {.family = 4}, 12, {}},
        {"car basic", {.family = 2, .major = 1, .settingsLength = 11}, 11, {}},
        {"car turbo", {.family = 3, .major = 2, .settingsLength = 14}, 14, {}},
        {"car full, 13 bytes", {.family = 8, .major = 1, .settingsLength = 13}, 13, {}},
        {"car full, 15 bytes", {.family = 8, .major = 1, .settingsLength = 15}, 15, {}},
        {"car full, other length written as 16", {.family = 8, .settingsLength = 11}, 16, {}},
        {"multirotor", {.family = 5}, 6, {}},
        {"boat", {.family = 6}, 6, {}},
        {"family 7", {.family = 7}, 8, {}},
        {"water", {.family = 9, .settingsLength = 18}, 18, {15, 16, 17}},
        {"water with BEC byte",
         {.family = 9, .variant = 6, .settingsLength = 19},
         19,
         {15, 16, 17}},
        {"unknown family", {.family = 10}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> expected;
        for (uint8_t p = 1; p <= c.parameters; ++p) {
            if (std::find(c.constants.begin(), c.constants.end(), p) == c.constants.end())
                expected.push_back(p);
        }
        EXPECT_EQ(carriedPositions(c.esc), expected);
    }
}

}  // namespace
}  // namespace settings
