#include "link/link_adapter.h"

#include <algorithm>
#include <vector>

namespace transport {

namespace {

// The connect report's letters after the id byte.
constexpr uint8_t kConnectLetters[] = {'C', 'O', 'N', 'N'};

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

// Device paths are ASCII in practice; only ASCII letters fold, whatever the locale says.
bool pathsEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

LinkAdapter::LinkAdapter(HidPort& port, ProtocolHost& host, Clock& clock)
    : m_port(port), m_host(host), m_clock(clock) {}

LinkAdapter::~LinkAdapter() {
    // The host may already be gone when the owner tears down; only the handle is ours.
    if (m_port.isOpen())
        m_port.close();
}

std::string LinkAdapter::findAdapterPath() {
    std::string result;
    // The count is asked again for every index: a device may come or go meanwhile.
    for (uint32_t index = 0; index < m_port.deviceCount(kAdapterVendorId, kAdapterProductId);
         ++index) {
        std::string path;
        if (m_port.devicePath(index, kAdapterVendorId, kAdapterProductId, path) == kHidSuccess) {
            result = path;
        }
    }
    return result;
}

bool LinkAdapter::findAdapterIndex(const std::string& path, uint32_t& index) {
    if (path.empty())
        return false;
    for (uint32_t i = 0; i < m_port.deviceCount(kAdapterVendorId, kAdapterProductId); ++i) {
        std::string candidate;
        if (m_port.devicePath(i, kAdapterVendorId, kAdapterProductId, candidate) != kHidSuccess) {
            continue;
        }
        if (pathsEqual(candidate, path)) {
            index = i;
            return true;
        }
    }
    return false;
}

void LinkAdapter::openAdapter() {
    uint32_t index = 0;
    if (!findAdapterIndex(m_devicePath, index))
        return;  // timer 1 keeps trying

    // A handle left from an earlier attempt (or the adapter the link is moving away from)
    // is closed before the new open, so retries never pile up handles.
    if (m_port.isOpen())
        m_port.close();

    m_port.open(index, kAdapterVendorId, kAdapterProductId, kInputBufferCount);
    if (!m_port.isOpen())
        return;

    const uint32_t length = m_port.reportLength();
    if (length < kMinConnectReportLength) {
        m_port.close();
        return;
    }
    std::vector<uint8_t> report(length, 0);
    report[0] = kConnectReportId;
    std::copy(std::begin(kConnectLetters), std::end(kConnectLetters), report.begin() + 1);
    if (m_port.sendControlReport(report.data(), length) != kHidSuccess) {
        m_port.close();
        return;
    }
    m_port.setTimeouts(kReadTimeoutMs, kWriteTimeoutMs);

    m_host.stopTimer(kOpenTimer);
    if (m_listener) {
        m_listener->onAdapterOpened();
    } else {
        m_host.startTimer(kProtocolTimer, kProtocolPeriodMs);
    }
}

bool LinkAdapter::writeFrame(std::span<const uint8_t> frame) {
    const auto length = static_cast<uint32_t>(frame.size());
    if (!m_port.isOpen())
        return false;
    const uint32_t reportLength = m_port.reportLength();
    if (reportLength < kMinDataReportLength)
        return false;

    std::vector<uint8_t> report(reportLength, 0);
    uint32_t position = 0;
    while (position < length) {
        const uint32_t n = std::min(length - position, kMaxReportPayload);
        std::fill(report.begin(), report.end(), 0);
        report[0] = kDataReportId;
        report[1] = static_cast<uint8_t>(n);
        std::copy_n(frame.begin() + position, n, report.begin() + 2);
        if (m_port.sendInterruptReport(report.data(), reportLength) != kHidSuccess)
            break;
        position += n;
    }
    return position == length;
}

bool LinkAdapter::readFrames(std::span<uint8_t> dest, uint32_t requestLength, uint32_t& received) {
    received = 0;
    const auto capacity = static_cast<uint32_t>(dest.size());
    const uint32_t reportLength = m_port.reportLength();
    if (reportLength < kMinDataReportLength || requestLength < kMaxReportPayload)
        return false;

    const uint32_t reportCount = requestLength / kMaxReportPayload;
    const uint32_t bufferSize = reportCount * reportLength;
    std::vector<uint8_t> buffer(bufferSize, 0);
    uint32_t bytesReturned = 0;
    const int status =
        m_port.readInputReports(buffer.data(), bufferSize, reportCount, bytesReturned);
    if (status != kHidSuccess && status != kHidReadTimedOut)
        return false;

    // Only whole reports inside our buffer count, whatever the port claims.
    const uint32_t reports = std::min(bytesReturned, bufferSize) / reportLength;
    for (uint32_t r = 0; r < reports; ++r) {
        const uint8_t* report = buffer.data() + r * reportLength;
        const uint32_t n = std::min<uint32_t>(report[1], reportLength - 2);
        const uint32_t kept = std::min(n, capacity - received);
        if (kept > 0)
            std::copy(report + 2, report + 2 + kept, dest.begin() + received);
        received += kept;
    }
    return true;
}

void LinkAdapter::drainInput() {
    if (!m_port.isOpen())
        return;
    const uint32_t requestLength = fullRequestLength();
    std::vector<uint8_t> scratch(requestLength);
    uint32_t received = 0;
    readFrames(scratch, requestLength, received);
}

void LinkAdapter::startLink() {
    m_devicePath = findAdapterPath();
    m_deviceNotify = true;
    // Started whether or not an adapter is present: an empty path makes the ticks idle.
    m_host.startTimer(kOpenTimer, kStartupOpenPeriodMs);
}

bool LinkAdapter::onDeviceChange(const DeviceEvent& event) {
    if (event.kind == DeviceEventKind::Removal) {
        std::string openPath;
        if (!m_port.isOpen() || m_port.openDevicePath(openPath) != kHidSuccess)
            return true;
        if (!pathsEqual(openPath, event.path))
            return true;
        m_port.close();
        m_devicePath.clear();
        m_host.stopTimer(kProtocolTimer);
        if (m_listener)
            m_listener->onAdapterRemoved();
        m_host.repaintLamps();
        return true;
    }

    m_devicePath = findAdapterPath();
    if (m_devicePath.empty())
        return true;
    // Some other device came (a mouse during a firmware update): the open adapter is still
    // the one enumerated last, so re-opening would only abandon the exchange under way.
    std::string openPath;
    if (m_port.isOpen() && m_port.openDevicePath(openPath) == kHidSuccess &&
        pathsEqual(openPath, m_devicePath)) {
        return true;
    }
    m_host.startTimer(kOpenTimer, kArrivalOpenPeriodMs);
    return true;
}

void LinkAdapter::closeLink() {
    if (m_port.isOpen()) {
        m_host.stopTimer(kProtocolTimer);
        m_port.close();
    }
    m_deviceNotify = false;
}

uint32_t LinkAdapter::fullRequestLength() const {
    return m_port.maxReportRequest() * kMaxReportPayload;
}

}  // namespace transport
