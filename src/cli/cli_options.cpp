#include "cli/cli_options.h"

#include <charconv>

namespace cli {

namespace {

bool parseSeconds(const std::string& text, uint32_t& seconds) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end)
        return false;
    if (value == 0 || value > kMaxTimeoutSeconds)
        return false;
    seconds = value;
    return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& argv, CliOptions& options,
                      std::string& error) {
    size_t i = 0;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--trace") {
            options.trace = true;
            continue;
        }
        if (arg == "--device" || arg == "--timeout") {
            if (i + 1 >= argv.size()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& value = argv[++i];
            if (arg == "--device") {
                options.device = value;
            } else if (!parseSeconds(value, options.timeoutSeconds)) {
                error = "--timeout wants whole seconds from 1 to " +
                        std::to_string(kMaxTimeoutSeconds) + ", not '" + value + "'";
                return false;
            }
            continue;
        }
        if (arg.rfind("--", 0) == 0 && options.command.empty()) {
            error = "unknown option " + arg;
            return false;
        }
        break;
    }
    if (i >= argv.size()) {
        error = "no command given";
        return false;
    }
    options.command = argv[i++];
    for (; i < argv.size(); ++i) {
        // Options of the front end may also follow the command, except for "profile",
        // whose arguments are its own.
        const std::string& arg = argv[i];
        if (options.command != "profile") {
            if (arg == "--json") {
                options.json = true;
                continue;
            }
            if (arg == "--trace") {
                options.trace = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                options.help = true;
                continue;
            }
            if ((arg == "--device" || arg == "--timeout") && i + 1 < argv.size()) {
                const std::string& value = argv[++i];
                if (arg == "--device") {
                    options.device = value;
                } else if (!parseSeconds(value, options.timeoutSeconds)) {
                    error = "--timeout wants whole seconds from 1 to " +
                            std::to_string(kMaxTimeoutSeconds) + ", not '" + value + "'";
                    return false;
                }
                continue;
            }
            if (arg.rfind("--", 0) == 0) {
                error = "unknown option " + arg;
                return false;
            }
        }
        options.args.push_back(arg);
    }
    return true;
}

std::string usageText() {
    return "Usage: tessaro-cli [--device URI] [--timeout SECONDS] [--trace] COMMAND [ARGS]\n"
           "\n"
           "Talks to an ESC through the link adapter, from the directory that holds\n"
           "language.ini.\n"
           "\n"
           "Commands:\n"
           "  info                 link up and show the adapter and ESC versions, family, variant\n"
           "  read --json          read the ESC's settings and print them as one JSON object\n"
           "  write ID=VALUE ...   read, set each control (a list item index, or a number for\n"
           "                       an edit), send the settings and print the read-back\n"
           "  defaults             write the family's factory defaults and print the read-back\n"
           "  profile get|get-int|set FILE SECTION KEY [VALUE]\n"
           "                       read or write one value of a language file\n"
           "\n"
           "Options:\n"
           "  --device URI         hid (the USB adapter, default), sim[:key=value,...] (the\n"
           "                       built-in simulated adapter and ESC, e.g. sim:family=3),\n"
           "                       socket:PATH (an adapter served over a Unix socket)\n"
           "  --timeout SECONDS    give up when the adapter or the ESC does not answer in time\n"
           "                       (default 10)\n"
           "  --trace              print every frame sent (> ) and every reply (< ) in hex on\n"
           "                       standard error\n"
           "  --help               this text\n"
           "\n"
           "Exit codes: 0 success, 1 usage, 2 no adapter or no ESC answer, 3 the ESC did not\n"
           "store what was asked, 4 file error, 5 firmware update failed.\n";
}

}  // namespace cli
