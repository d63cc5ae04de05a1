#pragma once
// A device that answers as a recording says the adapter did. What the program does (open,
// close, the reports it sends) must come in the recorded order and with the recorded
// bytes; the first difference ends the replay with both reports shown, and the device
// goes away. What the device did is played back on its own: each input report becomes
// readable at its recorded delay after the program's step it followed, and the number of
// adapters present, the read failures, arrivals and removals likewise. When the program
// goes on past the end of the recording the device goes away too.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/recording_format.h"
#include "link/clock.h"
#include "link/device_change_source.h"
#include "link/hid_port.h"

namespace devices {

// An input report may be read this much before its recorded delay has passed, so that a
// replay on the real clock, whose ticks come a little early or late, reads it at the tick
// the recording read it at. Less than any pause between two reads of the protocol.
inline constexpr uint32_t kReplayEarlinessMs = 10;
// A step of the program up to this much later than the recording has it is timed from when
// it was due, so that the answers after it keep to the ticks that read them. Less than
// the protocol's tick period.
inline constexpr uint32_t kReplayLatenessMs = 20;

class ReplayPort final : public transport::HidPort, public transport::DeviceChangeSource {
  public:
    // `path` is the device's path as the program sees it ("replay:FILE"). The events before
    // the program's first step (the adapters present at the start) hold at once.
    ReplayPort(std::vector<RecordedEvent> events, std::string path, transport::Clock& clock);

    // How the replay ended: the difference (empty: the recording ran out).
    using EndHandler = std::function<void(const std::string& difference)>;
    // Called once, from inside the port call that ended the replay.
    void setEndHandler(EndHandler handler) { m_onEnd = std::move(handler); }
    bool ended() const { return m_ended; }
    // The first difference between the program and the recording; empty when none.
    const std::string& difference() const { return m_difference; }

    // transport::HidPort
    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override;
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_open; }
    uint32_t reportLength() const override { return m_open ? m_reportLength : 0; }
    uint32_t maxReportRequest() const override { return m_maxReportRequest; }
    void setTimeouts(uint32_t, uint32_t) override {}
    int sendControlReport(const uint8_t* report, uint32_t length) override;
    int sendInterruptReport(const uint8_t* report, uint32_t length) override;
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override;
    int openDevicePath(std::string& path) const override;
    void close() override;
    std::optional<transport::DeviceHolder> holder() const override { return m_holder; }

    // transport::DeviceChangeSource: the recorded arrivals and removals, and the removal
    // at the replay's end. Nothing to watch: it is asked.
    int watchFd() const override { return -1; }
    std::vector<transport::DeviceEvent> takeChanges() override;

  private:
    // The program's step `kind` (with the report it sent): the recorded event it matches,
    // or null when the replay has ended (now or before).
    const RecordedEvent* step(RecordedKind kind, const std::vector<uint8_t>& sent);
    // Plays the device's events that are due.
    void play();
    void apply(const RecordedEvent& event);
    void end(std::string difference);
    int send(RecordedKind kind, const uint8_t* report, uint32_t length);

    std::vector<RecordedEvent> m_events;
    std::string m_path;
    transport::Clock& m_clock;
    size_t m_next = 0;
    // The last step matched: its recorded time and the time the program made it.
    uint32_t m_stepAtMs = 0;
    uint32_t m_stepReplayedAtMs = 0;
    bool m_open = false;
    uint32_t m_reportLength = 0;
    uint32_t m_maxReportRequest = 0;
    uint32_t m_present = 0;
    std::deque<std::vector<uint8_t>> m_input;
    std::optional<int> m_readFailure;
    std::optional<transport::DeviceHolder> m_holder;
    std::vector<transport::DeviceEvent> m_changes;
    bool m_ended = false;
    std::string m_difference;
    EndHandler m_onEnd;
};

// Reads the recording at `file` into a replay port; false with the reason ("FILE: line N:
// …") in `error`.
bool loadReplay(const std::string& file, transport::Clock& clock, std::unique_ptr<ReplayPort>& port,
                std::string& error);

}  // namespace devices
