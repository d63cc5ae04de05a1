#include "settings/settings_file_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "i18n/ui_text.h"
#include "support/scripted_prompter.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScriptedPrompter;

// The lists in file byte order, with the throttle edits at bytes 3 to 5.
const form::ControlId kLists[] = {
    form::kComboStartAccel,    form::kComboMotorTiming,     form::kComboBraking,
    form::kComboNeutralRange,  form::kComboDragBrake,       form::kComboCutoffVoltage,
    form::kComboBatteryType,   form::kComboMotorRotation,   form::kComboStartPower,
    form::kComboThrottleLimit, form::kComboThrottlePercent, form::kComboRunMode,
};
const std::size_t kListBytes[] = {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 14};

class SettingsFileCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessaro-cfg-XXXXXX";
        m_dir = mkdtemp(pattern);
        i18n::g_languageFilePath = m_dir + "/language.ini";
        std::ofstream(i18n::g_languageFilePath)
            << "[english]\nlinkNoEstablished=Link not established\nexportFail=Cannot write\n";
        i18n::g_chineseSelected = 0;
        for (form::ControlId id : kLists) {
            form.clearItems(id);
            for (int i = 0; i < itemsPerList; ++i) form.addItem(id, "item " + std::to_string(i));
        }
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }
    std::vector<uint8_t> bytesOf(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static constexpr int itemsPerList = 5;
    form::HeadlessForm form;
    ScriptedPrompter prompter;
    std::string m_dir;
};

TEST_F(SettingsFileCommands, ExportWritesPositionsAndThrottleBytesInFileOrder) {
    for (std::size_t i = 0; i < std::size(kLists); ++i)
        form.setSelection(kLists[i], static_cast<int>(i % 4));
    form.setSelection(form::kComboBatteryType, -1);  // no selection: 0xFF
    form.setSpinPosition(form::kSpinMinThrottle, 1000);
    form.setSpinPosition(form::kSpinMaxThrottle, 2020);
    form.setSpinPosition(form::kSpinCenterThrottle, 1500);
    prompter.fileAnswers.push_back(file("race.old"));

    const auto written = settings::onExportData(form, prompter, true);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, file("race.cfg"));
    const std::vector<uint8_t> bytes = bytesOf(file("race.cfg"));
    ASSERT_EQ(bytes.size(), 15u);
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
        const uint8_t expected =
            kLists[i] == form::kComboBatteryType ? 0xFF : static_cast<uint8_t>(i % 4);
        EXPECT_EQ(bytes[kListBytes[i]], expected) << "byte " << kListBytes[i];
    }
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[4], 255);
    EXPECT_EQ(bytes[5], 125);
    ASSERT_EQ(prompter.saveRequests.size(), 1u);
    EXPECT_EQ(prompter.saveRequests[0].filter, "config Files (*.cfg)|*.cfg||");
    EXPECT_FALSE(prompter.saveRequests[0].promptOverwrite);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(SettingsFileCommands, LinkDownOrCancelDoNothing) {
    struct Case {
        bool linksUp;
        bool answer;
        std::size_t messages;
    };
    const Case cases[] = {{false, true, 1}, {true, false, 0}};
    for (const auto& c : cases) {
        ScriptedPrompter p;
        if (c.answer)
            p.fileAnswers.push_back(file("x.cfg"));
        EXPECT_FALSE(settings::onExportData(form, p, c.linksUp));
        if (c.answer)
            p.fileAnswers.push_back(file("x.cfg"));
        EXPECT_FALSE(settings::onImportData(form, p, c.linksUp));
        EXPECT_EQ(p.messages.size(), 2 * c.messages);
        if (c.messages) {
            EXPECT_EQ(p.messages[0].text, "Link not established");
        }
        EXPECT_FALSE(fs::exists(file("x.cfg")));
    }
}

TEST_F(SettingsFileCommands, ImportRefusesEveryOtherSizeAndLeavesTheForm) {
    for (std::size_t size : {0u, 14u, 16u}) {
        form.setSelection(form::kComboRunMode, 3);
        std::ofstream(file("bad.cfg"), std::ios::binary) << std::string(size, '\x01');
        prompter.messages.clear();
        prompter.fileAnswers.push_back(file("bad.cfg"));
        EXPECT_FALSE(settings::onImportData(form, prompter, true)) << size;
        ASSERT_EQ(prompter.messages.size(), 1u) << size;
        EXPECT_EQ(prompter.messages[0].text, "File Error!");
        EXPECT_EQ(prompter.messages[0].icon, form::MessageIcon::None);
        EXPECT_EQ(form.selection(form::kComboRunMode), 3) << size;
    }
    // A file that cannot be opened: no message, nothing changes.
    prompter.messages.clear();
    prompter.fileAnswers.push_back(file("missing.cfg"));
    EXPECT_FALSE(settings::onImportData(form, prompter, true));
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_FALSE(prompter.openRequests.empty());
    EXPECT_EQ(prompter.openRequests[0].filter, "config Files (*.cfg)|*.cfg| all file  (*.*)|*.*||");
    EXPECT_EQ(prompter.openRequests[0].initialName, "*.cfg");
    EXPECT_EQ(prompter.openRequests[0].defaultExtension, "*.cfg");
}

TEST_F(SettingsFileCommands, AnInvalidPositionClearsOnlyItsList) {
    files::SettingsFile f;
    for (auto& b : f.bytes) b = 2;
    f.bytes[9] = 0xFF;
    f.bytes[3] = 10;
    ASSERT_TRUE(f.write(file("in.cfg")));
    form.setSelection(form::kComboBatteryType, 1);
    prompter.fileAnswers.push_back(file("in.cfg"));
    ASSERT_TRUE(settings::onImportData(form, prompter, true));
    for (form::ControlId id : kLists) {
        EXPECT_EQ(form.selection(id), id == form::kComboBatteryType ? -1 : 2) << id;
    }
    EXPECT_EQ(form.text(form::kEditMinThrottle), "1040");
    EXPECT_EQ(form.spinPosition(form::kSpinMinThrottle), 1040);
}

TEST_F(SettingsFileCommands, ExportThenImportGivesBackEveryThrottleValue) {
    const form::ControlId spins[] = {form::kSpinMinThrottle, form::kSpinMaxThrottle,
                                     form::kSpinCenterThrottle};
    const form::ControlId edits[] = {form::kEditMinThrottle, form::kEditMaxThrottle,
                                     form::kEditCenterThrottle};
    for (int s = 0; s < 3; ++s) {
        for (int v = form.spinLow(spins[s]); v <= form.spinHigh(spins[s]);
             v += form.spinStep(spins[s])) {
            form.setSpinPosition(spins[s], v);
            const files::SettingsFile f = settings::captureSettingsFile(form);
            form.setSpinPosition(spins[s], form.spinLow(spins[s]) == v ? form.spinHigh(spins[s])
                                                                       : form.spinLow(spins[s]));
            settings::applySettingsFile(form, f);
            ASSERT_EQ(form.text(edits[s]), std::to_string(v)) << "spin " << spins[s];
        }
    }
}

TEST_F(SettingsFileCommands, AFileOfOneFamilySelectsTheSamePositionsInAnother) {
    form.setSelection(form::kComboRunMode, 4);
    form.setSelection(form::kComboDragBrake, 1);
    const files::SettingsFile f = settings::captureSettingsFile(form);
    // Another family's lists: other texts, at least as many entries.
    for (form::ControlId id : kLists) {
        form.clearItems(id);
        for (int i = 0; i < 8; ++i) form.addItem(id, "other " + std::to_string(i));
    }
    settings::applySettingsFile(form, f);
    EXPECT_EQ(form.selection(form::kComboRunMode), 4);
    EXPECT_EQ(form.selection(form::kComboDragBrake), 1);
}

TEST_F(SettingsFileCommands, AFailedExportWarnsAndKeepsTheOldFile) {
    fs::create_directory(file("taken.cfg"));  // a folder where the file should go
    prompter.fileAnswers.push_back(file("taken"));
    EXPECT_FALSE(settings::onExportData(form, prompter, true));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Cannot write");
    EXPECT_TRUE(fs::is_directory(file("taken.cfg")));
}

}  // namespace
