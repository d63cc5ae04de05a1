#include "files/esc_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/atomic_file.h"
#include "common/hex.h"
#include "common/input_file.h"

namespace files {

namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "# Tessaro ESC backup";
constexpr const char* kNamePrefix = "family";
constexpr std::size_t kVersionBytes = 7;
constexpr std::size_t kMaxSettingsBytes = 200;  // no settings answer is longer

bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    std::istringstream in(text);
    std::string word;
    bytes.clear();
    while (in >> word) {
        if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
            !std::isxdigit(static_cast<unsigned char>(word[1])))
            return false;
        bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return true;
}

bool parseByte(const std::string& text, uint8_t& value) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const unsigned long parsed = std::stoul(text);
    if (parsed > 255)
        return false;
    value = static_cast<uint8_t>(parsed);
    return true;
}

std::string localTime(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

bool isBackupName(const std::string& name) {
    // yyyymmdd-hhmmss-family… .esc
    return name.size() > 16 && name[8] == '-' && name[15] == '-' &&
           std::all_of(name.begin(), name.begin() + 8, ::isdigit) &&
           name.compare(16, std::strlen(kNamePrefix), kNamePrefix) == 0 &&
           name.ends_with(kEscBackupExtension);
}

// "yyyymmdd-hhmmss": the time every backup name starts with.
constexpr std::size_t kStampLength = 15;

// The number of a backup among those of its second: 1 for "…-familyN.esc", k for
// "…-familyN-k.esc".
int duplicateNumber(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - std::strlen(kEscBackupExtension));
    const std::size_t dash = stem.rfind('-');
    // The dash right after the time comes before "family"; a later one starts the number.
    if (dash == std::string::npos || dash <= kStampLength)
        return 1;
    return std::max(1, std::atoi(stem.c_str() + dash + 1));
}

std::vector<std::string> backupNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && isBackupName(name))
            names.push_back(name);
    }
    // Oldest first: by the time in the name, then by the number a later backup in the
    // same second gets ("…-2.esc" after the first, "…-10.esc" after "…-9.esc").
    const auto order = [](const std::string& name) {
        return std::make_pair(name.substr(0, kStampLength), duplicateNumber(name));
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return order(a) < order(b) || (order(a) == order(b) && a < b);
    });
    return names;
}

std::string systemReason(int error) {
    return std::strerror(error);
}

// Writes a new file that must not exist yet, completely and to the disk.
bool writeNewFile(const fs::path& path, const std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + systemReason(errno);
        return false;
    }
    if (const int failed = common::writeAll(fd, text); failed != 0) {
        error = "cannot write " + path.string() + ": " + systemReason(failed);
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = "cannot write " + path.string() + ": " + systemReason(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string formatEscBackup(const EscBackup& backup) {
    std::ostringstream out;
    out << kHeader << "\n"
        << "format=" << kEscBackupFormat << "\n";
    if (!backup.taken.empty())
        out << "taken=" << backup.taken << "\n";
    out << "family=" << int(backup.family) << "\n"
        << "variant=" << int(backup.variant) << "\n";
    if (backup.version)
        out << "version=" << common::hexBytes(*backup.version) << "\n";
    out << "settings=" << common::hexBytes(backup.settings) << "\n";
    return out.str();
}

std::optional<EscBackup> parseEscBackup(const std::string& text, std::string& error) {
    EscBackup backup;
    bool format = false, family = false, variant = false, settings = false;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t equals = line.find('=');
        const std::string where = "line " + std::to_string(number);
        if (equals == std::string::npos) {
            error = where + " is not key=value";
            return std::nullopt;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        std::vector<uint8_t> bytes;
        if (key == "format") {
            if (value != std::to_string(kEscBackupFormat)) {
                error = "backup format " + value + " is not known (this program reads format " +
                        std::to_string(kEscBackupFormat) + ")";
                return std::nullopt;
            }
            format = true;
        } else if (key == "taken") {
            backup.taken = value;
        } else if (key == "family" || key == "variant") {
            uint8_t byte = 0;
            if (!parseByte(value, byte)) {
                error = where + ": " + key + " is not a number from 0 to 255";
                return std::nullopt;
            }
            (key == "family" ? backup.family : backup.variant) = byte;
            (key == "family" ? family : variant) = true;
        } else if (key == "version") {
            if (!parseHexBytes(value, bytes) || bytes.size() != kVersionBytes) {
                error = where + ": version is not 7 hexadecimal bytes";
                return std::nullopt;
            }
            std::array<uint8_t, kVersionBytes> version{};
            std::copy(bytes.begin(), bytes.end(), version.begin());
            backup.version = version;
        } else if (key == "settings") {
            if (!parseHexBytes(value, bytes) || bytes.empty() || bytes.size() > kMaxSettingsBytes) {
                error = where + ": settings are not 1 to 200 hexadecimal bytes";
                return std::nullopt;
            }
            backup.settings = std::move(bytes);
            settings = true;
        } else {
            error = where + ": unknown key '" + key + "'";
            return std::nullopt;
        }
    }
    if (!format || !family || !variant || !settings) {
        error = std::string("not a complete backup: ") +
                (!format    ? "format"
                 : !family  ? "family"
                 : !variant ? "variant"
                            : "settings") +
                " is missing";
        return std::nullopt;
    }
    return backup;
}

std::optional<EscBackup> readEscBackup(const std::string& path, std::string& error) {
    const common::InputFile in = common::readInputFile(path, kEscBackupMaxBytes);
    if (in.error == common::InputFileError::TooLarge) {
        error =
            path + " is not a backup: larger than " + std::to_string(kEscBackupMaxBytes) + " bytes";
        return std::nullopt;
    }
    if (!in.ok()) {
        error = in.message;
        return std::nullopt;
    }
    const std::string& text = in.bytes;
    std::string reason;
    auto backup = parseEscBackup(text, reason);
    if (!backup)
        error = path + " is not a backup: " + reason;
    return backup;
}

std::optional<std::string> saveEscBackup(const std::string& workingDirectory, EscBackup backup,
                                         std::time_t when, std::string& error) {
    const fs::path folder = fs::path(workingDirectory) / kEscBackupFolder;
    std::error_code ec;
    std::error_code created;
    fs::create_directories(folder, created);
    if (!fs::is_directory(folder, ec)) {
        // The reason the folder could not be made, not that it is missing now.
        const bool inTheWay = fs::exists(folder, ec);
        error = "cannot create the folder " + folder.string() + ": " +
                (inTheWay  ? systemReason(EEXIST) + " (a file of that name is in the way)"
                 : created ? created.message()
                           : systemReason(ENOENT));
        return std::nullopt;
    }
    if (backup.taken.empty())
        backup.taken = localTime(when, "%Y-%m-%d %H:%M:%S");
    const std::string stem =
        localTime(when, "%Y%m%d-%H%M%S") + "-" + kNamePrefix + std::to_string(backup.family);
    const std::string text = formatEscBackup(backup);
    // A later backup in the same second, of any ESC, numbers on after the highest number
    // of that second, so that it sorts after every earlier one even when the oldest were
    // removed.
    int duplicate = 0;
    for (const std::string& name : backupNames(folder)) {
        if (name.compare(0, kStampLength, stem, 0, kStampLength) == 0)
            duplicate = std::max(duplicate, duplicateNumber(name));
    }
    for (++duplicate;; ++duplicate) {
        const std::string name =
            stem + (duplicate > 1 ? "-" + std::to_string(duplicate) : "") + kEscBackupExtension;
        if (fs::exists(folder / name, ec))
            continue;
        if (!writeNewFile(folder / name, text, error))
            return std::nullopt;
        const std::vector<std::string> names = backupNames(folder);
        for (std::size_t i = 0; i + kEscBackupsKept < names.size(); ++i)
            fs::remove(folder / names[i], ec);
        return std::string(kEscBackupFolder) + "/" + name;
    }
}

std::vector<std::string> listEscBackups(const std::string& workingDirectory) {
    std::vector<std::string> names = backupNames(fs::path(workingDirectory) / kEscBackupFolder);
    std::reverse(names.begin(), names.end());
    for (std::string& name : names) name = std::string(kEscBackupFolder) + "/" + name;
    return names;
}

}  // namespace files
