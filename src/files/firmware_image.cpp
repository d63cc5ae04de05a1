#include "files/firmware_image.h"

#include <fstream>
#include <vector>

namespace files {

ImageLoadResult FirmwareImage::load(const std::string& path) {
    if (path.empty())
        return ImageLoadResult::CannotOpen;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ImageLoadResult::CannotOpen;
    // Read into a scratch buffer one byte past the largest image, so an oversized file
    // is recognised without touching the store.
    std::vector<uint8_t> scratch(kMaxImageLength + 1);
    in.read(reinterpret_cast<char*>(scratch.data()), static_cast<std::streamsize>(scratch.size()));
    if (in.bad())
        return ImageLoadResult::CannotOpen;
    const auto length = static_cast<int32_t>(in.gcount());
    if (length > kMaxImageLength)
        return ImageLoadResult::TooLong;
    if (length <= common::kUpdateBlockSize)
        return ImageLoadResult::TooShort;
    for (std::size_t i = 0; i < static_cast<std::size_t>(length); ++i)
        m_imageData[i] = static_cast<uint8_t>(scratch[i] ^ kImageKey);
    m_imageLength = length;
    return ImageLoadResult::Loaded;
}

}  // namespace files
