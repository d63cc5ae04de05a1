// The three frame operations on the headless form: default frames byte for byte, chosen
// forms to exact write frames, replies to exact selections, texts and visibility, the
// marks of the throttle rules, and what a family code outside 1 … 9 leaves alone.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "form/layout.h"
#include "settings/families.h"
#include "settings/settings_codec.h"
#include "settings/settings_model.h"

namespace settings {
namespace {

using Bytes = std::vector<uint8_t>;
namespace f = form;

constexpr int kItemsPerList = 16;
constexpr int64_t kCalcResult = 4160;

// The marks in memory, read the way the profile engine reads integers.
class MemoryMarks : public CodecMarks {
  public:
    uint32_t readMark(std::string_view key) const override {
        const auto found = m_values.find(std::string(key));
        if (found == m_values.end()) {
            return 0;
        }
        return static_cast<uint32_t>(std::stoul(found->second, nullptr, 0));
    }
    void writeMark(std::string_view key, std::string_view value) override {
        m_values[std::string(key)] = std::string(value);
        ++m_writes;
    }
    bool has(const std::string& key) const { return m_values.count(key) != 0; }
    std::string value(const std::string& key) const {
        return has(key) ? m_values.at(key) : std::string("<none>");
    }
    std::map<std::string, std::string> m_values;
    int m_writes = 0;
};

std::vector<f::ControlId> comboIds() {
    std::vector<f::ControlId> ids;
    for (const f::ControlSpec& entry : f::mainWindowLayout().controls) {
        if (entry.kind == f::ControlKind::Combo) {
            ids.push_back(entry.id);
        }
    }
    return ids;
}

// Every list holds items "0" … "15" with item `selected` chosen, as after a fill of the
// family's texts and a decode.
void fillLists(f::Form& form, int selected) {
    for (f::ControlId id : comboIds()) {
        form.clearItems(id);
        for (int i = 0; i < kItemsPerList; ++i) {
            form.addItem(id, std::to_string(i));
        }
        form.setSelection(id, selected);
    }
}

// One control set in a test: a selection, an edit text, or a replaced item list.
struct Setting {
    f::ControlId control;
    int selection = -1;
    const char* text = nullptr;
    std::vector<std::string> items = {};
};

Setting sel(f::ControlId id, int index) {
    return {id, index};
}
Setting txt(f::ControlId id, const char* text) {
    return {id, -1, text};
}

void applySettings(f::Form& form, const std::vector<Setting>& settings) {
    for (const Setting& s : settings) {
        if (!s.items.empty()) {
            form.clearItems(s.control);
            for (const std::string& item : s.items) {
                form.addItem(s.control, item);
            }
        }
        if (s.text != nullptr) {
            form.setText(s.control, s.text);
        } else if (s.selection >= 0) {
            form.setSelection(s.control, s.selection);
        }
    }
}

Bytes frameOf(const uint8_t* tx, uint32_t length) {
    return Bytes(tx, tx + length);
}

std::string hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    return out;
}

EscInfo esc(uint8_t family, uint8_t major = 1, uint8_t variant = 0, uint8_t length = 0,
            uint8_t byte5 = 0, uint8_t byte6 = 0) {
    return EscInfo{.family = family,
                   .variant = variant,
                   .major = major,
                   .byte5 = byte5,
                   .byte6 = byte6,
                   .settingsLength = length};
}

// --- Default frames ------------------------------------------------------------------

struct DefaultCase {
    const char* name;
    EscInfo esc;
    Bytes frame;
};

TEST(CodecFrames, DefaultFramesByteForByte) {
    const DefaultCase cases[] = {
        {"air",
         esc(1),
         {0xF2, 0x00, 0x01, 0x00, 0x04, 0x03, 0x01, 0x01, 0x01, 0x01, 0x0C, 0x0C, 0xD1}},
        {"car basic major 1",
         esc(2, 1),
         {0xF2, 0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0xD1}},
        {"car basic major 3",
         esc(2, 3),
         {0xF2, 0x02, 0x02, 0x13, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0xD1}},
        {"car turbo major 2",
         esc(3, 2),
         {0xF2, 0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x04, 0x05, 0x04,
          0xD1}},
        {"car turbo major 3",
         esc(3, 3),
         {0xF2, 0x02, 0x02, 0x13, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x04, 0x05, 0x04,
          0xD1}},
        {"air bec",
         esc(4),
         {0xF2, 0x00, 0x01, 0x00, 0x04, 0x03, 0x01, 0x01, 0x01, 0x01, 0x0C, 0x0C, 0x00, 0xD1}},
        {"multi", esc(5), {0xF2, 0x03, 0x01, 0x01, 0x01, 0x19, 0xE4, 0xD1}},
        {"boat", esc(6), {0xF2, 0x00, 0x03, 0x01, 0x02, 0x00, 0x01, 0xD1}},
        {"abc", esc(7), {0xF2, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0xD1}},
        {"car full 13",
         esc(8, 1, 0, 13),
         {0xF2, 0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x0E, 0x00,
          0xD1}},
        {"car full 15 major 3",
         esc(8, 3, 0, 15),
         {0xF2, 0x02, 0x02, 0x13, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x09, 0x04, 0x04,
          0x01, 0xD1}},
        {"car full 16",
         esc(8, 2, 0, 16),
         {0xF2, 0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x09, 0x04, 0x04,
          0x01, 0x00, 0xD1}},
        {"car full 14 taken as 16",
         esc(8, 2, 0, 14),
         {0xF2, 0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x09, 0x04, 0x04,
          0x01, 0x00, 0xD1}},
        {"car full 0 taken as 16",
         esc(8, 3, 0, 0),
         {0xF2, 0x02, 0x02, 0x13, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x09, 0x04, 0x04,
          0x01, 0x00, 0xD1}},
        {"water variant 6", esc(9, 1, 6, 19), {0xF2, 0x01, 0x00, 0x04, 0x04, 0x02, 0x02,
                                               0x03, 0x00, 0x18, 0xE0, 0x7C, 0x05, 0x01,
                                               0x09, 0x00, 0x01, 0x06, 0x00, 0x05, 0xD1}},
        {"water variant 5", esc(9, 1, 5, 18), {0xF2, 0x01, 0x00, 0x04, 0x04, 0x02, 0x02,
                                               0x03, 0x00, 0x18, 0xE0, 0x7C, 0x05, 0x01,
                                               0x09, 0x00, 0x01, 0x06, 0x00, 0xD1}},
    };
    MemoryMarks marks;
    SettingsCodec codec(marks);
    for (const DefaultCase& c : cases) {
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        codec.buildDefaultFrame(c.esc, tx, length);
        EXPECT_EQ(hex(frameOf(tx, length)), hex(c.frame)) << c.name;
    }
    EXPECT_EQ(marks.m_writes, 0);
}

TEST(CodecFrames, CarFullLengthOutsideItsLayoutsBecomes16) {
    const uint8_t lengths[][2] = {{13, 13}, {15, 15}, {16, 16}, {14, 16}, {0, 16}, {200, 16}};
    for (const auto& pair : lengths) {
        EXPECT_EQ(settingsLengthAfterWrite(esc(8, 1, 0, pair[0])), pair[1]) << int{pair[0]};
    }
    EXPECT_EQ(settingsLengthAfterWrite(esc(9, 1, 6, 14)), 14);
    EXPECT_EQ(settingsLengthAfterWrite(esc(2, 1, 0, 12)), 12);
}

// --- Encoding ------------------------------------------------------------------------

struct EncodeCase {
    const char* name;
    EscInfo esc;
    std::vector<Setting> settings;
    Bytes frame;
};

TEST(CodecFrames, ChosenFormEncodesToTheExactFrame) {
    const EncodeCase cases[] = {
        {"air",
         esc(1),
         {sel(f::kComboBraking, 1), sel(f::kComboNeutralRange, 2), sel(f::kComboDragBrake, 3),
          sel(f::kComboStartAccel, 2), sel(f::kComboCutoffVoltage, 1),
          sel(f::kComboMotorRotation, 1), sel(f::kComboThrottleLimit, 4),
          txt(f::kEditGovernor, "2080")},
         {0xF2, 0x01, 0x02, 0x00, 0x06, 0x01, 0x03, 0x01, 0x02, 0x05, 0x0F, 0x07, 0xD1}},
        {"air, governor above the calculator result",
         esc(1),
         {txt(f::kEditGovernor, "5000")},
         {0xF2, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00, 0x01, 0x01, 0x0C, 0x0C, 0xD1}},
        {"air bec",
         esc(4),
         {sel(f::kComboBecVoltage, 2), txt(f::kEditGovernor, "5000")},
         {0xF2, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00, 0x01, 0x01, 0x0C, 0x0C, 0x02, 0xD1}},
        {"car basic major 2: brake list, 1004, 1840 as 208",
         esc(2, 2),
         {sel(f::kComboStartAccel, 1), sel(f::kComboMotorTiming, 2), sel(f::kComboBraking, 3),
          txt(f::kEditMinThrottle, "1004"), txt(f::kEditMaxThrottle, "1840"),
          txt(f::kEditCenterThrottle, "1500"), sel(f::kComboNeutralRange, 1),
          sel(f::kComboDragBrake, 2), sel(f::kComboCutoffVoltage, 3), sel(f::kComboBatteryType, 1),
          sel(f::kComboMotorRotation, 1)},
         {0xF2, 0x01, 0x02, 0x03, 0x00, 0xD0, 0x7C, 0x01, 0x02, 0x03, 0x01, 0x01, 0xD1}},
        {"car basic major 1: brake edit, 1840 as 209",
         esc(2, 1),
         {sel(f::kComboBraking, 9), txt(f::kEditBrakeValue, "20"), txt(f::kEditMinThrottle, "1008"),
          txt(f::kEditMaxThrottle, "1840"), txt(f::kEditCenterThrottle, "1500")},
         {0xF2, 0x00, 0x00, 0x13, 0x01, 0xD1, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD1}},
        {"car turbo major 3",
         esc(3, 3),
         {txt(f::kEditBrakeValue, "100"), txt(f::kEditMinThrottle, "1100"),
          txt(f::kEditMaxThrottle, "2000"), txt(f::kEditCenterThrottle, "1488"),
          sel(f::kComboBoostStartRpm, 3), sel(f::kComboTurboTiming, 4), sel(f::kComboTurboDelay, 5),
          sel(f::kComboStartPower, 7)},
         {0xF2, 0x00, 0x00, 0x63, 0x18, 0xF9, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x04, 0x05,
          0xD1}},
        {"car full 15 major 2: minimum 1000, 1904 as 224",
         esc(8, 2, 0, 15),
         {sel(f::kComboBraking, 1), txt(f::kEditMinThrottle, "1000"),
          txt(f::kEditMaxThrottle, "1904"), txt(f::kEditCenterThrottle, "1400"),
          sel(f::kComboStartPower, 2), sel(f::kComboThrottleLimit, 3),
          sel(f::kComboThrottlePercent, 1), sel(f::kComboRunMode, 2), sel(f::kComboBecVoltage, 5)},
         {0xF2, 0x00, 0x00, 0x01, 0x00, 0xE0, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x01,
          0x02, 0xD1}},
        {"car full 16",
         esc(8, 2, 0, 16),
         {sel(f::kComboBraking, 1), txt(f::kEditMinThrottle, "1000"),
          txt(f::kEditMaxThrottle, "1904"), txt(f::kEditCenterThrottle, "1400"),
          sel(f::kComboStartPower, 2), sel(f::kComboThrottleLimit, 3),
          sel(f::kComboThrottlePercent, 1), sel(f::kComboRunMode, 2), sel(f::kComboBecVoltage, 3)},
         {0xF2, 0x00, 0x00, 0x01, 0x00, 0xE0, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x01,
          0x02, 0x03, 0xD1}},
        {"car full 14 encodes the 16-byte layout",
         esc(8, 2, 0, 14),
         {sel(f::kComboBraking, 1), txt(f::kEditMinThrottle, "1000"),
          txt(f::kEditMaxThrottle, "1904"), txt(f::kEditCenterThrottle, "1400"),
          sel(f::kComboStartPower, 2), sel(f::kComboThrottleLimit, 3),
          sel(f::kComboThrottlePercent, 1), sel(f::kComboRunMode, 2), sel(f::kComboBecVoltage, 3)},
         {0xF2, 0x00, 0x00, 0x01, 0x00, 0xE0, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x01,
          0x02, 0x03, 0xD1}},
        {"car full 13: start power by the number in its item",
         esc(8, 1, 0, 13),
         {txt(f::kEditBrakeValue, "20"), txt(f::kEditMinThrottle, "1100"),
          txt(f::kEditMaxThrottle, "1900"), txt(f::kEditCenterThrottle, "1500"),
          Setting{f::kComboStartPower, 2, nullptr, {"5%", "10%", "15%"}},
          sel(f::kComboBecVoltage, 1), sel(f::kComboThrottleLimit, 9)},
         {0xF2, 0x00, 0x00, 0x13, 0x18, 0xE0, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x01,
          0xD1}},
        {"multi",
         esc(5),
         {sel(f::kComboBraking, 1), sel(f::kComboDragBrake, 2), sel(f::kComboThrottleLimit, 1),
          txt(f::kEditLowEndPoint, "1100"), txt(f::kEditHighEndPoint, "2020")},
         {0xF2, 0x03, 0x01, 0x03, 0x02, 0x19, 0xFF, 0xD1}},
        {"boat, first items", esc(6), {}, {0xF2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD1}},
        {"boat",
         esc(6),
         {sel(f::kComboStartAccel, 1), sel(f::kComboBraking, 2), sel(f::kComboDragBrake, 3),
          sel(f::kComboThrottleLimit, 4), sel(f::kComboMotorRotation, 1),
          sel(f::kComboNeutralRange, 2)},
         {0xF2, 0x01, 0x02, 0x03, 0x04, 0x01, 0x02, 0xD1}},
        {"abc",
         esc(7),
         {sel(f::kComboStartAccel, 1), sel(f::kComboBraking, 2), sel(f::kComboMotorRotation, 3),
          sel(f::kComboDragBrake, 4), sel(f::kComboThrottleLimit, 5), sel(f::kComboNeutralRange, 6),
          sel(f::kComboCutoffVoltage, 7), sel(f::kComboThrottlePercent, 1)},
         {0xF2, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x01, 0xD1}},
        {"water variant 5 without build 2/29",
         esc(9, 1, 5, 18),
         {sel(f::kComboRunMode, 1), sel(f::kComboThrottleLimit, 2),
          sel(f::kComboThrottlePercent, 3), sel(f::kComboMotorTiming, 1),
          sel(f::kComboStartAccel, 2), sel(f::kComboCutoffVoltage, 1), sel(f::kComboBatteryType, 1),
          txt(f::kEditMinThrottle, "1004"), txt(f::kEditMaxThrottle, "1972"),
          txt(f::kEditCenterThrottle, "1500"), sel(f::kComboNeutralRange, 2),
          sel(f::kComboDragBrake, 1), sel(f::kComboStartPower, 3), sel(f::kComboBraking, 4),
          sel(f::kComboBecVoltage, 2)},
         {0xF2, 0x01, 0x00, 0x02, 0x03, 0x01, 0x02, 0x01, 0x01, 0x00,
          0xF2, 0x7C, 0x02, 0x01, 0x03, 0x00, 0x01, 0x07, 0x04, 0xD1}},
        {"water variant 6 under build 2/29",
         esc(9, 1, 6, 19, 2, 29),
         {sel(f::kComboRunMode, 1), sel(f::kComboThrottleLimit, 2),
          sel(f::kComboThrottlePercent, 3), sel(f::kComboMotorTiming, 1),
          sel(f::kComboStartAccel, 2), sel(f::kComboCutoffVoltage, 1), sel(f::kComboBatteryType, 1),
          txt(f::kEditMinThrottle, "1004"), txt(f::kEditMaxThrottle, "1972"),
          txt(f::kEditCenterThrottle, "1500"), sel(f::kComboNeutralRange, 2),
          sel(f::kComboDragBrake, 1), sel(f::kComboStartPower, 3), sel(f::kComboBraking, 4),
          sel(f::kComboBecVoltage, 2)},
         {0xF2, 0x01, 0x00, 0x02, 0x03, 0x01, 0x02, 0x01, 0x01, 0x00, 0xF1,
          0x7C, 0x02, 0x01, 0x03, 0x00, 0x01, 0x07, 0x04, 0x02, 0xD1}},
    };
    for (const EncodeCase& c : cases) {
        f::HeadlessForm form;
        fillLists(form, 0);
        applySettings(form, c.settings);
        MemoryMarks marks;
        SettingsCodec codec(marks);
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        ASSERT_TRUE(codec.encodeSettingsFrame(form, c.esc, kCalcResult, tx, length)) << c.name;
        EXPECT_EQ(hex(frameOf(tx, length)), hex(c.frame)) << c.name;
    }
}

// --- Decoding ------------------------------------------------------------------------

enum class Check { Selected, Text, Visible, Hidden, Enabled, Disabled };

struct Expect {
    Check check;
    f::ControlId control;
    int selection = 0;
    const char* text = nullptr;
};

Expect selected(f::ControlId id, int index) {
    return {Check::Selected, id, index};
}
Expect shows(f::ControlId id, const char* text) {
    return {Check::Text, id, 0, text};
}
Expect visible(f::ControlId id) {
    return {Check::Visible, id};
}
Expect hidden(f::ControlId id) {
    return {Check::Hidden, id};
}
Expect enabled(f::ControlId id) {
    return {Check::Enabled, id};
}
Expect disabled(f::ControlId id) {
    return {Check::Disabled, id};
}

struct DecodeCase {
    const char* name;
    EscInfo esc;
    Bytes reply;
    std::map<std::string, std::string> marks;
    std::vector<Expect> expects;
};

void verify(const f::HeadlessForm& form, const DecodeCase& c) {
    for (const Expect& e : c.expects) {
        switch (e.check) {
            case Check::Selected:
                EXPECT_EQ(form.selection(e.control), e.selection) << c.name << ' ' << e.control;
                break;
            case Check::Text:
                EXPECT_EQ(form.text(e.control), e.text) << c.name << ' ' << e.control;
                break;
            case Check::Visible:
                EXPECT_TRUE(form.isVisible(e.control)) << c.name << ' ' << e.control;
                break;
            case Check::Hidden:
                EXPECT_FALSE(form.isVisible(e.control)) << c.name << ' ' << e.control;
                break;
            case Check::Enabled:
                EXPECT_TRUE(form.isEnabled(e.control)) << c.name << ' ' << e.control;
                break;
            case Check::Disabled:
                EXPECT_FALSE(form.isEnabled(e.control)) << c.name << ' ' << e.control;
                break;
        }
    }
}

constexpr int kUntouched = kItemsPerList - 1;

TEST(CodecFrames, ReplyDecodesToExactSelectionsTextsAndVisibility) {
    const DecodeCase cases[] = {
        {"air",
         esc(1),
         {0x01, 0x02, 0x00, 0x03, 0x01, 0x03, 0x01, 0x02, 0x05, 0x0C, 0x0C},
         {},
         {selected(f::kComboBraking, 1), selected(f::kComboNeutralRange, 2),
          selected(f::kComboRunMode, 0), selected(f::kComboDragBrake, 1),
          selected(f::kComboMotorTiming, 0), selected(f::kComboStartAccel, 2),
          selected(f::kComboCutoffVoltage, 1), selected(f::kComboMotorRotation, 1),
          selected(f::kComboThrottleLimit, 4), shows(f::kEditGovernor, "3328"),
          hidden(f::kLabelBatteryType), hidden(f::kComboBatteryType),
          selected(f::kComboBecVoltage, kUntouched)}},
        {"air bec, zero bytes",
         esc(4),
         {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02},
         {},
         {selected(f::kComboBecVoltage, 2), selected(f::kComboDragBrake, 0),
          selected(f::kComboMotorTiming, -1), shows(f::kEditGovernor, "0"),
          hidden(f::kComboBatteryType)}},
        {"car basic major 2, 11 bytes, 1004 marked",
         esc(2, 2, 0, 11),
         {0x01, 0x02, 0x03, 0x00, 0xD0, 0x7C, 0x01, 0x02, 0x03, 0x01, 0x01},
         {{"min_1004", "1"}},
         {selected(f::kComboStartAccel, 1),    selected(f::kComboMotorTiming, 2),
          visible(f::kComboBraking),           hidden(f::kEditBrakeValue),
          selected(f::kComboBraking, 3),       shows(f::kEditMinThrottle, "1004"),
          shows(f::kEditMaxThrottle, "1840"),  shows(f::kEditCenterThrottle, "1500"),
          selected(f::kComboNeutralRange, 1),  selected(f::kComboDragBrake, 2),
          selected(f::kComboCutoffVoltage, 3), selected(f::kComboBatteryType, 1),
          selected(f::kComboMotorRotation, 1), selected(f::kComboStartPower, 0),
          selected(f::kComboThrottleLimit, 0), selected(f::kComboThrottlePercent, 0),
          selected(f::kComboRunMode, 0),       hidden(f::kLabelBecVoltage),
          hidden(f::kComboBecVoltage),         selected(f::kComboTurboTiming, kUntouched)}},
        {"car basic major 1, 12 bytes",
         esc(2, 1, 0, 12),
         {0x00, 0x00, 0x13, 0x00, 0xE0, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05},
         {{"min_1004", "0"}},
         {visible(f::kEditBrakeValue), hidden(f::kComboBraking), shows(f::kEditBrakeValue, "20"),
          enabled(f::kEditBrakeValue), shows(f::kEditMinThrottle, "1000"),
          shows(f::kEditMaxThrottle, "1900"), selected(f::kComboStartPower, 5),
          selected(f::kComboBraking, kUntouched)}},
        {"car turbo major 3, 14 bytes",
         esc(3, 3, 0, 14),
         {0x00, 0x00, 0x63, 0x18, 0xF9, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x04, 0x05},
         {},
         {shows(f::kEditBrakeValue, "100"), shows(f::kEditMinThrottle, "1100"),
          shows(f::kEditMaxThrottle, "2000"), shows(f::kEditCenterThrottle, "1488"),
          selected(f::kComboBoostStartRpm, 3), selected(f::kComboTurboTiming, 4),
          selected(f::kComboTurboDelay, 5), selected(f::kComboStartPower, kUntouched),
          selected(f::kComboThrottleLimit, kUntouched),
          selected(f::kComboThrottlePercent, kUntouched), selected(f::kComboRunMode, kUntouched),
          hidden(f::kComboBecVoltage)}},
        {"car full 16 major 2 variant 5",
         esc(8, 2, 5, 16),
         {0x00, 0x00, 0x01, 0x00, 0xE0, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x01, 0x02,
          0x03},
         {},
         {visible(f::kComboBraking), selected(f::kComboBraking, 1), hidden(f::kEditBrakeValue),
          enabled(f::kEditBrakeValue), shows(f::kEditMinThrottle, "1000"),
          shows(f::kEditMaxThrottle, "1900"), shows(f::kEditCenterThrottle, "1400"),
          selected(f::kComboStartPower, 2), selected(f::kComboThrottleLimit, 3),
          selected(f::kComboThrottlePercent, 1), selected(f::kComboRunMode, 2),
          visible(f::kLabelBecVoltage), visible(f::kComboBecVoltage),
          selected(f::kComboBecVoltage, 3)}},
        {"car full 15 major 1 variant 5: brake edit locked",
         esc(8, 1, 5, 15),
         {0x00, 0x00, 0x04, 0x00, 0xD0, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x01, 0x02},
         {},
         {visible(f::kEditBrakeValue), hidden(f::kComboBraking), shows(f::kEditBrakeValue, "5"),
          disabled(f::kEditBrakeValue), shows(f::kEditMaxThrottle, "1840"),
          selected(f::kComboRunMode, 2), hidden(f::kLabelBecVoltage), hidden(f::kComboBecVoltage),
          selected(f::kComboBecVoltage, kUntouched)}},
        {"car full 15 major 1 variant 4",
         esc(8, 1, 4, 15),
         {0x00, 0x00, 0x04},
         {},
         {shows(f::kEditBrakeValue, "5"), enabled(f::kEditBrakeValue)}},
        {"multi",
         esc(5),
         {0x04, 0x01, 0x03, 0x02, 0x19, 0xE4},
         {},
         {selected(f::kComboBraking, 2), selected(f::kComboStartAccel, 0),
          selected(f::kComboDragBrake, 2), selected(f::kComboThrottleLimit, 1),
          shows(f::kEditLowEndPoint, "1100"), shows(f::kEditHighEndPoint, "1912"),
          selected(f::kComboMotorRotation, kUntouched)}},
        {"boat",
         esc(6),
         {0x01, 0x02, 0x03, 0x04, 0x01, 0x02},
         {},
         {selected(f::kComboStartAccel, 1), selected(f::kComboBraking, 2),
          selected(f::kComboDragBrake, 3), selected(f::kComboThrottleLimit, 4),
          selected(f::kComboMotorRotation, 1), selected(f::kComboNeutralRange, 2)}},
        {"abc",
         esc(7),
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x01},
         {},
         {selected(f::kComboStartAccel, 1), selected(f::kComboBraking, 2),
          selected(f::kComboMotorRotation, 3), selected(f::kComboDragBrake, 4),
          selected(f::kComboThrottleLimit, 5), selected(f::kComboNeutralRange, 6),
          selected(f::kComboCutoffVoltage, 7), selected(f::kComboThrottlePercent, 1)}},
        {"water variant 6, 19 bytes, build 2/29 with 0xF3",
         esc(9, 1, 6, 19, 2, 29),
         {0x01, 0x00, 0x02, 0x03, 0x01, 0x02, 0x01, 0x01, 0x00, 0xF1, 0x7C, 0x02, 0x01, 0x03, 0x00,
          0x01, 0x07, 0x04, 0x02},
         {{"max_F1", "0xF3"}},
         {selected(f::kComboRunMode, 1), selected(f::kComboMotorRotation, 0),
          selected(f::kComboThrottleLimit, 2), selected(f::kComboThrottlePercent, 3),
          selected(f::kComboMotorTiming, 1), selected(f::kComboStartAccel, 2),
          selected(f::kComboCutoffVoltage, 1), selected(f::kComboBatteryType, 1),
          shows(f::kEditMinThrottle, "1000"), shows(f::kEditMaxThrottle, "1972"),
          shows(f::kEditCenterThrottle, "1500"), selected(f::kComboNeutralRange, 2),
          selected(f::kComboDragBrake, 1), selected(f::kComboStartPower, 3),
          selected(f::kComboBraking, 4), visible(f::kLabelBecVoltage), visible(f::kComboBecVoltage),
          selected(f::kComboBecVoltage, 2)}},
        {"water variant 5, 19 bytes: BEC from P16",
         esc(9, 1, 5, 19),
         {0x01, 0x00, 0x02, 0x03, 0x01, 0x02, 0x01, 0x01, 0x00, 0xF1, 0x7C, 0x02, 0x01, 0x03, 0x00,
          0x01, 0x07, 0x04, 0x02},
         {{"max_F1", "0xF3"}},
         {shows(f::kEditMaxThrottle, "1968"), visible(f::kComboBecVoltage),
          selected(f::kComboBecVoltage, 1)}},
        {"water variant 5, 18 bytes: no BEC, brake list",
         esc(9, 1, 5, 18),
         {0x01, 0x00, 0x02, 0x03, 0x01, 0x02, 0x01, 0x01, 0x02, 0xF9, 0x7C, 0x02, 0x01, 0x03, 0x00,
          0x01, 0x07, 0x04},
         {},
         {shows(f::kEditMinThrottle, "1012"), shows(f::kEditMaxThrottle, "2000"),
          hidden(f::kEditBrakeValue), visible(f::kComboBraking), hidden(f::kSpinBrakeValue),
          hidden(f::kLabelBecVoltage), hidden(f::kComboBecVoltage),
          selected(f::kComboBecVoltage, kUntouched), selected(f::kComboBraking, 4)}},
    };
    for (const DecodeCase& c : cases) {
        f::HeadlessForm form;
        fillLists(form, kUntouched);
        MemoryMarks marks;
        marks.m_values = c.marks;
        SettingsCodec codec(marks);
        uint8_t buffer[200] = {};
        std::copy(c.reply.begin(), c.reply.end(), buffer);
        codec.decodeSettingsFrame(buffer, c.esc, kCalcResult, form);
        verify(form, c);
        EXPECT_EQ(marks.m_writes, 0) << c.name;
    }
}

// Decoding the default frame and encoding the form again gives the same frame: every row
// of every layout lands in the control it came from.
TEST(CodecFrames, DefaultFrameSurvivesDecodeAndEncode) {
    struct RoundTrip {
        const char* name;
        EscInfo esc;
        Bytes differs;  // (position, byte) pairs where the write side is fixed otherwise
    };
    const RoundTrip cases[] = {
        {"air", esc(1), {}},
        {"air bec", esc(4), {}},
        {"car basic major 1", esc(2, 1, 0, 11), {}},
        {"car basic major 2", esc(2, 2, 0, 11), {}},
        {"car basic major 3", esc(2, 3, 0, 11), {}},
        {"car turbo major 2", esc(3, 2, 0, 14), {}},
        {"car full 15", esc(8, 1, 0, 15), {}},
        {"car full 16", esc(8, 2, 0, 16), {}},
        {"multi", esc(5), {}},
        {"boat", esc(6), {}},
        {"abc", esc(7), {}},
        {"water variant 6", esc(9, 1, 6, 19), {17, 0x07}},
        {"water variant 5", esc(9, 1, 5, 18), {17, 0x07}},
    };
    constexpr int64_t kExactCalc = 4080;  // 255 · 16: the governor survives exactly
    for (const RoundTrip& c : cases) {
        MemoryMarks marks;
        SettingsCodec codec(marks);
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        codec.buildDefaultFrame(c.esc, tx, length);
        Bytes expected = frameOf(tx, length);
        for (std::size_t i = 0; i + 1 < c.differs.size(); i += 2) {
            expected[c.differs[i]] = c.differs[i + 1];
        }
        uint8_t buffer[200] = {};
        std::copy(tx + 1, tx + length - 1, buffer);
        f::HeadlessForm form;
        fillLists(form, kUntouched);
        codec.decodeSettingsFrame(buffer, c.esc, kExactCalc, form);
        uint8_t again[kTxFrameCapacity] = {};
        uint32_t againLength = 0;
        ASSERT_TRUE(codec.encodeSettingsFrame(form, c.esc, kExactCalc, again, againLength))
            << c.name;
        EXPECT_EQ(hex(frameOf(again, againLength)), hex(expected)) << c.name;
    }
}

// --- The marks -----------------------------------------------------------------------

TEST(CodecFrames, MinimumMarkTellsByte0As1004Or1000) {
    MemoryMarks marks;
    SettingsCodec codec(marks);
    f::HeadlessForm form;
    fillLists(form, 0);
    const EscInfo car = esc(2, 2, 0, 11);
    uint8_t tx[kTxFrameCapacity] = {};
    uint32_t length = 0;

    form.setText(f::kEditMinThrottle, "1004");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, car, kCalcResult, tx, length));
    EXPECT_EQ(tx[4], 0x00);
    EXPECT_EQ(marks.value("min_1004"), "1");
    EXPECT_EQ(codec.minIs1004(), 1);
    uint8_t reply[200] = {};
    codec.decodeSettingsFrame(reply, car, kCalcResult, form);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1004");

    form.setText(f::kEditMinThrottle, "1008");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, car, kCalcResult, tx, length));
    EXPECT_EQ(tx[4], 0x01);
    EXPECT_EQ(marks.value("min_1004"), "0");
    EXPECT_EQ(codec.minIs1004(), 0);
    reply[3] = 0x01;
    codec.decodeSettingsFrame(reply, car, kCalcResult, form);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1008");
    reply[3] = 0x00;
    codec.decodeSettingsFrame(reply, car, kCalcResult, form);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1000");

    // The spin's lower end: byte 0 without the mark, shown as 1000 again (not 0xFF).
    form.setText(f::kEditMinThrottle, "1004");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, car, kCalcResult, tx, length));
    form.setText(f::kEditMinThrottle, "1000");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, car, kCalcResult, tx, length));
    EXPECT_EQ(tx[4], 0x00);
    EXPECT_EQ(marks.value("min_1004"), "0");
    codec.decodeSettingsFrame(reply, car, kCalcResult, form);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1000");
}

TEST(CodecFrames, MaxF1MarkFollowsEveryWaterEncodeUnderBuild229) {
    MemoryMarks marks;
    SettingsCodec codec(marks);
    f::HeadlessForm form;
    fillLists(form, 0);
    const EscInfo water = esc(9, 1, 5, 18, 2, 29);
    uint8_t tx[kTxFrameCapacity] = {};
    uint32_t length = 0;
    constexpr std::size_t kMaxByte = 10;

    form.setText(f::kEditMaxThrottle, "1972");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, water, kCalcResult, tx, length));
    EXPECT_EQ(tx[kMaxByte], 0xF1);
    EXPECT_EQ(marks.value("max_F1"), "0xF3");
    uint8_t reply[200] = {};
    std::copy(tx + 1, tx + length - 1, reply);
    codec.decodeSettingsFrame(reply, water, kCalcResult, form);
    EXPECT_EQ(codec.maxF1Code(), 0xF3);
    EXPECT_EQ(form.text(f::kEditMaxThrottle), "1972");

    form.setText(f::kEditMaxThrottle, "2000");
    ASSERT_TRUE(codec.encodeSettingsFrame(form, water, kCalcResult, tx, length));
    EXPECT_EQ(marks.value("max_F1"), "0");
    codec.decodeSettingsFrame(reply, water, kCalcResult, form);
    EXPECT_EQ(form.text(f::kEditMaxThrottle), "1968");
}

struct MarkUseCase {
    const char* name;
    EscInfo esc;
    bool writesMinimum;
    bool writesMaximum;
};

TEST(CodecFrames, OnlyTheFamiliesUsingAMarkWriteIt) {
    const MarkUseCase cases[] = {
        {"air", esc(1), false, false},
        {"car basic", esc(2, 2), true, false},
        {"car turbo", esc(3, 1), true, false},
        {"air bec", esc(4), false, false},
        {"multi", esc(5), false, false},
        {"boat", esc(6), false, false},
        {"abc", esc(7), false, false},
        {"car full", esc(8, 1, 0, 16, 2, 29), true, false},
        {"water", esc(9, 1, 5, 18), true, false},
        {"water build 2/29", esc(9, 1, 5, 18, 2, 29), true, true},
    };
    for (const MarkUseCase& c : cases) {
        MemoryMarks marks;
        SettingsCodec codec(marks);
        f::HeadlessForm form;
        fillLists(form, 0);
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        ASSERT_TRUE(codec.encodeSettingsFrame(form, c.esc, kCalcResult, tx, length)) << c.name;
        EXPECT_EQ(marks.has("min_1004"), c.writesMinimum) << c.name;
        EXPECT_EQ(marks.has("max_F1"), c.writesMaximum) << c.name;
    }
}

// --- What the codec refuses or leaves alone --------------------------------------------

struct EmptyListCase {
    const char* name;
    EscInfo esc;
    f::ControlId emptied;
};

TEST(CodecFrames, EncodeRefusesAListWithoutSelection) {
    const EmptyListCase cases[] = {
        {"air, doubled", esc(1), f::kComboDragBrake},
        {"air, index + 1", esc(1), f::kComboMotorTiming},
        {"air bec", esc(4), f::kComboBecVoltage},
        {"car basic, brake list under major 2", esc(2, 2), f::kComboBraking},
        {"car turbo", esc(3, 1), f::kComboTurboDelay},
        {"car full 13, start power", esc(8, 1, 0, 13), f::kComboStartPower},
        {"car full 16, bec", esc(8, 1, 0, 16), f::kComboBecVoltage},
        {"multi, odd", esc(5), f::kComboBraking},
        {"boat", esc(6), f::kComboNeutralRange},
        {"abc", esc(7), f::kComboThrottlePercent},
        {"water variant 6", esc(9, 1, 6, 19, 2, 29), f::kComboBecVoltage},
    };
    for (const EmptyListCase& c : cases) {
        MemoryMarks marks;
        SettingsCodec codec(marks);
        f::HeadlessForm form;
        fillLists(form, 0);
        form.clearItems(c.emptied);
        uint8_t tx[kTxFrameCapacity];
        std::memset(tx, 0xAA, sizeof tx);
        uint32_t length = 7;
        EXPECT_FALSE(codec.encodeSettingsFrame(form, c.esc, kCalcResult, tx, length)) << c.name;
        EXPECT_EQ(length, 7u) << c.name;
        EXPECT_EQ(tx[0], 0xAA) << c.name;
        EXPECT_EQ(marks.m_writes, 0) << c.name;
    }
}

TEST(CodecFrames, ListsOutsideTheFamilyNeedNoSelection) {
    struct UnusedCase {
        const char* name;
        EscInfo esc;
        std::vector<f::ControlId> emptied;
    };
    const UnusedCase cases[] = {
        // Major 1 shows the brake as a number; family 2 has no turbo or BEC choice.
        {"car basic major 1",
         esc(2, 1),
         {f::kComboBraking, f::kComboBecVoltage, f::kComboTurboDelay, f::kComboStartPower}},
        {"boat",
         esc(6),
         {f::kComboBatteryType, f::kComboBecVoltage, f::kComboMotorTiming, f::kComboRunMode}},
        {"water variant 5", esc(9, 1, 5, 18), {f::kComboBecVoltage}},
        {"car full 15", esc(8, 1, 0, 15), {f::kComboBecVoltage}},
    };
    for (const UnusedCase& c : cases) {
        MemoryMarks marks;
        SettingsCodec codec(marks);
        f::HeadlessForm form;
        fillLists(form, 0);
        for (f::ControlId id : c.emptied) {
            form.clearItems(id);
        }
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        EXPECT_TRUE(codec.encodeSettingsFrame(form, c.esc, kCalcResult, tx, length)) << c.name;
    }
}

TEST(CodecFrames, AFrameThatDoesNotFitIsNotBuilt) {
    // Water variant 6 writes 21 bytes: one byte less of room builds nothing, and nothing
    // is written behind the room given.
    MemoryMarks marks;
    SettingsCodec codec(marks);
    f::HeadlessForm form;
    fillLists(form, 0);
    const EscInfo water = esc(9, 1, 6, 19);
    uint8_t tx[kTxFrameCapacity];
    std::memset(tx, 0xE1, sizeof tx);
    uint32_t length = 1;
    const std::span<uint8_t> room(tx, 20);
    codec.buildDefaultFrame(water, room, length);
    EXPECT_FALSE(codec.encodeSettingsFrame(form, water, kCalcResult, room, length));
    EXPECT_EQ(length, 1u);
    for (uint8_t b : tx) {
        ASSERT_EQ(b, 0xE1);
    }
    EXPECT_EQ(marks.m_writes, 0);

    codec.buildDefaultFrame(water, std::span<uint8_t>(tx, 21), length);
    EXPECT_EQ(length, 21u);
    EXPECT_EQ(tx[21], 0xE1);
}

TEST(CodecFrames, FamilyOutside1To9ChangesNothing) {
    for (uint8_t family : {uint8_t{0}, uint8_t{10}, uint8_t{255}}) {
        MemoryMarks marks;
        SettingsCodec codec(marks);
        f::HeadlessForm form;
        fillLists(form, 3);
        form.setText(f::kEditMinThrottle, "1100");
        const f::HeadlessForm before = form;
        uint8_t tx[kTxFrameCapacity];
        std::memset(tx, 0xE1, sizeof tx);
        uint32_t length = 1;
        const EscInfo unknown = esc(family, 2, 6, 19, 2, 29);

        codec.buildDefaultFrame(unknown, tx, length);
        EXPECT_TRUE(codec.encodeSettingsFrame(form, unknown, kCalcResult, tx, length));
        uint8_t reply[200];
        std::memset(reply, 0x07, sizeof reply);
        codec.decodeSettingsFrame(reply, unknown, kCalcResult, form);

        EXPECT_EQ(length, 1u) << int{family};
        for (uint8_t b : tx) {
            ASSERT_EQ(b, 0xE1) << int{family};
        }
        EXPECT_EQ(marks.m_writes, 0);
        for (f::ControlId id : comboIds()) {
            EXPECT_EQ(form.selection(id), before.selection(id)) << int{family} << ' ' << id;
            EXPECT_EQ(form.isVisible(id), before.isVisible(id)) << int{family} << ' ' << id;
        }
        for (f::ControlId id :
             {f::kEditMinThrottle, f::kEditMaxThrottle, f::kEditBrakeValue, f::kEditGovernor}) {
            EXPECT_EQ(form.text(id), before.text(id)) << int{family} << ' ' << id;
            EXPECT_EQ(form.isVisible(id), before.isVisible(id)) << int{family} << ' ' << id;
            EXPECT_EQ(form.isEnabled(id), before.isEnabled(id)) << int{family} << ' ' << id;
        }
    }
}

}  // namespace
}  // namespace settings
