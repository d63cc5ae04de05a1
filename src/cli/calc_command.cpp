// tessaro-cli calc: the gear calculator.

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_messages.h"
#include "cli/command_support.h"
#include "form/layout.h"
#include "settings/calculator.h"

namespace cli {

namespace {

int runCalc(CommandContext& ctx) {
    const CalculatorOptions& c = ctx.options.calculator;
    if (!ctx.options.args.empty())
        return fail(ctx.err, kExitUsage, msg(Msg::CalcTakesNoArguments, {ctx.options.args[0]}));
    const char* missing = c.cells == 0    ? "--cells"
                          : c.kv == 0     ? "--kv"
                          : c.gear == 0   ? "--gear"
                          : c.pinion == 0 ? "--pinion"
                                          : nullptr;
    if (missing != nullptr)
        return fail(ctx.err, kExitUsage, msg(Msg::CalcNeeds, {missing}));
    int64_t result = 0;
    std::string error;
    if (!calculatorResult(c, result, error))
        return fail(ctx.err, kExitUsage, error);
    ctx.out << result << "\n";
    return kExitOk;
}

}  // namespace

const Command& calcCommand() {
    static const Command command{
        "calc",
        "calc --cells N --kv N --gear N --pinion N",
        "the gear calculator: print cells x 4 x kv x pinion / gear",
        "The start-up calculator of the window: prints cells x 4 x kv x pinion / gear, the\n"
        "figure the governor of families 1 and 4 is scaled with.\n",
        runCalc,
        CommandArguments::OwnOptions};
    return command;
}

}  // namespace cli
