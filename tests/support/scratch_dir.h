#pragma once
// A private folder under the system's temporary folder, removed with everything in it
// when the test is done, and byte-exact access to the files in it.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

namespace testing_support {

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessaro-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!m_path.empty()) {
            // Give back write permission first so that read-only fixtures can go.
            for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
            std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
            std::filesystem::remove_all(m_path, ec);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

    // The names in the folder (not below it), hidden ones included.
    std::set<std::string> names() const { return namesIn(m_path); }
    static std::set<std::string> namesIn(const std::string& folder) {
        std::set<std::string> out;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            out.insert(entry.path().filename().string());
        return out;
    }

  private:
    std::string m_path;
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
