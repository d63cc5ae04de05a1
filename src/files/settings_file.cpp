#include "files/settings_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "common/atomic_file.h"
#include "common/input_file.h"

namespace files {

namespace {

constexpr int kThrottleBase = 1000;
constexpr int kThrottleStep = 4;
constexpr const char* kSettingsExtension = ".cfg";

}  // namespace

std::optional<SettingsFile> SettingsFile::read(const std::string& path, SettingsFileError& error,
                                               std::string* reason) {
    // One byte more than a settings file is allowed in, so a longer file is told apart
    // from one that cannot be read at all.
    const common::InputFile in = common::readInputFile(path, kSettingsFileSize + 1);
    const bool wrongSize = (in.ok() && in.bytes.size() != kSettingsFileSize) ||
                           in.error == common::InputFileError::TooLarge;
    if (!in.ok() || wrongSize) {
        error = wrongSize ? SettingsFileError::WrongSize : SettingsFileError::CannotOpen;
        if (reason != nullptr) {
            *reason = wrongSize ? "'" + path + "' is no settings file: it holds not exactly " +
                                      std::to_string(kSettingsFileSize) + " bytes"
                                : in.message;
        }
        errno = in.errorNumber;
        return std::nullopt;
    }
    SettingsFile file;
    std::copy(in.bytes.begin(), in.bytes.end(), file.bytes.begin());
    error = SettingsFileError::None;
    return file;
}

common::AtomicWriteResult SettingsFile::write(const std::string& path) const {
    const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return common::replaceFile(path, contents);
}

std::optional<std::string> settingsFileNameFor(const std::string& chosenPath, std::string* reason) {
    const auto refuse = [&](const std::string& why) -> std::optional<std::string> {
        if (reason != nullptr)
            *reason = why;
        return std::nullopt;
    };
    if (chosenPath.empty())
        return refuse("no file name was given for the settings file");
    const std::size_t slash = chosenPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = chosenPath.substr(nameStart);
    struct stat st {};
    if (name.empty() || name == "." || name == ".." ||
        (::stat(chosenPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        return refuse("'" + chosenPath + "' is a folder; a settings file needs a name");
    }
    const std::size_t dot = name.find_last_of('.');
    if (name.substr(0, dot).find_first_not_of('.') == std::string::npos)
        return refuse("'" + chosenPath + "' is only an extension; a settings file needs a name");
    const std::string stem =
        dot == std::string::npos ? chosenPath : chosenPath.substr(0, nameStart + dot);
    return stem + kSettingsExtension;
}

uint8_t throttleToFileByte(int value) {
    return static_cast<uint8_t>(((value - kThrottleBase) / kThrottleStep) & 0xFF);
}

int throttleFromFileByte(uint8_t byte) {
    return kThrottleBase + kThrottleStep * byte;
}

}  // namespace files
