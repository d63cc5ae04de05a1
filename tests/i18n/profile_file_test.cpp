#include "i18n/profile_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "i18n/profile_test_support.h"
#include "support/file_size_limit.h"

namespace {

using i18n::ProfileFile;
using i18n_test::codePoints;
using i18n_test::readBytes;
using i18n_test::repeat;
using i18n_test::ScratchDir;
using i18n_test::writeBytes;

constexpr const char* kFallback = "<none>";

// --- Reading: names, values, structure -------------------------------------------------

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRules, FindsTheValueTheRuleGives) {
    const ReadCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, c.file);
    EXPECT_EQ(ProfileFile::readString(path, c.section, c.key, kFallback), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ReadRules,
    ::testing::Values(
        ReadCase{"SectionCase", "[Chinese]\nbrakeLab=x\n", "chinese", "brakeLab", "x"},
        ReadCase{"KeyCase", "[english]\nbrakeLab=x\n", "english", "brakelab", "x"},
        ReadCase{"AllUpper", "[chinese]\nbrakeLab=x\n", "CHINESE", "BRAKELAB", "x"},
        ReadCase{"NonAsciiCaseKept", "[\xC3\x84]\nk=x\n", "\xC3\xA4", "k", kFallback},
        ReadCase{"NamesTrimmed", "[ s ]\n\t key  =x\n", "  s", "key ", "x"},
        ReadCase{"ValueTrimmed", "[s]\nk=   a b \t\n", "s", "k", "a b"},
        ReadCase{"DoubleQuotesRemoved", "[s]\nk=\" a \"\n", "s", "k", " a "},
        ReadCase{"SingleQuotesRemoved", "[s]\nk='a'\n", "s", "k", "a"},
        ReadCase{"OnlyOnePairRemoved", "[s]\nk=\"\"a\"\"\n", "s", "k", "\"a\""},
        ReadCase{"MismatchedQuotesKept", "[s]\nk=\"a'\n", "s", "k", "\"a'"},
        ReadCase{"LoneQuoteKept", "[s]\nk=\"\n", "s", "k", "\""},
        ReadCase{"NoteBelongsToValue", "[s]\nk=a ; note\n", "s", "k", "a ; note"},
        ReadCase{"EqualsInValue", "[s]\nk=a=b\n", "s", "k", "a=b"},
        ReadCase{"EmptyValueIsNotMissing", "[s]\nk=\n", "s", "k", ""},
        ReadCase{"SemicolonLineIsAKey", "[s]\n; K=v\n", "s", "; k", "v"},
        ReadCase{"HashLineIsAKey", "[s]\n#K=v\n", "s", "#K", "v"},
        ReadCase{"FirstDuplicateWins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        ReadCase{"FirstSectionHidesLater", "[s]\na=1\n[S]\nb=2\n", "s", "b", kFallback},
        ReadCase{"KeysBeforeHeaderUnnamed", "k=top\n[s]\nk=in\n", "", "k", "top"},
        ReadCase{"UnnamedNotInSection", "k=top\n[s]\n", "s", "k", kFallback},
        ReadCase{"LaterEmptyHeaderHidden", "[s]\n[]\nk=v\n", "", "k", kFallback},
        ReadCase{"KeyStopsAtNextHeader", "[s]\n[t]\nk=v\n", "s", "k", kFallback},
        ReadCase{"TextAfterHeaderIgnored", "[s] x\nk=v\n", "s", "k", "v"},
        ReadCase{"LastBracketCloses", "[a]b]\nk=v\n", "a]b", "k", "v"},
        ReadCase{"UnclosedBracketNoHeader", "[s]\n[t\nk=v\n", "s", "k", "v"},
        ReadCase{"CrLf", "[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
        ReadCase{"CrOnly", "[s]\rk=v\rj=w\r", "s", "j", "w"},
        ReadCase{"MixedEndings", "[s]\r\nk=v\rj=w\nz=y", "s", "z", "y"},
        ReadCase{"CrNotPartOfValue", "[s]\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"LineWithoutEqualsNoKey", "[s]\nk\nk=v\n", "s", "k", "v"},
        ReadCase{"MissingKey", "[s]\nk=v\n", "s", "j", kFallback},
        ReadCase{"MissingSection", "[s]\nk=v\n", "t", "k", kFallback},
        ReadCase{"ChineseKeyAndValue",
                 "[chinese]\n\xE9\x8E\xB4\xE6\x84\xAC\xE5\xA7\x9B=\xE6\x88\x90\xE5\x8A\x9F\n",
                 "chinese", "\xE9\x8E\xB4\xE6\x84\xAC\xE5\xA7\x9B", "\xE6\x88\x90\xE5\x8A\x9F"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Reading: the cut at capacity - 1 characters ---------------------------------------

struct CutCase {
    const char* name;
    std::string value;
    std::size_t capacity;
    std::string expected;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class CutRule : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutRule, KeepsCapacityMinusOneCharacters) {
    const CutCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, "[s]\nk=" + c.value + "\n");
    EXPECT_EQ(ProfileFile::readString(path, "s", "k", "", c.capacity), c.expected);
}

const std::string kHan = "\xE5\x88\xB9";  // 刹, three bytes in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Profile, CutRule,
    ::testing::Values(CutCase{"Under", std::string(258, 'a'), 260, std::string(258, 'a')},
                      CutCase{"Exactly259", std::string(259, 'a'), 260, std::string(259, 'a')},
                      CutCase{"Over", std::string(260, 'b'), 260, std::string(259, 'b')},
                      CutCase{"Long", std::string(300, 'c') + "|end", 260, std::string(259, 'c')},
                      CutCase{"CharactersNotBytes", repeat(kHan, 300), 260, repeat(kHan, 259)},
                      CutCase{"MixedWidth", repeat("a" + kHan, 200), 260,
                              repeat("a" + kHan, 129) + "a"},
                      CutCase{"QuotesRemovedBeforeCut", "\"" + std::string(259, 'd') + "\"", 260,
                              std::string(259, 'd')},
                      CutCase{"SmallBuffer", "abcdefghijkl", 10, "abcdefghi"},
                      CutCase{"BufferOfOne", "abc", 1, ""}, CutCase{"NoBuffer", "abc", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileRead, FallbackIsCutLikeAValue) {
    ScratchDir dir;
    EXPECT_EQ(ProfileFile::readString(dir.file("none.ini"), "s", "k", std::string(300, 'f')),
              std::string(259, 'f'));
}

// --- Reading integers ------------------------------------------------------------------

struct IntCase {
    const char* name;
    std::string value;
    uint32_t expected;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << c.name;
}

class IntRule : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntRule, ParsesAsTheWindowsReaderDoes) {
    const IntCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, "[set]\nv=" + c.value + "\n");
    EXPECT_EQ(ProfileFile::readInt(path, "set", "v", 77), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, IntRule,
    ::testing::Values(
        IntCase{"Decimal", "243", 243}, IntCase{"Hex", "0xF3", 243},
        IntCase{"HexLower", "0xd2", 210}, IntCase{"HexMarks", "0xE5", 229},
        IntCase{"UpperPrefix", "0XF3", 243}, IntCase{"NoOctalPrefix", "0o17", 0},
        IntCase{"NoBinaryPrefix", "0b1", 0}, IntCase{"LeadingZeroIsDecimal", "017", 17},
        IntCase{"LeadingZeroNineIsDecimal", "09", 9}, IntCase{"PrefixAlone", "0x", 0},
        IntCase{"Plus", "+7", 7}, IntCase{"MinusWraps", "-5", 4294967291u},
        IntCase{"MinusHex", "-0x10", 4294967280u}, IntCase{"TrailingJunk", "12abc", 12},
        IntCase{"HexJunk", "0x1g", 1}, IntCase{"LeadingJunk", "abc", 0},
        IntCase{"DecimalStopsAtHexDigit", "9f", 9}, IntCase{"Exponent", "1e3", 1},
        IntCase{"Wraps2To32", "4294967296", 0}, IntCase{"WrapsPlusOne", "4294967297", 1},
        IntCase{"Max", "4294967295", 4294967295u}, IntCase{"QuotedBlanks", "\" 5\"", 5},
        IntCase{"Zero", "0", 0}, IntCase{"TwentyNineCharsCount", std::string(28, '0') + "1", 1},
        IntCase{"ThirtiethCharIgnored", std::string(29, '0') + "1", 0},
        IntCase{"EmptyGivesFallback", "", 77}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileReadInt, MissingGivesFallbackAsUnsigned) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, "[set]\nv=1\n");
    EXPECT_EQ(ProfileFile::readInt(path, "set", "w", -1), 4294967295u);
    EXPECT_EQ(ProfileFile::readInt(path, "other", "v", 3), 3u);
    EXPECT_EQ(ProfileFile::readInt(dir.file("none.ini"), "set", "v", 0), 0u);
}

// --- Writing: byte for byte ------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteRules : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRules, ChangesOnlyTheKeysLine) {
    const WriteCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, c.before);
    ASSERT_TRUE(ProfileFile::writeString(path, c.section, c.key, c.value));
    EXPECT_EQ(readBytes(path).value_or("<gone>"), c.after);
    EXPECT_EQ(ProfileFile::readString(path, c.section, c.key, kFallback, 100000), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, WriteRules,
    ::testing::Values(
        WriteCase{"ReplaceKeepsRest", "; top\r\n[s]\r\n  Key = old ; x\r\n[t]\r\nk=1\r\n", "s",
                  "key", "new", "; top\r\n[s]\r\n  Key = new\r\n[t]\r\nk=1\r\n"},
        WriteCase{"ReplaceLastLineNoEnding", "[s]\nk=1", "s", "k", "22", "[s]\nk=22"},
        WriteCase{"ReplaceQuoted", "[s]\nk=\"a b\"\nj=2\n", "s", "k", "c", "[s]\nk=c\nj=2\n"},
        WriteCase{"ReplaceEmpty", "[s]\nk=\nj=2\n", "s", "k", "v", "[s]\nk=v\nj=2\n"},
        WriteCase{"ReplaceFirstDuplicate", "[s]\nk=1\nk=2\n", "s", "k", "3", "[s]\nk=3\nk=2\n"},
        WriteCase{"ReplaceIgnoringCase", "[Set]\nLang_Sel=0\n", "set", "lang_sel", "1",
                  "[Set]\nLang_Sel=1\n"},
        WriteCase{"ReplaceSemicolonKey", "[s]\n; k=1\n", "s", "; k", "2", "[s]\n; k=2\n"},
        WriteCase{"AddBeforeBlankLines", "[s]\nk=1\n\n[t]\nj=2\n", "s", "n", "v",
                  "[s]\nk=1\nn=v\n\n[t]\nj=2\n"},
        WriteCase{"AddAfterOrdinaryLine", "[s]\nk=1\n; note\n\n", "s", "n", "v",
                  "[s]\nk=1\n; note\nn=v\n\n"},
        WriteCase{"AddToHeaderOnly", "[s]\n[t]\n", "s", "n", "v", "[s]\nn=v\n[t]\n"},
        WriteCase{"AddNoFinalEnding", "[s]\nk=1", "s", "n", "v", "[s]\nk=1\nn=v"},
        WriteCase{"AddToFirstOfDuplicates", "[s]\nk=1\n[s]\nj=2\n", "s", "j", "3",
                  "[s]\nk=1\nj=3\n[s]\nj=2\n"},
        WriteCase{"AddCrLf", "[s]\r\nk=1\r\n", "s", "n", "v", "[s]\r\nk=1\r\nn=v\r\n"},
        WriteCase{"AddCrOnly", "[s]\rk=1\r", "s", "n", "v", "[s]\rk=1\rn=v\r"},
        WriteCase{"NewSection", "[s]\nk=1\n", "set", "lang_sel", "1",
                  "[s]\nk=1\n[set]\nlang_sel=1\n"},
        WriteCase{"NewSectionCrLf", "[s]\r\nk=1\r\n", "set", "k", "1",
                  "[s]\r\nk=1\r\n[set]\r\nk=1\r\n"},
        WriteCase{"NewSectionNoFinalEnding", "[s]\nk=1", "set", "k", "1", "[s]\nk=1\n[set]\nk=1"},
        WriteCase{"EmptyFile", "", "set", "lang_sel", "0", "[set]\nlang_sel=0\n"},
        WriteCase{"BomOnlyFile", "\xEF\xBB\xBF", "set", "k", "1", "\xEF\xBB\xBF[set]\nk=1\n"},
        WriteCase{"BomKept", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "2", "\xEF\xBB\xBF[s]\nk=2\n"},
        WriteCase{"UnnamedSection", "k=1\n[s]\n", "", "j", "2", "k=1\nj=2\n[s]\n"},
        WriteCase{"UnnamedSectionEmpty", "\n[s]\n", "", "j", "2", "j=2\n\n[s]\n"},
        WriteCase{"SectionNameTrimmed", "[s]\n", "  t ", " k ", "v", "[s]\n[t]\nk=v\n"},
        WriteCase{"BlanksKeptByQuotes", "[s]\nk=1\n", "s", "k", " padded ",
                  "[s]\nk=\" padded \"\n"},
        WriteCase{"OuterQuotesKept", "[s]\nk=1\n", "s", "k", "'q'", "[s]\nk=\"'q'\"\n"},
        WriteCase{"NoteTextIsValue", "[s]\nk=1\n", "s", "k", "a ; b", "[s]\nk=a ; b\n"},
        WriteCase{"ChineseValue", "[chinese]\nok=1\n", "chinese", "ok", "\xE6\x88\x90\xE5\x8A\x9F",
                  "[chinese]\nok=\xE6\x88\x90\xE5\x8A\x9F\n"},
        WriteCase{"BareKeyTakenOver", "[set]\nlang_sel\nx=1\n", "set", "lang_sel", "1",
                  "[set]\nlang_sel=1\nx=1\n"},
        WriteCase{"BareKeyBeforeEntryTakenOver", "[set]\n LANG_SEL \nlang_sel=0\n", "set",
                  "lang_sel", "1", "[set]\nlang_sel=1\nlang_sel=0\n"},
        WriteCase{"ForeignLineLeavesUtf8Alone", "[chinese]\n; caf\xE9\nb=\xE5\x88\xB9\nok=1\n",
                  "chinese", "ok", "\xE6\x88\x90",
                  "[chinese]\n; caf\xE9\nb=\xE5\x88\xB9\nok=\xE6\x88\x90\n"},
        WriteCase{"Gb18030LineStaysGb18030", "[c]\nk=\xB3\xC9\xB9\xA6\n", "c", "k",
                  "\xE4\xB8\xAD\xE6\x96\x87", "[c]\nk=\xD6\xD0\xCE\xC4\n"},
        // 刹 is C9 B2 in GB18030, which is also valid UTF-8 and would read back as another
        // character: it goes in as UTF-8.
        WriteCase{"Gb18030LookingLikeUtf8GoesInAsUtf8", "[c]\nk=\xB3\xC9\xB9\xA6\n", "c", "b",
                  "\xE5\x88\xB9", "[c]\nk=\xB3\xC9\xB9\xA6\nb=\xE5\x88\xB9\n"},
        WriteCase{"InvalidLineKeptByteForByte", "[s]\n\xFF\xFE\xB3\n\x81k=1\n", "s", "n", "v",
                  "[s]\n\xFF\xFE\xB3\n\x81k=1\nn=v\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedWrites : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedWrites, FailAndLeaveTheFile) {
    const RefusedCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    const std::string before = "[s]\nk=1\n";
    writeBytes(path, before);
    EXPECT_FALSE(ProfileFile::writeString(path, c.section, c.key, c.value));
    EXPECT_EQ(readBytes(path), before);
}

INSTANTIATE_TEST_SUITE_P(Profile, RefusedWrites,
                         ::testing::Values(RefusedCase{"NewlineInValue", "s", "k", "a\nk2=b"},
                                           RefusedCase{"ReturnInValue", "s", "k", "a\rb"},
                                           RefusedCase{"NewlineInKey", "s", "k\nx", "1"},
                                           RefusedCase{"NewlineInSection", "s\n[t]", "k", "1"},
                                           RefusedCase{"EmptyKey", "s", "  ", "1"},
                                           RefusedCase{"EqualsInKey", "s", "a=b", "1"},
                                           RefusedCase{"KeyLikeHeader", "s", "[t]", "1"},
                                           RefusedCase{"InvalidUtf8Value", "s", "k", "\xFF"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Writing: the file itself ----------------------------------------------------------

struct FileIdentity {
    ino_t inode = 0;
    struct timespec modified {};
    mode_t mode = 0;
};

FileIdentity identityOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return FileIdentity{st.st_ino, st.st_mtim, st.st_mode};
}

TEST(ProfileWrite, SameValueLeavesTheFileUntouched) {
    const std::vector<std::string> files = {"[s]\r\n k = \"v\" \r\n", "[S]\nK=v", "[s]\nk=v\n"};
    for (const std::string& before : files) {
        ScratchDir dir;
        const std::string path = dir.file("t.ini");
        writeBytes(path, before);
        struct timespec old[2] = {{1000, 0}, {1000, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), old, 0);
        const FileIdentity was = identityOf(path);
        EXPECT_TRUE(ProfileFile::writeString(path, "s", "k", "v"));
        const FileIdentity is = identityOf(path);
        EXPECT_EQ(readBytes(path), before);
        EXPECT_EQ(is.inode, was.inode) << before;
        EXPECT_EQ(is.modified.tv_sec, was.modified.tv_sec) << before;
    }
}

TEST(ProfileWrite, CreatesAMissingFile) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    ASSERT_TRUE(ProfileFile::writeString(path, "set", "lang_sel", "1"));
    EXPECT_EQ(readBytes(path), "[set]\nlang_sel=1\n");
}

TEST(ProfileWrite, CreatesAMissingFileInTheUnnamedSection) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    ASSERT_TRUE(ProfileFile::writeString(path, "", "k", "v"));
    EXPECT_EQ(readBytes(path), "k=v\n");
}

TEST(ProfileWrite, FailsInAMissingFolder) {
    ScratchDir dir;
    EXPECT_FALSE(ProfileFile::writeString(dir.file("no/such/t.ini"), "s", "k", "v"));
}

TEST(ProfileWrite, FailsOnAFolder) {
    ScratchDir dir;
    EXPECT_FALSE(ProfileFile::writeString(dir.path(), "s", "k", "v"));
    EXPECT_EQ(ProfileFile::readString(dir.path(), "s", "k", kFallback), kFallback);
}

TEST(ProfileWrite, ReadOnlyFileFailsAndStays) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    const std::string before = "[set]\nlang_sel=0\n";
    writeBytes(path, before);
    ::chmod(path.c_str(), 0444);
    EXPECT_FALSE(ProfileFile::writeString(path, "set", "lang_sel", "1"));
    EXPECT_FALSE(ProfileFile::writeString(path, "set", "other", "1"));
    // Even the value already there: the file cannot be written.
    EXPECT_FALSE(ProfileFile::writeString(path, "set", "lang_sel", "0"));
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(identityOf(path).mode & 07777, 0444u);
    EXPECT_EQ(ProfileFile::readInt(path, "set", "lang_sel", 5), 0u);
}

TEST(ProfileWrite, KeepsPermissions) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, "[s]\nk=1\n");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(ProfileFile::writeString(path, "s", "k", "2"));
    EXPECT_EQ(identityOf(path).mode & 07777, 0640u);
}

// A disk that fills up during the write: the file keeps every old byte, and no part of
// the new contents is left beside it.
TEST(ProfileWrite, WriteFailingPartwayKeepsTheFile) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    const std::string before = "[set]\nlang_sel=0\n";
    writeBytes(path, before);
    {
        testing_support::FileSizeLimit limit(before.size());
        EXPECT_FALSE(ProfileFile::writeString(path, "set", "lang_sel", "1234"));
        EXPECT_FALSE(
            ProfileFile::writeString(dir.file("new.ini"), "set", "lang_sel", repeat("x", 40)));
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(dir.names(), std::set<std::string>{"t.ini"});
}

TEST(ProfileWrite, WritesThroughASymbolicLink) {
    ScratchDir dir;
    const std::string target = dir.file("real.ini");
    const std::string link = dir.file("language.ini");
    writeBytes(target, "[s]\nk=1\n");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(ProfileFile::writeString(link, "s", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(target), "[s]\nk=2\n");
}

TEST(ProfileWrite, LeavesNoTemporaryFiles) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, "[s]\nk=1\n");
    ASSERT_TRUE(ProfileFile::writeString(path, "s", "k", "2"));
    ASSERT_TRUE(ProfileFile::writeString(path, "t", "k", "2"));
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++count;
    }
    EXPECT_EQ(count, 1u);
}

TEST(ProfileRead, MissingAndEmptyFilesGiveTheFallback) {
    ScratchDir dir;
    EXPECT_EQ(ProfileFile::readString(dir.file("none.ini"), "s", "k", kFallback), kFallback);
    const std::string empty = dir.file("empty.ini");
    writeBytes(empty, "");
    EXPECT_EQ(ProfileFile::readString(empty, "s", "k", kFallback), kFallback);
    EXPECT_EQ(ProfileFile::readString(empty, "", "k", kFallback), kFallback);
    EXPECT_EQ(ProfileFile::readInt(empty, "s", "k", 9), 9u);
}

}  // namespace
