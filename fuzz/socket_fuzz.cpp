// libFuzzer target for what a socket adapter's server sends (transport::SocketPort): the
// greeting that gives the report length and the largest request, and the packets after it,
// well-formed input reports or anything else, read by the port directly into buffers of
// any size and through transport::LinkAdapter (open, readFrames, drainInput), with the
// server going away and coming back in between.
//
// The fuzzer plays the server on a real Unix-domain socket of this process. The input is:
//   byte 0 … n  the greeting: a length byte (1 + it mod 7 bytes) and its bytes
//   then        operations, one byte each (mod 8), with their operands (see runOperation)
//
// Besides memory errors it checks that the port never claims more bytes than the buffer
// holds or a part of a report, that the link keeps no more than it was given, and that
// every packet the port sends carries one whole report behind its tag.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devices/socket_port.h"
#include "fuzz_support.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/tick_host.h"

namespace {

constexpr int kMaxOperations = 500;
// A packet longer than the largest report the greeting may announce, and then some.
constexpr uint32_t kMaxPacket = transport::kSocketMaxReportLength + 64;

std::string g_socketPath;
int g_listener = -1;

void removeSocketFile() {
    if (!g_socketPath.empty())
        ::unlink(g_socketPath.c_str());
}

// The listening socket, made at the first input: the replay points the scratch folder at a
// folder of its own only after start-up.
bool ensureListener() {
    if (g_listener >= 0)
        return true;
    g_socketPath = fuzzing::scratchPath("socket") + ".sock";
    ::unlink(g_socketPath.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (g_socketPath.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, g_socketPath.data(), g_socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return false;
    }
    g_listener = fd;
    std::atexit(removeSocketFile);
    return true;
}

void fail(const char* what) {
    std::fprintf(stderr, "socket_fuzz: %s\n", what);
    std::abort();
}

struct Rig {
    transport::VirtualClock clock{5000};
    protocol::TickHost host{clock};
    transport::SocketPort port{g_socketPath};
    transport::LinkAdapter link{port, host, clock};
    std::vector<int> connections;  // the server's ends, closed at the end of the input
    int server = -1;               // the one now served
    std::vector<uint8_t> greeting;

    ~Rig() {
        for (const int fd : connections) ::close(fd);
    }

    // The server greets every connection the port made (asking whether the adapter is there
    // connects) and serves the newest; then the link opens the adapter.
    void connectAndOpen() {
        // An open port would connect anew inside the open and wait there for a greeting.
        if (port.isOpen())
            link.closeLink();
        (void)port.deviceCount(transport::kAdapterVendorId, transport::kAdapterProductId);
        for (;;) {
            const int fd = ::accept4(g_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                break;
            (void)::send(fd, greeting.data(), greeting.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            connections.push_back(fd);
            server = fd;
        }
        link.startLink();
        link.openAdapter();
        if (!port.isOpen())
            return;
        const bool wellFormed = greeting.size() == transport::kSocketHelloLength &&
                                greeting[0] == transport::kSocketHelloTag;
        const uint32_t length = wellFormed ? (uint32_t{greeting[1]} << 8 | greeting[2]) : 0;
        if (!wellFormed || port.reportLength() != length)
            fail("the port opened on a greeting it should have refused, or took another length");
    }

    void serverSend(const std::vector<uint8_t>& packet) {
        if (server >= 0)
            (void)::send(server, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }

    // What the port sent the server: each packet one tagged report of the length in use.
    void serverDrain() {
        if (server < 0)
            return;
        std::vector<uint8_t> packet(kMaxPacket);
        for (;;) {
            const ssize_t n = ::recv(server, packet.data(), packet.size(), MSG_DONTWAIT);
            if (n <= 0)
                return;
            const uint8_t tag = packet[0];
            if (tag != transport::kSocketControlTag && tag != transport::kSocketOutputTag)
                fail("a packet from the port without a report tag");
            if (port.isOpen() && static_cast<uint32_t>(n) != port.reportLength() + 1)
                fail("a packet from the port that is not one whole report");
        }
    }

    void runOperation(fuzzing::ByteReader& in) {
        switch (in.byte() % 8) {
            case 0: {  // any packet at all
                serverSend(in.bytes(in.word() % kMaxPacket));
                break;
            }
            case 1: {  // an input report as the adapter sends it, padded to the length in use
                std::vector<uint8_t> packet = in.bytes(in.byte());
                packet.insert(packet.begin(), transport::kSocketInputTag);
                packet.resize(port.reportLength() + 1, 0);
                serverSend(packet);
                break;
            }
            case 2: {  // the port read straight into a buffer of exactly the given size
                const uint32_t bufferSize = in.word();
                const uint32_t reportCount = in.byte();
                const auto buffer = std::make_unique<uint8_t[]>(bufferSize);
                uint32_t returned = 0;
                (void)port.readInputReports(buffer.get(), bufferSize, reportCount, returned);
                const uint32_t length = port.reportLength();
                if (returned > bufferSize || (length > 0 && returned % length != 0) ||
                    (length > 0 && returned / length > reportCount))
                    fail("the port returned more than fits, or a part of a report");
                break;
            }
            case 3: {  // the link's own read, into a frame of the given size
                std::vector<uint8_t> frame(in.byte());
                const uint32_t request = in.word();
                uint32_t received = 0;
                (void)link.readFrames(frame, request, received);
                if (received > frame.size())
                    fail("the link kept more bytes than the frame holds");
                break;
            }
            case 4:
                link.drainInput();
                break;
            case 5: {  // the port sends a report of any length, and the server reads it
                const std::vector<uint8_t> report = in.bytes(in.byte());
                if (in.byte() & 1)
                    (void)port.sendControlReport(report.data(),
                                                 static_cast<uint32_t>(report.size()));
                else
                    (void)port.sendInterruptReport(report.data(),
                                                   static_cast<uint32_t>(report.size()));
                serverDrain();
                break;
            }
            case 6:  // the comings and goings the port noticed, to the link
                for (const transport::DeviceEvent& event : port.takeChanges())
                    link.onDeviceChange(event);
                break;
            case 7:  // the server goes away, or serves a new connection
                if (server >= 0 && (in.byte() & 1)) {
                    std::erase(connections, server);
                    ::close(server);
                    server = -1;
                } else {
                    connectAndOpen();
                }
                break;
        }
    }
};

// Connections a run left in the listener's queue (a presence check's), refused.
void dropQueuedConnections() {
    for (;;) {
        const int fd = ::accept4(g_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        ::close(fd);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ensureListener())
        fail("cannot listen on a scratch socket");
    fuzzing::ByteReader in(data, size);
    {
        Rig rig;
        // One byte at least: an empty packet reads as the server having closed, and the
        // port would then wait a second for the greeting of a connection of its own.
        rig.greeting = in.bytes(1u + in.byte() % 7u);
        if (rig.greeting.empty())
            rig.greeting.push_back(0);
        rig.connectAndOpen();
        for (int op = 0; op < kMaxOperations && !in.empty(); ++op) rig.runOperation(in);
        rig.serverDrain();
    }
    dropQueuedConnections();
    return 0;
}
