#pragma once
// The calls the transport needs from an HID library. One port holds at most one open
// device at a time. Strings are UTF-8; status 0 is success throughout.

#include <cstdint>
#include <optional>
#include <string>

namespace transport {

inline constexpr uint16_t kAdapterVendorId = 0x10C4;
inline constexpr uint16_t kAdapterProductId = 0x8468;

// Status values of the port's calls.
inline constexpr int kHidSuccess = 0;
inline constexpr int kHidReadTimedOut = 4;  // fewer reports than asked for: still a success
inline constexpr int kHidDeviceNotFound = 1;
inline constexpr int kHidDeviceNotOpened = 2;
inline constexpr int kHidWriteFailed = 3;
inline constexpr int kHidReadFailed = 5;
inline constexpr int kHidInvalidParameter = 6;
inline constexpr int kHidDeviceBusy = 7;  // another process has the device open

// The process that has a device open which this one could not open for that reason.
struct DeviceHolder {
    int64_t pid = 0;
    std::string program;  // its name; empty when it could not be told
    friend bool operator==(const DeviceHolder&, const DeviceHolder&) = default;
};

class HidPort {
  public:
    virtual ~HidPort() = default;

    // Number of devices with these ids present now.
    virtual uint32_t deviceCount(uint16_t vendorId, uint16_t productId) = 0;
    // Device path of the index-th matching device into `path`; 0 on success.
    virtual int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                           std::string& path) = 0;
    // Opens the index-th matching device, asking for `inputBuffers` queued input reports.
    // A device already open is closed first. 0 on success.
    virtual int open(uint32_t index, uint16_t vendorId, uint16_t productId,
                     uint32_t inputBuffers) = 0;
    virtual bool isOpen() const = 0;
    // L: length of one report including the report-id byte; 0 when nothing is open.
    virtual uint32_t reportLength() const = 0;
    // Largest number of input reports one read may ask for.
    virtual uint32_t maxReportRequest() const = 0;
    virtual void setTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
    // Sends one output report of `length` bytes (report id first) through the control
    // channel or the interrupt channel.
    virtual int sendControlReport(const uint8_t* report, uint32_t length) = 0;
    virtual int sendInterruptReport(const uint8_t* report, uint32_t length) = 0;
    // Copies up to `reportCount` queued input reports of L bytes each, back to back, into
    // `buffer` without waiting. `bytesReturned` is a multiple of L. kHidSuccess when
    // `reportCount` reports came, kHidReadTimedOut when fewer (also none) were queued.
    virtual int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                 uint32_t& bytesReturned) = 0;
    // Path of the open device; 0 on success.
    virtual int openDevicePath(std::string& path) const = 0;
    virtual void close() = 0;
    // The process that had the device the last open() asked for (status kHidDeviceBusy);
    // empty when the last open was not refused for that, or the port takes no such lock.
    virtual std::optional<DeviceHolder> holder() const { return std::nullopt; }
};

}  // namespace transport
