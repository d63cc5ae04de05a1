#pragma once
// The firmware image the update sends: the chosen file's bytes with the image key
// removed. The file has no header or checksum; every byte is stored XOR 0xB7.

#include <array>
#include <cstdint>
#include <string>

#include "common/esc_bytes.h"

namespace files {

inline constexpr uint8_t kImageKey = 0xB7;
inline constexpr std::size_t kImageCapacity = 65536;
// The length travels as 16 bits and the transfer needs more than one block
// (common::kUpdateBlockSize).
inline constexpr int32_t kMaxImageLength = 65535;

enum class ImageLoadResult {
    Loaded,
    CannotOpen,  // also for an empty path: nothing changed
    TooLong,     // more than 65,535 bytes: refused, nothing changed
    TooShort,    // 512 bytes or fewer: refused, nothing changed
};

class FirmwareImage {
  public:
    // Loads the file at `path`. Only a successful load changes the image; bytes of an
    // earlier, longer image stay behind the end of a shorter one. For CannotOpen,
    // `reason` (when given) gets why, naming the file: also a folder, FIFO or device,
    // which is refused and never waited on.
    ImageLoadResult load(const std::string& path, std::string* reason = nullptr);

    const uint8_t* data() const { return m_imageData.data(); }
    int32_t length() const { return m_imageLength; }

    std::array<uint8_t, kImageCapacity> m_imageData{};
    int32_t m_imageLength = 0;
};

}  // namespace files
