#include "protocol/settings_reply_rules.h"

namespace protocol {

const SettingsReplyRule* findSettingsReplyRule(uint8_t family, uint8_t variant) {
    for (const SettingsReplyRule& rule : kSettingsReplyRules) {
        if (rule.family != family)
            continue;
        if (rule.variantTest == VariantTest::Equals && rule.variant != variant)
            continue;
        return &rule;
    }
    return nullptr;
}

bool acceptsSettingsLength(const SettingsReplyRule* rule, uint32_t length) {
    if (length == 0)
        return false;
    if (rule == nullptr)
        return true;
    for (uint8_t accepted : rule->lengths) {
        if (accepted == length)
            return true;
    }
    return false;
}

}  // namespace protocol
