#pragma once
// Texts generated from the command table, so that they never drift from --help: the
// manual page (troff) and the bash and zsh completion scripts.

#include <string>
#include <vector>

namespace cli {

// The manual page tessaro-cli(1).
std::string manPage();
// The completion script for `shell` ("bash" or "zsh"); empty for another shell.
std::string completionScript(const std::string& shell);

// Where `read` leaves the names of the parameters of the ESC it read last, for the
// completions: $XDG_CACHE_HOME/tessaro/parameters (or ~/.cache/…); empty when neither
// variable is set.
std::string parameterCachePath();
// Writes the names there, one a line; a failure only costs the completion.
void cacheParameterNames(const std::vector<std::string>& names);

}  // namespace cli
