// tessaro-cli serve --listen PATH: serves the device's link adapter on a Unix socket, so
// that a Tessaro elsewhere (--device socket:PATH, also through a forwarded socket) uses it.
// Runs until SIGINT or SIGTERM, then removes the socket and exits 0.

#include <poll.h>
#include <signal.h>

#include <csignal>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_messages.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "devices/adapter_bridge.h"
#include "devices/device_uri.h"

namespace cli {

namespace {

// How long one wait for a client's packet lasts before the adapter's input is read again:
// the adapter's queue cannot be waited on, so it is asked this often.
constexpr int kPollMs = 4;

volatile sig_atomic_t g_serveStopSignal = 0;

extern "C" void onServeStopSignal(int signal) {
    g_serveStopSignal = signal;
}

// SIGINT and SIGTERM end the service; the handlers found before come back afterwards.
class ServeSignals {
  public:
    ServeSignals() {
        g_serveStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = onServeStopSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            m_installed[i] = ::sigaction(kSignals[i], &action, &m_previous[i]) == 0;
    }
    ~ServeSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            if (m_installed[i])
                ::sigaction(kSignals[i], &m_previous[i], nullptr);
        }
    }
    ServeSignals(const ServeSignals&) = delete;
    ServeSignals& operator=(const ServeSignals&) = delete;
    static int arrived() { return g_serveStopSignal; }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    struct sigaction m_previous[std::size(kSignals)]{};
    bool m_installed[std::size(kSignals)] = {};
};

// The words after "serve": --listen PATH (or --listen=PATH) and --stream.
struct ServeArguments {
    std::string path;
    bool stream = false;
};

bool parseServeArguments(const std::vector<std::string>& args, ServeArguments& parsed) {
    const std::string listen = "--listen";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == listen && i + 1 < args.size())
            parsed.path = args[++i];
        else if (args[i].rfind(listen + "=", 0) == 0)
            parsed.path = args[i].substr(listen.size() + 1);
        else if (args[i] == "--stream")
            parsed.stream = true;
        else
            return false;
    }
    return !parsed.path.empty();
}

std::string eventLine(const devices::BridgeEvent& event) {
    switch (event.kind) {
        case devices::BridgeEventKind::ClientConnected:
            return msg(Msg::ServeClientConnected);
        case devices::BridgeEventKind::ClientGone:
            return msg(Msg::ServeClientGone);
        case devices::BridgeEventKind::ClientRefused:
            return msg(Msg::ServeClientRefused);
        case devices::BridgeEventKind::ClientTurnedAway:
            return msg(Msg::ServeClientTurnedAway, {event.detail});
        case devices::BridgeEventKind::AdapterOpened:
            return msg(Msg::ServeAdapterOpened, {event.detail});
        case devices::BridgeEventKind::AdapterRemoved:
            return msg(Msg::ServeAdapterRemoved, {event.detail});
        case devices::BridgeEventKind::ClientDropped:
            return msg(Msg::ServeClientDropped);
    }
    return "";
}

int runServe(CommandContext& ctx) {
    ServeArguments arguments;
    if (!parseServeArguments(ctx.options.args, arguments))
        return fail(ctx.err, kExitUsage, msg(Msg::ServeNeedsListen));
    const std::string& path = arguments.path;
    devices::Device device;
    if (int code = kExitOk; !openDevice(ctx.options, ctx.clock, ctx.err, device, code))
        return code;
    std::string error;

    ServeSignals signals;
    devices::AdapterBridge bridge(
        *device.port, device.changes, [&ctx](const devices::BridgeEvent& event) {
            ctx.err << kProgramPrefix << eventLine(event) << "\n" << std::flush;
        });
    if (!bridge.listen(path, error, arguments.stream))
        return fail(ctx.err, kExitFileError, msg(Msg::ServeCannotListen, {error}));
    ctx.err << kProgramPrefix << msg(Msg::ServeListening, {path, ctx.options.device}) << "\n"
            << std::flush;
    const int changesFd = device.changes != nullptr ? device.changes->watchFd() : -1;
    while (ServeSignals::arrived() == 0) {
        std::vector<pollfd> waits;
        for (const int fd : bridge.watchFds()) waits.push_back({fd, POLLIN, 0});
        if (changesFd >= 0)
            waits.push_back({changesFd, POLLIN, 0});
        ::poll(waits.data(), waits.size(), kPollMs);
        bridge.step();
    }
    bridge.shutdown();
    const int signal = ServeSignals::arrived();
    ctx.err << kProgramPrefix
            << msg(Msg::ServeStopped, {signal == SIGINT ? "SIGINT" : "SIGTERM", path}) << "\n"
            << std::flush;
    return kExitOk;
}

}  // namespace

const Command& serveCommand() {
    static const Command command{
        "serve",
        "serve --listen PATH [--stream]",
        "serve the link adapter on a Unix socket, for a Tessaro elsewhere",
        "Serves the device's link adapter on the Unix socket PATH (made for this user\n"
        "alone, mode 0600), so that another Tessaro uses it with --device socket:PATH, also\n"
        "on another machine through a forwarded socket (ssh -L or -R). One client at a\n"
        "time: another that connects meanwhile is closed at once. A client's going closes\n"
        "the adapter; the adapter's removal closes the client's connection. A stale socket\n"
        "file at PATH is replaced; anything else there is left alone and refused. Events\n"
        "go to standard error, one line each. Runs until SIGINT or SIGTERM, then removes\n"
        "PATH and exits 0; exit 4 when PATH cannot be served on. Needs no language.ini.\n"
        "--stream makes a stream socket, the kind SSH forwards (the packets are cut by\n"
        "their fixed lengths); Tessaro's socket:PATH takes either kind.\n",
        runServe,
        CommandArguments::OwnOptions};
    return command;
}

}  // namespace cli
