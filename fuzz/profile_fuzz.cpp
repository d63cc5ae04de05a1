// libFuzzer target for the profile engine: arbitrary bytes as a language file.
// Built with its own instrumented copy of the profile engine (see fuzz/CMakeLists.txt);
// the test suite replays its corpus against the core's.
// Besides memory errors it checks that a write reads back and that writing the same
// value again leaves the file as it is.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "i18n/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzzing::scratchPath("profile") + ".ini";
    fuzzing::writeFile(path, data, size);

    using i18n::ProfileFile;
    (void)ProfileFile::parseInt(bytes);
    (void)ProfileFile::readString(path, "chinese", "brakeLab", "");
    (void)ProfileFile::readString(path, "", "k", "", 5);
    (void)ProfileFile::readInt(path, "set", "lang_sel", 0);

    const std::string value = "v" + std::to_string(size);
    if (ProfileFile::writeString(path, "set", "lang_sel", value)) {
        if (ProfileFile::readString(path, "set", "lang_sel", "<none>") != value)
            std::abort();
        const std::string written = fuzzing::readFile(path);
        if (!ProfileFile::writeString(path, "set", "lang_sel", value))
            std::abort();
        if (fuzzing::readFile(path) != written)
            std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
