#include "i18n/ui_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "i18n/profile_file.h"
#include "i18n/profile_test_support.h"

namespace {

using i18n_test::ScratchDir;
using i18n_test::writeBytes;

// Restores the language globals that a test changes.
class UiTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_savedPath = i18n::g_languageFilePath;
        m_savedFlag = i18n::g_chineseSelected;
        i18n::g_languageFilePath = m_dir.file("language.ini");
    }
    void TearDown() override {
        i18n::g_languageFilePath = m_savedPath;
        i18n::g_chineseSelected = m_savedFlag;
    }
    void writeFile(const std::string& text) { writeBytes(i18n::g_languageFilePath, text); }

    ScratchDir m_dir;

  private:
    std::string m_savedPath;
    uint8_t m_savedFlag = 0;
};

const std::string kFile =
    "[chinese]\nreading=\xE6\xAD\xA3\xE5\x9C\xA8\xE8\xAF\xBB\xE5\x8F\x96\n"
    "\xE9\x8E\xB4\xE6\x84\xAC\xE5\xA7\x9B=\xE6\x88\x90\xE5\x8A\x9F\n"
    "[english]\nReading=Reading...\n[set]\nlang_sel=1\n";

struct SectionCase {
    const char* name;
    uint8_t flag;
    const char* section;
    std::string reading;
};

void PrintTo(const SectionCase& c, std::ostream* os) {
    *os << c.name;
}

class LanguageSections : public UiTextTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(LanguageSections, OnlyOneSelectsChinese) {
    const SectionCase& c = GetParam();
    writeFile(kFile);
    i18n::g_chineseSelected = c.flag;
    EXPECT_STREQ(i18n::languageSection(), c.section);
    EXPECT_EQ(i18n::LookupUiText("READING"), c.reading);
}

INSTANTIATE_TEST_SUITE_P(UiText, LanguageSections,
                         ::testing::Values(SectionCase{"Zero", 0, "english", "Reading..."},
                                           SectionCase{
                                               "One", 1, "chinese",
                                               "\xE6\xAD\xA3\xE5\x9C\xA8\xE8\xAF\xBB\xE5\x8F\x96"},
                                           SectionCase{"Two", 2, "english", "Reading..."},
                                           SectionCase{"High", 255, "english", "Reading..."}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UiTextTest, ChineseSuccessKeyOnlyInChinese) {
    writeFile(kFile);
    i18n::g_chineseSelected = 1;
    EXPECT_EQ(i18n::LookupUiText(i18n::kTextWriteDoneChinese), "\xE6\x88\x90\xE5\x8A\x9F");
    i18n::g_chineseSelected = 0;
    EXPECT_EQ(i18n::LookupUiText(i18n::kTextWriteDoneChinese), "");
}

TEST_F(UiTextTest, MissingFileOrKeyGivesEmptyText) {
    i18n::g_chineseSelected = 0;
    EXPECT_EQ(i18n::LookupUiText("reading"), "");
    writeFile(kFile);
    EXPECT_EQ(i18n::LookupUiText("linkNoEstablished"), "");
}

TEST_F(UiTextTest, ReadsTheFileAnewEveryTime) {
    i18n::g_chineseSelected = 0;
    writeFile("[english]\nokey=first\n");
    EXPECT_EQ(i18n::LookupUiText("okey"), "first");
    writeFile("[english]\nokey=second\n");
    EXPECT_EQ(i18n::LookupUiText("okey"), "second");
    i18n::g_languageFilePath = m_dir.file("elsewhere.ini");
    EXPECT_EQ(i18n::LookupUiText("okey"), "");
}

TEST_F(UiTextTest, TextsAreCutAt259Characters) {
    i18n::g_chineseSelected = 0;
    writeFile("[english]\nlong=" + std::string(400, 'x') + "\n");
    EXPECT_EQ(i18n::LookupUiText("long"), std::string(259, 'x'));
}

struct ChoiceCase {
    const char* name;
    std::string file;
    uint8_t expected;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class LanguageChoice : public UiTextTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(LanguageChoice, AnythingButOneIsEnglish) {
    const ChoiceCase& c = GetParam();
    if (!c.file.empty())
        writeFile(c.file);
    EXPECT_EQ(i18n::readLanguageChoice(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(UiText, LanguageChoice,
                         ::testing::Values(ChoiceCase{"NoFile", "", 0},
                                           ChoiceCase{"NoKey", "[set]\nmin_1004=1\n", 0},
                                           ChoiceCase{"Zero", "[set]\nlang_sel=0\n", 0},
                                           ChoiceCase{"One", "[set]\nlang_sel=1\n", 1},
                                           ChoiceCase{"HexOne", "[SET]\nLANG_SEL=0x1\n", 1},
                                           ChoiceCase{"Two", "[set]\nlang_sel=2\n", 0},
                                           ChoiceCase{"LowByteOne", "[set]\nlang_sel=257\n", 1},
                                           ChoiceCase{"LowByteZero", "[set]\nlang_sel=256\n", 0},
                                           ChoiceCase{"Junk", "[set]\nlang_sel=yes\n", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UiTextTest, WrittenChoiceReadsBack) {
    writeFile("[chinese]\nk=v\n\n[set]\nlang_sel=0\nmin_1004=1\n");
    ASSERT_TRUE(i18n::writeLanguageChoice(i18n::kLanguageChinese));
    EXPECT_EQ(i18n::readLanguageChoice(), i18n::kLanguageChinese);
    EXPECT_EQ(i18n_test::readBytes(i18n::g_languageFilePath),
              "[chinese]\nk=v\n\n[set]\nlang_sel=1\nmin_1004=1\n");
    ASSERT_TRUE(i18n::writeLanguageChoice(i18n::kLanguageEnglish));
    EXPECT_EQ(i18n::readLanguageChoice(), i18n::kLanguageEnglish);
}

struct PathCase {
    const char* name;
    std::string directory;
    std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class LanguageFilePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(LanguageFilePath, IsTheWorkingDirectoryAndTheName) {
    EXPECT_EQ(i18n::languageFilePathFor(GetParam().directory), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    UiText, LanguageFilePath,
    ::testing::Values(PathCase{"Plain", "/home/pilot/tessaro", "/home/pilot/tessaro/language.ini"},
                      PathCase{"TrailingSlash", "/srv/run/", "/srv/run/language.ini"},
                      PathCase{"Root", "/", "/language.ini"},
                      PathCase{"Empty", "", "language.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
