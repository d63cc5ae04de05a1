// tessaro-cli read: the settings of the ESC.

#include "cli/command_support.h"

namespace cli {

namespace {

int runRead(CommandContext& ctx) {
    if (const int code = expectNoArguments(ctx); code != kExitOk)
        return code;
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    if (!session->waitForSettings())
        return linkFailure(ctx.err, *session);
    printJson(ctx.out, *session);
    return kExitOk;
}

}  // namespace

const Command& readCommand() {
    static const Command command{
        "read", "read --json", "read the ESC's settings and print them as one JSON object",
        "Links up, waits until the ESC's settings were read and prints them as one JSON\n"
        "object: the identification, the reply as it arrived, the status text and every\n"
        "value control of the parameter form.\n",
        runRead};
    return command;
}

}  // namespace cli
