#include "cli/cli_app.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "cli/profile_command.h"
#include "devices/device_uri.h"
#include "files/esc_backup.h"
#include "files/settings_file.h"
#include "form/layout.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/settings_file_commands.h"

namespace cli {

namespace {

constexpr const char* kProgram = "tessaro-cli: ";

int fail(std::ostream& err, int code, const std::string& text) {
    if (!text.empty())
        err << kProgram << text << "\n";
    return code;
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
    if (!session.waitForSettings())
        return linkFailure(err, session);
    printJson(out, session);
    return kExitOk;
}

// The exit code and lines of an operation's end. `sent` words the value sent for a control
// ("asked 4", "the file asks 4", "sent 4").
int reportResult(std::ostream& err, const session::Result& result,
                 const std::function<std::string(form::ControlId, const std::string&)>& sent) {
    if (result.backup)
        err << kProgram << i18n::LookupUiText(i18n::kTextBackupSaved) << " " << *result.backup
            << "\n";
    switch (result.outcome) {
        case session::Outcome::Ok:
            return kExitOk;
        case session::Outcome::NotStored:
            for (const session::Difference& d : result.differences) {
                if (d.control != 0) {
                    err << kProgram << d.control << ": " << sent(d.control, d.sent)
                        << ", the ESC stored " << d.stored << "\n";
                } else {
                    err << kProgram << "P" << int(d.position) << ": sent " << d.sent
                        << ", the ESC stored " << d.stored << "\n";
                }
            }
            return kExitNotStored;
        case session::Outcome::FileError:
            return fail(err, kExitFileError, result.message);
        case session::Outcome::Refused:
        case session::Outcome::Cancelled:
            // A refusal of the controller has printed its warning already.
            return fail(err, kExitNotStored,
                        result.message.empty() ? "nothing was sent" : result.message);
        case session::Outcome::EscVersionFailed:
        case session::Outcome::AdapterRemoved:
        case session::Outcome::EscLost:
            return fail(err, kExitNoDevice, result.message);
        case session::Outcome::UpdateFailed:
            return fail(err, kExitUpdateFailed, "firmware update failed: " + result.message);
    }
    return kExitNotStored;
}

// Runs an operation of the session from a quiet link to its end, prints the settings the
// ESC holds afterwards, and reports.
int runOperation(std::ostream& out, std::ostream& err, CliSession& session,
                 const std::function<bool(session::Session&)>& start,
                 const std::function<std::string(form::ControlId, const std::string&)>& sent) {
    session::Result result;
    if (!session.runOperation(start, result))
        return linkFailure(err, session);
    const bool sentSomething = result.ok() || result.outcome == session::Outcome::NotStored;
    if (sentSomething)
        printJson(out, session);
    return reportResult(err, result, sent);
}

std::string sentPlain(form::ControlId, const std::string& value) {
    return "sent " + value;
}

int runWrite(std::ostream& out, std::ostream& err, CliSession& session,
             const std::vector<Assignment>& assignments) {
    if (!session.waitForSettings())
        return linkFailure(err, session);
    const settings::EscInfo esc = session.controller().escInfo();
    const std::vector<form::ControlId> carried = settings::carriedControls(esc);
    for (const Assignment& a : assignments) {
        if (std::find(carried.begin(), carried.end(), a.control->id) == carried.end()) {
            return fail(err, kExitUsage,
                        std::to_string(a.control->id) + " is not a setting of this ESC (family " +
                            std::to_string(esc.family) + ")");
        }
    }
    std::string error;
    for (const Assignment& a : assignments) {
        if (!applyAssignment(session.form(), a, error))
            return fail(err, kExitUsage, error);
    }
    return runOperation(
        out, err, session, [](session::Session& s) { return s.write(); },
        [&](form::ControlId id, const std::string& value) {
            const bool isAsked =
                std::any_of(assignments.begin(), assignments.end(),
                            [id](const Assignment& a) { return a.control->id == id; });
            return (isAsked ? "asked " : "sent ") + value;
        });
}

int runDefaults(std::ostream& out, std::ostream& err, CliSession& session) {
    return runOperation(
        out, err, session, [](session::Session& s) { return s.restoreDefaults(); }, sentPlain);
}

int runRestore(std::ostream& out, std::ostream& err, CliSession& session,
               const files::EscBackup& backup) {
    return runOperation(
        out, err, session, [&](session::Session& s) { return s.restore(backup); }, sentPlain);
}

int runExport(std::ostream& out, std::ostream& err, CliSession& session,
              const std::string& chosen) {
    if (!session.waitForSettings())
        return linkFailure(err, session);
    const std::string path = files::settingsFileNameFor(chosen);
    const session::Result result = session.session().exportSettings(path);
    if (!result.ok())
        return fail(err, kExitFileError, result.message);
    out << path << "\n";
    return kExitOk;
}

int runImport(std::ostream& out, std::ostream& err, CliSession& session,
              const files::SettingsFile& file) {
    const auto fileControls = settings::settingsFileControls();
    return runOperation(
        out, err, session, [&](session::Session& s) { return s.importSettings(file); },
        [&](form::ControlId id, const std::string& value) {
            const bool inFile =
                std::find(fileControls.begin(), fileControls.end(), id) != fileControls.end();
            return (inFile ? "the file asks " : "sent ") + value;
        });
}

// A command that talks to the ESC reads its lists and captions from language.ini in the
// working directory: without one it would read the ESC into a form without lists.
bool languageFileReadable(std::string& error) {
    const std::string& path = i18n::g_languageFilePath;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "no language file at " + path + ": " + std::strerror(errno) +
                " (run tessaro-cli in the folder that holds language.ini)";
        return false;
    }
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), R_OK) != 0) {
        error = "the language file " + path + " cannot be read" +
                (S_ISREG(info.st_mode) ? std::string(": ") + std::strerror(errno)
                                       : std::string(": not a regular file"));
        return false;
    }
    return true;
}

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

int runCalc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::array<int64_t, 4> v{};
    std::string error;
    if (!parseCalcArguments(args, v, error))
        return fail(err, kExitUsage, error);
    out << settings::computeCalcResult(v[0], v[1], v[3], v[2]) << "\n";
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
    i18n::g_languageFilePath = i18n::languageFilePathFor(currentDirectory());

    const std::string& command = options.command;
    if (command == "profile")
        return runProfileCommand(options.args, out, err);
    if (command == "calc")
        return runCalc(options.args, out, err);
    static const std::vector<std::string> kDeviceCommands = {
        "info", "read", "write", "export", "import", "defaults", "restore", "flash"};
    if (std::find(kDeviceCommands.begin(), kDeviceCommands.end(), command) ==
        kDeviceCommands.end()) {
        return fail(err, kExitUsage, "unknown command '" + command + "' (see tessaro-cli --help)");
    }
    if (!languageFileReadable(error))
        return fail(err, kExitFileError, error);
    if (!options.lang.empty() &&
        !i18n::writeLanguageChoice(options.lang == "zh" ? i18n::kLanguageChinese
                                                        : i18n::kLanguageEnglish)) {
        return fail(err, kExitFileError,
                    "cannot store the language in " + i18n::g_languageFilePath);
    }
    if (command == "flash")
        return runFlash(options, out, err, clock);
    std::vector<Assignment> assignments;
    files::SettingsFile importFile;
    files::EscBackup restoreBackup;
    if (command == "export" || command == "import") {
        if (options.args.size() != 1)
            return fail(err, kExitUsage, command + " takes one FILE");
        if (command == "import") {
            files::SettingsFileError fileError = files::SettingsFileError::None;
            const auto file = files::SettingsFile::read(options.args[0], fileError);
            if (!file) {
                return fail(err, kExitFileError,
                            fileError == files::SettingsFileError::WrongSize
                                ? std::string(settings::kFileErrorMessage) + " " + options.args[0] +
                                      " is not a settings file of 15 bytes"
                                : "cannot read " + options.args[0]);
            }
            importFile = *file;
        }
    } else if (command == "write") {
        if (!parseAssignments(options.args, assignments, error)) {
            return fail(err, kExitUsage, error);
        }
    } else if (command == "restore") {
        if (options.args.size() != 1)
            return fail(err, kExitUsage, "restore takes one BACKUP file (see backups/)");
        const auto backup = files::readEscBackup(options.args[0], error);
        if (!backup)
            return fail(err, kExitFileError, error);
        restoreBackup = *backup;
    } else if (command == "info" || command == "read" || command == "defaults") {
        if (!options.args.empty()) {
            return fail(err, kExitUsage,
                        command + " takes no arguments, not '" + options.args[0] + "'");
        }
    } else {
        return fail(err, kExitUsage, "unknown command '" + command + "' (see tessaro-cli --help)");
    }

    devices::Device device;
    if (!devices::openDeviceUri(options.device, clock, device, error)) {
        // A URI that names no device is a usage error; a real port that cannot be made is not.
        return fail(err, options.device == devices::kDefaultDeviceUri ? kExitNoDevice : kExitUsage,
                    error);
    }
    CliSession session(std::move(device), options.device, clock, err, options.trace,
                       currentDirectory());
    session.setTimeoutMs(uint64_t{options.timeoutSeconds} * 1000);
    if (!session.startLink())
        return linkFailure(err, session);

    if (command == "info")
        return runInfo(out, err, session);
    if (command == "read")
        return runRead(out, err, session);
    if (command == "write")
        return runWrite(out, err, session, assignments);
    if (command == "export")
        return runExport(out, err, session, options.args[0]);
    if (command == "import")
        return runImport(out, err, session, importFile);
    if (command == "restore")
        return runRestore(out, err, session, restoreBackup);
    return runDefaults(out, err, session);
}

}  // namespace cli
