#include "sim/esc_config.h"

#include <cerrno>
#include <charconv>
#include <functional>
#include <limits>

namespace sim {

namespace {

constexpr uint32_t kMaxParamBytes = 200;  // the receiving side keeps no more in one tick
constexpr uint32_t kMaxReplyLength = 200;
constexpr uint32_t kMaxLatencyMs = 60000;
constexpr uint32_t kMaxSilentCommands = 1000000;
// An image of 65,535 bytes has 128 blocks: answers 0 … 130.
constexpr uint32_t kMaxUpdateAnswer = 1000;
constexpr size_t kMaxBench = 1000;  // ESCs on one bench

bool parseNumber(std::string_view text, uint32_t maximum, uint32_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    uint64_t parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (ec != std::errc() || end != text.data() + text.size() || parsed > maximum)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHex(std::string_view text, std::vector<uint8_t>& bytes) {
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > kMaxParamBytes)
        return false;
    std::vector<uint8_t> result;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        result.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    bytes = std::move(result);
    return true;
}

bool parseAdapter(std::string_view text, EscConfig& config) {
    if (text == "none") {
        config.adapterAnswers = false;
        return true;
    }
    std::array<uint8_t, 5> fields{};
    size_t field = 0;
    while (true) {
        const size_t dot = text.find('.');
        uint32_t value = 0;
        if (field >= fields.size() || !parseNumber(text.substr(0, dot), 255, value))
            return false;
        fields[field++] = static_cast<uint8_t>(value);
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    if (field != fields.size())
        return false;
    config.adapter = fields;
    config.adapterAnswers = true;
    return true;
}

struct OptionRow {
    std::string_view key;
    std::string_view expected;  // for the error message
    std::function<bool(std::string_view, EscConfig&)> apply;
    // Items without a key that follow this one add to its list ("escs=3,3,1").
    std::function<bool(std::string_view, EscConfig&)> more = {};
};

std::function<bool(std::string_view, EscConfig&)> byteField(uint8_t EscConfig::*member) {
    return [member](std::string_view text, EscConfig& config) {
        uint32_t value = 0;
        if (!parseNumber(text, 255, value))
            return false;
        config.*member = static_cast<uint8_t>(value);
        return true;
    };
}

std::function<bool(std::string_view, EscConfig&)> countField(uint32_t EscConfig::*member,
                                                             uint32_t maximum) {
    return [member, maximum](std::string_view text, EscConfig& config) {
        return parseNumber(text, maximum, config.*member);
    };
}

std::function<bool(std::string_view, EscConfig&)> answerField(int FirmwareFaults::*member) {
    return [member](std::string_view text, EscConfig& config) {
        uint32_t value = 0;
        if (!parseNumber(text, kMaxUpdateAnswer, value))
            return false;
        config.firmware.*member = static_cast<int>(value);
        return true;
    };
}

const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> table = {
        {"family", "a byte 0..255", byteField(&EscConfig::family)},
        {"variant", "a byte 0..255", byteField(&EscConfig::variant)},
        {"major", "a byte 0..255", byteField(&EscConfig::major)},
        {"minor", "a byte 0..255", byteField(&EscConfig::minor)},
        {"b4", "a byte 0..255", byteField(&EscConfig::b4)},
        {"b5", "a byte 0..255", byteField(&EscConfig::b5)},
        {"b6", "a byte 0..255", byteField(&EscConfig::b6)},
        {"params", "hex digits in pairs, 1 to 200 bytes",
         [](std::string_view text, EscConfig& config) { return parseHex(text, config.params); }},
        {"adapter", "five dot-separated bytes such as 1.5.20.12.1, or none", parseAdapter},
        {"access", "ok, denied or busy",
         [](std::string_view text, EscConfig& config) {
             if (text != "ok" && text != "denied" && text != "busy")
                 return false;
             config.openError = text == "denied" ? EACCES : text == "busy" ? EBUSY : 0;
             return true;
         }},
        {"f7len", "9, 10 or 11",
         [](std::string_view text, EscConfig& config) {
             uint32_t value = 0;
             if (!parseNumber(text, 11, value) || value < 9)
                 return false;
             config.family7ReplyLength = value;
             return true;
         }},
        {"silent", "a number of commands, or always",
         [](std::string_view text, EscConfig& config) {
             if (text == "always") {
                 config.silentForever = true;
                 return true;
             }
             config.silentForever = false;
             return parseNumber(text, kMaxSilentCommands, config.silentCommands);
         }},
        {"setlen", "a reply length 0..200",
         [](std::string_view text, EscConfig& config) {
             uint32_t value = 0;
             if (!parseNumber(text, kMaxReplyLength, value))
                 return false;
             config.settingsReplyLength = static_cast<int>(value);
             return true;
         }},
        {"verlen", "a reply length 0..200",
         countField(&EscConfig::versionReplyLength, kMaxReplyLength)},
        {"latency", "milliseconds 0..60000", countField(&EscConfig::latencyMs, kMaxLatencyMs)},
        {"jitter", "milliseconds 0..60000", countField(&EscConfig::jitterMs, kMaxLatencyMs)},
        {"seed", "a whole number 0..4294967295",
         countField(&EscConfig::seed, std::numeric_limits<uint32_t>::max())},
        {"stale", "hex digits in pairs, 1 to 200 bytes",
         [](std::string_view text, EscConfig& config) { return parseHex(text, config.stale); }},
        {"staledelay", "milliseconds 0..60000",
         countField(&EscConfig::staleDelayMs, kMaxLatencyMs)},
        {"fwlose", "an update answer number 0..1000", answerField(&FirmwareFaults::loseAnswer)},
        {"fwsplit", "an update answer number 0..1000", answerField(&FirmwareFaults::splitAnswer)},
        {"fwextra", "an update answer number 0..1000",
         answerField(&FirmwareFaults::extraByteAnswer)},
        {"fwsilent", "an update answer number 0..1000", answerField(&FirmwareFaults::silentFrom)},
        {"stuck", "a parameter position 1..200",
         [](std::string_view text, EscConfig& config) {
             return parseNumber(text, kMaxParamBytes, config.stuckParam) && config.stuckParam > 0;
         }},
        {"escs", "families 0..255 separated by commas, such as 3,3,1",
         [](std::string_view text, EscConfig& config) {
             uint32_t family = 0;
             if (!parseNumber(text, 255, family))
                 return false;
             config.family = static_cast<uint8_t>(family);
             config.nextEscFamilies.clear();
             return true;
         },
         [](std::string_view text, EscConfig& config) {
             uint32_t family = 0;
             if (!parseNumber(text, 255, family) || config.nextEscFamilies.size() >= kMaxBench)
                 return false;
             config.nextEscFamilies.push_back(static_cast<uint8_t>(family));
             return true;
         }},
        {"escstay", "a number of commands 1..1000000",
         [](std::string_view text, EscConfig& config) {
             return parseNumber(text, kMaxSilentCommands, config.escStayCommands) &&
                    config.escStayCommands > 0;
         }},
        {"escgap", "a number of commands 0..1000000",
         countField(&EscConfig::escGapCommands, kMaxSilentCommands)},
        {"name", "1 to 64 letters, digits, '-', '_' or '.'",
         [](std::string_view text, EscConfig& config) {
             constexpr size_t kMaxNameLength = 64;
             if (text.empty() || text.size() > kMaxNameLength)
                 return false;
             for (const char c : text) {
                 const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                    (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
                 if (!plain)
                     return false;
             }
             config.name = std::string(text);
             return true;
         }},
    };
    return table;
}

}  // namespace

EscConfig instantEscConfig(EscConfig config) {
    config.latencyMs = 0;
    config.jitterMs = 0;
    return config;
}

bool parseSimOptions(std::string_view options, EscConfig& config, std::string& error) {
    EscConfig result = config;
    bool latencyGiven = false;
    bool jitterGiven = false;
    const OptionRow* listRow = nullptr;  // the row whose list bare items continue
    while (!options.empty()) {
        const size_t comma = options.find(',');
        const std::string_view item = options.substr(0, comma);
        options = comma == std::string_view::npos ? std::string_view{} : options.substr(comma + 1);
        if (item.empty())
            continue;  // tolerate "a=1,,b=2" and a trailing comma

        const size_t equals = item.find('=');
        if (equals == std::string_view::npos && listRow != nullptr) {
            if (!listRow->more(item, result)) {
                error = "bad value '" + std::string(item) + "' in the list of sim option '" +
                        std::string(listRow->key) + "' (expected " +
                        std::string(listRow->expected) + ")";
                return false;
            }
            continue;
        }
        if (equals == std::string_view::npos) {
            error = "sim option '" + std::string(item) + "' has no value (expected key=value)";
            return false;
        }
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = item.substr(equals + 1);
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : optionTable()) {
            if (candidate.key == key)
                row = &candidate;
        }
        if (!row) {
            error = "unknown sim option '" + std::string(key) + "'";
            return false;
        }
        listRow = row->more ? row : nullptr;
        latencyGiven = latencyGiven || key == "latency";
        jitterGiven = jitterGiven || key == "jitter";
        if (!row->apply(value, result)) {
            error = "bad value '" + std::string(value) + "' for sim option '" + std::string(key) +
                    "' (expected " + std::string(row->expected) + ")";
            return false;
        }
    }
    // A delay asked for alone is meant exactly: latency=0 answers at once.
    if (latencyGiven && !jitterGiven)
        result.jitterMs = 0;
    config = std::move(result);
    return true;
}

}  // namespace sim
