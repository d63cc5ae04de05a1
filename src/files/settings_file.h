#pragma once
// The settings file (*.cfg): exactly 15 bytes, one per control of the parameter form, in
// the order below. Bytes hold list positions (0xFF for "no selection") or throttle
// bytes. There is no header and no family code, so a file applies the same positions to
// whatever family the form shows.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/atomic_file.h"

namespace files {

inline constexpr std::size_t kSettingsFileSize = 15;
inline constexpr uint8_t kNoSelectionByte = 0xFF;

enum class SettingsFileError { None, CannotOpen, WrongSize, CannotWrite };

class SettingsFile {
  public:
    std::array<uint8_t, kSettingsFileSize> bytes{};

    // Reads a file of exactly 15 bytes. CannotOpen when it cannot be read (also a folder,
    // FIFO or device, which is never waited on), WrongSize for any other size (also for an
    // empty file). `reason`, when given, gets why, naming the file; errno holds the
    // system's error, 0 where there is none.
    static std::optional<SettingsFile> read(const std::string& path, SettingsFileError& error,
                                            std::string* reason = nullptr);
    // Writes the 15 bytes through common::replaceFile: a failed export never destroys or
    // damages the old file, and leaves no temporary file behind.
    // The result names the failing step and the system's reason.
    common::AtomicWriteResult write(const std::string& path) const;

    friend bool operator==(const SettingsFile&, const SettingsFile&) = default;
};

// File name rule of the export: the name without its folder, its extension (from the
// last dot of the name on) replaced by ".cfg". "car" and "car.cfg" give "car.cfg",
// "race.old" gives "race.cfg". The folder part of `chosenPath` is kept.
//
// Nothing, with the reason in `reason` (when given), for a choice that names no file: an
// empty one, a name that is only an extension (".hidden", ".cfg"), one ending in "/" or
// naming "." or "..", and an existing folder.
std::optional<std::string> settingsFileNameFor(const std::string& chosenPath,
                                               std::string* reason = nullptr);

// Throttle bytes 3 to 5. Export keeps (v - 1000) / 4 truncated toward zero, low 8 bits,
// so files mean what they always meant; import shows 1000 + 4 × byte, its exact inverse
// over the spins' ranges (1000 … 2020 in steps of 4).
uint8_t throttleToFileByte(int value);
int throttleFromFileByte(uint8_t byte);

}  // namespace files
