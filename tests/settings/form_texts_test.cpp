#include "settings/form_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "form/language_file_fixture.h"
#include "i18n/ui_text.h"

namespace settings {
namespace {

using namespace form;
using testing_support::TempLanguageFile;

// --- Item lists ---------------------------------------------------------------------

struct ListCase {
    const char* text;
    std::vector<std::string> items;
};

const ListCase kListCases[] = {
    {"A|B|C", {"A", "B", "C"}},
    {"A|B", {"A", "B"}},
    {"A|B|", {"A", "B", ""}},
    {"", {""}},
    {"|", {"", ""}},
    {"||A", {"", "", "A"}},
    {" a | b ", {" a ", " b "}},
    {"z|a|m", {"z", "a", "m"}},
    {"单|双", {"单", "双"}},
};

TEST(FillComboFromList, SplitsOnBarsAndAlwaysAddsTheRest) {
    for (const ListCase& c : kListCases) {
        SCOPED_TRACE(c.text);
        HeadlessForm form;
        form.addItem(kComboRunMode, "old");
        form.setSelection(kComboRunMode, 0);
        fillComboFromList(form, kComboRunMode, c.text);
        EXPECT_EQ(form.items(kComboRunMode), c.items);
        EXPECT_EQ(form.selection(kComboRunMode), -1);
    }
}

// --- Family texts -------------------------------------------------------------------

const char* const kSections[] = {
    "air_field_E", "muti_field_C", "muti_field_E", "boat_field_C", "boat_field_E", "ABC_field_C",
    "ABC_field_E", "chinese",      "english",      "water_ctl_ch", "water_ctl_E",
};

const char* const kKeys[] = {
    "lowVolLab",
    "lowVolitems",
    "goernormodeLab",
    "goernormodeitems",
    "brakelab",
    "brakeitems",
    "batTypeLab",
    "batTypeitems",
    "runmodeLab",
    "runmodeitems",
    "runmodeitemsCarToMuti",
    "dragbrakeLab",
    "dragbrakeitems",
    "motortimingLab",
    "motortimingitems",
    "startAccLab",
    "startAccitems",
    "throttleRevLab",
    "throttleRevitems",
    "MotorDirLab",
    "MotorDirItems",
    "throttleForLab",
    "throttleForitems",
    "neutralRanLab",
    "neutralRanitems",
    "turbotiming",
    "turbotimingItems",
    "boostStartRpm",
    "boostStartRpmItems",
    "turboDelay",
    "turboDelayItems",
    "cutoffLab",
    "cutoffitems",
    "battTypeLab",
    "battTypeItems",
    "startPwrLab",
    "startPwr",
    "Airbec",
    "AirbecItems",
    "lowEndLab",
    "highEndLab",
};

// Every key of every section holds "section/key", so each text shows where it came from.
std::string taggedLanguageFile() {
    std::string out;
    for (const char* section : kSections) {
        out += std::string("[") + section + "]\n";
        for (const char* key : kKeys) {
            out += std::string(key) + "=" + section + "/" + key + "\n";
        }
    }
    return out;
}

enum class From { Family, Water, Untouched };

struct Expect {
    ControlId label;
    ControlId list;
    From from;
    const char* captionKey;
    const char* itemsKey;
};

using Column = std::vector<Expect>;

const Column kAirColumn = {
    {kLabelCutoffVoltage, kComboCutoffVoltage, From::Family, "lowVolLab", "lowVolitems"},
    {kLabelBraking, kComboBraking, From::Family, "brakelab", "brakeitems"},
    {kLabelRunMode, kComboRunMode, From::Family, "runmodeLab", "runmodeitems"},
    {kLabelDragBrake, kComboDragBrake, From::Family, "dragbrakeLab", "dragbrakeitems"},
    {kLabelMotorTiming, kComboMotorTiming, From::Family, "motortimingLab", "motortimingitems"},
    {kLabelStartAccel, kComboStartAccel, From::Family, "startAccLab", "startAccitems"},
    {kLabelThrottlePercent, kComboThrottlePercent, From::Family, "throttleRevLab",
     "throttleRevitems"},
    {kLabelThrottleLimit, kComboThrottleLimit, From::Family, "throttleForLab", "throttleForitems"},
    {kLabelNeutralRange, kComboNeutralRange, From::Family, "neutralRanLab", "neutralRanitems"},
    {kLabelTurboTiming, kComboTurboTiming, From::Family, "turbotiming", "turbotimingItems"},
    {kLabelBoostStartRpm, kComboBoostStartRpm, From::Untouched, nullptr, nullptr},
    {kLabelTurboDelay, kComboTurboDelay, From::Untouched, nullptr, nullptr},
    {kLabelMotorRotation, kComboMotorRotation, From::Family, "MotorDirLab", "MotorDirItems"},
    {kLabelBatteryType, kComboBatteryType, From::Untouched, nullptr, nullptr},
    {kLabelStartPower, kComboStartPower, From::Untouched, nullptr, nullptr},
    {kLabelBecVoltage, kComboBecVoltage, From::Family, "Airbec", "AirbecItems"},
};

Column withRows(Column column, const Column& replaced) {
    for (const Expect& r : replaced) {
        for (Expect& e : column) {
            if (e.label == r.label) {
                e = r;
            }
        }
    }
    return column;
}

// Family 9's rows that take captions and items from different sections are checked by
// WaterItemsUnderSharedCaptions.
Column withoutSplitRows(Column column) {
    std::erase_if(column, [](const Expect& e) {
        return e.label == kLabelMotorRotation || e.label == kLabelBatteryType ||
               e.label == kLabelStartPower;
    });
    return column;
}

const Column kMultiBoatColumn = withRows(
    kAirColumn,
    {{kLabelBatteryType, kComboBatteryType, From::Family, "battTypeLab", "battTypeItems"}});

// Family 5's end points show under the captions of the lists whose places they take.
const Column kMultiColumn = withRows(
    kMultiBoatColumn,
    {{kLabelMotorRotation, kComboMotorRotation, From::Family, "lowEndLab", "MotorDirItems"},
     {kLabelNeutralRange, kComboNeutralRange, From::Family, "highEndLab", "neutralRanitems"}});

const Column kCarColumn =
    withRows(kAirColumn,
             {{kLabelBoostStartRpm, kComboBoostStartRpm, From::Family, "boostStartRpm",
               "boostStartRpmItems"},
              {kLabelTurboDelay, kComboTurboDelay, From::Family, "turboDelay", "turboDelayItems"},
              {kLabelBatteryType, kComboBatteryType, From::Family, "battTypeLab", "battTypeItems"},
              {kLabelStartPower, kComboStartPower, From::Family, "startPwrLab", "startPwr"}});

const Column kAbcColumn = {
    {kLabelCutoffVoltage, kComboCutoffVoltage, From::Family, "goernormodeLab", "goernormodeitems"},
    {kLabelBraking, kComboBraking, From::Family, "batTypeLab", "batTypeitems"},
    {kLabelRunMode, kComboRunMode, From::Untouched, nullptr, nullptr},
    {kLabelDragBrake, kComboDragBrake, From::Family, "lowVolLab", "lowVolitems"},
    {kLabelMotorTiming, kComboMotorTiming, From::Untouched, nullptr, nullptr},
    {kLabelStartAccel, kComboStartAccel, From::Family, "brakelab", "brakeitems"},
    {kLabelThrottlePercent, kComboThrottlePercent, From::Family, "MotorDirLab", "MotorDirItems"},
    {kLabelThrottleLimit, kComboThrottleLimit, From::Family, "motortimingLab", "motortimingitems"},
    {kLabelNeutralRange, kComboNeutralRange, From::Family, "startAccLab", "startAccitems"},
    {kLabelTurboTiming, kComboTurboTiming, From::Untouched, nullptr, nullptr},
    {kLabelBoostStartRpm, kComboBoostStartRpm, From::Untouched, nullptr, nullptr},
    {kLabelTurboDelay, kComboTurboDelay, From::Untouched, nullptr, nullptr},
    {kLabelMotorRotation, kComboMotorRotation, From::Family, "cutoffLab", "cutoffitems"},
    {kLabelBatteryType, kComboBatteryType, From::Untouched, nullptr, nullptr},
    {kLabelStartPower, kComboStartPower, From::Untouched, nullptr, nullptr},
    {kLabelBecVoltage, kComboBecVoltage, From::Untouched, nullptr, nullptr},
};

// Family 9 takes these rows from the water section (captions of some rows stay with the
// shared section).
const Column kWaterRows = {
    {kLabelBraking, kComboBraking, From::Water, "brakelab", "brakeitems"},
    {kLabelRunMode, kComboRunMode, From::Water, "runmodeLab", "runmodeitems"},
    {kLabelDragBrake, kComboDragBrake, From::Water, "dragbrakeLab", "dragbrakeitems"},
};

struct FamilyCase {
    const char* name;
    EscInfo esc;
    uint8_t flag;
    const char* section;
    const char* water;
    Column expected;
};

// Rows that read their caption from one section and their items from another.
struct SplitRow {
    ControlId label;
    const char* caption;  // key
    ControlId list;
    const char* items;
};

const std::vector<FamilyCase>& familyCases() {
    static const std::vector<FamilyCase> cases = {
        {"air, English", {kFamilyAir}, 0, "air_field_E", "", kAirColumn},
        {"air with BEC, Chinese reads the same section",
         {kFamilyAirBec},
         1,
         "air_field_E",
         "",
         kAirColumn},
        {"multi, English", {kFamilyMulti}, 0, "muti_field_E", "", kMultiColumn},
        {"multi, Chinese", {kFamilyMulti}, 1, "muti_field_C", "", kMultiColumn},
        {"boat, English", {kFamilyBoat}, 0, "boat_field_E", "", kMultiBoatColumn},
        {"boat, Chinese", {kFamilyBoat}, 1, "boat_field_C", "", kMultiBoatColumn},
        {"ABC, English", {kFamilyAbc}, 0, "ABC_field_E", "", kAbcColumn},
        {"ABC, Chinese", {kFamilyAbc}, 1, "ABC_field_C", "", kAbcColumn},
        {"car basic, English", {kFamilyCarBasic}, 0, "english", "", kCarColumn},
        {"car turbo, Chinese", {kFamilyCarTurbo}, 1, "chinese", "", kCarColumn},
        {"no family yet, Chinese", {kFamilyNone}, 1, "chinese", "", kCarColumn},
        {"unknown family 12, English", {12, 5, 3}, 0, "english", "", kCarColumn},
        {"car full, variant 5: run-mode items for multi use",
         {kFamilyCarFull, 5, 2},
         0,
         "english",
         "",
         withRows(kCarColumn, {{kLabelRunMode, kComboRunMode, From::Family, "runmodeLab",
                                "runmodeitemsCarToMuti"}})},
        {"car full, major 3: drag-brake row from the water section",
         {kFamilyCarFull, 1, 3},
         1,
         "chinese",
         "water_ctl_ch",
         withRows(kCarColumn,
                  {{kLabelDragBrake, kComboDragBrake, From::Water, "brakelab", "brakeitems"}})},
        {"car full, variant 6 and major 2: no alternative",
         {kFamilyCarFull, 6, 2},
         0,
         "english",
         "",
         kCarColumn},
        {"water, variant 6: BEC from the water section",
         {kFamilyWater, 6, 1},
         0,
         "english",
         "water_ctl_E",
         withRows(withRows(withoutSplitRows(kCarColumn), kWaterRows),
                  {{kLabelBecVoltage, kComboBecVoltage, From::Water, "Airbec", "AirbecItems"}})},
        {"water, variant 5: BEC from the shared section",
         {kFamilyWater, 5, 1},
         1,
         "chinese",
         "water_ctl_ch",
         withRows(withoutSplitRows(kCarColumn), kWaterRows)},
        {"flag 2: multi reads its Chinese section",
         {kFamilyMulti},
         2,
         "muti_field_C",
         "",
         kMultiColumn},
        {"flag 2: car reads English", {kFamilyCarTurbo}, 2, "english", "", kCarColumn},
        {"flag 2: water reads its English section",
         {kFamilyWater, 6, 1},
         2,
         "english",
         "water_ctl_E",
         withRows(withRows(withoutSplitRows(kCarColumn), kWaterRows),
                  {{kLabelBecVoltage, kComboBecVoltage, From::Water, "Airbec", "AirbecItems"}})},
    };
    return cases;
}

TEST(FillFamilyTexts, CaptionsAndItemsComeFromTheFamilySection) {
    TempLanguageFile file;
    file.write(taggedLanguageFile());
    for (const FamilyCase& c : familyCases()) {
        SCOPED_TRACE(c.name);
        i18n::g_chineseSelected = c.flag;
        HeadlessForm form;
        for (const Expect& e : c.expected) {
            form.setText(e.label, "kept");
            form.clearItems(e.list);
            form.addItem(e.list, "kept");
            form.setSelection(e.list, 0);
        }
        fillFamilyTexts(form, c.esc);
        for (const Expect& e : c.expected) {
            SCOPED_TRACE(e.label);
            if (e.from == From::Untouched) {
                EXPECT_EQ(form.text(e.label), "kept");
                EXPECT_EQ(form.items(e.list), std::vector<std::string>{"kept"});
                EXPECT_EQ(form.selection(e.list), 0);
                continue;
            }
            const std::string section = e.from == From::Water ? c.water : c.section;
            EXPECT_EQ(form.text(e.label), section + "/" + e.captionKey);
            EXPECT_EQ(form.items(e.list), std::vector<std::string>{section + "/" + e.itemsKey});
            EXPECT_EQ(form.selection(e.list), -1);
        }
    }
}

struct SplitCase {
    uint8_t flag;
    const char* shared;
    const char* water;
};

const SplitCase kSplitCases[] = {
    {0, "english", "water_ctl_E"},
    {1, "chinese", "water_ctl_ch"},
};

const SplitRow kWaterSplitRows[] = {
    {kLabelMotorRotation, "MotorDirLab", kComboMotorRotation, "MotorDirItems"},
    {kLabelBatteryType, "battTypeLab", kComboBatteryType, "battTypeItems"},
    {kLabelStartPower, "startPwrLab", kComboStartPower, "startPwr"},
};

TEST(FillFamilyTexts, WaterItemsUnderSharedCaptions) {
    TempLanguageFile file;
    file.write(taggedLanguageFile());
    for (const SplitCase& c : kSplitCases) {
        i18n::g_chineseSelected = c.flag;
        HeadlessForm form;
        fillFamilyTexts(form, EscInfo{kFamilyWater, 5, 1});
        for (const SplitRow& r : kWaterSplitRows) {
            SCOPED_TRACE(r.label);
            EXPECT_EQ(form.text(r.label), std::string(c.shared) + "/" + r.caption);
            EXPECT_EQ(form.items(r.list),
                      std::vector<std::string>{std::string(c.water) + "/" + r.items});
        }
    }
}

TEST(FillFamilyTexts, MissingFileGivesEmptyCaptionsAndOneEmptyItem) {
    TempLanguageFile file;  // nothing written
    HeadlessForm form;
    fillFamilyTexts(form, EscInfo{kFamilyCarTurbo});
    EXPECT_EQ(form.text(kLabelCutoffVoltage), "");
    EXPECT_EQ(form.items(kComboCutoffVoltage), std::vector<std::string>{""});
    EXPECT_EQ(form.items(kComboTurboDelay), std::vector<std::string>{""});
}

TEST(FillFamilyTexts, ItemListIsCutAfter259Characters) {
    TempLanguageFile file;
    std::string longList;
    while (longList.size() < 300) {
        longList += "abcdefgh|";  // nine characters a piece
    }
    longList.resize(300);
    file.write("[english]\nlowVolitems=" + longList + "\n");
    HeadlessForm form;
    fillFamilyTexts(form, EscInfo{kFamilyCarBasic});
    // 28 full pieces take 252 characters; the 29th is cut to its first 7.
    ASSERT_EQ(form.itemCount(kComboCutoffVoltage), 29);
    EXPECT_EQ(form.itemText(kComboCutoffVoltage, 27), "abcdefgh");
    EXPECT_EQ(form.itemText(kComboCutoffVoltage, 28), "abcdefg");
}

TEST(FillFamilyTexts, BrakeCaptionMatchesWithoutRegardToCase) {
    TempLanguageFile file;
    file.write("[chinese]\nBRAKELAB=刹车力度\n[english]\nBrakeLab=Brake force\n");
    for (uint8_t flag : {uint8_t{0}, uint8_t{1}}) {
        i18n::g_chineseSelected = flag;
        HeadlessForm form;
        fillFamilyTexts(form, EscInfo{kFamilyCarBasic});
        EXPECT_EQ(form.text(kLabelBraking), flag == 1 ? "刹车力度" : "Brake force");
    }
}

}  // namespace
}  // namespace settings
