#pragma once
// "Export Data" and "Import Data": the parameter form's choices to and from a settings
// file. Both work on the form only; nothing goes to the ESC, and the file does not
// record the family, so a file applies the same list positions to any family.

#include <array>
#include <optional>
#include <string>

#include "files/settings_file.h"
#include "form/form.h"
#include "form/prompter.h"

namespace settings {

inline constexpr const char* kExportFilter = "config Files (*.cfg)|*.cfg||";
inline constexpr const char* kImportFilter = "config Files (*.cfg)|*.cfg| all file  (*.*)|*.*||";
inline constexpr const char* kImportInitialName = "*.cfg";
inline constexpr const char* kImportDefaultExtension = "*.cfg";
// Fixed English, not from the language file.
inline constexpr const char* kFileErrorMessage = "File Error!";

// The 15 bytes of the form's current choices (list positions, 0xFF for none, and the
// three throttle values).
files::SettingsFile captureSettingsFile(const form::Form& form);
// The value controls of the settings file, in byte order.
std::array<form::ControlId, files::kSettingsFileSize> settingsFileControls();
// Puts the file's choices into the form in byte order; a position outside its list
// leaves that list without a selection. Nothing else on the form changes.
void applySettingsFile(form::Form& form, const files::SettingsFile& file);

// Menu command 32771: link check, save dialog, ".cfg" name rule, write. Returns the path
// written, or nothing (cancelled, link down, failure — the user has been told).
std::optional<std::string> onExportData(form::Form& form, form::Prompter& prompter, bool linksUp);
// Menu command 32772: link check, open dialog, size check, apply. Returns the path read
// when applied, or nothing.
std::optional<std::string> onImportData(form::Form& form, form::Prompter& prompter, bool linksUp);

}  // namespace settings
