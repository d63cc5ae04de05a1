// Reads served from a parsed copy of the file: every kind of change to the file shows at
// the next read, and reads of an unchanged file do not read it again.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "i18n/profile_file.h"
#include "i18n/profile_test_support.h"

namespace {

using i18n::ProfileFile;
using i18n_test::ScratchDir;
using i18n_test::writeBytes;

constexpr const char* kFallback = "<none>";
constexpr const char* kOriginal = "[en]\nhello=first\n";

timespec modifiedTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mtim;
}

void setModifiedTime(const std::string& path, timespec when) {
    const timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct ChangeCase {
    const char* name;
    // Changes the file at `path` (a scratch folder's file) after it was read once.
    std::function<void(const ScratchDir& dir, const std::string& path)> change;
    std::string expected;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileCopyChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ProfileCopyChange, NextReadSeesTheChange) {
    const ChangeCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, kOriginal);
    ASSERT_EQ(ProfileFile::readString(path, "en", "hello", kFallback), "first");
    c.change(dir, path);
    if (IsSkipped())
        return;
    EXPECT_EQ(ProfileFile::readString(path, "en", "hello", kFallback), c.expected);
    // And the copy taken of the changed file serves the reads after it.
    EXPECT_EQ(ProfileFile::readString(path, "EN", "Hello", kFallback), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ProfileCopyChange,
    ::testing::Values(ChangeCase{"OtherWriterNewSize",
                                 [](const ScratchDir&, const std::string& path) {
                                     writeBytes(path, "[en]\nhello=second value\n");
                                 },
                                 "second value"},
                      ChangeCase{"OtherWriterSameSizeNewTime",
                                 [](const ScratchDir&, const std::string& path) {
                                     timespec later = modifiedTime(path);
                                     writeBytes(path, "[en]\nhello=fifth\n");
                                     later.tv_nsec = (later.tv_nsec + 1) % 1000000000;
                                     setModifiedTime(path, later);
                                 },
                                 "fifth"},
                      // A rewrite within one tick of a coarse file system clock: same size, and the
                      // modification time as before; the change time still tells it apart.
                      ChangeCase{"OtherWriterSameSizeSameTime",
                                 [](const ScratchDir&, const std::string& path) {
                                     const timespec before = modifiedTime(path);
                                     writeBytes(path, "[en]\nhello=fifth\n");
                                     setModifiedTime(path, before);
                                 },
                                 "fifth"},
                      ChangeCase{"ReplacedByRename",
                                 [](const ScratchDir& dir, const std::string& path) {
                                     const std::string other = dir.file("other.ini");
                                     writeBytes(other, "[en]\nhello=fifth\n");
                                     setModifiedTime(other, modifiedTime(path));
                                     ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
                                 },
                                 "fifth"},
                      ChangeCase{"Deleted",
                                 [](const ScratchDir&, const std::string& path) {
                                     ASSERT_EQ(::unlink(path.c_str()), 0);
                                 },
                                 kFallback},
                      ChangeCase{"MadeUnreadable",
                                 [](const ScratchDir&, const std::string& path) {
                                     ASSERT_EQ(::chmod(path.c_str(), 0), 0);
                                     if (::access(path.c_str(), R_OK) == 0)
                                         GTEST_SKIP()
                                             << "this user reads files without read permission";
                                 },
                                 kFallback},
                      ChangeCase{"OwnWrite",
                                 [](const ScratchDir&, const std::string& path) {
                                     ASSERT_TRUE(
                                         ProfileFile::writeString(path, "en", "hello", "fifth"));
                                 },
                                 "fifth"}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return info.param.name; });

TEST(ProfileCopy, ReadsOfAnUnchangedFileReadItOnce) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, "[en]\nhello=first\nnumber=0x10\n[zh]\nhello=你好\n");
    const uint64_t before = ProfileFile::fileLoads();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ProfileFile::readString(path, "en", "hello", kFallback), "first");
        EXPECT_EQ(ProfileFile::readString(path, "zh", "hello", kFallback), "你好");
        EXPECT_EQ(ProfileFile::readString(path, "zh", "missing", kFallback), kFallback);
        EXPECT_EQ(ProfileFile::readInt(path, "en", "number", 0), 16u);
    }
    EXPECT_EQ(ProfileFile::fileLoads() - before, 1u);
}

// The marks the settings model writes are mostly the values already there: such a write
// neither touches the file nor makes the next read take it from the disk again.
TEST(ProfileCopy, WritingTheValueAlreadyThereKeepsTheCopy) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, "[en]\nhello=first\n[set]\nmark=1\n");
    const uint64_t before = ProfileFile::fileLoads();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(ProfileFile::writeString(path, "set", "mark", "1"));
        EXPECT_EQ(ProfileFile::readString(path, "en", "hello", kFallback), "first");
    }
    EXPECT_EQ(ProfileFile::fileLoads() - before, 1u);
    // Another value is written, and read back from the file.
    EXPECT_TRUE(ProfileFile::writeString(path, "SET", " Mark ", "2"));
    EXPECT_EQ(ProfileFile::readString(path, "set", "mark", kFallback), "2");
}

// A file of many sections, each with the same keys, and every name once more at the end:
// each read finds its own section's value, and the first section of a name hides the later.
TEST(ProfileCopy, ManySectionsEachFoundAndTheFirstOfANameWins) {
    constexpr int kSections = 20000;
    std::string text;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < kSections; ++i) {
            text += "[S" + std::to_string(i) + "]\nkey=" + std::to_string(i + pass * kSections) +
                    "\nKEY=duplicate\n";
        }
    }
    ScratchDir dir;
    const std::string path = dir.file("many.ini");
    writeBytes(path, text);
    for (const int i : {0, 1, 9999, kSections - 1}) {
        EXPECT_EQ(ProfileFile::readString(path, "s" + std::to_string(i), "Key", kFallback),
                  std::to_string(i));
    }
    EXPECT_EQ(ProfileFile::readString(path, "s" + std::to_string(kSections), "key", kFallback),
              kFallback);
}

TEST(ProfileCopy, CopiesOfTwoFilesDoNotMix) {
    ScratchDir dir;
    const std::string a = dir.file("a.ini");
    const std::string b = dir.file("b.ini");
    writeBytes(a, "[en]\nhello=from a\n");
    writeBytes(b, "[en]\nhello=from b\n");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ProfileFile::readString(a, "en", "hello", kFallback), "from a");
        EXPECT_EQ(ProfileFile::readString(b, "en", "hello", kFallback), "from b");
    }
}

}  // namespace
