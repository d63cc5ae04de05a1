#pragma once
// Serves a link adapter on a Unix-domain socket, in the format the socket port speaks
// (docs/socket-link.md), so that another program, or another machine through a forwarded
// socket, configures the ESC behind it.
//
// One client at a time: a client connecting while another is served is closed at once.
// A client's connection opens the adapter and is greeted with its report length and read
// limit; its going closes the adapter, so the next client starts afresh. The adapter's
// removal closes the client's connection, which the client takes as the adapter's removal.
// While no adapter can be opened, a connection is closed at once as well.
//
// Step-driven and never waiting: step() takes a waiting client, passes its reports to the
// adapter and the adapter's input reports to it, and notices either side going. A caller
// loops it (the command line on the real clock with poll(), a test on a virtual clock in
// its own thread).

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/device_change_source.h"
#include "link/hid_port.h"

namespace devices {

enum class BridgeEventKind {
    ClientConnected,   // detail: nothing
    ClientGone,        // the client closed its connection
    ClientRefused,     // another client is being served
    ClientTurnedAway,  // detail: why no adapter could be opened for it
    AdapterOpened,     // detail: the adapter's path
    AdapterRemoved,    // detail: the adapter's path; the client's connection was closed
    ClientDropped,     // the client stopped reading (its queue overflowed) or its socket failed
};

struct BridgeEvent {
    BridgeEventKind kind;
    std::string detail;
};

class AdapterBridge {
  public:
    using EventSink = std::function<void(const BridgeEvent&)>;
    // Input reports queued for a client that does not read, beyond which it is dropped.
    static constexpr size_t kMaxQueuedReports = 4096;

    // `port` and `changes` (may be null: removals are then noticed by a failed read) must
    // outlive the bridge.
    AdapterBridge(transport::HidPort& port, transport::DeviceChangeSource* changes,
                  EventSink events);
    ~AdapterBridge();
    AdapterBridge(const AdapterBridge&) = delete;
    AdapterBridge& operator=(const AdapterBridge&) = delete;

    // Makes the socket at `path`, for this user alone (mode 0600), and listens on it. A
    // socket file nobody listens on any more is replaced; anything else at the path (a
    // server that still listens, a file of another kind) is left alone and refused. False
    // with a one-line reason in `error`. `stream`: a SOCK_STREAM socket, as SSH forwards
    // them, with the same packets cut by their fixed lengths.
    bool listen(const std::string& path, std::string& error, bool stream = false);
    // One step, without waiting.
    void step();
    // The descriptors whose readiness calls for a step (the listening socket, the client's).
    std::vector<int> watchFds() const;
    bool serving() const { return m_client >= 0; }
    // Ends the service: the client's connection and the adapter closed, the socket file
    // removed (only if it is still the one listen() made). The destructor does it too.
    void shutdown();

  private:
    void acceptClients();
    void serveClient();
    // One client packet of L + 1 bytes to the adapter.
    void passToAdapter(const uint8_t* packet);
    void pumpInput();
    void flushOutput();
    void noteDeviceChanges();
    // Opens the adapter as the link adapter would find it: the last one listed. Empty on
    // success, else why not.
    std::string openAdapter();
    void endClient(BridgeEventKind why, const std::string& detail = {});
    void emit(BridgeEventKind kind, const std::string& detail = {});

    transport::HidPort& m_port;
    transport::DeviceChangeSource* m_changes;
    EventSink m_events;
    std::string m_path;
    uint64_t m_socketDevice = 0;
    uint64_t m_socketInode = 0;
    int m_listen = -1;
    int m_client = -1;
    std::string m_adapterPath;
    uint32_t m_reportLength = 0;
    uint32_t m_maxReports = 0;
    bool m_stream = false;
    std::deque<std::vector<uint8_t>> m_toClient;
    size_t m_frontSent = 0;             // of a stream: the front packet's bytes sent
    std::vector<uint8_t> m_fromClient;  // of a stream: bytes not yet cut into packets
    // The last reason a client was turned away, said once until it changes.
    std::string m_lastTurnedAway;
};

}  // namespace devices
