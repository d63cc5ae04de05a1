#include "files/settings_file.h"

#include <fstream>
#include <string_view>

#include "common/atomic_file.h"

namespace files {

namespace {

constexpr int kThrottleBase = 1000;
constexpr int kThrottleStep = 4;
constexpr const char* kSettingsExtension = ".cfg";

}  // namespace

std::optional<SettingsFile> SettingsFile::read(const std::string& path, SettingsFileError& error) {
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) {
        error = SettingsFileError::CannotOpen;
        return std::nullopt;
    }
    SettingsFile file;
    in.read(reinterpret_cast<char*>(file.bytes.data()), kSettingsFileSize);
    const bool full = static_cast<std::size_t>(in.gcount()) == kSettingsFileSize;
    // One more byte readable means the file is longer than a settings file.
    const bool longer = full && in.peek() != std::char_traits<char>::eof();
    if (!full || longer) {
        error = in.bad() ? SettingsFileError::CannotOpen : SettingsFileError::WrongSize;
        return std::nullopt;
    }
    error = SettingsFileError::None;
    return file;
}

common::AtomicWriteResult SettingsFile::write(const std::string& path) const {
    const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return common::replaceFile(path, contents);
}

std::string settingsFileNameFor(const std::string& chosenPath) {
    const std::size_t slash = chosenPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = chosenPath.find_last_of('.');
    std::string stem = chosenPath;
    if (dot != std::string::npos && dot >= nameStart)
        stem.erase(dot);
    return stem + kSettingsExtension;
}

uint8_t throttleToFileByte(int value) {
    return static_cast<uint8_t>(((value - kThrottleBase) / kThrottleStep) & 0xFF);
}

int throttleFromFileByte(uint8_t byte) {
    return kThrottleBase + kThrottleStep * byte;
}

}  // namespace files
