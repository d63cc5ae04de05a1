#include "devices/linux/hidraw_survey.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace transport {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNodePrefix = "hidraw";
constexpr uint32_t kUsbBus = 0x0003;

int realTryOpen(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

bool parseHex(std::string_view text, uint32_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "0003:000010C4:00008468": bus, vendor, product.
bool parseHidId(std::string_view text, uint32_t& bus, uint32_t& vendor, uint32_t& product) {
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos)
        return false;
    return parseHex(text.substr(0, first), bus) &&
           parseHex(text.substr(first + 1, second - first - 1), vendor) &&
           parseHex(text.substr(second + 1), product);
}

// The node number of "hidrawN"; -1 for any other name.
long nodeNumber(const std::string& name) {
    if (name.rfind(kNodePrefix, 0) != 0 || name.size() == kNodePrefix.size())
        return -1;
    long number = 0;
    const char* begin = name.data() + kNodePrefix.size();
    const char* end = name.data() + name.size();
    const auto result = std::from_chars(begin, end, number);
    return result.ec == std::errc() && result.ptr == end ? number : -1;
}

std::vector<NodeHolder> holdersOf(const std::string& node, const HidrawSystem& system, int ownPid) {
    std::vector<NodeHolder> holders;
    // Processes come and go while they are looked at: no error here is more than a process
    // passed over, and none may throw.
    std::error_code error;
    for (fs::directory_iterator it(system.procDir, error), end; !error && it != end;
         it.increment(error)) {
        const fs::directory_entry& process = *it;
        const std::string pidText = process.path().filename().string();
        int pid = 0;
        const auto parsed = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
        if (parsed.ec != std::errc() || parsed.ptr != pidText.data() + pidText.size() ||
            pid == ownPid)
            continue;
        // Other users' processes cannot be looked into; they are passed over.
        std::error_code fdError;
        for (fs::directory_iterator fd(process.path() / "fd", fdError), fdEnd;
             !fdError && fd != fdEnd; fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            if (linkError || target.string() != node)
                continue;
            NodeHolder holder;
            holder.pid = pid;
            std::ifstream comm(process.path() / "comm");
            std::getline(comm, holder.name);
            holders.push_back(holder);
            break;
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const NodeHolder& a, const NodeHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace

std::vector<HidrawNode> surveyHidraw(uint16_t vendorId, uint16_t productId,
                                     const HidrawSystem& system) {
    std::vector<std::pair<long, HidrawNode>> found;
    std::error_code error;
    for (fs::directory_iterator it(system.classDir, error), end; !error && it != end;
         it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        const long number = nodeNumber(name);
        if (number < 0)
            continue;
        std::ifstream uevent(entry.path() / "device" / "uevent");
        HidrawNode node;
        uint32_t bus = 0;
        uint32_t vendor = 0;
        uint32_t product = 0;
        bool identified = false;
        for (std::string line; std::getline(uevent, line);) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string_view key(line.data(), equals);
            const std::string value = line.substr(equals + 1);
            if (key == "HID_ID")
                identified = parseHidId(value, bus, vendor, product);
            else if (key == "HID_UNIQ")
                node.serial = value;
            else if (key == "HID_NAME")
                node.name = value;
        }
        if (!identified || bus != kUsbBus || vendor != vendorId || product != productId)
            continue;
        node.vendorId = vendorId;
        node.productId = productId;
        node.path = (fs::path(system.devDir) / name).string();
        node.openError = system.tryOpen ? system.tryOpen(node.path) : realTryOpen(node.path);
        node.holders =
            holdersOf(node.path, system, system.ownPid != 0 ? system.ownPid : ::getpid());
        found.emplace_back(number, std::move(node));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HidrawNode> nodes;
    for (auto& [number, node] : found) nodes.push_back(std::move(node));
    return nodes;
}

std::string hidrawSerial(const std::string& nodePath, const HidrawSystem& system) {
    const std::string name = fs::path(nodePath).filename().string();
    if (nodeNumber(name) < 0)
        return "";
    std::ifstream uevent(fs::path(system.classDir) / name / "device" / "uevent");
    constexpr std::string_view kKey = "HID_UNIQ=";
    for (std::string line; std::getline(uevent, line);) {
        if (line.rfind(kKey, 0) == 0)
            return line.substr(kKey.size());
    }
    return "";
}

}  // namespace transport
