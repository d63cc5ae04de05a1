// libFuzzer target for the settings codec on the real form: any ESC identification
// (family, variant, major, version bytes, accepted length) and any settings reply into
// settings::FormSettingsModel::decodeSettingsFrame on a form::HeadlessForm, then the
// write frames encodeSettingsFrame and buildDefaultFrame build from that form.
//
// The reply sits in a heap block of exactly 200 bytes, as the controller's receive
// buffer holds it (zero behind the reply), so AddressSanitizer stops any read past it;
// the write frames go into blocks of exactly settings::kTxFrameCapacity bytes, and a
// length beyond that capacity aborts.
//
// Input: family, variant, major, byte 5, byte 6, settings length, arrangement choice,
// a calculator result (4 bytes), the 15 form choices of a settings file applied before
// the encode, then the reply.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "files/settings_file.h"
#include "form/headless_form.h"
#include "fuzz_support.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/esc_info.h"
#include "settings/families.h"
#include "settings/form_settings_model.h"
#include "settings/settings_file_commands.h"
#include "settings/settings_model.h"

namespace {

constexpr size_t kReplyBufferSize = 200;  // the controller's receive buffer
// The calculator's results over the spins' ranges lie within these bounds.
constexpr int64_t kSmallestCalcResult = 3;
constexpr int64_t kLargestCalcResult = 612000000;

void checkFrame(const settings::EscInfo&, uint32_t length) {
    if (length > settings::kTxFrameCapacity)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    i18n::g_languageFilePath = fuzzing::scratchPath("settings-frame") + "-language.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::resetLanguageFile(i18n::g_languageFilePath);
    i18n::g_chineseSelected = 0;
    fuzzing::ByteReader in(data, size);

    settings::EscInfo esc;
    esc.family = in.byte();
    esc.variant = in.byte();
    esc.major = in.byte();
    esc.byte5 = in.byte();
    esc.byte6 = in.byte();
    esc.settingsLength = in.byte();
    const uint8_t arrangement = in.byte();
    const uint32_t calc = (uint32_t{in.word()} << 16) | in.word();

    form::HeadlessForm form;
    settings::initCalculator(form);
    settings::g_calcResult =
        kSmallestCalcResult + int64_t{calc} % (kLargestCalcResult - kSmallestCalcResult + 1);
    settings::FormSettingsModel model(form);

    files::SettingsFile choices;
    const std::vector<uint8_t> choiceBytes = in.bytes(files::kSettingsFileSize);
    std::copy(choiceBytes.begin(), choiceBytes.end(), choices.bytes.begin());

    // The reply in a block of exactly the receive buffer's size.
    const std::vector<uint8_t> replyBytes = in.bytes(kReplyBufferSize);
    std::unique_ptr<uint8_t[]> reply(new uint8_t[kReplyBufferSize]());
    std::copy(replyBytes.begin(), replyBytes.end(), reply.get());

    switch (arrangement % 4) {
        case 1:
            model.arrangeAirForm(esc);
            break;
        case 2:
            model.arrangeMultiBoatForm(esc);
            break;
        case 3:
            model.arrangeAbcForm(esc);
            break;
        default:
            break;
    }
    model.fillFamilyTexts(esc);
    model.decodeSettingsFrame({reply.get(), kReplyBufferSize}, esc);

    std::unique_ptr<uint8_t[]> frame(new uint8_t[settings::kTxFrameCapacity]());
    uint32_t length = 0;
    if (model.encodeSettingsFrame(esc, {frame.get(), settings::kTxFrameCapacity}, length))
        checkFrame(esc, length);

    // The user's own choices (an import) and the encode once more.
    if (arrangement & 0x80) {
        settings::applySettingsFile(form, choices);
        length = 0;
        if (model.encodeSettingsFrame(esc, {frame.get(), settings::kTxFrameCapacity}, length))
            checkFrame(esc, length);
    }

    length = 0;
    model.buildDefaultFrame(esc, {frame.get(), settings::kTxFrameCapacity}, length);
    checkFrame(esc, length);
    (void)settings::settingsLengthAfterWrite(esc);
    model.clearFormValues(esc);
    return 0;
}
