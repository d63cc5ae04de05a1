#include "i18n/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace i18n {
namespace {

constexpr unsigned char kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16LeBom[] = {0xFF, 0xFE};
constexpr unsigned char kUtf16BeBom[] = {0xFE, 0xFF};
constexpr const char* kGbCharset = "GB18030";
constexpr const char* kUtf8Charset = "UTF-8";

bool startsWith(std::string_view bytes, const unsigned char* prefix, std::size_t length) {
    if (bytes.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) != prefix[i])
            return false;
    }
    return true;
}

bool isSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

void appendUnit(std::string& out, char16_t unit, TextEncoding encoding) {
    const char lo = static_cast<char>(unit & 0xFF);
    const char hi = static_cast<char>(unit >> 8);
    if (encoding == TextEncoding::Utf16Le) {
        out += lo;
        out += hi;
    } else {
        out += hi;
        out += lo;
    }
}

std::string decodeUtf16(std::string_view bytes, TextEncoding encoding) {
    std::string out;
    for (std::size_t pos = 0; pos + 1 < bytes.size(); pos += 2) {
        const char16_t unit = utf16UnitAt(bytes, pos, encoding);
        if (unit >= 0xD800 && unit <= 0xDBFF && pos + 3 < bytes.size()) {
            const char16_t low = utf16UnitAt(bytes, pos + 2, encoding);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00));
                pos += 2;
                continue;
            }
        }
        appendUtf8(out, isSurrogate(unit) ? kReplacementCharacter : unit);
    }
    return out;
}

// Valid UTF-8 as UTF-16 units in the byte order of `encoding`.
std::string encodeUtf16(std::string_view utf8, TextEncoding encoding) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = *nextUtf8(utf8, pos);
        if (cp >= 0x10000) {
            appendUnit(out, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), encoding);
            appendUnit(out, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)), encoding);
        } else {
            appendUnit(out, static_cast<char16_t>(cp), encoding);
        }
    }
    return out;
}

// Converts with iconv; `lossy` puts U+FFFD for every byte that does not convert (reading),
// otherwise the first such byte fails the conversion (writing).
std::optional<std::string> convert(std::string_view in, const char* to, const char* from,
                                   bool lossy) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    std::string input(in);
    char* src = input.data();
    std::size_t srcLeft = input.size();
    std::vector<char> buffer(4 * input.size() + 16);
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (r != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (!lossy) {
            ok = false;
            break;
        }
        appendUtf8(out, kReplacementCharacter);
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

}  // namespace

DetectedEncoding detectEncoding(std::string_view bytes) {
    if (startsWith(bytes, kUtf16LeBom, sizeof kUtf16LeBom))
        return {TextEncoding::Utf16Le, sizeof kUtf16LeBom};
    if (startsWith(bytes, kUtf16BeBom, sizeof kUtf16BeBom))
        return {TextEncoding::Utf16Be, sizeof kUtf16BeBom};
    if (startsWith(bytes, kUtf8Bom, sizeof kUtf8Bom))
        return {TextEncoding::Utf8, sizeof kUtf8Bom};
    // Anything that is not UTF-8 is taken for the legacy Chinese code page.
    return {isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gb18030, 0};
}

TextEncoding lineEncoding(std::string_view bytes) {
    return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

bool isAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool isUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

std::size_t codeUnitSize(TextEncoding encoding) {
    return isUtf16(encoding) ? 2 : 1;
}

char16_t utf16UnitAt(std::string_view bytes, std::size_t pos, TextEncoding encoding) {
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    const auto b1 = static_cast<unsigned char>(bytes[pos + 1]);
    return encoding == TextEncoding::Utf16Le ? static_cast<char16_t>(b0 | (b1 << 8))
                                             : static_cast<char16_t>((b0 << 8) | b1);
}

std::string decodeText(std::string_view bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return std::string(bytes);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return decodeUtf16(bytes, encoding);
        case TextEncoding::Gb18030:
            return convert(bytes, kUtf8Charset, kGbCharset, true).value_or(std::string());
    }
    return std::string();
}

std::optional<std::string> encodeText(std::string_view utf8, TextEncoding encoding) {
    if (!isValidUtf8(utf8))
        return std::nullopt;
    switch (encoding) {
        case TextEncoding::Utf8:
            return std::string(utf8);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return encodeUtf16(utf8, encoding);
        case TextEncoding::Gb18030:
            return convert(utf8, kGbCharset, kUtf8Charset, false);
    }
    return std::nullopt;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > s.size())
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || isSurrogate(cp))
        return std::nullopt;
    pos += length;
    return cp;
}

bool isValidUtf8(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        // Runs of ASCII, most of a language file, are passed over without decoding.
        if (static_cast<unsigned char>(s[pos]) < 0x80) {
            ++pos;
            continue;
        }
        if (!nextUtf8(s, pos))
            return false;
    }
    return true;
}

std::string cutToCharacters(std::string_view s, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == count)
                return std::string(s.substr(0, i));
            ++seen;
        }
    }
    return std::string(s);
}

}  // namespace i18n
