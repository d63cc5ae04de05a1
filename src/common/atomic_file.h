#pragma once
// Replacing a file's contents so that a failure at any point leaves either the old file
// or the new one, never a mixture and never no file: the new contents go to a uniquely
// named temporary file in the target's folder, are written and flushed to the disk, and
// the temporary file is then renamed over the target and the folder flushed too.
//
// The bottom of the program: standard library and POSIX only, no other module.

#include <string>
#include <string_view>

namespace common {

// The step of a replacement that failed.
enum class AtomicWriteStep {
    None,             // nothing failed
    Inspect,          // looking at the target (a parent that is no folder, no access …)
    CreateTemporary,  // creating the temporary file in the target's folder
    SetPermissions,   // giving the temporary file the target's permissions
    Write,            // writing the contents
    SyncFile,         // flushing the temporary file to the disk
    Close,            // closing the temporary file
    Rename,           // renaming it over the target
    SyncDirectory,    // flushing the folder: the new contents are in place, but may not
                      // survive a crash
};

struct AtomicWriteResult {
    AtomicWriteStep failedStep = AtomicWriteStep::None;
    int error = 0;        // errno of the failed step; 0 on success
    std::string message;  // what failed, on which path, and the system's text for `error`

    bool ok() const { return failedStep == AtomicWriteStep::None; }
    explicit operator bool() const { return ok(); }
};

// Replaces the contents of the file at `path` with `contents`, or creates it.
//
// A symbolic link is followed: the file it points to gets the contents and the link
// stays. An existing file keeps its permission bits (and its owner and group where this
// process may set them); a new file gets 0666 minus the umask, as open(2) would give it.
// On any failure before the rename the temporary file is removed and the target is left
// exactly as it was.
AtomicWriteResult replaceFile(const std::string& path, std::string_view contents);

// Writes all of `bytes` to `fd`, going on after short writes and interruptions. 0 when
// everything was written, else the errno of the write that failed (ENOSPC for a write
// that wrote nothing).
int writeAll(int fd, std::string_view bytes);

}  // namespace common
