#pragma once
// An in-process stand-in for the HID library and the adapters behind it: any number of
// devices with their own paths, plugged in and out on demand, each with an optional
// peer (the simulated adapter firmware and ESC) that answers what is sent to it.
// Replies become readable after a latency on the given clock, so tests on a virtual
// clock see them on a later tick exactly as a real adapter would deliver them.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/hid_port.h"
#include "link/link_adapter.h"

namespace sim {

// One answer of a peer: bytes the adapter delivers as input reports, `delayMs` after the
// report that caused it (on top of the adapter's own latency).
struct PeerReply {
    std::vector<uint8_t> bytes;
    uint32_t delayMs = 0;
};

// What sits behind a simulated adapter.
class AdapterPeer {
  public:
    virtual ~AdapterPeer() = default;
    // The device was opened (a fresh handle); the peer may reset per-connection state.
    virtual void onOpened() {}
    // The connect report came through the control channel; the adapter's answer (may be
    // none).
    virtual std::vector<PeerReply> onConnect() = 0;
    // The payload of one interrupt output report (the bytes its count byte covers).
    virtual std::vector<PeerReply> onData(const std::vector<uint8_t>& payload) = 0;
};

// How one simulated device looks to the port.
struct AdapterOptions {
    uint16_t vendorId = transport::kAdapterVendorId;
    uint16_t productId = transport::kAdapterProductId;
    uint32_t reportLength = 65;      // L, id byte included
    uint32_t maxReportRequest = 63;  // largest report count one read may ask for
    bool refuseConnect = false;      // the control report fails
    int openError = 0;               // the open fails, as open(2) would with this errno
    bool pathReadable = true;        // false: the enumeration cannot read this entry's path
    uint32_t latencyMs = 0;          // every reply becomes readable this late
    uint8_t inputReportId = 1;       // byte 0 of input reports (nobody reads it)
};

enum class ReportChannel { Control, Interrupt };

// A report the program sent, as the device received it.
struct SentReport {
    ReportChannel channel;
    std::string path;
    std::vector<uint8_t> bytes;  // the full report, id byte first
    uint32_t atMs;
};

class SimulatedPort final : public transport::HidPort {
  public:
    // `clock` may be null: replies are then readable at once.
    explicit SimulatedPort(transport::Clock* clock = nullptr);
    ~SimulatedPort() override;

    // Adds a device at the end of the enumeration; the event is what the hot-plug
    // monitor would report, ready for LinkAdapter::onDeviceChange. The same path may be
    // added more than once (one entry per top-level collection, as hidapi lists them).
    transport::DeviceEvent plugIn(const std::string& path, std::shared_ptr<AdapterPeer> peer,
                                  const AdapterOptions& options = {});
    // Removes every entry with this path. An open handle on it stays "open" (its path is
    // still known) but its reads and writes fail, as with a real device pulled out.
    transport::DeviceEvent unplug(const std::string& path);
    bool isPresent(const std::string& path) const;

    // Changes a present device's options (report length, refusal, latency ...). An open
    // handle picks up the new report length at once.
    bool setOptions(const std::string& path, const AdapterOptions& options);
    // The options of the present device with this path; null when none is present.
    const AdapterOptions* options(const std::string& path) const;
    // Queues input on a device directly (stale replies, noise); readable after `delayMs`.
    bool queueInput(const std::string& path, const std::vector<uint8_t>& bytes,
                    uint32_t delayMs = 0);
    // Queues one raw input report (padded or cut to L) on the open device, for reports
    // no well-behaved adapter sends (a count byte beyond the report, say).
    bool queueRawReport(const std::string& path, const std::vector<uint8_t>& report);
    // The next `count` interrupt writes succeed, every later one fails (-1: never fail).
    void failInterruptWritesAfter(int count) { m_interruptWritesLeft = count; }
    // Reads fail with kHidReadFailed while set.
    void setReadFailure(bool fail) { m_readFails = fail; }

    // What went out, for tests.
    const std::vector<SentReport>& sentReports() const { return m_sent; }
    uint32_t controlReportCount() const;
    uint32_t interruptReportCount() const;
    // Payloads (count-byte coverage) of the interrupt reports, in order.
    std::vector<std::vector<uint8_t>> sentPayloads() const;
    void clearLog() { m_sent.clear(); }
    uint32_t openCount() const { return m_openCount; }
    uint32_t closeCount() const { return m_closeCount; }
    // Reports queued on the open device (readable now or later).
    size_t pendingInputReports() const;
    std::shared_ptr<AdapterPeer> peer(const std::string& path) const;
    // Last values given to setTimeouts.
    uint32_t readTimeoutMs() const { return m_readTimeoutMs; }
    uint32_t writeTimeoutMs() const { return m_writeTimeoutMs; }

    // transport::HidPort
    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override;
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_open; }
    uint32_t reportLength() const override;
    uint32_t maxReportRequest() const override;
    void setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int sendControlReport(const uint8_t* report, uint32_t length) override;
    int sendInterruptReport(const uint8_t* report, uint32_t length) override;
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override;
    int openDevicePath(std::string& path) const override;
    void close() override;

  private:
    struct Device {
        std::string path;
        std::shared_ptr<AdapterPeer> peer;
        AdapterOptions options;
        uint64_t serial;  // a handle stays bound to the plugging it opened, not to the path
    };
    struct QueuedReport {
        std::vector<uint8_t> bytes;  // L bytes
        uint32_t readyAtMs;
    };

    uint32_t nowMs() const { return m_clock ? m_clock->nowMs() : 0; }
    std::vector<const Device*> matching(uint16_t vendorId, uint16_t productId) const;
    const Device* openDevice() const;
    void deliver(const std::vector<PeerReply>& replies);
    void enqueue(const std::vector<uint8_t>& bytes, uint32_t delayMs);

    transport::Clock* m_clock;
    std::vector<Device> m_devices;
    // The open handle.
    bool m_open = false;
    std::string m_openPath;
    uint64_t m_openSerial = 0;
    uint64_t m_nextSerial = 1;
    AdapterOptions m_openOptions;  // kept when the device is pulled out while open
    uint32_t m_inputBuffers = 0;
    std::deque<QueuedReport> m_input;
    // When the last report queued becomes readable: a later one never overtakes it.
    uint32_t m_lastReadyAtMs = 0;
    uint32_t m_readTimeoutMs = 0;
    uint32_t m_writeTimeoutMs = 0;
    // Test hooks and log.
    int m_interruptWritesLeft = -1;
    bool m_readFails = false;
    std::vector<SentReport> m_sent;
    uint32_t m_openCount = 0;
    uint32_t m_closeCount = 0;
};

}  // namespace sim
