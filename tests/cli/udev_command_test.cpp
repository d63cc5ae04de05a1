// tessaro-cli udev check|install on temporary rule folders, adapters given as reports and
// a runner that records instead of running udevadm, sudo or pkexec.

#include "cli/udev_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_messages.h"
#include "link/clock.h"
#include "support/scratch_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

struct UdevRun {
    int code = -1;
    std::string out;
    std::string err;
    std::vector<std::vector<std::string>> calls;
};

struct UdevBench {
    testing_support::ScratchDir dir;
    std::vector<devices::AdapterReport> adapters;
    int runnerStatus = 0;
    bool root = true;
    std::string elevation;

    UdevBench() {
        fs::create_directories(dir.file("etc"));
        fs::create_directories(dir.file("lib"));
    }
    void packageRule() const {
        fs::copy_file(std::string(TESSARO_SOURCE_DIR) + "/packaging/60-tessaro.rules",
                      dir.file("lib/60-tessaro.rules"));
    }
    void adapter(const char* path, bool openable) {
        devices::AdapterReport report;
        report.path = path;
        report.openable = openable;
        report.access =
            openable ? devices::AdapterAccess::Openable : devices::AdapterAccess::NoPermission;
        if (!openable) {
            report.reason = "cannot be opened: Permission denied";
            report.fix = "install the udev rule";
        }
        adapters.push_back(report);
    }
    UdevRun run(const std::string& subcommand, bool chinese = false, bool json = false) {
        cli::CliOptions options;
        options.command = "udev";
        options.args = {subcommand};
        options.json = json;
        cli::UdevSystem system;
        system.ruleDirs = {dir.file("etc"), dir.file("lib")};
        system.adapters = [this] { return adapters; };
        system.install.ruleDir = dir.file("etc");
        system.install.root = root;
        system.install.elevation = elevation;
        system.install.scratchDir = dir.path();
        UdevRun result;
        system.install.run = [&](const std::vector<std::string>& argv) {
            result.calls.push_back(argv);
            return runnerStatus;
        };
        std::ostringstream out;
        std::ostringstream err;
        const bool before = cli::chineseMessages();
        cli::setChineseMessages(chinese);
        result.code = cli::runUdev(options, out, err, system);
        cli::setChineseMessages(before);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
};

TEST(UdevCommand, CheckSaysWhetherTheRuleIsInForceAndEachAdapterOpens) {
    struct Case {
        const char* what;
        bool rule;
        std::vector<std::pair<const char*, bool>> adapters;
        bool chinese;
        int code;
        std::vector<const char*> outHas;
    };
    const std::vector<Case> cases = {
        {"rule, no adapter",
         true,
         {},
         false,
         cli::kExitOk,
         {"lib/60-tessaro.rules: this program's rule", "the udev rule is installed",
          "no adapter is plugged in"}},
        {"rule, adapter opens",
         true,
         {{"/dev/hidraw3", true}},
         false,
         cli::kExitOk,
         {"adapter /dev/hidraw3 (10c4:8468): accessible"}},
        {"rule, one adapter shut",
         true,
         {{"/dev/hidraw3", true}, {"/dev/hidraw4", false}},
         false,
         cli::kExitNoDevice,
         {"/dev/hidraw3 (10c4:8468): accessible",
          "/dev/hidraw4 (10c4:8468): not accessible: cannot be opened: Permission denied; fix:"}},
        {"no rule",
         false,
         {{"/dev/hidraw3", false}},
         false,
         cli::kExitNoDevice,
         {"the udev rule is not installed (tessaro-cli udev install installs it)"}},
        {"no rule, in Chinese",
         false,
         {},
         true,
         cli::kExitNoDevice,
         {"udev 规则未安装", "没有插入适配器"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UdevBench bench;
        if (c.rule)
            bench.packageRule();
        for (const auto& [path, openable] : c.adapters) bench.adapter(path, openable);
        const UdevRun run = bench.run("check", c.chinese);
        EXPECT_EQ(run.code, c.code) << run.err;
        for (const char* has : c.outHas) EXPECT_THAT(run.out, HasSubstr(has));
        EXPECT_EQ(run.err.empty(), c.code == cli::kExitOk) << run.err;
        EXPECT_TRUE(run.calls.empty());  // a check runs nothing
    }
}

TEST(UdevCommand, InstallTellsWhatHappened) {
    struct Case {
        const char* what;
        bool root;
        const char* elevation;
        bool ruleThere;
        int runnerStatus;
        int code;
        const char* outHas;
        const char* errHas;
    };
    const std::vector<Case> cases = {
        {"as root", true, "", false, 0, cli::kExitOk, "the udev rule is written to", ""},
        {"already there", true, "", true, 0, cli::kExitOk, "the same udev rule is in force already",
         ""},
        {"no udev running", true, "", false, 1, cli::kExitNoDevice, "",
         "but udev did not reload its rules (udevadm control --reload: exit status 1)"},
        {"through sudo", false, "sudo", false, 0, cli::kExitOk, "udev reloaded its rules",
         "installing the rule as root through sudo"},
        {"sudo refused", false, "sudo", false, 1, cli::kExitFileError, "",
         "the rule could not be written to"},
        {"no way to root", false, "", false, 0, cli::kExitFileError, "", "neither sudo nor pkexec"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UdevBench bench;
        bench.root = c.root;
        bench.elevation = c.elevation;
        bench.runnerStatus = c.runnerStatus;
        if (c.ruleThere)
            bench.packageRule();
        const UdevRun run = bench.run("install");
        EXPECT_EQ(run.code, c.code);
        EXPECT_THAT(run.out, HasSubstr(c.outHas));
        EXPECT_THAT(run.err, HasSubstr(c.errHas));
        if (c.code != cli::kExitOk) {
            EXPECT_THAT(run.out, Not(HasSubstr("udev reloaded")));
        }
    }
}

TEST(UdevCommand, CheckAsJson) {
    UdevBench bench;
    bench.packageRule();
    bench.adapter("/dev/hidraw3", false);
    const UdevRun run = bench.run("check", false, true);
    EXPECT_EQ(run.code, cli::kExitNoDevice);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["installed"], true);
    EXPECT_EQ(json["rules"][0]["same"], true);
    EXPECT_EQ(json["adapters"][0]["openable"], false);
}

TEST(UdevCommand, TakesCheckOrInstall) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"udev"}, {"udev", "remove"}, {"udev", "check", "now"}}) {
        std::ostringstream out;
        std::ostringstream err;
        transport::VirtualClock clock;
        EXPECT_EQ(cli::runCli(args, out, err, clock), cli::kExitUsage);
        EXPECT_THAT(err.str(), HasSubstr("udev wants check or install"));
    }
}

}  // namespace
