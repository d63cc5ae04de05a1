// libFuzzer target for everything the link adapter hands the program: raw input reports
// of any report length through transport::LinkAdapter::readFrames, and the replies they
// join into through protocol::ProtocolController::protocolTick in every protocol state,
// the firmware update's states 6 … 12 included.
//
// The input is a small header and then a program of operations, so that the fuzzer can
// reach every state the way an ESC would lead the controller there:
//   byte 0  report length L (61 … 140 mostly, 2 … 17 for the short ones nobody reads)
//   byte 1  largest report request (1 … 63)
//   byte 2  which firmware image is loaded at the start
//   then    operations, one byte each, with their operands (see runOperation)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/firmware_image.h"
#include "files/settings_file.h"
#include "form/headless_form.h"
#include "form/prompter.h"
#include "fuzz_support.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "settings/calculator.h"
#include "settings/form_settings_model.h"
#include "settings/settings_file_commands.h"
#include "sim/simulated_port.h"

namespace {

constexpr const char* kDevicePath = "/dev/hidraw-fuzz0";
// Bounds per input, so that one input cannot run for seconds.
constexpr int kMaxOperations = 4000;
constexpr uint32_t kMaxRunMs = 2000;

// Image sizes the input may choose: just long enough, a few blocks, a last block of one
// byte, one a block short of the largest, and the largest the transfer carries.
constexpr int32_t kImageSizes[] = {513, 1500, 1537, 4096, 64600, 65535};
constexpr size_t kImageSizeCount = sizeof(kImageSizes) / sizeof(kImageSizes[0]);

std::string g_imageDir;
// TESSARO_FUZZ_TRACE=1: one line per operation on standard error, to follow a reproducer.
bool g_trace = false;
// TESSARO_FUZZ_QUEUED_LENGTH_CHANGE=1: report length changes also while reports are queued
// (see operation 11), to replay seed_regression_sim_report_length_change.
bool g_queuedLengthChange = false;

std::string imagePath(size_t index) {
    return g_imageDir + "-image" + std::to_string(index) + ".bin";
}

// Every message box is answered OK; file dialogs are cancelled.
class OkPrompter final : public form::Prompter {
  public:
    form::MessageAnswer showMessage(const std::string&, form::MessageIcon,
                                    form::MessageButtons buttons, form::MessageAnswer) override {
        return buttons == form::MessageButtons::YesNo ? form::MessageAnswer::Yes
                                                      : form::MessageAnswer::Ok;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// Adapter and ESC answer nothing themselves: every input report comes from the fuzzer.
class SilentPeer final : public sim::AdapterPeer {
  public:
    std::vector<sim::PeerReply> onConnect() override { return {}; }
    std::vector<sim::PeerReply> onData(const std::vector<uint8_t>&) override { return {}; }
};

uint32_t reportLengthFrom(uint8_t b) {
    if (b >= 0xF0)
        return 2u + (b - 0xF0u);
    return transport::kMinDataReportLength + (b % 80u);
}

struct Rig {
    transport::VirtualClock clock{5000};
    sim::SimulatedPort port{&clock};
    protocol::TickHost host{clock};
    form::HeadlessForm form;
    OkPrompter prompter;
    settings::FormSettingsModel model{form};
    transport::LinkAdapter link{port, host, clock};
    protocol::ProtocolController controller{link, host, form, prompter, model};
    // On the heap on its own, so that a read past the image store meets a red zone
    // instead of the next member.
    std::unique_ptr<files::FirmwareImage> imageStore = std::make_unique<files::FirmwareImage>();
    files::FirmwareImage& image = *imageStore;
    protocol::FirmwareUpdate update{image};
    sim::AdapterOptions options;

    void traceOperation(int index) const {
        std::fprintf(stderr, "op %d: state %u links %d/%d loaded %d update %d offset %d/%d\n",
                     index, controller.protocolState(), controller.adapterLinked(),
                     controller.escLinked(), controller.settingsLoaded(),
                     static_cast<int>(update.outcome()), update.updateOffset(), image.length());
    }

    Rig(uint32_t reportLength, uint32_t maxRequest) {
        options.reportLength = reportLength;
        options.maxReportRequest = maxRequest;
        settings::initCalculator(form);
        port.plugIn(kDevicePath, std::make_shared<SilentPeer>(), options);
        controller.setUpdateSession(&update);
        link.setListener(&controller);
        host.setTimerHandler(transport::kOpenTimer, [this] { link.openAdapter(); });
        host.setTimerHandler(transport::kProtocolTimer, [this] { controller.protocolTick(); });
        link.startLink();
        link.openAdapter();
    }

    void loadImage(uint8_t selector) { (void)image.load(imagePath(selector % kImageSizeCount)); }

    // A reply as a well-behaved adapter delivers it: payloads of up to L - 2 bytes, each
    // behind its count byte.
    void queueReply(const std::vector<uint8_t>& reply) {
        const uint32_t length = options.reportLength;
        if (length < 3)
            return;
        const size_t chunk = length - 2;
        for (size_t at = 0; at < reply.size(); at += chunk) {
            const size_t n = std::min(chunk, reply.size() - at);
            std::vector<uint8_t> report(2 + n);
            report[0] = options.inputReportId;
            report[1] = static_cast<uint8_t>(n);
            std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), n, report.begin() + 2);
            port.queueRawReport(kDevicePath, report);
        }
    }

    // One operation of the input's program; the counter bounds the virtual time spent.
    void runOperation(fuzzing::ByteReader& in, uint32_t& runMs) {
        switch (in.byte() % 16) {
            case 0: {  // one raw report, count byte and all, padded or cut to L
                port.queueRawReport(kDevicePath, in.bytes(in.byte()));
                break;
            }
            case 1:  // a reply split into well-formed reports
                queueReply(in.bytes(in.byte()));
                break;
            case 2:
            case 3:  // a tick
                controller.protocolTick();
                clock.advance(transport::kProtocolPeriodMs);
                break;
            case 4: {  // the timers run for a while (ticks, reopen attempts)
                const uint32_t ms = 10u * in.byte();
                if (runMs + ms <= kMaxRunMs) {
                    runMs += ms;
                    host.runFor(ms);
                }
                break;
            }
            case 5:
                controller.readSettingCommand();
                break;
            case 6:
                controller.sendSettingCommand();
                break;
            case 7:
                controller.restoreDefaultCommand();
                break;
            case 8:  // "ESC Update", with the image of the operand loaded first
                loadImage(in.byte());
                controller.escUpdateCommand(image.length() > 0);
                break;
            case 9:
                controller.rereadSettingsAfterLanguageChange();
                break;
            case 10:  // the adapter pulled out and plugged in again
                link.onDeviceChange(port.unplug(kDevicePath));
                link.onDeviceChange(
                    port.plugIn(kDevicePath, std::make_shared<SilentPeer>(), options));
                break;
            case 11: {  // another report length or request size for the open adapter
                const uint32_t length = reportLengthFrom(in.byte());
                const uint32_t request = 1u + in.byte() % 63u;
                // Only with nothing queued, unless asked: a real adapter never changes L
                // while open (corpus/input_report_fuzz/seed_regression_sim_report_length_change
                // replays the simulated port's case).
                if (g_queuedLengthChange || port.pendingInputReports() == 0) {
                    options.reportLength = length;
                    options.maxReportRequest = request;
                    port.setOptions(kDevicePath, options);
                }
                break;
            }
            case 12:  // reads failing, or writes failing after a few
                port.setReadFailure((in.byte() & 1) != 0);
                break;
            case 13: {
                const uint8_t b = in.byte();
                port.failInterruptWritesAfter(b == 0xFF ? -1 : b);
                break;
            }
            case 14: {  // "Import Data": the user's own choices on the form
                files::SettingsFile file;
                const std::vector<uint8_t> bytes = in.bytes(files::kSettingsFileSize);
                std::copy(bytes.begin(), bytes.end(), file.bytes.begin());
                settings::applySettingsFile(form, file);
                break;
            }
            case 15:  // an answer that arrives late, after the adapter's latency
                options.latencyMs = in.byte();
                port.setOptions(kDevicePath, options);
                break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_imageDir = fuzzing::scratchPath("input-report");
    for (size_t i = 0; i < kImageSizeCount; ++i) {
        std::vector<uint8_t> bytes(static_cast<size_t>(kImageSizes[i]));
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 7 + i);
        fuzzing::writeFile(imagePath(i), bytes);
    }
    i18n::g_languageFilePath = g_imageDir + "-language.ini";
    const char* trace = std::getenv("TESSARO_FUZZ_TRACE");
    g_trace = trace != nullptr && trace[0] == '1';
    const char* queued = std::getenv("TESSARO_FUZZ_QUEUED_LENGTH_CHANGE");
    g_queuedLengthChange = queued != nullptr && queued[0] == '1';
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::resetLanguageFile(i18n::g_languageFilePath);
    i18n::g_chineseSelected = 0;
    fuzzing::ByteReader in(data, size);
    const uint32_t reportLength = reportLengthFrom(in.byte());
    const uint32_t maxRequest = 1u + in.byte() % 63u;
    Rig rig(reportLength, maxRequest);
    rig.loadImage(in.byte());

    uint32_t runMs = 0;
    for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
        rig.runOperation(in, runMs);
        if (g_trace)
            rig.traceOperation(op);
    }
    // Whatever is still queued is read by the ticks of the state it left.
    for (int i = 0; i < 3; ++i) rig.controller.protocolTick();
    return 0;
}
