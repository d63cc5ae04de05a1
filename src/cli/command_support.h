#pragma once
// What the commands that talk to the ESC share: the one-line error, the way to a linked
// session, the printed settings and the report of an operation's end.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "cli/cli_session.h"
#include "cli/command.h"
#include "form/control_ids.h"
#include "session/session.h"

namespace cli {

inline constexpr const char* kProgramPrefix = "tessaro-cli: ";

// "tessaro-cli: TEXT" on `err` (nothing for an empty text); returns `code`.
int fail(std::ostream& err, int code, const std::string& text);

// True with `value` for a whole decimal number and nothing else.
bool parseInt(const std::string& text, int& value);

// The usage error for a command that takes no arguments but got some; kExitOk when none.
int expectNoArguments(CommandContext& ctx);

// The gear calculator's result for the options: each input not given takes the
// calculator's start position. False with the reason for an input outside its range.
bool calculatorResult(const CalculatorOptions& calculator, int64_t& result, std::string& error);

// Before a command reaches a device: the language file must be readable, and a --lang
// choice is stored. kExitOk, or the exit code after the error line.
int prepareLanguage(CommandContext& ctx);

// Before a command opens the adapter of `device`: with several adapters there and none
// named, lists them on `err` and says how to name one (exit 1). kExitOk otherwise.
int checkAdapterChoice(std::ostream& err, devices::Device& device);

// Opens the device the options name and links up with the adapter. nullptr with the exit
// code in `code` (the error line printed) when that failed.
std::unique_ptr<CliSession> openSession(CommandContext& ctx, int& code);
// The device --device names, its recording started when --record asks for one. False after
// the one-line error, with the exit code in `code`: a URI that names no device is a usage
// error, a recording that cannot be created a file error.
bool openDevice(const CliOptions& options, transport::Clock& clock, std::ostream& err,
                devices::Device& device, int& code);
// openSession, then waits until the ESC's settings are in the form. nullptr with the exit
// code in `code` (the error line printed) when either failed.
std::unique_ptr<CliSession> openSessionWithSettings(CommandContext& ctx, int& code);

// Asks `question` before a command that cannot be taken back: kExitOk to go on. --yes
// skips it; without a terminal to ask on, the command is refused (exit 1) with the advice
// to give --yes; an answer other than y or yes refuses it too.
int confirm(CommandContext& ctx, const std::string& question);

// The exit code of a wait that failed, after its line.
int linkFailure(std::ostream& err, CliSession& session);

// The settings JSON object of the form, on `out`.
void printJson(std::ostream& out, CliSession& session);

// How a report words the value sent for a control ("asked 4", "the file asks 4", "sent 4").
using SentWording = std::function<std::string(form::ControlId, const std::string&)>;
std::string sentPlain(form::ControlId, const std::string& value);

// The exit code and lines of an operation's end.
int reportResult(std::ostream& err, const session::Result& result, const SentWording& sent,
                 bool quiet = false);

// Runs an operation of the session from a quiet link to its end, prints the settings the
// ESC holds afterwards, and reports.
int runOperation(std::ostream& out, std::ostream& err, CliSession& session,
                 const std::function<bool(session::Session&)>& start, const SentWording& sent,
                 bool quiet = false);

}  // namespace cli
