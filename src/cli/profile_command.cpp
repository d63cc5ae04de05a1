#include "cli/profile_command.h"

#include <unistd.h>

#include <ostream>

#include "cli/cli_messages.h"
#include "cli/command.h"
#include "common/input_file.h"
#include "i18n/profile_file.h"

namespace cli {

namespace {

constexpr const char* kPrefix = "tessaro-cli profile: ";

struct Subcommand {
    const char* name;
    std::size_t argumentCount;  // after the subcommand's name
};

constexpr Subcommand kGet{"get", 3};
constexpr Subcommand kGetInt{"get-int", 3};
constexpr Subcommand kSet{"set", 4};

int usageError(std::ostream& err, const std::string& text) {
    err << kPrefix << text << "\n" << profileUsageText();
    return kProfileExitUsage;
}

int fileError(std::ostream& err, const std::string& text) {
    err << kPrefix << text << "\n";
    return kProfileExitFileError;
}

// The engine falls back to the default for a file it cannot read, as the window must; a
// script wants to hear about a mistyped path instead.
bool isReadableFile(const std::string& path) {
    common::InputFile refused;
    const int fd = common::openInputFile(path, refused);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool isHelp(const std::string& word) {
    return word == "help" || word == "--help" || word == "-h";
}

}  // namespace

const char* profileUsageText() {
    return "usage: tessaro-cli profile get FILE SECTION KEY\n"
           "       tessaro-cli profile get-int FILE SECTION KEY\n"
           "       tessaro-cli profile set FILE SECTION KEY VALUE\n"
           "Names match without regard to ASCII case; values are cut to 259 characters;\n"
           "get-int reads decimal or 0x numbers modulo 2^32; set changes only the\n"
           "key's line (or adds one) and creates section and file when missing.\n";
}

int runProfileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty())
        return usageError(err, msg(Msg::NoSubcommand));
    const std::string& name = args[0];
    if (isHelp(name)) {
        out << profileUsageText();
        return kProfileExitOk;
    }
    const Subcommand* chosen = nullptr;
    for (const Subcommand* s : {&kGet, &kGetInt, &kSet}) {
        if (name == s->name)
            chosen = s;
    }
    if (chosen == nullptr)
        return usageError(err, msg(Msg::UnknownSubcommand, {name}));
    if (args.size() != chosen->argumentCount + 1) {
        return usageError(
            err, msg(Msg::SubcommandArguments, {name, std::to_string(chosen->argumentCount),
                                                std::to_string(args.size() - 1)}));
    }
    const std::string& file = args[1];
    const std::string& section = args[2];
    const std::string& key = args[3];

    if (chosen == &kSet) {
        const std::string& value = args[4];
        if (!i18n::ProfileFile::canStore(section, key, value)) {
            return usageError(err, msg(Msg::CannotStoreKey));
        }
        if (!i18n::ProfileFile::writeString(file, section, key, value)) {
            return fileError(err, msg(Msg::CannotWriteQuoted, {file}));
        }
        return kProfileExitOk;
    }
    if (!isReadableFile(file))
        return fileError(err, msg(Msg::CannotReadQuoted, {file}));
    if (chosen == &kGet) {
        out << i18n::ProfileFile::readString(file, section, key, "") << "\n";
    } else {
        out << i18n::ProfileFile::readInt(file, section, key, 0) << "\n";
    }
    return kProfileExitOk;
}

}  // namespace cli

namespace cli {

namespace {

int runProfile(CommandContext& ctx) {
    return runProfileCommand(ctx.options.args, ctx.out, ctx.err);
}

}  // namespace

const Command& profileCommand() {
    static const Command command{"profile",
                                 "profile get|get-int|set FILE SECTION KEY [VALUE]",
                                 "read or write one value of a language file",
                                 "  profile get FILE SECTION KEY        the value as the program "
                                 "reads it\n"
                                 "  profile get-int FILE SECTION KEY    the integer read, unsigned "
                                 "decimal\n"
                                 "  profile set FILE SECTION KEY VALUE  writes the value, changing "
                                 "only that line\n",
                                 runProfile,
                                 CommandArguments::Verbatim};
    return command;
}

}  // namespace cli
