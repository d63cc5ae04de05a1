#pragma once
// Reading a file that came from outside (a language file, a settings file, a firmware
// image, a backup) without ever waiting on it and without reading more than it may hold.
//
// The file is opened non-blocking, so that a FIFO or a device does not hold the open up,
// looked at through the opened descriptor (not the path, which could change in between),
// refused unless it is a regular file, and only then read, blocking again. A file larger
// than the bound given for its kind is refused before a byte of it is read.
//
// The bottom of the program: standard library and POSIX only, no other module.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace common {

enum class InputFileError {
    None,
    Missing,     // no such file (also an empty path, or a symbolic link to nothing)
    NotRegular,  // a folder, a FIFO, a device or a socket
    TooLarge,    // larger than the bound for its kind
    Unreadable,  // the system refused to open or read it (permissions, I/O error …)
};

struct InputFile {
    InputFileError error = InputFileError::None;
    int errorNumber = 0;  // errno of the failed call, for Missing and Unreadable
    std::string bytes;    // the contents, when error is None
    // What fstat told of the opened file, when error is None or TooLarge.
    struct stat status {};
    // Why it was refused, naming the file: "cannot read 'x': it is a FIFO, not a regular
    // file". Empty when error is None.
    std::string message;

    bool ok() const { return error == InputFileError::None; }
};

// Reads the regular file at `path`, at most `maxBytes` bytes of it; a file with more is
// refused as TooLarge (also one that grows past the bound while it is read).
InputFile readInputFile(const std::string& path, std::size_t maxBytes);

// Opens the regular file at `path` for reading as readInputFile does and gives its
// descriptor (blocking again, close-on-exec), or -1 with `result` telling why; `result`
// is left alone on success. For a reader that needs the descriptor itself.
int openInputFile(const std::string& path, InputFile& result);

// What kind of file a st_mode is, in words: "a folder", "a FIFO", "a device", "a socket".
const char* fileKindName(mode_t mode);

}  // namespace common
