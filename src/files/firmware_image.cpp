#include "files/firmware_image.h"

#include <cerrno>

#include "common/input_file.h"

namespace files {

ImageLoadResult FirmwareImage::load(const std::string& path, std::string* reason) {
    // Read aside, at most one byte past the largest image, so an oversized file is
    // recognised without touching the store; a FIFO or device is refused, never waited on.
    const common::InputFile in =
        common::readInputFile(path, static_cast<std::size_t>(kMaxImageLength));
    if (in.error == common::InputFileError::TooLarge)
        return ImageLoadResult::TooLong;
    if (!in.ok()) {
        if (reason != nullptr)
            *reason = in.message;
        errno = in.errorNumber;
        return ImageLoadResult::CannotOpen;
    }
    const auto length = static_cast<int32_t>(in.bytes.size());
    if (length <= common::kUpdateBlockSize)
        return ImageLoadResult::TooShort;
    for (std::size_t i = 0; i < in.bytes.size(); ++i)
        m_imageData[i] = static_cast<uint8_t>(static_cast<uint8_t>(in.bytes[i]) ^ kImageKey);
    m_imageLength = length;
    return ImageLoadResult::Loaded;
}

}  // namespace files
