#pragma once
// The settings model the protocol controller runs, acting on the window's form: the
// family's texts and arrangements (form_texts.h, form_layouts.h) and the frame codec
// (settings_codec.h), with the codec's marks kept in section "set" of the language file
// and the governor scaled by the calculator result.

#include <cstdint>
#include <span>
#include <string_view>

#include "form/form.h"
#include "settings/esc_info.h"
#include "settings/settings_codec.h"
#include "settings/settings_model.h"

namespace settings {

// The codec's marks in section "set" of the language file at i18n::g_languageFilePath,
// through the profile engine; the path is taken anew at every call, so a language
// change of directory is followed.
class LanguageFileMarks final : public CodecMarks {
  public:
    uint32_t readMark(std::string_view key) const override;
    void writeMark(std::string_view key, std::string_view value) override;
};

class FormSettingsModel final : public SettingsModel {
  public:
    // `form` must outlive the model.
    explicit FormSettingsModel(form::Form& form);

    void arrangeAirForm(const EscInfo& esc) override;
    void arrangeMultiBoatForm(const EscInfo& esc) override;
    void arrangeAbcForm(const EscInfo& esc) override;
    void arrangeCarForm(const EscInfo& esc) override;
    void fillFamilyTexts(const EscInfo& esc) override;
    // Reads settings::g_calcResult for the governor of families 1 and 4.
    void decodeSettingsFrame(std::span<const uint8_t> frame, const EscInfo& esc) override;
    // Reads settings::g_calcResult for the governor of families 1 and 4. For family 8
    // the caller stores settingsLengthAfterWrite(esc) as the new m_settingsLength.
    bool encodeSettingsFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                             uint32_t& txLength) override;
    void buildDefaultFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                           uint32_t& txLength) override;
    void clearFormValues(const EscInfo& esc) override;

    const SettingsCodec& codec() const { return m_codec; }

  private:
    form::Form& m_form;
    LanguageFileMarks m_marks;
    SettingsCodec m_codec;
};

}  // namespace settings
