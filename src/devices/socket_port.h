#pragma once
// An HidPort whose one adapter is served by another process over a Unix-domain
// SOCK_SEQPACKET socket, one packet per report (docs/socket-link.md):
//   server → client  'H' L(BE16) maxReports(BE16)   once, right after the connection
//   server → client  'I' + one input report of L bytes
//   client → server  'C' + one control-channel output report of L bytes
//   client → server  'O' + one interrupt output report of L bytes
// The adapter is present while the path accepts a connection; its device path is the
// URI "socket:PATH". The server closing the connection is the adapter's removal.
// A SOCK_STREAM socket at the path (one SSH forwards, say) carries the same packets one
// after another: every packet has a fixed length (5 for the greeting, L + 1 for any
// other), which is where the stream is cut.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/device_change_source.h"
#include "link/hid_port.h"
#include "link/link_adapter.h"

namespace transport {

inline constexpr char kSocketUriPrefix[] = "socket:";
inline constexpr uint8_t kSocketHelloTag = 'H';
inline constexpr uint8_t kSocketInputTag = 'I';
inline constexpr uint8_t kSocketControlTag = 'C';
inline constexpr uint8_t kSocketOutputTag = 'O';
inline constexpr uint32_t kSocketHelloLength = 5;
// How long open waits for the server's 'H' packet.
inline constexpr uint32_t kSocketHelloTimeoutMs = 1000;
// A report length the format can carry, and that is sane for an adapter.
inline constexpr uint32_t kSocketMaxReportLength = 4096;

class SocketPort final : public HidPort, public DeviceChangeSource {
  public:
    // `clock` (may be null: the real one) times the wait for the server's greeting: a
    // virtual clock lets a server in the same thread answer while the port waits.
    explicit SocketPort(std::string socketPath, Clock* clock = nullptr);
    ~SocketPort() override;
    SocketPort(const SocketPort&) = delete;
    SocketPort& operator=(const SocketPort&) = delete;

    const std::string& uri() const { return m_uri; }

    // DeviceChangeSource: nothing to watch, the path is asked at every call. A call gives
    // the one change noticed since the last: the server closed the open connection
    // (Removal), or the path accepts again after being absent (Arrival). Checks presence,
    // so it may connect.
    int watchFd() const override { return -1; }
    std::vector<DeviceEvent> takeChanges() override;

    // HidPort
    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override;
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_open; }
    uint32_t reportLength() const override { return m_open ? m_reportLength : 0; }
    uint32_t maxReportRequest() const override { return m_open ? m_maxReports : 0; }
    void setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int sendControlReport(const uint8_t* report, uint32_t length) override;
    int sendInterruptReport(const uint8_t* report, uint32_t length) override;
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override;
    int openDevicePath(std::string& path) const override;
    void close() override;

  private:
    std::optional<DeviceEvent> nextChange();
    bool isAdapter(uint16_t vendorId, uint16_t productId) const;
    // True when the path accepts; the connection made to find out is kept for the next
    // open, so a server serving one client at a time sees one session, not two.
    bool present();
    // A connection to the path: SOCK_SEQPACKET, or SOCK_STREAM where the socket is of that
    // type (`stream` says which); -1 when nobody accepts.
    int connectToServer(bool& stream) const;
    // The next whole packet of the open connection into `packet`: its length, 0 when none
    // is queued, -1 when the server closed the connection or it failed.
    ssize_t receivePacket(std::vector<uint8_t>& packet);
    bool readHello(int fd);
    int sendTagged(uint8_t tag, const uint8_t* report, uint32_t length);
    void peerClosed();

    std::string m_socketPath;
    std::string m_uri;
    Clock* m_clock = nullptr;
    int m_fd = -1;                    // the open adapter's connection
    int m_probeFd = -1;               // a connection made by a presence check, not yet opened
    bool m_stream = false;            // m_fd is a SOCK_STREAM connection
    bool m_probeStream = false;       // m_probeFd is
    std::vector<uint8_t> m_received;  // bytes of a stream not yet cut into packets
    bool m_open = false;
    bool m_peerClosed = false;  // the server closed the open connection
    bool m_removalReported = false;
    bool m_knownPresent = false;
    uint32_t m_reportLength = 0;
    uint32_t m_maxReports = 0;
    uint32_t m_writeTimeoutMs = kWriteTimeoutMs;
};

}  // namespace transport
