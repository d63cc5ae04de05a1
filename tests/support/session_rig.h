#pragma once
// One session on the simulated ESC, on a virtual clock, as the window and the CLI build
// it: the session owns the link adapter, the protocol controller, the settings model and
// the firmware update; the rig gives it the port, the host, the headless form, a prompter
// and a scratch folder for its backups, and hears what a listener hears. The session's
// tests and the whole conversations of tests/scenario run on it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "devices/device_uri.h"
#include "form/headless_form.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "session/session.h"
#include "settings/calculator.h"
#include "settings/language_apply.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"
#include "support/recording_prompter.h"
#include "support/scratch_dir.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A private copy of the shipped language file for this process: the settings model writes
// its marks into section "set", which must not touch the repository, and ctest runs other
// test processes beside this one.
inline void useShippedLanguageFile() {
    static const std::string copy = [] {
        const std::filesystem::path target =
            std::filesystem::path(::testing::TempDir()) /
            ("session_rig_language-" + std::to_string(::getpid()) + ".ini");
        std::filesystem::copy_file(std::filesystem::path(TESSARO_RESOURCES_DIR) / "language.ini",
                                   target, std::filesystem::copy_options::overwrite_existing);
        return target.string();
    }();
    i18n::g_languageFilePath = copy;
    i18n::g_chineseSelected = 0;
}

inline sim::EscConfig simConfig(const std::string& options) {
    sim::EscConfig config;
    std::string error;
    EXPECT_TRUE(sim::parseSimOptions(options, config, error)) << error;
    return config;
}

// What went over the link, with the virtual time of each frame.
class TraceRecorder final : public protocol::FrameTrace {
  public:
    struct Entry {
        bool written;  // false: a reply read by a tick
        Bytes bytes;
        uint64_t atMs;
    };
    explicit TraceRecorder(protocol::TickHost& host) : m_host(host) {}
    void frameWritten(std::span<const uint8_t> frame) override {
        m_entries.push_back({true, Bytes(frame.begin(), frame.end()), m_host.elapsedMs()});
    }
    void replyReceived(std::span<const uint8_t> reply) override {
        m_entries.push_back({false, Bytes(reply.begin(), reply.end()), m_host.elapsedMs()});
    }
    const std::vector<Entry>& entries() const { return m_entries; }
    // First bytes of the frames written, in order.
    std::vector<uint8_t> commands() const {
        std::vector<uint8_t> out;
        for (const Entry& e : m_entries) {
            if (e.written && !e.bytes.empty())
                out.push_back(e.bytes[0]);
        }
        return out;
    }
    size_t count(uint8_t command) const {
        size_t n = 0;
        for (uint8_t c : commands()) n += c == command;
        return n;
    }
    void clear() { m_entries.clear(); }

  private:
    protocol::TickHost& m_host;
    std::vector<Entry> m_entries;
};

// Everything a listener heard, in order.
class EventLog final : public session::Listener {
  public:
    struct Link {
        bool adapter;
        bool esc;
    };
    struct Progress {
        int32_t acknowledged;
        int32_t total;
    };
    struct Finished {
        session::Operation operation;
        session::Result result;
    };
    std::vector<Link> links;
    std::vector<session::EscIdentity> identities;
    std::vector<Progress> progress;
    std::vector<Finished> ends;
    std::vector<bool> current;           // formCurrentChanged
    std::vector<bool> changesAfterLoss;  // unsentChangesAfterLoss

    void linkChanged(bool adapterLinked, bool escLinked) override {
        links.push_back({adapterLinked, escLinked});
    }
    void escIdentified(const session::EscIdentity& identity) override {
        identities.push_back(identity);
    }
    void formCurrentChanged(bool isCurrent) override { current.push_back(isCurrent); }
    void unsentChangesAfterLoss(bool kept) override { changesAfterLoss.push_back(kept); }
    void updateProgress(int32_t acknowledgedBytes, int32_t imageBytes) override {
        progress.push_back({acknowledgedBytes, imageBytes});
    }
    void finished(session::Operation operation, const session::Result& result) override {
        ends.push_back({operation, result});
    }
    std::size_t finishedCount(session::Operation operation) const {
        return static_cast<std::size_t>(std::count_if(
            ends.begin(), ends.end(), [&](const Finished& f) { return f.operation == operation; }));
    }
};

inline constexpr std::time_t kRigBackupTime = 1796731200;  // stamps every backup of a rig

// The session on the simulated ESC. `FormT` is the headless form or one that records what
// it was shown; `PrompterT` answers the session's boxes. Nothing runs until the test starts
// the link: session->startLink() as the window does (the first open 500 ms later), or
// linkUp() as a command line does.
template <class FormT = form::HeadlessForm, class PrompterT = testing_support::RecordingPrompter>
struct BasicSessionRig {
    ScratchDir dir;
    transport::VirtualClock clock{20000};
    std::shared_ptr<sim::EscEmulator> esc;
    std::unique_ptr<sim::SimulatedPort> port;
    protocol::TickHost host{clock};
    FormT form;
    PrompterT prompter;
    TraceRecorder trace{host};
    EventLog events;
    // The device of a rig built as a front end opens one (`port` and `esc` stay null then).
    devices::Device device;
    std::unique_ptr<session::Session> session;

    explicit BasicSessionRig(const sim::EscConfig& config = {}) {
        port = sim::makeSimulatedDevice(config, &clock, &esc);
        build(*port);
    }
    // The session on the device `open` makes on the rig's clock, as a front end makes it
    // (from a URI, with a recording around it …); its arrivals and removals are asked for
    // at every protocol tick, as the CLI does.
    using DeviceOpener = std::function<devices::Device(transport::Clock&)>;
    explicit BasicSessionRig(const DeviceOpener& open) {
        device = open(clock);
        build(*device.port);
        if (device.changes != nullptr)
            session->setDeviceChangePoll([this] { return device.changes->takeChanges(); });
    }
    explicit BasicSessionRig(const std::string& options) : BasicSessionRig(simConfig(options)) {}
    BasicSessionRig(const BasicSessionRig&) = delete;
    BasicSessionRig& operator=(const BasicSessionRig&) = delete;

    void build(transport::HidPort& sessionPort) {
        useShippedLanguageFile();
        settings::initCalculator(form);
        session = std::make_unique<session::Session>(sessionPort, host, clock, form, prompter,
                                                     dir.path());
        // As both front ends start: the language's texts before the link.
        settings::applyLanguage(form, session->controller().escInfo(), false,
                                session->layoutMemory());
        session->setTrace(&trace);
        session->setListener(&events);
        session->setClockForBackups([] { return kRigBackupTime; });
    }

    protocol::ProtocolController& controller() { return session->controller(); }

    // Runs until the operation under way has ended.
    bool settle(uint32_t timeoutMs = 30000) {
        return host.runUntil([this] { return !session->busy(); }, timeoutMs);
    }
    // The link up at once and the ESC's settings read, as a command line does it.
    ::testing::AssertionResult linkUp(uint32_t timeoutMs = 30000) {
        if (!session->openNow())
            return ::testing::AssertionFailure() << "no adapter";
        session->awaitSettings();
        if (!settle(timeoutMs))
            return ::testing::AssertionFailure() << "no settings within " << timeoutMs << " ms";
        if (!session->lastResult().ok())
            return ::testing::AssertionFailure() << session->lastResult().message;
        return ::testing::AssertionSuccess();
    }
    void unplug() { session->deviceChanged(port->unplug(sim::kSimAdapterPath)); }
    void plugBackIn() { session->deviceChanged(port->plugIn(sim::kSimAdapterPath, esc)); }
};

using SessionRig = BasicSessionRig<>;

}  // namespace testing_support
