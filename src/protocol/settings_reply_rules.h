#pragma once
// Which settings-reply lengths each ESC family answers with, which form arrangement runs
// before its reply is shown, and whether a wrong length is retried after a pause.

#include <array>
#include <cstdint>

namespace protocol {

enum class FormArrangement : uint8_t { None, Air, MultiBoat, Car };
enum class VariantTest : uint8_t { Any, Equals };

struct SettingsReplyRule {
    uint8_t family;
    VariantTest variantTest;
    uint8_t variant;                 // compared when variantTest is Equals
    std::array<uint8_t, 2> lengths;  // the accepted lengths (the same twice when only one)
    FormArrangement arrangement;
    bool pauseBeforeRetry;  // these ESCs need a moment after a garbled reply
};

// First matching row wins, so a variant-specific row comes before its family's catch-all.
inline constexpr std::array<SettingsReplyRule, 9> kSettingsReplyRules = {{
    {1, VariantTest::Any, 0, {11, 11}, FormArrangement::Air, true},
    {2, VariantTest::Any, 0, {11, 12}, FormArrangement::Car, false},
    {3, VariantTest::Any, 0, {14, 14}, FormArrangement::Car, false},
    {4, VariantTest::Any, 0, {12, 12}, FormArrangement::Air, true},
    {5, VariantTest::Any, 0, {6, 6}, FormArrangement::MultiBoat, true},
    {6, VariantTest::Any, 0, {6, 6}, FormArrangement::MultiBoat, true},
    {8, VariantTest::Any, 0, {15, 16}, FormArrangement::Car, false},
    {9, VariantTest::Equals, 6, {19, 19}, FormArrangement::Car, false},
    {9, VariantTest::Any, 0, {17, 18}, FormArrangement::Car, false},
}};

// The row for an ESC; nullptr for a family without one (0, 7, 10 …), which takes any
// non-empty reply.
const SettingsReplyRule* findSettingsReplyRule(uint8_t family, uint8_t variant);

// True when a reply of `length` bytes (not 0) is the ESC's settings frame.
bool acceptsSettingsLength(const SettingsReplyRule* rule, uint32_t length);

}  // namespace protocol
