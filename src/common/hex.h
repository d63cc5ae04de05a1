#pragma once
// Bytes as uppercase hexadecimal pairs, the way traces, backups and messages show them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace common {

// "0A 08 09" for separator " ", "0A0809" for "".
inline std::string hexBytes(std::span<const uint8_t> bytes, std::string_view separator = " ") {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * (2 + separator.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += separator;
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace common
