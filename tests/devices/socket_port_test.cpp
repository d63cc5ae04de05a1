// The socket port against a server in the test itself. Unix sockets queue a connection
// as soon as the server listens and deliver a sent packet at once, so the server side
// runs in the test's own thread, step by step, without waiting on the clock.

#include "devices/socket_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "link/device_change_source.h"
#include "link/link_adapter.h"
#include "link/protocol_host.h"
#include "protocol/tick_host.h"

namespace {

using Bytes = std::vector<uint8_t>;
using transport::kAdapterProductId;
using transport::kAdapterVendorId;

constexpr uint32_t kL = 65;
constexpr uint32_t kMaxReports = 63;

std::string uniquePath() {
    static std::atomic<int> counter{0};
    return ::testing::TempDir() + "tessaro-sock-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++);
}

class TestServer {
  public:
    TestServer() : m_path(uniquePath()) { listenAgain(); }
    ~TestServer() {
        dropClient();
        stopListening();
    }
    const std::string& path() const { return m_path; }

    void listenAgain() {
        ::unlink(m_path.c_str());
        m_listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, m_path.data(), m_path.size());
        EXPECT_EQ(::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_listenFd, 4), 0);
    }
    void stopListening() {
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        ::unlink(m_path.c_str());
    }
    // Takes the connection the client has made (it is queued already).
    bool acceptClient() {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 0) != 1)
            return false;
        m_clientFd = ::accept(m_listenFd, nullptr, nullptr);
        return m_clientFd >= 0;
    }
    void dropClient() {
        if (m_clientFd >= 0)
            ::close(m_clientFd);
        m_clientFd = -1;
    }
    void send(const Bytes& packet) {
        ASSERT_EQ(::send(m_clientFd, packet.data(), packet.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(packet.size()));
    }
    void sendHello(uint32_t length = kL, uint32_t maxReports = kMaxReports) {
        send({'H', uint8_t(length >> 8), uint8_t(length), uint8_t(maxReports >> 8),
              uint8_t(maxReports)});
    }
    // An input report carrying `payload` behind the id and count bytes.
    void sendInput(const Bytes& payload, uint32_t length = kL) {
        Bytes packet(length + 1, 0);
        packet[0] = 'I';
        packet[1] = 1;
        packet[2] = static_cast<uint8_t>(payload.size());
        std::copy(payload.begin(), payload.end(), packet.begin() + 3);
        send(packet);
    }
    // The next packet the client sent, or empty when none is queued.
    Bytes receive() {
        Bytes packet(kL + 16);
        const ssize_t n = ::recv(m_clientFd, packet.data(), packet.size(), MSG_DONTWAIT);
        if (n <= 0)
            return {};
        packet.resize(static_cast<size_t>(n));
        return packet;
    }

  private:
    std::string m_path;
    int m_listenFd = -1;
    int m_clientFd = -1;
};

// Connects, lets the server greet and opens.
void openWith(transport::SocketPort& port, TestServer& server, uint32_t length = kL) {
    ASSERT_EQ(port.deviceCount(kAdapterVendorId, kAdapterProductId), 1u);
    ASSERT_TRUE(server.acceptClient());
    server.sendHello(length);
    ASSERT_EQ(port.open(0, kAdapterVendorId, kAdapterProductId, 512), transport::kHidSuccess);
}

TEST(SocketPort, PresentWhileThePathAccepts) {
    struct Case {
        const char* name;
        bool listening;
        uint16_t vendorId;
        uint32_t count;
    };
    const Case cases[] = {
        {"listening", true, kAdapterVendorId, 1},
        {"nothing there", false, kAdapterVendorId, 0},
        {"other ids", true, 0x1234, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        if (!c.listening)
            server.stopListening();
        transport::SocketPort port(server.path());
        EXPECT_EQ(port.deviceCount(c.vendorId, kAdapterProductId), c.count);
        std::string path;
        const int status = port.devicePath(0, c.vendorId, kAdapterProductId, path);
        EXPECT_EQ(status == transport::kHidSuccess, c.count == 1);
        if (c.count == 1) {
            EXPECT_EQ(path, "socket:" + server.path());
        }
        EXPECT_NE(port.devicePath(1, c.vendorId, kAdapterProductId, path), transport::kHidSuccess);
    }
}

TEST(SocketPort, PresenceCheckAndOpenShareOneConnection) {
    TestServer server;
    transport::SocketPort port(server.path());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(port.deviceCount(kAdapterVendorId, kAdapterProductId), 1u);
    ASSERT_TRUE(server.acceptClient());
    server.sendHello();
    // No second connection is waiting: the open used the one the checks made.
    ASSERT_EQ(port.open(0, kAdapterVendorId, kAdapterProductId, 512), transport::kHidSuccess);
    EXPECT_FALSE(server.acceptClient());
}

TEST(SocketPort, TheGreetingGivesLengthAndMaximum) {
    struct Case {
        const char* name;
        Bytes hello;
        bool opens;
        uint32_t length;
        uint32_t maxReports;
    };
    const Case cases[] = {
        {"usual adapter", {'H', 0, 65, 0, 63}, true, 65, 63},
        {"big-endian fields", {'H', 0x01, 0x02, 0x01, 0x00}, true, 258, 256},
        {"wrong tag", {'X', 0, 65, 0, 63}, false, 0, 0},
        {"short packet", {'H', 0, 65, 0}, false, 0, 0},
        {"long packet", {'H', 0, 65, 0, 63, 0}, false, 0, 0},
        {"no room for a count byte", {'H', 0, 1, 0, 63}, false, 0, 0},
        {"no reports per read", {'H', 0, 65, 0, 0}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        transport::SocketPort port(server.path());
        ASSERT_EQ(port.deviceCount(kAdapterVendorId, kAdapterProductId), 1u);
        ASSERT_TRUE(server.acceptClient());
        server.send(c.hello);
        const int status = port.open(0, kAdapterVendorId, kAdapterProductId, 512);
        EXPECT_EQ(status == transport::kHidSuccess, c.opens);
        EXPECT_EQ(port.isOpen(), c.opens);
        EXPECT_EQ(port.reportLength(), c.length);
        EXPECT_EQ(port.maxReportRequest(), c.maxReports);
    }
}

TEST(SocketPort, OpenFailsWhenTheServerHangsUpWithoutGreeting) {
    TestServer server;
    transport::SocketPort port(server.path());
    ASSERT_EQ(port.deviceCount(kAdapterVendorId, kAdapterProductId), 1u);
    ASSERT_TRUE(server.acceptClient());
    server.dropClient();
    server.stopListening();
    EXPECT_NE(port.open(0, kAdapterVendorId, kAdapterProductId, 512), transport::kHidSuccess);
    EXPECT_FALSE(port.isOpen());
}

TEST(SocketPort, OutputReportsAreTaggedByChannel) {
    struct Case {
        const char* name;
        bool control;
        Bytes report;
        uint8_t tag;
    };
    Bytes full(kL, 0);
    full[0] = 2;
    full[1] = 1;
    full[2] = 0xE1;
    const Case cases[] = {
        {"interrupt", false, full, 'O'},
        {"control", true, {0xFD, 'C', 'O', 'N', 'N'}, 'C'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        transport::SocketPort port(server.path());
        openWith(port, server);
        const int status = c.control ? port.sendControlReport(c.report.data(), c.report.size())
                                     : port.sendInterruptReport(c.report.data(), c.report.size());
        EXPECT_EQ(status, transport::kHidSuccess);
        Bytes expected(kL + 1, 0);
        expected[0] = c.tag;
        std::copy(c.report.begin(), c.report.end(), expected.begin() + 1);
        EXPECT_EQ(server.receive(), expected);  // always L bytes behind the tag
    }
}

TEST(SocketPort, ReadsQueuedReportsUpToTheCountWithoutWaiting) {
    TestServer server;
    transport::SocketPort port(server.path());
    openWith(port, server);
    server.sendInput({0xA1});
    server.send({'I', 1, 1});  // too short: not a report
    server.send({'Z'});        // unknown tag
    server.sendInput({0xA2});
    server.sendInput({0xA3});
    Bytes buffer(4 * kL, 0xEE);
    uint32_t bytes = 0;
    EXPECT_EQ(port.readInputReports(buffer.data(), buffer.size(), 2, bytes),
              transport::kHidSuccess);
    ASSERT_EQ(bytes, 2 * kL);
    EXPECT_EQ(buffer[1], 1);
    EXPECT_EQ(buffer[2], 0xA1);
    EXPECT_EQ(buffer[kL + 2], 0xA2);
    EXPECT_EQ(port.readInputReports(buffer.data(), buffer.size(), 4, bytes),
              transport::kHidReadTimedOut);
    ASSERT_EQ(bytes, kL);
    EXPECT_EQ(buffer[2], 0xA3);
    EXPECT_EQ(port.readInputReports(buffer.data(), buffer.size(), 4, bytes),
              transport::kHidReadTimedOut);
    EXPECT_EQ(bytes, 0u);
    // Never more than the buffer holds.
    server.sendInput({0xB1});
    server.sendInput({0xB2});
    EXPECT_EQ(port.readInputReports(buffer.data(), kL, 4, bytes), transport::kHidReadTimedOut);
    EXPECT_EQ(bytes, kL);
}

TEST(SocketPort, AfterAHangUpIoFailsButThePortStaysOpenForTheRemoval) {
    TestServer server;
    transport::SocketPort port(server.path());
    openWith(port, server);
    server.dropClient();
    server.stopListening();
    Bytes buffer(kL);
    uint32_t bytes = 0;
    EXPECT_EQ(port.readInputReports(buffer.data(), buffer.size(), 1, bytes),
              transport::kHidReadFailed);
    const Bytes poll{2, 1, 0xE1};
    EXPECT_NE(port.sendInterruptReport(poll.data(), poll.size()), transport::kHidSuccess);
    // Still "open" so the removal can be matched with the open path.
    EXPECT_TRUE(port.isOpen());
    std::string path;
    EXPECT_EQ(port.openDevicePath(path), transport::kHidSuccess);
    EXPECT_EQ(path, port.uri());
}

// The changes the front ends hear, through the interface they use: the server hanging up
// on the open adapter is its removal, the path accepting again after being absent (or
// for the first time) its arrival, and each is told once.
TEST(SocketPort, TheServersComingAndGoingAreTheChanges) {
    using Kind = transport::DeviceEventKind;
    enum class Action { Nothing, Open, HangUp, HangUpAndStop, StopListening, ListenAgain };
    struct Step {
        Action action;
        std::vector<Kind> changes;  // what one takeChanges() after the action gives
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"a listening server is an arrival, once",
         {{Action::Nothing, {Kind::Arrival}}, {Action::Nothing, {}}}},
        {"no server, then one",
         {{Action::StopListening, {}},
          {Action::Nothing, {}},
          {Action::ListenAgain, {Kind::Arrival}},
          {Action::Nothing, {}}}},
        {"the open adapter's server stays", {{Action::Open, {}}, {Action::Nothing, {}}}},
        {"hang-up, gone, back",
         {{Action::Open, {}},
          {Action::HangUpAndStop, {Kind::Removal}},
          {Action::Nothing, {}},
          {Action::ListenAgain, {Kind::Arrival}},
          {Action::Nothing, {}}}},
        {"hang-up while the path still accepts",
         {{Action::Open, {}},
          {Action::HangUp, {Kind::Removal}},
          {Action::Nothing, {Kind::Arrival}},
          {Action::Nothing, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        transport::SocketPort port(server.path());
        transport::DeviceChangeSource& source = port;
        // Nothing to watch: the owner asks at its own pace.
        EXPECT_EQ(source.watchFd(), -1);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = c.steps[i];
            switch (step.action) {
                case Action::Nothing:
                    break;
                case Action::Open:
                    openWith(port, server);
                    break;
                case Action::HangUp:
                    server.dropClient();
                    break;
                case Action::HangUpAndStop:
                    server.dropClient();
                    server.stopListening();
                    break;
                case Action::StopListening:
                    server.stopListening();
                    break;
                case Action::ListenAgain:
                    server.listenAgain();
                    break;
            }
            const std::vector<transport::DeviceEvent> changes = source.takeChanges();
            ASSERT_EQ(changes.size(), step.changes.size());
            for (size_t k = 0; k < changes.size(); ++k) {
                EXPECT_EQ(changes[k].kind, step.changes[k]);
                EXPECT_EQ(changes[k].path, port.uri());
            }
        }
    }
}

TEST(SocketPort, CarriesTheLinkAdapterFraming) {
    TestServer server;
    transport::SocketPort port(server.path());
    transport::VirtualClock clock;
    protocol::TickHost host(clock);
    transport::LinkAdapter link(port, host, clock);
    link.startLink();
    EXPECT_EQ(link.devicePath(), port.uri());
    ASSERT_TRUE(server.acceptClient());
    server.sendHello();
    link.openAdapter();
    ASSERT_TRUE(port.isOpen());
    const Bytes connect = server.receive();
    ASSERT_EQ(connect.size(), kL + 1);
    EXPECT_EQ(Bytes(connect.begin(), connect.begin() + 6), (Bytes{'C', 0xFD, 'C', 'O', 'N', 'N'}));
    EXPECT_TRUE(host.isTimerRunning(transport::kProtocolTimer));

    const Bytes frame(60, 0x42);
    EXPECT_TRUE(link.writeFrame(frame));
    const Bytes first = server.receive();
    const Bytes second = server.receive();
    ASSERT_EQ(first.size(), kL + 1);
    ASSERT_EQ(second.size(), kL + 1);
    EXPECT_EQ(first[0], 'O');
    EXPECT_EQ(first[2], 59);
    EXPECT_EQ(second[2], 1);

    server.sendInput({0xD7, 1, 0, 2});
    server.sendInput({0, 3, 4, 5});
    uint8_t joined[200] = {};
    uint32_t received = 0;
    EXPECT_TRUE(link.readFrames(joined, link.fullRequestLength(), received));
    EXPECT_EQ(Bytes(joined, joined + received), (Bytes{0xD7, 1, 0, 2, 0, 3, 4, 5}));

    server.dropClient();
    transport::DeviceChangeSource& source = port;
    const std::vector<transport::DeviceEvent> removal = source.takeChanges();
    ASSERT_EQ(removal.size(), 1u);
    link.onDeviceChange(removal[0]);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(host.isTimerRunning(transport::kProtocolTimer));
}

}  // namespace
