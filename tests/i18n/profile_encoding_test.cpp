#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "i18n/profile_file.h"
#include "i18n/profile_test_support.h"

namespace {

using i18n::ProfileFile;
using i18n_test::encodeAs;
using i18n_test::readBytes;
using i18n_test::ScratchDir;
using i18n_test::writeBytes;

// 成功, 刹车力度, 中文 and a character outside the BMP (𠀀), in UTF-8.
const std::string kSuccess = "\xE6\x88\x90\xE5\x8A\x9F";
const std::string kBrake = "\xE5\x88\xB9\xE8\xBD\xA6\xE5\x8A\x9B\xE5\xBA\xA6";
const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kAstral = "\xF0\xA0\x80\x80";
// The key of the Chinese success text: 鎴愬姛.
const std::string kSuccessKey = "\xE9\x8E\xB4\xE6\x84\xAC\xE5\xA7\x9B";

struct EncodingCase {
    const char* name;
    const char* charset;  // iconv name of the body's encoding
    std::string bom;
    const char* lineEnd;
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class Encodings : public ::testing::TestWithParam<EncodingCase> {
  protected:
    std::string file(const std::string& utf8) const {
        return GetParam().bom + encodeAs(utf8, GetParam().charset);
    }
    std::string text(const std::string& body) const {
        std::string out;
        for (char c : body) {
            if (c == '\n') {
                out += GetParam().lineEnd;
            } else {
                out += c;
            }
        }
        return out;
    }
};

TEST_P(Encodings, ReadChineseTexts) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, file(text("[" + kChinese + "]\nbrakeLab=" + kBrake + "\n[chinese]\n" +
                               kSuccessKey + "=" + kSuccess + "\nwide=" + kAstral + "\n")));
    EXPECT_EQ(ProfileFile::readString(path, "chinese", kSuccessKey, ""), kSuccess);
    EXPECT_EQ(ProfileFile::readString(path, kChinese, "BRAKELAB", ""), kBrake);
    EXPECT_EQ(ProfileFile::readString(path, "chinese", "wide", ""), kAstral);
}

TEST_P(Encodings, CutCountsCharacters) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    std::string longValue;
    for (int i = 0; i < 150; ++i) longValue += kSuccess;  // 300 characters
    writeBytes(path, file(text("[s]\nk=" + longValue + "\n")));
    EXPECT_EQ(ProfileFile::readString(path, "s", "k", ""), longValue.substr(0, 259 * 3));
}

TEST_P(Encodings, ReadIntegers) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, file(text("[set]\nmax_F1=0xF3\nlang_sel=1\n")));
    EXPECT_EQ(ProfileFile::readInt(path, "set", "max_F1", 0), 243u);
    EXPECT_EQ(ProfileFile::readInt(path, "SET", "LANG_SEL", 0), 1u);
}

TEST_P(Encodings, WriteKeepsEncodingBomAndLineEnds) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    const std::string before =
        "; " + kChinese + "\n[chinese]\nbrakeLab=" + kBrake + "\nokey=1\n\n[set]\nlang_sel=0\n";
    writeBytes(path, file(text(before)));

    ASSERT_TRUE(ProfileFile::writeString(path, "chinese", "okey", kSuccess));
    std::string expected = "; " + kChinese + "\n[chinese]\nbrakeLab=" + kBrake +
                           "\nokey=" + kSuccess + "\n\n[set]\nlang_sel=0\n";
    EXPECT_EQ(readBytes(path), file(text(expected)));

    ASSERT_TRUE(ProfileFile::writeString(path, "chinese", kSuccessKey, kSuccess));
    expected = "; " + kChinese + "\n[chinese]\nbrakeLab=" + kBrake + "\nokey=" + kSuccess + "\n" +
               kSuccessKey + "=" + kSuccess + "\n\n[set]\nlang_sel=0\n";
    EXPECT_EQ(readBytes(path), file(text(expected)));

    ASSERT_TRUE(ProfileFile::writeString(path, kChinese, "k", kAstral));
    expected += "[" + kChinese + "]\nk=" + kAstral + "\n";
    EXPECT_EQ(readBytes(path), file(text(expected)));
    EXPECT_EQ(ProfileFile::readString(path, kChinese, "k", ""), kAstral);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, Encodings,
    ::testing::Values(EncodingCase{"Utf8Lf", "UTF-8", "", "\n"},
                      EncodingCase{"Utf8CrLf", "UTF-8", "", "\r\n"},
                      EncodingCase{"Utf8BomCrLf", "UTF-8", "\xEF\xBB\xBF", "\r\n"},
                      EncodingCase{"Utf16LeCrLf", "UTF-16LE", std::string("\xFF\xFE", 2), "\r\n"},
                      EncodingCase{"Utf16LeLf", "UTF-16LE", std::string("\xFF\xFE", 2), "\n"},
                      EncodingCase{"Utf16BeCrLf", "UTF-16BE", std::string("\xFE\xFF", 2), "\r\n"},
                      EncodingCase{"Utf16BeCr", "UTF-16BE", std::string("\xFE\xFF", 2), "\r"},
                      EncodingCase{"Gb18030CrLf", "GB18030", "", "\r\n"},
                      EncodingCase{"Gb18030Lf", "GB18030", "", "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The legacy code page, written out by hand so that the test does not lean on iconv alone.
TEST(ProfileGb18030, ReadsAndWritesTheCodePage) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    // [chinese] / okey=成功 / brakeLab=刹车
    writeBytes(path, "[chinese]\r\nokey=\xB3\xC9\xB9\xA6\r\nbrakeLab=\xC9\xB2\xB3\xB5\r\n");
    EXPECT_EQ(ProfileFile::readString(path, "chinese", "okey", ""), kSuccess);
    ASSERT_TRUE(ProfileFile::writeString(path, "chinese", "brakeLab", kChinese));
    EXPECT_EQ(readBytes(path),
              "[chinese]\r\nokey=\xB3\xC9\xB9\xA6\r\nbrakeLab=\xD6\xD0\xCE\xC4\r\n");
}

TEST(ProfileUtf16, OddTrailingByteDoesNotHideTheFile) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    writeBytes(path, std::string("\xFF\xFE", 2) + encodeAs("[s]\r\nk=v\r\n", "UTF-16LE") + "x");
    EXPECT_EQ(ProfileFile::readString(path, "s", "k", ""), "v");
    ASSERT_TRUE(ProfileFile::writeString(path, "s", "k", "w"));
    EXPECT_EQ(readBytes(path),
              std::string("\xFF\xFE", 2) + encodeAs("[s]\r\nk=w\r\n", "UTF-16LE") + "x");
}

// Lines added to a UTF-16 file of odd length go before the lone last byte, on the grid.
TEST(ProfileUtf16, AddedLinesKeepToTheUnitGrid) {
    ScratchDir dir;
    const std::string path = dir.file("t.ini");
    const std::string bom("\xFF\xFE", 2);
    writeBytes(path, bom + encodeAs("[s]", "UTF-16LE") + "x");
    ASSERT_TRUE(ProfileFile::writeString(path, "set", "k", "v"));
    EXPECT_EQ(readBytes(path), bom + encodeAs("[s]\n[set]\nk=v", "UTF-16LE") + "x");
    EXPECT_EQ(ProfileFile::readString(path, "set", "k", ""), "v");
    ASSERT_TRUE(ProfileFile::writeString(path, "s", "j", "w"));
    EXPECT_EQ(ProfileFile::readString(path, "s", "j", ""), "w");
}

// Every key of every section of a language file, in order, read from its UTF-8 text.
std::vector<std::pair<std::string, std::string>> keysOf(const std::string& utf8) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::string section;
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t end = utf8.find('\n', begin);
        if (end == std::string::npos)
            end = utf8.size();
        std::string line = utf8.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[' && line.find(']') != std::string::npos) {
            section = line.substr(1, line.find(']') - 1);
        } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
            keys.emplace_back(section, line.substr(0, equals));
        }
        begin = end + 1;
    }
    return keys;
}

// A comment line in Latin-1 added by hand to the shipped file spoils no other text, and a
// write afterwards changes only its own line.
TEST(ProfileLineEncoding, ForeignLineInTheShippedFileLeavesEveryTextAlone) {
    const std::string shipped =
        readBytes(std::string(TESSARO_RESOURCES_DIR) + "/language.ini").value_or("");
    ASSERT_FALSE(shipped.empty());
    const auto keys = keysOf(shipped);
    ASSERT_GT(keys.size(), 100u);

    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, shipped);
    std::map<std::pair<std::string, std::string>, std::string> before;
    for (const auto& key : keys)
        before.emplace(key, ProfileFile::readString(path, key.first, key.second, "", 100000));
    ASSERT_EQ(before.at({"chinese", "okey"}).empty(), false);

    const std::size_t chinese = shipped.find("[chinese]");
    ASSERT_NE(chinese, std::string::npos);
    const std::string comment = "; r\xE9glage fait \xE0 la main\n";
    const std::string edited = shipped.substr(0, chinese) + comment + shipped.substr(chinese);
    writeBytes(path, edited);
    for (const auto& key : keys) {
        EXPECT_EQ(ProfileFile::readString(path, key.first, key.second, "", 100000), before.at(key))
            << "[" << key.first << "] " << key.second;
    }

    ASSERT_TRUE(ProfileFile::writeString(path, "chinese", "okey", kChinese));
    const std::string okeyLine = "okey=" + before.at({"chinese", "okey"});
    std::string expected = edited;
    const std::size_t at = expected.find(okeyLine, chinese);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, okeyLine.size(), "okey=" + kChinese);
    EXPECT_EQ(readBytes(path), expected);
}

}  // namespace
