#pragma once
// The three operations that move an ESC's parameter set between the settings form and
// the frames: the factory-default write frame, the write frame built from the form, and
// the settings reply put into the form. Each walks the family's layout (families.h).

#include <cstdint>
#include <span>
#include <string_view>

#include "form/form.h"
#include "settings/esc_info.h"
#include "settings/families.h"

namespace settings {

// Where the two small marks of the throttle rules ("min_1004", "max_F1") persist: the
// section "set" of the language file in the program, memory in tests.
class CodecMarks {
  public:
    virtual ~CodecMarks() = default;
    // The mark read as an integer (decimal or 0x hexadecimal); 0 when it is missing.
    virtual uint32_t readMark(std::string_view key) const = 0;
    // A failed write goes unnoticed: the frame is built all the same.
    virtual void writeMark(std::string_view key, std::string_view value) = 0;
};

class SettingsCodec {
  public:
    explicit SettingsCodec(CodecMarks& marks) : m_marks(marks) {}

    // The family's factory-default write frame into txFrame (its size the room there is)
    // and txLength. A family outside 1 … 9, or a frame that does not fit, leaves both as
    // they are.
    void buildDefaultFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                           uint32_t& txLength) const;

    // The write frame 0xF2, P1 … Pn, 0xD1 from the form. `calcResult` scales the
    // governor of families 1 and 4. False, with nothing built and no mark written, when
    // a list the family encodes has no selection, or when the frame does not fit in
    // txFrame. A family outside 1 … 9 builds nothing and returns true: the frame keeps its
    // previous contents.
    bool encodeSettingsFrame(const form::Form& form, const EscInfo& esc, int64_t calcResult,
                             std::span<uint8_t> txFrame, uint32_t& txLength);

    // Puts the parameter bytes of a settings reply (`params` starts at P1, zero behind the
    // reply; bytes past its end read as 0) into the form: selections,
    // edit texts, and the showing, hiding and disabling of the family's controls.
    void decodeSettingsFrame(std::span<const uint8_t> params, const EscInfo& esc,
                             int64_t calcResult, form::Form& form);

    // m_minIs1004: 1 when the minimum throttle was last encoded (or, at a decode, marked)
    // as exactly 1004.
    uint8_t minIs1004() const { return m_minIs1004; }
    // m_maxF1Code: the "max_F1" code read at the last family-9 decode under build 2/29.
    uint8_t maxF1Code() const { return m_maxF1Code; }

  private:
    CodecMarks& m_marks;
    uint8_t m_minIs1004 = 0;
    uint8_t m_maxF1Code = 0;
};

}  // namespace settings
