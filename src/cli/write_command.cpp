// tessaro-cli write: sets parameters of the ESC and prints the read-back.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/command_support.h"
#include "cli/json_report.h"
#include "form/form.h"
#include "settings/families.h"

namespace cli {

namespace {

struct Assignment {
    const ValueControl* control;
    int value;
};

bool parseAssignments(const std::vector<std::string>& args, std::vector<Assignment>& out,
                      std::string& error) {
    if (args.empty()) {
        error = "write needs at least one ID=VALUE";
        return false;
    }
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        int id = 0;
        int value = 0;
        if (equals == std::string::npos || !parseInt(arg.substr(0, equals), id) ||
            !parseInt(arg.substr(equals + 1), value)) {
            error = "'" + arg + "' is not ID=VALUE with two whole numbers";
            return false;
        }
        const ValueControl* control = findValueControl(id);
        if (control == nullptr) {
            error = std::to_string(id) + " is not a value control of the parameter form";
            return false;
        }
        out.push_back({control, value});
    }
    return true;
}

// Puts the value into the form as the user would: an item of a list, or a spin position
// that writes its edit. Values the control cannot take are refused before anything is sent.
bool applyAssignment(form::Form& form, const Assignment& a, std::string& error) {
    const form::ControlId id = a.control->id;
    if (!form.isVisible(id) || !form.isEnabled(id)) {
        error = std::to_string(id) + " is not in use for this ESC";
        return false;
    }
    if (a.control->kind == ValueKind::List) {
        const int count = form.itemCount(id);
        if (a.value < 0 || a.value >= count) {
            error = std::to_string(id) + " takes an item index from 0 to " +
                    std::to_string(count - 1) + ", not " + std::to_string(a.value);
            return false;
        }
        form.setSelection(id, a.value);
        return true;
    }
    if (a.control->spin != 0) {
        const int low = form.spinLow(a.control->spin);
        const int high = form.spinHigh(a.control->spin);
        if (a.value < low || a.value > high) {
            error = std::to_string(id) + " takes a value from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not " + std::to_string(a.value);
            return false;
        }
        form.setSpinPosition(a.control->spin, a.value);
        return true;
    }
    if (a.value < 0) {
        error = std::to_string(id) + " takes no negative value";
        return false;
    }
    form.setText(id, std::to_string(a.value));
    return true;
}

int runWrite(CommandContext& ctx) {
    std::vector<Assignment> assignments;
    std::string error;
    if (!parseAssignments(ctx.options.args, assignments, error))
        return fail(ctx.err, kExitUsage, error);
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;
    if (!session->waitForSettings())
        return linkFailure(ctx.err, *session);
    const settings::EscInfo esc = session->controller().escInfo();
    const std::vector<form::ControlId> carried = settings::carriedControls(esc);
    for (const Assignment& a : assignments) {
        if (std::find(carried.begin(), carried.end(), a.control->id) == carried.end()) {
            return fail(ctx.err, kExitUsage,
                        std::to_string(a.control->id) + " is not a setting of this ESC (family " +
                            std::to_string(esc.family) + ")");
        }
    }
    for (const Assignment& a : assignments) {
        if (!applyAssignment(session->form(), a, error))
            return fail(ctx.err, kExitUsage, error);
    }
    return runOperation(
        ctx.out, ctx.err, *session, [](session::Session& s) { return s.write(); },
        [&](form::ControlId id, const std::string& value) {
            const bool isAsked =
                std::any_of(assignments.begin(), assignments.end(),
                            [id](const Assignment& a) { return a.control->id == id; });
            return (isAsked ? "asked " : "sent ") + value;
        });
}

}  // namespace

const Command& writeCommand() {
    static const Command command{
        "write", "write ID=VALUE ...",
        "read, set each control, send the settings and print the read-back",
        "Reads the ESC, sets each control (a list item index, or a number for an edit),\n"
        "sends the settings and prints the read-back. Exit code 3 when the ESC did not\n"
        "store what was asked.\n",
        runWrite};
    return command;
}

}  // namespace cli
