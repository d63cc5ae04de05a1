#pragma once
// Which link adapters a device has, and for each whether this program can open it and,
// if not, why and what to do: what both front ends tell a user whose adapter lamp stays
// red ("tessaro-cli devices", the window's status field).
//
// For "hid" every hidraw node of a USB device 10C4:8468 is listed (only the one named, for
// "hid:/dev/hidrawN" or "hid:serial=…"), with the error its open gives; for "sim:" and "socket:"
// the one adapter the port serves, when present.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "devices/device_uri.h"
#include "link/hid_port.h"

namespace transport {
struct HidrawSystem;
}

namespace devices {

enum class AdapterAccess {
    Openable,      // it opens for reading and writing
    NoPermission,  // EACCES / EPERM: the node's rights keep this user out
    Busy,          // EBUSY: another program holds it
    Failed,        // any other error
};

struct AdapterReport {
    std::string path;  // /dev/hidrawN, sim:0, socket:PATH
    uint16_t vendorId = transport::kAdapterVendorId;
    uint16_t productId = transport::kAdapterProductId;
    std::string serial;  // empty when the adapter gives none
    bool openable = false;
    AdapterAccess access = AdapterAccess::Failed;
    int error = 0;  // the errno of a failed open; 0 when it opens
    // One line each, in English: why it cannot be opened, or what else holds it open
    // (empty when nothing is in the way), and what to do about it.
    std::string reason;
    std::string fix;
};

// The udev rule that gives the user at the seat access to the adapter, and where it goes
// (the README and packaging/60-tessaro.rules hold the same rule).
inline constexpr char kUdevRule[] =
    R"(SUBSYSTEMS=="usb|hidraw", ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="8468", )"
    R"(TAG+="uaccess", GROUP="plugdev", MODE="0660")";
inline constexpr char kUdevRuleFile[] = "/etc/udev/rules.d/60-tessaro.rules";

// The adapters of the real USB link, as `system` shows them (the real system when
// defaulted).
std::vector<AdapterReport> diagnoseHidAdapters();
std::vector<AdapterReport> diagnoseHidAdapters(const transport::HidrawSystem& system);

// The adapters behind a device of `kind` whose port is `port` (the port openDeviceUri
// made; for "hid" the port is not asked, the system is). The port is asked only what it
// answers without disturbing an open link.
std::vector<AdapterReport> diagnoseAdapters(DeviceKind kind, transport::HidPort& port);

// The same, as a call a front end keeps beside the port it was made for; the port must
// outlive it.
using AdapterSurvey = std::function<std::vector<AdapterReport>()>;
AdapterSurvey adapterSurvey(DeviceKind kind, transport::HidPort& port);

// "10c4:8468".
std::string usbIds(const AdapterReport& report);

}  // namespace devices
