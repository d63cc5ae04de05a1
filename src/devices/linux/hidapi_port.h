#pragma once
// The real adapter through hidapi's hidraw backend. Devices are counted by distinct
// hidraw node (hidapi lists a node once per top-level collection), and the index-to-path
// map is rebuilt at every call because node numbers are reused after a removal.
//
// Besides hidapi's own handle the port keeps a descriptor of its own on the node: for the
// report descriptor (the report length L), for the connect report through HIDIOCSOUTPUT,
// and to poll for writability before an interrupt write.

#include <cstdint>
#include <string>
#include <vector>

#include "link/hid_port.h"

struct hid_device_;

namespace transport {

class HidapiPort final : public HidPort {
  public:
    // The hidraw input queue holds 63 reports per descriptor: one read can take them all.
    static constexpr uint32_t kMaxReportRequest = 63;

    HidapiPort();
    ~HidapiPort() override;
    HidapiPort(const HidapiPort&) = delete;
    HidapiPort& operator=(const HidapiPort&) = delete;

    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override;
    // `inputBuffers` is not adjustable on hidraw; the kernel's queue depth applies.
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_device != nullptr; }
    uint32_t reportLength() const override { return isOpen() ? m_reportLength : 0; }
    uint32_t maxReportRequest() const override { return isOpen() ? kMaxReportRequest : 0; }
    void setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int sendControlReport(const uint8_t* report, uint32_t length) override;
    int sendInterruptReport(const uint8_t* report, uint32_t length) override;
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override;
    int openDevicePath(std::string& path) const override;
    void close() override;

    // Opens a device by its node path (the index-free way in).
    int openPath(const std::string& path);
    // hidapi's message for the last failure, for diagnostics.
    std::string lastError() const;

    // hidapi's version, as "0.13.1".
    static std::string libraryVersion();
    // The distinct node paths of the matching devices, in hidapi's order.
    static std::vector<std::string> enumeratePaths(uint16_t vendorId, uint16_t productId);

  private:
    bool readReportDescriptor(std::vector<uint8_t>& descriptor) const;

    hid_device_* m_device = nullptr;
    int m_fd = -1;
    std::string m_path;
    uint32_t m_reportLength = 0;
    bool m_usesReportIds = true;
    uint32_t m_readTimeoutMs = 0;
    uint32_t m_writeTimeoutMs = 1000;
    std::vector<uint8_t> m_readScratch;
};

}  // namespace transport
