// tessaro-cli: in-process runs on a virtual clock for the rules of each command and the
// time they take, and runs of the built program for what a user sees (exit codes, output,
// signals, the socket link).

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "i18n/profile_file.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/protocol_controller.h"
#include "settings/parameter_names.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

// The working directory of every run: a copy of the shipped language file, so that the
// settings model's marks never touch the repository.
const fs::path& workDir() {
    static const fs::path dir = [] {
        const fs::path d =
            fs::path(::testing::TempDir()) / ("tessaro-cli-" + std::to_string(::getpid()));
        fs::create_directories(d);
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", d / "language.ini",
                      fs::copy_options::overwrite_existing);
        return d;
    }();
    return dir;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
    uint64_t virtualMs = 0;  // of an in-process run: the time it took on the virtual clock
    std::vector<std::string> errLines() const {
        std::vector<std::string> lines;
        std::istringstream in(err);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

// In this process, on a virtual clock: minutes of protocol take no time. `run` gets the
// two streams and the clock and returns the exit code.
CliRun runHereWith(const std::function<int(std::ostream&, std::ostream&, transport::Clock&)>& run) {
    const fs::path before = fs::current_path();
    fs::current_path(workDir());
    std::ostringstream out;
    std::ostringstream err;
    constexpr uint32_t kStartMs = 100000;
    transport::VirtualClock clock(kStartMs);
    CliRun result;
    result.code = run(out, err, clock);
    result.virtualMs = clock.nowMs() - kStartMs;
    result.out = out.str();
    result.err = err.str();
    fs::current_path(before);
    return result;
}

CliRun runHere(const std::vector<std::string>& args) {
    return runHereWith([&](std::ostream& out, std::ostream& err, transport::Clock& clock) {
        return cli::runCli(args, out, err, clock);
    });
}

// A simulated ESC that answers every command 8 ms late, as a real one does.
std::string lateEsc(const std::string& options) {
    return "sim:" + options + ",latency=8";
}

// A firmware image file in the work directory: `length` bytes of a counting pattern.
std::string writeImage(const std::string& name, size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    std::ofstream(workDir() / name, std::ios::binary) << bytes;
    return name;
}

// The lines of a --trace after the first that starts with `prefix` (none when no line
// does).
std::vector<std::string> linesAfter(const std::vector<std::string>& lines,
                                    const std::string& prefix) {
    const auto at = std::find_if(lines.begin(), lines.end(),
                                 [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    return at == lines.end() ? std::vector<std::string>{}
                             : std::vector<std::string>(at + 1, lines.end());
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The built program, in the work directory. A watchdog ends a run that hangs.
CliRun runProgram(const std::vector<std::string>& args, const fs::path& stdoutTo = {}) {
    const fs::path outPath = stdoutTo.empty() ? workDir() / "stdout.txt" : stdoutTo;
    const fs::path errPath = workDir() / "stderr.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(workDir().c_str()) != 0)
            ::_exit(126);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::alarm(30);
        std::vector<char*> argv;
        std::string program = TESSARO_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = stdoutTo.empty() ? slurp(outPath) : std::string();
    run.err = slurp(errPath);
    return run;
}

// ---- command line -----------------------------------------------------------------------

TEST(CommandLine, UsageErrorsExitWithOneAndOneLine) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"--bogus", "info"}, "unknown option --bogus"},
        {{"--timeout", "0", "info"}, "--timeout"},
        {{"--timeout", "ten", "info"}, "--timeout"},
        {{"--device"}, "--device needs a value"},
        {{"frobnicate"}, "unknown command"},
        {{"info", "extra"}, "takes no arguments"},
        {{"--device", "usb", "info"}, "unknown device 'usb'"},
        {{"--device", "socket:", "info"}, "socket path"},
        {{"--device", "sim:family=300", "info"}, "sim:family=300"},
        {{"--device", "sim:colour=red", "info"}, "sim:colour=red"},
        {{"write"}, "NAME=VALUE"},
        {{"write", "1038"}, "ID=VALUE"},
        {{"write", "1038=x"}, "ID=VALUE"},
        {{"write", "1025=1"}, "1025 is not a value control"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const CliRun run = runHere(c.args);
        EXPECT_EQ(run.code, cli::kExitUsage);
        ASSERT_EQ(run.errLines().size(), 1u) << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(CommandLine, OptionsBeforeAndAfterTheCommand) {
    struct Case {
        std::vector<std::string> args;
        std::string device;
        uint32_t timeout;
        bool trace;
        bool json;
        std::vector<std::string> rest;
    };
    const Case cases[] = {
        {{"info"}, "hid", 10, false, false, {}},
        {{"--device", "sim", "--timeout", "3", "--trace", "read", "--json"},
         "sim",
         3,
         true,
         true,
         {}},
        {{"read", "--json", "--device", "sim:family=5"}, "sim:family=5", 10, false, true, {}},
        {{"write", "1038=1", "--trace", "1030=2"}, "hid", 10, true, false, {"1038=1", "1030=2"}},
        {{"profile", "get", "--trace"}, "hid", 10, false, false, {"get", "--trace"}},
    };
    for (const Case& c : cases) {
        cli::CliOptions options;
        std::string error;
        ASSERT_TRUE(cli::parseCommandLine(c.args, options, error)) << error;
        EXPECT_EQ(options.device, c.device);
        EXPECT_EQ(options.timeoutSeconds, c.timeout);
        EXPECT_EQ(options.trace, c.trace);
        EXPECT_EQ(options.json, c.json);
        EXPECT_EQ(options.args, c.rest);
    }
}

TEST(CommandLine, HelpNamesEveryCommandAndExitCode) {
    const CliRun run = runHere({"--help"});
    EXPECT_EQ(run.code, 0);
    for (const char* word : {"info", "read [--json]", "write NAME=VALUE", "defaults", "profile",
                             "--device URI", "--timeout SECONDS", "--trace", "socket:PATH",
                             "0 success", "5 firmware update failed", "130 and 143"}) {
        EXPECT_THAT(run.out, HasSubstr(word));
    }
}

// ---- info ---------------------------------------------------------------------------------

TEST(Info, PrintsBothVersionTextsFamilyAndVariant) {
    struct Case {
        const char* device;
        const char* out;
    };
    const Case cases[] = {
        {"sim:family=3,variant=2,major=1,minor=2,b4=3,b5=4,b6=5,adapter=3.4.5.7.9",
         "adapter: V3.04_ 5079\nesc: V1.02_030405\nfamily: 3\nfamily name: Car Turbo\nvariant: "
         "2\n"},
        {"sim:family=9,variant=6,major=2,minor=10,b4=0,b5=2,b6=29,adapter=1.12.34.56.7",
         "adapter: V1.12_34567\nesc: V2.10_000229\nfamily: 9\nfamily name: Water\nvariant: 6\n"},
        {"sim:family=7,adapter=1.5.20.12.1",
         "adapter: V1.05_20121\nesc: \nfamily: 7\nfamily name: ABC\nvariant: 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const CliRun run = runHere({"--device", c.device, "info"});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_TRUE(run.err.empty()) << run.err;
    }
}

TEST(Info, AsJson) {
    const CliRun run = runHere({"--device", "sim:family=8,variant=5", "info", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto json = nlohmann::ordered_json::parse(run.out, nullptr, false);
    EXPECT_EQ(json["family"], 8);
    EXPECT_EQ(json["family_name"], "Car Full");
    EXPECT_EQ(json["variant"], 5);
    EXPECT_TRUE(json["adapter"].is_string());
}

TEST(Info, NoAnswerIsExitTwoWithOneLine) {
    struct Case {
        const char* device;
        const char* message;
    };
    const Case cases[] = {
        {"sim:adapter=none", "did not send its version"},
        {"sim:silent=always", "no answer from the ESC"},
        {"sim:verlen=8", "Failed to get ESC Version"},
        {"sim:verlen=0", "Failed to get ESC Version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const CliRun run = runHere({"--device", c.device, "info"});
        EXPECT_EQ(run.code, cli::kExitNoDevice);
        ASSERT_EQ(run.errLines().size(), 1u) << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_TRUE(run.out.empty());
    }
}

// ---- read --json ------------------------------------------------------------------------

nlohmann::ordered_json readJson(const std::string& device, CliRun* runOut = nullptr) {
    const CliRun run = runHere({"--device", device, "read", "--json"});
    EXPECT_EQ(run.code, 0) << run.err;
    if (runOut != nullptr)
        *runOut = run;
    return nlohmann::ordered_json::parse(run.out, nullptr, false);
}

TEST(ReadJson, TheObjectsShape) {
    const auto json = readJson(
        "sim:family=3,params=0202041"
        "8E07C0500030000040504");
    ASSERT_TRUE(json.is_object());
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"adapter", "esc", "family", "variant", "major",
                                              "length", "reply", "status", "controls"}));
    EXPECT_EQ(json["family"], 3);
    EXPECT_EQ(json["length"], 14);
    EXPECT_EQ(json["reply"], "02020418E07C0500030000040504");
    EXPECT_FALSE(json["status"].get<std::string>().empty());
    const auto& controls = json["controls"];
    ASSERT_EQ(controls.size(), cli::kValueControls.size());
    const std::vector<int> order = {1029, 1030, 1032, 1034, 1036, 1038, 1040, 1042,
                                    1045, 1047, 1049, 1051, 1060, 1095, 1061, 1105,
                                    1109, 1111, 1113, 1116, 1100, 1102, 1092};
    for (size_t i = 0; i < order.size(); ++i) {
        SCOPED_TRACE(order[i]);
        const auto& control = controls[i];
        EXPECT_EQ(control["id"], order[i]);
        std::vector<std::string> fields;
        for (const auto& [key, value] : control.items()) fields.push_back(key);
        if (i < 16) {
            EXPECT_EQ(fields, (std::vector<std::string>{"id", "name", "carried", "label", "visible",
                                                        "enabled", "items", "selection"}));
            EXPECT_TRUE(control["items"].is_array());
            EXPECT_TRUE(control["selection"].is_number_integer());
        } else {
            EXPECT_EQ(fields, (std::vector<std::string>{"id", "name", "carried", "label", "visible",
                                                        "enabled", "text"}));
            EXPECT_TRUE(control["text"].is_string());
        }
    }
    // 1116 shares the label of 1030, 1092 that of 1040; 1100 and 1102 have none.
    EXPECT_EQ(controls[19]["label"], controls[1]["label"]);
    EXPECT_EQ(controls[22]["label"], controls[6]["label"]);
    EXPECT_EQ(controls[20]["label"], "");
    EXPECT_EQ(controls[21]["label"], "");
    EXPECT_FALSE(controls[0]["label"].get<std::string>().empty());
}

TEST(ReadJson, TheFormShowsTheStoredBytes) {
    // Family 6: P1 selects 1038, P2 1030 (by index).
    const auto json = readJson("sim:family=6,params=020401020001");
    EXPECT_EQ(json["reply"], "020401020001");
    for (const auto& control : json["controls"]) {
        if (control["id"] == 1038) {
            EXPECT_EQ(control["selection"], 2);
        }
        if (control["id"] == 1030) {
            EXPECT_EQ(control["selection"], 4);
        }
    }
}

TEST(Trace, EveryFrameAndReplyAsUppercaseHex) {
    CliRun run;
    readJson("sim:family=6", &run);
    const CliRun traced = runHere({"--device", "sim:family=6", "--trace", "read", "--json"});
    EXPECT_EQ(traced.out, run.out);  // the trace goes to standard error only
    const std::vector<std::string> lines = traced.errLines();
    ASSERT_GE(lines.size(), 6u);
    const std::regex format("[<>] [0-9A-F]{2}( [0-9A-F]{2})*");
    for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, format)) << line;
    EXPECT_THAT(lines[0], ::testing::StartsWith("< D7 "));
    EXPECT_EQ(lines[1], "> E1");
    EXPECT_EQ(lines[2], "< E1");
    EXPECT_EQ(lines[3], "> E2");
}

// ---- write and defaults -------------------------------------------------------------------

// The lines of standard error that are not --trace lines.
std::vector<std::string> messageLines(const CliRun& run) {
    std::vector<std::string> lines;
    for (const std::string& line : run.errLines()) {
        if (line.rfind("> ", 0) != 0 && line.rfind("< ", 0) != 0)
            lines.push_back(line);
    }
    return lines;
}

TEST(Write, ExitCodeFollowsTheReadBackOfTheCarriedSettings) {
    struct Case {
        std::string device;
        std::vector<std::string> assignments;
        int code;
        const char* frame;  // the write frame's trace line, when one is sent
        const char* err;
    };
    const Case cases[] = {
        {lateEsc("family=6"), {"1038=1"}, 0, "> F2 01 03 01 02 00 01 D1", ""},
        {lateEsc("family=6"), {"1038=2", "1030=0"}, 0, "> F2 02 00 01 02 00 01 D1", ""},
        {lateEsc("family=6"), {"1030=4"}, 0, "> F2 00 04 01 02 00 01 D1", ""},
        {lateEsc("family=3"), {"1109=1200", "1116=10"}, 0, nullptr, ""},
        {lateEsc("family=1"), {"1036=0"}, 0, nullptr, ""},
        // The ESC keeps end points in steps of 4: refused before anything is sent.
        {lateEsc("family=5"),
         {"1100=1001"},
         1,
         nullptr,
         "1100 cannot store 1001 (the ESC would keep 1000); nearest: 1000 or 1004"},
        {lateEsc("family=6"), {"1038=99"}, 1, nullptr, "1038 takes an item index from 0 to"},
        {lateEsc("family=5"), {"1100=2000"}, 1, nullptr, "1100 takes a value from 1000 to 1150"},
        // Controls the form shows but the family's frame does not carry.
        {lateEsc("family=6"),
         {"1109=1000"},
         1,
         nullptr,
         "1109 is not a setting of this ESC (family 6)"},
        {lateEsc("family=3"),
         {"1032=1"},
         1,
         nullptr,
         "1032 is not a setting of this ESC (family 3)"},
        {lateEsc("family=6"),
         {"1038=1", "1092=3328"},
         1,
         nullptr,
         "1092 is not a setting of this ESC (family 6)"},
        {lateEsc("family=1"),
         {"1109=1100"},
         1,
         nullptr,
         "1109 is not a setting of this ESC (family 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device + " " + c.assignments.back());
        std::vector<std::string> args = {"--device", c.device, "--trace", "write"};
        args.insert(args.end(), c.assignments.begin(), c.assignments.end());
        const CliRun run = runHere(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        const std::vector<std::string> lines = run.errLines();
        const bool sent = std::any_of(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.rfind("> F2", 0) == 0; });
        EXPECT_EQ(sent, c.code != cli::kExitUsage);
        if (c.frame != nullptr) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.frame), lines.end()) << run.err;
        }
        EXPECT_THAT(run.err, HasSubstr(c.err));
        if (c.code == cli::kExitOk) {
            EXPECT_TRUE(messageLines(run).empty()) << run.err;
        } else {
            EXPECT_EQ(messageLines(run).size(), 1u) << run.err;
        }
        if (c.code != cli::kExitUsage) {
            const auto json = nlohmann::ordered_json::parse(run.out, nullptr, false);
            EXPECT_TRUE(json.is_object()) << run.out;
        }
    }
}

TEST(Defaults, TheReadBackHoldsTheFactorySet) {
    struct Case {
        std::string device;
        const char* reply;  // the read-back, when checked byte for byte
    };
    const Case cases[] = {
        {lateEsc("family=6,params=020401020001"), "000301020001"},
        {lateEsc("family=1,params=0101000403010101010C0C"), "0001000403010101010C0C"},
        {lateEsc("family=4"), nullptr},
        {lateEsc("family=5,params=0502020219E0"), "0301010119E4"},
        {lateEsc("family=2,major=2"), nullptr},
        {lateEsc("family=3,params=01030418E07C0401030000010101"), nullptr},
        {lateEsc("family=8"), nullptr},
        {lateEsc("family=9,variant=6"), nullptr},
        // Family 7's data follow a header of 1 or 2 bytes in the shorter replies.
        {lateEsc("family=7,f7len=9"), nullptr},
        {lateEsc("family=7,f7len=10"), nullptr},
        {lateEsc("family=7,f7len=11"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const CliRun run = runHere({"--device", c.device, "defaults", "--yes"});
        EXPECT_EQ(run.code, 0) << run.err;
        // The backup's line only.
        ASSERT_EQ(run.errLines().size(), 1u) << run.err;
        EXPECT_THAT(run.err, HasSubstr("backups/"));
        if (c.reply != nullptr) {
            const auto json = nlohmann::ordered_json::parse(run.out, nullptr, false);
            EXPECT_EQ(json["reply"], c.reply);
        }
    }
}

TEST(Defaults, KeepsTheReplacedSettingsInBackups) {
    fs::remove_all(workDir() / "backups");
    const CliRun run =
        runHere({"--device", lateEsc("family=6,params=020401020001"), "defaults", "--yes"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("backups/"));
    ASSERT_TRUE(fs::is_directory(workDir() / "backups"));
    EXPECT_EQ(
        std::distance(fs::directory_iterator(workDir() / "backups"), fs::directory_iterator()), 1);
}

// The answer to the poll before a command is read before the command's first frame: the
// first reply after that frame answers the command, and a write asks for the settings once.
TEST(QuietLink, CommandsStartOnceTheLastAnswerArrived) {
    ASSERT_EQ(runHere({"--device", lateEsc("family=6"), "export", "quiet"}).code, 0);
    const std::string image = writeImage("quiet.hgm", 1537);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* command;     // the command's first frame
        const char* firstReply;  // the first reply after it
        int settingsQueries;     // "> E3" lines after it
    };
    const Case cases[] = {
        {"write",
         {"--device", lateEsc("family=6"), "write", "1030=4"},
         "> F2",
         "< 00 04 01 02 00 01",
         1},
        {"defaults",
         {"--device", lateEsc("family=1,params=0101000403010101010C0C"), "defaults", "--yes"},
         "> F2",
         "< 00 01 00 04 03 01 01 01 01 0C 0C",
         1},
        {"import",
         {"--device", lateEsc("family=6,params=020401020001"), "import", "quiet.cfg"},
         "> F2",
         "< 00 03 01 02 00 01",
         1},
        {"flash",
         {"--device", lateEsc("family=3"), "--timeout", "3", "flash", image, "--yes"},
         "> E4",
         "< E4",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--trace");
        const CliRun run = runHere(args);
        EXPECT_EQ(run.code, 0) << run.err;
        const std::vector<std::string> after = linesAfter(run.errLines(), c.command);
        ASSERT_FALSE(after.empty()) << run.err;
        const auto reply = std::find_if(after.begin(), after.end(),
                                        [](const std::string& l) { return l.rfind("< ", 0) == 0; });
        ASSERT_NE(reply, after.end()) << run.err;
        EXPECT_EQ(*reply, c.firstReply) << run.err;
        EXPECT_EQ(std::count(after.begin(), after.end(), "> E3"), c.settingsQueries) << run.err;
    }
}

// ---- parameters by name ----------------------------------------------------------------

// For every family on the late-answering simulator: `read` shows one line per carried
// parameter, named after its English caption, and `write NAME=<another choice>` of every
// list parameter is stored (the read-back selects it).
TEST(ByName, EveryFamilyReadsAndWritesEachParameterByName) {
    for (int family = 1; family <= 9; ++family) {
        const std::string device = "sim:family=" + std::to_string(family);
        SCOPED_TRACE(device);
        const CliRun jsonRun = runHere({"--device", device, "--lang", "en", "read", "--json"});
        ASSERT_EQ(jsonRun.code, 0) << jsonRun.err;
        const auto json = nlohmann::ordered_json::parse(jsonRun.out, nullptr, false);
        const CliRun table = runHere({"--device", device, "read"});
        ASSERT_EQ(table.code, 0) << table.err;
        std::vector<std::string> wanted;
        std::vector<std::pair<std::string, std::string>> chosen;  // name, item text
        size_t carried = 0;
        for (const auto& control : json["controls"]) {
            if (!control["carried"].get<bool>()) {
                EXPECT_TRUE(control["name"].is_null());
                continue;
            }
            ++carried;
            const std::string name = control["name"];
            const std::string label = control["label"];
            if (!label.empty()) {
                EXPECT_EQ(name, settings::nameFromCaption(label));
            }
            // The table's line starts with the name, padded.
            EXPECT_THAT(table.out, ::testing::ContainsRegex("(^|\n)" + name + " "));
            if (!control.contains("items") || control["items"].size() < 2)
                continue;
            const int count = static_cast<int>(control["items"].size());
            const int next = (control["selection"].get<int>() + 1) % count;
            const std::string item = control["items"][static_cast<size_t>(next)];
            chosen.emplace_back(name, item);
            wanted.push_back(name + "=" + item);
        }
        // One line per carried parameter.
        EXPECT_EQ(static_cast<size_t>(std::count(table.out.begin(), table.out.end(), '\n')),
                  carried);
        std::vector<std::string> args = {"--device", device, "write"};
        args.insert(args.end(), wanted.begin(), wanted.end());
        const CliRun written = runHere(args);
        ASSERT_EQ(written.code, 0) << written.err;
        const auto back = nlohmann::ordered_json::parse(written.out, nullptr, false);
        for (const auto& entry : chosen) {
            const std::string& name = entry.first;
            const std::string& item = entry.second;
            SCOPED_TRACE(name);
            const auto at = std::find_if(back["controls"].begin(), back["controls"].end(),
                                         [&](const auto& c) { return c["name"] == name; });
            ASSERT_NE(at, back["controls"].end());
            const int selection = (*at)["selection"];
            ASSERT_GE(selection, 0);
            EXPECT_EQ((*at)["items"][static_cast<size_t>(selection)], item);
        }
    }
}

TEST(ByName, ValuesAreCheckedBeforeAnythingIsSent) {
    struct Case {
        const char* device;
        std::vector<std::string> assignments;
        int code;
        const char* err;  // for a refusal
    };
    const Case cases[] = {
        {"sim:family=3", {"brake-strength=100", "START-UP-ACCELERATION=soft"}, 0, ""},
        {"sim:family=3", {"turbo-delay=#3"}, 0, ""},
        {"sim:family=3", {"1038=1"}, 0, ""},
        {"sim:family=3",
         {"min-throttle=1001"},
         1,
         "min-throttle cannot store 1001 (the ESC would keep 1000); nearest: 1000 or 1004"},
        {"sim:family=3", {"min-throttle=900"}, 1, "min-throttle takes a value from 1000 to 1200"},
        {"sim:family=3", {"brake-strength=3"}, 1, "brake-strength takes a value from 4 to 200"},
        {"sim:family=3", {"brake-strength=soft"}, 1, "brake-strength takes a whole number"},
        {"sim:family=3",
         {"brak-strenght=9"},
         1,
         "not a setting of this ESC (family 3); nearest: "
         "brake-strength"},
        {"sim:family=3", {"start-up-acceleration=sofft"}, 1, "nearest: Soft"},
        {"sim:family=3", {"turbo-delay=#11"}, 1, "turbo-delay takes an item index from 0 to 10"},
        {"sim:family=3", {"flight-mode=Airplane"}, 1, "'flight-mode' is not a setting"},
        {"sim:family=1", {"1109=1001"}, 1, "1109 is not a setting of this ESC (family 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignments.front());
        std::vector<std::string> args = {"--device", c.device, "--trace", "write"};
        args.insert(args.end(), c.assignments.begin(), c.assignments.end());
        const CliRun run = runHere(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        const std::vector<std::string> lines = run.errLines();
        const bool sent = std::any_of(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.rfind("> F2", 0) == 0; });
        EXPECT_EQ(sent, c.code == 0);
        EXPECT_THAT(run.err, HasSubstr(c.err));
    }
}

// ---- diff and backups ------------------------------------------------------------------

TEST(Diff, FilesAndBackupsAgainstTheEscOrEachOther) {
    // Family 6 (P1 start-up acceleration, P2 brake strength …); the second ESC differs in P2.
    const std::string first = "sim:family=6,params=020401020001";
    const std::string second = "sim:family=6,params=020801020001";
    fs::remove_all(workDir() / "backups");
    ASSERT_EQ(runHere({"--device", first, "export", "first"}).code, 0);
    ASSERT_EQ(runHere({"--device", second, "export", "second"}).code, 0);
    ASSERT_EQ(runHere({"--device", first, "defaults", "--yes"}).code, 0);  // backs up `first`
    const CliRun listed = runHere({"backups"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_THAT(listed.out, ::testing::ContainsRegex("^1  backups/[0-9-]+family6\\.esc  .*family 6 "
                                                     "\\(Boat\\), variant"));
    const std::string backup = listed.out.substr(3, listed.out.find(".esc") + 4 - 3);
    const CliRun shown = runHere({"backups", "show", "1"});
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("settings: 020401020001\n"));
    EXPECT_THAT(shown.out, HasSubstr("brake-strength: "));

    struct Case {
        std::vector<std::string> args;
        int code;
        const char* out;  // a line that must be there; "" for none at all
    };
    const Case cases[] = {
        {{"--device", first, "diff", "first.cfg"}, 0, ""},
        {{"--device", second, "diff", "first.cfg"}, 3, "brake-strength"},
        {{"diff", "first.cfg", "second.cfg", "--device", first}, 3, "brake-strength"},
        {{"diff", "first.cfg", "first.cfg", "--device", second}, 0, ""},
        {{"--device", first, "diff", backup}, 0, ""},
        {{"--device", second, "diff", backup}, 3, "40%  -> 80%"},
        {{"--device", "sim:family=3", "diff", backup}, 3, ""},
        {{"diff", backup, "second.cfg"}, 3, "brake-strength"},
        {{"diff", backup, "first.cfg"}, 0, ""},
        {{"diff", "missing.cfg"}, 4, ""},
        {{"diff"}, 1, ""},
        {{"backups", "show", "9"}, 1, ""},
        {{"backups", "shout"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[c.args.size() > 2 ? 2 : 0] + " " + c.args.back());
        const CliRun run = runHere(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        if (*c.out != '\0') {
            EXPECT_THAT(run.out, HasSubstr(c.out));
        } else if (c.code == 0) {
            EXPECT_TRUE(run.out.empty()) << run.out;
        }
    }
    EXPECT_THAT(runHere({"diff", "missing.cfg"}).err,
                HasSubstr("cannot read missing.cfg: No such file or directory"));
}

// ---- conventions -------------------------------------------------------------------------

CliRun runOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    std::istringstream in(typed);
    return runHereWith([&](std::ostream& out, std::ostream& err, transport::Clock& clock) {
        return cli::runCli(args, out, err, clock, cli::CliTerminal{&in, true, true});
    });
}

TEST(Conventions, HelpVersionOptionSpellingsAndJsonErrors) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* out;  // a part of standard output
    };
    const Case cases[] = {
        {{"--version"}, 0, "tessaro-cli "},
        {{"help", "diff"}, 0, "Usage: tessaro-cli [OPTIONS] diff FILE [FILE2]"},
        {{"write", "--help"}, 0, "Usage: tessaro-cli [OPTIONS] write NAME=VALUE"},
        {{"help", "nothing"}, 1, ""},
        {{"--device=sim:family=3", "--timeout=5", "info"}, 0, "family name: Car Turbo"},
        {{"--device", "sim:family=3", "write", "--", "brake-strength=8"}, 0, "\"id\": 1116"},
        {{"--json", "frobnicate"}, 1, "\"message\": \"unknown command 'frobnicate'"},
        {{"--device", "sim:adapter=none", "info", "--json"}, 2, "\"code\": 2"},
        {{"--device", "sim:family=3", "write", "min-throttle=1001", "--json"},
         1,
         "nearest: 1000 or 1004"},
        {{"--device", "sim:family=3", "export", "nodir/x", "--json"},
         4,
         "No such file or directory"},
        // The calculator's options scale the governor of the air families.
        {{"--device", "sim:family=1", "write", "governor-rpm=4800"}, 1, ""},
        {{"--device", "sim:family=1", "--cells=6", "--kv=3000", "--gear=100", "--pinion=20",
          "write", "governor-rpm=4800"},
         0,
         "\"text\": \"4800\""},
        {{"calc", "--cells", "3", "--kv", "4000", "--gear", "150", "--pinion", "13"}, 0, "4160\n"},
        {{"--kv=0", "info"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const CliRun run = runHere(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_THAT(run.out, HasSubstr(c.out));
        if (std::find(c.args.begin(), c.args.end(), "--json") != c.args.end()) {
            const auto json = nlohmann::ordered_json::parse(run.out, nullptr, false);
            ASSERT_TRUE(json.is_object()) << run.out;
            EXPECT_EQ(json["error"]["code"], c.code);
        }
    }
}

TEST(Conventions, DefaultsAndFlashAskFirst) {
    const std::string image = writeImage("ask.hgm", 1537);
    struct Case {
        std::vector<std::string> args;
        bool terminal;
        const char* typed;
        int code;
        const char* err;
    };
    const Case cases[] = {
        {{"--device", "sim:family=3", "defaults"}, false, "", 1, "give --yes"},
        {{"--device", "sim:family=3", "flash", image}, false, "", 1, "give --yes"},
        {{"--device", "sim:family=3", "defaults"}, true, "n\n", 1, "not confirmed"},
        {{"--device", "sim:family=3", "defaults"}, true, "\n", 1, "not confirmed"},
        {{"--device", "sim:family=3", "defaults"}, true, "YES\n", 0, "[y/N]"},
        {{"--device", "sim:family=3", "defaults", "-y"}, false, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + " " + c.typed);
        const CliRun run = c.terminal ? runOnTerminal(c.args, c.typed) : runHere(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.err));
        if (c.code != 0) {
            EXPECT_THAT(run.err, Not(HasSubstr("> F2")));
        }
    }
}

TEST(Conventions, ALanguageIsKeptOnlyWhenTheCommandSucceeds) {
    const std::string ini = (workDir() / "language.ini").string();
    ASSERT_EQ(runHere({"--device", "sim:family=3", "--lang", "en", "info"}).code, 0);
    EXPECT_NE(runHere({"--device", "sim:adapter=none", "--lang", "zh", "info"}).code, 0);
    EXPECT_EQ(i18n::ProfileFile::readString(ini, "set", "lang_sel", ""), "0");
    ASSERT_EQ(runHere({"--device", "sim:family=3", "--lang", "zh", "info"}).code, 0);
    EXPECT_EQ(i18n::ProfileFile::readString(ini, "set", "lang_sel", ""), "1");
    ASSERT_EQ(runHere({"--device", "sim:family=3", "--lang", "en", "info"}).code, 0);
}

TEST(Conventions, SettingsThroughStandardInputAndOutput) {
    const CliRun exported =
        runHere({"--device", "sim:family=6,params=020801020001", "export", "-"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    ASSERT_EQ(exported.out.size(), 15u);
    std::istringstream in(exported.out);
    const CliRun imported =
        runHereWith([&](std::ostream& out, std::ostream& err, transport::Clock& clock) {
            return cli::runCli({"--device", "sim:family=6", "import", "-"}, out, err, clock,
                               cli::CliTerminal{&in, false, false});
        });
    ASSERT_EQ(imported.code, 0) << imported.err;
    EXPECT_THAT(imported.out, HasSubstr("\"selection\": 8"));  // brake strength 80%
    EXPECT_EQ(runHere({"--device", "sim:family=6", "import", "-"}).code, 4);
}

TEST(Program, AFailedWriteOfStandardOutputIsExitFour) {
    const CliRun run = runProgram({"--device", "sim:family=3", "read"}, "/dev/full");
    EXPECT_EQ(run.code, 4);
    EXPECT_THAT(run.err, HasSubstr("cannot write the standard output: No space left on device"));
}

TEST(Program, FlashProgressIsPlainLinesWithoutATerminal) {
    const std::string image = writeImage("lines.hgm", 1537);
    const CliRun run = runProgram({"--device", "sim:family=3", "flash", image, "--yes"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("tessaro-cli: flash 0%\ntessaro-cli: flash 30%\n"));
    EXPECT_THAT(run.err, HasSubstr("tessaro-cli: flash 100%\n"));
    EXPECT_THAT(run.err, Not(HasSubstr("\r")));
    const CliRun quiet = runProgram({"--device", "sim:family=3", "flash", image, "--yes", "-q"});
    EXPECT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_THAT(quiet.err, Not(HasSubstr("flash 30%")));
    EXPECT_THAT(quiet.err, Not(HasSubstr("Previous settings saved")));
}

TEST(Conventions, ManualPageAndCompletionsFollowTheCommandTable) {
    const CliRun man = runHere({"--man"});
    ASSERT_EQ(man.code, 0);
    const CliRun bash = runHere({"--completion", "bash"});
    ASSERT_EQ(bash.code, 0);
    const CliRun zsh = runHere({"--completion=zsh"});
    ASSERT_EQ(zsh.code, 0);
    for (const char* command : {"info", "read", "write", "defaults", "restore", "backups", "diff",
                                "export", "import", "flash", "calc", "profile"}) {
        EXPECT_THAT(man.out, HasSubstr(".B " + std::string(command)));
        EXPECT_THAT(bash.out, HasSubstr(" " + std::string(command)));
        EXPECT_THAT(zsh.out, HasSubstr(" " + std::string(command)));
    }
    EXPECT_EQ(runHere({"--completion", "fish"}).code, 1);
    // A read leaves the ESC's parameter names where the completions look.
    const fs::path cache = workDir() / "cache";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ASSERT_EQ(runHere({"--device", "sim:family=3", "read"}).code, 0);
    ::unsetenv("XDG_CACHE_HOME");
    const std::string names = slurp(cache / "tessaro" / "parameters");
    EXPECT_THAT(names, HasSubstr("brake-strength\n"));
    EXPECT_THAT(names, HasSubstr("turbo-delay\n"));
    EXPECT_THAT(bash.out, HasSubstr("tessaro/parameters"));
}

// The bash completion, run by bash as a shell would: what it offers for the word being
// typed, with options and their values before the command.
TEST(Conventions, TheBashCompletionOffersWhatTheWordBeforeItAsksFor) {
    const CliRun bash = runHere({"--completion", "bash"});
    ASSERT_EQ(bash.code, 0);
    const fs::path script = workDir() / "completion.bash";
    std::ofstream(script) << bash.out;
    const fs::path cache = workDir() / "completion-cache";
    fs::create_directories(cache / "tessaro");
    std::ofstream(cache / "tessaro" / "parameters") << "brake-strength\nturbo-delay\n";
    struct Case {
        std::string words;  // the command line up to the word being completed
        std::string offered;
    };
    const Case cases[] = {
        {"tessaro-cli in", "info"},
        {"tessaro-cli --device sim:family=3 wr", "write"},
        {"tessaro-cli --device sim write br", "brake-strength="},
        {"tessaro-cli --lang zh --cells 3 write tu", "turbo-delay="},
        {"tessaro-cli --lang z", "zh"},
        {"tessaro-cli backups s", "show"},
        {"tessaro-cli read --qu", "--quiet"},
    };
    for (const Case& c : cases) {
        const std::string command = "XDG_CACHE_HOME='" + cache.string() + "' bash -c 'source '" +
                                    script.string() + "'; COMP_WORDS=(" + c.words +
                                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tessaro_cli; "
                                    "echo \"${COMPREPLY[*]}\"'";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string offered;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) offered += buffer;
        EXPECT_EQ(::pclose(pipe), 0) << c.words;
        EXPECT_EQ(offered, c.offered + "\n") << c.words;
    }
}

TEST(Calc, PrintsTheGovernorLimit) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {{"calc", "--cells", "3", "--kv", "4000", "--gear", "150", "--pinion", "13"}, 0, "4160\n"},
        {{"calc", "--pinion", "13", "--gear", "150", "--kv", "4000", "--cells", "4"}, 0, "5546\n"},
        {{"calc", "--cells", "6", "--kv", "100000", "--gear", "1", "--pinion", "255"},
         0,
         "612000000\n"},
        {{"calc", "--cells", "3", "--kv", "4000", "--gear", "0", "--pinion", "13"}, 1, ""},
        {{"calc", "--cells", "3", "--kv", "4000", "--gear", "150"}, 1, ""},
        {{"calc", "--cells", "x", "--kv", "4000", "--gear", "150", "--pinion", "13"}, 1, ""},
    };
    for (const auto& c : cases) {
        const CliRun run = runHere(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out, c.out);
        if (c.code != 0) {
            EXPECT_EQ(run.errLines().size(), 1u) << run.err;
        }
    }
}

TEST(SettingsFiles, ExportThenImportGivesBackTheSettings) {
    const std::string changed = lateEsc("family=2,params=01030418E07C0401030000");
    const CliRun before = runHere({"--device", changed, "read", "--json"});
    ASSERT_EQ(before.code, 0) << before.err;
    const CliRun exported = runHere({"--device", changed, "export", "car"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    EXPECT_EQ(exported.out, "car.cfg\n");
    EXPECT_EQ(fs::file_size(workDir() / "car.cfg"), 15u);
    // Into an ESC still at its factory settings: the read-back is the exported set.
    const CliRun imported = runHere({"--device", lateEsc("family=2"), "import", "car.cfg"});
    ASSERT_EQ(imported.code, 0) << imported.err;
    const auto a = nlohmann::ordered_json::parse(before.out, nullptr, false);
    const auto b = nlohmann::ordered_json::parse(imported.out, nullptr, false);
    EXPECT_EQ(b["reply"], a["reply"]);
}

// The file holds values for controls a family does not carry (the throttle points of an
// air ESC, say): only what the frame carries is compared.
TEST(SettingsFiles, AnExportImportsIntoTheSameEsc) {
    const char* const devices[] = {"family=1", "family=2", "family=3",
                                   "family=4", "family=5", "family=6",
                                   "family=7", "family=8", "family=9,variant=6"};
    for (const char* options : devices) {
        SCOPED_TRACE(options);
        const std::string device = lateEsc(options);
        ASSERT_EQ(runHere({"--device", device, "export", "same"}).code, 0);
        const CliRun imported = runHere({"--device", device, "import", "same.cfg"});
        EXPECT_EQ(imported.code, 0) << imported.err;
        // Nothing differs; the one line names the backup kept before the import.
        ASSERT_EQ(imported.errLines().size(), 1u) << imported.err;
        EXPECT_THAT(imported.err, HasSubstr("backups/"));
    }
}

TEST(SettingsFiles, AFileOfAnotherSizeIsAFileError) {
    std::ofstream(workDir() / "short.cfg", std::ios::binary) << std::string(14, '\1');
    const CliRun run = runHere({"--device", "sim:family=2", "import", "short.cfg"});
    EXPECT_EQ(run.code, 4);
    EXPECT_THAT(run.err, HasSubstr("File Error!"));
    const CliRun missing = runHere({"--device", "sim:family=2", "import", "none.cfg"});
    EXPECT_EQ(missing.code, 4);
}

TEST(Language, CaptionsFollowTheChosenLanguage) {
    struct Case {
        const char* lang;
        const char* section;
    };
    const Case cases[] = {{"zh", "chinese"}, {"en", "english"}};
    for (const auto& c : cases) {
        const CliRun run =
            runHere({"--device", "sim:family=3", "--lang", c.lang, "read", "--json"});
        ASSERT_EQ(run.code, 0) << run.err;
        const auto json = nlohmann::ordered_json::parse(run.out, nullptr, false);
        const std::string expected = i18n::ProfileFile::readString(
            (workDir() / "language.ini").string(), c.section, "motortimingLab", "");
        bool found = false;
        for (const auto& control : json["controls"]) {
            if (control["id"] == 1036) {
                EXPECT_EQ(control["label"], expected) << c.lang;
                found = true;
            }
            if (control["visible"] == true) {
                EXPECT_NE(control["label"], "") << control["id"];
            }
        }
        EXPECT_TRUE(found);
    }
    EXPECT_EQ(runHere({"--lang", "fr", "info"}).code, 1);
}

TEST(Flash, ExitCodeFollowsTheUpdate) {
    const std::string image = writeImage("fw.hgm", 1537);
    std::ofstream(workDir() / "tiny.hgm", std::ios::binary) << std::string(100, '\x5A');
    struct Case {
        std::string device;
        std::string image;
        int code;
        bool aborted;         // UpdateAbort (0xD4) went to the ESC
        const char* message;  // the last line
    };
    const Case cases[] = {
        {lateEsc("family=3"), image, 0, false, ""},
        {lateEsc("family=3"), "tiny.hgm", 4, false, "has 100 bytes"},  // nothing is sent
        {lateEsc("family=3"), "missing.hgm", 4, false, "cannot read the image file"},
        // An acknowledgement never comes, or the ESC falls silent after two answers: the
        // update gives up on the block.
        {lateEsc("family=3,fwlose=2"), image, 5, true, "did not acknowledge the block"},
        {lateEsc("family=3,fwsilent=2"), image, 5, true, "did not acknowledge the block"},
        // The request is never answered: the CLI gives up after the time-out.
        {lateEsc("family=3,fwsilent=0"), image, 5, true,
         "no answer from the ESC within 3 s (in UpdateHandshake): UpdateAbort sent to the ESC"},
        {lateEsc("family=3,silent=always"), image, 2, false, "no answer from the ESC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device + " " + c.image);
        const CliRun run =
            runHere({"--device", c.device, "--timeout", "3", "--trace", "flash", c.image, "--yes"});
        EXPECT_EQ(run.code, c.code) << run.err;
        const std::vector<std::string> lines = run.errLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "> D4"), c.aborted ? 1 : 0) << run.err;
        if (c.code == 0) {
            EXPECT_THAT(run.out, HasSubstr("flashed 1537 bytes"));
        } else {
            ASSERT_FALSE(lines.empty());
            EXPECT_THAT(lines.back(), HasSubstr(c.message));
        }
    }
    EXPECT_EQ(runHere({"flash"}).code, 1);
}

// SIGINT and SIGTERM during the update, raised in this process once the ESC acknowledged
// some bytes, and a stop the caller asks for: the ESC gets UpdateAbort, the progress line
// ends and the exit code names the stop. The handlers found before come back.
TEST(Flash, AStopAbortsTheUpdate) {
    const std::string image = writeImage("stop.hgm", 1537);
    struct Case {
        const char* name;
        int signal;  // raised once `afterBytes` were acknowledged; 0: the caller's stop
        int32_t afterBytes;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"SIGINT before any block", SIGINT, 0, cli::kExitInterrupted,
         "tessaro-cli: firmware update interrupted by SIGINT: UpdateAbort sent to the ESC"},
        {"SIGTERM after two blocks", SIGTERM, 1024, cli::kExitTerminated,
         "tessaro-cli: firmware update interrupted by SIGTERM: UpdateAbort sent to the ESC"},
        {"the caller's stop after one block", 0, 512, cli::kExitTerminated,
         "tessaro-cli: firmware update interrupted by SIGTERM: UpdateAbort sent to the ESC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct sigaction intBefore {};
        struct sigaction termBefore {};
        ASSERT_EQ(::sigaction(SIGINT, nullptr, &intBefore), 0);
        ASSERT_EQ(::sigaction(SIGTERM, nullptr, &termBefore), 0);
        cli::CliOptions options;
        std::string error;
        ASSERT_TRUE(cli::parseCommandLine(
            {"--device", lateEsc("family=3"), "--trace", "flash", image}, options, error));
        int32_t stoppedAt = -1;
        bool raised = false;
        const auto stop = [&](int32_t acknowledged) {
            if (acknowledged < c.afterBytes)
                return 0;
            if (c.signal == 0) {
                stoppedAt = acknowledged;
                return c.code;
            }
            if (!raised) {
                raised = true;
                stoppedAt = acknowledged;
                ::raise(c.signal);
            }
            return 0;
        };
        const CliRun run =
            runHereWith([&](std::ostream& out, std::ostream& err, transport::Clock& clock) {
                return cli::runFlash(options, out, err, clock, stop);
            });
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_GE(stoppedAt, c.afterBytes);
        EXPECT_LT(stoppedAt, 1537);
        EXPECT_TRUE(run.out.empty());
        // The message has a line of its own after the progress bar, and the abort is the
        // last frame written.
        EXPECT_THAT(run.err, ::testing::EndsWith(std::string("\n") + c.message + "\n"));
        const std::vector<std::string> lines = run.errLines();
        std::vector<std::string> written;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(written),
                     [](const std::string& l) { return l.rfind("> ", 0) == 0; });
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back(), "> D4") << run.err;
        struct sigaction intAfter {};
        struct sigaction termAfter {};
        ::sigaction(SIGINT, nullptr, &intAfter);
        ::sigaction(SIGTERM, nullptr, &termAfter);
        EXPECT_EQ(intAfter.sa_handler, intBefore.sa_handler);
        EXPECT_EQ(termAfter.sa_handler, termBefore.sa_handler);
    }
}

// ---- the time a run takes ----------------------------------------------------------------

// Virtual milliseconds of `n` ticks of timer 0.
constexpr uint64_t ticksMs(uint64_t n) {
    return n * transport::kProtocolPeriodMs;
}

// The simulated ESC answers within a tick (4 to 10 ms late), so a command takes only the
// time of its exchanges: the adapter opens at once, each exchange is answered on the next
// 30 ms tick, and an operation waits for a quiet link (one tick and 10 ms) before its own
// exchanges; a write adds the ESC's settle (20 ticks, then the 1,000 ms pause) before its
// read-back. At most one tick more than that.
TEST(VirtualTime, ACommandTakesOnlyTheTimeOfItsExchanges) {
    // The adapter's version, then the link poll whose answer identifies a family-7 ESC;
    // any other ESC is asked for its version.
    constexpr uint64_t kFamily7Identified = ticksMs(2);
    constexpr uint64_t kIdentified = kFamily7Identified + ticksMs(1);
    constexpr uint64_t kSettingsRead = kIdentified + ticksMs(1);
    constexpr uint64_t kQuietLink = ticksMs(1) + 10;
    constexpr uint64_t kWriteAndReadBack =
        ticksMs(protocol::kWriteSettleTicks) + protocol::kWriteSettleSleepMs + ticksMs(1);
    constexpr uint64_t kSlack = ticksMs(1);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        uint64_t protocolMs;
    };
    const Case cases[] = {
        {"info", {"--device", "sim:family=3", "info"}, kIdentified},
        {"info, family 7", {"--device", "sim:family=7", "info"}, kFamily7Identified},
        {"read", {"--device", "sim:family=3", "read"}, kSettingsRead},
        {"write",
         {"--device", "sim:family=6", "write", "1038=1"},
         kSettingsRead + kQuietLink + kWriteAndReadBack},
        {"defaults",
         {"--device", "sim:family=3", "defaults", "--yes"},
         kSettingsRead + kQuietLink + kWriteAndReadBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = runHere(c.args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_LE(run.virtualMs, c.protocolMs + kSlack);
    }
}

// A wait for what never comes ends at the --timeout, not later; with no adapter at all the
// run ends at once.
TEST(VirtualTime, WaitingEndsAtTheTimeout) {
    struct Case {
        const char* device;
        const char* timeoutSeconds;
        uint64_t endsAtMs;
    };
    const Case cases[] = {
        {"sim:adapter=none", "2", 2000},
        {"sim:silent=always", "3", 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const CliRun run = runHere({"--device", c.device, "--timeout", c.timeoutSeconds, "info"});
        EXPECT_EQ(run.code, cli::kExitNoDevice) << run.err;
        EXPECT_EQ(run.virtualMs, c.endsAtMs);
    }
    const CliRun none = runHere({"--device", "hid", "--timeout", "2", "info"});
    if (none.code == 0)
        GTEST_SKIP() << "a real link adapter answered";
    EXPECT_EQ(none.code, cli::kExitNoDevice) << none.err;
    EXPECT_EQ(none.virtualMs, 0u);
}

// ---- the built program ----------------------------------------------------------------------

// How long the program's runs take is checked in process, on the virtual clock (the
// VirtualTime tests above); these runs check what a user sees.
TEST(Program, InfoOnTheSimulator) {
    const CliRun run = runProgram({"--device", "sim:family=3", "info"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("adapter: V"));
    EXPECT_THAT(run.out, HasSubstr("esc: V"));
    EXPECT_THAT(run.out, HasSubstr("family: 3"));
}

TEST(Program, NoAdapterIsAClearError) {
    const CliRun run = runProgram({"--device", "hid", "--timeout", "2", "info"});
    if (run.code == 0)
        GTEST_SKIP() << "a real link adapter answered";
    EXPECT_EQ(run.code, cli::kExitNoDevice);
    ASSERT_EQ(run.errLines().size(), 1u) << run.err;
    EXPECT_THAT(run.err, HasSubstr("link adapter"));
}

TEST(Program, WriteShowsTheFrameSent) {
    const CliRun run = runProgram({"--device", "sim:family=6", "--trace", "write", "1038=1"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("> F2 01 03 01 02 00 01 D1\n"));
}

// SIGTERM once the progress bar showed: the program tells the ESC (0xD4 in the trace) and
// exits 143. The ESC never answers the update request, so the update is still waiting
// when the signal comes; the time-out is far off.
TEST(Program, SigtermDuringAFlashAbortsTheUpdate) {
    const std::string image = writeImage("term.hgm", 1537);
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(errPipe[0]);
        if (::chdir(workDir().c_str()) != 0)
            ::_exit(126);
        const int out =
            ::open((workDir() / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(errPipe[1], 2);
        ::alarm(30);
        ::execl(TESSARO_CLI_PATH, TESSARO_CLI_PATH, "--device", "sim:family=3,latency=8,fwsilent=0",
                "--timeout", "60", "--trace", "flash", "--yes", image.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    // Blocking reads until the bar's percentage arrives.
    std::string err;
    char c = 0;
    while (err.find('%') == std::string::npos && ::read(errPipe[0], &c, 1) == 1) err += c;
    ASSERT_NE(err.find('%'), std::string::npos) << err;
    ::kill(pid, SIGTERM);
    while (::read(errPipe[0], &c, 1) == 1) err += c;
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << err;
    EXPECT_EQ(WEXITSTATUS(status), cli::kExitTerminated) << err;
    EXPECT_THAT(err, HasSubstr("\n> D4\n"));
    EXPECT_THAT(err, ::testing::EndsWith(
                         "\ntessaro-cli: firmware update interrupted by SIGTERM: UpdateAbort "
                         "sent to the ESC\n"));
}

// The example server of docs/, started as its own process.
class ExampleServer {
  public:
    ExampleServer() : m_path((workDir() / "adapter.sock").string()) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pipeFds[1], 1);
            ::close(pipeFds[0]);
            ::alarm(60);
            const std::string script =
                std::string(TESSARO_SOURCE_DIR) + "/docs/socket_server_example.py";
            ::execlp("python3", "python3", script.c_str(), m_path.c_str(), "--family", "3",
                     "--version", "1.2.3.4.5", nullptr);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        // Its first line says it listens; a blocking read, no sleep.
        std::string line;
        char c = 0;
        while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(pipeFds[0]);
        m_ready = line.rfind("listening on", 0) == 0;
    }
    ~ExampleServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool ready() const { return m_ready; }
    std::string uri() const { return "socket:" + m_path; }

  private:
    std::string m_path;
    pid_t m_pid = -1;
    bool m_ready = false;
};

bool havePython() {
    return std::system("command -v python3 >/dev/null 2>&1") == 0;
}

TEST(Program, ThroughTheExampleSocketServer) {
    if (!havePython())
        GTEST_SKIP() << "python3 is not installed";
    ExampleServer server;
    ASSERT_TRUE(server.ready());
    const CliRun info = runProgram({"--device", server.uri(), "info"});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(
        info.out,
        "adapter: V1.05_20121\nesc: V1.02_030405\nfamily: 3\nfamily name: Car Turbo\nvariant: 1\n");
    // The server serves the next client after the first hung up.
    const CliRun write = runProgram({"--device", server.uri(), "write", "1036=1"});
    EXPECT_EQ(write.code, 0) << write.err;
    const CliRun read = runProgram({"--device", server.uri(), "read", "--json"});
    EXPECT_EQ(read.code, 0) << read.err;
    const auto json = nlohmann::ordered_json::parse(read.out, nullptr, false);
    for (const auto& control : json["controls"]) {
        if (control["id"] == 1036) {
            EXPECT_EQ(control["selection"], 1);
        }
    }
}

TEST(Program, SocketWithoutServerIsExitTwo) {
    const CliRun run =
        runProgram({"--device", "socket:" + (workDir() / "nobody.sock").string(), "info"});
    EXPECT_EQ(run.code, cli::kExitNoDevice);
    EXPECT_THAT(run.err, HasSubstr("no link adapter at socket:"));
}

// ---- settings kept before defaults, and their restore ---------------------------------------

// A folder of its own for a run that must not find what workDir() holds.
struct OwnFolder {
    fs::path path;
    explicit OwnFolder(const std::string& name, bool withLanguage) {
        path = workDir() / name;
        fs::remove_all(path);
        fs::create_directories(path);
        if (withLanguage) {
            fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", path / "language.ini");
        }
    }
    ~OwnFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    CliRun run(const std::vector<std::string>& args) const {
        return runHereWith([&](std::ostream& out, std::ostream& err, transport::Clock& clock) {
            fs::current_path(path);
            return cli::runCli(args, out, err, clock);
        });
    }
};

bool anyLineStarts(const CliRun& run, const std::string& prefix) {
    const std::vector<std::string> lines = run.errLines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Nothing goes to the ESC when the run cannot read its language file or keep the backup:
// exit 4 with one line saying why, and no write frame in the trace.
TEST(Defaults, NothingIsSentWhenAFileIsMissingOrInTheWay) {
    struct Case {
        const char* name;
        bool withLanguage;
        bool backupsIsAFile;
        std::function<std::string(const fs::path&)> says;  // a part of the line
    };
    const Case cases[] = {
        {"no language.ini", false, false,
         [](const fs::path& folder) { return (folder / "language.ini").string(); }},
        {"a file named backups", true, true,
         [](const fs::path& folder) { return (folder / "backups").string(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OwnFolder folder("own-folder", c.withLanguage);
        if (c.backupsIsAFile)
            std::ofstream(folder.path / "backups") << "in the way";
        const std::string device = lateEsc("family=3,params=02020418E07C05000300000A0809");
        const CliRun plain = folder.run({"--device", device, "defaults", "--yes"});
        EXPECT_EQ(plain.code, cli::kExitFileError) << plain.err;
        ASSERT_EQ(plain.errLines().size(), 1u) << plain.err;
        EXPECT_THAT(plain.err, HasSubstr(c.says(folder.path)));
        EXPECT_TRUE(plain.out.empty()) << plain.out;

        const CliRun traced = folder.run({"--device", device, "--trace", "defaults", "--yes"});
        EXPECT_EQ(traced.code, cli::kExitFileError) << traced.err;
        EXPECT_FALSE(anyLineStarts(traced, "> F2")) << traced.err;
        EXPECT_EQ(messageLines(traced).size(), 1u) << traced.err;
        if (c.backupsIsAFile) {
            EXPECT_EQ(slurp(folder.path / "backups"), "in the way");
        }
    }
}

// The path of the backup a run names on its "saved to" line.
std::string backupNamed(const CliRun& run) {
    const std::regex saved("saved to (backups/[^ ]+\\.esc)");
    std::smatch match;
    for (const std::string& line : run.errLines()) {
        if (std::regex_search(line, match, saved))
            return match[1];
    }
    return "";
}

// Defaults, then a restore of the backup they kept, into an ESC at its factory settings:
// the ESC holds the bytes from before the defaults again.
TEST(Restore, TheBackupOfDefaultsBringsBackTheOldBytes) {
    struct Case {
        const char* family;  // sim options naming the ESC
        const char* params;  // what it held before the defaults
    };
    const Case cases[] = {
        {"family=3", "02020418E07C05000300000A0809"},
        {"family=6", "020401020001"},
        {"family=1", "0101000403010101010C0C"},
        {"family=9,variant=6", "000004040202030018E07C0501090001060005"},
    };
    for (const Case& c : cases) {
        const std::string params = c.params;
        SCOPED_TRACE(std::string(c.family) + " " + params);
        const CliRun defaults =
            runHere({"--device", lateEsc(std::string(c.family) + ",params=" + params), "defaults",
                     "--yes"});
        ASSERT_EQ(defaults.code, 0) << defaults.err;
        const std::string backup = backupNamed(defaults);
        ASSERT_FALSE(backup.empty()) << defaults.err;
        ASSERT_TRUE(fs::is_regular_file(workDir() / backup)) << backup;

        const CliRun restore =
            runHere({"--device", lateEsc(c.family), "--trace", "restore", backup});
        EXPECT_EQ(restore.code, 0) << restore.err;
        const auto json = nlohmann::ordered_json::parse(restore.out, nullptr, false);
        ASSERT_TRUE(json.is_object()) << restore.out;
        EXPECT_EQ(json["reply"], params);
        EXPECT_TRUE(anyLineStarts(restore, "> F2")) << restore.err;
        // The restore kept a backup of its own, of the factory settings it replaced.
        const std::string second = backupNamed(restore);
        EXPECT_FALSE(second.empty()) << restore.err;
        EXPECT_NE(second, backup);
    }
}

// A backup of another ESC is refused: nothing is written.
TEST(Restore, ABackupOfAnotherFamilyIsNotSent) {
    const CliRun defaults =
        runHere({"--device", lateEsc("family=6,params=020401020001"), "defaults", "--yes"});
    ASSERT_EQ(defaults.code, 0) << defaults.err;
    const std::string backup = backupNamed(defaults);
    ASSERT_FALSE(backup.empty()) << defaults.err;
    const CliRun restore = runHere({"--device", lateEsc("family=3"), "--trace", "restore", backup});
    EXPECT_EQ(restore.code, cli::kExitNotStored) << restore.err;
    EXPECT_FALSE(anyLineStarts(restore, "> F2")) << restore.err;
    EXPECT_EQ(messageLines(restore).size(), 1u) << restore.err;
    EXPECT_THAT(restore.err, HasSubstr("family 6"));
}

}  // namespace

namespace {

// A command that cannot open the adapter says why and what to do, on its one error line; a
// permission problem at once, since waiting cannot mend it.
TEST(Program, AnAdapterThatCannotBeOpenedSaysWhyAndTheFix) {
    struct Case {
        const char* access;
        std::vector<const char*> lineHas;
        bool atOnce;
    };
    const Case cases[] = {
        {"denied",
         {"the link adapter at sim:0 cannot be opened: Permission denied",
          "; fix: ", "60-tessaro.rules", "udevadm control --reload-rules", "replug"},
         true},
        {"busy", {"the link adapter at sim:0 cannot be opened", "another program holds it"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.access);
        const CliRun run =
            runHere({"--device", lateEsc(std::string("family=3,access=") + c.access), "read"});
        EXPECT_EQ(run.code, cli::kExitNoDevice);
        const std::vector<std::string> lines = run.errLines();
        ASSERT_EQ(lines.size(), 1u) << run.err;
        for (const char* part : c.lineHas) EXPECT_THAT(lines[0], HasSubstr(part));
        EXPECT_EQ(run.virtualMs < 1000, c.atOnce) << run.virtualMs;
    }
}

}  // namespace
