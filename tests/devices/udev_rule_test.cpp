// The adapter's udev rule: which rule files are found and which one is in force, and its
// installation as root and through an elevation program. Programs go to a recording
// runner; the rule folders are temporary ones.

#include "devices/udev_rule.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "devices/adapter_diagnosis.h"
#include "support/scratch_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::ScratchDir;
namespace fs = std::filesystem;

const std::string kOwnRule = std::string("# ours\n") + devices::kUdevRule + "\n";

// Two rule folders: "etc" before "lib", as /etc/udev/rules.d comes before /usr/lib.
struct RuleDirs {
    ScratchDir dir;
    RuleDirs() {
        fs::create_directories(etc());
        fs::create_directories(lib());
    }
    std::string etc() const { return dir.file("etc"); }
    std::string lib() const { return dir.file("lib"); }
    std::vector<std::string> both() const { return {etc(), lib()}; }
    void put(const std::string& folder, const std::string& name, const std::string& text) const {
        testing_support::writeBytes(folder + "/" + name, text);
    }
};

struct CheckCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> etcFiles;  // name, contents
    std::vector<std::pair<std::string, std::string>> libFiles;
    bool installed;
    // Per file found, in order: its name, same, hidden, tooLate.
    std::vector<std::tuple<std::string, bool, bool, bool>> found;
};

TEST(UdevRuleCheck, FindsTheRuleInForce) {
    const std::string other =
        R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="10C4", ATTRS{idProduct}=="8468", MODE="0600")";
    const std::vector<CheckCase> cases = {
        {"nothing", {}, {{"50-other.rules", "KERNEL==\"sda\"\n"}}, false, {}},
        {"the package's rule",
         {},
         {{"60-tessaro.rules", kOwnRule}},
         true,
         {{"60-tessaro.rules", true, false, false}}},
        {"the rule without comments, with spaces around it",
         {{"60-tessaro.rules", std::string("  ") + devices::kUdevRule + "  \n\n"}},
         {},
         true,
         {{"60-tessaro.rules", true, false, false}}},
        {"an administrator's file of the same name hides the package's",
         {{"60-tessaro.rules", other + "\n"}},
         {{"60-tessaro.rules", kOwnRule}},
         false,
         {{"60-tessaro.rules", false, false, false}, {"60-tessaro.rules", true, true, false}}},
        {"a different rule for the adapter under another name",
         {{"99-adapter.rules", other + "\n"}},
         {},
         false,
         {{"99-adapter.rules", false, false, true}}},
        {"the rule plus another line is not the same rule",
         {{"60-tessaro.rules", kOwnRule + "KERNEL==\"hidraw*\", MODE=\"0666\"\n"}},
         {},
         false,
         {{"60-tessaro.rules", false, false, false}}},
        {"the same rule after the seat's rules comes too late",
         {{"80-tessaro.rules", kOwnRule}},
         {},
         false,
         {{"80-tessaro.rules", true, false, true}}},
        {"a commented-out rule is no rule",
         {{"60-tessaro.rules", std::string("#") + devices::kUdevRule + "\n"}},
         {},
         false,
         {{"60-tessaro.rules", false, false, false}}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        RuleDirs dirs;
        for (const auto& [name, text] : c.etcFiles) dirs.put(dirs.etc(), name, text);
        for (const auto& [name, text] : c.libFiles) dirs.put(dirs.lib(), name, text);
        const devices::UdevRuleStatus status = devices::checkUdevRule(dirs.both());
        EXPECT_EQ(status.installed(), c.installed);
        ASSERT_EQ(status.files.size(), c.found.size());
        for (size_t i = 0; i < c.found.size(); ++i) {
            const auto& [name, same, hidden, tooLate] = c.found[i];
            EXPECT_EQ(fs::path(status.files[i].path).filename(), name);
            EXPECT_EQ(status.files[i].same, same) << status.files[i].path;
            EXPECT_EQ(status.files[i].hidden, hidden) << status.files[i].path;
            EXPECT_EQ(status.files[i].tooLate, tooLate) << status.files[i].path;
        }
    }
}

// A folder reached twice (/lib and /usr/lib are one folder on a merged system) is read once,
// and a missing folder is no error.
TEST(UdevRuleCheck, ReadsAFolderOnceAndSkipsMissingOnes) {
    RuleDirs dirs;
    dirs.put(dirs.lib(), "60-tessaro.rules", kOwnRule);
    fs::create_directory_symlink(dirs.lib(), dirs.dir.file("lib-link"));
    const auto status =
        devices::checkUdevRule({dirs.dir.file("missing"), dirs.lib(), dirs.dir.file("lib-link")});
    ASSERT_EQ(status.files.size(), 1u);
    EXPECT_FALSE(status.files[0].hidden);
    EXPECT_TRUE(status.installed());
}

// Records every program the installation runs and answers with the status given for it.
struct RecordingRunner {
    std::vector<std::vector<std::string>> calls;
    std::vector<int> answers;    // one per call; 0 when the list has run out
    std::string stagedContents;  // what the staged rule file held when it was handed over
    devices::CommandRunner runner() {
        return [this](const std::vector<std::string>& argv) {
            calls.push_back(argv);
            if (argv.size() >= 6 && argv[5] != "-")
                stagedContents = testing_support::readBytes(argv[5]).value_or("<missing>");
            const size_t index = calls.size() - 1;
            return index < answers.size() ? answers[index] : 0;
        };
    }
};

devices::UdevInstallSetup setupFor(const RuleDirs& dirs, RecordingRunner& runner, bool root) {
    devices::UdevInstallSetup setup;
    setup.ruleDir = dirs.etc();
    setup.readDirs = dirs.both();
    setup.root = root;
    setup.elevation = root ? "" : "pkexec";
    setup.scratchDir = dirs.dir.path();
    setup.run = runner.runner();
    return setup;
}

TEST(UdevRuleInstall, AsRootWritesTheRuleThenReloadsAndTriggers) {
    RuleDirs dirs;
    RecordingRunner runner;
    const auto result = devices::installUdevRule(setupFor(dirs, runner, true));
    EXPECT_TRUE(result.ok()) << result.detail;
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.path, dirs.etc() + "/60-tessaro.rules");
    EXPECT_TRUE(devices::checkUdevRule(dirs.both()).installed());
    struct stat info {};
    ASSERT_EQ(::stat(result.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(runner.calls, devices::udevApplyCommands());
    // The replay reaches the hidraw nodes and the adapter's USB device.
    EXPECT_THAT(runner.calls[0], ElementsAre("udevadm", "control", "--reload"));
    EXPECT_THAT(runner.calls[1], ::testing::Contains("--subsystem-match=hidraw"));
    EXPECT_THAT(runner.calls[2], ::testing::Contains("--attr-match=idProduct=8468"));
}

TEST(UdevRuleInstall, TheSameRuleInForceIsNotWrittenAgainButApplied) {
    RuleDirs dirs;
    dirs.put(dirs.lib(), "60-tessaro.rules", kOwnRule);
    RecordingRunner runner;
    const auto result = devices::installUdevRule(setupFor(dirs, runner, true));
    EXPECT_TRUE(result.ok());
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.path, dirs.lib() + "/60-tessaro.rules");
    EXPECT_FALSE(fs::exists(dirs.etc() + "/60-tessaro.rules"));
    EXPECT_EQ(runner.calls.size(), 3u);
}

// A failing udevadm (no udev in a container) is told, never shown as success; the rule
// written stays.
TEST(UdevRuleInstall, AsRootAFailedStepIsReported) {
    struct Case {
        const char* what;
        std::vector<int> answers;
        devices::UdevInstallStep failed;
        size_t calls;
    };
    const std::vector<Case> cases = {
        {"udevadm missing", {-1}, devices::UdevInstallStep::Reload, 1},
        {"no udev running", {1}, devices::UdevInstallStep::Reload, 1},
        {"the usb replay fails", {0, 0, 2}, devices::UdevInstallStep::Trigger, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RuleDirs dirs;
        RecordingRunner runner;
        runner.answers = c.answers;
        const auto result = devices::installUdevRule(setupFor(dirs, runner, true));
        EXPECT_EQ(result.failed, c.failed);
        EXPECT_EQ(runner.calls.size(), c.calls);
        EXPECT_THAT(result.detail, HasSubstr("udevadm"));
        EXPECT_TRUE(result.written);
        EXPECT_TRUE(devices::checkUdevRule(dirs.both()).installed());
    }
}

TEST(UdevRuleInstall, AsRootAnUnwritableFolderRunsNothing) {
    RuleDirs dirs;
    dirs.put(dirs.dir.path(), "plain-file", "");
    RecordingRunner runner;
    auto setup = setupFor(dirs, runner, true);
    setup.ruleDir = dirs.dir.file("plain-file");  // a file where the folder should be
    const auto result = devices::installUdevRule(setup);
    EXPECT_EQ(result.failed, devices::UdevInstallStep::Write);
    EXPECT_FALSE(result.detail.empty());
    EXPECT_TRUE(runner.calls.empty());
}

// Without root: one command through the elevation program copies the staged rule and
// applies it, so the user is asked once; its exit status says which step failed; the
// staged file is gone afterwards.
TEST(UdevRuleInstall, WithoutRootOneElevatedCommand) {
    struct Case {
        const char* what;
        int status;
        devices::UdevInstallStep failed;
    };
    const std::vector<Case> cases = {
        {"done", 0, devices::UdevInstallStep::None},
        {"the copy failed", 10, devices::UdevInstallStep::Write},
        {"the user refused the password", 126, devices::UdevInstallStep::Write},
        {"udev did not reload", 11, devices::UdevInstallStep::Reload},
        {"udev did not replay", 12, devices::UdevInstallStep::Trigger},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RuleDirs dirs;
        RecordingRunner runner;
        runner.answers = {c.status};
        const auto result = devices::installUdevRule(setupFor(dirs, runner, false));
        EXPECT_EQ(result.failed, c.failed);
        ASSERT_EQ(runner.calls.size(), 1u);
        const auto& argv = runner.calls[0];
        ASSERT_EQ(argv.size(), 7u);
        EXPECT_EQ(argv[0], "pkexec");
        EXPECT_EQ(argv[1], "sh");
        EXPECT_THAT(argv[3], HasSubstr("install -D -m 0644 \"$1\" \"$2\""));
        EXPECT_THAT(argv[3], HasSubstr("udevadm control --reload"));
        EXPECT_THAT(argv[3], HasSubstr("--subsystem-match=hidraw"));
        EXPECT_EQ(argv[6], dirs.etc() + "/60-tessaro.rules");
        EXPECT_EQ(runner.stagedContents,
                  "# The Tessaro link adapter: the logged-in user may open its hidraw node.\n" +
                      std::string(devices::kUdevRule) + "\n");
        EXPECT_FALSE(fs::exists(argv[5]));
        EXPECT_EQ(result.written, c.status == 0 || c.status == 11 || c.status == 12);
    }
}

TEST(UdevRuleInstall, WithoutRootOrElevationNothingRuns) {
    RuleDirs dirs;
    RecordingRunner runner;
    auto setup = setupFor(dirs, runner, false);
    setup.elevation.clear();
    EXPECT_EQ(devices::installUdevRule(setup).failed, devices::UdevInstallStep::NoElevation);
    EXPECT_TRUE(runner.calls.empty());
}

TEST(UdevRuleInstall, ElevationPrefersSudo) {
    using Available = std::vector<std::string>;
    const std::vector<std::pair<Available, std::string>> cases = {
        {{"sudo", "pkexec"}, "sudo"}, {{"pkexec"}, "pkexec"}, {{}, ""}};
    for (const auto& testCase : cases) {
        const Available& available = testCase.first;
        EXPECT_EQ(devices::chooseElevation([&](const std::string& name) {
                      return std::find(available.begin(), available.end(), name) != available.end();
                  }),
                  testCase.second);
    }
}

// The rule the package installs is the rule this program writes, word for word.
TEST(UdevRuleInstall, WritesThePackagesRuleFile) {
    RuleDirs dirs;
    RecordingRunner runner;
    const auto result = devices::installUdevRule(setupFor(dirs, runner, true));
    EXPECT_EQ(testing_support::readBytes(result.path),
              testing_support::readBytes(std::string(TESSARO_SOURCE_DIR) +
                                         "/packaging/60-tessaro.rules"));
}

}  // namespace

namespace {

// The real runner gives the program's exit status, and -1 for one that is not there.
TEST(UdevRuleInstall, RunProgramGivesTheExitStatus) {
    EXPECT_EQ(devices::runProgram({"sh", "-c", "exit 0"}), 0);
    EXPECT_EQ(devices::runProgram({"sh", "-c", "exit 12"}), 12);
    EXPECT_EQ(devices::runProgram({"tessaro-no-such-program-here"}), -1);
}

}  // namespace
