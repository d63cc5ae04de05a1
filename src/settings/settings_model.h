#pragma once
// The operations of the settings model that the protocol controller runs, at the moments
// the protocol fixes. The real model (FormSettingsModel) acts on a form::Form; tests of
// the controller can record the calls instead.

#include <cstdint>

#include "settings/esc_info.h"

namespace settings {

// Room of the controller's TxFrame; every write frame fits.
inline constexpr uint32_t kTxFrameCapacity = 520;

class SettingsModel {
  public:
    virtual ~SettingsModel() = default;

    // Form arrangements when a family's settings arrive (families 1/4, 5/6, 7).
    virtual void arrangeAirForm(const EscInfo& esc) = 0;
    virtual void arrangeMultiBoatForm(const EscInfo& esc) = 0;
    virtual void arrangeAbcForm(const EscInfo& esc) = 0;
    // Captions and item lists of the family, before every decode.
    virtual void fillFamilyTexts(const EscInfo& esc) = 0;
    // Puts an accepted settings reply (`frame` has at least 200 readable bytes, zero
    // behind the reply) into the form.
    virtual void decodeSettingsFrame(const uint8_t* frame, const EscInfo& esc) = 0;
    // Builds the write frame 0xF2 … 0xD1 from the form. False, with nothing built, when
    // the form cannot be encoded (a list the family encodes has no selection); the caller
    // then sends nothing.
    virtual bool encodeSettingsFrame(const EscInfo& esc, uint8_t* txFrame, uint32_t& txLength) = 0;
    // Builds the family's factory-default write frame.
    virtual void buildDefaultFrame(const EscInfo& esc, uint8_t* txFrame, uint32_t& txLength) = 0;
    // Empties the form's values after a write frame was built.
    virtual void clearFormValues(const EscInfo& esc) = 0;
};

}  // namespace settings
