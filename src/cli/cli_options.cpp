#include "cli/cli_options.h"

#include <charconv>

#include "cli/command.h"

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

bool parseLanguage(const std::string& text, std::string& lang, std::string& error) {
    if (text != "en" && text != "zh") {
        error = "--lang wants en or zh, not '" + text + "'";
        return false;
    }
    lang = text;
    return true;
}

enum class Taken { No, Yes, Error };

// The options of the front end that take a value: --device, --timeout, --lang.
Taken takeValueOption(const std::vector<std::string>& argv, size_t& i, CliOptions& options,
                      std::string& error) {
    const std::string& arg = argv[i];
    if (arg != "--device" && arg != "--timeout" && arg != "--lang")
        return Taken::No;
    if (i + 1 >= argv.size()) {
        error = arg + " needs a value";
        return Taken::Error;
    }
    const std::string& value = argv[++i];
    if (arg == "--lang")
        return parseLanguage(value, options.lang, error) ? Taken::Yes : Taken::Error;
    if (arg == "--device") {
        options.device = value;
        return Taken::Yes;
    }
    if (!parseSeconds(value, options.timeoutSeconds)) {
        error = "--timeout wants whole seconds from 1 to " + std::to_string(kMaxTimeoutSeconds) +
                ", not '" + value + "'";
        return Taken::Error;
    }
    return Taken::Yes;
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
        const Taken taken = takeValueOption(argv, i, options, error);
        if (taken == Taken::Error)
            return false;
        if (taken == Taken::Yes)
            continue;
        if (arg.rfind("--", 0) == 0) {
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
    const Command* command = findCommand(options.command);
    const CommandArguments taking =
        command != nullptr ? command->arguments : CommandArguments::Common;
    for (; i < argv.size(); ++i) {
        // Options of the front end may also follow the command, except where the command's
        // words are all its own.
        const std::string& arg = argv[i];
        if (taking != CommandArguments::Verbatim) {
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
            const Taken taken = takeValueOption(argv, i, options, error);
            if (taken == Taken::Error)
                return false;
            if (taken == Taken::Yes)
                continue;
            if (arg.rfind("--", 0) == 0 && taking != CommandArguments::OwnOptions) {
                error = "unknown option " + arg;
                return false;
            }
        }
        options.args.push_back(arg);
    }
    return true;
}

std::string usageText() {
    std::string text =
        "Usage: tessaro-cli [--device URI] [--timeout SECONDS] [--trace] COMMAND [ARGS]\n"
        "\n"
        "Talks to an ESC through the link adapter, from the directory that holds\n"
        "language.ini.\n"
        "\n"
        "Commands:\n";
    constexpr size_t kColumn = 22;
    for (const Command* command : commands()) {
        std::string line = "  " + std::string(command->synopsis);
        if (line.size() + 1 > kColumn)
            line += "\n" + std::string(kColumn, ' ');
        else
            line.append(kColumn - line.size(), ' ');
        text += line + std::string(command->summary) + "\n";
    }
    text +=
        "\n"
        "Options:\n"
        "  --device URI         hid (the USB adapter, default), sim[:key=value,...] (the\n"
        "                       built-in simulated adapter and ESC, e.g. sim:family=3),\n"
        "                       socket:PATH (an adapter served over a Unix socket)\n"
        "  --timeout SECONDS    give up when the adapter or the ESC does not answer in time\n"
        "                       (default 10)\n"
        "  --lang en|zh         choose the language of captions and items (stored in\n"
        "                       language.ini, as the window's menu does)\n"
        "  --trace              print every frame sent (> ) and every reply (< ) in hex on\n"
        "                       standard error\n"
        "  --help               this text\n"
        "\n"
        "Exit codes: 0 success, 1 usage, 2 no adapter or no ESC answer, 3 the ESC did not\n"
        "store what was asked, 4 file error, 5 firmware update failed, 130 and 143 a\n"
        "firmware update ended by SIGINT or SIGTERM (the ESC is told to abort it).\n";
    return text;
}

}  // namespace cli
