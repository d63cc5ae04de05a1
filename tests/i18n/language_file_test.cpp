// Checks of the shipped language.ini against what the program reads from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "i18n/profile_file.h"
#include "i18n/profile_test_support.h"
#include "i18n/ui_text.h"

namespace {

using i18n::ProfileFile;
using i18n_test::codePoints;
using i18n_test::readBytes;

const std::string kShippedFile = std::string(TESSARO_RESOURCES_DIR) + "/language.ini";
constexpr const char* kAbsent = "\x01<absent>";
constexpr std::size_t kMaxValue = 259;

bool hasKey(const std::string& section, const std::string& key) {
    return ProfileFile::readString(kShippedFile, section, key, kAbsent) != kAbsent;
}

std::string valueOf(const std::string& section, const std::string& key) {
    return ProfileFile::readString(kShippedFile, section, key, "");
}

std::vector<std::string> entriesOf(const std::string& list) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = list.find('|', start);
        entries.push_back(list.substr(start, bar - start));
        if (bar == std::string::npos)
            return entries;
        start = bar + 1;
    }
}

// --- Keys of the window and the messages, in both languages ----------------------------

const std::vector<std::string> kWindowKeys = {
    "file",         "operation",   "help",         "exportData",  "importData",   "english",
    "chinese",      "restore",     "about",        "readsetting", "sendsetting",  "escupdate",
    "procarupdate", "linkstatus",  "usbstatus",    "escstatus",   "softwarever",  "escver",
    "prousbver",    "controlCmd",  "advancedPara", "ProName",     "startPwrLab",  "startPwr",
    "Airbec",       "AirbecItems", "minThrtLab",   "maxThrtLab",  "centerThrtLab"};

const std::vector<std::string> kMessageKeys = {
    i18n::kTextLinkNotEstablished,   i18n::kTextReading,      i18n::kTextSending,
    i18n::kTextPleaseWait,           i18n::kTextOk,           i18n::kTextUpdateFail,
    i18n::kTextNoSelection,          i18n::kTextExportFailed, i18n::kTextImageTooLong,
    i18n::kTextImageTooShort,        i18n::kTextBackupSaved,  i18n::kTextConfirmCloseUpdate,
    i18n::kTextConfirmDiscardChanges};

// Captions and item lists the form reads from "chinese" / "english" (families 2, 3, 8, 9
// and ESCs not yet identified).
const std::vector<std::string> kCarFormKeys = {
    "lowVolLab",      "lowVolitems",      "brakeLab",       "brakelab",
    "brakeitems",     "runmodeLab",       "runmodeitems",   "runmodeitemsCarToMuti",
    "dragbrakeLab",   "dragbrakeitems",   "motortimingLab", "motortimingitems",
    "startAccLab",    "startAccitems",    "throttleRevLab", "throttleRevitems",
    "throttleForLab", "throttleForitems", "neutralRanLab",  "neutralRanitems",
    "turbotiming",    "turbotimingItems", "boostStartRpm",  "boostStartRpmItems",
    "turboDelay",     "turboDelayItems",  "MotorDirLab",    "MotorDirItems",
    "battTypeLab",    "battTypeItems",    "startPwrLab",    "startPwr",
    "Airbec",         "AirbecItems"};

TEST(ShippedLanguageFile, EveryLookedUpKeyInBothLanguages) {
    ASSERT_TRUE(readBytes(kShippedFile).has_value()) << kShippedFile;
    for (const auto* keys : {&kWindowKeys, &kMessageKeys, &kCarFormKeys}) {
        for (const std::string& key : *keys) {
            EXPECT_TRUE(hasKey(i18n::kSectionChinese, key)) << "chinese: " << key;
            EXPECT_TRUE(hasKey(i18n::kSectionEnglish, key)) << "english: " << key;
            EXPECT_FALSE(valueOf(i18n::kSectionChinese, key).empty()) << "chinese: " << key;
            EXPECT_FALSE(valueOf(i18n::kSectionEnglish, key).empty()) << "english: " << key;
        }
    }
}

TEST(ShippedLanguageFile, ChineseSuccessText) {
    EXPECT_EQ(valueOf(i18n::kSectionChinese, i18n::kTextWriteDoneChinese),
              "\xE6\x88\x90\xE5\x8A\x9F");  // 成功
}

TEST(ShippedLanguageFile, LanguageChoiceIsEnglishOrChinese) {
    ASSERT_TRUE(hasKey(i18n::kSectionSet, i18n::kKeyLangSel));
    EXPECT_LE(ProfileFile::readInt(kShippedFile, i18n::kSectionSet, i18n::kKeyLangSel, 9), 1u);
}

// --- The per-family sections ---------------------------------------------------------------

const std::vector<std::string> kAirKeys = {
    "lowVolLab",        "lowVolitems",   "brakelab",        "brakeitems",       "runmodeLab",
    "runmodeitems",     "dragbrakeLab",  "dragbrakeitems",  "motortimingLab",   "motortimingitems",
    "startAccLab",      "startAccitems", "throttleRevLab",  "throttleRevitems", "throttleForLab",
    "throttleForitems", "neutralRanLab", "neutralRanitems", "turbotiming",      "turbotimingItems",
    "MotorDirLab",      "MotorDirItems", "Airbec",          "AirbecItems"};

std::vector<std::string> withBattery(std::vector<std::string> keys) {
    keys.push_back("battTypeLab");
    keys.push_back("battTypeItems");
    return keys;
}

const std::vector<std::string> kAbcKeys = {
    "goernormodeLab", "goernormodeitems", "batTypeLab",     "batTypeitems",
    "lowVolLab",      "lowVolitems",      "brakelab",       "brakeitems",
    "MotorDirLab",    "MotorDirItems",    "motortimingLab", "motortimingitems",
    "startAccLab",    "startAccitems",    "cutoffLab",      "cutoffitems"};

const std::vector<std::string> kWaterKeys = {"brakeLab",      "brakeitems",    "runmodeLab",
                                             "runmodeitems",  "dragbrakeLab",  "dragbrakeitems",
                                             "MotorDirItems", "battTypeItems", "startPwr",
                                             "Airbec",        "AirbecItems"};

struct FamilySection {
    const char* section;
    std::vector<std::string> keys;
};

void PrintTo(const FamilySection& c, std::ostream* os) {
    *os << c.section;
}

class FamilySections : public ::testing::TestWithParam<FamilySection> {};

TEST_P(FamilySections, HoldEveryKeyTheFormReads) {
    for (const std::string& key : GetParam().keys) {
        EXPECT_FALSE(valueOf(GetParam().section, key).empty()) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguageFile, FamilySections,
                         ::testing::Values(FamilySection{"air_field_E", kAirKeys},
                                           FamilySection{"muti_field_C", withBattery(kAirKeys)},
                                           FamilySection{"muti_field_E", withBattery(kAirKeys)},
                                           FamilySection{"boat_field_C", withBattery(kAirKeys)},
                                           FamilySection{"boat_field_E", withBattery(kAirKeys)},
                                           FamilySection{"ABC_field_C", kAbcKeys},
                                           FamilySection{"ABC_field_E", kAbcKeys},
                                           FamilySection{"water_ctl_ch", kWaterKeys},
                                           FamilySection{"water_ctl_E", kWaterKeys}),
                         [](const auto& info) { return std::string(info.param.section); });

// --- Enough entries for the values the ESCs carry ----------------------------------------

// How a parameter byte selects a list entry when the form shows it.
enum class Coding { Index, IndexPlusOne, Doubled, Odd };

int entryFor(Coding coding, int byte) {
    switch (coding) {
        case Coding::Index:
            return byte;
        case Coding::IndexPlusOne:
            return byte - 1;
        case Coding::Doubled:
            return byte < 2 ? 0 : byte / 2;
        case Coding::Odd:
            return byte / 2;
    }
    return byte;
}

struct ListNeed {
    const char* name;
    std::vector<const char*> sections;
    const char* key;
    Coding coding;
    int byte;     // largest byte of the factory defaults for this list
    int atLeast;  // entries the parameter's meaning needs whatever the defaults
};

void PrintTo(const ListNeed& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<const char*> kCar = {"chinese", "english"};
const std::vector<const char*> kWater = {"water_ctl_ch", "water_ctl_E"};
const std::vector<const char*> kAir = {"air_field_E"};
const std::vector<const char*> kMulti = {"muti_field_C", "muti_field_E"};
const std::vector<const char*> kBoat = {"boat_field_C", "boat_field_E"};
const std::vector<const char*> kAbc = {"ABC_field_C", "ABC_field_E"};

class ListLengths : public ::testing::TestWithParam<ListNeed> {};

TEST_P(ListLengths, CoverTheDefaultsAndTheMeaning) {
    const ListNeed& c = GetParam();
    const std::size_t needed =
        static_cast<std::size_t>(std::max(entryFor(c.coding, c.byte) + 1, c.atLeast));
    for (const char* section : c.sections) {
        const std::string list = valueOf(section, c.key);
        EXPECT_GE(entriesOf(list).size(), needed) << section << " " << c.key << ": " << list;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ShippedLanguageFile, ListLengths,
    ::testing::Values(
        // Families 2, 3 and 8 (and the unmarked rows of family 9).
        ListNeed{"CarStartAcc", kCar, "startAccitems", Coding::Index, 2, 2},
        ListNeed{"CarTiming", kCar, "motortimingitems", Coding::Index, 2, 2},
        ListNeed{"CarBrake", kCar, "brakeitems", Coding::Index, 4, 2},
        ListNeed{"CarNeutral", kCar, "neutralRanitems", Coding::Index, 5, 2},
        ListNeed{"CarDragBrake", kCar, "dragbrakeitems", Coding::Index, 0, 2},
        ListNeed{"CarCutOff", kCar, "lowVolitems", Coding::Index, 3, 2},
        ListNeed{"CarBattery", kCar, "battTypeItems", Coding::Index, 0, 2},
        ListNeed{"CarRotation", kCar, "MotorDirItems", Coding::Index, 0, 2},
        ListNeed{"CarBoostRpm", kCar, "boostStartRpmItems", Coding::Index, 4, 2},
        ListNeed{"CarTurboTiming", kCar, "turbotimingItems", Coding::Index, 5, 2},
        ListNeed{"CarTurboDelay", kCar, "turboDelayItems", Coding::Index, 4, 2},
        ListNeed{"CarStartPower", kCar, "startPwr", Coding::Index, 9, 2},
        ListNeed{"CarThrottleLimit", kCar, "throttleForitems", Coding::Index, 4, 2},
        ListNeed{"CarReverse", kCar, "throttleRevitems", Coding::Index, 4, 2},
        ListNeed{"CarRunMode", kCar, "runmodeitems", Coding::Index, 1, 2},
        ListNeed{"CarRunModeVariant", kCar, "runmodeitemsCarToMuti", Coding::Index, 1, 2},
        ListNeed{"CarBec", kCar, "AirbecItems", Coding::Index, 1, 2},
        // Family 9, marked rows (and the drag-brake row of family 8, major version 3).
        ListNeed{"WaterRunMode", kWater, "runmodeitems", Coding::Index, 1, 2},
        ListNeed{"WaterRotation", kWater, "MotorDirItems", Coding::Index, 0, 2},
        ListNeed{"WaterBattery", kWater, "battTypeItems", Coding::Index, 0, 2},
        ListNeed{"WaterDragBrake", kWater, "dragbrakeitems", Coding::Index, 1, 2},
        ListNeed{"WaterStartPower", kWater, "startPwr", Coding::Index, 9, 2},
        ListNeed{"WaterBrake", kWater, "brakeitems", Coding::Index, 0, 2},
        ListNeed{"WaterBec", kWater, "AirbecItems", Coding::Index, 5, 2},
        // Families 1 and 4.
        ListNeed{"AirBrake", kAir, "brakeitems", Coding::Index, 0, 2},
        ListNeed{"AirResponse", kAir, "neutralRanitems", Coding::Index, 1, 2},
        ListNeed{"AirRunMode", kAir, "runmodeitems", Coding::Index, 0, 2},
        ListNeed{"AirDragBrake", kAir, "dragbrakeitems", Coding::Doubled, 4, 2},
        ListNeed{"AirTiming", kAir, "motortimingitems", Coding::IndexPlusOne, 3, 2},
        ListNeed{"AirStartAcc", kAir, "startAccitems", Coding::IndexPlusOne, 1, 2},
        ListNeed{"AirCutOff", kAir, "lowVolitems", Coding::Index, 1, 2},
        ListNeed{"AirRotation", kAir, "MotorDirItems", Coding::IndexPlusOne, 1, 2},
        ListNeed{"AirThrottle", kAir, "throttleForitems", Coding::IndexPlusOne, 1, 2},
        ListNeed{"AirBec", kAir, "AirbecItems", Coding::Index, 0, 2},
        // Family 5.
        ListNeed{"MultiBrake", kMulti, "brakeitems", Coding::Odd, 3, 2},
        ListNeed{"MultiStartAcc", kMulti, "startAccitems", Coding::IndexPlusOne, 1, 2},
        ListNeed{"MultiDragBrake", kMulti, "dragbrakeitems", Coding::IndexPlusOne, 1, 2},
        ListNeed{"MultiThrottle", kMulti, "throttleForitems", Coding::IndexPlusOne, 1, 2},
        // Family 6.
        ListNeed{"BoatStartAcc", kBoat, "startAccitems", Coding::Index, 0, 2},
        ListNeed{"BoatBrake", kBoat, "brakeitems", Coding::Index, 3, 2},
        ListNeed{"BoatDragBrake", kBoat, "dragbrakeitems", Coding::Index, 1, 2},
        ListNeed{"BoatThrottle", kBoat, "throttleForitems", Coding::Index, 2, 2},
        ListNeed{"BoatRotation", kBoat, "MotorDirItems", Coding::Index, 0, 2},
        ListNeed{"BoatNeutral", kBoat, "neutralRanitems", Coding::Index, 1, 2},
        // Family 7.
        ListNeed{"AbcBrake", kAbc, "brakeitems", Coding::Index, 0, 2},
        ListNeed{"AbcBattery", kAbc, "batTypeitems", Coding::Index, 1, 2},
        ListNeed{"AbcCutOffType", kAbc, "cutoffitems", Coding::Index, 1, 2},
        ListNeed{"AbcCutOff", kAbc, "lowVolitems", Coding::Index, 1, 2},
        ListNeed{"AbcTiming", kAbc, "motortimingitems", Coding::Index, 1, 2},
        ListNeed{"AbcStartAcc", kAbc, "startAccitems", Coding::Index, 1, 2},
        ListNeed{"AbcGovernor", kAbc, "goernormodeitems", Coding::Index, 0, 2},
        ListNeed{"AbcRotation", kAbc, "MotorDirItems", Coding::Index, 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// The 13-byte layout of family 8 sends the number written in the start-power entry minus
// one; its factory default 0x0E must name an entry.
TEST(ShippedLanguageFile, StartPowerEntriesCarryTheirNumber) {
    constexpr int kDefaultByte = 0x0E;
    for (const char* section : {"chinese", "english"}) {
        bool found = false;
        for (const std::string& entry : entriesOf(valueOf(section, "startPwr"))) {
            found = found || std::atoi(entry.c_str()) - 1 == kDefaultByte;
        }
        EXPECT_TRUE(found) << section;
    }
}

// --- The file as a whole ------------------------------------------------------------------

struct RawEntry {
    std::string key;
    std::string value;
    int line = 0;
};

// The file read line by line, independently of the engine.
std::map<std::string, std::vector<RawEntry>> rawSections(std::vector<std::string>* stray) {
    std::map<std::string, std::vector<RawEntry>> sections;
    const std::string text = readBytes(kShippedFile).value_or("");
    std::string current;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        if (line.front() == ';') {
            if (line.find('=') != std::string::npos)
                stray->push_back(line);
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || line.find('\r') != std::string::npos) {
            stray->push_back(line);
            continue;
        }
        sections[current].push_back(
            RawEntry{line.substr(0, equals), line.substr(equals + 1), number});
    }
    return sections;
}

bool isList(const std::string& key) {
    const auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return key.size() >= t.size() && key.compare(key.size() - t.size(), t.size(), t) == 0;
    };
    return endsWith("items") || endsWith("Items") || key == "startPwr" ||
           key == "runmodeitemsCarToMuti";
}

bool hasCjk(const std::string& utf8) {
    // Lead bytes E3 to E9 start the CJK blocks and the full-width punctuation.
    for (unsigned char c : utf8) {
        if (c >= 0xE3 && c <= 0xE9)
            return true;
    }
    return false;
}

TEST(ShippedLanguageFile, OnlyHeadersKeysNotesAndBlankLines) {
    std::vector<std::string> stray;
    rawSections(&stray);
    EXPECT_TRUE(stray.empty()) << stray.front();
}

TEST(ShippedLanguageFile, ValuesFitTheBuffer) {
    std::vector<std::string> stray;
    for (const auto& [section, entries] : rawSections(&stray)) {
        for (const RawEntry& e : entries) {
            EXPECT_LE(codePoints(e.value), kMaxValue) << section << " line " << e.line;
        }
    }
}

TEST(ShippedLanguageFile, ListsHaveNoEmptyEntries) {
    std::vector<std::string> stray;
    for (const auto& [section, entries] : rawSections(&stray)) {
        for (const RawEntry& e : entries) {
            if (!isList(e.key))
                continue;
            for (const std::string& entry : entriesOf(e.value)) {
                EXPECT_FALSE(entry.empty()) << section << " " << e.key;
            }
        }
    }
}

TEST(ShippedLanguageFile, NoKeyTwiceInASection) {
    std::vector<std::string> stray;
    for (const auto& [section, entries] : rawSections(&stray)) {
        std::set<std::string> seen;
        for (const RawEntry& e : entries) {
            std::string lower = e.key;
            for (char& ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            EXPECT_TRUE(seen.insert(lower).second) << section << " " << e.key;
        }
    }
}

struct LanguagePair {
    const char* chinese;
    const char* english;
};

void PrintTo(const LanguagePair& c, std::ostream* os) {
    *os << c.chinese;
}

class LanguagePairs : public ::testing::TestWithParam<LanguagePair> {};

// A position means the same value in both languages, so paired lists must agree in length;
// and the two sections must offer the same keys.
TEST_P(LanguagePairs, SameKeysAndListLengths) {
    std::vector<std::string> stray;
    auto sections = rawSections(&stray);
    std::map<std::string, std::string> zh;
    std::map<std::string, std::string> en;
    for (const RawEntry& e : sections[GetParam().chinese]) zh[e.key] = e.value;
    for (const RawEntry& e : sections[GetParam().english]) en[e.key] = e.value;
    zh.erase(i18n::kTextWriteDoneChinese);
    const auto lowered = [](std::map<std::string, std::string> m) {
        std::map<std::string, std::string> out;
        for (auto& [k, v] : m) {
            std::string l = k;
            for (char& ch : l) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            out[l] = v;
        }
        return out;
    };
    zh = lowered(zh);
    en = lowered(en);
    for (const auto& [key, value] : zh) {
        ASSERT_TRUE(en.count(key)) << key;
        if (isList(key)) {
            EXPECT_EQ(entriesOf(value).size(), entriesOf(en[key]).size()) << key;
        }
    }
    for (const auto& [key, value] : en) EXPECT_TRUE(zh.count(key)) << key;
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguageFile, LanguagePairs,
                         ::testing::Values(LanguagePair{"chinese", "english"},
                                           LanguagePair{"water_ctl_ch", "water_ctl_E"},
                                           LanguagePair{"muti_field_C", "muti_field_E"},
                                           LanguagePair{"boat_field_C", "boat_field_E"},
                                           LanguagePair{"ABC_field_C", "ABC_field_E"}),
                         [](const auto& info) { return std::string(info.param.chinese); });

// Chinese captions must really be Chinese, and English sections free of Chinese.
TEST(ShippedLanguageFile, EachLanguageInItsOwnScript) {
    std::vector<std::string> stray;
    auto sections = rawSections(&stray);
    for (const char* zh :
         {"chinese", "water_ctl_ch", "muti_field_C", "boat_field_C", "ABC_field_C"}) {
        for (const RawEntry& e : sections[zh]) {
            if (!isList(e.key) && e.key.find("Lab") != std::string::npos) {
                EXPECT_TRUE(hasCjk(e.value)) << zh << " " << e.key;
            }
        }
    }
    for (const std::string& key : kWindowKeys) {
        if (key == "startPwr" || key == "AirbecItems")
            continue;
        EXPECT_TRUE(hasCjk(valueOf("chinese", key))) << key;
    }
    for (const char* en :
         {"english", "water_ctl_E", "muti_field_E", "boat_field_E", "ABC_field_E", "air_field_E"}) {
        for (const RawEntry& e : sections[en]) {
            EXPECT_FALSE(hasCjk(e.value)) << en << " " << e.key;
        }
    }
}

}  // namespace
