// libFuzzer target for the profile engine: arbitrary bytes as a language file.
// Not part of the normal build. Build and run, from the source root:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//       fuzz/profile_fuzz.cpp src/i18n/profile_file.cpp src/i18n/text_encoding.cpp \
//       src/common/atomic_file.cpp -o profile_fuzz
//   ./profile_fuzz -max_total_time=60
// Besides memory errors it checks that a write reads back and that writing the same
// value again leaves the file as it is.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "i18n/profile_file.h"

namespace {

std::string scratchPath() {
    return "/tmp/tessaro-profile-fuzz-" + std::to_string(::getpid()) + ".ini";
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = scratchPath();
    put(path, bytes);

    using i18n::ProfileFile;
    (void)ProfileFile::parseInt(bytes);
    (void)ProfileFile::readString(path, "chinese", "brakeLab", "");
    (void)ProfileFile::readString(path, "", "k", "", 5);
    (void)ProfileFile::readInt(path, "set", "lang_sel", 0);

    const std::string value = "v" + std::to_string(size);
    if (ProfileFile::writeString(path, "set", "lang_sel", value)) {
        if (ProfileFile::readString(path, "set", "lang_sel", "<none>") != value)
            std::abort();
        const std::string written = get(path);
        if (!ProfileFile::writeString(path, "set", "lang_sel", value))
            std::abort();
        if (get(path) != written)
            std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
