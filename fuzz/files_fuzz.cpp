// libFuzzer target for the files a user picks: the input as a settings file (*.cfg)
// through files::SettingsFile::read and, when it has the size, settings::applySettingsFile
// into a form::HeadlessForm showing a family's lists; as a firmware image through
// files::FirmwareImage::load; and as an ESC backup (backups/*.esc) through
// files::readEscBackup and files::parseEscBackup.
//
// Besides memory errors it checks that a loaded image is the file's bytes with the key
// removed, that a refused image changes nothing, that the choices an import leaves on
// the form read back unchanged through a second export and import, and that a backup
// taken in reads back the same once written out again.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "files/esc_backup.h"
#include "files/firmware_image.h"
#include "files/settings_file.h"
#include "form/headless_form.h"
#include "fuzz_support.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/esc_info.h"
#include "settings/form_settings_model.h"
#include "settings/settings_file_commands.h"

namespace {

std::string g_filePath;

// One image for all runs: a load must leave a refused file's predecessor as it was.
files::FirmwareImage& sharedImage() {
    static auto* image = new files::FirmwareImage();
    return *image;
}

void checkImage(const uint8_t* data, size_t size) {
    files::FirmwareImage& image = sharedImage();
    const int32_t before = image.length();
    const files::ImageLoadResult result = image.load(g_filePath);
    if (result != files::ImageLoadResult::Loaded) {
        if (image.length() != before)
            std::abort();
        return;
    }
    if (size <= static_cast<size_t>(common::kUpdateBlockSize) ||
        size > static_cast<size_t>(files::kMaxImageLength))
        std::abort();
    if (image.length() != static_cast<int32_t>(size))
        std::abort();
    for (size_t i = 0; i < size; ++i) {
        if (image.data()[i] != (data[i] ^ files::kImageKey))
            std::abort();
    }
}

void checkSettingsFile(const uint8_t* data, size_t size) {
    files::SettingsFileError error = files::SettingsFileError::None;
    const std::optional<files::SettingsFile> file = files::SettingsFile::read(g_filePath, error);
    if (size != files::kSettingsFileSize) {
        if (file || error != files::SettingsFileError::WrongSize)
            std::abort();
        return;
    }
    if (!file || std::memcmp(file->bytes.data(), data, files::kSettingsFileSize) != 0)
        std::abort();

    // The family whose lists the form shows is the first byte's low bits.
    form::HeadlessForm form;
    settings::initCalculator(form);
    settings::FormSettingsModel model(form);
    settings::EscInfo esc;
    esc.family = static_cast<uint8_t>(data[0] % 11);
    esc.variant = data[1];
    model.fillFamilyTexts(esc);
    settings::applySettingsFile(form, *file);
    const files::SettingsFile once = settings::captureSettingsFile(form);
    settings::applySettingsFile(form, once);
    if (!(settings::captureSettingsFile(form) == once))
        std::abort();
}

void checkBackup(const uint8_t* data, size_t size) {
    std::string error;
    (void)files::readEscBackup(g_filePath, error);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<files::EscBackup> backup = files::parseEscBackup(text, error);
    if (!backup)
        return;
    const std::optional<files::EscBackup> again =
        files::parseEscBackup(files::formatEscBackup(*backup), error);
    if (!again || !(*again == *backup))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_filePath = fuzzing::scratchPath("files") + ".bin";
    i18n::g_languageFilePath = fuzzing::scratchPath("files") + "-language.ini";
    fuzzing::resetLanguageFile(i18n::g_languageFilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::writeFile(g_filePath, data, size);
    checkSettingsFile(data, size);
    checkImage(data, size);
    checkBackup(data, size);
    return 0;
}
