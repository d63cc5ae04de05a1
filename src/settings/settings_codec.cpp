#include "settings/settings_codec.h"

#include <algorithm>
#include <array>
#include <string>

#include "common/esc_bytes.h"

namespace settings {

namespace {

constexpr uint8_t kLowByteMask = 0xFF;

template <typename Visit>
void forEachRow(const FrameLayout& layout, Visit&& visit) {
    for (std::size_t segment = 0; segment < layout.segmentCount; ++segment) {
        for (const CodecRow& row : layout.segments[segment]) {
            visit(row);
        }
    }
}

bool layoutUses(const FrameLayout& layout, Coding coding) {
    bool found = false;
    forEachRow(layout, [&](const CodecRow& row) { found = found || row.coding == coding; });
    return found;
}

bool everyListSelected(const form::Form& form, const FrameLayout& layout) {
    bool selected = true;
    forEachRow(layout, [&](const CodecRow& row) {
        if (codingReadsSelection(row.coding) && form.selection(row.control) < 0) {
            selected = false;
        }
    });
    return selected;
}

int32_t numberOf(const form::Form& form, form::ControlId control) {
    return leadingNumber(form.text(control));
}

bool fitsFrame(uint8_t count, std::span<uint8_t> txFrame) {
    return count + 2u <= txFrame.size();
}

// The caller has checked fitsFrame.
void putFrame(const uint8_t* params, uint8_t count, std::span<uint8_t> txFrame,
              uint32_t& txLength) {
    txFrame[0] = common::kSettingsWriteStart;
    std::copy(params, params + count, txFrame.begin() + 1);
    txFrame[count + 1] = common::kSettingsWriteEnd;
    txLength = count + 2u;
}

uint8_t byteAt(std::span<const uint8_t> params, std::size_t index) {
    return index < params.size() ? params[index] : 0;
}

}  // namespace

void SettingsCodec::buildDefaultFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                                      uint32_t& txLength) const {
    const std::optional<FrameLayout> layout = writeLayoutFor(esc);
    if (!layout || !fitsFrame(layout->parameterCount, txFrame)) {
        return;
    }
    std::array<uint8_t, kMaxParameterBytes> params{};
    std::copy(layout->defaults.begin(), layout->defaults.end(), params.begin());
    if (layout->majorBrakeDefaultPosition != 0) {
        params[layout->majorBrakeDefaultPosition - 1] = defaultCarBrakeByte(esc.major);
    }
    putFrame(params.data(), layout->parameterCount, txFrame, txLength);
}

bool SettingsCodec::encodeSettingsFrame(const form::Form& form, const EscInfo& esc,
                                        int64_t calcResult, std::span<uint8_t> txFrame,
                                        uint32_t& txLength) {
    const std::optional<FrameLayout> layout = writeLayoutFor(esc);
    if (!layout) {
        return true;
    }
    if (!fitsFrame(layout->parameterCount, txFrame)) {
        return false;
    }
    // An empty list would go out as 0xFF / 0xFE and be stored as garbage.
    if (!everyListSelected(form, *layout)) {
        return false;
    }
    const bool build229 = isBuild229(esc);
    std::array<uint8_t, kMaxParameterBytes> params{};
    const char* minimumMark = nullptr;
    const char* maximumMark = nullptr;
    forEachRow(*layout, [&](const CodecRow& row) {
        if (codingIsFormAction(row.coding)) {
            return;
        }
        uint8_t& byte = params[row.position - 1];
        switch (row.coding) {
            case Coding::Index:
            case Coding::IndexPlusOne:
            case Coding::Doubled:
            case Coding::Odd:
                byte = encodeSelection(row.coding, form.selection(row.control));
                break;
            case Coding::Step4:
            case Coding::Step4From1000:
            case Coding::ValueMinusOne:
                byte = encodeNumber(row.coding, numberOf(form, row.control));
                break;
            case Coding::MinimumThrottle: {
                const MinimumThrottleCode code = encodeMinimumThrottle(numberOf(form, row.control));
                byte = code.byte;
                m_minIs1004 = code.minIs1004;
                minimumMark = code.minIs1004 == 1 ? kMarkSet : kMarkClear;
                break;
            }
            case Coding::CarMaximumThrottle:
                byte = encodeCarMaximumThrottle(numberOf(form, row.control), esc.major);
                break;
            case Coding::WaterMaximumThrottle: {
                const WaterMaximumCode code =
                    encodeWaterMaximumThrottle(numberOf(form, row.control), build229);
                byte = code.byte;
                maximumMark = code.mark;
                break;
            }
            case Coding::Governor: {
                const GovernorBytes governor =
                    encodeGovernor(numberOf(form, row.control), calcResult);
                byte = governor.low;
                params[row.position] = governor.high;
                break;
            }
            case Coding::StartPowerNumber: {
                const std::string item = form.itemText(row.control, form.selection(row.control));
                byte = static_cast<uint8_t>((int64_t{leadingNumber(item)} - 1) & kLowByteMask);
                break;
            }
            case Coding::Constant:
                byte = row.constant;
                break;
            case Coding::Show:
            case Coding::Hide:
            case Coding::Disable:
                break;
        }
    });
    if (minimumMark != nullptr) {
        m_marks.writeMark(kMinIs1004Key, minimumMark);
    }
    if (maximumMark != nullptr) {
        m_marks.writeMark(kMaxF1Key, maximumMark);
    }
    putFrame(params.data(), layout->parameterCount, txFrame, txLength);
    return true;
}

void SettingsCodec::decodeSettingsFrame(std::span<const uint8_t> params, const EscInfo& esc,
                                        int64_t calcResult, form::Form& form) {
    const std::optional<FrameLayout> layout = readLayoutFor(esc);
    if (!layout) {
        return;
    }
    const bool build229 = isBuild229(esc);
    if (layoutUses(*layout, Coding::MinimumThrottle)) {
        m_minIs1004 = static_cast<uint8_t>(m_marks.readMark(kMinIs1004Key) & kLowByteMask);
    }
    if (build229 && layoutUses(*layout, Coding::WaterMaximumThrottle)) {
        m_maxF1Code = static_cast<uint8_t>(m_marks.readMark(kMaxF1Key) & kLowByteMask);
    }
    forEachRow(*layout, [&](const CodecRow& row) {
        const uint8_t byte = row.position == 0 ? 0 : byteAt(params, row.position - 1u);
        switch (row.coding) {
            case Coding::Index:
            case Coding::IndexPlusOne:
            case Coding::Doubled:
            case Coding::Odd:
                form.setSelection(row.control, decodeSelection(row.coding, byte));
                break;
            case Coding::Step4:
            case Coding::Step4From1000:
            case Coding::ValueMinusOne:
                form.setText(row.control, std::to_string(decodeNumber(row.coding, byte)));
                break;
            case Coding::MinimumThrottle:
                form.setText(row.control, std::to_string(decodeMinimumThrottle(byte, m_minIs1004)));
                break;
            case Coding::CarMaximumThrottle:
                form.setText(row.control, std::to_string(decodeCarMaximumThrottle(byte)));
                break;
            case Coding::WaterMaximumThrottle:
                form.setText(row.control, std::to_string(decodeWaterMaximumThrottle(byte, build229,
                                                                                    m_maxF1Code)));
                break;
            case Coding::Governor:
                form.setText(row.control, std::to_string(decodeGovernor(
                                              byte, byteAt(params, row.position), calcResult)));
                break;
            case Coding::Show:
                form.setVisible(row.control, true);
                break;
            case Coding::Hide:
                form.setVisible(row.control, false);
                break;
            case Coding::Disable:
                form.setEnabled(row.control, false);
                break;
            case Coding::StartPowerNumber:
            case Coding::Constant:
                break;
        }
    });
}

}  // namespace settings
