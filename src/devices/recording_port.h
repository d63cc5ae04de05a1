#pragma once
// A port that writes down everything that goes through the port it wraps: every report
// sent and read with its time, the opens and their results, the closes, the number of
// adapters present when it changes, and the arrivals and removals its change source
// reports. Each event is a line of its own, written out at once, so that a crash keeps
// what happened up to it. The format is in devices/recording_format.h.

#include <cstdio>
#include <memory>
#include <string>

#include "devices/device_uri.h"
#include "devices/recording_format.h"
#include "link/clock.h"
#include "link/device_change_source.h"
#include "link/hid_port.h"

namespace devices {

class RecordingPort final : public transport::HidPort, public transport::DeviceChangeSource {
  public:
    // Writes the events into `file` (taken over and closed at the end; its header is
    // written already) on `clock`, whose time at the construction is time 0. `changes` (may
    // be null) is the inner port's source of arrivals and removals; it must outlive this
    // port (it lives in the inner port, or beside it in the device).
    RecordingPort(std::unique_ptr<transport::HidPort> inner, transport::DeviceChangeSource* changes,
                  std::FILE* file, transport::Clock& clock);
    ~RecordingPort() override;
    RecordingPort(const RecordingPort&) = delete;
    RecordingPort& operator=(const RecordingPort&) = delete;

    transport::HidPort& inner() { return *m_inner; }
    // Whether every line so far reached the file.
    bool writeFailed() const { return m_writeFailed; }

    // transport::HidPort
    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
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
    int sendControlReport(const uint8_t* report, uint32_t length) override;
    int sendInterruptReport(const uint8_t* report, uint32_t length) override;
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override;
    int openDevicePath(std::string& path) const override { return m_inner->openDevicePath(path); }
    void close() override;
    std::optional<transport::DeviceHolder> holder() const override { return m_inner->holder(); }

    // transport::DeviceChangeSource: the inner source's, written down as they pass.
    int watchFd() const override { return m_changes ? m_changes->watchFd() : -1; }
    std::vector<transport::DeviceEvent> takeChanges() override;

  private:
    void write(RecordedEvent event);
    // Records a report sent on the control or the interrupt channel; gives back `status`.
    int writeSent(RecordedKind kind, const uint8_t* report, uint32_t length, int status);

    std::unique_ptr<transport::HidPort> m_inner;
    transport::DeviceChangeSource* m_changes;
    std::FILE* m_file;
    transport::Clock& m_clock;
    uint32_t m_startMs;
    bool m_countKnown = false;
    uint32_t m_lastCount = 0;
    bool m_writeFailed = false;
};

// Wraps the device's port in a recording port writing into `path` (created or emptied),
// which from then on is also the device's change source. False with the reason in `error`
// when the file cannot be created: nothing has been sent then. `note` becomes a "#" line
// under the header (the program and its version, say).
bool startRecording(Device& device, const std::string& path, transport::Clock& clock,
                    const std::string& note, std::string& error);

}  // namespace devices
