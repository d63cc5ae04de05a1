#include "devices/recording_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/link_adapter.h"

namespace devices {

RecordingPort::RecordingPort(std::unique_ptr<transport::HidPort> inner,
                             transport::DeviceChangeSource* changes, std::FILE* file,
                             transport::Clock& clock)
    : m_inner(std::move(inner)),
      m_changes(changes),
      m_file(file),
      m_clock(clock),
      m_startMs(clock.nowMs()) {}

RecordingPort::~RecordingPort() {
    // The inner port closes its device itself; the file ends with what happened.
    std::fclose(m_file);
}

void RecordingPort::write(RecordedEvent event) {
    event.atMs = m_clock.nowMs() - m_startMs;
    const std::string line = formatEvent(event) + "\n";
    // Out at once: a crash right after keeps the line.
    if (std::fputs(line.c_str(), m_file) < 0 || std::fflush(m_file) != 0)
        m_writeFailed = true;
}

uint32_t RecordingPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    const uint32_t count = m_inner->deviceCount(vendorId, productId);
    // Asked at every look for the adapter: only a change is worth a line.
    if (vendorId == transport::kAdapterVendorId && productId == transport::kAdapterProductId &&
        (!m_countKnown || count != m_lastCount)) {
        m_countKnown = true;
        m_lastCount = count;
        RecordedEvent event;
        event.kind = RecordedKind::Present;
        event.first = count;
        write(std::move(event));
    }
    return count;
}

int RecordingPort::open(uint32_t index, uint16_t vendorId, uint16_t productId,
                        uint32_t inputBuffers) {
    const int status = m_inner->open(index, vendorId, productId, inputBuffers);
    RecordedEvent event;
    if (m_inner->isOpen()) {
        event.kind = RecordedKind::Open;
        event.first = m_inner->reportLength();
        event.second = m_inner->maxReportRequest();
    } else {
        event.kind = RecordedKind::OpenFail;
        event.status = status;
        if (const std::optional<transport::DeviceHolder> holder = m_inner->holder()) {
            event.first = static_cast<uint32_t>(holder->pid);
            event.text = holder->program;
        }
    }
    write(std::move(event));
    return status;
}

int RecordingPort::sendControlReport(const uint8_t* report, uint32_t length) {
    return writeSent(RecordedKind::Control, report, length,
                     m_inner->sendControlReport(report, length));
}

int RecordingPort::sendInterruptReport(const uint8_t* report, uint32_t length) {
    return writeSent(RecordedKind::Output, report, length,
                     m_inner->sendInterruptReport(report, length));
}

int RecordingPort::writeSent(RecordedKind kind, const uint8_t* report, uint32_t length,
                             int status) {
    RecordedEvent event;
    event.kind = kind;
    event.bytes = trimmedReport(report, length);
    event.status = status;
    write(std::move(event));
    return status;
}

int RecordingPort::readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                    uint32_t& bytesReturned) {
    const int status = m_inner->readInputReports(buffer, bufferSize, reportCount, bytesReturned);
    if (status != transport::kHidSuccess && status != transport::kHidReadTimedOut) {
        RecordedEvent event;
        event.kind = RecordedKind::ReadFail;
        event.status = status;
        write(std::move(event));
        return status;
    }
    const uint32_t length = m_inner->reportLength();
    if (length == 0)
        return status;
    const uint32_t reports = std::min(bytesReturned, bufferSize) / length;
    for (uint32_t r = 0; r < reports; ++r) {
        RecordedEvent event;
        event.kind = RecordedKind::Input;
        event.bytes = trimmedReport(buffer + r * length, length);
        write(std::move(event));
    }
    return status;
}

void RecordingPort::close() {
    if (m_inner->isOpen()) {
        RecordedEvent event;
        event.kind = RecordedKind::Close;
        write(std::move(event));
    }
    m_inner->close();
}

std::vector<transport::DeviceEvent> RecordingPort::takeChanges() {
    if (m_changes == nullptr)
        return {};
    std::vector<transport::DeviceEvent> changes = m_changes->takeChanges();
    for (const transport::DeviceEvent& change : changes) {
        RecordedEvent event;
        if (change.kind == transport::DeviceEventKind::Arrival) {
            event.kind = RecordedKind::Arrived;
        } else {
            // Another device's removal leaves the open adapter alone: not worth a line.
            std::string openPath;
            if (m_inner->isOpen() && m_inner->openDevicePath(openPath) == transport::kHidSuccess &&
                !transport::pathsEqual(openPath, change.path))
                continue;
            event.kind = RecordedKind::Removed;
        }
        write(std::move(event));
    }
    return changes;
}

bool startRecording(Device& device, const std::string& path, transport::Clock& clock,
                    const std::string& note, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot create the recording " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string head(kRecordingHeader);
    head += "\n";
    if (!note.empty())
        head += "# " + note + "\n";
    if (std::fputs(head.c_str(), file) < 0 || std::fflush(file) != 0) {
        error = "cannot write the recording " + path + ": " + std::strerror(errno);
        std::fclose(file);
        return false;
    }
    auto port =
        std::make_unique<RecordingPort>(std::move(device.port), device.changes, file, clock);
    if (device.changes != nullptr)
        device.changes = port.get();
    device.port = std::move(port);
    return true;
}

}  // namespace devices
