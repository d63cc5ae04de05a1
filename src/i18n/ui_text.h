#pragma once
// The language choice and the lookup every other part of the program uses for its texts.

#include <cstdint>
#include <string>
#include <string_view>

namespace i18n {

// 1 selects the Chinese texts; any other value English. Written only by applyLanguage.
extern uint8_t g_chineseSelected;
// Full path of language.ini: the working directory followed by "/language.ini".
extern std::string g_languageFilePath;

inline constexpr const char* kSectionChinese = "chinese";
inline constexpr const char* kSectionEnglish = "english";
inline constexpr const char* kSectionSet = "set";

// Section of the current language: "chinese" when g_chineseSelected is 1, else "english".
const char* languageSection();
// The text of `key` in the current language's section, read anew from the file at every
// call; empty when missing; at most 259 characters.
std::string LookupUiText(std::string_view key);
// g_languageFilePath for a working directory.
std::string languageFilePathFor(const std::string& workingDirectory);

}  // namespace i18n
