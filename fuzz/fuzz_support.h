#pragma once
// Helpers the fuzz targets and their replay in the test suite share: a reader over the
// fuzzer's bytes that never runs past them, private scratch files, and a private copy of the
// shipped language file (the settings model writes its marks into it, which must not touch the
// repository).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzzing {

// Takes bytes from the front; past the end every read gives 0 and empty spans.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }
    uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    uint16_t word() {
        const uint16_t high = byte();
        return static_cast<uint16_t>((high << 8) | byte());
    }
    // Up to `count` bytes, fewer at the end of the input.
    std::vector<uint8_t> bytes(size_t count) {
        const size_t n = count < remaining() ? count : remaining();
        std::vector<uint8_t> out(m_data + m_pos, m_data + m_pos + n);
        m_pos += n;
        return out;
    }
    std::vector<uint8_t> rest() { return bytes(remaining()); }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The folder of the scratch files: /tmp under libFuzzer, whose process runs for the whole
// fuzzing session; the replay main (replay_main.cpp) points it at a private folder of
// each run and removes that at the end, so that the test suite leaves nothing in /tmp.
inline std::string& scratchFolder() {
    static std::string folder = "/tmp";
    return folder;
}

// A file of this process in the scratch folder; `tag` tells the targets' files apart.
inline std::string scratchPath(const std::string& tag) {
    return scratchFolder() + "/tessaro-fuzz-" + tag + "-" + std::to_string(::getpid());
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeFile(path, bytes.data(), bytes.size());
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shipped language file, read once, without its comment lines and without the
// Chinese sections: the targets run in English, and every text lookup reads the whole
// file anew, so half the file is twice the executions.
inline const std::string& shippedLanguageFile() {
    static const std::string contents = [] {
        const std::string all = readFile(std::string(TESSARO_RESOURCES_DIR) + "/language.ini");
        std::string kept;
        bool keep = true;
        size_t at = 0;
        while (at < all.size()) {
            size_t end = all.find('\n', at);
            end = end == std::string::npos ? all.size() : end + 1;
            const std::string line = all.substr(at, end - at);
            at = end;
            if (!line.empty() && line[0] == '[') {
                const std::string name = line.substr(1, line.find(']') - 1);
                const bool chinese =
                    name == "chinese" || name.ends_with("_C") || name.ends_with("_ch");
                keep = !chinese;
            }
            if (keep && !(line.starts_with(";") && line.find('=') == std::string::npos))
                kept += line;
        }
        return kept;
    }();
    return contents;
}

// Puts a fresh copy of the shipped language file at `path`, so that marks an earlier run
// wrote cannot make a reproducer behave differently from the run that found it.
inline void resetLanguageFile(const std::string& path) {
    const std::string& contents = shippedLanguageFile();
    writeFile(path, reinterpret_cast<const uint8_t*>(contents.data()), contents.size());
}

}  // namespace fuzzing
