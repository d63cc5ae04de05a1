#include "cli/command_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <istream>
#include <ostream>

#include "cli/cli_messages.h"
#include "cli/devices_command.h"
#include "cli/json_report.h"
#include "common/input_file.h"
#include "devices/adapter_choice.h"
#include "devices/device_uri.h"
#include "devices/recording_port.h"
#include "form/layout.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"

namespace cli {

int fail(std::ostream& err, int code, const std::string& text) {
    if (!text.empty())
        err << kProgramPrefix << text << "\n" << std::flush;
    return code;
}

bool parseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

int expectNoArguments(CommandContext& ctx) {
    if (ctx.options.args.empty())
        return kExitOk;
    return fail(ctx.err, kExitUsage,
                msg(Msg::TakesNoArguments, {ctx.options.command, ctx.options.args[0]}));
}

namespace {

// A command that talks to the ESC reads its lists and captions from language.ini in the
// working directory: without one it would read the ESC into a form without lists.
bool languageFileReadable(std::string& error) {
    const std::string& path = i18n::g_languageFilePath;
    // Opened as the engine opens it: never waited on, and no larger than it reads.
    common::InputFile refused;
    const int fd = common::openInputFile(path, refused);
    if (fd < 0) {
        error = refused.error == common::InputFileError::Missing
                    ? msg(Msg::NoLanguageFile, {path, std::strerror(refused.errorNumber)})
                : refused.error == common::InputFileError::NotRegular
                    ? msg(Msg::LanguageFileUnreadable, {path, msg(Msg::NotRegularFile)})
                    : msg(Msg::LanguageFileUnreadable, {path, std::strerror(refused.errorNumber)});
        return false;
    }
    struct stat info {};
    const bool tooLarge = ::fstat(fd, &info) == 0 && static_cast<unsigned long long>(info.st_size) >
                                                         i18n::kMaxProfileFileBytes;
    ::close(fd);
    if (tooLarge) {
        error = msg(Msg::LanguageFileUnreadable,
                    {path, msg(Msg::LargerThan, {std::to_string(i18n::kMaxProfileFileBytes)})});
        return false;
    }
    return true;
}

}  // namespace

bool calculatorResult(const CalculatorOptions& calculator, int64_t& result, std::string& error) {
    struct Input {
        const char* option;
        int value;
        form::ControlId spin;
    };
    const Input inputs[] = {{"--cells", calculator.cells, form::kSpinCalcCells},
                            {"--kv", calculator.kv, form::kSpinCalcKv},
                            {"--gear", calculator.gear, form::kSpinCalcGear},
                            {"--pinion", calculator.pinion, form::kSpinCalcPinion}};
    int64_t values[4] = {};
    for (size_t i = 0; i < std::size(inputs); ++i) {
        const form::SpinSetup* setup = nullptr;
        for (const form::SpinSetup& s : form::calculatorSpinSetup()) {
            if (s.spin == inputs[i].spin)
                setup = &s;
        }
        const int value = inputs[i].value != 0 ? inputs[i].value : setup->start;
        if (value < setup->low || value > setup->high) {
            error = msg(Msg::CalculatorRange, {inputs[i].option, std::to_string(setup->low),
                                               std::to_string(setup->high), std::to_string(value)});
            return false;
        }
        values[i] = value;
    }
    result = settings::computeCalcResult(values[0], values[1], values[3], values[2]);
    return true;
}

int prepareLanguage(CommandContext& ctx) {
    std::string error;
    if (!languageFileReadable(error))
        return fail(ctx.err, kExitFileError, error);
    const std::string& lang = ctx.options.lang;
    if (!lang.empty() && !i18n::writeLanguageChoice(lang == "zh" ? i18n::kLanguageChinese
                                                                 : i18n::kLanguageEnglish)) {
        return fail(ctx.err, kExitFileError,
                    msg(Msg::CannotStoreLanguage, {i18n::g_languageFilePath}));
    }
    return kExitOk;
}

int checkAdapterChoice(std::ostream& err, devices::Device& device) {
    const devices::AdapterChoice choice = devices::chooseDeviceAdapter(device.kind, *device.port);
    if (choice.kind != devices::AdapterChoiceKind::Several)
        return kExitOk;
    for (const devices::AdapterReport& report : choice.adapters)
        err << "  " << adapterLine(report) << "\n";
    return fail(err, kExitUsage,
                msg(Msg::SeveralAdapters,
                    {std::to_string(choice.adapters.size()), choice.adapters.back().path}));
}

bool openDevice(const CliOptions& options, transport::Clock& clock, std::ostream& err,
                devices::Device& device, int& code) {
    std::string error;
    if (!devices::openDeviceUri(options.device, clock, device, error)) {
        // A URI that names no device is a usage error; a real port that cannot be made is not.
        code = fail(err, options.device == devices::kDefaultDeviceUri ? kExitNoDevice : kExitUsage,
                    error);
        return false;
    }
    // With several adapters and none named, the user names one: nothing is opened.
    code = checkAdapterChoice(err, device);
    if (code != kExitOk)
        return false;
    if (!options.record.empty() &&
        !devices::startRecording(device, options.record, clock,
                                 "tessaro-cli " TESSARO_VERSION " " + options.command, error)) {
        code = fail(err, kExitFileError, error);
        return false;
    }
    code = kExitOk;
    return true;
}

std::unique_ptr<CliSession> openSession(CommandContext& ctx, int& code) {
    const CliOptions& options = ctx.options;
    std::string error;
    int64_t calcResult = 0;
    if (options.calculator.any() && !calculatorResult(options.calculator, calcResult, error)) {
        code = fail(ctx.err, kExitUsage, error);
        return nullptr;
    }
    code = prepareLanguage(ctx);
    if (code != kExitOk)
        return nullptr;
    devices::Device device;
    if (!openDevice(options, ctx.clock, ctx.err, device, code))
        return nullptr;
    auto session = std::make_unique<CliSession>(std::move(device), options.device, ctx.clock,
                                                ctx.err, options.trace, workingDirectory());
    session->setTimeoutMs(uint64_t{options.timeoutSeconds} * 1000);
    // The governor of the air families is read and written against the user's gear.
    if (options.calculator.any())
        settings::g_calcResult = calcResult;
    if (!session->startLink()) {
        code = linkFailure(ctx.err, *session);
        return nullptr;
    }
    code = kExitOk;
    return session;
}

std::unique_ptr<CliSession> openSessionWithSettings(CommandContext& ctx, int& code) {
    auto session = openSession(ctx, code);
    if (session && !session->waitForSettings()) {
        code = linkFailure(ctx.err, *session);
        return nullptr;
    }
    return session;
}

int confirm(CommandContext& ctx, const std::string& question) {
    if (ctx.options.yes)
        return kExitOk;
    if (!ctx.inputIsTerminal || ctx.in == nullptr) {
        return fail(ctx.err, kExitUsage, msg(Msg::NoTerminalGiveYes, {ctx.options.command}));
    }
    ctx.err << kProgramPrefix << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(*ctx.in, answer);
    for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (answer == "y" || answer == "yes")
        return kExitOk;
    return fail(ctx.err, kExitUsage, msg(Msg::NotConfirmed));
}

int linkFailure(std::ostream& err, CliSession& session) {
    return fail(err, session.replayFailed() ? kExitReplayDiffers : kExitNoDevice,
                session.failureText());
}

void printJson(std::ostream& out, CliSession& session) {
    out << settingsJson(session.form(), session.controller())
               .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        << "\n";
}

std::string sentPlain(form::ControlId, const std::string& value) {
    return msg(Msg::Sent, {value});
}

int reportResult(std::ostream& err, const session::Result& result, const SentWording& sent,
                 bool quiet) {
    if (result.backup && !quiet)
        err << kProgramPrefix << i18n::LookupUiText(i18n::kTextBackupSaved) << " "
            << fromWorkingDirectory(*result.backup) << "\n";
    switch (result.outcome) {
        case session::Outcome::Ok:
            return kExitOk;
        case session::Outcome::NotStored:
            for (const session::Difference& d : result.differences) {
                if (d.control != 0) {
                    err << kProgramPrefix
                        << msg(Msg::ControlNotStored,
                               {std::to_string(d.control), sent(d.control, d.sent), d.stored})
                        << "\n";
                } else {
                    err << kProgramPrefix
                        << msg(Msg::PositionNotStored,
                               {std::to_string(int(d.position)), d.sent, d.stored})
                        << "\n";
                }
            }
            return kExitNotStored;
        case session::Outcome::FileError:
            return fail(err, kExitFileError, result.message);
        case session::Outcome::Refused:
        case session::Outcome::Cancelled:
            // A refusal of the controller has printed its warning already.
            return fail(err, kExitNotStored,
                        result.message.empty() ? msg(Msg::NothingSent) : result.message);
        case session::Outcome::EscVersionFailed:
        case session::Outcome::AdapterRemoved:
        case session::Outcome::EscLost:
            return fail(err, kExitNoDevice, result.message);
        case session::Outcome::UpdateFailed:
            return fail(err, kExitUpdateFailed, msg(Msg::UpdateFailed, {result.message}));
    }
    return kExitNotStored;
}

int runOperation(std::ostream& out, std::ostream& err, CliSession& session,
                 const std::function<bool(session::Session&)>& start, const SentWording& sent,
                 bool quiet) {
    session::Result result;
    if (!session.runOperation(start, result))
        return linkFailure(err, session);
    const bool sentSomething = result.ok() || result.outcome == session::Outcome::NotStored;
    if (sentSomething)
        printJson(out, session);
    return reportResult(err, result, sent, quiet);
}

}  // namespace cli
