#pragma once
// The protocol controller wired to a simulated adapter on a virtual clock, with a
// recording settings model and prompter, and a language file of known texts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "form/headless_form.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "sim/simulated_port.h"
#include "support/recording_prompter.h"
#include "support/recording_settings_model.h"
#include "support/silent_peer.h"

namespace protocol::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr const char* kRigPath = "/dev/hidraw-sim0";

// Texts of the rig's language file.
inline constexpr const char* kOkeyEnglish = "Read OK";
inline constexpr const char* kReadingEnglish = "Reading";
inline constexpr const char* kSendingEnglish = "Sending";
inline constexpr const char* kLinkDownEnglish = "No link";
inline constexpr const char* kNoSelectionEnglish = "Choose every value";
inline constexpr const char* kOkeyChinese = "CN read OK";
inline constexpr const char* kWriteDoneChinese = "CN stored";

// Writes the rig's language file once and points the lookup at it.
inline void useRigLanguageFile(bool withChineseWriteKey = true) {
    const std::string path = ::testing::TempDir() +
                             (withChineseWriteKey ? "proto_rig-" : "proto_rig_nokey-") +
                             std::to_string(::getpid()) + ".ini";
    std::ofstream out(path, std::ios::trunc);
    out << "[english]\n"
        << "okey=" << kOkeyEnglish << "\n"
        << "reading=" << kReadingEnglish << "\n"
        << "sending=" << kSendingEnglish << "\n"
        << "linkNoEstablished=" << kLinkDownEnglish << "\n"
        << "noSelection=" << kNoSelectionEnglish << "\n"
        << "[chinese]\n"
        << "okey=" << kOkeyChinese << "\n";
    if (withChineseWriteKey)
        out << i18n::kTextWriteDoneChinese << "=" << kWriteDoneChinese << "\n";
    out.close();
    i18n::g_languageFilePath = path;
}

using testing_support::ModelCall;
using testing_support::RecordingPrompter;
using testing_support::RecordingSettingsModel;
using testing_support::SilentPeer;

struct ControllerRig {
    transport::VirtualClock clock{1000};
    sim::SimulatedPort port{&clock};
    TickHost host{clock};
    form::HeadlessForm form;
    RecordingPrompter prompter;
    RecordingSettingsModel model;
    transport::LinkAdapter link{port, host, clock};
    ProtocolController controller{link, host, form, prompter, model};

    explicit ControllerRig(
        std::shared_ptr<sim::AdapterPeer> peer = std::make_shared<SilentPeer>()) {
        useRigLanguageFile();
        i18n::g_chineseSelected = 0;
        port.plugIn(kRigPath, std::move(peer));
        link.setListener(&controller);
        host.setTimerHandler(transport::kOpenTimer, [this] { link.openAdapter(); });
        host.setTimerHandler(transport::kProtocolTimer, [this] { controller.protocolTick(); });
        link.startLink();
        link.openAdapter();
    }

    // One tick with `input` as everything the adapter delivered since the last one;
    // returns the frames the tick wrote.
    std::vector<Bytes> tick(const Bytes& input = {}) {
        if (!input.empty())
            port.queueInput(kRigPath, input);
        port.clearLog();
        controller.protocolTick();
        return port.sentPayloads();
    }
    // Frames written by `action`.
    template <typename Action>
    std::vector<Bytes> sentBy(Action action) {
        port.clearLog();
        action();
        return port.sentPayloads();
    }

    // Adapter version, a link poll answer and the version reply: the controller then
    // waits in state 4 for the settings.
    void identify(uint8_t family, uint8_t variant = 0, uint8_t major = 1) {
        tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        tick({0xE1});
        tick({variant, family, major, 2, 3, 4, 5});
    }
    // The whole link-up with a settings reply of `length` bytes.
    void linkUp(uint8_t family, uint32_t length, uint8_t variant = 0) {
        identify(family, variant);
        Bytes reply(length);
        for (uint32_t i = 0; i < length; ++i) reply[i] = static_cast<uint8_t>(i + 1);
        tick(reply);
    }
    // Link-up of a family-7 ESC, which answers polls with 0xFD and skips the version.
    void linkUpFamily7() {
        tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        tick({0xFD});
        tick(Bytes(11, 0x11));
    }
};

}  // namespace protocol::testing
