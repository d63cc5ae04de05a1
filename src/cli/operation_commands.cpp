// tessaro-cli defaults and restore: the two operations that put whole settings back.

#include <string>

#include "cli/cli_messages.h"
#include "cli/command_support.h"
#include "files/esc_backup.h"

namespace cli {

namespace {

int runDefaults(CommandContext& ctx) {
    if (const int code = expectNoArguments(ctx); code != kExitOk)
        return code;
    if (const int code = confirm(ctx, msg(Msg::ConfirmDefaults)); code != kExitOk)
        return code;
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    return runOperation(
        ctx.out, ctx.err, *session, [](session::Session& s) { return s.restoreDefaults(); },
        sentPlain, ctx.options.quiet);
}

int runRestore(CommandContext& ctx) {
    if (ctx.options.args.size() != 1)
        return fail(ctx.err, kExitUsage, msg(Msg::RestoreTakesBackup));
    std::string error;
    const auto backup = files::readEscBackup(ctx.options.args[0], error);
    if (!backup)
        return fail(ctx.err, kExitFileError, error);
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    return runOperation(
        ctx.out, ctx.err, *session, [&](session::Session& s) { return s.restore(*backup); },
        sentPlain, ctx.options.quiet);
}

}  // namespace

const Command& defaultsCommand() {
    static const Command command{
        "defaults", "defaults", "write the family's factory defaults and print the read-back",
        "Writes the family's factory defaults into the ESC and prints the read-back. The\n"
        "settings they replace are kept in backups/ first, and nothing is written when that\n"
        "backup cannot be kept. Asks first on a terminal; --yes goes ahead without asking\n"
        "(and is needed when standard input is no terminal).\n",
        runDefaults};
    return command;
}

const Command& restoreCommand() {
    static const Command command{
        "restore", "restore BACKUP", "write a backup (backups/*.esc) back into its ESC",
        "Writes a backup (backups/*.esc) back into the ESC it came from, byte for byte, and\n"
        "prints the read-back. Only an ESC of the same family, variant and settings length\n"
        "takes it; what it replaces is kept in a backup first.\n",
        runRestore};
    return command;
}

}  // namespace cli
