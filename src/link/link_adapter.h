#pragma once
// The link adapter as the program sees it: finding it among the HID devices, opening and
// announcing it, moving byte strings as 2/n/payload reports, draining stale input and
// following arrival and removal. It only moves bytes; the protocol controller decides
// what to send and when.

#include <cstdint>
#include <span>
#include <string>

#include "link/clock.h"
#include "link/hid_port.h"
#include "link/protocol_host.h"

namespace transport {

inline constexpr uint32_t kInputBufferCount = 512;
inline constexpr uint32_t kReadTimeoutMs = 0;
inline constexpr uint32_t kWriteTimeoutMs = 1000;
inline constexpr uint8_t kDataReportId = 2;
inline constexpr uint32_t kMaxReportPayload = 59;
inline constexpr uint32_t kMinDataReportLength = 61;
inline constexpr uint32_t kMinConnectReportLength = 5;
inline constexpr uint8_t kConnectReportId = 0xFD;
inline constexpr uint32_t kStartupOpenPeriodMs = 500;
inline constexpr uint32_t kArrivalOpenPeriodMs = 200;
inline constexpr uint32_t kProtocolPeriodMs = 30;

enum class DeviceEventKind { Arrival, Removal };

struct DeviceEvent {
    DeviceEventKind kind;
    std::string path;  // device node (hidraw) path, or the port's own path for other ports
};

// Device paths compare equal ignoring the case of ASCII letters.
bool pathsEqual(const std::string& a, const std::string& b);

class LinkAdapter {
  public:
    LinkAdapter(HidPort& port, ProtocolHost& host, Clock& clock);
    ~LinkAdapter();
    LinkAdapter(const LinkAdapter&) = delete;
    LinkAdapter& operator=(const LinkAdapter&) = delete;

    // The controller that hears of a completed open and of the adapter's removal.
    // A successful open stops timer 1 and then calls onAdapterOpened(), which starts
    // timer 0; without a listener the adapter starts timer 0 at 30 ms itself, so a bare
    // host still sees its ticks. A removal of the open adapter closes it, empties the path,
    // stops timer 0, calls onAdapterRemoved() (the controller clears its flags) and then
    // repaints the lamps: the listener need not stop timer 0 or repaint.
    // The destructor only closes the port; it does not touch the host.
    void setListener(LinkListener* listener) { m_listener = listener; }

    // Path of the last matching device that yielded one; empty when none.
    std::string findAdapterPath();
    // Index of the first device whose path equals `path` ignoring ASCII case.
    bool findAdapterIndex(const std::string& path, uint32_t& index);
    // One open attempt (a tick of timer 1). A handle still open from before is closed
    // first, and an attempt that fails after the open closes its handle again.
    void openAdapter();
    // Sends the frame as data reports; true when every byte went out. 0 bytes: true.
    bool writeFrame(std::span<const uint8_t> frame);
    // Joins the payloads of the queued reports into `dest` (at most its size is kept;
    // `received` counts the bytes kept). False when nothing could be read at all (short L,
    // short request, port error).
    bool readFrames(std::span<uint8_t> dest, uint32_t requestLength, uint32_t& received);
    // Reads and throws away whatever input is pending.
    void drainInput();
    // Once at start-up: look for the adapter and start timer 1 at 500 ms.
    void startLink();
    // Arrival or removal of an HID device; always returns true. An arrival while the
    // adapter is open starts timer 1 only when the path found differs from the open one.
    bool onDeviceChange(const DeviceEvent& event);
    // At the end: stop timer 0 and close the adapter.
    void closeLink();
    void delayMs(uint32_t ms) { transport::delayMs(m_clock, ms); }

    bool isOpen() const { return m_port.isOpen(); }
    const std::string& devicePath() const { return m_devicePath; }
    // Maximum report request × 59: the request length both readers pass.
    uint32_t fullRequestLength() const;
    HidPort& port() { return m_port; }
    Clock& clock() { return m_clock; }

  private:
    HidPort& m_port;  // m_hidDevice: the port's open device
    ProtocolHost& m_host;
    Clock& m_clock;
    LinkListener* m_listener = nullptr;
    std::string m_devicePath;
    bool m_deviceNotify = false;  // registered for device events
};

}  // namespace transport
