#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace common {
namespace {

constexpr std::size_t kChunk = 65536;

void refuse(InputFile& result, InputFileError error, int errorNumber, const std::string& path,
            const std::string& why) {
    result.error = error;
    result.errorNumber = errorNumber;
    result.bytes.clear();
    result.message = "cannot read '" + path + "': " + why;
}

std::string systemText(int error) {
    return std::generic_category().message(error);
}

}  // namespace

const char* fileKindName(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISREG(mode))
        return "a regular file";
    return "no regular file";
}

int openInputFile(const std::string& path, InputFile& result) {
    if (path.empty()) {
        refuse(result, InputFileError::Missing, ENOENT, path, "no file name was given");
        return -1;
    }
    // Non-blocking and without taking a terminal: a FIFO with no writer or a device that
    // waits for a carrier must not hold the program up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        refuse(result, error == ENOENT ? InputFileError::Missing : InputFileError::Unreadable,
               error, path, systemText(error));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        refuse(result, InputFileError::Unreadable, error, path, systemText(error));
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        refuse(result, InputFileError::NotRegular, 0, path,
               std::string("it is ") + fileKindName(st.st_mode) + ", not a regular file");
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        refuse(result, InputFileError::Unreadable, error, path, systemText(error));
        return -1;
    }
    return fd;
}

InputFile readInputFile(const std::string& path, std::size_t maxBytes) {
    InputFile result;
    const int fd = openInputFile(path, result);
    if (fd < 0)
        return result;
    ::fstat(fd, &result.status);
    const struct stat& st = result.status;
    const std::string tooLarge =
        "it is larger than " + std::to_string(maxBytes) + " bytes, more than such a file holds";
    if (st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        refuse(result, InputFileError::TooLarge, 0, path, tooLarge);
        return result;
    }
    // One byte past the bound is asked for, so a file that grew since fstat is noticed.
    std::string buffer;
    for (;;) {
        const std::size_t room = maxBytes + 1 - buffer.size();
        if (room == 0)
            break;
        const std::size_t offset = buffer.size();
        buffer.resize(offset + (room < kChunk ? room : kChunk));
        const ssize_t n = ::read(fd, buffer.data() + offset, buffer.size() - offset);
        if (n < 0 && errno == EINTR) {
            buffer.resize(offset);
            continue;
        }
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            refuse(result, InputFileError::Unreadable, error, path, systemText(error));
            return result;
        }
        buffer.resize(offset + static_cast<std::size_t>(n));
        if (n == 0)
            break;
    }
    ::close(fd);
    if (buffer.size() > maxBytes) {
        refuse(result, InputFileError::TooLarge, 0, path, tooLarge);
        return result;
    }
    result.bytes = std::move(buffer);
    return result;
}

}  // namespace common
