#pragma once
// Every hidraw node of a USB device with given ids, as the system lists it in sysfs, and
// whether this process can open it: the answer to "why does the adapter lamp stay red".
//
// sysfs needs no rights on the node: /sys/class/hidraw/hidrawN/device/uevent names the
// device (HID_ID=0003:000010C4:00008468, HID_UNIQ the serial). The node is then opened
// for reading and writing, as the port opens it, and closed again; the error number says
// why not. Other processes that hold the node open are found in /proc/PID/fd.
//
// The places and the open are a seam, so that tests run on a fake tree.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace transport {

// Another process that holds a node open.
struct NodeHolder {
    int pid = 0;
    std::string name;  // /proc/PID/comm, without its line break
};

struct HidrawNode {
    std::string path;  // the device node, e.g. /dev/hidraw3
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial;  // empty when the device has none
    std::string name;    // the product name the device gives
    int openError = 0;   // 0: it opens for reading and writing; otherwise the errno
    std::vector<NodeHolder> holders;
};

struct HidrawSystem {
    std::string classDir = "/sys/class/hidraw";
    std::string devDir = "/dev";
    std::string procDir = "/proc";
    // Opens the node for reading and writing and closes it: 0, or the errno. Empty: the
    // real open(2).
    std::function<int(const std::string& path)> tryOpen;
    // This process, which is not counted among the holders (it holds the node while linked).
    int ownPid = 0;  // 0: getpid()
};

// The nodes of USB devices with these ids, in the order of their node numbers.
std::vector<HidrawNode> surveyHidraw(uint16_t vendorId, uint16_t productId,
                                     const HidrawSystem& system = {});

// The serial number the device of a hidraw node (/dev/hidraw3) gives, from sysfs alone:
// the node is not opened. Empty when it gives none or the node is not there.
std::string hidrawSerial(const std::string& nodePath, const HidrawSystem& system = {});

}  // namespace transport
