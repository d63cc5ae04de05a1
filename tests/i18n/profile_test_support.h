#pragma once
// Scratch folders, byte-exact file access and text in other charsets for the profile tests.

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace i18n_test {

using testing_support::readBytes;
using testing_support::ScratchDir;
using testing_support::writeBytes;

// UTF-8 text in another charset, through iconv (independent of the engine's own codecs).
inline std::string encodeAs(const std::string& utf8, const char* charset) {
    iconv_t cd = iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::string in = utf8;
    std::vector<char> out(in.size() * 4 + 16);
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    return std::string(out.data(), out.size() - dstLeft);
}

// Number of Unicode code points of UTF-8 text.
inline std::size_t codePoints(const std::string& utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

inline std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

}  // namespace i18n_test
