#include "cli/json_report.h"

#include "cli/cli_session.h"
#include "common/hex.h"
#include "settings/parameter_names.h"

namespace cli {

const ValueControl* findValueControl(form::ControlId id) {
    for (const ValueControl& control : kValueControls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

nlohmann::ordered_json settingsJson(const form::Form& form,
                                    const protocol::ProtocolController& controller) {
    const settings::EscInfo esc = controller.escInfo();
    const std::vector<uint8_t>& reply = controller.lastSettingsReply();
    nlohmann::ordered_json out;
    out["adapter"] = form.text(form::kEditAdapterVersion);
    out["esc"] = form.text(form::kEditEscVersion);
    out["family"] = esc.family;
    out["variant"] = esc.variant;
    out["major"] = esc.major;
    out["length"] = esc.settingsLength;
    out["reply"] = common::hexBytes(reply, "");
    out["status"] = form.text(form::kEditStatus);
    nlohmann::ordered_json controls = nlohmann::ordered_json::array();
    for (const ValueControl& control : kValueControls) {
        nlohmann::ordered_json entry;
        entry["id"] = control.id;
        const auto parameter = settings::parameterOfControl(esc, control.id);
        entry["name"] = parameter ? nlohmann::ordered_json(std::string(parameter->name))
                                  : nlohmann::ordered_json(nullptr);
        entry["carried"] = parameter.has_value();
        entry["label"] = control.label != 0 ? form.text(control.label) : std::string();
        entry["visible"] = form.isVisible(control.id);
        entry["enabled"] = form.isEnabled(control.id);
        if (control.kind == ValueKind::List) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (int i = 0; i < form.itemCount(control.id); ++i) {
                items.push_back(form.itemText(control.id, i));
            }
            entry["items"] = std::move(items);
            entry["selection"] = form.selection(control.id);
        } else {
            entry["text"] = form.text(control.id);
        }
        controls.push_back(std::move(entry));
    }
    out["controls"] = std::move(controls);
    return out;
}

}  // namespace cli
