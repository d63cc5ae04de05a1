// Runs the real window on the simulated ESC on the real clock, as `tessaro` does, and
// measures what a user of an idle window pays:
//   - start to first paint: from the process's start (the kernel's record of it) to the
//     first paint event of the main window or a widget in it;
//   - idle CPU: the share of one core the process uses (all its threads, user and system
//     time from getrusage) while the linked window sits idle for N seconds, counted from a
//     second after the ESC's settings were shown, so start-up is not in it;
//   - peak resident memory: VmHWM of /proc/self/status at the end.
//
//   window_bench RESOURCES_DIR [--idle-seconds N] [--startup-only] [DEVICE_URI]
//
// The window keeps its marks in RESOURCES_DIR/language.ini, as the program does in its
// working directory: give it a copy of the resources (bench/run.sh does). Run it with
// QT_QPA_PLATFORM=offscreen where there is no display. One line per figure; exit status 0
// when each is within its target, 1 otherwise, 2 on a usage error.

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "app/main_window.h"
#include "devices/device_uri.h"
#include "link/clock.h"
#include "protocol/protocol_controller.h"

namespace {

constexpr double kStartupTargetMs = 300;
constexpr double kIdleCpuTargetPercent = 1.0;
constexpr double kPeakMemoryTargetMb = 80;
constexpr int kDefaultIdleSeconds = 30;
constexpr int kSettleMs = 1000;        // after the settings were shown, before counting
constexpr int kLinkTimeoutMs = 10000;  // start to a filled form, at most

double secondsOf(const timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double seconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return secondsOf(now);
}

// When the kernel started this process, in seconds on CLOCK_BOOTTIME (to 1/USER_HZ).
std::optional<double> processStartBoottime() {
    std::ifstream in("/proc/self/stat");
    std::string stat;
    std::getline(in, stat);
    // The name (field 2) may hold blanks and brackets: fields are counted after its ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // Field 3 is the first after the name; starttime is field 22.
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks))
        return std::nullopt;
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A value of /proc/self/status in kB ("VmHWM", "VmRSS").
std::optional<double> statusKb(const std::string& name) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0)
            return std::strtod(line.c_str() + name.size() + 1, nullptr);
    }
    return std::nullopt;
}

bool g_allOk = true;

void figure(const char* name, double value, const char* unit, double target, const char* extra) {
    const bool ok = value <= target;
    g_allOk = g_allOk && ok;
    std::printf("%-30s %8.2f %-3s target <=%g %s  %s%s\n", name, value, unit, target, unit,
                ok ? "ok" : "MISSED", extra);
}

// Notes the first paint of the window or of a widget in it.
class FirstPaint final : public QObject {
  public:
    explicit FirstPaint(QWidget* window) : m_window(window) {}
    std::optional<double> at;  // CLOCK_BOOTTIME seconds

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!at && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == m_window)
            at = seconds(CLOCK_BOOTTIME);
        return false;
    }

  private:
    QWidget* m_window;
};

}  // namespace

int main(int argc, char** argv) {
    const double mainAt = seconds(CLOCK_BOOTTIME);
    const std::optional<double> started = processStartBoottime();
    if (!started) {
        std::printf("cannot read the process's start from /proc/self/stat\n");
        return 1;
    }
    QApplication application(argc, argv);
    int idleSeconds = kDefaultIdleSeconds;
    bool startupOnly = false;
    std::string uri = "sim:family=3";
    QString resources;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--idle-seconds" && i + 1 < argc) {
            idleSeconds = std::atoi(argv[++i]);
        } else if (arg == "--startup-only") {
            startupOnly = true;
        } else if (resources.isEmpty()) {
            resources = QString::fromLocal8Bit(argv[i]);
        } else {
            uri = arg;
        }
    }
    if (resources.isEmpty() || idleSeconds <= 0) {
        std::fprintf(stderr,
                     "usage: window_bench RESOURCES_DIR [--idle-seconds N] "
                     "[--startup-only] [DEVICE_URI]\n");
        return 2;
    }
    QDir::setCurrent(resources);
    const double applicationAt = seconds(CLOCK_BOOTTIME);

    transport::SteadyClock clock;
    devices::Device device;
    std::string error;
    if (!devices::openDeviceUri(uri, clock, device, error)) {
        std::fprintf(stderr, "window_bench: %s\n", error.c_str());
        return 2;
    }
    app::CQuindleDlg window(std::move(device.port), app::DeviceEventSource{});
    const double constructedAt = seconds(CLOCK_BOOTTIME);
    FirstPaint firstPaint(&window);
    application.installEventFilter(&firstPaint);
    window.initDialog();
    window.setSimulated(true);
    const double initialisedAt = seconds(CLOCK_BOOTTIME);
    window.show();
    const double shownAt = seconds(CLOCK_BOOTTIME);

    int status = 0;
    double linkedAt = 0;
    double cpuAtStart = 0;
    double wallAtStart = 0;
    uint64_t readsAtStart = 0;
    auto finish = [&](int code) {
        status = code;
        window.reject();
        application.quit();
    };
    QTimer poll;
    enum class Phase { Starting, Settling, Idle } phase = Phase::Starting;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const double now = seconds(CLOCK_MONOTONIC);
        switch (phase) {
            case Phase::Starting:
                if (firstPaint.at && startupOnly)
                    return finish(0);
                if (window.controller().settingsLoaded() && firstPaint.at) {
                    linkedAt = now;
                    phase = Phase::Settling;
                } else if ((now - wallAtStart) * 1000 > kLinkTimeoutMs) {
                    std::printf("the ESC's settings were not shown within %d ms\n", kLinkTimeoutMs);
                    return finish(1);
                }
                return;
            case Phase::Settling:
                if ((now - linkedAt) * 1000 < kSettleMs)
                    return;
                cpuAtStart = cpuSeconds();
                wallAtStart = now;
                readsAtStart = window.controller().settingsReadCount();
                phase = Phase::Idle;
                return;
            case Phase::Idle:
                if (now - wallAtStart < idleSeconds)
                    return;
                return finish(0);
        }
    });
    wallAtStart = seconds(CLOCK_MONOTONIC);
    // The bench's own look every 100 ms: a cost it adds to what it measures, and small.
    poll.start(100);
    application.exec();
    const double idleWall = seconds(CLOCK_MONOTONIC) - wallAtStart;
    const double idleCpu = cpuSeconds() - cpuAtStart;

    if (!firstPaint.at) {
        std::printf("the window was never painted\n");
        return 1;
    }
    char extra[160];
    // Where the time went: before main(), the application object, the window's
    // construction, initDialog, show(), and the event loop up to the first paint.
    std::snprintf(extra, sizeof extra,
                  "  (before main %.0f, QApplication %.0f, window %.0f, initDialog %.0f, "
                  "show %.0f, to paint %.0f ms)",
                  (mainAt - *started) * 1000, (applicationAt - mainAt) * 1000,
                  (constructedAt - applicationAt) * 1000, (initialisedAt - constructedAt) * 1000,
                  (shownAt - initialisedAt) * 1000, (*firstPaint.at - shownAt) * 1000);
    figure("start -> first paint", (*firstPaint.at - *started) * 1000, "ms", kStartupTargetMs,
           extra);
    if (startupOnly || status != 0)
        return status != 0 ? status : (g_allOk ? 0 : 1);

    const bool stillLinked =
        window.controller().linksUp() && window.controller().settingsReadCount() == readsAtStart;
    std::snprintf(extra, sizeof extra, "  (%.2f s of CPU in %.1f s%s)", idleCpu, idleWall,
                  stillLinked ? "" : ", LINK LOST OR READ AGAIN");
    figure("idle CPU share of one core", idleCpu / idleWall * 100, "%", kIdleCpuTargetPercent,
           extra);
    if (!stillLinked)
        g_allOk = false;
    const double peakMb = statusKb("VmHWM").value_or(0) / 1024;
    figure("peak resident memory", peakMb, "MB", kPeakMemoryTargetMb, "  (VmHWM)");
    return g_allOk ? 0 : 1;
}
