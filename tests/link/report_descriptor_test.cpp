#include "link/report_descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace transport {
namespace {

struct DescriptorCase {
    const char* name;
    std::vector<uint8_t> descriptor;
    bool valid;
    uint32_t outputLength;
    uint32_t inputLength;
    bool usesIds;
};

class ReportDescriptorTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(ReportDescriptorTest, Lengths) {
    const DescriptorCase& c = GetParam();
    ReportDescriptorInfo info;
    info.outputReportLength = 1234;  // must stay when the descriptor is refused
    ASSERT_EQ(parseReportDescriptor(c.descriptor.data(), c.descriptor.size(), info), c.valid);
    if (!c.valid) {
        EXPECT_EQ(info.outputReportLength, 1234u);
        return;
    }
    EXPECT_EQ(info.outputReportLength, c.outputLength);
    EXPECT_EQ(info.inputReportLength, c.inputLength);
    EXPECT_EQ(info.usesReportIds, c.usesIds);
}

// Items used below: 06 00 FF usage page (vendor), 09 01 usage, A1 01 collection,
// 85 id, 75 size, 95 count, 96 count (2 bytes), 81 input, 91 output, C0 end collection.
INSTANTIATE_TEST_SUITE_P(
    Descriptors, ReportDescriptorTest,
    ::testing::Values(
        DescriptorCase{"empty", {}, true, 0, 0, false},
        // The adapter's kind of layout: numbered 64-byte reports, 63 data bytes each way.
        DescriptorCase{"numbered_reports",
                       {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,                    //
                        0x85, 0x01, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02,  //
                        0x85, 0x02, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x91, 0x02,  //
                        0x85, 0xFD, 0x75, 0x08, 0x95, 0x04, 0x09, 0x01, 0x91, 0x02,  //
                        0xC0},
                       true,
                       64,
                       64,
                       true},
        // Without report ids the id byte still counts.
        DescriptorCase{"unnumbered",
                       {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40, 0x81,
                        0x02, 0x95, 0x20, 0x91, 0x02, 0xC0},
                       true,
                       33,
                       65,
                       false},
        // Items of one report add up; the longest report wins.
        DescriptorCase{"summed_items",
                       {0x85, 0x02, 0x75, 0x08, 0x95, 0x3B, 0x91, 0x02, 0x95, 0x02, 0x91, 0x02,
                        0x85, 0x03, 0x95, 0x10, 0x91, 0x02},
                       true,
                       62,
                       0,
                       true},
        // Bits round up to whole bytes.
        DescriptorCase{"bit_fields",
                       {0x85, 0x04, 0x75, 0x01, 0x95, 0x05, 0x91, 0x02, 0x75, 0x03,
                        0x95, 0x01, 0x91, 0x01, 0x75, 0x01, 0x95, 0x01, 0x91, 0x01},
                       true,
                       3,
                       0,
                       true},
        // Two-byte report count.
        DescriptorCase{
            "wide_count", {0x75, 0x08, 0x96, 0x00, 0x01, 0x91, 0x02}, true, 257, 0, false},
        // Push keeps size and count; after Pop they are back.
        DescriptorCase{
            "push_pop",
            {0x75, 0x08, 0x95, 0x10, 0xA4, 0x95, 0x30, 0x91, 0x02, 0xB4, 0x85, 0x05, 0x91, 0x02},
            true,
            49,
            0,
            true},
        // A long item is skipped whole, its data not read as items.
        DescriptorCase{"long_item",
                       {0xFE, 0x02, 0x10, 0x91, 0x02, 0x75, 0x08, 0x95, 0x07, 0x91, 0x02},
                       true,
                       8,
                       0,
                       false},
        DescriptorCase{"cut_in_item", {0x75, 0x08, 0x96, 0x00}, false, 0, 0, false},
        DescriptorCase{"cut_long_item", {0xFE, 0x05, 0x10, 0x00}, false, 0, 0, false},
        DescriptorCase{"pop_without_push", {0xB4}, false, 0, 0, false},
        DescriptorCase{"push_too_deep", std::vector<uint8_t>(40, 0xA4), false, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace transport
