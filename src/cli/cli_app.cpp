#include "cli/cli_app.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
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
#include "files/settings_backup.h"
#include "files/settings_file.h"
#include "form/layout.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/settings_file_commands.h"
#include "devices/device_uri.h"

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

// The values of the controls the write frame carries, as the form shows them.
using ControlValues = std::map<form::ControlId, std::string>;

ControlValues carriedValues(const form::Form& form, const std::vector<form::ControlId>& ids) {
    ControlValues values;
    for (const form::ControlId id : ids) {
        if (const ValueControl* control = findValueControl(id))
            values[id] = shownValue(form, *control);
    }
    return values;
}

// Sends the form (or the defaults) from a quiet link and waits for the read-back.
// `sentFrame` receives the write frame as it went out.
int writeAndReadBack(std::ostream& err, CliSession& session, bool defaults,
                     std::vector<uint8_t>* sentFrame = nullptr) {
    protocol::ProtocolController& controller = session.controller();
    if (!session.settleLink())
        return linkFailure(err, session);
    const uint32_t seen = controller.settingsReadCount();
    if (defaults) {
        controller.restoreDefaultCommand();
    } else {
        controller.sendSettingCommand();
    }
    if (controller.protocolState() != protocol::kStateWriteSettle) {
        return fail(err, kExitNotStored, "nothing was sent");
    }
    if (sentFrame != nullptr)
        *sentFrame = controller.lastTxFrame();
    if (!session.waitForSettings(seen))
        return linkFailure(err, session);
    return kExitOk;
}

// Compares the read-back with the values sent, one line for each control that differs:
// "ID: <what was asked>, the ESC stored VALUE". `asked` words the value sent for an id.
int compareReadBack(std::ostream& err, const form::Form& form, const ControlValues& sent,
                    const std::function<std::string(form::ControlId, const std::string&)>& asked) {
    int result = kExitOk;
    for (const auto& [id, value] : sent) {
        const std::string stored = shownValue(form, *findValueControl(id));
        if (stored != value) {
            err << kProgram << id << ": " << asked(id, value) << ", the ESC stored " << stored
                << "\n";
            result = kExitNotStored;
        }
    }
    return result;
}

int runWrite(std::ostream& out, std::ostream& err, CliSession& session,
             const std::vector<Assignment>& assignments) {
    if (!session.waitForSettings(0))
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
    // What the frame carries now is what is sent, in the form's own terms (an edit's text).
    const ControlValues sent = carriedValues(session.form(), carried);
    if (const int code = writeAndReadBack(err, session, false); code != kExitOk)
        return code;
    printJson(out, session);
    return compareReadBack(err, session.form(), sent,
                           [&](form::ControlId id, const std::string& value) {
                               const bool isAsked = std::any_of(
                                   assignments.begin(), assignments.end(),
                                   [id](const Assignment& a) { return a.control->id == id; });
                               return (isAsked ? "asked " : "sent ") + value;
                           });
}

// Keeps the settings the ESC holds now in backups/ before they are overwritten.
void backUpSettings(std::ostream& err, CliSession& session) {
    const auto path =
        files::saveBackup(workingDirectory(), settings::captureSettingsFile(session.form()),
                          session.controller().escInfo().family, std::time(nullptr));
    if (path) {
        err << kProgram << i18n::LookupUiText(i18n::kTextBackupSaved) << " " << *path << "\n";
    } else {
        err << kProgram << "could not keep a backup of the current settings in "
            << files::kBackupFolder << "/\n";
    }
}

// The parameter bytes P1 … of a settings reply: a family-7 reply of 9 or 10 bytes has a
// header of 1 or 2 bytes before its data, every other reply starts with P1.
std::vector<uint8_t> replyParameters(const std::vector<uint8_t>& reply, uint8_t family) {
    size_t header = 0;
    if (family == settings::kFamilyAbc) {
        if (reply.size() == protocol::kFamily7MinReplyLength)
            header = 1;
        else if (reply.size() == protocol::kFamily7MinReplyLength + 1)
            header = 2;
    }
    return {reply.begin() + static_cast<std::ptrdiff_t>(std::min(header, reply.size())),
            reply.end()};
}

int runDefaults(std::ostream& out, std::ostream& err, CliSession& session) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    backUpSettings(err, session);
    const settings::EscInfo esc = session.controller().escInfo();
    std::vector<uint8_t> frame;
    if (const int code = writeAndReadBack(err, session, true, &frame); code != kExitOk)
        return code;
    printJson(out, session);
    // The read-back holds the factory bytes wherever the frame carries a setting.
    const std::vector<uint8_t> stored =
        replyParameters(session.controller().lastSettingsReply(), esc.family);
    int result = kExitOk;
    for (const uint8_t p : settings::carriedPositions(esc)) {
        if (p >= frame.size())
            continue;
        const uint8_t factory = frame[p];  // frame[0] is the write command
        if (p > stored.size() || stored[p - 1] != factory) {
            err << kProgram << "P" << int(p) << ": the factory value is "
                << hexBytes(&factory, 1, "") << ", the ESC stored "
                << (p > stored.size() ? std::string("nothing") : hexBytes(&stored[p - 1], 1, ""))
                << "\n";
            result = kExitNotStored;
        }
    }
    return result;
}

int runExport(std::ostream& out, std::ostream& err, CliSession& session,
              const std::string& chosen) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    const std::string path = files::settingsFileNameFor(chosen);
    if (!settings::captureSettingsFile(session.form()).write(path))
        return fail(err, kExitFileError, "cannot write " + path);
    out << path << "\n";
    return kExitOk;
}

int runImport(std::ostream& out, std::ostream& err, CliSession& session,
              const files::SettingsFile& file) {
    if (!session.waitForSettings(0))
        return linkFailure(err, session);
    form::Form& form = session.form();
    settings::applySettingsFile(form, file);
    // What the frame carries of the file and of the form, in the form's own terms.
    const ControlValues sent =
        carriedValues(form, settings::carriedControls(session.controller().escInfo()));
    const auto fileControls = settings::settingsFileControls();
    if (const int code = writeAndReadBack(err, session, false); code != kExitOk)
        return code;
    printJson(out, session);
    return compareReadBack(err, form, sent, [&](form::ControlId id, const std::string& value) {
        const bool inFile =
            std::find(fileControls.begin(), fileControls.end(), id) != fileControls.end();
        return (inFile ? "the file asks " : "sent ") + value;
    });
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
    i18n::g_languageFilePath = i18n::languageFilePathFor(workingDirectory());

    const std::string& command = options.command;
    if (command == "profile")
        return runProfileCommand(options.args, out, err);
    if (command == "calc")
        return runCalc(options.args, out, err);
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
    if (command == "export")
        return runExport(out, err, session, options.args[0]);
    if (command == "import")
        return runImport(out, err, session, importFile);
    return runDefaults(out, err, session);
}

}  // namespace cli
