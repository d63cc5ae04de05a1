#include "devices/device_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace devices {

namespace {

constexpr mode_t kLockFileMode = 0644;
constexpr size_t kMaxHolderText = 256;

std::string ownProgramName() {
    // The kernel's name of this process (at most 15 characters), as ps shows it.
    const int fd = ::open("/proc/self/comm", O_RDONLY | O_CLOEXEC);
    std::string name;
    if (fd >= 0) {
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            name.assign(buffer, static_cast<size_t>(n));
        ::close(fd);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
    return name;
}

// "PID NAME\n" as this process writes it into its lock file.
transport::DeviceHolder parseHolder(const std::string& text) {
    transport::DeviceHolder holder;
    size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        holder.pid = holder.pid * 10 + (text[i] - '0');
        ++i;
        if (holder.pid > 0x7FFFFFFF)
            return {};
    }
    if (i < text.size() && text[i] == ' ')
        ++i;
    const size_t end = text.find('\n', i);
    holder.program = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    return holder;
}

std::string readAll(int fd) {
    std::string text(kMaxHolderText, '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

bool isWritableDirectory(const char* path) {
    return path != nullptr && *path != '\0' && ::access(path, W_OK | X_OK) == 0;
}

}  // namespace

std::string lockDirectory() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); isWritableDirectory(runtime))
        return runtime;
    if (isWritableDirectory("/run/lock"))
        return "/run/lock";
    return "/tmp";
}

std::string lockFileName(std::string_view key) {
    std::string name = "tessaro-";
    for (const char c : key) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return name + ".lock";
}

std::optional<transport::DeviceHolder> DeviceLock::heldBy(const std::string& directory,
                                                          std::string_view key,
                                                          const char* lockTable) {
    const std::string path = directory + "/" + lockFileName(key);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    struct stat file {};
    std::optional<transport::DeviceHolder> holder;
    if (::fstat(fd, &file) == 0) {
        // Lines such as "1: FLOCK  ADVISORY  WRITE 4242 08:02:131090 0 EOF"; a waiter's
        // line has "->" after the number.
        std::ifstream table(lockTable);
        std::string line;
        while (!holder && std::getline(table, line)) {
            char kind[16] = {};
            char mode[16] = {};
            char access[16] = {};
            long long pid = 0;
            unsigned int major = 0;
            unsigned int minor = 0;
            unsigned long long inode = 0;
            const size_t colon = line.find(':');
            if (colon == std::string::npos ||
                std::sscanf(line.c_str() + colon + 1, "%15s %15s %15s %lld %x:%x:%llu", kind, mode,
                            access, &pid, &major, &minor, &inode) != 7)
                continue;
            if (std::string_view(kind) == "FLOCK" && inode == file.st_ino &&
                major == ::major(file.st_dev) && minor == ::minor(file.st_dev))
                holder = parseHolder(readAll(fd));
        }
    }
    ::close(fd);
    return holder;
}

DeviceLock::~DeviceLock() {
    release();
}

DeviceLock::Result DeviceLock::take(const std::string& directory, std::string_view key) {
    release();
    m_holder = {};
    const std::string path = directory + "/" + lockFileName(key);
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
    if (fd < 0 && errno == EACCES) {
        // Another user's file: it can still be locked (flock needs no write access).
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0)
        return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_holder = parseHolder(readAll(fd));
            ::close(fd);
            return Result::Busy;
        }
        ::close(fd);
        return Result::Unavailable;
    }
    if (writable) {
        const std::string text = std::to_string(::getpid()) + " " + ownProgramName() + "\n";
        if (::ftruncate(fd, 0) == 0) {
            const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
            (void)written;  // the lock holds without its note
        }
    }
    m_fd = fd;
    return Result::Taken;
}

void DeviceLock::release() {
    if (m_fd < 0)
        return;
    // The file stays: removing it would let a process that opened it before the removal
    // lock a file nobody else sees any more.
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

LockingPort::LockingPort(std::unique_ptr<transport::HidPort> inner,
                         std::function<std::string(const std::string& path)> lockKey,
                         std::string directory)
    : m_inner(std::move(inner)), m_lockKey(std::move(lockKey)), m_directory(std::move(directory)) {}

LockingPort::~LockingPort() {
    if (m_inner->isOpen())
        m_inner->close();
    m_lock.release();
}

int LockingPort::open(uint32_t index, uint16_t vendorId, uint16_t productId,
                      uint32_t inputBuffers) {
    if (m_inner->isOpen())
        close();
    m_refusedBy.reset();
    std::string path;
    const int found = m_inner->devicePath(index, vendorId, productId, path);
    if (found != transport::kHidSuccess)
        return found;
    const std::string key = m_lockKey(path);
    if (!key.empty()) {
        const std::string directory = m_directory.empty() ? lockDirectory() : m_directory;
        if (m_lock.take(directory, key) == DeviceLock::Result::Busy) {
            m_refusedBy = m_lock.holder();
            return transport::kHidDeviceBusy;
        }
    }
    const int status = m_inner->open(index, vendorId, productId, inputBuffers);
    if (!m_inner->isOpen())
        m_lock.release();
    return status;
}

void LockingPort::close() {
    m_inner->close();
    m_lock.release();
}

}  // namespace devices
