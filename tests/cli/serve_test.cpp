// tessaro-cli serve: the bridge between an adapter and a Unix socket, with the CLI itself as
// its client. The bridge, the simulated ESC behind it (answering late, with jitter) and the
// CLI run in this thread on one virtual clock: the bridge takes its step whenever the clock
// moves. The command as a program is run too, for its socket, its lines and its end.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "devices/adapter_bridge.h"
#include "devices/device_uri.h"
#include "sim/esc_emulator.h"
#include "sim/simulated_port.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Kind = devices::BridgeEventKind;
using Bytes = std::vector<uint8_t>;

// A client of the socket, as raw as the format: connect, send, receive without waiting.
class RawClient {
  public:
    explicit RawClient(const std::string& path, bool stream = false) {
        m_fd = ::socket(AF_UNIX, (stream ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        connected =
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { hangUp(); }
    void hangUp() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // The next packet; empty when none is queued; `closed` once the server closed.
    Bytes receive() {
        Bytes packet(256);
        const ssize_t n = ::recv(m_fd, packet.data(), packet.size(), MSG_DONTWAIT);
        closed = n == 0;
        packet.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return packet;
    }
    void send(const Bytes& packet) {
        ASSERT_EQ(::send(m_fd, packet.data(), packet.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(packet.size()));
    }
    bool connected = false;
    bool closed = false;

  private:
    int m_fd = -1;
};

// The CLI's working folder (with the shipped language file) holding the socket as well.
// The socket is of either kind: packets (the format's own) or a stream (as SSH forwards).
class Bridged : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini",
                      fs::path(m_dir.path()) / "language.ini");
        m_before = fs::current_path();
        fs::current_path(m_dir.path());
        path = m_dir.path() + "/adapter.sock";
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri("sim:family=3", clock, device, error)) << error;
        bridge = std::make_unique<devices::AdapterBridge>(
            *device.port, device.changes,
            [this](const devices::BridgeEvent& event) { events.push_back(event); });
        ASSERT_TRUE(bridge->listen(path, error, stream())) << error;
        clock.setFollower([this] { bridge->step(); });
    }
    void TearDown() override {
        clock.setFollower({});
        bridge.reset();
        fs::current_path(m_before);
    }
    // tessaro-cli with the bridge's socket as its device.
    int cli(std::vector<std::string> args, std::string& out, std::string& err) {
        args.insert(args.begin(), {"--device", "socket:" + path});
        std::ostringstream o;
        std::ostringstream e;
        const int code = cli::runCli(args, o, e, clock);
        out = o.str();
        err = e.str();
        return code;
    }
    int selection1036() {
        std::string out;
        std::string err;
        EXPECT_EQ(cli({"read", "--json"}, out, err), 0) << err;
        const auto json = nlohmann::ordered_json::parse(out, nullptr, false);
        for (const auto& control : json["controls"]) {
            if (control["id"] == 1036)
                return control["selection"].get<int>();
        }
        ADD_FAILURE() << "no control 1036 in " << out;
        return -1;
    }
    std::vector<Kind> kinds() const {
        std::vector<Kind> list;
        for (const devices::BridgeEvent& event : events) list.push_back(event.kind);
        return list;
    }
    bool stream() const { return GetParam(); }
    sim::SimulatedPort& simPort() { return dynamic_cast<sim::SimulatedPort&>(*device.port); }

    testing_support::ScratchDir m_dir;
    fs::path m_before;
    std::string path;
    transport::VirtualClock clock{100000};
    devices::Device device;
    std::vector<devices::BridgeEvent> events;
    std::unique_ptr<devices::AdapterBridge> bridge;
};

TEST_P(Bridged, TheCliReadsAndWritesTheEscBehindIt) {
    // A client that is greeted and goes without a word: the adapter is closed again.
    {
        RawClient quitter(path, stream());
        ASSERT_TRUE(quitter.connected);
        bridge->step();
        EXPECT_EQ(quitter.receive(), (Bytes{'H', 0, 65, 0, 63}));
    }
    bridge->step();
    EXPECT_EQ(kinds(),
              (std::vector<Kind>{Kind::ClientConnected, Kind::AdapterOpened, Kind::ClientGone}));
    EXPECT_EQ(events[1].detail, sim::kSimAdapterPath);
    EXPECT_FALSE(device.port->isOpen());

    // Then the CLI, one run after another, each a client of its own.
    const int before = selection1036();
    const int wanted = before == 1 ? 0 : 1;
    std::string out;
    std::string err;
    EXPECT_EQ(cli({"write", "1036=" + std::to_string(wanted), "--quiet"}, out, err), 0) << err;
    EXPECT_EQ(selection1036(), wanted);
    bridge->step();
    // Every run was served from a fresh open and ended with its client's going.
    int connected = 0;
    for (const Kind kind : kinds()) connected += kind == Kind::ClientConnected;
    EXPECT_EQ(connected, 4);
    EXPECT_EQ(kinds().back(), Kind::ClientGone);
    EXPECT_FALSE(device.port->isOpen());
}

TEST_P(Bridged, OneClientAtATimeAndTheAdaptersRemovalEndsIt) {
    RawClient first(path, stream());
    bridge->step();
    ASSERT_EQ(first.receive().size(), 5u);
    // A second one is closed at once; the first is still served.
    RawClient second(path, stream());
    ASSERT_TRUE(second.connected);
    bridge->step();
    EXPECT_TRUE(second.receive().empty());
    EXPECT_TRUE(second.closed);
    EXPECT_EQ(kinds().back(), Kind::ClientRefused);
    Bytes connect(66, 0);
    connect[0] = 'C';
    std::memcpy(&connect[1],
                "\xFD"
                "CONN",
                5);
    first.send(connect);
    Bytes version;
    for (int ms = 0; ms < 200 && version.empty(); ms += 10) {
        clock.advance(10);
        version = first.receive();
    }
    ASSERT_EQ(version.size(), 66u);
    EXPECT_EQ(version[0], 'I');
    EXPECT_EQ(version[3], 0xD7);  // the adapter's version answer

    // The adapter pulled out: its client's connection goes, and the next is turned away.
    simPort().unplug(sim::kSimAdapterPath);
    clock.advance(1);
    EXPECT_TRUE(first.receive().empty());
    EXPECT_TRUE(first.closed);
    EXPECT_EQ(kinds().back(), Kind::AdapterRemoved);
    RawClient meanwhile(path, stream());
    bridge->step();
    meanwhile.receive();
    EXPECT_TRUE(meanwhile.closed);
    EXPECT_EQ(kinds().back(), Kind::ClientTurnedAway);
    EXPECT_THAT(events.back().detail, HasSubstr("no link adapter"));

    // Plugged in again, it serves the CLI as before.
    simPort().plugIn(sim::kSimAdapterPath, device.emulator);
    std::string out;
    std::string err;
    EXPECT_EQ(cli({"info"}, out, err), 0) << err;
    EXPECT_THAT(out, HasSubstr("family: 3"));
}

TEST_P(Bridged, TheSocketIsTheUsersAloneAndGoesWithTheBridge) {
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    bridge.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, Bridged, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Stream" : "Packets");
                         });

// What a path may hold already: a socket nobody listens on is replaced, nothing else is.
TEST(BridgeSocket, WhatIsAtThePathAlready) {
    enum class There { Nothing, RegularFile, StaleSocket, LiveServer };
    struct Case {
        const char* name;
        There there;
        bool listens;
        const char* errorHas;
    };
    const Case cases[] = {
        {"nothing", There::Nothing, true, ""},
        {"a regular file", There::RegularFile, false, "is not a socket"},
        {"a stale socket", There::StaleSocket, true, ""},
        {"a live server", There::LiveServer, false, "another server listens"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScratchDir dir;
        const std::string path = dir.path() + "/adapter.sock";
        int server = -1;
        if (c.there == There::RegularFile)
            std::ofstream(path) << "keep me";
        if (c.there == There::StaleSocket || c.there == There::LiveServer) {
            server = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
            ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address),
                      0);
            ASSERT_EQ(::listen(server, 1), 0);
            if (c.there == There::StaleSocket) {
                ::close(server);  // the file stays behind
                server = -1;
            }
        }
        sim::SimulatedPort port;
        devices::AdapterBridge bridge(port, nullptr, {});
        std::string error;
        EXPECT_EQ(bridge.listen(path, error), c.listens) << error;
        EXPECT_THAT(error, HasSubstr(c.errorHas));
        if (c.there == There::RegularFile) {
            std::ifstream kept(path);
            std::string text;
            std::getline(kept, text);
            EXPECT_EQ(text, "keep me");
        }
        if (c.listens) {
            RawClient client(path);
            EXPECT_TRUE(client.connected);
        }
        if (server >= 0)
            ::close(server);
    }
}

// The command as a program: it says where it listens, makes the socket for its user alone,
// greets a client, and ends with SIGTERM cleanly, its socket removed.
TEST(ServeCommand, ServesUntilSigtermAndRemovesItsSocket) {
    testing_support::ScratchDir dir;
    const std::string path = dir.path() + "/adapter.sock";
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(errPipe[0]);
        ::dup2(errPipe[1], 2);
        if (::chdir(dir.path().c_str()) != 0)
            ::_exit(126);
        ::alarm(30);
        ::execl(TESSARO_CLI_PATH, TESSARO_CLI_PATH, "--device", "sim:family=3", "serve", "--listen",
                path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    // Blocking reads until it says it listens.
    std::string err;
    char c = 0;
    while (err.find('\n') == std::string::npos && ::read(errPipe[0], &c, 1) == 1) err += c;
    ASSERT_THAT(err, HasSubstr("listening on " + path));
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    {
        RawClient client(path);
        ASSERT_TRUE(client.connected);
        // Blocking reads until the command says it took the client (greeted already).
        while (err.find("adapter sim:0 opened") == std::string::npos &&
               ::read(errPipe[0], &c, 1) == 1)
            err += c;
        EXPECT_EQ(client.receive(), (Bytes{'H', 0, 65, 0, 63}));
    }
    ::kill(pid, SIGTERM);
    while (::read(errPipe[0], &c, 1) == 1) err += c;
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_THAT(err, HasSubstr("client connected\n"));
    EXPECT_THAT(err, HasSubstr("stopped by SIGTERM"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(ServeCommand, WantsASocketPath) {
    transport::VirtualClock clock;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--device", "sim", "serve"},
          std::vector<std::string>{"--device", "sim", "serve", "--listen"},
          std::vector<std::string>{"--device", "sim", "serve", "--port", "x"}}) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(cli::runCli(args, out, err, clock), 1);
        EXPECT_THAT(err.str(), HasSubstr("serve needs --listen PATH"));
    }
}

}  // namespace
