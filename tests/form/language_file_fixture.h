#pragma once
// A language file written to a fresh temporary directory for one test, made the
// program's language file while the test runs.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "i18n/ui_text.h"

namespace testing_support {

class TempLanguageFile {
  public:
    TempLanguageFile() {
        static std::atomic<int> counter{0};
        m_dir = std::filesystem::temp_directory_path() /
                ("tessaro_form_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(m_dir);
        i18n::g_languageFilePath = path();
        i18n::g_chineseSelected = 0;
    }
    ~TempLanguageFile() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    TempLanguageFile(const TempLanguageFile&) = delete;
    TempLanguageFile& operator=(const TempLanguageFile&) = delete;

    std::string path() const { return (m_dir / "language.ini").string(); }

    void write(const std::string& content) const {
        std::ofstream out(path(), std::ios::binary | std::ios::trunc);
        out << content;
    }

    std::string read() const {
        std::ifstream in(path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void remove() const { std::filesystem::remove(path()); }

  private:
    std::filesystem::path m_dir;
};

}  // namespace testing_support
