#include "devices/adapter_choice.h"

#include <filesystem>
#include <system_error>

#include "devices/device_lock.h"

namespace devices {

namespace {

constexpr std::string_view kSerialKey = "serial=";

// A node named through a link (a udev SYMLINK such as /dev/tessaro-adapter) is the node it
// points to now; the link may point elsewhere after the adapter was plugged in again.
std::string resolvedNode(const std::string& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

}  // namespace

std::string AdapterSelection::text() const {
    if (!node.empty())
        return node;
    if (!serial.empty())
        return "serial " + serial;
    return "";
}

bool AdapterSelection::matches(const std::string& path, const std::string& adapterSerial) const {
    if (!serial.empty() && adapterSerial != serial)
        return false;
    if (!node.empty() && path != node && resolvedNode(path) != resolvedNode(node))
        return false;
    return true;
}

bool parseAdapterSelection(std::string_view text, AdapterSelection& selection, std::string& error) {
    selection = {};
    if (text.substr(0, kSerialKey.size()) == kSerialKey && text.size() > kSerialKey.size()) {
        selection.serial = std::string(text.substr(kSerialKey.size()));
        return true;
    }
    if (!text.empty() && text.front() == '/') {
        selection.node = std::string(text);
        return true;
    }
    error = "device 'hid:" + std::string(text) +
            "': name the adapter by its node, as in hid:/dev/hidraw3, or by its serial number, "
            "as in hid:serial=ABC123";
    return false;
}

ChosenAdapterPort::ChosenAdapterPort(std::unique_ptr<transport::HidPort> inner,
                                     AdapterSelection selection, SerialLookup serialOf)
    : m_inner(std::move(inner)),
      m_selection(std::move(selection)),
      m_serialOf(std::move(serialOf)) {}

bool ChosenAdapterPort::find(uint16_t vendorId, uint16_t productId, uint32_t& index,
                             std::string& path) {
    std::string chosen;
    const uint32_t count = m_inner->deviceCount(vendorId, productId);
    for (uint32_t i = 0; i < count; ++i) {
        std::string candidate;
        if (m_inner->devicePath(i, vendorId, productId, candidate) != transport::kHidSuccess)
            continue;
        const std::string serial =
            m_selection.serial.empty() || !m_serialOf ? std::string() : m_serialOf(candidate);
        if (m_selection.matches(candidate, serial))
            chosen = candidate;  // the last one listed, as the link adapter takes it
    }
    if (chosen.empty())
        return false;
    // The first entry of that path is the one opened (a node may be listed once per
    // collection).
    for (uint32_t i = 0; i < count; ++i) {
        std::string candidate;
        if (m_inner->devicePath(i, vendorId, productId, candidate) == transport::kHidSuccess &&
            candidate == chosen) {
            index = i;
            path = chosen;
            return true;
        }
    }
    return false;
}

uint32_t ChosenAdapterPort::deviceCount(uint16_t vendorId, uint16_t productId) {
    uint32_t index = 0;
    std::string path;
    return find(vendorId, productId, index, path) ? 1 : 0;
}

int ChosenAdapterPort::devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                                  std::string& path) {
    uint32_t innerIndex = 0;
    if (index != 0 || !find(vendorId, productId, innerIndex, path))
        return transport::kHidDeviceNotFound;
    return transport::kHidSuccess;
}

int ChosenAdapterPort::open(uint32_t index, uint16_t vendorId, uint16_t productId,
                            uint32_t inputBuffers) {
    uint32_t innerIndex = 0;
    std::string path;
    if (index != 0 || !find(vendorId, productId, innerIndex, path)) {
        m_inner->close();
        return transport::kHidDeviceNotFound;
    }
    return m_inner->open(innerIndex, vendorId, productId, inputBuffers);
}

std::vector<AdapterReport> namedAdapters(std::vector<AdapterReport> adapters,
                                         const AdapterSelection& selection) {
    std::erase_if(adapters, [&selection](const AdapterReport& report) {
        return !selection.matches(report.path, report.serial);
    });
    return adapters;
}

AdapterSelection selectionOf(transport::HidPort& port) {
    transport::HidPort* inner = &port;
    if (auto* locking = dynamic_cast<LockingPort*>(inner))
        inner = &locking->inner();
    if (auto* chosen = dynamic_cast<ChosenAdapterPort*>(inner))
        return chosen->selection();
    return {};
}

AdapterChoice chooseAdapter(std::vector<AdapterReport> adapters) {
    AdapterChoice choice;
    choice.kind = adapters.empty()       ? AdapterChoiceKind::None
                  : adapters.size() == 1 ? AdapterChoiceKind::One
                                         : AdapterChoiceKind::Several;
    choice.adapters = std::move(adapters);
    return choice;
}

AdapterChoice chooseDeviceAdapter(DeviceKind kind, transport::HidPort& port) {
    if (kind != DeviceKind::Hid)
        return {AdapterChoiceKind::One, {}};
    return chooseAdapter(diagnoseAdapters(kind, port));
}

}  // namespace devices
