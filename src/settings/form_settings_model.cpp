#include "settings/form_settings_model.h"

#include "i18n/profile_file.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/form_layouts.h"
#include "settings/form_texts.h"

namespace settings {

namespace {
constexpr int32_t kMissingMark = 0;
}  // namespace

uint32_t LanguageFileMarks::readMark(std::string_view key) const {
    return i18n::ProfileFile::readInt(i18n::g_languageFilePath, i18n::kSectionSet, key,
                                      kMissingMark);
}

void LanguageFileMarks::writeMark(std::string_view key, std::string_view value) {
    // A language file that cannot be written loses the mark only; the frame still goes.
    (void)i18n::ProfileFile::writeString(i18n::g_languageFilePath, i18n::kSectionSet, key, value);
}

FormSettingsModel::FormSettingsModel(form::Form& form) : m_form(form), m_codec(m_marks) {}

void FormSettingsModel::arrangeAirForm(const EscInfo& esc) {
    settings::arrangeAirForm(m_form, esc);
}

void FormSettingsModel::arrangeMultiBoatForm(const EscInfo& esc) {
    settings::arrangeMultiBoatForm(m_form, esc);
}

void FormSettingsModel::arrangeAbcForm(const EscInfo& esc) {
    settings::arrangeAbcForm(m_form, esc);
}

void FormSettingsModel::arrangeCarForm(const EscInfo& esc) {
    settings::arrangeCarForm(m_form, esc);
}

void FormSettingsModel::fillFamilyTexts(const EscInfo& esc) {
    settings::fillFamilyTexts(m_form, esc);
}

void FormSettingsModel::decodeSettingsFrame(std::span<const uint8_t> frame, const EscInfo& esc) {
    m_codec.decodeSettingsFrame(frame, esc, g_calcResult, m_form);
}

bool FormSettingsModel::encodeSettingsFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                                            uint32_t& txLength) {
    return m_codec.encodeSettingsFrame(m_form, esc, g_calcResult, txFrame, txLength);
}

void FormSettingsModel::buildDefaultFrame(const EscInfo& esc, std::span<uint8_t> txFrame,
                                          uint32_t& txLength) {
    m_codec.buildDefaultFrame(esc, txFrame, txLength);
}

void FormSettingsModel::clearFormValues(const EscInfo& esc) {
    settings::clearFormValues(m_form, esc);
}

}  // namespace settings
