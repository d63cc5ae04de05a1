// Which language.ini and backups/ a run uses: the current directory's when it has a
// language.ini, else the directory TESSARO_WORKDIR names (what the installed launcher
// sets); files named on the command line stay relative to the current directory. On the
// simulated ESC, late with jitter.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_session.h"
#include "i18n/profile_file.h"
#include "link/clock.h"
#include "support/scratch_dir.h"

namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

struct Folders {
    testing_support::ScratchDir here;  // where the command is run
    testing_support::ScratchDir user;  // the user's working directory
    void shipLanguageFile(const std::string& folder) const {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", folder + "/language.ini");
    }
    std::string choiceIn(const std::string& folder) const {
        return i18n::ProfileFile::readString(folder + "/language.ini", "set", "lang_sel", "");
    }
};

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs in `cwd` with TESSARO_WORKDIR set to `workdir` (unset when empty); both restored.
CliRun runIn(const std::string& cwd, const std::string& workdir,
             const std::vector<std::string>& args) {
    const fs::path before = fs::current_path();
    const char* old = ::getenv(cli::kWorkDirEnv);
    const std::string saved = old != nullptr ? old : "";
    if (workdir.empty())
        ::unsetenv(cli::kWorkDirEnv);
    else
        ::setenv(cli::kWorkDirEnv, workdir.c_str(), 1);
    fs::current_path(cwd);
    std::ostringstream out;
    std::ostringstream err;
    transport::VirtualClock clock(50000);
    CliRun run;
    run.code = cli::runCli(args, out, err, clock);
    fs::current_path(before);
    if (old != nullptr)
        ::setenv(cli::kWorkDirEnv, saved.c_str(), 1);
    else
        ::unsetenv(cli::kWorkDirEnv);
    run.out = out.str();
    run.err = err.str();
    return run;
}

TEST(CliWorkDir, TheLanguageFileOfTheCurrentDirectoryElseOfTheUsersDirectory) {
    struct Case {
        const char* what;
        bool hereHasFile;
        bool userHasFile;
        bool setEnv;
        int code;
        const char* storedHere;  // lang_sel after `--lang zh info` ("" none)
        const char* storedUser;
    };
    const std::vector<Case> cases = {
        {"only the user's directory has one", false, true, true, 0, "", "1"},
        {"the current directory's wins", true, true, true, 0, "1", "0"},
        {"without the variable, the current directory's", true, true, false, 0, "1", "0"},
        {"neither has one", false, false, true, 4, "", ""},
        {"the variable unset and none here", false, true, false, 4, "", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folders f;
        if (c.hereHasFile)
            f.shipLanguageFile(f.here.path());
        if (c.userHasFile)
            f.shipLanguageFile(f.user.path());
        const CliRun run = runIn(f.here.path(), c.setEnv ? f.user.path() : "",
                                 {"--device", "sim:family=3", "--lang", "zh", "info"});
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(f.choiceIn(f.here.path()), c.storedHere);
        // A failed run puts the choice back, but makes no language file where none was.
        EXPECT_EQ(fs::exists(f.here.file("language.ini")), c.hereHasFile);
        EXPECT_EQ(fs::exists(f.user.file("language.ini")), c.userHasFile);
        EXPECT_EQ(f.choiceIn(f.user.path()), c.storedUser);
        if (c.code == 0) {
            // The choice kept holds for the next run without --lang.
            const CliRun again = runIn(f.here.path(), c.setEnv ? f.user.path() : "",
                                       {"--device", "sim:family=3", "info"});
            EXPECT_EQ(again.code, 0) << again.err;
            EXPECT_EQ(again.out, run.out);
        }
    }
}

// A backup goes to the directory whose language file was used and is named by a path that
// works from the current directory; a settings file named on the command line is written
// in the current directory.
TEST(CliWorkDir, BackupsGoWithTheLanguageFileAndFilesStayHere) {
    Folders f;
    f.shipLanguageFile(f.user.path());
    const CliRun defaults =
        runIn(f.here.path(), f.user.path(), {"--device", "sim:family=3", "defaults", "--yes"});
    ASSERT_EQ(defaults.code, 0) << defaults.err;
    EXPECT_TRUE(fs::exists(f.user.file("backups")));
    EXPECT_FALSE(fs::exists(f.here.file("backups")));
    const CliRun list = runIn(f.here.path(), f.user.path(), {"backups"});
    // Named so that they can be used from here: the line after the operation, the list.
    EXPECT_THAT(defaults.err, HasSubstr(f.user.file("backups/")));
    EXPECT_THAT(list.out, HasSubstr(f.user.file("backups/")));
    EXPECT_THAT(list.out, HasSubstr("family 3"));
    const CliRun exported =
        runIn(f.here.path(), f.user.path(), {"--device", "sim:family=3", "export", "car"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    EXPECT_TRUE(fs::exists(f.here.file("car.cfg")));
    EXPECT_FALSE(fs::exists(f.user.file("car.cfg")));
}

}  // namespace
