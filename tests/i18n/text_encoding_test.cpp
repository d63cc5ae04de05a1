#include "i18n/text_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace {

using i18n::TextEncoding;

// 中文 and 𠀀 (U+20000, outside the BMP) in UTF-8, and the replacement character.
const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kAstral = "\xF0\xA0\x80\x80";
const std::string kReplacement = "\xEF\xBF\xBD";
// The same two texts in GB18030 (two bytes a character, four outside the BMP).
const std::string kChineseGb = "\xD6\xD0\xCE\xC4";
const std::string kAstralGb = "\x95\x32\x82\x36";

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

const char* nameOf(TextEncoding e) {
    switch (e) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Utf16Le:
            return "UTF-16LE";
        case TextEncoding::Utf16Be:
            return "UTF-16BE";
        case TextEncoding::Gb18030:
            return "GB18030";
    }
    return "?";
}

// --- Detection: the BOM decides, else whether the bytes are UTF-8 ----------------------

struct DetectCase {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    std::size_t bomLength;
};

void PrintTo(const DetectCase& c, std::ostream* os) {
    *os << c.name;
}

class Detect : public ::testing::TestWithParam<DetectCase> {};

TEST_P(Detect, FindsEncodingAndBom) {
    const auto detected = i18n::detectEncoding(GetParam().bytes);
    EXPECT_STREQ(nameOf(detected.encoding), nameOf(GetParam().encoding));
    EXPECT_EQ(detected.bomLength, GetParam().bomLength);
}

INSTANTIATE_TEST_SUITE_P(
    TextEncoding, Detect,
    ::testing::Values(
        DetectCase{"empty", "", TextEncoding::Utf8, 0},
        DetectCase{"ascii", "[set]\nk=v\n", TextEncoding::Utf8, 0},
        DetectCase{"utf8_without_bom", "k=" + kChinese, TextEncoding::Utf8, 0},
        DetectCase{"utf8_bom", "\xEF\xBB\xBFk=v", TextEncoding::Utf8, 3},
        DetectCase{"utf8_bom_before_gb_bytes", "\xEF\xBB\xBF" + kChineseGb, TextEncoding::Utf8, 3},
        DetectCase{"utf16le_bom", bytes({0xFF, 0xFE, 'k', 0}), TextEncoding::Utf16Le, 2},
        DetectCase{"utf16be_bom", bytes({0xFE, 0xFF, 0, 'k'}), TextEncoding::Utf16Be, 2},
        DetectCase{"utf16le_bom_alone", bytes({0xFF, 0xFE}), TextEncoding::Utf16Le, 2},
        DetectCase{"half_a_bom_is_gb", bytes({0xFF}), TextEncoding::Gb18030, 0},
        DetectCase{"gb_bytes", "k=" + kChineseGb, TextEncoding::Gb18030, 0},
        DetectCase{"overlong_utf8_is_gb", bytes({0xC0, 0x80}), TextEncoding::Gb18030, 0},
        DetectCase{"utf8_cut_at_the_end_is_gb", kChinese.substr(0, 4), TextEncoding::Gb18030, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Decoding: never fails, U+FFFD for what does not decode -----------------------------

struct DecodeCase {
    const char* name;
    TextEncoding encoding;
    std::string bytes;
    std::string utf8;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, GivesUtf8) {
    EXPECT_EQ(i18n::decodeText(GetParam().bytes, GetParam().encoding), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    TextEncoding, Decode,
    ::testing::Values(
        DecodeCase{"utf8_as_it_is", TextEncoding::Utf8, "a" + kChinese, "a" + kChinese},
        DecodeCase{"utf8_bad_bytes_kept", TextEncoding::Utf8, bytes({'a', 0xFF}),
                   bytes({'a', 0xFF})},
        DecodeCase{"utf16le_text", TextEncoding::Utf16Le, bytes({'k', 0, '=', 0, 0x2D, 0x4E}),
                   "k=\xE4\xB8\xAD"},
        DecodeCase{"utf16be_text", TextEncoding::Utf16Be, bytes({0, 'k', 0, '=', 0x4E, 0x2D}),
                   "k=\xE4\xB8\xAD"},
        DecodeCase{"utf16le_surrogate_pair", TextEncoding::Utf16Le, bytes({0x40, 0xD8, 0x00, 0xDC}),
                   kAstral},
        DecodeCase{"utf16be_surrogate_pair", TextEncoding::Utf16Be, bytes({0xD8, 0x40, 0xDC, 0x00}),
                   kAstral},
        DecodeCase{"utf16_lone_high_surrogate", TextEncoding::Utf16Le, bytes({0x40, 0xD8, 'a', 0}),
                   kReplacement + "a"},
        DecodeCase{"utf16_lone_high_surrogate_last", TextEncoding::Utf16Le, bytes({0x40, 0xD8}),
                   kReplacement},
        DecodeCase{"utf16_lone_low_surrogate", TextEncoding::Utf16Be, bytes({0xDC, 0x00, 0, 'a'}),
                   kReplacement + "a"},
        DecodeCase{"utf16_odd_last_byte_dropped", TextEncoding::Utf16Le, bytes({'a', 0, 'b'}), "a"},
        DecodeCase{"gb_text", TextEncoding::Gb18030, "k=" + kChineseGb, "k=" + kChinese},
        DecodeCase{"gb_four_byte_character", TextEncoding::Gb18030, kAstralGb, kAstral},
        DecodeCase{"gb_bad_byte_replaced", TextEncoding::Gb18030, bytes({'a', 0xFF, 'b'}),
                   "a" + kReplacement + "b"},
        DecodeCase{"gb_character_cut_at_the_end", TextEncoding::Gb18030,
                   "a" + kChineseGb.substr(0, 1), "a" + kReplacement},
        DecodeCase{"gb_empty", TextEncoding::Gb18030, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Encoding: invalid UTF-8 is refused in every encoding --------------------------------

struct EncodeCase {
    const char* name;
    TextEncoding encoding;
    std::string utf8;
    std::optional<std::string> bytes;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Encode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, GivesTheEncodingsBytes) {
    EXPECT_EQ(i18n::encodeText(GetParam().utf8, GetParam().encoding), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    TextEncoding, Encode,
    ::testing::Values(
        EncodeCase{"utf8", TextEncoding::Utf8, "k=" + kChinese, "k=" + kChinese},
        EncodeCase{"utf16le", TextEncoding::Utf16Le, "k\xE4\xB8\xAD", bytes({'k', 0, 0x2D, 0x4E})},
        EncodeCase{"utf16be", TextEncoding::Utf16Be, "k\xE4\xB8\xAD", bytes({0, 'k', 0x4E, 0x2D})},
        EncodeCase{"utf16le_astral_as_a_pair", TextEncoding::Utf16Le, kAstral,
                   bytes({0x40, 0xD8, 0x00, 0xDC})},
        EncodeCase{"utf16be_astral_as_a_pair", TextEncoding::Utf16Be, kAstral,
                   bytes({0xD8, 0x40, 0xDC, 0x00})},
        EncodeCase{"gb", TextEncoding::Gb18030, "k=" + kChinese, "k=" + kChineseGb},
        EncodeCase{"gb_astral", TextEncoding::Gb18030, kAstral, kAstralGb},
        EncodeCase{"empty", TextEncoding::Utf16Le, "", ""},
        EncodeCase{"bad_utf8_refused_utf8", TextEncoding::Utf8, bytes({'a', 0xFF}), std::nullopt},
        EncodeCase{"bad_utf8_refused_utf16", TextEncoding::Utf16Be, bytes({0xED, 0xA0, 0x80}),
                   std::nullopt},
        EncodeCase{"bad_utf8_refused_gb", TextEncoding::Gb18030, kChineseGb, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// --- UTF-8 validity: what nextUtf8 accepts ----------------------------------------------

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool valid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, AcceptsOnlyWellFormedText) {
    EXPECT_EQ(i18n::isValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    TextEncoding, Utf8Validity,
    ::testing::Values(Utf8Case{"empty", "", true}, Utf8Case{"ascii", "k=v", true},
                      Utf8Case{"three_byte", kChinese, true}, Utf8Case{"four_byte", kAstral, true},
                      Utf8Case{"largest", bytes({0xF4, 0x8F, 0xBF, 0xBF}), true},
                      Utf8Case{"above_10ffff", bytes({0xF4, 0x90, 0x80, 0x80}), false},
                      Utf8Case{"overlong_two", bytes({0xC1, 0xBF}), false},
                      Utf8Case{"overlong_three", bytes({0xE0, 0x9F, 0xBF}), false},
                      Utf8Case{"overlong_four", bytes({0xF0, 0x8F, 0xBF, 0xBF}), false},
                      Utf8Case{"surrogate", bytes({0xED, 0xA0, 0x80}), false},
                      Utf8Case{"stray_continuation", bytes({'a', 0x80}), false},
                      Utf8Case{"lead_without_continuation", bytes({0xE4, 'a', 'b'}), false},
                      Utf8Case{"cut_at_the_end", kChinese.substr(0, 5), false},
                      Utf8Case{"five_byte_lead", bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The cut counts code points, never splitting one ------------------------------------

struct CutCase {
    const char* name;
    std::string text;
    std::size_t count;
    std::string kept;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class Cut : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cut, KeepsWholeCharacters) {
    EXPECT_EQ(i18n::cutToCharacters(GetParam().text, GetParam().count), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    TextEncoding, Cut,
    ::testing::Values(CutCase{"ascii", "abcdef", 3, "abc"}, CutCase{"zero", "abc", 0, ""},
                      CutCase{"shorter_than_count", "ab", 5, "ab"},
                      CutCase{"exactly_count", "abc", 3, "abc"},
                      CutCase{"three_byte_characters", kChinese + "a", 1, kChinese.substr(0, 3)},
                      CutCase{"four_byte_character", "a" + kAstral + "b", 2, "a" + kAstral},
                      CutCase{"empty", "", 3, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
