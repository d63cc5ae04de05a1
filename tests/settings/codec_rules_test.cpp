// The single-value codings and the throttle and governor rules, one table per rule.

#include "settings/codec_rules.h"

#include <gtest/gtest.h>

#include <cstring>

#include "settings/families.h"

namespace settings {
namespace {

struct NumberTextCase {
    const char* text;
    int32_t value;
};

TEST(CodecRules, LeadingNumberReadsTheIntegerAtTheStart) {
    const NumberTextCase cases[] = {
        {"1500", 1500},
        {"  1500", 1500},
        {"-7x", -7},
        {"+12", 12},
        {"15%", 15},
        {"", 0},
        {"abc", 0},
        {"12 34", 12},
        {"- 5", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const NumberTextCase& c : cases) {
        EXPECT_EQ(leadingNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

struct SelectionCase {
    Coding coding;
    int selection;
    uint8_t byte;
};

TEST(CodecRules, ListCodingsEncode) {
    const SelectionCase cases[] = {
        {Coding::Index, 0, 0x00},        {Coding::Index, 7, 0x07},
        {Coding::IndexPlusOne, 0, 0x01}, {Coding::IndexPlusOne, 4, 0x05},
        {Coding::Doubled, 0, 0x01},      {Coding::Doubled, 1, 0x02},
        {Coding::Doubled, 3, 0x06},      {Coding::Odd, 0, 0x01},
        {Coding::Odd, 1, 0x03},          {Coding::Odd, 4, 0x09},
    };
    for (const SelectionCase& c : cases) {
        EXPECT_EQ(encodeSelection(c.coding, c.selection), c.byte)
            << static_cast<int>(c.coding) << " sel " << c.selection;
    }
}

TEST(CodecRules, ListCodingsDecode) {
    const SelectionCase cases[] = {
        {Coding::Index, 3, 0x03},         {Coding::IndexPlusOne, 0, 0x01},
        {Coding::IndexPlusOne, -1, 0x00}, {Coding::Doubled, 0, 0x00},
        {Coding::Doubled, 0, 0x01},       {Coding::Doubled, 1, 0x02},
        {Coding::Doubled, 1, 0x03},       {Coding::Doubled, 3, 0x06},
        {Coding::Odd, 2, 0x04},           {Coding::Odd, 1, 0x03},
    };
    for (const SelectionCase& c : cases) {
        EXPECT_EQ(decodeSelection(c.coding, c.byte), c.selection)
            << static_cast<int>(c.coding) << " byte " << int{c.byte};
    }
}

struct NumberCase {
    Coding coding;
    int32_t value;
    uint8_t byte;
};

TEST(CodecRules, EditCodingsRoundTrip) {
    const NumberCase cases[] = {
        {Coding::Step4, 1004, 0x00},         {Coding::Step4, 1100, 0x18},
        {Coding::Step4, 1500, 0x7C},         {Coding::Step4, 1900, 0xE0},
        {Coding::Step4, 2000, 0xF9},         {Coding::Step4From1000, 1000, 0x00},
        {Coding::Step4From1000, 1100, 0x19}, {Coding::Step4From1000, 1912, 0xE4},
        {Coding::Step4From1000, 2020, 0xFF}, {Coding::ValueMinusOne, 20, 0x13},
        {Coding::ValueMinusOne, 5, 0x04},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(encodeNumber(c.coding, c.value), c.byte) << c.value;
        EXPECT_EQ(decodeNumber(c.coding, c.byte), c.value) << int{c.byte};
    }
}

TEST(CodecRules, HighEndPointSpinStopsAtTheLargestValueItsByteCarries) {
    const uint8_t top = encodeNumber(Coding::Step4From1000, kHighEndPointSpinHigh);
    EXPECT_EQ(decodeNumber(Coding::Step4From1000, top), kHighEndPointSpinHigh);
    const uint8_t beyond = encodeNumber(Coding::Step4From1000, kHighEndPointSpinHigh + 4);
    EXPECT_NE(decodeNumber(Coding::Step4From1000, beyond), kHighEndPointSpinHigh + 4);
}

struct MinimumCase {
    int32_t value;
    uint8_t byte;
    uint8_t mark;
};

TEST(CodecRules, MinimumThrottleEncode) {
    const MinimumCase cases[] = {
        {1004, 0x00, 1}, {1008, 0x01, 0}, {1000, 0x00, 0},  // 1000: not 0xFF (2024)
        {1002, 0x00, 0}, {1100, 0x18, 0}, {1200, 0x31, 0},
    };
    for (const MinimumCase& c : cases) {
        const MinimumThrottleCode code = encodeMinimumThrottle(c.value);
        EXPECT_EQ(code.byte, c.byte) << c.value;
        EXPECT_EQ(code.minIs1004, c.mark) << c.value;
    }
}

struct MinimumDecodeCase {
    uint8_t byte;
    uint8_t mark;
    int32_t shown;
};

TEST(CodecRules, MinimumThrottleDecode) {
    const MinimumDecodeCase cases[] = {
        {0x00, 1, 1004}, {0x00, 0, 1000}, {0x00, 2, 1000},
        {0x01, 0, 1008}, {0x01, 1, 1008}, {0x18, 0, 1100},
    };
    for (const MinimumDecodeCase& c : cases) {
        EXPECT_EQ(decodeMinimumThrottle(c.byte, c.mark), c.shown)
            << int{c.byte} << " mark " << int{c.mark};
    }
}

struct CarMaxCase {
    int32_t value;
    uint8_t major;
    uint8_t byte;
    int32_t readBack;
};

TEST(CodecRules, CarMaximumThrottleAvoidsCommandCodesUnderMajor2) {
    const CarMaxCase cases[] = {
        {1840, 2, 208, 1840}, {1904, 2, 224, 1900}, {1908, 2, 224, 1900}, {1912, 2, 224, 1900},
        {1916, 2, 224, 1900}, {1972, 2, 241, 1968}, {1900, 2, 224, 1900}, {2000, 2, 249, 2000},
        {1840, 1, 209, 1840}, {1904, 1, 225, 1904}, {1972, 3, 242, 1972}, {1836, 2, 208, 1840},
    };
    for (const CarMaxCase& c : cases) {
        const uint8_t byte = encodeCarMaximumThrottle(c.value, c.major);
        EXPECT_EQ(byte, c.byte) << c.value << " major " << int{c.major};
        EXPECT_EQ(decodeCarMaximumThrottle(byte), c.readBack) << c.value;
    }
}

struct WaterMaxCase {
    int32_t value;
    bool build229;
    uint8_t byte;
    const char* mark;  // null: nothing stored
};

TEST(CodecRules, WaterMaximumThrottleEncode) {
    const WaterMaxCase cases[] = {
        {1972, true, 0xF1, "0xF3"},   {1840, true, 0xD0, "0xD2"}, {1904, true, 0xE0, "0xE2"},
        {1908, true, 0xE0, "0xE3"},   {1912, true, 0xE0, "0xE4"}, {1916, true, 0xE0, "0xE5"},
        {2000, true, 0xF9, "0"},      {1900, true, 0xE0, "0"},    {1972, false, 0xF2, nullptr},
        {1840, false, 0xD1, nullptr},
    };
    for (const WaterMaxCase& c : cases) {
        const WaterMaximumCode code = encodeWaterMaximumThrottle(c.value, c.build229);
        EXPECT_EQ(code.byte, c.byte) << c.value;
        if (c.mark == nullptr) {
            EXPECT_EQ(code.mark, nullptr) << c.value;
        } else {
            ASSERT_NE(code.mark, nullptr) << c.value;
            EXPECT_STREQ(code.mark, c.mark) << c.value;
        }
    }
}

struct WaterMaxDecodeCase {
    uint8_t byte;
    bool build229;
    uint8_t code;
    int32_t shown;
};

TEST(CodecRules, WaterMaximumThrottleDecode) {
    const WaterMaxDecodeCase cases[] = {
        {0xF1, true, 0xF3, 1972}, {0xF1, true, 0x00, 1968}, {0xF1, false, 0xF3, 1968},
        {0xD0, true, 0xD2, 1840}, {0xE0, true, 0xE2, 1904}, {0xE0, true, 0xE5, 1916},
        {0xE0, true, 0xF3, 1900}, {0xF9, true, 0xF3, 2000},
    };
    for (const WaterMaxDecodeCase& c : cases) {
        EXPECT_EQ(decodeWaterMaximumThrottle(c.byte, c.build229, c.code), c.shown)
            << int{c.byte} << " code " << int{c.code};
    }
}

TEST(CodecRules, Build229IsVersionBytes5And6) {
    EXPECT_TRUE(isBuild229(EscInfo{.byte5 = 2, .byte6 = 29}));
    EXPECT_FALSE(isBuild229(EscInfo{.byte5 = 2, .byte6 = 28}));
    EXPECT_FALSE(isBuild229(EscInfo{.byte5 = 29, .byte6 = 2}));
}

struct GovernorCase {
    int32_t value;
    int64_t calc;
    uint8_t low;
    uint8_t high;
};

TEST(CodecRules, GovernorEncode) {
    const GovernorCase cases[] = {
        {5000, 4160, 0x0C, 0x0C},  // above g: 80 % of g, b = 204
        {4160, 4160, 0x0F, 0x0F},
        {2080, 4160, 0x0F, 0x07},
        {0, 4160, 0x00, 0x00},
        {16, 4080, 0x01, 0x00},
        // Beyond 32 bits: v * 255 and g * 4 overflow there.
        {612000000, 612000000, 0x0F, 0x0F},
        {2000000000, 612000000, 0x0C, 0x0C},
        {306000000, 612000000, 0x0F, 0x07},
    };
    for (const GovernorCase& c : cases) {
        const GovernorBytes bytes = encodeGovernor(c.value, c.calc);
        EXPECT_EQ(bytes.low, c.low) << c.value << " / " << c.calc;
        EXPECT_EQ(bytes.high, c.high) << c.value << " / " << c.calc;
    }
}

struct GovernorDecodeCase {
    uint8_t low;
    uint8_t high;
    int64_t calc;
    int64_t shown;
};

TEST(CodecRules, GovernorDecode) {
    const GovernorDecodeCase cases[] = {
        {0x0C, 0x0C, 4160, 3328},
        {0x0F, 0x0F, 4160, 4160},
        {0x00, 0x00, 4160, 0},
        {0x0F, 0x0F, 612000000, 612000000},
        {0x0C, 0x0C, 612000000, 489600000},
    };
    for (const GovernorDecodeCase& c : cases) {
        EXPECT_EQ(decodeGovernor(c.low, c.high, c.calc), c.shown)
            << int{c.low} << ' ' << int{c.high} << " / " << c.calc;
    }
}

TEST(CodecRules, CarBrakeDefaultFollowsMajorVersion) {
    EXPECT_EQ(defaultCarBrakeByte(3), 0x13);
    EXPECT_EQ(defaultCarBrakeByte(2), 0x04);
    EXPECT_EQ(defaultCarBrakeByte(1), 0x04);
}

}  // namespace
}  // namespace settings
