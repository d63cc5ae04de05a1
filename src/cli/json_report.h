#pragma once
// The JSON object that "read --json", "write" and "defaults" print: the identification,
// the accepted reply, the status text and the value controls of the parameter form.

#include <array>
#include <nlohmann/json.hpp>

#include "form/control_ids.h"
#include "form/form.h"
#include "protocol/protocol_controller.h"

namespace cli {

enum class ValueKind { List, Edit };

struct ValueControl {
    form::ControlId id;
    ValueKind kind;
    form::ControlId label;  // 0: no label of its own
    form::ControlId spin;   // the up-down that sets an edit's value; 0: none
};

// In the order the JSON lists them.
inline constexpr std::array<ValueControl, 23> kValueControls = {{
    {1029, ValueKind::List, 1027, 0},    {1030, ValueKind::List, 1028, 0},
    {1032, ValueKind::List, 1031, 0},    {1034, ValueKind::List, 1033, 0},
    {1036, ValueKind::List, 1035, 0},    {1038, ValueKind::List, 1037, 0},
    {1040, ValueKind::List, 1039, 0},    {1042, ValueKind::List, 1041, 0},
    {1045, ValueKind::List, 1044, 0},    {1047, ValueKind::List, 1046, 0},
    {1049, ValueKind::List, 1048, 0},    {1051, ValueKind::List, 1050, 0},
    {1060, ValueKind::List, 1059, 0},    {1095, ValueKind::List, 1094, 0},
    {1061, ValueKind::List, 1096, 0},    {1105, ValueKind::List, 1062, 0},
    {1109, ValueKind::Edit, 1107, 1110}, {1111, ValueKind::Edit, 1108, 1112},
    {1113, ValueKind::Edit, 1115, 1114}, {1116, ValueKind::Edit, 1028, 1117},
    {1100, ValueKind::Edit, 0, 1101},    {1102, ValueKind::Edit, 0, 1103},
    {1092, ValueKind::Edit, 1039, 0},
}};

// The entry of a value control; nullptr for any other identifier.
const ValueControl* findValueControl(form::ControlId id);

nlohmann::ordered_json settingsJson(const form::Form& form, const protocol::ProtocolController& controller);

}  // namespace cli
