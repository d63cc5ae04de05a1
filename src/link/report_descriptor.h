#pragma once
// Report lengths from a HID report descriptor, as the Windows HID stack reports them:
// the longest report of a kind in bytes, plus one for the report-id byte (which Windows
// counts even when the device uses no report ids).

#include <cstddef>
#include <cstdint>

namespace transport {

struct ReportDescriptorInfo {
    uint32_t outputReportLength = 0;  // 0: the device has no output report
    uint32_t inputReportLength = 0;   // 0: the device has no input report
    bool usesReportIds = false;       // a Report ID item occurs
};

// Walks the short items (Report Size, Report Count, Report ID, Push, Pop, Input, Output)
// and skips long items. False for a descriptor that is cut short inside an item or whose
// Push/Pop do not nest; `info` is then left as it was.
bool parseReportDescriptor(const uint8_t* data, size_t size, ReportDescriptorInfo& info);

}  // namespace transport
