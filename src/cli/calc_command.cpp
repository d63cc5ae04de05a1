// tessaro-cli calc: the gear calculator.

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_support.h"
#include "form/layout.h"
#include "settings/calculator.h"

namespace cli {

namespace {

bool parseCalcArguments(const std::vector<std::string>& args, std::array<int64_t, 4>& values,
                        std::string& error) {
    // cells, kv, gear, pinion with the calculator spins' ranges.
    struct Input {
        const char* option;
        form::ControlId spin;
    };
    static constexpr Input kInputs[] = {{"--cells", form::kSpinCalcCells},
                                        {"--kv", form::kSpinCalcKv},
                                        {"--gear", form::kSpinCalcGear},
                                        {"--pinion", form::kSpinCalcPinion}};
    std::array<bool, 4> seen{};
    for (size_t i = 0; i < args.size(); ++i) {
        size_t which = std::size(kInputs);
        for (size_t k = 0; k < std::size(kInputs); ++k) {
            if (args[i] == kInputs[k].option)
                which = k;
        }
        if (which == std::size(kInputs) || i + 1 >= args.size()) {
            error = "calc wants --cells N --kv N --gear N --pinion N, not '" + args[i] + "'";
            return false;
        }
        int value = 0;
        const form::SpinSetup* setup = nullptr;
        for (const form::SpinSetup& s : form::calculatorSpinSetup()) {
            if (s.spin == kInputs[which].spin)
                setup = &s;
        }
        if (!parseInt(args[++i], value) || value < setup->low || value > setup->high) {
            error = std::string(kInputs[which].option) + " takes a whole number from " +
                    std::to_string(setup->low) + " to " + std::to_string(setup->high) + ", not '" +
                    args[i] + "'";
            return false;
        }
        values[which] = value;
        seen[which] = true;
    }
    for (size_t k = 0; k < std::size(kInputs); ++k) {
        if (!seen[k]) {
            error = std::string("calc needs ") + kInputs[k].option;
            return false;
        }
    }
    return true;
}

int runCalc(CommandContext& ctx) {
    std::array<int64_t, 4> v{};
    std::string error;
    if (!parseCalcArguments(ctx.options.args, v, error))
        return fail(ctx.err, kExitUsage, error);
    ctx.out << settings::computeCalcResult(v[0], v[1], v[3], v[2]) << "\n";
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
