// tessaro-cli write: sets parameters of the ESC by name (or control id) and prints the
// read-back.

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "cli/cli_messages.h"
#include "cli/command_support.h"
#include "cli/json_report.h"
#include "form/form.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/parameter_names.h"

namespace cli {

namespace {

// NAME=VALUE or ID=VALUE as typed.
struct Typed {
    std::string key;
    std::string value;
    std::string arg;
};

struct Assignment {
    settings::NamedParameter parameter;
    int value;  // an item index for a list, the number for a numeric parameter
};

bool splitAssignments(const std::vector<std::string>& args, std::vector<Typed>& out,
                      std::string& error) {
    if (args.empty()) {
        error = msg(Msg::WriteNeedsAssignment);
        return false;
    }
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == arg.size()) {
            error = msg(Msg::NotAssignment, {arg});
            return false;
        }
        Typed typed{arg.substr(0, equals), arg.substr(equals + 1), arg};
        int id = 0;
        if (parseInt(typed.key, id)) {
            int value = 0;
            if (!parseInt(typed.value, value)) {
                error = msg(Msg::NotIdAssignment, {arg});
                return false;
            }
            if (findValueControl(id) == nullptr) {
                error = msg(Msg::NotValueControl, {std::to_string(id)});
                return false;
            }
        }
        out.push_back(std::move(typed));
    }
    return true;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string nearestText(const std::vector<std::string>& candidates, const std::string& typed) {
    const std::vector<std::string> nearest = settings::nearestNames(candidates, typed, 3);
    if (nearest.empty())
        return "";
    std::string text;
    for (size_t i = 0; i < nearest.size(); ++i) text += (i == 0 ? "" : ", ") + nearest[i];
    return msg(Msg::Nearest, {text});
}

std::vector<std::string> parameterNames(const settings::EscInfo& esc) {
    std::vector<std::string> names;
    for (const auto& p : settings::namedParameters(esc)) names.emplace_back(p.name);
    return names;
}

// The parameter a key names on this ESC, or the reason it names none.
bool resolveKey(const settings::EscInfo& esc, const std::string& key,
                settings::NamedParameter& parameter, std::string& error) {
    int id = 0;
    if (parseInt(key, id)) {
        if (const auto p = settings::parameterOfControl(esc, id)) {
            parameter = *p;
            return true;
        }
        error = msg(Msg::NotSettingOfEscId, {std::to_string(id), std::to_string(esc.family)});
        return false;
    }
    if (const auto p = settings::findParameter(esc, key)) {
        parameter = *p;
        return true;
    }
    error = msg(Msg::NotSettingOfEsc,
                {key, std::to_string(esc.family), nearestText(parameterNames(esc), key)});
    return false;
}

// A list value: an item index for a control id, the item text (any case) or #N for a name.
bool resolveListValue(const form::Form& form, const settings::NamedParameter& p, const Typed& typed,
                      bool byId, int& index, std::string& error) {
    const int count = form.itemCount(p.control);
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) items.push_back(form.itemText(p.control, i));
    const std::string who = byId ? std::to_string(p.control) : std::string(p.name);
    bool numbered = byId;
    std::string number = typed.value;
    if (!byId && typed.value.size() > 1 && typed.value[0] == '#') {
        numbered = true;
        number = typed.value.substr(1);
    }
    if (!numbered) {
        for (int i = 0; i < count; ++i) {
            if (lowered(items[static_cast<size_t>(i)]) == lowered(typed.value)) {
                index = i;
                return true;
            }
        }
        std::string choices;
        for (size_t i = 0; i < items.size(); ++i) choices += (i == 0 ? "" : ", ") + items[i];
        const std::string nearest = nearestText(items, typed.value);
        error = msg(Msg::NotAChoice,
                    {typed.value, who, nearest.empty() ? msg(Msg::Choices, {choices}) : nearest});
        return false;
    }
    if (!parseInt(number, index) || index < 0 || index >= count) {
        error = msg(Msg::ItemIndexRange, {who, std::to_string(count - 1), number});
        return false;
    }
    return true;
}

// A numeric value: within the spin's range and one the coding stores as it is.
bool resolveNumber(const form::Form& form, const settings::EscInfo& esc,
                   const settings::NamedParameter& p, const Typed& typed, bool byId, int& value,
                   std::string& error) {
    const std::string who = byId ? std::to_string(p.control) : std::string(p.name);
    if (!parseInt(typed.value, value)) {
        error = msg(Msg::NotWholeNumber, {who, typed.value});
        return false;
    }
    int64_t low = 0;
    int64_t high = INT32_MAX;
    if (p.spin != 0) {
        low = std::min(form.spinLow(p.spin), form.spinHigh(p.spin));
        high = std::max(form.spinLow(p.spin), form.spinHigh(p.spin));
    }
    if (value < low || value > high) {
        error = p.spin != 0 ? msg(Msg::ValueRange, {who, std::to_string(low), std::to_string(high),
                                                    std::to_string(value)})
                            : msg(Msg::NoNegativeValue, {who});
        return false;
    }
    const auto stored = settings::storedNumber(esc, p.control, value, settings::g_calcResult);
    if (stored && *stored != value) {
        const settings::NearestValues near =
            settings::nearestStorable(esc, p.control, value, low, high, settings::g_calcResult);
        std::string options;
        if (near.below)
            options = std::to_string(*near.below);
        if (near.above)
            options = options.empty() ? std::to_string(*near.above)
                                      : msg(Msg::Or, {options, std::to_string(*near.above)});
        error = msg(Msg::CannotStoreValue,
                    {who, std::to_string(value), std::to_string(*stored),
                     options.empty() ? std::string() : msg(Msg::Nearest, {options})});
        return false;
    }
    return true;
}

void apply(form::Form& form, const Assignment& a) {
    if (a.parameter.isList) {
        form.setSelection(a.parameter.control, a.value);
    } else if (a.parameter.spin != 0) {
        form.setSpinPosition(a.parameter.spin, a.value);
    } else {
        form.setText(a.parameter.control, std::to_string(a.value));
    }
}

int runWrite(CommandContext& ctx) {
    std::vector<Typed> typed;
    std::string error;
    if (!splitAssignments(ctx.options.args, typed, error))
        return fail(ctx.err, kExitUsage, error);
    int code = kExitOk;
    const auto session = openSessionWithSettings(ctx, code);
    if (!session)
        return code;
    const settings::EscInfo esc = session->controller().escInfo();
    form::Form& form = session->form();
    std::vector<Assignment> assignments;
    for (const Typed& t : typed) {
        int id = 0;
        const bool byId = parseInt(t.key, id);
        Assignment a{};
        if (!resolveKey(esc, t.key, a.parameter, error))
            return fail(ctx.err, kExitUsage, error);
        if (!form.isVisible(a.parameter.control) || !form.isEnabled(a.parameter.control)) {
            return fail(ctx.err, kExitUsage,
                        msg(Msg::NotInUse, {byId ? t.key : std::string(a.parameter.name)}));
        }
        const bool ok = a.parameter.isList
                            ? resolveListValue(form, a.parameter, t, byId, a.value, error)
                            : resolveNumber(form, esc, a.parameter, t, byId, a.value, error);
        if (!ok)
            return fail(ctx.err, kExitUsage, error);
        assignments.push_back(a);
    }
    for (const Assignment& a : assignments) apply(form, a);
    return runOperation(
        ctx.out, ctx.err, *session, [](session::Session& s) { return s.write(); },
        [&](form::ControlId id, const std::string& value) {
            const bool isAsked =
                std::any_of(assignments.begin(), assignments.end(),
                            [id](const Assignment& a) { return a.parameter.control == id; });
            return msg(isAsked ? Msg::Asked : Msg::Sent, {value});
        },
        ctx.options.quiet);
}

}  // namespace

const Command& writeCommand() {
    static const Command command{
        "write", "write NAME=VALUE ...",
        "set parameters by name, send the settings and print the read-back",
        "Reads the ESC, sets each parameter and sends the settings, then prints the\n"
        "read-back. NAME is a parameter's name as `read` shows it (e.g. brake-strength,\n"
        "min-throttle); VALUE is a list's choice as shown (any case; #N for the item at\n"
        "index N) or a number for a numeric parameter, which must lie in its range and be a\n"
        "value the ESC stores as it is (min-throttle goes in steps of 4). A control id\n"
        "(ID=VALUE, a list's item index) is taken too. Nothing is sent when a value is\n"
        "refused. Exit code 3 when the ESC did not store what was asked.\n",
        runWrite};
    return command;
}

}  // namespace cli
