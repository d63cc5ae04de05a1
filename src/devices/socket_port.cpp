#include "devices/socket_port.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace transport {

namespace {

uint32_t readBe16(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A connection whose server has gone shows as readable with nothing to read.
bool connectionClosed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    uint8_t byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0;
}

}  // namespace

SocketPort::SocketPort(std::string socketPath, Clock* clock)
    : m_socketPath(std::move(socketPath)), m_uri(kSocketUriPrefix + m_socketPath), m_clock(clock) {}

SocketPort::~SocketPort() {
    closeFd(m_fd);
    closeFd(m_probeFd);
}

bool SocketPort::isAdapter(uint16_t vendorId, uint16_t productId) const {
    return vendorId == kAdapterVendorId && productId == kAdapterProductId;
}

int SocketPort::connectToServer(bool& stream) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.empty() || m_socketPath.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, m_socketPath.data(), m_socketPath.size());
    for (const int type : {SOCK_SEQPACKET, SOCK_STREAM}) {
        const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            stream = type == SOCK_STREAM;
            return fd;
        }
        const int error = errno;
        ::close(fd);
        if (error != EPROTOTYPE)
            return -1;  // nobody there; a socket of the other type is tried next
    }
    return -1;
}

bool SocketPort::present() {
    if (m_open && !m_peerClosed)
        return true;
    if (m_probeFd >= 0 && connectionClosed(m_probeFd))
        closeFd(m_probeFd);
    if (m_probeFd < 0)
        m_probeFd = connectToServer(m_probeStream);
    const bool now = m_probeFd >= 0;
    if (!now)
        m_knownPresent = false;
    return now;
}

std::vector<DeviceEvent> SocketPort::takeChanges() {
    std::vector<DeviceEvent> changes;
    if (auto change = nextChange())
        changes.push_back(*change);
    return changes;
}

std::optional<DeviceEvent> SocketPort::nextChange() {
    if (m_open && !m_peerClosed && connectionClosed(m_fd))
        peerClosed();
    if (m_peerClosed && !m_removalReported) {
        m_removalReported = true;
        m_knownPresent = false;
        return DeviceEvent{DeviceEventKind::Removal, m_uri};
    }
    if (m_open && !m_peerClosed)
        return std::nullopt;
    const bool wasPresent = m_knownPresent;
    if (present() && !wasPresent) {
        m_knownPresent = true;
        return DeviceEvent{DeviceEventKind::Arrival, m_uri};
    }
    return std::nullopt;
}

uint32_t SocketPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    if (!isAdapter(vendorId, productId))
        return 0;
    if (!present())
        return 0;
    m_knownPresent = true;
    return 1;
}

int SocketPort::devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                           std::string& path) {
    if (index != 0 || !isAdapter(vendorId, productId) || !present())
        return kHidDeviceNotFound;
    path = m_uri;
    return kHidSuccess;
}

bool SocketPort::readHello(int fd) {
    // The greeting's bytes: a packet of its own, or the first five of a stream (which may
    // come in pieces; what follows them is left queued).
    uint8_t hello[kSocketHelloLength + 1] = {};
    size_t got = 0;
    const uint32_t start = m_clock != nullptr ? m_clock->nowMs() : 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (m_clock == nullptr) {
            if (::poll(&p, 1, static_cast<int>(kSocketHelloTimeoutMs)) <= 0)
                return false;
        } else {
            // Asked every millisecond of the clock's, so that a virtual one moves meanwhile.
            while (::poll(&p, 1, 0) == 0) {
                if (m_clock->nowMs() - start >= kSocketHelloTimeoutMs)
                    return false;
                m_clock->sleepMs(1);
            }
        }
        const size_t room = m_stream ? kSocketHelloLength - got : sizeof hello;
        const ssize_t n = ::recv(fd, hello + got, room, MSG_DONTWAIT);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
        if (!m_stream || got >= kSocketHelloLength)
            break;
    }
    if (got != kSocketHelloLength || hello[0] != kSocketHelloTag)
        return false;
    const uint32_t length = readBe16(hello + 1);
    const uint32_t maxReports = readBe16(hello + 3);
    // Two bytes (id and count) is the least a report can be; a zero count could never read.
    if (length < 2 || length > kSocketMaxReportLength || maxReports == 0)
        return false;
    m_reportLength = length;
    m_maxReports = maxReports;
    return true;
}

int SocketPort::open(uint32_t index, uint16_t vendorId, uint16_t productId,
                     uint32_t /*inputBuffers*/) {
    if (m_open)
        close();
    if (index != 0 || !isAdapter(vendorId, productId))
        return kHidDeviceNotFound;
    int fd = m_probeFd;
    m_stream = m_probeStream;
    m_probeFd = -1;
    if (fd >= 0 && connectionClosed(fd))
        closeFd(fd);
    if (fd < 0)
        fd = connectToServer(m_stream);
    if (fd < 0)
        return kHidDeviceNotFound;
    m_received.clear();
    if (!readHello(fd)) {
        ::close(fd);
        return kHidDeviceNotOpened;
    }
    m_fd = fd;
    m_open = true;
    m_peerClosed = false;
    m_removalReported = false;
    m_knownPresent = true;
    return kHidSuccess;
}

void SocketPort::setTimeouts(uint32_t /*readMs*/, uint32_t writeMs) {
    // Reads never wait: input is taken as it is queued.
    m_writeTimeoutMs = writeMs;
}

void SocketPort::peerClosed() {
    // The handle stays "open" until its owner closes it, as with an unplugged HID device,
    // so the removal can still be matched against the open path.
    m_peerClosed = true;
    closeFd(m_fd);
}

int SocketPort::sendTagged(uint8_t tag, const uint8_t* report, uint32_t length) {
    if (!m_open || m_peerClosed)
        return kHidDeviceNotOpened;
    // Every packet carries exactly L report bytes: shorter reports are zero-padded.
    std::vector<uint8_t> packet(m_reportLength + 1, 0);
    packet[0] = tag;
    std::copy_n(report, std::min(length, m_reportLength), packet.begin() + 1);
    // A stream may take a packet in parts; the rest follows within the write time-out.
    size_t sent = 0;
    while (sent < packet.size()) {
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(m_writeTimeoutMs)) <= 0)
            return kHidWriteFailed;
        if (p.revents & (POLLHUP | POLLERR)) {
            peerClosed();
            return kHidWriteFailed;
        }
        const ssize_t n =
            ::send(m_fd, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)
                peerClosed();
            return kHidWriteFailed;
        }
        if (!m_stream && static_cast<size_t>(n) != packet.size())
            return kHidWriteFailed;
        sent += static_cast<size_t>(n);
    }
    return kHidSuccess;
}

int SocketPort::sendControlReport(const uint8_t* report, uint32_t length) {
    return sendTagged(kSocketControlTag, report, length);
}

int SocketPort::sendInterruptReport(const uint8_t* report, uint32_t length) {
    return sendTagged(kSocketOutputTag, report, length);
}

int SocketPort::readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                 uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!m_open || m_peerClosed)
        return kHidReadFailed;
    const uint32_t wanted = std::min(reportCount, bufferSize / m_reportLength);
    // One byte more than a good packet, so an oversized one shows as such.
    std::vector<uint8_t> packet(m_reportLength + 2);
    uint32_t got = 0;
    while (got < wanted) {
        const ssize_t n = receivePacket(packet);
        if (n < 0) {
            peerClosed();
            break;
        }
        if (n == 0)
            break;
        // Anything but a whole input report is not the adapter's and is skipped.
        if (n != static_cast<ssize_t>(m_reportLength) + 1 || packet[0] != kSocketInputTag)
            continue;
        std::copy_n(packet.begin() + 1, m_reportLength, buffer + got * m_reportLength);
        ++got;
    }
    bytesReturned = got * m_reportLength;
    if (got == 0 && m_peerClosed)
        return kHidReadFailed;
    return got == reportCount ? kHidSuccess : kHidReadTimedOut;
}

ssize_t SocketPort::receivePacket(std::vector<uint8_t>& packet) {
    if (!m_stream) {
        for (;;) {
            const ssize_t n = ::recv(m_fd, packet.data(), packet.size(), MSG_DONTWAIT);
            if (n >= 0)
                return n == 0 ? -1 : n;
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
    }
    const size_t length = m_reportLength + 1;
    while (m_received.size() < length) {
        uint8_t chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0)
            return -1;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
        m_received.insert(m_received.end(), chunk, chunk + n);
    }
    std::copy_n(m_received.begin(), length, packet.begin());
    m_received.erase(m_received.begin(), m_received.begin() + static_cast<std::ptrdiff_t>(length));
    return static_cast<ssize_t>(length);
}

int SocketPort::openDevicePath(std::string& path) const {
    if (!m_open)
        return kHidDeviceNotOpened;
    path = m_uri;
    return kHidSuccess;
}

void SocketPort::close() {
    closeFd(m_fd);
    m_received.clear();
    m_open = false;
    m_peerClosed = false;
    m_reportLength = 0;
    m_maxReports = 0;
}

}  // namespace transport
