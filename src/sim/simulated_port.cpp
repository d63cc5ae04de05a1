#include "sim/simulated_port.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint32_t kMinChunkedReportLength = 3;  // id byte, count byte, one payload byte

bool isDue(uint32_t readyAtMs, uint32_t nowMs) {
    // Wrap-safe: the tick counter is 32 bits.
    return static_cast<int32_t>(nowMs - readyAtMs) >= 0;
}

}  // namespace

SimulatedPort::SimulatedPort(transport::Clock* clock) : m_clock(clock) {}

SimulatedPort::~SimulatedPort() = default;

transport::DeviceEvent SimulatedPort::plugIn(const std::string& path,
                                             std::shared_ptr<AdapterPeer> peer,
                                             const AdapterOptions& options) {
    m_devices.push_back(Device{path, std::move(peer), options, m_nextSerial++});
    return transport::DeviceEvent{transport::DeviceEventKind::Arrival, path};
}

transport::DeviceEvent SimulatedPort::unplug(const std::string& path) {
    std::erase_if(m_devices, [&](const Device& d) { return d.path == path; });
    if (m_open && m_openPath == path)
        m_input.clear();
    return transport::DeviceEvent{transport::DeviceEventKind::Removal, path};
}

bool SimulatedPort::isPresent(const std::string& path) const {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [&](const Device& d) { return d.path == path; });
}

const AdapterOptions* SimulatedPort::options(const std::string& path) const {
    for (const Device& d : m_devices) {
        if (d.path == path)
            return &d.options;
    }
    return nullptr;
}

bool SimulatedPort::setOptions(const std::string& path, const AdapterOptions& options) {
    bool found = false;
    for (Device& d : m_devices) {
        if (d.path == path) {
            d.options = options;
            found = true;
        }
    }
    if (found && openDevice() && m_openPath == path)
        m_openOptions = options;
    return found;
}

bool SimulatedPort::queueInput(const std::string& path, const std::vector<uint8_t>& bytes,
                               uint32_t delayMs) {
    if (!m_open || m_openPath != path || !openDevice())
        return false;
    enqueue(bytes, delayMs);
    return true;
}

bool SimulatedPort::queueRawReport(const std::string& path, const std::vector<uint8_t>& report) {
    if (!m_open || m_openPath != path || !openDevice())
        return false;
    if (m_input.size() >= m_inputBuffers)
        return false;
    QueuedReport queued{report, nowMs() + m_openOptions.latencyMs};
    queued.bytes.resize(m_openOptions.reportLength, 0);
    m_input.push_back(std::move(queued));
    return true;
}

uint32_t SimulatedPort::controlReportCount() const {
    return static_cast<uint32_t>(std::count_if(m_sent.begin(), m_sent.end(), [](const auto& r) {
        return r.channel == ReportChannel::Control;
    }));
}

uint32_t SimulatedPort::interruptReportCount() const {
    return static_cast<uint32_t>(m_sent.size()) - controlReportCount();
}

std::vector<std::vector<uint8_t>> SimulatedPort::sentPayloads() const {
    std::vector<std::vector<uint8_t>> payloads;
    for (const SentReport& r : m_sent) {
        if (r.channel != ReportChannel::Interrupt || r.bytes.size() < 2)
            continue;
        const size_t n = std::min<size_t>(r.bytes[1], r.bytes.size() - 2);
        payloads.emplace_back(r.bytes.begin() + 2,
                              r.bytes.begin() + 2 + static_cast<std::ptrdiff_t>(n));
    }
    return payloads;
}

size_t SimulatedPort::pendingInputReports() const {
    return m_input.size();
}

std::shared_ptr<AdapterPeer> SimulatedPort::peer(const std::string& path) const {
    for (const Device& d : m_devices) {
        if (d.path == path)
            return d.peer;
    }
    return nullptr;
}

std::vector<const SimulatedPort::Device*> SimulatedPort::matching(uint16_t vendorId,
                                                                  uint16_t productId) const {
    std::vector<const Device*> result;
    for (const Device& d : m_devices) {
        if (d.options.vendorId == vendorId && d.options.productId == productId) {
            result.push_back(&d);
        }
    }
    return result;
}

const SimulatedPort::Device* SimulatedPort::openDevice() const {
    if (!m_open)
        return nullptr;
    for (const Device& d : m_devices) {
        if (d.serial == m_openSerial)
            return &d;
    }
    return nullptr;
}

uint32_t SimulatedPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    return static_cast<uint32_t>(matching(vendorId, productId).size());
}

int SimulatedPort::devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                              std::string& path) {
    const auto devices = matching(vendorId, productId);
    if (index >= devices.size())
        return transport::kHidDeviceNotFound;
    if (!devices[index]->options.pathReadable)
        return transport::kHidInvalidParameter;
    path = devices[index]->path;
    return transport::kHidSuccess;
}

int SimulatedPort::open(uint32_t index, uint16_t vendorId, uint16_t productId,
                        uint32_t inputBuffers) {
    if (m_open)
        close();
    const auto devices = matching(vendorId, productId);
    if (index >= devices.size())
        return transport::kHidDeviceNotFound;
    const Device& device = *devices[index];
    if (device.options.openError != 0)
        return transport::kHidDeviceNotOpened;
    m_open = true;
    m_openPath = device.path;
    m_openSerial = device.serial;
    m_openOptions = device.options;
    m_inputBuffers = inputBuffers;
    m_input.clear();
    ++m_openCount;
    if (device.peer)
        device.peer->onOpened();
    return transport::kHidSuccess;
}

uint32_t SimulatedPort::reportLength() const {
    return m_open ? m_openOptions.reportLength : 0;
}

uint32_t SimulatedPort::maxReportRequest() const {
    return m_open ? m_openOptions.maxReportRequest : 0;
}

void SimulatedPort::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
}

int SimulatedPort::sendControlReport(const uint8_t* report, uint32_t length) {
    const Device* device = openDevice();
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    if (!device || !report || length != m_openOptions.reportLength)
        return transport::kHidWriteFailed;
    m_sent.push_back({ReportChannel::Control, m_openPath, {report, report + length}, nowMs()});
    if (m_openOptions.refuseConnect)
        return transport::kHidWriteFailed;
    // Only a connect report wakes the adapter's firmware; other control reports are ignored.
    static constexpr uint8_t kConnect[] = {transport::kConnectReportId, 'C', 'O', 'N', 'N'};
    if (length >= sizeof kConnect && std::equal(std::begin(kConnect), std::end(kConnect), report) &&
        device->peer) {
        deliver(device->peer->onConnect());
    }
    return transport::kHidSuccess;
}

int SimulatedPort::sendInterruptReport(const uint8_t* report, uint32_t length) {
    const Device* device = openDevice();
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    if (!device || !report || length != m_openOptions.reportLength || length < 2) {
        return transport::kHidWriteFailed;
    }
    if (m_interruptWritesLeft == 0)
        return transport::kHidWriteFailed;
    if (m_interruptWritesLeft > 0)
        --m_interruptWritesLeft;
    m_sent.push_back({ReportChannel::Interrupt, m_openPath, {report, report + length}, nowMs()});
    if (device->peer) {
        const uint32_t n = std::min<uint32_t>(report[1], length - 2);
        deliver(device->peer->onData(std::vector<uint8_t>(report + 2, report + 2 + n)));
    }
    return transport::kHidSuccess;
}

int SimulatedPort::readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                    uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    if (!openDevice() || m_readFails)
        return transport::kHidReadFailed;
    const uint32_t length = m_openOptions.reportLength;
    if (!buffer || reportCount == 0 || reportCount > m_openOptions.maxReportRequest ||
        static_cast<uint64_t>(reportCount) * length > bufferSize) {
        return transport::kHidInvalidParameter;
    }
    uint32_t delivered = 0;
    const uint32_t now = nowMs();
    while (delivered < reportCount && !m_input.empty() && isDue(m_input.front().readyAtMs, now)) {
        // Exactly L bytes a report, as a device would hand them out: a report queued
        // before the length changed is cut or padded, never copied past its slot.
        const std::vector<uint8_t>& report = m_input.front().bytes;
        uint8_t* slot = buffer + delivered * length;
        const std::size_t kept = std::min<std::size_t>(report.size(), length);
        std::copy(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(kept), slot);
        std::fill(slot + kept, slot + length, 0);
        m_input.pop_front();
        ++delivered;
    }
    bytesReturned = delivered * length;
    return delivered == reportCount ? transport::kHidSuccess : transport::kHidReadTimedOut;
}

int SimulatedPort::openDevicePath(std::string& path) const {
    if (!m_open)
        return transport::kHidDeviceNotOpened;
    path = m_openPath;
    return transport::kHidSuccess;
}

void SimulatedPort::close() {
    if (!m_open)
        return;
    m_open = false;
    m_openPath.clear();
    m_input.clear();
    ++m_closeCount;
}

void SimulatedPort::deliver(const std::vector<PeerReply>& replies) {
    for (const PeerReply& reply : replies) enqueue(reply.bytes, reply.delayMs);
}

void SimulatedPort::enqueue(const std::vector<uint8_t>& bytes, uint32_t delayMs) {
    const uint32_t length = m_openOptions.reportLength;
    if (length < kMinChunkedReportLength)
        return;  // such an adapter cannot deliver anything
    const uint32_t chunk = std::min(transport::kMaxReportPayload, length - 2);
    uint32_t readyAt = nowMs() + m_openOptions.latencyMs + delayMs;
    // Answers leave the adapter in the order their commands came: a shorter jitter does
    // not let an answer pass the one before it.
    if (!m_input.empty() && static_cast<int32_t>(readyAt - m_lastReadyAtMs) < 0)
        readyAt = m_lastReadyAtMs;
    m_lastReadyAtMs = readyAt;
    for (size_t position = 0; position < bytes.size(); position += chunk) {
        // A full queue drops new reports, as the HID driver does.
        if (m_input.size() >= m_inputBuffers)
            return;
        const size_t n = std::min<size_t>(chunk, bytes.size() - position);
        QueuedReport report{std::vector<uint8_t>(length, 0), readyAt};
        report.bytes[0] = m_openOptions.inputReportId;
        report.bytes[1] = static_cast<uint8_t>(n);
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(position);
        std::copy(first, first + static_cast<std::ptrdiff_t>(n), report.bytes.begin() + 2);
        m_input.push_back(std::move(report));
    }
}

}  // namespace sim
