#pragma once
// Profile (INI) files with the semantics of the Windows profile functions that users of
// language files rely on: case-insensitive names, values cut to 259 characters, decimal
// or 0x integers, and writes that change only the written key's line.
//
// Reading: a line "[name]" opens a section (the last "]" closes the name); a line with
// "=" gives a key; any other line, also one starting with ";" or "#", is no comment but
// an ordinary line ("; K=v" defines the key "; K"). Names are trimmed and compared
// without regard to ASCII case; values are trimmed and lose one matching pair of outer
// double or single quotes. The first of duplicate keys wins, and the first section of a
// name hides later ones. Lines end in CRLF, LF or CR. Keys before the first header form
// the unnamed section "". A file with a UTF-16LE/BE BOM is read as UTF-16; any other file
// line by line: a line of valid UTF-8 (after an optional UTF-8 BOM) as UTF-8, any other
// line as GB18030, so a line in another encoding added by hand spoils only its own text.
// All strings of this interface are UTF-8.
// "Characters" are Unicode code points.
//
// Writing: only the key's line changes (or one line is added after the section's last
// non-blank line, with a header at the end of the file for a new section); every other
// byte, the encoding, the BOM and the line endings stay; a replaced value keeps its line's
// encoding and key bytes, and added lines take the encoding most of the file's non-ASCII
// lines are in. A line holding only the key's name (no "=") is taken over by a write of
// that key. Writing the value already there leaves the file untouched. The new contents go to a
// temporary file beside the old one, renamed over it with the old permissions, so a failed write
// never loses the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace i18n {

// Larger files are no language files: they are neither read (every key reads as
// missing) nor written. The bound keeps a runaway file from filling the memory; a file
// of some megabytes (a long hand-kept one) is still read, once, into the parsed copy.
inline constexpr std::size_t kMaxProfileFileBytes = 64 * 1024 * 1024;

// Capacity of a profile string buffer; at most kProfileCapacity - 1 characters arrive.
inline constexpr std::size_t kProfileCapacity = 260;

class ProfileFile {
  public:
    // The value of `key` in `section` of the file at `path`, as UTF-8, cut to
    // capacity - 1 characters; `fallback` when the file, section or key is missing.
    static std::string readString(const std::string& path, std::string_view section,
                                  std::string_view key, std::string_view fallback,
                                  std::size_t capacity = kProfileCapacity);
    // The value read as an integer by parseInt; `fallback` when the file, section or key
    // is missing or the value is empty.
    static uint32_t readInt(const std::string& path, std::string_view section, std::string_view key,
                            int32_t fallback);
    // Writes `value` (UTF-8) under `key`, creating section and file when missing; every
    // other byte of the file stays. A value with outer blanks or outer quotes is written
    // in double quotes so that it reads back as given. False when the file cannot be
    // written (read-only: no write permission bit, or not writable for this process) or
    // canStore refuses the names or the value.
    static bool writeString(const std::string& path, std::string_view section, std::string_view key,
                            std::string_view value);

    // The integer rule of readInt applied to a value as read: leading blanks, a sign,
    // hexadecimal digits after "0x" or "0X", decimal digits otherwise (leading zeros
    // included: "017" is 17), up to the first other character, wrapped modulo 2^32. Only
    // the first kIntegerCharacters count.
    static uint32_t parseInt(std::string_view value);

    // Whether writeString accepts these names and value: valid UTF-8 without line breaks,
    // and a key that is not empty, holds no "=" and does not begin with "[", so that the
    // written line reads back as this one key.
    static bool canStore(std::string_view section, std::string_view key, std::string_view value);

    // How many times a file was read from the disk in this process. Reads are served from
    // a parsed copy of the file, kept per path, that is read again once the file at the
    // path is another one or changed in size, modification or change time or mode; own
    // writes drop it. So repeated reads of an unchanged file read it once.
    static uint64_t fileLoads();
};

// An integer value is read through a buffer of 30 characters, so at most 29 count.
inline constexpr std::size_t kIntegerCharacters = 29;

}  // namespace i18n
