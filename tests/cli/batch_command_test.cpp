// tessaro-cli batch: one ESC after another on a simulated adapter whose ESCs are swapped
// in turn, in this process on the virtual clock, with the late, jittered simulated ESC;
// and the exit code of a second process on an adapter another one holds.

#include "cli/batch_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "devices/device_lock.h"
#include "link/clock.h"
#include "support/scratch_dir.h"

namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Two ESCs of family 3, then one of family 1; each leaves after its programming.
constexpr const char* kBench = "sim:escs=3,3,1,escstay=200";

struct BatchRun {
    int code = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

// A working directory with the shipped language file, a settings file of family 3's factory
// values, an image, and a folder for lock files.
struct BatchBench {
    testing_support::ScratchDir dir;
    BatchBench() {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", dir.file("language.ini"));
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
        std::string image(1537, '\0');
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 3 + 7);
        testing_support::writeBytes(dir.file("fw.hgm"), image);
        EXPECT_EQ(run({"--device", "sim:family=3", "export", "car.cfg"}).code, 0);
    }
    ~BatchBench() { ::unsetenv("XDG_RUNTIME_DIR"); }

    BatchRun run(const std::vector<std::string>& args, const cli::BatchStopRequest& stop = {}) {
        const fs::path before = fs::current_path();
        fs::current_path(dir.path());
        std::ostringstream out;
        std::ostringstream err;
        transport::VirtualClock clock(50000);
        BatchRun result;
        if (stop) {
            cli::CliOptions options;
            std::string error;
            EXPECT_TRUE(cli::parseCommandLine(args, options, error)) << error;
            cli::CommandContext context{options, out, err, clock};
            result.code = cli::runBatch(context, stop);
        } else {
            result.code = cli::runCli(args, out, err, clock);
        }
        fs::current_path(before);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    std::size_t backups() const {
        return testing_support::ScratchDir::namesIn(dir.file("backups")).size();
    }
};

TEST(BatchCommand, ImportsIntoTheTwoEscsThatFitAndReportsTheThird) {
    BatchBench bench;
    const BatchRun run =
        bench.run({"--device", kBench, "batch", "import", "car.cfg", "--count", "3"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> rows = run.outLines();
    ASSERT_EQ(rows.size(), 3u) << run.out << run.err;
    EXPECT_THAT(rows[0], HasSubstr("ESC 1: family 3 variant 1: programmed (backup backups/"));
    EXPECT_THAT(rows[1], HasSubstr("ESC 2: family 3 variant 1: programmed (backup backups/"));
    EXPECT_THAT(rows[2], HasSubstr("ESC 3: family 1 variant 1: skipped"));
    EXPECT_THAT(rows[2], HasSubstr("meant for family 3"));
    EXPECT_EQ(bench.backups(), 2u) << "one backup for each ESC written";
    EXPECT_THAT(run.err, HasSubstr("waiting for ESC 3"));
}

TEST(BatchCommand, JsonGivesOneObjectPerEsc) {
    BatchBench bench;
    const BatchRun run =
        bench.run({"--device", kBench, "batch", "defaults", "--json", "--count=3", "--yes"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> rows = run.outLines();
    ASSERT_EQ(rows.size(), 3u) << run.out;
    const int families[] = {3, 3, 1};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        const auto row = nlohmann::json::parse(rows[i]);
        EXPECT_EQ(row["esc"], i + 1);
        EXPECT_EQ(row["family"], families[i]);
        EXPECT_EQ(row["action"], "defaults");
        EXPECT_EQ(row["result"], "programmed") << "the defaults fit every family";
        EXPECT_TRUE(row["backup"].is_string());
        EXPECT_EQ(row["exit"], 0);
    }
}

// A failure keeps the rows before it: they went out as they came, the error object after.
TEST(BatchCommand, JsonRowsStayWhenAnEscFails) {
    BatchBench bench;
    const std::string worn = std::string(kBench) + ",params=00020418E07C05000300000A0809,stuck=1";
    const BatchRun run =
        bench.run({"--device", worn, "batch", "defaults", "--json", "--count", "2", "--yes"});
    EXPECT_EQ(run.code, 3);
    const std::vector<std::string> rows = run.outLines();
    ASSERT_EQ(rows.size(), 3u) << run.out;
    EXPECT_EQ(nlohmann::json::parse(rows[0])["result"], "failed");
    EXPECT_EQ(nlohmann::json::parse(rows[0])["exit"], 3);
    EXPECT_EQ(nlohmann::json::parse(rows[0])["differences"][0]["position"], 1);
    // The next ESC comes with its factory settings, which the worn cell already holds.
    EXPECT_EQ(nlohmann::json::parse(rows[1])["result"], "programmed");
    EXPECT_EQ(nlohmann::json::parse(rows[2])["error"]["code"], 3);
}

TEST(BatchCommand, ExitsWithTheFirstFailuresCode) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int code;
        const char* says;  // on standard error or in the rows
    };
    const std::string worn = std::string(kBench) + ",params=00020418E07C05000300000A0809,stuck=1";
    const Case cases[] = {
        {"not stored",
         {"--device", worn, "batch", "defaults", "--count", "2", "--yes"},
         3,
         "P1: sent 02"},
        {"update failed",
         {"--device", std::string(kBench) + ",fwsilent=3", "batch", "flash", "fw.hgm", "--count",
          "1", "--yes"},
         5,
         "failed in update"},
        {"no image", {"--device", kBench, "batch", "flash", "missing.hgm"}, 4, "missing.hgm"},
        {"no settings file", {"--device", kBench, "batch", "import", "fw.hgm"}, 4, "15 bytes"},
        {"no action", {"--device", kBench, "batch"}, 1, "import FILE, defaults or flash"},
        {"bad count", {"--device", kBench, "batch", "defaults", "--count", "0"}, 1, "--count"},
        {"file for defaults", {"--device", kBench, "batch", "defaults", "car.cfg"}, 1, "no file"},
        {"not asked", {"--device", kBench, "batch", "defaults"}, 1, "--yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BatchBench bench;
        const BatchRun run = bench.run(c.args);
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        EXPECT_THAT(run.out + run.err, HasSubstr(c.says));
    }
}

// Ctrl-C between two ESCs ends the batch at once, and cleanly: what was done stands.
TEST(BatchCommand, AStopBetweenEscsEndsCleanly) {
    BatchBench bench;
    const BatchRun run = bench.run({"--device", kBench, "batch", "import", "car.cfg"},
                                   [](uint32_t handled) { return handled == 1; });
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.outLines().size(), 1u) << run.out;
    EXPECT_EQ(bench.backups(), 1u);
}

// A second process on an adapter one holds exits 2 and names the holder.
TEST(BatchCommand, AnAdapterAnotherProcessHoldsIsExit2) {
    BatchBench bench;
    devices::DeviceLock held;
    ASSERT_EQ(held.take(bench.dir.path(), "sim-bench"), devices::DeviceLock::Result::Taken);
    for (const char* command : {"info", "batch"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {"--device", "sim:name=bench", command};
        if (std::string(command) == "batch")
            args.insert(args.end(), {"defaults", "--yes"});
        const BatchRun run = bench.run(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_THAT(run.err, HasSubstr("in use by another process"));
        EXPECT_THAT(run.err, HasSubstr("(pid " + std::to_string(::getpid()) + ")"));
    }
    held.release();
    EXPECT_EQ(bench.run({"--device", "sim:name=bench", "info"}).code, 0);
}

}  // namespace
