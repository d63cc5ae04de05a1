#include "cli/cli_app.h"

#include <ostream>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "i18n/ui_text.h"

namespace cli {

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock) {
    CliOptions options;
    std::string error;
    if (!parseCommandLine(args, options, error)) {
        return fail(err, kExitUsage, error + " (see tessaro-cli --help)");
    }
    if (options.help) {
        out << usageText();
        return kExitOk;
    }
    i18n::g_languageFilePath = i18n::languageFilePathFor(currentDirectory());

    const Command* command = findCommand(options.command);
    if (command == nullptr) {
        return fail(err, kExitUsage,
                    "unknown command '" + options.command + "' (see tessaro-cli --help)");
    }
    CommandContext context{options, out, err, clock};
    return command->run(context);
}

}  // namespace cli
