#include "cli/cli_app.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "cli/cli_messages.h"
#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/generated_docs.h"
#include "i18n/ui_text.h"

namespace cli {

namespace {

// Passes everything on to `target` and keeps the last line that starts with the
// program's prefix: the error line a failed command printed.
class ErrorLineTee final : public std::streambuf {
  public:
    explicit ErrorLineTee(std::ostream& target) : m_target(target) {}
    const std::string& lastError() const { return m_lastError; }

  private:
    int overflow(int c) override {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        m_target.write(text, count);
        for (std::streamsize i = 0; i < count; ++i) {
            if (text[i] != '\n') {
                m_line += text[i];
                continue;
            }
            const std::string prefix = kProgramPrefix;
            if (m_line.rfind(prefix, 0) == 0)
                m_lastError = m_line.substr(prefix.size());
            m_line.clear();
        }
        return count;
    }
    int sync() override {
        m_target.flush();
        return 0;
    }

    std::ostream& m_target;
    std::string m_line;
    std::string m_lastError;
};

// With --json: what the command printed, with {"error": {"code", "message"}} added to its
// object (or standing alone) when it failed.
void printJsonResult(std::ostream& out, const std::string& printed, int code,
                     const std::string& message) {
    if (code == kExitOk) {
        out << printed;
        return;
    }
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(printed, nullptr, false);
    if (!json.is_object())
        json = nlohmann::ordered_json::object();
    json["error"] = {{"code", code}, {"message", message}};
    out << json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

// The language of the messages: this command's --lang, else the choice stored in the
// language file of the working directory (English without one).
void chooseMessageLanguage(const CliOptions& options) {
    if (!options.lang.empty()) {
        setChineseMessages(options.lang == "zh");
        return;
    }
    i18n::g_languageFilePath = i18n::languageFilePathFor(workingDirectory());
    setChineseMessages(i18n::readLanguageChoice() == i18n::kLanguageChinese);
}

int runCommand(CliOptions& options, std::ostream& out, std::ostream& err, transport::Clock& clock,
               const CliTerminal& terminal) {
    if (options.version) {
        out << versionText();
        return kExitOk;
    }
    if (options.man) {
        out << manPage();
        return kExitOk;
    }
    if (!options.completion.empty()) {
        out << completionScript(options.completion);
        return kExitOk;
    }
    if (options.command == "help" || (options.help && options.command.empty())) {
        if (options.args.empty()) {
            out << usageText();
            return kExitOk;
        }
        const std::string text = commandHelpText(options.args[0]);
        if (text.empty())
            return fail(err, kExitUsage, msg(Msg::NoSuchCommandHelp, {options.args[0]}));
        out << text;
        return kExitOk;
    }
    const Command* command = findCommand(options.command);
    if (command == nullptr) {
        return fail(err, kExitUsage, msg(Msg::UnknownCommand, {options.command}));
    }
    if (options.help) {
        out << commandHelpText(options.command);
        return kExitOk;
    }
    i18n::g_languageFilePath = i18n::languageFilePathFor(workingDirectory());
    // A language chosen for a command that then fails is not kept; putting the choice
    // back makes no language file where there was none (it would then be taken for the
    // folder's own).
    const uint8_t languageBefore = i18n::readLanguageChoice();
    struct stat languageFile {};
    const bool languageFileThere = ::stat(i18n::g_languageFilePath.c_str(), &languageFile) == 0;
    CommandContext context{
        options, out, err, clock, terminal.in, terminal.inputIsTerminal, terminal.errorIsTerminal};
    const int code = command->run(context);
    if (code != kExitOk && !options.lang.empty() && languageFileThere)
        i18n::writeLanguageChoice(languageBefore);
    return code;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock) {
    return runCli(args, out, err, clock, CliTerminal{});
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock, const CliTerminal& terminal) {
    CliOptions options;
    std::string error;
    int code = kExitOk;
    const bool parsed = parseCommandLine(args, options, error);
    // The language holds for this run only: a later run (or a caller in the same process)
    // chooses its own.
    struct LanguageRestore {
        bool chinese = chineseMessages();
        ~LanguageRestore() { setChineseMessages(chinese); }
    } restore;
    chooseMessageLanguage(options);
    if (!parsed) {
        code = fail(err, kExitUsage, msg(Msg::SeeHelp, {error}));
        if (options.json)
            printJsonResult(out, "", code, error);
        return code;
    }
    const Command* streaming = findCommand(options.command);
    if (!options.json) {
        code = runCommand(options, out, err, clock, terminal);
    } else if (streaming != nullptr && streaming->jsonLines && !options.help) {
        ErrorLineTee tee(err);
        std::ostream errors(&tee);
        code = runCommand(options, out, errors, clock, terminal);
        errors.flush();
        if (code != kExitOk) {
            nlohmann::ordered_json json;
            json["error"] = {{"code", code}, {"message", tee.lastError()}};
            out << json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << "\n";
        }
    } else {
        std::ostringstream printed;
        ErrorLineTee tee(err);
        std::ostream errors(&tee);
        code = runCommand(options, printed, errors, clock, terminal);
        errors.flush();
        printJsonResult(out, printed.str(), code, tee.lastError());
    }
    // A result that did not reach its reader is no success.
    out.flush();
    if (!out) {
        const int cause = errno;
        return fail(err, kExitFileError,
                    msg(Msg::CannotWriteStdout) +
                        (cause != 0 ? std::string(": ") + std::strerror(cause) : ""));
    }
    return code;
}

}  // namespace cli
