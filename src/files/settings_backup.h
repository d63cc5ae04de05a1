#pragma once
// Backups of the form's choices, taken before the ESC's settings are overwritten by the
// factory defaults or by new firmware: settings files in backups/ of the working
// directory, named by date, time and ESC family, of which the newest 50 are kept.

#include <ctime>
#include <optional>
#include <string>

#include "files/settings_file.h"

namespace files {

inline constexpr const char* kBackupFolder = "backups";
inline constexpr std::size_t kBackupsKept = 50;

// "20261208-073912-family3.cfg" for local time `when` and family 3; a second backup in
// the same second gets "-2", "-3" … before the extension.
std::string backupFileName(std::time_t when, int family, int duplicate = 1);

// Writes `file` into `workingDirectory`/backups (created when missing) and removes the
// oldest backups beyond the newest 50. Returns the path written relative to the working
// directory ("backups/…"), or nothing when it could not be written.
std::optional<std::string> saveBackup(const std::string& workingDirectory, const SettingsFile& file,
                                      int family, std::time_t when);

}  // namespace files
