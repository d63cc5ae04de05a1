#include "devices/replay_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace devices {

namespace {

// The program's step as a line of the recording would show it (without the time).
std::string stepText(RecordedKind kind, const std::vector<uint8_t>& sent) {
    switch (kind) {
        case RecordedKind::Open:
        case RecordedKind::OpenFail:
            return "open";
        case RecordedKind::Close:
            return "close";
        case RecordedKind::Control:
            return "C " + hexReport(sent);
        case RecordedKind::Output:
            return "O " + hexReport(sent);
        default:
            return "?";
    }
}

std::string recordedText(const RecordedEvent& event) {
    const std::string line = formatEvent(event);
    return line.substr(line.find(' ') + 1);  // without the time
}

// "replay differs …" with the recorded and the sent step under each other, and for two
// reports a mark under the first byte that differs.
std::string differenceText(const RecordedEvent& recorded, RecordedKind kind,
                           const std::vector<uint8_t>& sent) {
    const std::string where = "the replay differs from the recording at line " +
                              std::to_string(recorded.line) + " (" + std::to_string(recorded.atMs) +
                              " ms): ";
    const std::string recordedLine = "  recorded: " + recordedText(recorded);
    const std::string sentLine = "  sent:     " + stepText(kind, sent);
    const bool bothReports =
        recorded.kind == kind && (kind == RecordedKind::Control || kind == RecordedKind::Output);
    if (!bothReports) {
        std::string what = kind == RecordedKind::Open    ? "the program opened the device"
                           : kind == RecordedKind::Close ? "the program closed the device"
                                                         : "the program sent another report";
        return where + what + "\n" + recordedLine + "\n" + sentLine;
    }
    const auto firstDifference =
        std::mismatch(recorded.bytes.begin(), recorded.bytes.end(), sent.begin(), sent.end());
    const auto index = static_cast<size_t>(firstDifference.first - recorded.bytes.begin());
    const size_t column = std::string("  recorded: O ").size() + 2 * index;
    return where + "byte " + std::to_string(index) +
           " of the report differs (the report id is byte 0)\n" + recordedLine + "\n" + sentLine +
           "\n" + std::string(column, ' ') + "^^";
}

}  // namespace

ReplayPort::ReplayPort(std::vector<RecordedEvent> events, std::string path, transport::Clock& clock)
    : m_events(std::move(events)), m_path(std::move(path)), m_clock(clock) {
    // The recording started before the program looked for the adapter, at a moment the
    // replay cannot know: what held then holds at once.
    while (m_next < m_events.size() && !isProgramEvent(m_events[m_next].kind)) {
        m_stepAtMs = m_events[m_next].atMs;
        apply(m_events[m_next++]);
    }
    m_stepReplayedAtMs = m_clock.nowMs();
}

void ReplayPort::apply(const RecordedEvent& event) {
    switch (event.kind) {
        case RecordedKind::Input:
            if (m_open)
                m_input.push_back(event.bytes);
            break;
        case RecordedKind::ReadFail:
            m_readFailure = event.status;
            break;
        case RecordedKind::Present:
            m_present = event.first;
            break;
        case RecordedKind::Removed:
            m_input.clear();
            m_changes.push_back({transport::DeviceEventKind::Removal, m_path});
            break;
        case RecordedKind::Arrived:
            m_changes.push_back({transport::DeviceEventKind::Arrival, m_path});
            break;
        default:
            break;  // the program's steps are matched, not played
    }
}

void ReplayPort::play() {
    if (m_ended)
        return;
    const uint32_t since = m_clock.nowMs() - m_stepReplayedAtMs;
    while (m_next < m_events.size() && !isProgramEvent(m_events[m_next].kind)) {
        const uint32_t delay = m_events[m_next].atMs - m_stepAtMs;
        if (since + kReplayEarlinessMs < delay)
            break;
        apply(m_events[m_next++]);
    }
}

void ReplayPort::end(std::string difference) {
    m_ended = true;
    m_difference = std::move(difference);
    m_present = 0;
    m_input.clear();
    if (m_open)
        m_changes.push_back({transport::DeviceEventKind::Removal, m_path});
    if (m_onEnd)
        m_onEnd(m_difference);
}

const RecordedEvent* ReplayPort::step(RecordedKind kind, const std::vector<uint8_t>& sent) {
    if (m_ended)
        return nullptr;
    play();
    // What the device did before this step, even if the program came sooner than the
    // recording: the order is what must hold.
    while (m_next < m_events.size() && !isProgramEvent(m_events[m_next].kind))
        apply(m_events[m_next++]);
    if (m_next == m_events.size()) {
        end({});
        return nullptr;
    }
    const RecordedEvent& recorded = m_events[m_next];
    const bool opens = kind == RecordedKind::Open;
    const bool same =
        opens ? (recorded.kind == RecordedKind::Open || recorded.kind == RecordedKind::OpenFail)
              : recorded.kind == kind && recorded.bytes == sent;
    if (!same) {
        end(differenceText(recorded, kind, sent));
        return nullptr;
    }
    ++m_next;
    // A step a little later than the recording has it (a tick held up on a busy computer)
    // counts from when it was due: the ticks after it keep to their schedule, and the
    // answers they read must not come a tick later for it.
    const uint32_t now = m_clock.nowMs();
    const uint32_t due = m_stepReplayedAtMs + (recorded.atMs - m_stepAtMs);
    const uint32_t lateMs = now - due;
    m_stepReplayedAtMs =
        static_cast<int32_t>(lateMs) > 0 && lateMs <= kReplayLatenessMs ? due : now;
    m_stepAtMs = recorded.atMs;
    switch (recorded.kind) {
        case RecordedKind::Open:
            m_open = true;
            m_reportLength = recorded.first;
            m_maxReportRequest = recorded.second;
            m_holder.reset();
            break;
        case RecordedKind::OpenFail:
            m_open = false;
            m_holder.reset();
            if (recorded.first != 0 || !recorded.text.empty())
                m_holder = transport::DeviceHolder{recorded.first, recorded.text};
            break;
        case RecordedKind::Close:
            m_open = false;
            break;
        default:
            break;
    }
    if (recorded.kind != RecordedKind::Control && recorded.kind != RecordedKind::Output) {
        m_input.clear();
        m_readFailure.reset();
    }
    play();
    return &recorded;
}

uint32_t ReplayPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    play();
    if (m_ended || vendorId != transport::kAdapterVendorId ||
        productId != transport::kAdapterProductId)
        return 0;
    return m_present;
}

int ReplayPort::devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                           std::string& path) {
    if (index >= deviceCount(vendorId, productId))
        return transport::kHidDeviceNotFound;
    path = m_path;
    return transport::kHidSuccess;
}

int ReplayPort::open(uint32_t, uint16_t, uint16_t, uint32_t) {
    if (m_open)
        close();
    const RecordedEvent* recorded = step(RecordedKind::Open, {});
    if (recorded == nullptr)
        return transport::kHidDeviceNotFound;
    return recorded->kind == RecordedKind::Open ? transport::kHidSuccess : recorded->status;
}

int ReplayPort::send(RecordedKind kind, const uint8_t* report, uint32_t length) {
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    if (report == nullptr || length == 0)
        return transport::kHidInvalidParameter;
    const RecordedEvent* recorded = step(kind, trimmedReport(report, length));
    if (recorded == nullptr)
        return transport::kHidWriteFailed;
    return recorded->status;
}

int ReplayPort::sendControlReport(const uint8_t* report, uint32_t length) {
    return send(RecordedKind::Control, report, length);
}

int ReplayPort::sendInterruptReport(const uint8_t* report, uint32_t length) {
    return send(RecordedKind::Output, report, length);
}

int ReplayPort::readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                 uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    if (m_ended)
        return transport::kHidReadFailed;
    play();
    if (m_readFailure) {
        const int status = *m_readFailure;
        m_readFailure.reset();
        return status;
    }
    const uint32_t length = m_reportLength;
    uint32_t count = 0;
    while (count < reportCount && (count + 1) * length <= bufferSize && !m_input.empty()) {
        const std::vector<uint8_t>& report = m_input.front();
        uint8_t* out = buffer + count * length;
        const size_t kept = std::min<size_t>(report.size(), length);
        std::copy_n(report.begin(), kept, out);
        std::fill(out + kept, out + length, uint8_t{0});
        m_input.pop_front();
        ++count;
    }
    bytesReturned = count * length;
    return count == reportCount ? transport::kHidSuccess : transport::kHidReadTimedOut;
}

int ReplayPort::openDevicePath(std::string& path) const {
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    path = m_path;
    return transport::kHidSuccess;
}

void ReplayPort::close() {
    if (!m_open)
        return;
    // Closing after the recording's last step of the program is no departure from it.
    bool stepsLeft = false;
    for (size_t i = m_next; i < m_events.size() && !stepsLeft; ++i)
        stepsLeft = isProgramEvent(m_events[i].kind);
    if (!m_ended && stepsLeft)
        step(RecordedKind::Close, {});
    m_open = false;
}

std::vector<transport::DeviceEvent> ReplayPort::takeChanges() {
    play();
    return std::exchange(m_changes, {});
}

bool loadReplay(const std::string& file, transport::Clock& clock, std::unique_ptr<ReplayPort>& port,
                std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read the recording " + file + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<RecordedEvent> events;
    std::string reason;
    if (!parseRecording(text.str(), events, reason)) {
        error = file + ": " + reason;
        return false;
    }
    port = std::make_unique<ReplayPort>(std::move(events), "replay:" + file, clock);
    return true;
}

}  // namespace devices
