#pragma once
// The text encodings language files come in, and conversion between them and UTF-8:
// UTF-16LE and UTF-16BE (recognised by their byte order mark), UTF-8 with or without a
// BOM, and anything that is not valid UTF-8 taken for GB18030, the legacy Chinese code
// page. "Characters" are Unicode code points throughout.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace i18n {

enum class TextEncoding { Utf8, Utf16Le, Utf16Be, Gb18030 };

// U+FFFD, put where bytes do not decode.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t bomLength = 0;  // bytes of the byte order mark, 0 when there is none
};

// The encoding of a whole file's bytes: a UTF-16LE, UTF-16BE or UTF-8 BOM decides;
// without one, valid UTF-8 (also empty input) is UTF-8 and anything else GB18030.
DetectedEncoding detectEncoding(std::string_view bytes);

// The encoding of one line of a file without a UTF-16 BOM: UTF-8 when its bytes are
// valid UTF-8 (also plain ASCII), GB18030 otherwise.
TextEncoding lineEncoding(std::string_view bytes);
// Whether every byte is below 0x80.
bool isAscii(std::string_view bytes);

bool isUtf16(TextEncoding encoding);
// Bytes per code unit: 2 for UTF-16, 1 otherwise.
std::size_t codeUnitSize(TextEncoding encoding);
// The UTF-16 code unit at byte `pos` (two bytes must be there) in the byte order of
// `encoding`, which is Utf16Le or Utf16Be.
char16_t utf16UnitAt(std::string_view bytes, std::size_t pos, TextEncoding encoding);

// Bytes in `encoding` as UTF-8. Never fails: every unit that does not decode (an
// unpaired surrogate, a GB18030 byte outside the code page) becomes U+FFFD, and a UTF-16
// input's lone last byte is dropped. UTF-8 input is passed on as it is.
std::string decodeText(std::string_view bytes, TextEncoding encoding);
// UTF-8 text in `encoding`, without a BOM; nullopt when the text is not valid UTF-8 or
// holds a character the encoding cannot represent.
std::optional<std::string> encodeText(std::string_view utf8, TextEncoding encoding);

// --- UTF-8 --------------------------------------------------------------------------

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);
// Decodes the code point at `pos` and moves `pos` past it; nullopt, with `pos` left
// alone, on an ill-formed sequence (overlong forms, surrogates and values above U+10FFFF
// included).
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& pos);
bool isValidUtf8(std::string_view text);
// The first `count` code points of `text` (lead bytes counted, so a character is never
// split).
std::string cutToCharacters(std::string_view text, std::size_t count);

}  // namespace i18n
