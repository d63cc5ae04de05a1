#pragma once
// Backups of an ESC's settings, kept before anything overwrites them (factory defaults,
// an import, new firmware, a restore). Unlike a 15-byte settings file, a backup holds the
// ESC's settings answer exactly as it arrived, with the identity of the ESC it came from,
// so it can be written back byte for byte.
//
// The file is text, one "key=value" a line, "#" starting a comment:
//
//   # Tessaro ESC backup
//   format=1
//   taken=2026-12-08 12:30:05
//   family=3
//   variant=1
//   version=01 03 01 02 10 0C 05
//   settings=02 02 13 18 E0 7C 05 00 03 00 00 04 05 04
//
// `version` is the ESC's 7-byte version reply (absent for an ESC that has none), and
// `settings` the settings answer in hexadecimal bytes, as long as it came.

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace files {

inline constexpr const char* kEscBackupFolder = "backups";
inline constexpr const char* kEscBackupExtension = ".esc";
inline constexpr std::size_t kEscBackupsKept = 50;
inline constexpr int kEscBackupFormat = 1;
// Larger files are not backups: nothing is read past this.
inline constexpr std::size_t kEscBackupMaxBytes = 4096;

struct EscBackup {
    uint8_t family = 0;
    uint8_t variant = 0;
    std::optional<std::array<uint8_t, 7>> version;  // the version reply, when the ESC sent one
    std::vector<uint8_t> settings;                  // the settings answer as it arrived
    std::string taken;                              // local time, "YYYY-MM-DD hh:mm:ss"

    bool operator==(const EscBackup&) const = default;
};

// The text of a backup, and back. `parseEscBackup` gives nothing, with the reason in
// `error`, for text that is not a complete backup of a format it knows.
std::string formatEscBackup(const EscBackup& backup);
std::optional<EscBackup> parseEscBackup(const std::string& text, std::string& error);

// Reads a backup file; nothing, with the reason (the system's, for a file that cannot be
// read), otherwise.
std::optional<EscBackup> readEscBackup(const std::string& path, std::string& error);

// Writes the backup into `workingDirectory`/backups (created when missing) under a new
// name "YYYYMMDD-hhmmss-familyN.esc" for `when`, and removes the oldest backups beyond the
// newest 50. Returns the path relative to the working directory ("backups/…"); nothing,
// with the system's reason in `error`, when it could not be written completely.
std::optional<std::string> saveEscBackup(const std::string& workingDirectory, EscBackup backup,
                                         std::time_t when, std::string& error);

// The backups in `workingDirectory`/backups, newest first, as paths relative to it.
std::vector<std::string> listEscBackups(const std::string& workingDirectory);

}  // namespace files
