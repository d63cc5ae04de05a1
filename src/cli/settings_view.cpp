#include "cli/settings_view.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "cli/cli_messages.h"
#include "settings/form_texts.h"
#include "settings/parameter_names.h"
#include "settings/settings_file_commands.h"

namespace cli {

namespace {

// The decode reads bytes past the reply's end as 0.
constexpr size_t kDecodeRoom = 256;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<ParameterValue> parameterValues(const form::Form& form, const settings::EscInfo& esc) {
    std::vector<ParameterValue> values;
    for (const settings::NamedParameter& p : settings::namedParameters(esc)) {
        ParameterValue v;
        v.name = std::string(p.name);
        v.caption = p.caption != 0 ? form.text(p.caption) : std::string();
        if (v.caption.empty())
            v.caption = v.name;
        if (p.isList) {
            const int selection = form.selection(p.control);
            v.value = selection >= 0 ? form.itemText(p.control, selection) : "-";
        } else {
            v.value = form.text(p.control);
        }
        values.push_back(std::move(v));
    }
    return values;
}

settings::EscInfo escInfoOf(const files::EscBackup& backup) {
    settings::EscInfo esc;
    esc.family = backup.family;
    esc.variant = backup.variant;
    if (backup.version) {
        esc.major = (*backup.version)[2];
        esc.byte5 = (*backup.version)[5];
        esc.byte6 = (*backup.version)[6];
    }
    esc.settingsLength = static_cast<uint8_t>(std::min<size_t>(backup.settings.size(), 255));
    return esc;
}

DecodedSettings::DecodedSettings(const files::EscBackup& backup)
    : m_esc(escInfoOf(backup)), m_model(m_form) {
    decode(backup.settings);
}

DecodedSettings::DecodedSettings(const settings::EscInfo& esc, const std::vector<uint8_t>& base,
                                 const files::SettingsFile& file)
    : m_esc(esc), m_model(m_form) {
    decode(base);
    settings::applySettingsFile(m_form, file);
}

void DecodedSettings::decode(const std::vector<uint8_t>& reply) {
    switch (m_esc.family) {
        case settings::kFamilyAir:
        case settings::kFamilyAirBec:
            m_model.arrangeAirForm(m_esc);
            break;
        case settings::kFamilyMulti:
        case settings::kFamilyBoat:
            m_model.arrangeMultiBoatForm(m_esc);
            break;
        case settings::kFamilyAbc:
            m_model.arrangeAbcForm(m_esc);
            break;
        default:
            break;
    }
    m_model.fillFamilyTexts(m_esc);
    std::vector<uint8_t> frame = reply;
    frame.resize(std::max(frame.size(), kDecodeRoom), 0);
    m_model.decodeSettingsFrame(frame, m_esc);
}

bool readSettingsSource(const std::string& path, SettingsSource& source, std::string& error) {
    source = SettingsSource{path, std::nullopt, std::nullopt};
    if (endsWith(path, ".esc")) {
        source.backup = files::readEscBackup(path, error);
        return source.backup.has_value();
    }
    files::SettingsFileError fileError = files::SettingsFileError::None;
    errno = 0;
    source.file = files::SettingsFile::read(path, fileError);
    if (source.file)
        return true;
    if (fileError == files::SettingsFileError::WrongSize) {
        error = msg(Msg::NotSettingsFileNorBackup, {path});
    } else {
        const int cause = errno;
        error = cause != 0 ? msg(Msg::CannotReadReason, {path, std::strerror(cause)})
                           : msg(Msg::CannotRead, {path});
    }
    return false;
}

}  // namespace cli
