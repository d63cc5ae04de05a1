#pragma once
// One process per adapter: before a port opens a device it takes an advisory lock (flock)
// on a file named after the device, and writes its process id and name into it. A second
// process (or a second session of the same process: flock belongs to the open file) finds
// the lock taken and learns from the file who holds it. The lock goes with the close, or
// with the process; the file stays for the next one.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/hid_port.h"

namespace devices {

// Where lock files go: $XDG_RUNTIME_DIR when set, else /run/lock when it may be written,
// else /tmp.
std::string lockDirectory();
// The lock file's name for a device key: "tessaro-KEY.lock" with every character other
// than a letter, digit, '.', '-' or '_' written as '_'.
std::string lockFileName(std::string_view key);

class DeviceLock {
  public:
    enum class Result {
        Taken,        // this object holds the lock now
        Busy,         // another open file holds it; holder() says whose it is
        Unavailable,  // no lock file could be made here: the device goes unlocked
    };
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes the lock named after `key` in `directory` without waiting. A lock held already
    // is let go first.
    Result take(const std::string& directory, std::string_view key);
    void release();
    // Who holds the lock named after `key` in `directory` now, without taking it (so that
    // asking never makes another process's open fail): read from the kernel's table of
    // file locks. Nothing when the lock is free or cannot be told.
    static std::optional<transport::DeviceHolder> heldBy(const std::string& directory,
                                                         std::string_view key,
                                                         const char* lockTable = "/proc/locks");
    bool held() const { return m_fd >= 0; }
    // Who held the lock when take() last found it busy.
    const transport::DeviceHolder& holder() const { return m_holder; }

  private:
    int m_fd = -1;
    transport::DeviceHolder m_holder;
};

// A port that takes the device's lock before it opens the device, and lets go of it when
// it closes the device (or fails to open it). An open refused for the lock returns
// kHidDeviceBusy and leaves holder() set until the next open.
class LockingPort final : public transport::HidPort {
  public:
    // `lockKey` names the lock of a device path (see lockFileName); `directory` empty:
    // lockDirectory() at every open.
    LockingPort(std::unique_ptr<transport::HidPort> inner,
                std::function<std::string(const std::string& path)> lockKey,
                std::string directory = {});
    ~LockingPort() override;

    transport::HidPort& inner() { return *m_inner; }

    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override {
        return m_inner->deviceCount(vendorId, productId);
    }
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override {
        return m_inner->devicePath(index, vendorId, productId, path);
    }
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_inner->isOpen(); }
    uint32_t reportLength() const override { return m_inner->reportLength(); }
    uint32_t maxReportRequest() const override { return m_inner->maxReportRequest(); }
    void setTimeouts(uint32_t readMs, uint32_t writeMs) override {
        m_inner->setTimeouts(readMs, writeMs);
    }
    int sendControlReport(const uint8_t* report, uint32_t length) override {
        return m_inner->sendControlReport(report, length);
    }
    int sendInterruptReport(const uint8_t* report, uint32_t length) override {
        return m_inner->sendInterruptReport(report, length);
    }
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override {
        return m_inner->readInputReports(buffer, bufferSize, reportCount, bytesReturned);
    }
    int openDevicePath(std::string& path) const override { return m_inner->openDevicePath(path); }
    void close() override;
    std::optional<transport::DeviceHolder> holder() const override { return m_refusedBy; }

  private:
    std::unique_ptr<transport::HidPort> m_inner;
    std::function<std::string(const std::string&)> m_lockKey;
    std::string m_directory;
    DeviceLock m_lock;
    std::optional<transport::DeviceHolder> m_refusedBy;
};

}  // namespace devices
