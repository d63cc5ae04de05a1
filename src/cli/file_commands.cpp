// tessaro-cli export and import: the ESC's settings in a settings file (*.cfg).

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_messages.h"
#include "cli/command_support.h"
#include "files/settings_file.h"
#include "settings/settings_file_commands.h"

namespace cli {

namespace {

int runExport(CommandContext& ctx) {
    if (ctx.options.args.size() != 1)
        return fail(ctx.err, kExitUsage, msg(Msg::ExportTakesOneFile));
    const bool toStdout = ctx.options.args[0] == "-";
    // A name that names no file is refused before the ESC is asked for anything.
    std::string reason;
    const auto path = toStdout ? std::optional<std::string>()
                               : files::settingsFileNameFor(ctx.options.args[0], &reason);
    if (!toStdout && !path)
        return fail(ctx.err, kExitFileError, reason);
    int code = kExitOk;
    const auto session = openSessionWithSettings(ctx, code);
    if (!session)
        return code;
    if (toStdout) {
        // The 15 bytes on standard output.
        const files::SettingsFile file = settings::captureSettingsFile(session->form());
        ctx.out.write(reinterpret_cast<const char*>(file.bytes.data()),
                      static_cast<std::streamsize>(file.bytes.size()));
        return kExitOk;
    }
    const session::Result result = session->session().exportSettings(*path);
    if (!result.ok())
        return fail(ctx.err, kExitFileError, result.message);
    ctx.out << *path << "\n";
    return kExitOk;
}

int runImport(CommandContext& ctx) {
    if (ctx.options.args.size() != 1)
        return fail(ctx.err, kExitUsage, msg(Msg::ImportTakesOneFile));
    const std::string& path = ctx.options.args[0];
    files::SettingsFileError fileError = files::SettingsFileError::None;
    std::optional<files::SettingsFile> file;
    std::string reason;  // why the file could not be read, naming it
    if (path == "-") {
        // 15 bytes from standard input, and nothing more.
        std::string bytes;
        if (ctx.in != nullptr) {
            bytes.assign(std::istreambuf_iterator<char>(*ctx.in), std::istreambuf_iterator<char>());
        }
        if (bytes.size() != files::kSettingsFileSize) {
            return fail(ctx.err, kExitFileError,
                        msg(Msg::StdinNotSettingsFile, {std::to_string(bytes.size())}));
        }
        file.emplace();
        std::copy(bytes.begin(), bytes.end(), file->bytes.begin());
    } else {
        errno = 0;
        file = files::SettingsFile::read(path, fileError, &reason);
    }
    if (!file) {
        const int cause = errno;
        return fail(
            ctx.err, kExitFileError,
            fileError == files::SettingsFileError::WrongSize
                ? std::string(settings::kFileErrorMessage) + " " + msg(Msg::NotSettingsFile, {path})
            : cause != 0      ? msg(Msg::CannotReadReason, {path, std::strerror(cause)})
            : !reason.empty() ? reason
                              : msg(Msg::CannotRead, {path}));
    }
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    const auto fileControls = settings::settingsFileControls();
    return runOperation(
        ctx.out, ctx.err, *session, [&](session::Session& s) { return s.importSettings(*file); },
        [&](form::ControlId id, const std::string& value) {
            const bool inFile =
                std::find(fileControls.begin(), fileControls.end(), id) != fileControls.end();
            return msg(inFile ? Msg::FileAsks : Msg::Sent, {value});
        },
        ctx.options.quiet);
}

}  // namespace

const Command& exportCommand() {
    static const Command command{
        "export", "export FILE", "keep the ESC's settings in a settings file",
        "Reads the ESC's settings and keeps them in a settings file (FILE gets the\n"
        "extension .cfg), and prints the file's name. FILE - writes the 15 bytes to\n"
        "standard output instead.\n",
        runExport};
    return command;
}

const Command& importCommand() {
    static const Command command{
        "import", "import FILE", "send a settings file's choices to the ESC",
        "Reads the ESC, puts a settings file's choices into the form, sends them and prints\n"
        "the read-back. The settings they replace are kept in backups/ first. FILE - reads\n"
        "the 15 bytes from standard input.\n",
        runImport};
    return command;
}

}  // namespace cli
