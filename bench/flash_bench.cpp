// Times a firmware update of a 65,535-byte image into the simulated ESC on the real
// clock and compares it with the protocol's floor: three ticks of the update period per
// full block (size, data, acknowledgement) and two for the last block. Exits 1 when the
// ESC's image differs from the file's or the run takes more than 5 % over the floor.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "files/firmware_image.h"
#include "form/headless_form.h"
#include "form/prompter.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "settings/form_settings_model.h"
#include "sim/esc_emulator.h"

namespace {

constexpr int32_t kImageLength = files::kMaxImageLength;
constexpr double kAllowedRatio = 1.05;
constexpr uint32_t kFullBlockTicks = 3;
constexpr uint32_t kLastBlockTicks = 2;
constexpr uint32_t kLinkUpLimitMs = 5000;
constexpr uint32_t kUpdateLimitMs = 120000;

class PrintingPrompter final : public form::Prompter {
  public:
    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon,
                                    form::MessageButtons,
                                    form::MessageAnswer defaultAnswer) override {
        std::fprintf(stderr, "flash_bench: message: %s\n", text.c_str());
        return defaultAnswer;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
};

std::vector<uint8_t> randomBytes(size_t length) {
    std::mt19937 generator(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(generator));
    return bytes;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path();
    const fs::path imagePath = dir / "tessaro_flash_bench.hgm";
    // The settings model keeps its marks in the language file: a scratch one.
    i18n::g_languageFilePath = (dir / "tessaro_flash_bench_language.ini").string();

    const std::vector<uint8_t> file = randomBytes(kImageLength);
    {
        std::ofstream out(imagePath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    files::FirmwareImage image;
    if (image.load(imagePath.string()) != files::ImageLoadResult::Loaded) {
        std::fprintf(stderr, "flash_bench: cannot load %s\n", imagePath.c_str());
        return 1;
    }

    transport::SteadyClock clock;
    std::shared_ptr<sim::EscEmulator> esc;
    std::unique_ptr<sim::SimulatedPort> port = sim::makeSimulatedDevice({}, &clock, &esc);
    protocol::TickHost host(clock);
    form::HeadlessForm form;
    PrintingPrompter prompter;
    settings::FormSettingsModel model(form);
    transport::LinkAdapter link(*port, host, clock);
    protocol::ProtocolController controller(link, host, form, prompter, model);
    protocol::FirmwareUpdate update(image);
    link.setListener(&controller);
    controller.setUpdateSession(&update);
    host.setTimerHandler(transport::kOpenTimer, [&] { link.openAdapter(); });
    host.setTimerHandler(transport::kProtocolTimer, [&] { controller.protocolTick(); });

    link.startLink();
    link.openAdapter();
    if (!host.runUntil([&] { return controller.settingsReadCount() > 0; }, kLinkUpLimitMs)) {
        std::fprintf(stderr, "flash_bench: the simulated ESC did not link up\n");
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    controller.escUpdateCommand(true);
    host.runUntil(
        [&] {
            return update.outcome() == protocol::UpdateOutcome::Succeeded ||
                   update.outcome() == protocol::UpdateOutcome::Failed;
        },
        kUpdateLimitMs);
    const auto stop = std::chrono::steady_clock::now();
    const double elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();

    const uint32_t blocks =
        (kImageLength + common::kUpdateBlockSize - 1) / common::kUpdateBlockSize;
    const uint32_t floorMs =
        ((blocks - 1) * kFullBlockTicks + kLastBlockTicks) * protocol::kUpdatePeriodMs;
    const double ratio = elapsedMs / floorMs;

    std::vector<uint8_t> expected = file;
    for (uint8_t& b : expected) b ^= files::kImageKey;
    const bool succeeded = update.outcome() == protocol::UpdateOutcome::Succeeded;
    const bool sameImage = esc->firmware().image() == expected;

    std::printf("image:      %d bytes, %u blocks (%u full, last %d bytes)\n", kImageLength, blocks,
                blocks - 1,
                kImageLength - static_cast<int32_t>((blocks - 1) * common::kUpdateBlockSize));
    std::printf("outcome:    %s, image at the ESC %s\n", succeeded ? "acknowledged" : "FAILED",
                sameImage ? "equals the file XOR 0xB7" : "DIFFERS");
    std::printf("elapsed:    %.1f ms (update request to the ESC's last acknowledgement)\n",
                elapsedMs);
    std::printf("floor:      %u ms (%u full blocks x 3 ticks + 2 ticks, %u ms per tick)\n", floorMs,
                blocks - 1, protocol::kUpdatePeriodMs);
    std::printf("ratio:      %.4f (limit %.2f)\n", ratio, kAllowedRatio);
    fs::remove(imagePath);
    return succeeded && sameImage && ratio <= kAllowedRatio ? 0 : 1;
}
