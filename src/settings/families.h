#pragma once
// The parameter layouts of the nine ESC families: for each family and condition, the
// rows (parameter position, control, coding) that the settings codec walks, the
// decode-side showing and hiding among them, and the factory-default parameter bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "form/form.h"
#include "settings/codec_rules.h"
#include "settings/esc_info.h"

namespace settings {

// A write frame: common::kSettingsWriteStart, the parameter bytes, common::kSettingsWriteEnd.
// The most parameter bytes any family sends (family 9 with its BEC byte).
inline constexpr std::size_t kMaxParameterBytes = 19;
inline constexpr std::size_t kMaxWriteFrameBytes = kMaxParameterBytes + 2;

// Range of the family-5 high end point spin 1103: (v - 1000) / 4 fits a byte only up to
// 2020, so the spin stops there (higher values would wrap to a low throttle point).
inline constexpr int kHighEndPointSpinLow = 1820;
inline constexpr int kHighEndPointSpinHigh = 2020;

// One row of a layout. `position` is the parameter number Pn (write frame byte n, reply
// byte n - 1); form actions have position 0. `constant` is the byte of a Constant row.
struct CodecRow {
    uint8_t position = 0;
    form::ControlId control = 0;
    Coding coding = Coding::Index;
    uint8_t constant = 0;
};

using CodecRows = std::span<const CodecRow>;

inline constexpr std::size_t kMaxLayoutSegments = 6;

// A layout is a few row tables walked one after the other.
struct FrameLayout {
    std::array<CodecRows, kMaxLayoutSegments> segments{};
    std::size_t segmentCount = 0;
    // Write side only: the number of parameter bytes and the factory-default bytes
    // P1 … Pn.
    uint8_t parameterCount = 0;
    std::span<const uint8_t> defaults;
    // The parameter whose default byte follows the major version (0: none).
    uint8_t majorBrakeDefaultPosition = 0;
};

bool isKnownFamily(uint8_t family);

// The rows that encode the family's write frame, with its length and defaults; none for
// a family code outside 1 … 9.
std::optional<FrameLayout> writeLayoutFor(const EscInfo& esc);
// The rows that put a settings reply into the form, form actions included, in the order
// they act; none for a family code outside 1 … 9.
std::optional<FrameLayout> readLayoutFor(const EscInfo& esc);

// The controls whose values the family's write frame carries, each once, in the order of
// the write layout's rows: those with a parameter position that are neither a Constant nor a
// form action. Empty for a family code outside 1 … 9.
std::vector<form::ControlId> carriedControls(const EscInfo& esc);
// The parameter numbers (1 … parameterCount) whose bytes come from those controls: every
// byte of the write frame's parameters but the Constant rows' (the governor's row sets
// two). Empty for a family code outside 1 … 9.
std::vector<uint8_t> carriedPositions(const EscInfo& esc);

// m_settingsLength after building a write frame: family 8 treats every length other
// than 13 and 15 as 16. The controller stores this after encode and default.
uint8_t settingsLengthAfterWrite(const EscInfo& esc);

}  // namespace settings
