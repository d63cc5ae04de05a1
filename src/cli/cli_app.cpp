#include "cli/cli_app.h"

#include <unistd.h>

#include <charconv>
#include <climits>
#include <map>
#include <memory>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/json_report.h"
#include "cli/profile_command.h"
#include "i18n/ui_text.h"
#include "sim/device_uri.h"

namespace cli {

namespace {

constexpr const char* kProgram = "tessaro-cli: ";

int fail(std::ostream& err, int code, const std::string& text) {
    if (!text.empty())
        err << kProgram << text << "\n";
    return code;
}

std::string workingDirectory() {
    std::string buffer(PATH_MAX, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return ".";
    buffer.resize(buffer.find('\0'));
    return buffer;
}

bool parseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

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

// What the read-back shows for a requested value, as text.
std::string shownValue(const form::Form& form, const ValueControl& control) {
    if (control.kind == ValueKind::List)
        return std::to_string(form.selection(control.id));
    return form.text(control.id);
}

void printJson(std::ostream& out, CliSession& session) {
    out << settingsJson(session.form(), session.controller())
               .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        << "\n";
}

int linkFailure(std::ostream& err, CliSession& session) {
    return fail(err, kExitNoDevice, session.failureText());
}

int runInfo(std::ostream& out, std::ostream& err, CliSession& session) {
    if (!session.waitForIdentification())
        return linkFailure(err, session);
    const settings::EscInfo esc = session.controller().escInfo();
    out << "adapter: " << session.form().text(form::kEditAdapterVersion) << "\n"
        << "esc: " << session.form().text(form::kEditEscVersion) << "\n"
        << "family: " << int(esc.family) << "\n"
        << "variant: " << int(esc.variant) << "\n";
    return kExitOk;
}

int runRead(std::ostream& out, std::ostream& err, CliSession& session) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    printJson(out, session);
    return kExitOk;
}

// Sends the form (or the defaults) and waits for the read-back.
int writeAndReadBack(std::ostream& err, CliSession& session, bool defaults) {
    protocol::ProtocolController& controller = session.controller();
    const uint32_t seen = controller.settingsReadCount();
    if (defaults) {
        controller.restoreDefaultCommand();
    } else {
        controller.sendSettingCommand();
    }
    if (controller.protocolState() != protocol::kStateWriteSettle) {
        return fail(err, kExitNotStored, "nothing was sent");
    }
    if (!session.waitForSettings(seen))
        return linkFailure(err, session);
    return kExitOk;
}

int runWrite(std::ostream& out, std::ostream& err, CliSession& session,
             const std::vector<Assignment>& assignments) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    std::string error;
    for (const Assignment& a : assignments) {
        if (!applyAssignment(session.form(), a, error))
            return fail(err, kExitUsage, error);
    }
    // What the form holds now is what is asked, in the form's own terms (an edit's text).
    std::map<form::ControlId, std::string> asked;
    for (const Assignment& a : assignments)
        asked[a.control->id] = shownValue(session.form(), *a.control);
    if (const int code = writeAndReadBack(err, session, false); code != kExitOk)
        return code;
    printJson(out, session);
    int result = kExitOk;
    for (const auto& [id, value] : asked) {
        const std::string stored = shownValue(session.form(), *findValueControl(id));
        if (stored != value) {
            err << kProgram << id << ": asked " << value << ", the ESC stored " << stored << "\n";
            result = kExitNotStored;
        }
    }
    return result;
}

int runDefaults(std::ostream& out, std::ostream& err, CliSession& session) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    if (const int code = writeAndReadBack(err, session, true); code != kExitOk)
        return code;
    printJson(out, session);
    return kExitOk;
}

}  // namespace

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
    i18n::g_languageFilePath = i18n::languageFilePathFor(workingDirectory());

    const std::string& command = options.command;
    if (command == "profile") return runProfileCommand(options.args, out, err);
    std::vector<Assignment> assignments;
    if (command == "write") {
        if (!parseAssignments(options.args, assignments, error)) {
            return fail(err, kExitUsage, error);
        }
    } else if (command == "info" || command == "read" || command == "defaults") {
        if (!options.args.empty()) {
            return fail(err, kExitUsage,
                        command + " takes no arguments, not '" + options.args[0] + "'");
        }
    } else {
        return fail(err, kExitUsage, "unknown command '" + command + "' (see tessaro-cli --help)");
    }

    sim::Device device;
    if (!sim::openDeviceUri(options.device, clock, device, error)) {
        // A URI that names no device is a usage error; a real port that cannot be made is not.
        return fail(err, options.device == sim::kDefaultDeviceUri ? kExitNoDevice : kExitUsage,
                    error);
    }
    CliSession session(std::move(device), options.device, clock, err, options.trace);
    session.setTimeoutMs(uint64_t{options.timeoutSeconds} * 1000);
    if (!session.startLink())
        return linkFailure(err, session);

    if (command == "info")
        return runInfo(out, err, session);
    if (command == "read")
        return runRead(out, err, session);
    if (command == "write")
        return runWrite(out, err, session, assignments);
    return runDefaults(out, err, session);
}

}  // namespace cli
