// Runs a fuzz target's LLVMFuzzerTestOneInput on given inputs without libFuzzer, so that
// the ordinary build replays every corpus file as a test (fuzz/CMakeLists.txt): each file
// named on the command line, or each file of a named folder, is read and handed over in a
// heap block of exactly its size, so that a read past the input stops a sanitized build
// as it would stop the fuzzer. A failed check of the target aborts, which fails the test.
//
// The target's scratch files go to a private folder of this run, removed at the end.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Only some targets set themselves up before the first input.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The files to replay, folders expanded (sorted, not recursive).
bool collectInputs(int argc, char** argv, std::vector<fs::path>& inputs) {
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(arg, ec)) {
                if (entry.is_regular_file(ec))
                    found.push_back(entry.path());
            }
            std::sort(found.begin(), found.end());
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(arg, ec)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

class PrivateScratchFolder {
  public:
    PrivateScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "tessaro-fuzz-replay-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
            fuzzing::scratchFolder() = m_path;
        }
    }
    ~PrivateScratchFolder() {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove_all(m_path, ec);
    }
    PrivateScratchFolder(const PrivateScratchFolder&) = delete;
    PrivateScratchFolder& operator=(const PrivateScratchFolder&) = delete;

  private:
    std::string m_path;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    if (argc < 2 || !collectInputs(argc, argv, inputs)) {
        std::fprintf(stderr, "usage: %s INPUT_FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    PrivateScratchFolder scratch;
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        std::ifstream in(input, std::ios::binary | std::ios::ate);
        const std::streamoff length = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        // Exactly the input's size, so that nothing lies readable behind its last byte.
        const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
        const auto block = std::make_unique<uint8_t[]>(size);
        in.seekg(0);
        if (length < 0 || !in.read(reinterpret_cast<char*>(block.get()), length)) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 2;
        }
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), size);
        LLVMFuzzerTestOneInput(block.get(), size);
    }
    std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
    return 0;
}
