#pragma once
// Which of several USB link adapters a device opens. "hid" alone takes the program's own
// rule (the last one listed); "hid:/dev/hidraw3" or "hid:serial=ABC123" names one, and
// then only that one is ever opened, also after it was unplugged and plugged in again.
//
// The port of a named adapter wraps the real one and shows it only that adapter, as index
// 0: the link adapter above it finds, opens and follows it as it would the only one.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/adapter_diagnosis.h"
#include "link/hid_port.h"

namespace devices {

// The adapter a "hid:…" URI names; both empty: none is named.
struct AdapterSelection {
    std::string node;    // a device node such as /dev/hidraw3 (a link to one counts as it)
    std::string serial;  // the adapter's USB serial number
    bool named() const { return !node.empty() || !serial.empty(); }
    // "/dev/hidraw3" or "serial ABC123"; empty when none is named.
    std::string text() const;
    // Whether the adapter at `path` with serial number `serial` is the one named (any is,
    // when none is named).
    bool matches(const std::string& path, const std::string& serial) const;
};

// The part of a "hid" URI after "hid:" ("/dev/hidraw3", "serial=ABC123"). False with a
// one-line reason in `error` for anything else.
bool parseAdapterSelection(std::string_view text, AdapterSelection& selection, std::string& error);

// A port that shows only the named adapter of the port it wraps: deviceCount is 1 while it
// is present, and index 0 is it. When the name fits more than one, the last one listed is
// taken, as the link adapter would. The serial number of a listed path comes from
// `serialOf`.
class ChosenAdapterPort final : public transport::HidPort {
  public:
    using SerialLookup = std::function<std::string(const std::string& path)>;
    ChosenAdapterPort(std::unique_ptr<transport::HidPort> inner, AdapterSelection selection,
                      SerialLookup serialOf);

    transport::HidPort& inner() { return *m_inner; }
    const AdapterSelection& selection() const { return m_selection; }

    uint32_t deviceCount(uint16_t vendorId, uint16_t productId) override;
    int devicePath(uint32_t index, uint16_t vendorId, uint16_t productId,
                   std::string& path) override;
    int open(uint32_t index, uint16_t vendorId, uint16_t productId, uint32_t inputBuffers) override;
    bool isOpen() const override { return m_inner->isOpen(); }
    uint32_t reportLength() const override { return m_inner->reportLength(); }
    uint32_t maxReportRequest() const override { return m_inner->maxReportRequest(); }
    void setTimeouts(uint32_t readMs, uint32_t writeMs) override {
        m_inner->setTimeouts(readMs, writeMs);
    }
    int sendControlReport(const uint8_t* report, uint32_t length) override {
        return m_inner->sendControlReport(report, length);
    }
    int sendInterruptReport(const uint8_t* report, uint32_t length) override {
        return m_inner->sendInterruptReport(report, length);
    }
    int readInputReports(uint8_t* buffer, uint32_t bufferSize, uint32_t reportCount,
                         uint32_t& bytesReturned) override {
        return m_inner->readInputReports(buffer, bufferSize, reportCount, bytesReturned);
    }
    int openDevicePath(std::string& path) const override { return m_inner->openDevicePath(path); }
    void close() override { m_inner->close(); }
    std::optional<transport::DeviceHolder> holder() const override { return m_inner->holder(); }

  private:
    // The wrapped port's index of the chosen adapter and its path; false when it is absent.
    bool find(uint16_t vendorId, uint16_t productId, uint32_t& index, std::string& path);

    std::unique_ptr<transport::HidPort> m_inner;
    AdapterSelection m_selection;
    SerialLookup m_serialOf;
};

// Those of `adapters` that `selection` names (all when it names none).
std::vector<AdapterReport> namedAdapters(std::vector<AdapterReport> adapters,
                                         const AdapterSelection& selection);

// The named adapter behind a device's port; none named for a port that names none.
AdapterSelection selectionOf(transport::HidPort& port);

// What a command line does before it opens a device's adapter.
enum class AdapterChoiceKind {
    None,     // no adapter (or not the one named) is there
    One,      // exactly one is there: the device takes it
    Several,  // several are there and none is named: the user must name one
};
struct AdapterChoice {
    AdapterChoiceKind kind = AdapterChoiceKind::None;
    std::vector<AdapterReport> adapters;  // those the device may take, as diagnosed
};
// Of the adapters a device has (its diagnosis, already narrowed to the one named).
AdapterChoice chooseAdapter(std::vector<AdapterReport> adapters);
// Of the adapters the device of `kind` behind `port` has now. Only the USB link may have
// several; the simulated and the socket device are not asked (One, with no list), so that
// asking disturbs no server.
AdapterChoice chooseDeviceAdapter(DeviceKind kind, transport::HidPort& port);

}  // namespace devices
