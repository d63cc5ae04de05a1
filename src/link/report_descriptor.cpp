#include "link/report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace transport {

namespace {

// Item prefix: bits 0-1 size code, bits 2-3 type, bits 4-7 tag.
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint8_t kTypeMain = 0;
constexpr uint8_t kTypeGlobal = 1;
constexpr uint8_t kMainInput = 0x8;
constexpr uint8_t kMainOutput = 0x9;
constexpr uint8_t kGlobalReportSize = 0x7;
constexpr uint8_t kGlobalReportId = 0x8;
constexpr uint8_t kGlobalReportCount = 0x9;
constexpr uint8_t kGlobalPush = 0xA;
constexpr uint8_t kGlobalPop = 0xB;
constexpr size_t kSizeCodeBytes[] = {0, 1, 2, 4};
// Deeper nesting than this is no real device's descriptor.
constexpr size_t kMaxPushDepth = 32;
// One report can never be longer than this in bits (the kernel's own report limit).
constexpr uint64_t kMaxReportBits = 16384ull * 8;

struct GlobalState {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

uint32_t lengthWithIdByte(const std::map<uint32_t, uint64_t>& bits) {
    uint64_t longest = 0;
    for (const auto& [id, count] : bits) longest = std::max(longest, count);
    if (bits.empty())
        return 0;
    return static_cast<uint32_t>((std::min(longest, kMaxReportBits) + 7) / 8) + 1;
}

}  // namespace

bool parseReportDescriptor(const uint8_t* data, size_t size, ReportDescriptorInfo& info) {
    GlobalState state;
    std::vector<GlobalState> stack;
    std::map<uint32_t, uint64_t> outputBits;  // per report id
    std::map<uint32_t, uint64_t> inputBits;
    bool usesIds = false;

    size_t position = 0;
    while (position < size) {
        const uint8_t prefix = data[position];
        if (prefix == kLongItemPrefix) {
            if (position + 3 > size)
                return false;  // prefix, data size, long tag
            const size_t dataSize = data[position + 1];
            if (position + 3 + dataSize > size)
                return false;
            position += 3 + dataSize;
            continue;
        }
        const size_t dataSize = kSizeCodeBytes[prefix & 0x3];
        if (position + 1 + dataSize > size)
            return false;
        uint32_t value = 0;
        for (size_t i = 0; i < dataSize; ++i) {
            value |= static_cast<uint32_t>(data[position + 1 + i]) << (8 * i);
        }
        const uint8_t type = (prefix >> 2) & 0x3;
        const uint8_t tag = prefix >> 4;
        position += 1 + dataSize;

        if (type == kTypeGlobal) {
            switch (tag) {
                case kGlobalReportSize:
                    state.reportSize = value;
                    break;
                case kGlobalReportCount:
                    state.reportCount = value;
                    break;
                case kGlobalReportId:
                    state.reportId = value;
                    usesIds = true;
                    break;
                case kGlobalPush:
                    if (stack.size() >= kMaxPushDepth)
                        return false;
                    stack.push_back(state);
                    break;
                case kGlobalPop:
                    if (stack.empty())
                        return false;
                    state = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;
            }
        } else if (type == kTypeMain && (tag == kMainOutput || tag == kMainInput)) {
            auto& bits = tag == kMainOutput ? outputBits : inputBits;
            const uint64_t added = static_cast<uint64_t>(state.reportSize) * state.reportCount;
            bits[state.reportId] = std::min(bits[state.reportId] + added, kMaxReportBits);
        }
    }

    info.outputReportLength = lengthWithIdByte(outputBits);
    info.inputReportLength = lengthWithIdByte(inputBits);
    info.usesReportIds = usesIds;
    return true;
}

}  // namespace transport
