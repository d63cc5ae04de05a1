#include <algorithm>

#include "cli/command.h"

namespace cli {

#define TESSARO_CLI_COMMAND(function) const Command& function();
#include "cli/command_list.h"
#undef TESSARO_CLI_COMMAND

const std::vector<const Command*>& commands() {
    static const std::vector<const Command*> all = {
#define TESSARO_CLI_COMMAND(function) &function(),
#include "cli/command_list.h"
#undef TESSARO_CLI_COMMAND
    };
    return all;
}

const Command* findCommand(std::string_view name) {
    const auto& all = commands();
    const auto at =
        std::find_if(all.begin(), all.end(), [name](const Command* c) { return c->name == name; });
    return at == all.end() ? nullptr : *at;
}

}  // namespace cli
