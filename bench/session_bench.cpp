// Times the session on the real clock against the simulated ESC with its realistic answer
// delay (4 ms plus up to 6 ms), and compares each figure with its protocol floor: the time
// the conversation takes when every answer arrives at once and every tick comes exactly on
// time. The floors are derived from the timer periods, tick counts and pauses of the
// conversation (docs/performance.md says how); before timing anything the bench runs each
// operation once on a virtual clock with instant answers and checks that it takes exactly
// its floor, so a change of the conversation cannot leave the floors behind.
//
//   session_bench [--repeat N] [--update-repeat N]
//
// One line per figure, the median of the repetitions. Exit status 0 when every ratio is
// within its target and every operation succeeded, 1 otherwise, 2 on a usage error.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "files/firmware_image.h"
#include "form/headless_form.h"
#include "form/prompter.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "session/session.h"
#include "settings/calculator.h"
#include "settings/language_apply.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"

namespace {

namespace fs = std::filesystem;

constexpr double kTargetRatio = 1.05;
constexpr int32_t kImageLength = files::kMaxImageLength;
constexpr uint32_t kLinkUpLimitMs = 10000;
constexpr uint32_t kWriteLimitMs = 10000;
constexpr uint32_t kUpdateLimitMs = 120000;

// ---- the floors -------------------------------------------------------------------------
// Each is a sum of whole timer periods and pauses of the conversation with the default
// simulated ESC (family 3, which has a version and pauses before no retry).

// startLink: the first open attempt after 500 ms; then one tick each for the adapter's
// version, the answer to the first link poll (the ESC version query goes out), the ESC's
// version (the settings query goes out) and the settings, which fill the form.
constexpr uint32_t kLinkUpTicks = 4;
constexpr uint32_t linkUpFloorMs() {
    return transport::kStartupOpenPeriodMs + kLinkUpTicks * transport::kProtocolPeriodMs;
}

// Send Setting: the frame goes out at once; the ESC is given kWriteSettleTicks ticks and
// then the 1,000 ms it needs to store, after which the settings query goes out and the
// next tick reads the read-back.
constexpr uint32_t writeFloorMs() {
    return protocol::kWriteSettleTicks * transport::kProtocolPeriodMs +
           protocol::kWriteSettleSleepMs + transport::kProtocolPeriodMs;
}

// The firmware update at 50 ms a tick: two ticks of handshake (the echo of the request,
// then the "ok" to the start), three per full block (size, data, acknowledgement), one
// for the last block's size and data with a 30 ms pause between them, one for its
// acknowledgement followed by a 100 ms pause, and one for the acknowledgement of the end
// followed by another 100 ms pause. Every pause restarts the tick.
constexpr uint32_t kHandshakeTicks = 2;
constexpr uint32_t kFullBlockTicks = 3;
constexpr uint32_t kLastBlockTicks = 3;
constexpr uint32_t updateFullBlocks(int32_t imageLength) {
    // A block is sent as a full one while another follows it.
    uint32_t blocks = 0;
    for (int32_t offset = 0; offset + common::kUpdateBlockSize < imageLength;
         offset += common::kUpdateBlockSize)
        ++blocks;
    return blocks;
}
constexpr uint32_t updateFloorMs(int32_t imageLength) {
    return (kHandshakeTicks + updateFullBlocks(imageLength) * kFullBlockTicks + kLastBlockTicks) *
               protocol::kUpdatePeriodMs +
           protocol::kLastBlockDataPauseMs + 2 * protocol::kUpdateFinishPauseMs;
}

// ---- the rig ----------------------------------------------------------------------------

class NotingPrompter final : public form::Prompter {
  public:
    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon,
                                    form::MessageButtons,
                                    form::MessageAnswer defaultAnswer) override {
        std::fprintf(stderr, "session_bench: message: %s\n", text.c_str());
        ++messages;
        return defaultAnswer;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    int messages = 0;
};

class Ends final : public session::Listener {
  public:
    void finished(session::Operation operation, const session::Result& result) override {
        last = operation;
        lastResult = result;
        ++count;
    }
    session::Operation last = session::Operation::None;
    session::Result lastResult;
    int count = 0;
};

// A session as the window builds it, on `clock`, with the simulated ESC behind its port.
struct Rig {
    Rig(transport::Clock& clock, const sim::EscConfig& config, const fs::path& dir) : host(clock) {
        settings::initCalculator(form);
        port = sim::makeSimulatedDevice(config, &clock, &esc);
        session =
            std::make_unique<session::Session>(*port, host, clock, form, prompter, dir.string());
        settings::applyLanguage(form, session->controller().escInfo(), false,
                                session->layoutMemory());
        session->setListener(&ends);
    }
    // Runs until the operation under way ended; false when it did not within `limitMs`.
    bool settle(uint32_t limitMs) {
        return host.runUntil([this] { return !session->busy(); }, limitMs);
    }

    protocol::TickHost host;
    std::shared_ptr<sim::EscEmulator> esc;
    std::unique_ptr<sim::SimulatedPort> port;
    form::HeadlessForm form;
    NotingPrompter prompter;
    Ends ends;
    std::unique_ptr<session::Session> session;
};

// Milliseconds an action plus the run until its operation ended took: on a virtual clock
// as the clock counts them, on the real clock as std::chrono::steady_clock does.
struct Timing {
    double ms = 0;
    bool ok = false;
    std::string why;
};

using Stopwatch = std::function<double()>;

Stopwatch realStopwatch() {
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
}

Stopwatch virtualStopwatch(protocol::TickHost& host) {
    const uint64_t start = host.elapsedMs();
    return [&host, start] { return static_cast<double>(host.elapsedMs() - start); };
}

Timing finishTiming(Rig& rig, session::Operation operation, bool started, uint32_t limitMs,
                    const Stopwatch& watch) {
    Timing t;
    if (!started) {
        t.why = "did not start: " + rig.session->lastResult().message;
        return t;
    }
    const bool ended = rig.settle(limitMs);
    t.ms = watch();
    if (!ended) {
        t.why = "did not end within " + std::to_string(limitMs) + " ms";
    } else if (rig.ends.last != operation || !rig.ends.lastResult.ok()) {
        t.why = std::string("ended as ") + session::outcomeName(rig.ends.lastResult.outcome) +
                ": " + rig.ends.lastResult.message;
    } else if (rig.prompter.messages != 0) {
        t.why = "a message box was shown";
    } else {
        t.ok = true;
    }
    return t;
}

Stopwatch stopwatchFor(Rig& rig, bool virtualTime) {
    return virtualTime ? virtualStopwatch(rig.host) : realStopwatch();
}

Timing timeLinkUp(Rig& rig, bool virtualTime) {
    const Stopwatch watch = stopwatchFor(rig, virtualTime);
    rig.session->startLink();
    rig.session->awaitSettings();
    return finishTiming(rig, session::Operation::LinkUp, true, kLinkUpLimitMs, watch);
}

Timing timeWrite(Rig& rig, bool virtualTime) {
    const Stopwatch watch = stopwatchFor(rig, virtualTime);
    const bool started = rig.session->write();
    return finishTiming(rig, session::Operation::Write, started, kWriteLimitMs, watch);
}

Timing timeUpdate(Rig& rig, bool virtualTime, const fs::path& image,
                  const std::vector<uint8_t>& expected) {
    const Stopwatch watch = stopwatchFor(rig, virtualTime);
    const bool started = rig.session->update(image.string());
    Timing t = finishTiming(rig, session::Operation::Update, started, kUpdateLimitMs, watch);
    if (t.ok && rig.esc->firmware().image() != expected) {
        t.ok = false;
        t.why = "the image the ESC holds differs from the file";
    }
    return t;
}

std::vector<uint8_t> randomBytes(size_t length) {
    std::mt19937 generator(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(generator));
    return bytes;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Figure {
    const char* name;
    uint32_t floorMs;
    std::vector<double> runs;
    std::string failure;
};

bool report(const Figure& f) {
    if (!f.failure.empty()) {
        std::printf("%-30s FAILED: %s\n", f.name, f.failure.c_str());
        return false;
    }
    const double ms = median(f.runs);
    const double ratio = ms / f.floorMs;
    const bool ok = ratio <= kTargetRatio;
    const auto [lo, hi] = std::minmax_element(f.runs.begin(), f.runs.end());
    std::printf(
        "%-30s %8.1f ms  floor %6u ms  ratio %.3f  target <=%.2f  %s  (median of %zu, "
        "%.1f-%.1f ms)\n",
        f.name, ms, f.floorMs, ratio, kTargetRatio, ok ? "ok" : "MISSED", f.runs.size(), *lo, *hi);
    return ok;
}

// How late a 30 ms sleep wakes on this machine now: what a loaded machine adds to every
// tick that follows a restart of the timer, the program's own work aside.
double sleepOvershootMs() {
    std::vector<double> late;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(transport::kProtocolPeriodMs));
        late.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count() -
            transport::kProtocolPeriodMs);
    }
    return median(late);
}

int parseCount(const char* text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && n > 0 && n < 1000 ? static_cast<int>(n) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    int updateRepeat = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int* target = arg == "--repeat"          ? &repeat
                      : arg == "--update-repeat" ? &updateRepeat
                                                 : nullptr;
        if (target == nullptr || i + 1 >= argc || (*target = parseCount(argv[++i])) < 0) {
            std::fprintf(stderr, "usage: session_bench [--repeat N] [--update-repeat N]\n");
            return 2;
        }
    }

    const fs::path dir =
        fs::temp_directory_path() / ("tessaro_session_bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The settings model keeps its marks in the language file: a private copy.
    const fs::path language = dir / "language.ini";
    fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", language,
                  fs::copy_options::overwrite_existing);
    i18n::g_languageFilePath = language.string();
    const fs::path image = dir / "bench.hgm";
    const std::vector<uint8_t> file = randomBytes(kImageLength);
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    std::vector<uint8_t> expected = file;
    for (uint8_t& b : expected) b ^= files::kImageKey;

    Figure linkUp{"start -> filled form", linkUpFloorMs(), {}, {}};
    Figure write{"settings write -> read-back", writeFloorMs(), {}, {}};
    Figure update{"firmware update 65535 B", updateFloorMs(kImageLength), {}, {}};

    // The floors hold: instant answers on a virtual clock take exactly that long.
    bool floorsHold = true;
    {
        transport::VirtualClock clock;
        Rig rig(clock, sim::instantEscConfig(), dir);
        const Timing checks[] = {timeLinkUp(rig, true), timeWrite(rig, true),
                                 timeUpdate(rig, true, image, expected)};
        const Figure* figures[] = {&linkUp, &write, &update};
        for (size_t i = 0; i < std::size(checks); ++i) {
            if (!checks[i].ok || checks[i].ms != figures[i]->floorMs) {
                std::printf("%-30s floor %u ms, but instant answers take %.0f ms %s\n",
                            figures[i]->name, figures[i]->floorMs, checks[i].ms,
                            checks[i].why.c_str());
                floorsHold = false;
            }
        }
    }

    std::printf("%-30s %8.2f ms  (median of 20; the machine's load, not the program)\n",
                "a 30 ms sleep wakes late by", sleepOvershootMs());

    // The real clock and the realistic delay, a fresh session for every start.
    for (int i = 0; i < repeat; ++i) {
        transport::SteadyClock clock;
        sim::EscConfig config;
        config.seed = static_cast<uint32_t>(i + 1);
        Rig rig(clock, config, dir);
        const Timing up = timeLinkUp(rig, false);
        if (!up.ok) {
            linkUp.failure = up.why;
            break;
        }
        linkUp.runs.push_back(up.ms);
        const Timing w = timeWrite(rig, false);
        if (!w.ok) {
            write.failure = w.why;
            break;
        }
        write.runs.push_back(w.ms);
    }
    for (int i = 0; i < updateRepeat; ++i) {
        transport::SteadyClock clock;
        sim::EscConfig config;
        config.seed = static_cast<uint32_t>(i + 1);
        Rig rig(clock, config, dir);
        const Timing up = timeLinkUp(rig, false);
        const Timing t = up.ok ? timeUpdate(rig, false, image, expected) : up;
        if (!t.ok) {
            update.failure = t.why;
            break;
        }
        update.runs.push_back(t.ms);
    }

    bool ok = floorsHold;
    for (const Figure* f : {&linkUp, &write, &update}) ok = report(*f) && ok;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return ok ? 0 : 1;
}
