#include "files/settings_backup.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace files {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBackupPrefix = "family";

bool isBackupName(const std::string& name) {
    // yyyymmdd-hhmmss-family… .cfg
    return name.size() > 16 && name[8] == '-' && name[15] == '-' &&
           std::all_of(name.begin(), name.begin() + 8, ::isdigit) &&
           name.compare(16, 6, kBackupPrefix) == 0 && name.ends_with(".cfg");
}

void pruneBackups(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && isBackupName(name))
            names.push_back(name);
    }
    if (names.size() <= kBackupsKept)
        return;
    // The names sort by time; the oldest go.
    std::sort(names.begin(), names.end());
    for (std::size_t i = 0; i + kBackupsKept < names.size(); ++i) fs::remove(folder / names[i], ec);
}

}  // namespace

std::string backupFileName(std::time_t when, int family, int duplicate) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = std::string(stamp) + "-" + kBackupPrefix + std::to_string(family);
    if (duplicate > 1)
        name += "-" + std::to_string(duplicate);
    return name + ".cfg";
}

std::optional<std::string> saveBackup(const std::string& workingDirectory, const SettingsFile& file,
                                      int family, std::time_t when) {
    const fs::path folder = fs::path(workingDirectory) / kBackupFolder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return std::nullopt;
    std::string name = backupFileName(when, family);
    for (int duplicate = 2; fs::exists(folder / name, ec); ++duplicate) {
        name = backupFileName(when, family, duplicate);
    }
    if (!file.write((folder / name).string()))
        return std::nullopt;
    pruneBackups(folder);
    return std::string(kBackupFolder) + "/" + name;
}

}  // namespace files
