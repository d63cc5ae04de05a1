#include "cli/cli_options.h"

#include <charconv>

#include "cli/cli_messages.h"
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
        error = msg(Msg::LangWants, {text});
        return false;
    }
    lang = text;
    return true;
}

enum class Taken { No, Yes, Error };

bool parseCount(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value > 0;
}

// The options that take a value: --device, --timeout, --lang and the calculator's. The
// value follows as the next word or after "=".
Taken takeValueOption(const std::vector<std::string>& argv, size_t& i, CliOptions& options,
                      std::string& error) {
    std::string arg = argv[i];
    std::string value;
    bool inline_ = false;
    if (const size_t equals = arg.find('=');
        arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg = arg.substr(0, equals);
        inline_ = true;
    }
    struct Count {
        const char* option;
        int CalculatorOptions::*field;
    };
    static constexpr Count kCounts[] = {{"--cells", &CalculatorOptions::cells},
                                        {"--kv", &CalculatorOptions::kv},
                                        {"--gear", &CalculatorOptions::gear},
                                        {"--pinion", &CalculatorOptions::pinion}};
    const Count* count = nullptr;
    for (const Count& c : kCounts) {
        if (arg == c.option)
            count = &c;
    }
    if (arg != "--device" && arg != "--timeout" && arg != "--lang" && arg != "--completion" &&
        arg != "--record" && count == nullptr)
        return Taken::No;
    if (!inline_) {
        if (i + 1 >= argv.size()) {
            error = msg(Msg::NeedsValue, {arg});
            return Taken::Error;
        }
        value = argv[++i];
    }
    if (count != nullptr) {
        if (!parseCount(value, options.calculator.*(count->field))) {
            error = msg(Msg::WantsPositive, {arg, value});
            return Taken::Error;
        }
        return Taken::Yes;
    }
    if (arg == "--completion") {
        if (value != "bash" && value != "zsh") {
            error = msg(Msg::CompletionWants, {value});
            return Taken::Error;
        }
        options.completion = value;
        return Taken::Yes;
    }
    if (arg == "--lang")
        return parseLanguage(value, options.lang, error) ? Taken::Yes : Taken::Error;
    if (arg == "--device") {
        options.device = value;
        return Taken::Yes;
    }
    if (arg == "--record") {
        if (value.empty()) {
            error = msg(Msg::NeedsValue, {arg});
            return Taken::Error;
        }
        options.record = value;
        return Taken::Yes;
    }
    if (!parseSeconds(value, options.timeoutSeconds)) {
        error = msg(Msg::TimeoutRange, {std::to_string(kMaxTimeoutSeconds), value});
        return Taken::Error;
    }
    return Taken::Yes;
}

// The flags, anywhere before "--".
bool takeFlag(const std::string& arg, CliOptions& options) {
    if (arg == "--help" || arg == "-h")
        options.help = true;
    else if (arg == "--trace")
        options.trace = true;
    else if (arg == "--json")
        options.json = true;
    else if (arg == "--yes" || arg == "-y")
        options.yes = true;
    else if (arg == "--quiet" || arg == "-q")
        options.quiet = true;
    else if (arg == "--version")
        options.version = true;
    else if (arg == "--man")
        options.man = true;
    else
        return false;
    return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& argv, CliOptions& options,
                      std::string& error) {
    size_t i = 0;
    bool endOfOptions = false;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--") {
            endOfOptions = true;
            ++i;
            break;
        }
        if (takeFlag(arg, options))
            continue;
        const Taken taken = takeValueOption(argv, i, options, error);
        if (taken == Taken::Error)
            return false;
        if (taken == Taken::Yes)
            continue;
        if (arg.size() > 1 && arg[0] == '-') {
            error = msg(Msg::UnknownOption, {arg});
            return false;
        }
        break;
    }
    if (i >= argv.size()) {
        if (options.help || options.version || options.man || !options.completion.empty())
            return true;
        error = msg(Msg::NoCommandGiven);
        return false;
    }
    options.command = argv[i++];
    const Command* command = findCommand(options.command);
    const CommandArguments taking =
        command != nullptr ? command->arguments : CommandArguments::Common;
    for (; i < argv.size(); ++i) {
        // Options of the front end may also follow the command, up to "--", except where
        // the command's words are all its own.
        const std::string& arg = argv[i];
        if (!endOfOptions && taking != CommandArguments::Verbatim) {
            if (arg == "--") {
                endOfOptions = true;
                continue;
            }
            if (takeFlag(arg, options))
                continue;
            const Taken taken = takeValueOption(argv, i, options, error);
            if (taken == Taken::Error)
                return false;
            if (taken == Taken::Yes)
                continue;
            if (arg.size() > 1 && arg[0] == '-' && taking != CommandArguments::OwnOptions) {
                error = msg(Msg::UnknownOption, {arg});
                return false;
            }
        }
        options.args.push_back(arg);
    }
    return true;
}

std::string commandHelpText(const std::string& name) {
    const Command* command = findCommand(name);
    if (command == nullptr)
        return "";
    return "Usage: tessaro-cli [OPTIONS] " + std::string(command->synopsis) + "\n\n" +
           std::string(command->help) + "\nThe options of every command: see tessaro-cli --help.\n";
}

std::string versionText() {
#ifdef TESSARO_VERSION
    return std::string("tessaro-cli ") + TESSARO_VERSION + "\n";
#else
    return "tessaro-cli\n";
#endif
}

std::string usageText() {
    std::string text =
        "Usage: tessaro-cli [OPTIONS] COMMAND [ARGS]\n"
        "       tessaro-cli help COMMAND\n"
        "\n"
        "Talks to an ESC through the link adapter. Its language.ini and backups/ are those\n"
        "of the current directory when it holds a language.ini, else those of the\n"
        "directory $TESSARO_WORKDIR names (the installed tessaro-cli sets it to the\n"
        "user's own, ~/.local/share/tessaro). Files given are relative to the current one.\n"
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
        "  --device URI         hid (the USB adapter, default; name one when several are\n"
        "                       plugged in), hid:NODE or hid:serial=SERIAL (that adapter\n"
        "                       only, e.g. hid:/dev/hidraw3, hid:serial=ABC123), sim[:k=v,...]\n"
        "                       (the built-in simulated adapter and ESC, e.g. sim:family=3),\n"
        "                       socket:PATH (an adapter served over a Unix socket, e.g. by\n"
        "                       tessaro-cli serve),\n"
        "                       replay:FILE (an adapter answering as a recording did)\n"
        "  --record FILE        write every report to and from the adapter, with its time,\n"
        "                       into FILE (docs/recording.md); replay it with replay:FILE\n"
        "  --timeout SECONDS    give up when the adapter or the ESC does not answer in time\n"
        "                       (default 10)\n"
        "  --lang en|zh         choose the language of captions, items and messages\n"
        "                       (stored in language.ini, as the window's menu does)\n"
        "  --trace              print every frame sent (> ) and every reply (< ) in hex on\n"
        "                       standard error\n"
        "  --json               results (and errors) as JSON on standard output\n"
        "  --yes, -y            do not ask before flash and defaults\n"
        "  --quiet, -q          no progress and no notes, only results and errors\n"
        "  --cells N --kv N --gear N --pinion N\n"
        "                       the gear calculator's inputs: the governor of the air\n"
        "                       families is read and written against their result\n"
        "  --help, -h           this text; after a command, that command's\n"
        "  --version            the program's version\n"
        "  --man                the manual page (troff)\n"
        "  --completion SHELL   the completion script for bash or zsh\n"
        "  --opt=VALUE          the same as --opt VALUE; -- ends the options\n"
        "\n"
        "FILE may be - for standard input or output where a command reads or writes one.\n"
        "\n"
        "Exit codes: 0 success, 1 usage, 2 no adapter or no ESC answer, 3 the ESC did not\n"
        "store what was asked, 4 file error, 5 firmware update failed, 6 a replay differed\n"
        "from its recording or ended before the run, 130 and 143 a firmware update ended\n"
        "by SIGINT or SIGTERM (the ESC is told to abort it).\n";
    return text;
}

}  // namespace cli
