#include "i18n/ui_text.h"

#include "i18n/profile_file.h"

namespace i18n {

uint8_t g_chineseSelected = 0;
std::string g_languageFilePath;

namespace {
constexpr const char* kLanguageFileName = "language.ini";
constexpr const char* kLanguageValueChinese = "1";
constexpr const char* kLanguageValueEnglish = "0";
}  // namespace

const char* languageSection() {
    return g_chineseSelected == kLanguageChinese ? kSectionChinese : kSectionEnglish;
}

std::string LookupUiText(std::string_view key) {
    // The file is the only store of the texts: an edit of it shows at the next lookup.
    return ProfileFile::readString(g_languageFilePath, languageSection(), key, "");
}

std::string languageFilePathFor(const std::string& workingDirectory) {
    if (workingDirectory.empty())
        return kLanguageFileName;
    if (workingDirectory.back() == '/')
        return workingDirectory + kLanguageFileName;
    return workingDirectory + '/' + kLanguageFileName;
}

uint8_t readLanguageChoice() {
    const uint32_t stored = ProfileFile::readInt(g_languageFilePath, kSectionSet, kKeyLangSel, 0);
    // Only the low byte counts; anything but Chinese is English, so font, sections and
    // messages never disagree about the language.
    return static_cast<uint8_t>(stored & 0xFF) == kLanguageChinese ? kLanguageChinese
                                                                   : kLanguageEnglish;
}

bool writeLanguageChoice(uint8_t choice) {
    return ProfileFile::writeString(
        g_languageFilePath, kSectionSet, kKeyLangSel,
        choice == kLanguageChinese ? kLanguageValueChinese : kLanguageValueEnglish);
}

}  // namespace i18n
