#include "settings/settings_file_commands.h"

#include <cerrno>

#include "form/control_ids.h"
#include "i18n/ui_text.h"
#include "settings/codec_rules.h"

namespace settings {

namespace {

enum class Slot { List, Throttle };

struct FileByte {
    form::ControlId control;
    Slot slot;
    form::ControlId spin = 0;  // the up-down of a throttle edit
};

// Byte order of the settings file.
constexpr FileByte kFileLayout[files::kSettingsFileSize] = {
    {form::kComboStartAccel, Slot::List},
    {form::kComboMotorTiming, Slot::List},
    {form::kComboBraking, Slot::List},
    {form::kEditMinThrottle, Slot::Throttle, form::kSpinMinThrottle},
    {form::kEditMaxThrottle, Slot::Throttle, form::kSpinMaxThrottle},
    {form::kEditCenterThrottle, Slot::Throttle, form::kSpinCenterThrottle},
    {form::kComboNeutralRange, Slot::List},
    {form::kComboDragBrake, Slot::List},
    {form::kComboCutoffVoltage, Slot::List},
    {form::kComboBatteryType, Slot::List},
    {form::kComboMotorRotation, Slot::List},
    {form::kComboStartPower, Slot::List},
    {form::kComboThrottleLimit, Slot::List},
    {form::kComboThrottlePercent, Slot::List},
    {form::kComboRunMode, Slot::List},
};

void warnLinkDown(form::Prompter& prompter) {
    prompter.showMessage(i18n::LookupUiText(i18n::kTextLinkNotEstablished),
                         form::MessageIcon::Warning, form::MessageButtons::Ok);
}

}  // namespace

std::array<form::ControlId, files::kSettingsFileSize> settingsFileControls() {
    std::array<form::ControlId, files::kSettingsFileSize> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = kFileLayout[i].control;
    return ids;
}

files::SettingsFile captureSettingsFile(const form::Form& form) {
    files::SettingsFile file;
    for (std::size_t i = 0; i < files::kSettingsFileSize; ++i) {
        const FileByte& b = kFileLayout[i];
        if (b.slot == Slot::Throttle) {
            file.bytes[i] = files::throttleToFileByte(leadingNumber(form.text(b.control)));
        } else {
            const int selected = form.selection(b.control);
            file.bytes[i] = selected < 0 ? files::kNoSelectionByte : static_cast<uint8_t>(selected);
        }
    }
    return file;
}

void applySettingsFile(form::Form& form, const files::SettingsFile& file) {
    for (std::size_t i = 0; i < files::kSettingsFileSize; ++i) {
        const FileByte& b = kFileLayout[i];
        if (b.slot == Slot::Throttle) {
            // The up-down follows, so a later step or write starts from the shown value.
            const int value = files::throttleFromFileByte(file.bytes[i]);
            form.setSpinPosition(b.spin, value);
            form.setText(b.control, std::to_string(value));
        } else {
            const int index = file.bytes[i];
            form.setSelection(b.control, index < form.itemCount(b.control) ? index : -1);
        }
    }
}

std::optional<std::string> onExportData(form::Form& form, form::Prompter& prompter, bool linksUp) {
    if (!linksUp) {
        warnLinkDown(prompter);
        return std::nullopt;
    }
    form::FileDialogRequest request;
    request.filter = kExportFilter;
    request.promptOverwrite = false;  // an existing file is replaced without a question
    request.mustExist = false;
    const auto chosen = prompter.saveFile(request);
    if (!chosen)
        return std::nullopt;
    const auto path = files::settingsFileNameFor(*chosen);
    if (!path) {
        prompter.showMessage(i18n::LookupUiText(i18n::kTextExportBadName),
                             form::MessageIcon::Warning, form::MessageButtons::Ok);
        return std::nullopt;
    }
    // The form is read after the dialog closed: the protocol may have changed it meanwhile.
    if (const common::AtomicWriteResult written = captureSettingsFile(form).write(*path);
        !written) {
        const bool readOnly =
            written.failedStep == common::AtomicWriteStep::Inspect && written.error == EACCES;
        prompter.showMessage(readOnly ? i18n::LookupUiText(i18n::kTextExportReadOnly) + "\n" + *path
                                      : i18n::LookupUiText(i18n::kTextExportFailed),
                             form::MessageIcon::Warning, form::MessageButtons::Ok);
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> onImportData(form::Form& form, form::Prompter& prompter, bool linksUp) {
    if (!linksUp) {
        warnLinkDown(prompter);
        return std::nullopt;
    }
    form::FileDialogRequest request;
    request.filter = kImportFilter;
    request.initialName = kImportInitialName;
    request.defaultExtension = kImportDefaultExtension;
    request.mustExist = true;
    const auto chosen = prompter.openFile(request);
    if (!chosen)
        return std::nullopt;
    files::SettingsFileError error = files::SettingsFileError::None;
    errno = 0;
    const auto file = files::SettingsFile::read(*chosen, error);
    if (error == files::SettingsFileError::WrongSize) {
        prompter.showMessage(kFileErrorMessage, form::MessageIcon::None, form::MessageButtons::Ok);
        return std::nullopt;
    }
    if (!file) {
        // A file that is gone says nothing; one that is there but is no regular file (a
        // FIFO, a folder) or cannot be read is named, and never waited on.
        if (errno != ENOENT) {
            prompter.showMessage(i18n::LookupUiText(i18n::kTextImportCannotRead) + "\n" + *chosen,
                                 form::MessageIcon::Warning, form::MessageButtons::Ok);
        }
        return std::nullopt;
    }
    applySettingsFile(form, *file);
    return *chosen;
}

}  // namespace settings
