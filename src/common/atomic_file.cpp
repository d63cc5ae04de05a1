#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "common/input_file.h"

namespace common {
namespace {

// New files get the permissions a plain open(2) would give them, minus the umask.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// Room left in a file name for the temporary file's dot and suffix.
constexpr std::size_t kMaxTemporaryStem = 200;
constexpr const char* kTemporarySuffix = ".XXXXXX";

AtomicWriteResult failure(AtomicWriteStep step, int error, const std::string& what) {
    AtomicWriteResult result;
    result.failedStep = step;
    result.error = error;
    result.message = what + ": " + std::generic_category().message(error);
    return result;
}

// The process's umask without changing it where the system tells it (Linux since 4.7);
// elsewhere it is read by setting and restoring it.
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) &
                   kPermissionBits;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

constexpr int kMaxLinkDepth = 40;  // as the system's own limit on links followed

// The file a path names, through any symbolic links. A link that points nowhere is
// followed too, so its target is created and the link stays; a path that does not exist
// is its own target.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        if (char* resolved = ::realpath(target.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
            return target;
        }
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0)
            return target;
        link.resize(static_cast<std::size_t>(n));
        if (link.front() == '/') {
            target = link;
        } else {
            const std::size_t slash = target.find_last_of('/');
            target =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
    }
    return target;
}

struct PathParts {
    std::string folder;  // for opening: "." for a bare name, "/" for the root
    std::string prefix;  // the path up to and with its last "/", empty for a bare name
    std::string name;
};

PathParts splitPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", "", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(0, slash + 1),
            path.substr(slash + 1)};
}

// Flushes the folder's entry for the renamed file. A folder this process may not open,
// or a file system that cannot flush folders, gives no error: nothing more can be done.
int syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        error = errno;
    ::close(fd);
    return error;
}

// A file without any write bit counts as read-only even for a privileged user, like the
// read-only attribute of other systems; otherwise whether this process may write it.
bool isReadOnly(const std::string& path, const struct stat& st) {
    constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
    return (st.st_mode & kWriteBits) == 0 || ::access(path.c_str(), W_OK) != 0;
}

int writeAllAt(int fd, std::string_view bytes) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return errno;
    return writeAll(fd, bytes);
}

// Reads the whole of `fd` from its start.
int readWhole(int fd, std::string& out) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return errno;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

int flushFile(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

// A file with more than one name (hard links) is rewritten in place, so that it stays
// one file under all its names: a rename would give the written name a new file and
// leave the other names with the old contents. The old contents are first kept in a
// temporary copy beside it (flushed to the disk), and the space of the new contents is
// reserved before the first byte changes; a write that fails after that puts the old
// contents back. The copy goes when the new contents are on the disk, so a crash in the
// middle leaves it behind to recover from.
AtomicWriteResult rewriteInPlace(const std::string& target, const PathParts& parts,
                                 std::string_view contents) {
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return failure(AtomicWriteStep::Inspect, errno, "cannot open " + target);
    std::string old;
    if (const int error = readWhole(fd, old)) {
        ::close(fd);
        return failure(AtomicWriteStep::Inspect, error, "cannot read " + target);
    }

    std::string copy =
        parts.prefix + "." + parts.name.substr(0, kMaxTemporaryStem) + kTemporarySuffix;
    const int copyFd = ::mkstemp(copy.data());
    if (copyFd < 0) {
        const int error = errno;
        ::close(fd);
        return failure(AtomicWriteStep::CreateTemporary, error,
                       "cannot create a temporary file in " + parts.folder);
    }
    int error = writeAll(copyFd, old);
    if (error == 0)
        error = flushFile(copyFd);
    ::close(copyFd);
    if (error != 0) {
        ::unlink(copy.c_str());
        ::close(fd);
        return failure(AtomicWriteStep::Write, error, "cannot keep the old contents in " + copy);
    }

    // The room for the new contents, without changing the file yet.
    if (contents.size() > old.size() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(contents.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        error = errno;
        ::unlink(copy.c_str());
        ::close(fd);
        return failure(AtomicWriteStep::Write, error, "cannot write " + target);
    }

    AtomicWriteStep step = AtomicWriteStep::Write;
    error = writeAllAt(fd, contents);
    if (error == 0 && ::ftruncate(fd, static_cast<off_t>(contents.size())) != 0)
        error = errno;
    if (error == 0) {
        step = AtomicWriteStep::SyncFile;
        error = flushFile(fd);
    }
    if (error != 0) {
        // Put back what was there; the copy stays when even that fails.
        const bool restored = writeAllAt(fd, old) == 0 &&
                              ::ftruncate(fd, static_cast<off_t>(old.size())) == 0 &&
                              flushFile(fd) == 0;
        if (restored)
            ::unlink(copy.c_str());
        ::close(fd);
        return failure(step, error,
                       (step == AtomicWriteStep::Write ? "cannot write " : "cannot flush ") +
                           target +
                           (restored ? std::string() : " (its old contents are in " + copy + ")"));
    }
    // Flushed already: the new contents are on the disk whatever close says.
    ::close(fd);
    ::unlink(copy.c_str());
    if (const int folderError = syncFolder(parts.folder))
        return failure(AtomicWriteStep::SyncDirectory, folderError, "cannot flush " + parts.folder);
    return {};
}

}  // namespace

int writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

AtomicWriteResult replaceFile(const std::string& path, std::string_view contents) {
    if (path.empty())
        return failure(AtomicWriteStep::Inspect, ENOENT, "cannot write a file without a name");
    const std::string target = resolveTarget(path);

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return failure(AtomicWriteStep::Inspect, errno, "cannot look at " + target);
    if (exists && !S_ISREG(st.st_mode)) {
        // Never replaced by a file: a folder, a FIFO, a device or a socket.
        return failure(AtomicWriteStep::Inspect, S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                       "cannot replace " + target + ", which is " + fileKindName(st.st_mode));
    }
    if (exists && isReadOnly(target, st)) {
        return failure(AtomicWriteStep::Inspect, EACCES,
                       "cannot replace " + target + ", which is read-only");
    }
    const mode_t mode = exists ? (st.st_mode & kPermissionBits) : (kNewFileMode & ~currentUmask());

    const PathParts parts = splitPath(target);
    if (exists && st.st_nlink > 1)
        return rewriteInPlace(target, parts, contents);
    std::string temporary =
        parts.prefix + "." + parts.name.substr(0, kMaxTemporaryStem) + kTemporarySuffix;

    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return failure(AtomicWriteStep::CreateTemporary, errno,
                       "cannot create a temporary file in " + parts.folder);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);

    const auto abandon = [&](AtomicWriteStep step, int error, const std::string& what, bool open) {
        if (open)
            ::close(fd);
        ::unlink(temporary.c_str());
        return failure(step, error, what);
    };

    if (::fchmod(fd, mode) != 0)
        return abandon(AtomicWriteStep::SetPermissions, errno,
                       "cannot set the permissions of " + temporary, true);
    if (exists && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Not ours to give away: the contents still belong to the same path.
    }
    if (const int error = writeAll(fd, contents))
        return abandon(AtomicWriteStep::Write, error, "cannot write " + temporary, true);
    if (::fsync(fd) != 0)
        return abandon(AtomicWriteStep::SyncFile, errno, "cannot flush " + temporary, true);
    if (::close(fd) != 0)
        return abandon(AtomicWriteStep::Close, errno, "cannot close " + temporary, false);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return abandon(AtomicWriteStep::Rename, errno,
                       "cannot rename " + temporary + " to " + target, false);
    if (const int error = syncFolder(parts.folder))
        return failure(AtomicWriteStep::SyncDirectory, error, "cannot flush " + parts.folder);
    return {};
}

}  // namespace common
