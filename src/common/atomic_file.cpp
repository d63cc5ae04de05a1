#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

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

// The file a path names, through any symbolic links; the path itself for a file that
// does not exist yet (or a link that points nowhere, which is then replaced).
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
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
    const mode_t mode = exists ? (st.st_mode & kPermissionBits) : (kNewFileMode & ~currentUmask());

    const PathParts parts = splitPath(target);
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
