#include "settings/form_texts.h"

#include <array>
#include <optional>

#include "form/control_ids.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"

namespace settings {
namespace {

using namespace form;

enum class Source : uint8_t { Family, Water };

struct TextKey {
    const char* key = nullptr;  // nullptr: not read
    Source source = Source::Family;
};

struct PairKeys {
    TextKey caption;
    TextKey items;
    bool used() const { return caption.key != nullptr; }
};

constexpr PairKeys kSkip{};
constexpr PairKeys pair(const char* caption, const char* items) {
    return PairKeys{{caption, Source::Family}, {items, Source::Family}};
}

// Columns of the key table.
enum Column : uint8_t { kColumnAir, kColumnMultiBoat, kColumnCar, kColumnAbc, kColumnCount };

struct PairRow {
    ControlId label;
    ControlId list;
    std::array<PairKeys, kColumnCount> keys;
};

// Caption and item-list keys per family column. The names match without regard to
// case, so "brakeLab" finds the "brakelab" entry of every section as well.
const PairRow kPairRows[] = {
    {kLabelCutoffVoltage,
     kComboCutoffVoltage,
     {pair("lowVolLab", "lowVolitems"), pair("lowVolLab", "lowVolitems"),
      pair("lowVolLab", "lowVolitems"), pair("goernormodeLab", "goernormodeitems")}},
    {kLabelBraking,
     kComboBraking,
     {pair("brakelab", "brakeitems"), pair("brakelab", "brakeitems"),
      pair("brakeLab", "brakeitems"), pair("batTypeLab", "batTypeitems")}},
    {kLabelRunMode,
     kComboRunMode,
     {pair("runmodeLab", "runmodeitems"), pair("runmodeLab", "runmodeitems"),
      pair("runmodeLab", "runmodeitems"), kSkip}},
    {kLabelDragBrake,
     kComboDragBrake,
     {pair("dragbrakeLab", "dragbrakeitems"), pair("dragbrakeLab", "dragbrakeitems"),
      pair("dragbrakeLab", "dragbrakeitems"), pair("lowVolLab", "lowVolitems")}},
    {kLabelMotorTiming,
     kComboMotorTiming,
     {pair("motortimingLab", "motortimingitems"), pair("motortimingLab", "motortimingitems"),
      pair("motortimingLab", "motortimingitems"), kSkip}},
    {kLabelStartAccel,
     kComboStartAccel,
     {pair("startAccLab", "startAccitems"), pair("startAccLab", "startAccitems"),
      pair("startAccLab", "startAccitems"), pair("brakelab", "brakeitems")}},
    {kLabelThrottlePercent,
     kComboThrottlePercent,
     {pair("throttleRevLab", "throttleRevitems"), pair("throttleRevLab", "throttleRevitems"),
      pair("throttleRevLab", "throttleRevitems"), pair("MotorDirLab", "MotorDirItems")}},
    {kLabelThrottleLimit,
     kComboThrottleLimit,
     {pair("throttleForLab", "throttleForitems"), pair("throttleForLab", "throttleForitems"),
      pair("throttleForLab", "throttleForitems"), pair("motortimingLab", "motortimingitems")}},
    {kLabelNeutralRange,
     kComboNeutralRange,
     {pair("neutralRanLab", "neutralRanitems"), pair("neutralRanLab", "neutralRanitems"),
      pair("neutralRanLab", "neutralRanitems"), pair("startAccLab", "startAccitems")}},
    {kLabelTurboTiming,
     kComboTurboTiming,
     {pair("turbotiming", "turbotimingItems"), pair("turbotiming", "turbotimingItems"),
      pair("turbotiming", "turbotimingItems"), kSkip}},
    {kLabelBoostStartRpm,
     kComboBoostStartRpm,
     {kSkip, kSkip, pair("boostStartRpm", "boostStartRpmItems"), kSkip}},
    {kLabelTurboDelay,
     kComboTurboDelay,
     {kSkip, kSkip, pair("turboDelay", "turboDelayItems"), kSkip}},
    {kLabelMotorRotation,
     kComboMotorRotation,
     {pair("MotorDirLab", "MotorDirItems"), pair("MotorDirLab", "MotorDirItems"),
      pair("MotorDirLab", "MotorDirItems"), pair("cutoffLab", "cutoffitems")}},
    {kLabelBatteryType,
     kComboBatteryType,
     {kSkip, pair("battTypeLab", "battTypeItems"), pair("battTypeLab", "battTypeItems"), kSkip}},
    {kLabelStartPower, kComboStartPower, {kSkip, kSkip, pair("startPwrLab", "startPwr"), kSkip}},
    {kLabelBecVoltage,
     kComboBecVoltage,
     {pair("Airbec", "AirbecItems"), pair("Airbec", "AirbecItems"), pair("Airbec", "AirbecItems"),
      kSkip}},
};

enum class Condition : uint8_t { Always, VariantIs, MajorIs };

// Keys that replace a row's keys for one family.
struct AlternativeRow {
    ControlId label;
    uint8_t family;
    Condition condition;
    uint8_t value;
    PairKeys keys;
};

constexpr TextKey family(const char* key) {
    return TextKey{key, Source::Family};
}
constexpr TextKey water(const char* key) {
    return TextKey{key, Source::Water};
}

const AlternativeRow kAlternativeRows[] = {
    // Family 5's end points take the places of lists 1060 and 1045, under their captions.
    {kLabelMotorRotation,
     kFamilyMulti,
     Condition::Always,
     0,
     {family("lowEndLab"), family("MotorDirItems")}},
    {kLabelNeutralRange,
     kFamilyMulti,
     Condition::Always,
     0,
     {family("highEndLab"), family("neutralRanitems")}},
    {kLabelBraking, kFamilyWater, Condition::Always, 0, {water("brakeLab"), water("brakeitems")}},
    {kLabelRunMode,
     kFamilyWater,
     Condition::Always,
     0,
     {water("runmodeLab"), water("runmodeitems")}},
    {kLabelRunMode,
     kFamilyCarFull,
     Condition::VariantIs,
     5,
     {family("runmodeLab"), family("runmodeitemsCarToMuti")}},
    {kLabelDragBrake,
     kFamilyWater,
     Condition::Always,
     0,
     {water("dragbrakeLab"), water("dragbrakeitems")}},
    {kLabelDragBrake,
     kFamilyCarFull,
     Condition::MajorIs,
     3,
     {water("brakeLab"), water("brakeitems")}},
    {kLabelMotorRotation,
     kFamilyWater,
     Condition::Always,
     0,
     {family("MotorDirLab"), water("MotorDirItems")}},
    {kLabelBatteryType,
     kFamilyWater,
     Condition::Always,
     0,
     {family("battTypeLab"), water("battTypeItems")}},
    {kLabelStartPower,
     kFamilyWater,
     Condition::Always,
     0,
     {family("startPwrLab"), water("startPwr")}},
    {kLabelBecVoltage,
     kFamilyWater,
     Condition::VariantIs,
     6,
     {water("Airbec"), water("AirbecItems")}},
};

Column columnOf(uint8_t familyValue) {
    switch (familyValue) {
        case kFamilyAir:
        case kFamilyAirBec:
            return kColumnAir;
        case kFamilyMulti:
        case kFamilyBoat:
            return kColumnMultiBoat;
        case kFamilyAbc:
            return kColumnAbc;
        default:
            return kColumnCar;
    }
}

bool matches(const AlternativeRow& alt, const EscInfo& esc) {
    if (alt.family != esc.family) {
        return false;
    }
    switch (alt.condition) {
        case Condition::Always:
            return true;
        case Condition::VariantIs:
            return esc.variant == alt.value;
        case Condition::MajorIs:
            return esc.major == alt.value;
    }
    return false;
}

PairKeys keysFor(const PairRow& row, const EscInfo& esc) {
    for (const AlternativeRow& alt : kAlternativeRows) {
        if (alt.label == row.label && matches(alt, esc)) {
            return alt.keys;
        }
    }
    return row.keys[columnOf(esc.family)];
}

std::string readText(const std::string& section, const std::string& waterSectionName,
                     const TextKey& key) {
    const std::string& name = key.source == Source::Water ? waterSectionName : section;
    return i18n::ProfileFile::readString(i18n::g_languageFilePath, name, key.key, "");
}

}  // namespace

void fillComboFromList(form::Form& form, form::ControlId combo, std::string_view text) {
    form.clearItems(combo);
    for (;;) {
        const std::size_t bar = text.find('|');
        if (bar == std::string_view::npos) {
            break;
        }
        form.addItem(combo, std::string(text.substr(0, bar)));
        text.remove_prefix(bar + 1);
    }
    form.addItem(combo, std::string(text));
}

std::string familySection(const EscInfo& esc) {
    const bool chinese = i18n::g_chineseSelected != 0;
    switch (esc.family) {
        case kFamilyAir:
        case kFamilyAirBec:
            return "air_field_E";
        case kFamilyMulti:
            return chinese ? "muti_field_C" : "muti_field_E";
        case kFamilyBoat:
            return chinese ? "boat_field_C" : "boat_field_E";
        case kFamilyAbc:
            return chinese ? "ABC_field_C" : "ABC_field_E";
        default:
            return i18n::g_chineseSelected == 1 ? i18n::kSectionChinese : i18n::kSectionEnglish;
    }
}

std::string waterSection() {
    return i18n::g_chineseSelected == 1 ? "water_ctl_ch" : "water_ctl_E";
}

void fillFamilyTexts(form::Form& form, const EscInfo& esc) {
    const std::string section = familySection(esc);
    const std::string water = waterSection();
    for (const PairRow& row : kPairRows) {
        const PairKeys keys = keysFor(row, esc);
        if (!keys.used()) {
            continue;
        }
        form.setText(row.label, readText(section, water, keys.caption));
        fillComboFromList(form, row.list, readText(section, water, keys.items));
    }
}

}  // namespace settings
