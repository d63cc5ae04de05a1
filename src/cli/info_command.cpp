// tessaro-cli info: the adapter's and the ESC's versions, family and variant.

#include <ostream>

#include "cli/command_support.h"
#include "form/control_ids.h"

namespace cli {

namespace {

int runInfo(CommandContext& ctx) {
    if (const int code = expectNoArguments(ctx); code != kExitOk)
        return code;
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    if (!session->waitForIdentification())
        return linkFailure(ctx.err, *session);
    const settings::EscInfo esc = session->controller().escInfo();
    ctx.out << "adapter: " << session->form().text(form::kEditAdapterVersion) << "\n"
            << "esc: " << session->form().text(form::kEditEscVersion) << "\n"
            << "family: " << int(esc.family) << "\n"
            << "variant: " << int(esc.variant) << "\n";
    return kExitOk;
}

}  // namespace

const Command& infoCommand() {
    static const Command command{
        "info", "info", "link up and show the adapter and ESC versions, family, variant",
        "Links up with the adapter and the ESC and prints the adapter's version, the ESC's\n"
        "version, its family and its variant, one per line.\n",
        runInfo};
    return command;
}

}  // namespace cli
