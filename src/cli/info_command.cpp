// tessaro-cli info: the adapter's and the ESC's versions, family and variant.

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/command_support.h"
#include "form/control_ids.h"
#include "settings/parameter_names.h"

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
    const std::string adapter = session->form().text(form::kEditAdapterVersion);
    const std::string version = session->form().text(form::kEditEscVersion);
    const std::string name(settings::familyName(esc.family));
    if (ctx.options.json) {
        nlohmann::ordered_json json;
        json["adapter"] = adapter;
        json["esc"] = version;
        json["family"] = esc.family;
        json["family_name"] = name;
        json["variant"] = esc.variant;
        ctx.out << json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << "\n";
        return kExitOk;
    }
    ctx.out << "adapter: " << adapter << "\n"
            << "esc: " << version << "\n"
            << "family: " << int(esc.family) << "\n"
            << "family name: " << name << "\n"
            << "variant: " << int(esc.variant) << "\n";
    return kExitOk;
}

}  // namespace

const Command& infoCommand() {
    static const Command command{
        "info", "info [--json]", "link up and show the adapter and ESC versions, family, variant",
        "Links up with the adapter and the ESC and prints the adapter's version, the ESC's\n"
        "version, its family's code and name and its variant, one per line (--json: one\n"
        "object with the keys adapter, esc, family, family_name, variant).\n",
        runInfo};
    return command;
}

}  // namespace cli
