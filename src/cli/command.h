#pragma once
// The commands of tessaro-cli as a table: each command has a name, a synopsis, a line for
// the overview, a help text and a handler. A command lives in a source file of its own
// (or of its group) and is registered by one line in cli/command_list.h.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "link/clock.h"

namespace cli {

// What a handler gets: the parsed command line (options.args are the words after the
// command), the two output streams and the clock the run is timed on.
struct CommandContext {
    CliOptions& options;
    std::ostream& out;
    std::ostream& err;
    transport::Clock& clock;
    std::istream* in = nullptr;    // answers to a question; nullptr: none can be given
    bool inputIsTerminal = false;  // a question may be asked
    bool errorIsTerminal = false;  // progress may be drawn as a bar
};

using CommandHandler = int (*)(CommandContext&);

// How the words after the command are taken.
enum class CommandArguments {
    Common,      // the front end's options are taken wherever they stand
    OwnOptions,  // the front end's options are taken; any other --word is the command's
    Verbatim,    // every word is the command's own (profile)
};

struct Command {
    std::string_view name;
    std::string_view synopsis;  // "write NAME=VALUE ...": the command and its arguments
    std::string_view summary;   // one line for the overview of --help
    std::string_view help;      // what `tessaro-cli help NAME` prints below the synopsis
    CommandHandler run;
    CommandArguments arguments = CommandArguments::Common;
    // With --json the command prints one object a line as it goes (a batch that runs until
    // Ctrl-C): its lines go out at once, and a failure adds one more line, the error object.
    bool jsonLines = false;
};

// Every command, in the order --help lists them.
const std::vector<const Command*>& commands();
// The command of that name; nullptr for none.
const Command* findCommand(std::string_view name);

}  // namespace cli
