// tessaro-cli devices: the adapters of the device named, and whether each can be opened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "link/clock.h"

namespace {

using ::testing::HasSubstr;

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Needs no language file: it talks to no ESC.
CliRun runCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    transport::VirtualClock clock;
    CliRun run;
    run.code = cli::runCli(args, out, err, clock);
    run.out = out.str();
    run.err = err.str();
    return run;
}

TEST(Devices, OneLinePerAdapterAndTheExitCodeSaysWhetherOneOpens) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* outHas;  // in the one line printed; null: nothing printed
        const char* errHas;
    };
    const Case cases[] = {
        {{"--device", "sim", "devices"}, cli::kExitOk, "sim:0  10c4:8468  can be opened", ""},
        {{"devices", "--device", "sim:family=5"}, cli::kExitOk, "can be opened", ""},
        {{"--device", "sim:access=denied", "devices"},
         cli::kExitNoDevice,
         "sim:0  10c4:8468  cannot be opened: Permission denied",
         ""},
        {{"--device", "sim:access=denied", "devices"}, cli::kExitNoDevice, "60-tessaro.rules", ""},
        {{"--device", "sim:access=busy", "devices"},
         cli::kExitNoDevice,
         "another program holds it; fix: close the program",
         ""},
        {{"--device", "socket:/nonexistent/adapter.sock", "devices"},
         cli::kExitNoDevice,
         nullptr,
         "no link adapter found (device socket:/nonexistent/adapter.sock)"},
        {{"--device", "sim", "devices", "extra"}, cli::kExitUsage, nullptr, "takes no arguments"},
        {{"--device", "usb", "devices"}, cli::kExitUsage, nullptr, "unknown device 'usb'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + " on " + c.args[1]);
        const CliRun run = runCli(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        if (c.outHas) {
            EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
            EXPECT_THAT(run.out, HasSubstr(c.outHas));
        } else {
            EXPECT_EQ(run.out, "");
        }
        EXPECT_THAT(run.err, HasSubstr(c.errHas));
    }
}

TEST(Devices, JsonIsOneObjectWithTheAdaptersAndTheError) {
    const CliRun denied = runCli({"--device", "sim:access=denied", "devices", "--json"});
    EXPECT_EQ(denied.code, cli::kExitNoDevice);
    const auto result = nlohmann::json::parse(denied.out);
    EXPECT_EQ(result["error"]["code"], cli::kExitNoDevice);
    const auto& list = result["adapters"];
    ASSERT_TRUE(list.is_array());
    ASSERT_EQ(list.size(), 1u);
    const auto& adapter = list[0];
    EXPECT_EQ(adapter["path"], "sim:0");
    EXPECT_EQ(adapter["vendor"], "10c4");
    EXPECT_EQ(adapter["product"], "8468");
    EXPECT_EQ(adapter["serial"], "");
    EXPECT_EQ(adapter["openable"], false);
    EXPECT_EQ(adapter["access"], "no-permission");
    EXPECT_EQ(adapter["error"], "Permission denied");
    EXPECT_THAT(adapter["reason"].get<std::string>(), HasSubstr("Permission denied"));
    EXPECT_THAT(adapter["fix"].get<std::string>(), HasSubstr("unplug and replug"));

    const CliRun none = runCli({"--device", "socket:/nonexistent/a.sock", "devices", "--json"});
    EXPECT_EQ(none.code, cli::kExitNoDevice);
    const auto nothing = nlohmann::json::parse(none.out);
    EXPECT_EQ(nothing["adapters"], nlohmann::json::array());
    EXPECT_EQ(nothing["error"]["code"], cli::kExitNoDevice);
}

TEST(Devices, TheHelpNamesIt) {
    const CliRun run = runCli({"--help"});
    EXPECT_THAT(run.out, HasSubstr("devices [--json]"));
}

}  // namespace
