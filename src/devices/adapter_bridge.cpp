#include "devices/adapter_bridge.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "devices/socket_port.h"
#include "link/link_adapter.h"

namespace devices {

namespace {

using transport::kAdapterProductId;
using transport::kAdapterVendorId;

// Reads the adapter's input at most this many times per step, each of up to R reports.
constexpr int kReadsPerStep = 8;

bool makeAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Whether a server accepts connections at `address` now; errno says why not.
bool someoneListens(const sockaddr_un& address) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool listens =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return listens;
}

std::string reason(const std::string& path, const char* what, int error) {
    return path + ": " + what + (error != 0 ? std::string(": ") + std::strerror(error) : "");
}

}  // namespace

AdapterBridge::AdapterBridge(transport::HidPort& port, transport::DeviceChangeSource* changes,
                             EventSink events)
    : m_port(port), m_changes(changes), m_events(std::move(events)) {}

AdapterBridge::~AdapterBridge() {
    shutdown();
}

void AdapterBridge::emit(BridgeEventKind kind, const std::string& detail) {
    if (m_events)
        m_events({kind, detail});
}

bool AdapterBridge::listen(const std::string& path, std::string& error, bool stream) {
    sockaddr_un address{};
    if (!makeAddress(path, address)) {
        error = reason(path, "not a usable socket path (empty, or too long)", 0);
        return false;
    }
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = reason(path, "exists and is not a socket; it is left alone", 0);
            return false;
        }
        // A server of the other socket type refuses the connection's type: it listens too.
        if (someoneListens(address) || errno == EPROTOTYPE) {
            error = reason(path, "another server listens there already", 0);
            return false;
        }
        if (errno != ECONNREFUSED) {
            error = reason(path, "cannot tell whether the socket there is in use", errno);
            return false;
        }
        // A socket nobody listens on: left by a server that ended without removing it. It
        // is removed only if it is still that very file.
        struct stat again {};
        if (::lstat(path.c_str(), &again) != 0 || again.st_dev != existing.st_dev ||
            again.st_ino != existing.st_ino || ::unlink(path.c_str()) != 0) {
            error = reason(path, "cannot replace the stale socket there", errno);
            return false;
        }
    } else if (errno != ENOENT) {
        error = reason(path, "cannot be looked at", errno);
        return false;
    }
    const int fd = ::socket(
        AF_UNIX, (stream ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = reason(path, "no socket can be made", errno);
        return false;
    }
    // Made for this user alone from the start: nobody else may connect even for a moment.
    const mode_t before = ::umask(0077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(before);
    struct stat made {};
    if (bound != 0 || ::lstat(path.c_str(), &made) != 0 || ::chmod(path.c_str(), 0600) != 0 ||
        ::listen(fd, 4) != 0) {
        const int cause = bound != 0 ? bindError : errno;
        ::close(fd);
        if (bound == 0)
            ::unlink(path.c_str());
        error = reason(path, "cannot listen there", cause);
        return false;
    }
    m_listen = fd;
    m_stream = stream;
    m_path = path;
    m_socketDevice = made.st_dev;
    m_socketInode = made.st_ino;
    return true;
}

std::vector<int> AdapterBridge::watchFds() const {
    std::vector<int> fds;
    if (m_listen >= 0)
        fds.push_back(m_listen);
    if (m_client >= 0)
        fds.push_back(m_client);
    return fds;
}

void AdapterBridge::step() {
    if (m_client >= 0)
        serveClient();
    noteDeviceChanges();
    if (m_client >= 0)
        pumpInput();
    if (m_client >= 0)
        flushOutput();
    acceptClients();
}

void AdapterBridge::noteDeviceChanges() {
    if (m_changes == nullptr)
        return;
    for (const transport::DeviceEvent& change : m_changes->takeChanges()) {
        if (change.kind == transport::DeviceEventKind::Removal && m_client >= 0 &&
            m_port.isOpen() && transport::pathsEqual(change.path, m_adapterPath)) {
            endClient(BridgeEventKind::AdapterRemoved, m_adapterPath);
            return;
        }
    }
}

void AdapterBridge::serveClient() {
    const size_t length = m_reportLength + 1;
    std::vector<uint8_t> packet(m_stream ? 4096 : length + 1);
    for (;;) {
        const ssize_t n = ::recv(m_client, packet.data(), packet.size(), MSG_DONTWAIT);
        if (n == 0) {
            endClient(BridgeEventKind::ClientGone);
            return;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                endClient(BridgeEventKind::ClientGone);
            return;
        }
        if (!m_stream) {
            // A packet of any other length is not a report and is skipped.
            if (static_cast<size_t>(n) == length)
                passToAdapter(packet.data());
            continue;
        }
        m_fromClient.insert(m_fromClient.end(), packet.begin(), packet.begin() + n);
        size_t used = 0;
        for (; m_fromClient.size() - used >= length; used += length)
            passToAdapter(m_fromClient.data() + used);
        m_fromClient.erase(m_fromClient.begin(),
                           m_fromClient.begin() + static_cast<std::ptrdiff_t>(used));
    }
}

void AdapterBridge::passToAdapter(const uint8_t* packet) {
    // A packet of any other tag is skipped.
    if (packet[0] == transport::kSocketControlTag)
        m_port.sendControlReport(packet + 1, m_reportLength);
    else if (packet[0] == transport::kSocketOutputTag)
        m_port.sendInterruptReport(packet + 1, m_reportLength);
}

void AdapterBridge::pumpInput() {
    std::vector<uint8_t> reports(static_cast<size_t>(m_maxReports) * m_reportLength);
    for (int read = 0; read < kReadsPerStep; ++read) {
        uint32_t bytes = 0;
        const int status = m_port.readInputReports(
            reports.data(), static_cast<uint32_t>(reports.size()), m_maxReports, bytes);
        if (status != transport::kHidSuccess && status != transport::kHidReadTimedOut) {
            endClient(BridgeEventKind::AdapterRemoved, m_adapterPath);
            return;
        }
        for (uint32_t offset = 0; offset + m_reportLength <= bytes; offset += m_reportLength) {
            std::vector<uint8_t> packet(m_reportLength + 1);
            packet[0] = transport::kSocketInputTag;
            std::copy_n(reports.begin() + offset, m_reportLength, packet.begin() + 1);
            m_toClient.push_back(std::move(packet));
        }
        if (status == transport::kHidReadTimedOut)
            break;  // the adapter's queue is empty
    }
    if (m_toClient.size() > kMaxQueuedReports)
        endClient(BridgeEventKind::ClientDropped);
}

void AdapterBridge::flushOutput() {
    while (!m_toClient.empty()) {
        const std::vector<uint8_t>& packet = m_toClient.front();
        const ssize_t n = ::send(m_client, packet.data() + m_frontSent, packet.size() - m_frontSent,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;  // the rest goes at a later step
            endClient(BridgeEventKind::ClientGone);
            return;
        }
        // A stream may take part of a packet; the rest goes first next time.
        m_frontSent += static_cast<size_t>(n);
        if (m_frontSent < packet.size())
            return;
        m_frontSent = 0;
        m_toClient.pop_front();
    }
}

std::string AdapterBridge::openAdapter() {
    // The link adapter's own rule: the last adapter listed, opened by the first index
    // that lists its path.
    std::string path;
    const uint32_t count = m_port.deviceCount(kAdapterVendorId, kAdapterProductId);
    for (uint32_t i = 0; i < count; ++i) {
        std::string candidate;
        if (m_port.devicePath(i, kAdapterVendorId, kAdapterProductId, candidate) ==
            transport::kHidSuccess)
            path = candidate;
    }
    if (path.empty())
        return "no link adapter is there";
    uint32_t index = 0;
    for (uint32_t i = 0; i < count; ++i) {
        std::string candidate;
        if (m_port.devicePath(i, kAdapterVendorId, kAdapterProductId, candidate) ==
                transport::kHidSuccess &&
            transport::pathsEqual(candidate, path)) {
            index = i;
            break;
        }
    }
    const int status =
        m_port.open(index, kAdapterVendorId, kAdapterProductId, transport::kInputBufferCount);
    if (status == transport::kHidDeviceBusy || !m_port.isOpen()) {
        const std::optional<transport::DeviceHolder> holder = m_port.holder();
        m_port.close();
        if (holder) {
            return "the link adapter " + path + " is in use by " +
                   (holder->program.empty() ? std::string("another program") : holder->program) +
                   (holder->pid > 0 ? " (pid " + std::to_string(holder->pid) + ")" : "");
        }
        return "the link adapter " + path + " cannot be opened";
    }
    const uint32_t length = m_port.reportLength();
    const uint32_t maxReports = m_port.maxReportRequest();
    if (length < 2 || length > transport::kSocketMaxReportLength || maxReports == 0 ||
        maxReports > 0xFFFF) {
        m_port.close();
        return "the link adapter " + path + " gives a report length of " + std::to_string(length) +
               ", which a socket cannot carry";
    }
    m_port.setTimeouts(transport::kReadTimeoutMs, transport::kWriteTimeoutMs);
    m_reportLength = length;
    m_maxReports = maxReports;
    m_adapterPath = path;
    return "";
}

void AdapterBridge::acceptClients() {
    if (m_listen < 0)
        return;
    for (;;) {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;  // none waiting (or a connection that went before it was taken)
        }
        if (m_client >= 0) {
            ::close(fd);
            emit(BridgeEventKind::ClientRefused);
            continue;
        }
        const std::string why = openAdapter();
        if (!why.empty()) {
            ::close(fd);
            if (why != m_lastTurnedAway)
                emit(BridgeEventKind::ClientTurnedAway, why);
            m_lastTurnedAway = why;
            continue;
        }
        m_lastTurnedAway.clear();
        const uint8_t hello[transport::kSocketHelloLength] = {
            transport::kSocketHelloTag, static_cast<uint8_t>(m_reportLength >> 8),
            static_cast<uint8_t>(m_reportLength), static_cast<uint8_t>(m_maxReports >> 8),
            static_cast<uint8_t>(m_maxReports)};
        if (::send(fd, hello, sizeof hello, MSG_DONTWAIT | MSG_NOSIGNAL) !=
            static_cast<ssize_t>(sizeof hello)) {
            ::close(fd);
            m_port.close();
            continue;  // it went before it was greeted
        }
        m_client = fd;
        m_toClient.clear();
        m_frontSent = 0;
        m_fromClient.clear();
        emit(BridgeEventKind::ClientConnected);
        emit(BridgeEventKind::AdapterOpened, m_adapterPath);
    }
}

void AdapterBridge::endClient(BridgeEventKind why, const std::string& detail) {
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
    m_toClient.clear();
    m_frontSent = 0;
    m_fromClient.clear();
    m_port.close();
    m_adapterPath.clear();
    emit(why, detail);
}

void AdapterBridge::shutdown() {
    if (m_client >= 0) {
        ::close(m_client);
        m_client = -1;
        m_port.close();
    }
    m_toClient.clear();
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
        // Only the socket this bridge made: another server may have replaced it since.
        struct stat now {};
        if (::lstat(m_path.c_str(), &now) == 0 && S_ISSOCK(now.st_mode) &&
            now.st_dev == m_socketDevice && now.st_ino == m_socketInode)
            ::unlink(m_path.c_str());
    }
}

}  // namespace devices
