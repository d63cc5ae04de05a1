// tessaro-cli on recordings: runs recorded with --record (the files under recordings/,
// made by the built program on the real clock) replayed with --device replay:FILE in this
// process on the virtual clock, and what a run on a recording it departs from says.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "link/clock.h"
#include "support/cli_run.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using testing_support::CliRun;

struct Bench {
    testing_support::ScratchDir dir;
    Bench() {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", dir.file("language.ini"));
    }
    CliRun run(const std::vector<std::string>& args) const {
        return testing_support::runCliIn(dir.path(), args, 70000);
    }
};

std::string recording(const std::string& name) {
    return std::string(TESSARO_SOURCE_DIR) + "/tests/cli/recordings/" + name;
}

struct RecordedCase {
    const char* file;               // under tests/cli/recordings/
    std::vector<std::string> args;  // the command line after --device replay:FILE
    int code;
    const char* out;  // what standard output holds
    const char* err;  // what standard error holds
};

TEST(RecordedRuns, ReplayAsTheyWereRecorded) {
    const RecordedCase cases[] = {
        // tessaro-cli --device sim:family=3 --record family3-read.rec read --json
        {"family3-read.rec", {"read", "--json"}, cli::kExitOk, "\"brake-strength\"", ""},
        // tessaro-cli --device sim:family=3 --record family3-write.rec write brake-strength=40
        {"family3-write.rec", {"write", "brake-strength=40"}, cli::kExitOk, "", ""},
        // Another value than the one recorded: the first report that carries it differs.
        {"family3-write.rec",
         {"write", "brake-strength=50"},
         cli::kExitReplayDiffers,
         "",
         "the replay differs from the recording at line "},
        // A command that does more than the one recorded sends where that one closed.
        {"family3-read.rec",
         {"write", "brake-strength=40"},
         cli::kExitReplayDiffers,
         "",
         "  recorded: close\n  sent:     O 0210f2"},
    };
    Bench bench;
    for (const RecordedCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.args[0]);
        std::vector<std::string> args = {"--device", "replay:" + recording(c.file)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = bench.run(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_THAT(run.out, HasSubstr(c.out));
        EXPECT_THAT(run.err, HasSubstr(c.err));
    }
}

TEST(RecordedRuns, ADifferenceShowsBothReports) {
    Bench bench;
    const CliRun run = bench.run(
        {"--device", "replay:" + recording("family3-write.rec"), "write", "brake-strength=50"});
    ASSERT_EQ(run.code, cli::kExitReplayDiffers);
    EXPECT_THAT(run.err, HasSubstr("\n  recorded: O 02"));
    EXPECT_THAT(run.err, HasSubstr("\n  sent:     O 02"));
    EXPECT_THAT(run.err, HasSubstr("^^\n"));
    // Said once, not also as a lost adapter.
    EXPECT_THAT(run.err, ::testing::Not(HasSubstr("went away")));
}

TEST(RecordedRuns, ARecordingCutShortEndsTheRun) {
    // As a crash leaves it: everything up to the version query.
    Bench bench;
    std::ifstream in(recording("family3-read.rec"));
    std::ofstream cut(bench.dir.file("cut.rec"));
    for (std::string line; std::getline(in, line);) {
        cut << line << "\n";
        if (line.ends_with(" O 0201e2"))
            break;
    }
    cut.close();
    const CliRun run = bench.run({"--device", "replay:" + bench.dir.file("cut.rec"), "read"});
    EXPECT_EQ(run.code, cli::kExitReplayDiffers);
    EXPECT_THAT(run.err, HasSubstr("the recording ended before this run did"));
}

TEST(RecordedRuns, WhatARunRecordsReplaysToTheSameResult) {
    Bench bench;
    const std::string file = bench.dir.file("run.rec");
    const CliRun recorded =
        bench.run({"--device", "sim:family=3", "--record", file, "read", "--json"});
    ASSERT_EQ(recorded.code, cli::kExitOk) << recorded.err;
    std::ifstream in(file);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "tessaro-recording 1");
    const CliRun replayed = bench.run({"--device", "replay:" + file, "read", "--json"});
    EXPECT_EQ(replayed.code, cli::kExitOk) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out);
}

TEST(RecordedRuns, ARecordingThatCannotBeCreatedStopsTheRunFirst) {
    Bench bench;
    const std::string file = bench.dir.file("no/such/folder/run.rec");
    const CliRun run = bench.run({"--device", "sim:family=3", "--record", file, "read"});
    EXPECT_EQ(run.code, cli::kExitFileError);
    EXPECT_THAT(run.err, HasSubstr("cannot create the recording " + file));
    EXPECT_EQ(run.out, "");
}

}  // namespace
