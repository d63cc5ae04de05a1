#pragma once
// The simulated adapter firmware and ESC behind a SimulatedPort: it answers the connect
// report with the adapter's version and the ESC commands as an ESC of the configured
// family would, keeps a parameter set that write frames replace, and misbehaves on
// request (silence, wrong lengths, latency, stale input). It also takes firmware updates,
// with the faults of EscConfig::firmware.

#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/esc_bytes.h"
#include "link/clock.h"
#include "sim/esc_config.h"
#include "sim/firmware_acceptor.h"
#include "sim/simulated_port.h"

namespace sim {

// Bytes on the wire.
using common::kAdapterVersionReply;
using common::kAdapterVersionReplyLength;
using common::kEscVersionQuery;
using common::kEscVersionReplyLength;
using common::kFamily7DataLength;
using common::kFamily7PollAnswer;
using common::kFamily7SettingsQuery;
using common::kFamilyAbc;
using common::kLinkPoll;
using common::kSettingsQuery;
using common::kSettingsWriteEnd;
using common::kSettingsWriteStart;

// Path of the adapter makeSimulatedDevice plugs in.
inline constexpr char kSimAdapterPath[] = "sim:0";

class EscEmulator final : public AdapterPeer {
  public:
    explicit EscEmulator(EscConfig config = {});

    // The factory-default parameter bytes P1 ... Pn of a family (the default write frame
    // without its command byte and terminator); families without a layout get 8 zeros.
    static std::vector<uint8_t> factoryParams(uint8_t family, uint8_t variant, uint8_t major);

    // The configuration; changes take effect with the next command (faults at run time).
    EscConfig& config() { return m_config; }
    const EscConfig& config() const { return m_config; }
    const std::vector<uint8_t>& storedParams() const { return m_params; }
    void setStoredParams(std::vector<uint8_t> params) { m_params = std::move(params); }
    // Ignore the next `commands` commands (the ESC's lead pulled out for a while).
    void silenceFor(uint32_t commands) { m_config.silentCommands = commands; }
    void setSilentForever(bool silent) { m_config.silentForever = silent; }

    // The bench: ESCs that take this one's place on the lead in turn, after the families
    // of EscConfig::nextEscFamilies (each as its own configuration, faults included).
    // The ESC on the lead stays for its config's escStayCommands commands; then the lead
    // is empty for its escGapCommands, then the next one answers.
    void queueEsc(EscConfig next);
    // Pulls the ESC off the lead now; the next on the bench answers after `gapCommands`
    // commands (none queued: the lead stays empty).
    void unplugEsc(uint32_t gapCommands);
    // Which ESC of the bench is on the lead: 0 for the first, counting those that left.
    uint32_t escIndex() const { return m_escIndex; }
    // Whether no ESC is on the lead now.
    bool leadEmpty() const { return m_leadEmpty; }
    std::size_t escsWaiting() const { return m_bench.size(); }

    // What reached the ESC: every payload, in order, and counts per command byte.
    const std::vector<std::vector<uint8_t>>& received() const { return m_received; }
    uint32_t commandCount(uint8_t command) const;
    uint32_t connectCount() const { return m_connects; }
    uint32_t storedWrites() const { return m_storedWrites; }
    uint32_t rejectedWrites() const { return m_rejectedWrites; }
    uint32_t ignoredCommands() const { return m_ignored; }
    // The firmware update's side: the image received, the blocks, what went wrong.
    const FirmwareAcceptor& firmware() const { return m_firmware; }

    // The replies, as they would be sent now.
    std::vector<uint8_t> adapterVersionReply() const;
    std::vector<uint8_t> escVersionReply() const;
    std::vector<uint8_t> settingsReply() const;
    std::vector<uint8_t> family7SettingsReply() const;

    // AdapterPeer
    void onOpened() override;
    std::vector<PeerReply> onConnect() override;
    std::vector<PeerReply> onData(const std::vector<uint8_t>& payload) override;

  private:
    std::vector<uint8_t> withSettingsLength(std::vector<uint8_t> reply) const;
    // How late the next answer leaves: the latency plus this answer's jitter.
    uint32_t nextDelayMs();
    // One command reached the lead: counts the ESC's stay and the empty lead's gap.
    // False when no ESC is there to hear it.
    bool leadHears();
    void putOnLead(EscConfig esc);

    EscConfig m_config;
    std::vector<uint8_t> m_params;
    FirmwareAcceptor m_firmware;
    std::vector<std::vector<uint8_t>> m_received;
    uint32_t m_connects = 0;
    uint32_t m_storedWrites = 0;
    uint32_t m_rejectedWrites = 0;
    uint32_t m_ignored = 0;
    std::minstd_rand m_jitter;
    std::deque<EscConfig> m_bench;
    uint32_t m_escIndex = 0;
    uint32_t m_heardOnLead = 0;  // commands the ESC on the lead has had
    bool m_leadEmpty = false;
    bool m_leaveWhenAsked = false;  // whether this ESC leaves after its stay
    uint32_t m_gapLeft = 0;
};

// A simulated port with one adapter at kSimAdapterPath and an emulator configured by
// `config` behind it. `clock` (may be null) times the replies. When `emulator` is given
// it receives the emulator, so tests and the demo can change faults while running.
std::unique_ptr<SimulatedPort> makeSimulatedDevice(
    const EscConfig& config, transport::Clock* clock,
    std::shared_ptr<EscEmulator>* emulator = nullptr);

}  // namespace sim
