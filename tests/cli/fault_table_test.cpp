// The program under faults: one table, one row per fault. Each row brings its fault about
// on the simulated adapter and ESC (late answers with jitter, as a real one gives them) or
// in the files a user hands the program, runs to the end on the virtual clock, and is
// held to four things: no crash and no hang (the run ends within bounded virtual time),
// the state the program's rules give, what the user is told, and nothing changed that
// should not be (the ESC's stored settings, and every file of the row's folder byte for
// byte).
//
// Rows about the link run on the session as both front ends build it; rows about files
// run the command line in this process, in a folder of their own, or the window's export
// through its prompter. Faults covered in more depth elsewhere are listed here once and
// named in docs/reliability.md with the tests that go further.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_options.h"
#include "files/settings_file.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "protocol/command_set.h"
#include "protocol/firmware_update.h"
#include "settings/settings_file_commands.h"
#include "sim/simulated_port.h"
#include "support/file_size_limit.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompter.h"
#include "support/session_rig.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FileSizeLimit;
using testing_support::ScratchDir;
using testing_support::writeBytes;

// No row may take longer than this on the virtual clock.
constexpr uint64_t kBoundMs = 120000;
// A firmware image of two blocks: block 0 whole, then the last one.
constexpr std::size_t kImageBytes = 1000;

// What a row saw at its end.
struct Seen {
    std::string state;  // the program's state, in the words of stateOf or runState
    std::string told;   // everything the user was told, joined by " | "
    uint64_t virtualMs = 0;
    bool escChanged = false;  // the ESC's stored settings differ from before the fault
};

// --- Rows on the session ------------------------------------------------------------------

struct LinkRig : testing_support::SessionRig {
    explicit LinkRig(const std::string& options) : BasicSessionRig(options) {}

    uint8_t state() { return controller().protocolState(); }
    bool reach(uint8_t wanted, uint32_t withinMs = 10000) {
        return host.runUntil([&] { return state() == wanted; }, withinMs);
    }
    std::string imageFile() {
        std::string bytes(kImageBytes, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 1);
        writeBytes(dir.file("image.hgm"), bytes);
        return dir.file("image.hgm");
    }
    // Starts the update of the image and runs until the controller is in `wanted`.
    bool updateUntil(uint8_t wanted) {
        return session->update(imageFile()) && reach(wanted, 20000);
    }
};

// "adapter on, ESC off, polling": the two lamps and the state of the conversation;
// "opening" while only open attempts run, "stopped" when nothing runs any more.
std::string stateOf(LinkRig& rig) {
    const uint8_t state = rig.state();
    std::string name;
    if (!rig.host.isTimerRunning(transport::kProtocolTimer)) {
        name = rig.host.isTimerRunning(transport::kOpenTimer) ? "opening" : "stopped";
    } else if (protocol::isUpdateState(state)) {
        name = protocol::updateStateName(state);
    } else {
        switch (state) {
            case protocol::kStateAwaitAdapterVersion:
                name = "awaiting the adapter";
                break;
            case protocol::kStateLinkPolling:
                name = "polling";
                break;
            case protocol::kStateAwaitSettings:
            case protocol::kStateAwaitFamily7Settings:
                name = "awaiting settings";
                break;
            default:
                name = "state " + std::to_string(state);
                break;
        }
    }
    return std::string(rig.controller().adapterLinked() ? "adapter on" : "adapter off") + ", " +
           (rig.controller().escLinked() ? "ESC on" : "ESC off") + ", " + name;
}

// The lamps as last shown, every result the session finished with, every box.
std::string toldBy(LinkRig& rig) {
    std::string told;
    const auto add = [&](const std::string& text) {
        if (!text.empty())
            told += (told.empty() ? "" : " | ") + text;
    };
    // The lamps as they show now (both off before the first change).
    add(std::string("lamps ") + (rig.controller().adapterLinked() ? "on" : "off") + "/" +
        (rig.controller().escLinked() ? "on" : "off"));
    for (const auto& end : rig.events.ends) {
        add(std::string(session::outcomeName(end.result.outcome)) +
            (end.result.message.empty() ? "" : ": " + end.result.message));
    }
    for (const std::string& message : rig.prompter.messages()) add("box: " + message);
    return told;
}

using LinkAction = std::function<void(LinkRig&)>;

// A row on the session: the options of the simulated device, the link brought up as the
// command line brings it up (or not, when `linkUp` is false), the fault, then `settleMs`
// more of the session's own time, and the front end giving up an operation still waiting,
// as both front ends do at their time-out.
std::function<Seen()> onLink(const std::string& options, LinkAction fault, bool linkUp = true,
                             uint32_t settleMs = 5000) {
    return [=] {
        LinkRig rig(options);
        const uint64_t start = rig.host.elapsedMs();
        if (linkUp) {
            EXPECT_TRUE(rig.linkUp());
        } else {
            rig.session->startLink();
        }
        const std::vector<uint8_t> before = rig.esc->storedParams();
        fault(rig);
        rig.host.runFor(settleMs);
        rig.session->giveUp("no answer in time");
        Seen seen;
        seen.state = stateOf(rig);
        seen.told = toldBy(rig);
        seen.virtualMs = rig.host.elapsedMs() - start;
        seen.escChanged = rig.esc->storedParams() != before;
        return seen;
    };
}

LinkAction removedIn(uint8_t state) {
    return [state](LinkRig& rig) {
        ASSERT_TRUE(rig.reach(state)) << "never in state " << int(state);
        rig.unplug();
    };
}

LinkAction removedInUpdate(uint8_t state) {
    return [state](LinkRig& rig) {
        ASSERT_TRUE(rig.updateUntil(state)) << "never in state " << int(state);
        rig.unplug();
    };
}

// The ESC silent from the moment `start` began an operation, reached `state` as it goes.
LinkAction silentFrom(const LinkAction& start, uint8_t state) {
    return [=](LinkRig& rig) {
        rig.esc->setSilentForever(true);
        start(rig);
        ASSERT_TRUE(rig.reach(state)) << "never in state " << int(state);
    };
}

// Runs until a box is shown, at most for a minute.
LinkAction untilABox(LinkAction start) {
    return [=](LinkRig& rig) {
        start(rig);
        rig.host.runUntil([&] { return !rig.prompter.messages().empty(); }, 60000);
    };
}

// `bytes` arriving unasked, in one tick, while the link polls.
LinkAction unasked(std::vector<uint8_t> bytes) {
    return [bytes](LinkRig& rig) {
        rig.port->queueInput(sim::kSimAdapterPath, bytes);
        rig.session->read();
    };
}

LinkAction withReportLength(uint32_t length) {
    return [length](LinkRig& rig) {
        sim::AdapterOptions options;
        options.reportLength = length;
        rig.port->setOptions(sim::kSimAdapterPath, options);
        rig.session->startLink();
    };
}

LinkAction readThen(LinkAction then) {
    return [then](LinkRig& rig) {
        rig.session->read();
        then(rig);
    };
}

LinkAction writeThen(LinkAction then) {
    return [then](LinkRig& rig) {
        rig.session->write();
        then(rig);
    };
}

LinkAction refusedConnect() {
    return [](LinkRig& rig) {
        sim::AdapterOptions options;
        options.refuseConnect = true;
        rig.port->setOptions(sim::kSimAdapterPath, options);
        rig.session->startLink();
    };
}

// --- Rows on files ------------------------------------------------------------------------

// The row's folder: a copy of the shipped language file and whatever the row puts there.
struct Folder {
    ScratchDir dir;
    Folder() {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", dir.file("language.ini"));
    }
    std::string file(const std::string& name) const { return dir.file(name); }
};

// Every regular file under the folder, with its bytes; links and other files by kind.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            files[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_regular_file(status)) {
            files[name] =
                testing_support::readBytes(entry.path().string()).value_or("<unreadable>");
        } else {
            files[name] = fs::is_directory(status) ? "<folder>" : "<other>";
        }
    }
    return files;
}

// The command line, in this process, in the folder, on a virtual clock.
Seen runCli(const Folder& folder, const std::vector<std::string>& args) {
    const fs::path before = fs::current_path();
    fs::current_path(folder.dir.path());
    transport::VirtualClock clock(100000);
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::runCli(args, out, err, clock);
    fs::current_path(before);
    Seen seen;
    seen.state = "exit " + std::to_string(code);
    seen.told = err.str();
    seen.virtualMs = clock.nowMs() - 100000;
    return seen;
}

using FolderAction = std::function<void(const Folder&)>;
using FolderRun = std::function<Seen(const Folder&)>;

// The command line on the folder.
FolderRun cli(std::vector<std::string> args) {
    return [=](const Folder& folder) { return runCli(folder, args); };
}

const std::vector<std::string> kSim = {"--device", "sim:family=3"};
std::vector<std::string> sim(std::vector<std::string> args) {
    args.insert(args.begin(), kSim.begin(), kSim.end());
    return args;
}

FolderAction fifo(const std::string& name) {
    return [name](const Folder& f) { ::mkfifo(f.file(name).c_str(), 0644); };
}
FolderAction folderNamed(const std::string& name) {
    return [name](const Folder& f) { fs::create_directory(f.file(name)); };
}
FolderAction fileWith(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    return [=](const Folder& f) {
        writeBytes(f.file(name), bytes);
        ::chmod(f.file(name).c_str(), mode);
    };
}
FolderAction linkTo(const std::string& name, const std::string& target) {
    return [=](const Folder& f) { ::symlink(target.c_str(), f.file(name).c_str()); };
}
FolderAction languageFile(const std::string& bytes, mode_t mode = 0644) {
    return fileWith("language.ini", bytes, mode);
}
FolderAction noLanguageFile() {
    return [](const Folder& f) { fs::remove(f.file("language.ini")); };
}
FolderAction both(FolderAction a, FolderAction b) {
    return [=](const Folder& f) {
        a(f);
        b(f);
    };
}

FolderAction readOnly(const std::string& name) {
    return [name](const Folder& f) { ::chmod(f.file(name).c_str(), 0444); };
}

std::string garbage(std::size_t length) {
    std::string bytes(length, '\0');
    uint32_t x = 12345;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 16);
    }
    return bytes;
}

// Defaults with the process's file size limit at 8 bytes: the backup taken before them
// cannot be written, as on a full disk.
FolderRun defaultsOntoAFullDisk() {
    return [](const Folder& folder) {
        const FileSizeLimit full(8);
        return runCli(folder, sim({"defaults", "--yes"}));
    };
}

// A settings file's 15 bytes.
const std::string kOldSettings = "\x01\x02\x03\x10\x20\x30\x01\x02\x03\x04\x00\x01\x02\x03\x04";

// Export with the process's file size limit at 8 bytes: a write of the 15 bytes fails as
// on a full disk, after it began.
FolderRun exportOntoAFullDisk(const std::string& name) {
    return [=](const Folder& folder) {
        const FileSizeLimit full(8);
        return runCli(folder, sim({"export", name}));
    };
}

// The window's Export Data: the dialog answers `chosen`, the boxes are what it told.
FolderRun windowExport(const std::string& chosen) {
    return [=](const Folder& folder) {
        i18n::g_languageFilePath = folder.file("language.ini");
        i18n::g_chineseSelected = i18n::kLanguageEnglish;
        form::HeadlessForm form;
        testing_support::ScriptedPrompter prompter;
        prompter.fileAnswers.push_back(chosen.empty() ? std::string() : folder.file(chosen));
        const auto written = settings::onExportData(form, prompter, true);
        Seen seen;
        seen.state = written ? "written" : "not written";
        for (const auto& m : prompter.messages) seen.told += m.text;
        return seen;
    };
}

// The window's Import Data: the dialog answers `chosen`; the boxes are what it told.
FolderRun windowImport(const std::string& chosen) {
    return [=](const Folder& folder) {
        i18n::g_languageFilePath = folder.file("language.ini");
        i18n::g_chineseSelected = i18n::kLanguageEnglish;
        form::HeadlessForm form;
        testing_support::ScriptedPrompter prompter;
        prompter.fileAnswers.push_back(folder.file(chosen));
        const auto read = settings::onImportData(form, prompter, true);
        Seen seen;
        seen.state = read ? "applied" : "not applied";
        for (const auto& m : prompter.messages) seen.told += m.text;
        return seen;
    };
}

// --- The table --------------------------------------------------------------------------

struct FaultCase {
    const char* fault;
    // A row on the session, or one on files: `prepare` puts the fault into a folder of
    // its own, `run` runs there.
    std::function<Seen()> onSession{};
    FolderAction prepare{};
    FolderRun run{};
    std::string state;  // as the row's run names it
    std::string told;   // a part of what the user was told
    bool escMayChange = false;
    std::set<std::string> changed{};  // files of the folder the row may change or add
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.fault;
}

class FaultTable : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultTable, EndsInTheRulesStateTellsTheUserAndChangesNothingElse) {
    const FaultCase& c = GetParam();
    Seen seen;
    if (c.onSession) {
        seen = c.onSession();
        EXPECT_TRUE(c.escMayChange || !seen.escChanged) << "the ESC's settings changed";
    } else {
        const Folder folder;
        if (c.prepare)
            c.prepare(folder);
        const auto before = snapshot(folder.dir.path());
        const std::string languageFile = i18n::g_languageFilePath;
        seen = c.run(folder);
        i18n::g_languageFilePath = languageFile;
        const auto after = snapshot(folder.dir.path());
        std::set<std::string> differing;
        for (const auto& [name, bytes] : before) {
            const auto now = after.find(name);
            if (now == after.end() || now->second != bytes)
                differing.insert(name);
        }
        for (const auto& entry : after) {
            if (!before.count(entry.first))
                differing.insert(entry.first);
        }
        for (const std::string& name : c.changed) differing.erase(name);
        EXPECT_TRUE(differing.empty()) << "changed: " << *differing.begin();
    }
    EXPECT_LE(seen.virtualMs, kBoundMs);
    EXPECT_EQ(seen.state, c.state) << seen.told;
    EXPECT_NE(seen.told.find(c.told), std::string::npos) << seen.told;
}

// Both lamps off.
const std::string kRemoved = "lamps off/off";
const std::string kOpening = "adapter off, ESC off, opening";
const std::string kStopped = "adapter off, ESC off, stopped";

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTable,
    ::testing::Values(
        // Removal of the adapter in every state of the conversation, the update's included.
        FaultCase{.fault = "removed awaiting the adapter's version",
                  .onSession = onLink("", removedIn(protocol::kStateAwaitAdapterVersion), false),
                  .state = kStopped,
                  .told = kRemoved},
        FaultCase{.fault = "removed while polling",
                  .onSession = onLink("", removedIn(protocol::kStateLinkPolling)),
                  .state = kStopped,
                  .told = kRemoved},
        FaultCase{.fault = "removed awaiting the ESC's version",
                  .onSession = onLink("", removedIn(protocol::kStateAwaitEscVersion), false),
                  .state = kStopped,
                  .told = kRemoved},
        FaultCase{.fault = "removed awaiting settings",
                  .onSession = onLink("", readThen(removedIn(protocol::kStateAwaitSettings))),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed awaiting family 7 settings",
                  .onSession = onLink("family=7",
                                      readThen(removedIn(protocol::kStateAwaitFamily7Settings))),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed while a write settles",
                  .onSession = onLink("", writeThen(removedIn(protocol::kStateWriteSettle))),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed in the update handshake",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateHandshake)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed announcing a block",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateAnnounceBlock)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed sending a block",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateSendBlock)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed awaiting a block's ok",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateAwaitBlockAck)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed sending the last block",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateSendLastBlock)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed awaiting the last block's ok",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateAwaitLastAck)),
                  .state = kStopped,
                  .told = "adapter removed"},
        FaultCase{.fault = "removed awaiting the end's ok",
                  .onSession = onLink("", removedInUpdate(protocol::kStateUpdateAwaitFinishAck)),
                  .state = kStopped,
                  .told = "adapter removed"},

        // The ESC silent from any state. Awaiting settings the query goes out again on every
        // tick and the ESC's lamp stays on: the operation waits until the front end gives
        // it up at its time-out (the window's user by another command).
        FaultCase{.fault = "ESC silent from the start",
                  .onSession = onLink(
                      "silent=always", [](LinkRig&) {}, false),
                  .state = "adapter on, ESC off, polling",
                  .told = "lamps on/off"},
        FaultCase{.fault = "ESC silent while polling",
                  .onSession = onLink("", [](LinkRig& r) { r.esc->setSilentForever(true); }),
                  .state = "adapter on, ESC off, polling",
                  .told = "lamps on/off"},
        FaultCase{.fault = "ESC silent awaiting its version",
                  .onSession = onLink("", untilABox([](LinkRig& r) {
                                          r.session->startLink();
                                          r.host.runUntil(
                                              [&] { return r.controller().adapterLinked(); },
                                              10000);
                                          r.esc->silenceFor(21);
                                      }),
                                      false, 0),
                  .state = "adapter on, ESC off, polling",
                  .told = "box: Failed to get ESC Version"},
        FaultCase{.fault = "ESC silent awaiting settings",
                  .onSession = onLink("", silentFrom([](LinkRig& r) { r.session->read(); },
                                                     protocol::kStateAwaitSettings)),
                  .state = "adapter on, ESC on, awaiting settings",
                  .told = "ESC lost: no answer in time"},
        FaultCase{.fault = "ESC silent awaiting family 7 settings",
                  .onSession = onLink("family=7", silentFrom([](LinkRig& r) { r.session->read(); },
                                                             protocol::kStateAwaitFamily7Settings)),
                  .state = "adapter on, ESC off, polling",
                  .told = "ESC lost: no answer in time"},
        FaultCase{.fault = "ESC silent while a write settles",
                  .onSession = onLink("", silentFrom([](LinkRig& r) { r.session->write(); },
                                                     protocol::kStateWriteSettle)),
                  .state = "adapter on, ESC on, awaiting settings",
                  .told = "ESC lost: no answer in time"},
        FaultCase{
            .fault = "ESC silent from an update's first block",
            .onSession = onLink("fwsilent=2", [](LinkRig& r) { r.session->update(r.imageFile()); }),
            .state = "adapter on, ESC on, polling",
            .told = "update failed"},

        // Replies that are no replies.
        FaultCase{.fault = "garbage after every poll answer",
                  .onSession = onLink("stale=55AA33C3", [](LinkRig& r) { r.session->read(); }),
                  .state = "adapter on, ESC on, polling",
                  .told = "ok"},
        FaultCase{.fault = "more than 200 bytes in one tick",
                  .onSession = onLink("", unasked(std::vector<uint8_t>(300, 0xA5))),
                  .state = "adapter on, ESC on, polling",
                  .told = "ok"},
        FaultCase{.fault = "settings replies cut short",
                  .onSession = onLink(
                      "setlen=5", [](LinkRig&) {}, false),
                  .state = "adapter on, ESC on, awaiting settings",
                  .told = "lamps on/on"},
        FaultCase{.fault = "version replies a byte too long",
                  .onSession = onLink("verlen=8", untilABox([](LinkRig&) {}), false, 0),
                  .state = "adapter on, ESC off, polling",
                  .told = "box: Failed to get ESC Version"},
        FaultCase{
            .fault = "answers of the exchange before arriving after a command",
            .onSession = onLink("latency=45,jitter=10", [](LinkRig& r) { r.session->read(); }),
            .state = "adapter on, ESC on, polling",
            .told = "ok"},

        // An adapter that cannot carry the conversation.
        FaultCase{.fault = "report length 60",
                  .onSession = onLink("", withReportLength(60), false),
                  .state = "adapter off, ESC off, awaiting the adapter",
                  .told = kRemoved},
        FaultCase{.fault = "report length 4",
                  .onSession = onLink("", withReportLength(4), false),
                  .state = kOpening,
                  .told = kRemoved},
        FaultCase{.fault = "connect report refused",
                  .onSession = onLink("", refusedConnect(), false),
                  .state = kOpening,
                  .told = kRemoved},

        // The language file.
        FaultCase{.fault = "language file missing",
                  .prepare = noLanguageFile(),
                  .run = cli(sim({"read"})),
                  .state = "exit 4",
                  .told = "no language file at"},
        FaultCase{.fault = "language file empty",
                  .prepare = languageFile(""),
                  .run = cli(sim({"read"})),
                  .state = "exit 0",
                  .told = "",
                  .changed = {"language.ini"}},
        FaultCase{.fault = "language file of binary garbage",
                  .prepare = languageFile(garbage(4096)),
                  .run = cli(sim({"read"})),
                  .state = "exit 0",
                  .told = "",
                  .changed = {"language.ini"}},
        FaultCase{.fault = "language file of 10 MB",
                  .prepare = languageFile(std::string(10 * 1024 * 1024, ';')),
                  .run = cli(sim({"read"})),
                  .state = "exit 0",
                  .told = "",
                  .changed = {"language.ini"}},
        FaultCase{.fault = "language file read-only",
                  .prepare = readOnly("language.ini"),
                  .run = cli(sim({"read"})),
                  .state = "exit 0",
                  .told = ""},
        FaultCase{.fault = "language file read-only, another language asked for",
                  .prepare = readOnly("language.ini"),
                  .run = cli(sim({"--lang", "zh", "read"})),
                  .state = "exit 4",
                  .told = "language.ini"},
        FaultCase{.fault = "language file a folder",
                  .prepare = both(noLanguageFile(), folderNamed("language.ini")),
                  .run = cli(sim({"read"})),
                  .state = "exit 4",
                  .told = "not a regular file"},
        FaultCase{.fault = "language file a FIFO",
                  .prepare = both(noLanguageFile(), fifo("language.ini")),
                  .run = cli(sim({"read"})),
                  .state = "exit 4",
                  .told = "not a regular file"},
        FaultCase{.fault = "language file a dangling link",
                  .prepare = both(noLanguageFile(), linkTo("language.ini", "gone.ini")),
                  .run = cli(sim({"read"})),
                  .state = "exit 4",
                  .told = "no language file at"},

        // Settings files and firmware images handed to the program.
        FaultCase{.fault = "settings file a FIFO",
                  .prepare = fifo("car.cfg"),
                  .run = cli(sim({"import", "car.cfg"})),
                  .state = "exit 4",
                  .told = "it is a FIFO, not a regular file"},
        FaultCase{.fault = "settings file a folder",
                  .prepare = folderNamed("car.cfg"),
                  .run = cli(sim({"import", "car.cfg"})),
                  .state = "exit 4",
                  .told = "it is a folder, not a regular file"},
        // Every read of /proc/self/mem at its start fails: a regular file the system
        // refuses to read, also to root (which chmod 000 would not stop).
        FaultCase{.fault = "settings file unreadable",
                  .run = cli(sim({"import", "/proc/self/mem"})),
                  .state = "exit 4",
                  .told = std::strerror(EIO)},
        FaultCase{.fault = "window import of a FIFO",
                  .prepare = fifo("car.cfg"),
                  .run = windowImport("car.cfg"),
                  .state = "not applied",
                  .told = "The file cannot be read"},
        FaultCase{.fault = "window import of a folder",
                  .prepare = folderNamed("car.cfg"),
                  .run = windowImport("car.cfg"),
                  .state = "not applied",
                  .told = "The file cannot be read"},
        FaultCase{.fault = "firmware image a FIFO",
                  .prepare = fifo("fw.hgm"),
                  .run = cli(sim({"flash", "fw.hgm", "--yes"})),
                  .state = "exit 4",
                  .told = "cannot read the image file 'fw.hgm': not a regular file"},
        FaultCase{.fault = "firmware image a folder",
                  .prepare = folderNamed("fw.hgm"),
                  .run = cli(sim({"flash", "fw.hgm", "--yes"})),
                  .state = "exit 4",
                  .told = "cannot read the image file 'fw.hgm': not a regular file"},
        FaultCase{.fault = "firmware image unreadable",
                  .run = cli(sim({"flash", "/proc/self/mem", "--yes"})),
                  .state = "exit 4",
                  .told = std::strerror(EIO)},

        // Settings files written.
        FaultCase{.fault = "export onto a full disk",
                  .prepare = fileWith("car.cfg", kOldSettings),
                  .run = exportOntoAFullDisk("car.cfg"),
                  .state = "exit 4",
                  .told = std::strerror(EFBIG)},
        FaultCase{.fault = "export onto a link to /dev/full",
                  .prepare = linkTo("car.cfg", "/dev/full"),
                  .run = cli(sim({"export", "car.cfg"})),
                  .state = "exit 4",
                  .told = "which is a device"},
        FaultCase{.fault = "export onto a read-only file",
                  .prepare = fileWith("car.cfg", kOldSettings, 0444),
                  .run = cli(sim({"export", "car.cfg"})),
                  .state = "exit 4",
                  .told = "which is read-only"},
        FaultCase{.fault = "export onto a FIFO",
                  .prepare = fifo("car.cfg"),
                  .run = cli(sim({"export", "car.cfg"})),
                  .state = "exit 4",
                  .told = "which is a FIFO"},
        FaultCase{.fault = "export to a name that is only an extension",
                  .run = cli(sim({"export", ".hidden"})),
                  .state = "exit 4",
                  .told = "only an extension"},
        FaultCase{.fault = "export to no name",
                  .run = cli(sim({"export", ""})),
                  .state = "exit 4",
                  .told = "no file name"},
        FaultCase{.fault = "export to a folder",
                  .prepare = folderNamed("dir"),
                  .run = cli(sim({"export", "dir/"})),
                  .state = "exit 4",
                  .told = "is a folder"},
        FaultCase{.fault = "window export onto a read-only file",
                  .prepare = fileWith("car.cfg", kOldSettings, 0444),
                  .run = windowExport("car.cfg"),
                  .state = "not written",
                  .told = "read-only"},
        FaultCase{.fault = "window export to a name that is only an extension",
                  .run = windowExport(".hidden"),
                  .state = "not written",
                  .told = "no name for a settings file"},
        FaultCase{.fault = "backup onto a full disk before defaults",
                  .run = defaultsOntoAFullDisk(),
                  .state = "exit 4",
                  .told = std::strerror(EFBIG),
                  .changed = {"backups"}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string name;
        for (const char c : std::string(info.param.fault)) name += std::isalnum(c) ? c : '_';
        return name;
    });

}  // namespace
