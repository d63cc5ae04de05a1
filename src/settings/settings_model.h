#pragma once
// The operations of the settings model that the protocol controller runs, at the moments
// the protocol fixes. The real model (FormSettingsModel) acts on a form::Form; tests of
// the controller can record the calls instead.

#include <cstdint>
#include <span>

#include "settings/esc_info.h"

namespace settings {

// Room of the controller's TxFrame; every write frame fits.
inline constexpr uint32_t kTxFrameCapacity = 520;

class SettingsModel {
  public:
    virtual ~SettingsModel() = default;

    // Form arrangements when a family's settings arrive (families 1/4, 5/6, 7, and the car
    // families 2, 3, 8 and 9).
    virtual void arrangeAirForm(const EscInfo& esc) = 0;
    virtual void arrangeMultiBoatForm(const EscInfo& esc) = 0;
    virtual void arrangeAbcForm(const EscInfo& esc) = 0;
    virtual void arrangeCarForm(const EscInfo& esc) = 0;
    // Captions and item lists of the family, before every decode.
    virtual void fillFamilyTexts(const EscInfo& esc) = 0;
    // Puts an accepted settings reply (`frame` holds the reply with zeros behind it; bytes
    // past its end read as 0) into the form.
    virtual void decodeSettingsFrame(std::span<const uint8_t> frame, const EscInfo& esc) = 0;
    // Builds the write frame 0xF2 … 0xD1 from the form into `txFrame` (its size is the
    // room there is) and its length into `txLength`. False, with nothing built, when the
    // form cannot be encoded (a list the family encodes has no selection) or the frame
    // does not fit; the caller then sends nothing.
    virtual bool encodeSettingsFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                                     uint32_t& txLength) = 0;
    // Builds the family's factory-default write frame the same way; a frame that does not
    // fit is not built.
    virtual void buildDefaultFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                                   uint32_t& txLength) = 0;
    // Empties the form's values after a write frame was built.
    virtual void clearFormValues(const EscInfo& esc) = 0;
};

}  // namespace settings
