#include "devices/linux/hidapi_port.h"

#include <fcntl.h>
#include <hidapi.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

#include "link/report_descriptor.h"

namespace transport {

namespace {

std::string sysfsDescriptorPath(const std::string& nodePath) {
    const size_t slash = nodePath.rfind('/');
    const std::string node = slash == std::string::npos ? nodePath : nodePath.substr(slash + 1);
    return "/sys/class/hidraw/" + node + "/device/report_descriptor";
}

std::string narrow(const wchar_t* text) {
    std::string result;
    if (!text)
        return result;
    for (; *text; ++text) result += (*text < 0x80) ? static_cast<char>(*text) : '?';
    return result;
}

}  // namespace

HidapiPort::HidapiPort() {
    hid_init();
}

HidapiPort::~HidapiPort() {
    close();
}

std::vector<std::string> HidapiPort::enumeratePaths(uint16_t vendorId, uint16_t productId) {
    std::vector<std::string> paths;
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (const hid_device_info* info = list; info; info = info->next) {
        if (!info->path)
            continue;
        const std::string path = info->path;
        if (std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
    }
    hid_free_enumeration(list);
    return paths;
}

uint32_t HidapiPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    return static_cast<uint32_t>(enumeratePaths(vendorId, productId).size());
}

int HidapiPort::devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                           std::string& path) {
    const std::vector<std::string> paths = enumeratePaths(vendorId, productId);
    if (index >= paths.size())
        return kHidDeviceNotFound;
    path = paths[index];
    return kHidSuccess;
}

int HidapiPort::open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t) {
    close();
    std::string path;
    const int status = devicePath(index, vendorId, productId, path);
    if (status != kHidSuccess)
        return status;
    return openPath(path);
}

int HidapiPort::openPath(const std::string& path) {
    close();
    m_device = hid_open_path(path.c_str());
    if (!m_device)
        return kHidDeviceNotOpened;
    // A second descriptor of the node, with its own input queue that nobody reads; the
    // kernel drops reports silently once it is full.
    m_fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    m_path = path;

    std::vector<uint8_t> descriptor;
    ReportDescriptorInfo info;
    if (readReportDescriptor(descriptor) &&
        parseReportDescriptor(descriptor.data(), descriptor.size(), info)) {
        m_reportLength = info.outputReportLength;
        m_usesReportIds = info.usesReportIds;
    } else {
        m_reportLength = 0;  // unknown: the link will refuse to use the device
    }
    m_readScratch.assign(std::max<uint32_t>(m_reportLength, 1), 0);
    return kHidSuccess;
}

bool HidapiPort::readReportDescriptor(std::vector<uint8_t>& descriptor) const {
    if (m_fd >= 0) {
        int size = 0;
        if (ioctl(m_fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
            size <= HID_MAX_DESCRIPTOR_SIZE) {
            hidraw_report_descriptor raw{};
            raw.size = static_cast<uint32_t>(size);
            if (ioctl(m_fd, HIDIOCGRDESC, &raw) == 0) {
                descriptor.assign(raw.value, raw.value + raw.size);
                return true;
            }
        }
    }
    // sysfs needs no rights on the node.
    std::ifstream file(sysfsDescriptorPath(m_path), std::ios::binary);
    if (!file)
        return false;
    descriptor.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !descriptor.empty();
}

void HidapiPort::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
}

int HidapiPort::sendControlReport(const uint8_t* report, uint32_t length) {
    if (!m_device)
        return kHidDeviceNotOpened;
    if (!report || length == 0)
        return kHidInvalidParameter;
    if (m_fd >= 0) {
        // HIDIOCSOUTPUT (Linux 5.11 and later) takes the control endpoint only when the
        // interface has no interrupt OUT endpoint; the usbhid quirk forces it otherwise.
        std::vector<uint8_t> copy(report, report + length);
        const int result = ioctl(m_fd, HIDIOCSOUTPUT(length), copy.data());
        if (result >= 0)
            return kHidSuccess;
        if (errno != ENOTTY && errno != EINVAL)
            return kHidWriteFailed;
    }
    // An older kernel: write() reaches the same endpoint the ioctl would.
    return hid_write(m_device, report, length) >= 0 ? kHidSuccess : kHidWriteFailed;
}

int HidapiPort::sendInterruptReport(const uint8_t* report, uint32_t length) {
    if (!m_device)
        return kHidDeviceNotOpened;
    if (!report || length == 0)
        return kHidInvalidParameter;
    if (m_fd >= 0) {
        // hidraw itself blocks a write for up to 5 s; asking first keeps our own limit
        // wherever the driver can tell (hidraw reports itself always writable, so there
        // the kernel's limit remains the worst case).
        pollfd waiter{m_fd, POLLOUT, 0};
        const int timeout = static_cast<int>(std::min<uint32_t>(m_writeTimeoutMs, INT_MAX));
        const int ready = poll(&waiter, 1, timeout);
        if (ready <= 0 || (waiter.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            return kHidWriteFailed;
        }
    }
    return hid_write(m_device, report, length) >= 0 ? kHidSuccess : kHidWriteFailed;
}

int HidapiPort::readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                                 uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!m_device)
        return kHidDeviceNotOpened;
    const uint32_t length = m_reportLength;
    if (!buffer || length == 0 || reportCount == 0 ||
        static_cast<uint64_t>(reportCount) * length > bufferSize) {
        return kHidInvalidParameter;
    }
    uint32_t delivered = 0;
    while (delivered < reportCount) {
        uint8_t* slot = buffer + delivered * length;
        std::fill(slot, slot + length, 0);
        // Without report ids hidapi hands out the data alone; the Windows layout still has
        // an id byte (0) in front, so the data goes one byte further in.
        uint8_t* target = m_usesReportIds ? slot : slot + 1;
        const size_t room = m_usesReportIds ? length : length - 1;
        const int timeout =
            delivered == 0 ? static_cast<int>(std::min<uint32_t>(m_readTimeoutMs, INT_MAX)) : 0;
        const int result = hid_read_timeout(m_device, target, room, timeout);
        if (result < 0) {
            bytesReturned = delivered * length;
            return kHidReadFailed;  // the device went away
        }
        if (result == 0)
            break;  // queue empty
        ++delivered;
    }
    bytesReturned = delivered * length;
    return delivered == reportCount ? kHidSuccess : kHidReadTimedOut;
}

int HidapiPort::openDevicePath(std::string& path) const {
    if (!m_device)
        return kHidDeviceNotOpened;
    path = m_path;
    return kHidSuccess;
}

void HidapiPort::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_device) {
        hid_close(m_device);
        m_device = nullptr;
    }
    m_path.clear();
    m_reportLength = 0;
}

std::string HidapiPort::lastError() const {
    return narrow(hid_error(m_device));
}

std::string HidapiPort::libraryVersion() {
    return hid_version_str();
}

}  // namespace transport
