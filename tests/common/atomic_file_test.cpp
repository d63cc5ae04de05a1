#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "support/file_size_limit.h"
#include "support/scratch_dir.h"

namespace {

using common::AtomicWriteStep;
using testing_support::FileSizeLimit;
using testing_support::readBytes;
using testing_support::ScratchDir;
using testing_support::writeBytes;

const std::string kOld = "old contents\n";
const std::string kNew = "the new contents, longer than the old ones\n";

// Sets the umask for as long as it lives.
class UmaskGuard {
  public:
    explicit UmaskGuard(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_old); }

  private:
    mode_t m_old;
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct ReplaceCase {
    const char* name;
    // Prepares the folder and gives the path to replace.
    std::function<std::string(const ScratchDir&)> prepare;
    std::string contents = kNew;
    mode_t umask = 022;
    std::optional<rlim_t> fileSizeLimit{};  // writes past this many bytes fail
    bool needsUnprivileged = false;         // permission bits stop only other users than root
    // Expected:
    AtomicWriteStep failedStep = AtomicWriteStep::None;
    int error = 0;
    std::string checkedFile{};                   // inside the folder, read after the call
    std::optional<std::string> contentsAfter{};  // nullopt: no regular file there
    std::optional<mode_t> modeAfter{};
    std::set<std::string> namesAfter{};  // everything in the folder afterwards
    std::string sameFile{};              // another name that must still be the checked file
};

void PrintTo(const ReplaceCase& c, std::ostream* os) {
    *os << c.name;
}

class Replace : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(Replace, LeavesTheOldOrTheNewFileAndNothingElse) {
    const ReplaceCase& c = GetParam();
    if (c.needsUnprivileged && ::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root";
    ScratchDir dir;
    const std::filesystem::path workingDirectory = std::filesystem::current_path();
    const std::string path = c.prepare(dir);

    common::AtomicWriteResult result;
    {
        UmaskGuard mask(c.umask);
        std::optional<FileSizeLimit> limit;
        if (c.fileSizeLimit)
            limit.emplace(*c.fileSizeLimit);
        result = common::replaceFile(path, c.contents);
    }
    std::filesystem::current_path(workingDirectory);
    ::chmod(dir.path().c_str(), 0700);  // a read-only fixture must not hide the names

    EXPECT_EQ(result.ok(), c.failedStep == AtomicWriteStep::None);
    EXPECT_EQ(result.failedStep, c.failedStep);
    EXPECT_EQ(result.error, c.error) << std::strerror(result.error);
    if (c.error != 0) {
        EXPECT_NE(result.message.find(std::strerror(c.error)), std::string::npos) << result.message;
    } else {
        EXPECT_EQ(result.message, "");
    }
    const std::string checked = dir.file(c.checkedFile);
    if (c.contentsAfter) {
        ASSERT_TRUE(std::filesystem::is_regular_file(checked));
        EXPECT_EQ(readBytes(checked), *c.contentsAfter);
    } else {
        EXPECT_FALSE(std::filesystem::is_regular_file(checked));
    }
    if (c.modeAfter) {
        EXPECT_EQ(modeOf(checked), *c.modeAfter);
    }
    if (!c.sameFile.empty()) {
        EXPECT_TRUE(std::filesystem::equivalent(checked, dir.file(c.sameFile)));
    }
    EXPECT_EQ(dir.names(), c.namesAfter);
}

std::string existing(const ScratchDir& dir, const std::string& name, mode_t mode) {
    writeBytes(dir.file(name), kOld);
    ::chmod(dir.file(name).c_str(), mode);
    return dir.file(name);
}

INSTANTIATE_TEST_SUITE_P(
    AtomicFile, Replace,
    ::testing::Values(
        ReplaceCase{.name = "new_file_gets_0666_minus_the_umask",
                    .prepare = [](const ScratchDir& d) { return d.file("a.cfg"); },
                    .umask = 027,
                    .checkedFile = "a.cfg",
                    .contentsAfter = kNew,
                    .modeAfter = 0640,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "new_empty_file",
                    .prepare = [](const ScratchDir& d) { return d.file("a.cfg"); },
                    .contents = "",
                    .checkedFile = "a.cfg",
                    .contentsAfter = "",
                    .modeAfter = 0644,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "existing_file_keeps_its_mode",
                    .prepare = [](const ScratchDir& d) { return existing(d, "a.cfg", 0604); },
                    .umask = 077,
                    .checkedFile = "a.cfg",
                    .contentsAfter = kNew,
                    .modeAfter = 0604,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "shorter_contents_leave_no_old_tail",
                    .prepare = [](const ScratchDir& d) { return existing(d, "a.cfg", 0640); },
                    .contents = "x",
                    .checkedFile = "a.cfg",
                    .contentsAfter = "x",
                    .modeAfter = 0640,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "symbolic_link_is_written_through",
                    .prepare =
                        [](const ScratchDir& d) {
                            existing(d, "real.cfg", 0600);
                            ::symlink(d.file("real.cfg").c_str(), d.file("link.cfg").c_str());
                            return d.file("link.cfg");
                        },
                    .checkedFile = "real.cfg",
                    .contentsAfter = kNew,
                    .modeAfter = 0600,
                    .namesAfter = {"link.cfg", "real.cfg"}},
        ReplaceCase{.name = "bare_name_in_the_working_directory",
                    .prepare =
                        [](const ScratchDir& d) {
                            std::filesystem::current_path(d.path());
                            return std::string("a.cfg");
                        },
                    .checkedFile = "a.cfg",
                    .contentsAfter = kNew,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "folder_that_does_not_exist",
                    .prepare = [](const ScratchDir& d) { return d.file("none/a.cfg"); },
                    .failedStep = AtomicWriteStep::CreateTemporary,
                    .error = ENOENT,
                    .checkedFile = "none",
                    .namesAfter = {}},
        ReplaceCase{.name = "parent_is_a_regular_file",
                    .prepare =
                        [](const ScratchDir& d) {
                            existing(d, "plain", 0644);
                            return d.file("plain/a.cfg");
                        },
                    .failedStep = AtomicWriteStep::Inspect,
                    .error = ENOTDIR,
                    .checkedFile = "plain",
                    .contentsAfter = kOld,
                    .namesAfter = {"plain"}},
        ReplaceCase{.name = "read_only_folder",
                    .prepare =
                        [](const ScratchDir& d) {
                            const std::string path = existing(d, "a.cfg", 0644);
                            ::chmod(d.path().c_str(), 0500);
                            return path;
                        },
                    .needsUnprivileged = true,
                    .failedStep = AtomicWriteStep::CreateTemporary,
                    .error = EACCES,
                    .checkedFile = "a.cfg",
                    .contentsAfter = kOld,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "target_is_a_folder",
                    .prepare =
                        [](const ScratchDir& d) {
                            std::filesystem::create_directories(d.file("a.cfg/inner"));
                            return d.file("a.cfg");
                        },
                    .failedStep = AtomicWriteStep::Inspect,
                    .error = EISDIR,
                    .checkedFile = "a.cfg",
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "target_is_a_fifo",
                    .prepare =
                        [](const ScratchDir& d) {
                            ::mkfifo(d.file("a.cfg").c_str(), 0644);
                            return d.file("a.cfg");
                        },
                    .failedStep = AtomicWriteStep::Inspect,
                    .error = EINVAL,
                    .checkedFile = "a.cfg",
                    .namesAfter = {"a.cfg"}},
        // No write bit at all stops even a privileged user.
        ReplaceCase{.name = "read_only_file_is_refused",
                    .prepare = [](const ScratchDir& d) { return existing(d, "a.cfg", 0444); },
                    .failedStep = AtomicWriteStep::Inspect,
                    .error = EACCES,
                    .checkedFile = "a.cfg",
                    .contentsAfter = kOld,
                    .modeAfter = 0444,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "link_to_nothing_creates_its_target",
                    .prepare =
                        [](const ScratchDir& d) {
                            ::symlink("real.cfg", d.file("link.cfg").c_str());
                            return d.file("link.cfg");
                        },
                    .checkedFile = "real.cfg",
                    .contentsAfter = kNew,
                    .namesAfter = {"link.cfg", "real.cfg"},
                    .sameFile = "link.cfg"},
        ReplaceCase{.name = "hard_linked_file_stays_one_file",
                    .prepare =
                        [](const ScratchDir& d) {
                            existing(d, "a.cfg", 0600);
                            ::link(d.file("a.cfg").c_str(), d.file("b.cfg").c_str());
                            return d.file("a.cfg");
                        },
                    .checkedFile = "b.cfg",
                    .contentsAfter = kNew,
                    .modeAfter = 0600,
                    .namesAfter = {"a.cfg", "b.cfg"},
                    .sameFile = "a.cfg"},
        ReplaceCase{.name = "hard_linked_file_shorter_contents",
                    .prepare =
                        [](const ScratchDir& d) {
                            existing(d, "a.cfg", 0640);
                            ::link(d.file("a.cfg").c_str(), d.file("b.cfg").c_str());
                            return d.file("a.cfg");
                        },
                    .contents = "x",
                    .checkedFile = "b.cfg",
                    .contentsAfter = "x",
                    .namesAfter = {"a.cfg", "b.cfg"},
                    .sameFile = "a.cfg"},
        ReplaceCase{.name = "hard_linked_write_fails_and_the_old_contents_return",
                    .prepare =
                        [](const ScratchDir& d) {
                            existing(d, "a.cfg", 0640);
                            ::link(d.file("a.cfg").c_str(), d.file("b.cfg").c_str());
                            return d.file("a.cfg");
                        },
                    .fileSizeLimit = 20,
                    .failedStep = AtomicWriteStep::Write,
                    .error = EFBIG,
                    .checkedFile = "b.cfg",
                    .contentsAfter = kOld,
                    .modeAfter = 0640,
                    .namesAfter = {"a.cfg", "b.cfg"},
                    .sameFile = "a.cfg"},
        ReplaceCase{.name = "write_fails_midway_and_the_old_file_stays",
                    .prepare = [](const ScratchDir& d) { return existing(d, "a.cfg", 0640); },
                    .fileSizeLimit = 8,
                    .failedStep = AtomicWriteStep::Write,
                    .error = EFBIG,
                    .checkedFile = "a.cfg",
                    .contentsAfter = kOld,
                    .modeAfter = 0640,
                    .namesAfter = {"a.cfg"}},
        ReplaceCase{.name = "write_fails_for_a_new_file_and_none_appears",
                    .prepare = [](const ScratchDir& d) { return d.file("a.cfg"); },
                    .fileSizeLimit = 0,
                    .failedStep = AtomicWriteStep::Write,
                    .error = EFBIG,
                    .checkedFile = "a.cfg",
                    .namesAfter = {}},
        ReplaceCase{.name = "no_name",
                    .prepare = [](const ScratchDir&) { return std::string(); },
                    .failedStep = AtomicWriteStep::Inspect,
                    .error = ENOENT,
                    .checkedFile = "a.cfg",
                    .namesAfter = {}}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

}  // namespace
