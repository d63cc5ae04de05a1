#include "sim/esc_emulator.h"

#include <algorithm>
#include <numeric>

namespace sim {

namespace {

// The default major-dependent byte of the car families: 0x13 for major version 3.
constexpr uint8_t kCarBrakeDefaultMajor3 = 0x13;
constexpr uint8_t kCarBrakeDefault = 0x04;
constexpr uint8_t kCarBrakeMajor = 3;
constexpr uint8_t kWaterBecVariant = 6;
constexpr size_t kUnknownFamilyParamCount = 8;
// Marks the major-dependent byte in the table rows below.
constexpr int kDd = -1;

struct DefaultsRow {
    uint8_t family;
    int variant;  // -1: any variant
    std::vector<int> params;
};

// The factory parameter sets P1 ... Pn. Family 8 answers with the 16-byte layout, the
// one its defaults are written with when no earlier reply said otherwise.
const std::vector<DefaultsRow>& defaultsTable() {
    static const std::vector<DefaultsRow> table = {
        {1, -1, {0x00, 0x01, 0x00, 0x04, 0x03, 0x01, 0x01, 0x01, 0x01, 0x0C, 0x0C}},
        {2, -1, {0x02, 0x02, kDd, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00}},
        {3,
         -1,
         {0x02, 0x02, kDd, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x04, 0x05, 0x04}},
        {4, -1, {0x00, 0x01, 0x00, 0x04, 0x03, 0x01, 0x01, 0x01, 0x01, 0x0C, 0x0C, 0x00}},
        {5, -1, {0x03, 0x01, 0x01, 0x01, 0x19, 0xE4}},
        {6, -1, {0x00, 0x03, 0x01, 0x02, 0x00, 0x01}},
        {7, -1, {0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00}},
        {8,
         -1,
         {0x02, 0x02, kDd, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x09, 0x04, 0x04, 0x01,
          0x00}},
        {9,
         kWaterBecVariant,
         {0x01, 0x00, 0x04, 0x04, 0x02, 0x02, 0x03, 0x00, 0x18, 0xE0, 0x7C, 0x05, 0x01, 0x09, 0x00,
          0x01, 0x06, 0x00, 0x05}},
        {9,
         -1,
         {0x01, 0x00, 0x04, 0x04, 0x02, 0x02, 0x03, 0x00, 0x18, 0xE0, 0x7C, 0x05, 0x01, 0x09, 0x00,
          0x01, 0x06, 0x00}},
    };
    return table;
}

std::vector<uint8_t> resized(std::vector<uint8_t> bytes, size_t length) {
    bytes.resize(length, 0);
    return bytes;
}

}  // namespace

EscEmulator::EscEmulator(EscConfig config) : m_config(std::move(config)), m_jitter(m_config.seed) {
    m_params = m_config.params.empty()
                   ? factoryParams(m_config.family, m_config.variant, m_config.major)
                   : m_config.params;
    for (const uint8_t family : m_config.nextEscFamilies) {
        EscConfig next = m_config;
        next.family = family;
        next.params.clear();
        next.nextEscFamilies.clear();
        m_bench.push_back(std::move(next));
    }
    m_config.nextEscFamilies.clear();
    m_leaveWhenAsked = !m_bench.empty();
}

void EscEmulator::queueEsc(EscConfig next) {
    next.nextEscFamilies.clear();
    m_bench.push_back(std::move(next));
    m_leaveWhenAsked = true;
}

void EscEmulator::unplugEsc(uint32_t gapCommands) {
    m_leadEmpty = true;
    m_gapLeft = gapCommands;
    m_firmware.interrupt();
    if (m_gapLeft == 0 && !m_bench.empty()) {
        EscConfig next = std::move(m_bench.front());
        m_bench.pop_front();
        putOnLead(std::move(next));
    }
}

void EscEmulator::putOnLead(EscConfig esc) {
    m_config = std::move(esc);
    m_params = m_config.params.empty()
                   ? factoryParams(m_config.family, m_config.variant, m_config.major)
                   : m_config.params;
    m_firmware.interrupt();
    m_leadEmpty = false;
    m_heardOnLead = 0;
    m_leaveWhenAsked = !m_bench.empty();
    ++m_escIndex;
}

bool EscEmulator::leadHears() {
    if (m_leadEmpty) {
        if (m_gapLeft > 0)
            --m_gapLeft;
        if (m_gapLeft == 0 && !m_bench.empty()) {
            // The next ESC is on the lead; it hears from the next command on.
            EscConfig next = std::move(m_bench.front());
            m_bench.pop_front();
            putOnLead(std::move(next));
        }
        return false;
    }
    ++m_heardOnLead;
    // Nobody pulls the lead of an ESC whose firmware is being written.
    if (m_leaveWhenAsked && m_heardOnLead > m_config.escStayCommands && !m_firmware.active()) {
        // This command finds the lead empty: the first of the gap.
        unplugEsc(m_config.escGapCommands);
        return leadHears();
    }
    return true;
}

std::vector<uint8_t> EscEmulator::factoryParams(uint8_t family, uint8_t variant, uint8_t major) {
    for (const DefaultsRow& row : defaultsTable()) {
        if (row.family != family || (row.variant >= 0 && row.variant != variant))
            continue;
        std::vector<uint8_t> params;
        for (int value : row.params) {
            if (value == kDd) {
                params.push_back(major == kCarBrakeMajor ? kCarBrakeDefaultMajor3
                                                         : kCarBrakeDefault);
            } else {
                params.push_back(static_cast<uint8_t>(value));
            }
        }
        return params;
    }
    // No layout: any non-empty reply is taken, so a few zeros will do.
    return std::vector<uint8_t>(kUnknownFamilyParamCount, 0);
}

uint32_t EscEmulator::commandCount(uint8_t command) const {
    return static_cast<uint32_t>(
        std::count_if(m_received.begin(), m_received.end(),
                      [&](const auto& p) { return !p.empty() && p[0] == command; }));
}

std::vector<uint8_t> EscEmulator::adapterVersionReply() const {
    // Bytes 2 and 4 are unused by the reader; the firmware sends zeros there.
    const auto& a = m_config.adapter;
    return {kAdapterVersionReply, a[0], 0x00, a[1], 0x00, a[2], a[3], a[4]};
}

std::vector<uint8_t> EscEmulator::escVersionReply() const {
    const std::vector<uint8_t> reply = {m_config.variant, m_config.family, m_config.major,
                                        m_config.minor,   m_config.b4,     m_config.b5,
                                        m_config.b6};
    return resized(reply, m_config.versionReplyLength);
}

std::vector<uint8_t> EscEmulator::withSettingsLength(std::vector<uint8_t> reply) const {
    if (m_config.settingsReplyLength < 0)
        return reply;
    return resized(std::move(reply), static_cast<size_t>(m_config.settingsReplyLength));
}

std::vector<uint8_t> EscEmulator::settingsReply() const {
    return withSettingsLength(m_params);
}

std::vector<uint8_t> EscEmulator::family7SettingsReply() const {
    // The eight data bytes arrive in one of three framings; the receiver aligns them by
    // length. The framing bytes themselves carry nothing the receiver reads, so this ESC
    // sends the query byte as a header and a byte sum as a trailer:
    //   9 bytes:  F1 P1..P8
    //  10 bytes:  F1 08 P1..P8
    //  11 bytes:  P1..P8 sum 00 D1
    const std::vector<uint8_t> data = resized(m_params, kFamily7DataLength);
    const uint8_t sum = static_cast<uint8_t>(std::accumulate(data.begin(), data.end(), 0u));
    std::vector<uint8_t> reply;
    switch (m_config.family7ReplyLength) {
        case 9:
            reply.push_back(kFamily7SettingsQuery);
            reply.insert(reply.end(), data.begin(), data.end());
            break;
        case 10:
            reply.push_back(kFamily7SettingsQuery);
            reply.push_back(static_cast<uint8_t>(kFamily7DataLength));
            reply.insert(reply.end(), data.begin(), data.end());
            break;
        default:
            reply = data;
            reply.push_back(sum);
            reply.push_back(0x00);
            reply.push_back(kSettingsWriteEnd);
            break;
    }
    return withSettingsLength(std::move(reply));
}

uint32_t EscEmulator::nextDelayMs() {
    if (m_config.jitterMs == 0)
        return m_config.latencyMs;
    std::uniform_int_distribution<uint32_t> spread(0, m_config.jitterMs);
    return m_config.latencyMs + spread(m_jitter);
}

void EscEmulator::onOpened() {
    // A fresh handle: the adapter was pulled out and came back, or the program restarted.
    m_firmware.interrupt();
}

std::vector<PeerReply> EscEmulator::onConnect() {
    ++m_connects;
    if (!m_config.adapterAnswers)
        return {};
    return {PeerReply{adapterVersionReply(), nextDelayMs()}};
}

std::vector<PeerReply> EscEmulator::onData(const std::vector<uint8_t>& payload) {
    if (payload.empty())
        return {};
    m_received.push_back(payload);
    if (!leadHears()) {
        ++m_ignored;
        return {};
    }
    if (m_config.silentForever) {
        ++m_ignored;
        return {};
    }
    if (m_config.silentCommands > 0) {
        --m_config.silentCommands;
        ++m_ignored;
        return {};
    }

    const uint32_t delay = nextDelayMs();
    // During an update every report is part of it, block bytes included, until a command
    // of its own ends it.
    if (m_firmware.active()) {
        std::vector<PeerReply> replies;
        if (m_firmware.accept(payload, m_config.firmware, delay, replies))
            return replies;
    }
    const bool abc = m_config.family == kFamilyAbc;
    switch (payload[0]) {
        case kLinkPoll: {
            std::vector<PeerReply> replies = {
                PeerReply{{abc ? kFamily7PollAnswer : kLinkPoll}, delay}};
            if (!m_config.stale.empty()) {
                replies.push_back(PeerReply{m_config.stale, delay + m_config.staleDelayMs});
            }
            return replies;
        }
        case kEscVersionQuery:
            return {PeerReply{escVersionReply(), delay}};
        case kSettingsQuery:
            return {PeerReply{settingsReply(), delay}};
        case kFamily7SettingsQuery:
            if (!abc)
                break;  // only the family-7 firmware knows this query
            return {PeerReply{family7SettingsReply(), delay}};
        case kSettingsWriteStart:
            // F2 P1 ... Pn D1; anything else is not a write frame and changes nothing.
            if (payload.size() >= 3 && payload.back() == kSettingsWriteEnd) {
                std::vector<uint8_t> written(payload.begin() + 1, payload.end() - 1);
                const uint32_t stuck = m_config.stuckParam;
                if (stuck > 0 && stuck <= written.size() && stuck <= m_params.size())
                    written[stuck - 1] = m_params[stuck - 1];
                m_params = std::move(written);
                ++m_storedWrites;
            } else {
                ++m_rejectedWrites;
            }
            return {};
        case kUpdateRequest:
            return m_firmware.begin(m_config.firmware, delay);
        default:
            break;
    }
    ++m_ignored;
    return {};
}

std::unique_ptr<SimulatedPort> makeSimulatedDevice(const EscConfig& config, transport::Clock* clock,
                                                   std::shared_ptr<EscEmulator>* emulator) {
    auto port = std::make_unique<SimulatedPort>(clock);
    auto esc = std::make_shared<EscEmulator>(config);
    AdapterOptions options;
    options.openError = config.openError;
    port->plugIn(kSimAdapterPath, esc, options);
    if (emulator)
        *emulator = esc;
    return port;
}

}  // namespace sim
