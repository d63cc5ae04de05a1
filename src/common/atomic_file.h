#pragma once
// Replacing a file's contents so that a failure at any point leaves either the old file
// or the new one, never a mixture and never no file: the new contents go to a uniquely
// named temporary file in the target's folder, are written and flushed to the disk, and
// the temporary file is then renamed over the target and the folder flushed too. (A file
// with several hard links is the exception; see replaceFile.)
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
// A symbolic link is followed, also one that points to nothing yet: the file it points to
// gets the contents and the link stays. An existing file keeps its permission bits (and
// its owner and group where this process may set them); a new file gets 0666 minus the
// umask, as open(2) would give it. On any failure before the rename the temporary file is
// removed and the target is left exactly as it was.
//
// Refused at the Inspect step, with the target left alone: a target that is no regular
// file (EISDIR for a folder, EINVAL for a FIFO, device or socket), and a read-only one
// (EACCES: no write permission bit at all, even for a privileged user, or not writable
// for this process).
//
// A file with more than one name (hard links) is rewritten in place instead, so that all
// its names keep naming the one file: its old contents are kept in a temporary copy beside
// it first and put back when a write fails, and the copy is removed once the new contents
// are on the disk (a crash in the middle leaves the copy, not a lost file).
AtomicWriteResult replaceFile(const std::string& path, std::string_view contents);

// Writes all of `bytes` to `fd`, going on after short writes and interruptions. 0 when
// everything was written, else the errno of the write that failed (ENOSPC for a write
// that wrote nothing).
int writeAll(int fd, std::string_view bytes);

}  // namespace common
