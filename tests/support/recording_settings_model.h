#pragma once
// A SettingsModel that records every call with what it was given, for tests of the
// protocol controller. Its write frames are whatever the test sets.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/settings_model.h"

namespace testing_support {

struct ModelCall {
    std::string name;  // "arrangeAir", "arrangeMultiBoat", "arrangeAbc", "arrangeCar", "fill",
                       // "decode", ...
    settings::EscInfo esc;
    std::vector<uint8_t> frame;  // decode: the first settingsLength bytes it was given
};

class RecordingSettingsModel final : public settings::SettingsModel {
  public:
    void arrangeAirForm(const settings::EscInfo& esc) override { record("arrangeAir", esc); }
    void arrangeMultiBoatForm(const settings::EscInfo& esc) override {
        record("arrangeMultiBoat", esc);
    }
    void arrangeAbcForm(const settings::EscInfo& esc) override { record("arrangeAbc", esc); }
    void arrangeCarForm(const settings::EscInfo& esc) override { record("arrangeCar", esc); }
    void fillFamilyTexts(const settings::EscInfo& esc) override { record("fill", esc); }
    void decodeSettingsFrame(std::span<const uint8_t> frame,
                             const settings::EscInfo& esc) override {
        record("decode", esc);
        const size_t shown = std::min<size_t>(
            esc.settingsLength < m_decodeBytes ? m_decodeBytes : esc.settingsLength, frame.size());
        m_calls.back().frame.assign(frame.begin(),
                                    frame.begin() + static_cast<std::ptrdiff_t>(shown));
    }
    bool encodeSettingsFrame(const settings::EscInfo& esc, std::span<uint8_t> txFrame,
                             uint32_t& txLength) override {
        record("encode", esc);
        if (!m_encodable)
            return false;
        return copyFrame(txFrame, txLength);
    }
    void buildDefaultFrame(const settings::EscInfo& esc, std::span<uint8_t> txFrame,
                           uint32_t& txLength) override {
        record("defaults", esc);
        copyFrame(txFrame, txLength);
    }
    void clearFormValues(const settings::EscInfo& esc) override { record("clear", esc); }

    // Test set-up.
    void setWriteFrame(std::vector<uint8_t> frame) { m_writeFrame = std::move(frame); }
    void setEncodable(bool encodable) { m_encodable = encodable; }
    // Decode records at least this many bytes of its input (to see what lies behind).
    void setDecodeBytes(uint32_t bytes) { m_decodeBytes = bytes; }

    const std::vector<ModelCall>& calls() const { return m_calls; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const ModelCall& c : m_calls) out.push_back(c.name);
        return out;
    }
    void clear() { m_calls.clear(); }

  private:
    void record(const char* name, const settings::EscInfo& esc) {
        m_calls.push_back(ModelCall{name, esc, {}});
    }
    // Like the real model: a frame that does not fit is not built.
    bool copyFrame(std::span<uint8_t> txFrame, uint32_t& txLength) const {
        if (m_writeFrame.size() > txFrame.size())
            return false;
        std::copy(m_writeFrame.begin(), m_writeFrame.end(), txFrame.begin());
        txLength = static_cast<uint32_t>(m_writeFrame.size());
        return true;
    }

    std::vector<ModelCall> m_calls;
    std::vector<uint8_t> m_writeFrame{0xF2, 0x01, 0x02, 0xD1};
    bool m_encodable = true;
    uint32_t m_decodeBytes = 0;
};

}  // namespace testing_support
