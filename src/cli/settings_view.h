#pragma once
// Settings as named values: what a form shows for each parameter an ESC carries, and the
// settings of a backup or a settings file put into a form of their own, so that two sets
// can be compared by name.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/esc_backup.h"
#include "files/settings_file.h"
#include "form/headless_form.h"
#include "settings/esc_info.h"
#include "settings/form_settings_model.h"

namespace cli {

struct ParameterValue {
    std::string name;
    std::string caption;
    std::string value;  // a list's item text ("-" for none), a number's text
};

// Every parameter the ESC carries, as `form` shows it.
std::vector<ParameterValue> parameterValues(const form::Form& form, const settings::EscInfo& esc);

// The identity a backup records.
settings::EscInfo escInfoOf(const files::EscBackup& backup);

// A form of its own holding decoded settings.
class DecodedSettings {
  public:
    // The settings answer of an ESC, as a backup keeps it.
    explicit DecodedSettings(const files::EscBackup& backup);
    // A settings file's choices over `base` (the settings it leaves alone), for `esc`.
    DecodedSettings(const settings::EscInfo& esc, const std::vector<uint8_t>& base,
                    const files::SettingsFile& file);
    const settings::EscInfo& esc() const { return m_esc; }
    std::vector<ParameterValue> values() const { return parameterValues(m_form, m_esc); }

  private:
    void decode(const std::vector<uint8_t>& reply);

    settings::EscInfo m_esc;
    form::HeadlessForm m_form;
    settings::FormSettingsModel m_model;
};

// A file given to diff or show: a backup (*.esc) or a settings file (*.cfg).
struct SettingsSource {
    std::string path;
    std::optional<files::EscBackup> backup;
    std::optional<files::SettingsFile> file;
};
// Reads a backup or a settings file; false with the reason (the system's for a file that
// cannot be read) in `error`.
bool readSettingsSource(const std::string& path, SettingsSource& source, std::string& error);

}  // namespace cli
