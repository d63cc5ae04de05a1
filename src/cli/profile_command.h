#pragma once
// tessaro-cli profile: the language-file engine made scriptable, for people who maintain
// language files.
//
//   profile get FILE SECTION KEY          prints the value as the program reads it
//   profile get-int FILE SECTION KEY      prints the integer read, unsigned decimal
//   profile set FILE SECTION KEY VALUE    writes the value, changing only that line
//
// A missing key prints an empty line (get) or 0 (get-int); a file that cannot be read
// (get, get-int) or written (set) is a file error.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kProfileExitOk = 0;
inline constexpr int kProfileExitUsage = 1;
inline constexpr int kProfileExitFileError = 4;

// `args` are the words after "profile". Results go to `out`, complaints to `err`.
// Returns kProfileExitOk, kProfileExitUsage or kProfileExitFileError.
int runProfileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage lines of the profile command.
const char* profileUsageText();

}  // namespace cli
