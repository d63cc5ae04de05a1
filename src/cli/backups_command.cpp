// tessaro-cli backups: the backups kept before each operation that replaces settings.

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_messages.h"
#include "cli/cli_session.h"
#include "cli/command_support.h"
#include "cli/settings_view.h"
#include "common/hex.h"
#include "files/esc_backup.h"
#include "settings/parameter_names.h"

namespace cli {

namespace {

int runBackups(CommandContext& ctx) {
    const std::vector<std::string>& args = ctx.options.args;
    const bool list = args.empty() || (args.size() == 1 && args[0] == "list");
    const bool show = args.size() == 2 && args[0] == "show";
    if (!list && !show)
        return fail(ctx.err, kExitUsage, msg(Msg::BackupsTakes));
    std::vector<std::string> paths = files::listEscBackups(workingDirectory());
    for (std::string& path : paths) path = fromWorkingDirectory(path);
    if (list) {
        for (size_t i = 0; i < paths.size(); ++i) {
            std::string error;
            const auto backup = files::readEscBackup(paths[i], error);
            ctx.out << i + 1 << "  " << paths[i];
            if (backup) {
                ctx.out << "  " << backup->taken << "  family " << int(backup->family) << " ("
                        << settings::familyName(backup->family) << "), variant "
                        << int(backup->variant);
            } else {
                ctx.out << "  (" << error << ")";
            }
            ctx.out << "\n";
        }
        return kExitOk;
    }
    int number = 0;
    if (!parseInt(args[1], number) || number < 1 || static_cast<size_t>(number) > paths.size()) {
        return fail(ctx.err, kExitUsage,
                    msg(Msg::BackupsShowRange, {std::to_string(paths.size()), args[1]}));
    }
    const std::string& path = paths[static_cast<size_t>(number - 1)];
    std::string error;
    const auto backup = files::readEscBackup(path, error);
    if (!backup)
        return fail(ctx.err, kExitFileError, error);
    if (const int code = prepareLanguage(ctx); code != kExitOk)
        return code;
    ctx.out << "file: " << path << "\n"
            << "taken: " << backup->taken << "\n"
            << "family: " << int(backup->family) << "\n"
            << "family name: " << settings::familyName(backup->family) << "\n"
            << "variant: " << int(backup->variant) << "\n"
            << "settings: " << common::hexBytes(backup->settings, "") << "\n";
    for (const ParameterValue& v : DecodedSettings(*backup).values())
        ctx.out << v.name << ": " << v.value << "\n";
    return kExitOk;
}

}  // namespace

const Command& backupsCommand() {
    static const Command command{
        "backups", "backups [list|show N]", "list the kept backups, or show one",
        "Lists the backups in backups/, newest first, numbered from 1, with the time each was\n"
        "taken and the ESC's family and variant; `show N` prints one backup's identity, its\n"
        "settings bytes and its parameters by name. `restore FILE` writes one back.\n",
        runBackups};
    return command;
}

}  // namespace cli
