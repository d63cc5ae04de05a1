#pragma once
// The timer-driven state machine that talks to the ESC through the link adapter. Every
// tick of timer 0 reads what the adapter delivered since the last tick, takes one step of
// the protocol state and sends the next command. Commands never wait for the ESC: they
// stop the timer, drain stale input, send their frame, set the state and restart the
// timer; the following ticks finish the exchange.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "form/control_ids.h"
#include "form/form.h"
#include "form/prompter.h"
#include "link/link_adapter.h"
#include "link/protocol_host.h"
#include "protocol/command_set.h"
#include "protocol/update_link.h"
#include "settings/esc_info.h"
#include "settings/settings_model.h"

namespace protocol {

inline constexpr uint32_t kReceiveBufferSize = 200;
inline constexpr uint32_t kUpdatePeriodMs = 50;  // timer 0 during a firmware update

// m_missCount: more than this many silent polls in a row mean the ESC is gone.
inline constexpr uint8_t kLinkLossMisses = 50;
inline constexpr uint8_t kLinkLostMark = 255;
// More than this many bad ticks waiting for the ESC's version give up.
inline constexpr uint8_t kVersionGiveUpMisses = 20;
inline constexpr uint8_t kWriteSettleTicks = 20;
inline constexpr uint32_t kWriteSettleSleepMs = 1000;
inline constexpr uint32_t kRetryPauseMs = 100;
inline constexpr uint32_t kFamily7QueryPauseMs = 100;
// Empty ticks state 17 waits for the family-7 settings before it goes back to polling.
inline constexpr uint8_t kFamily7SettingsWaitTicks = 3;
// Silent polls in a row after which the next answer may come from another ESC (one swapped
// on the same adapter, or the same one power-cycled): its identity is checked again.
inline constexpr uint8_t kIdentityCheckMisses = 5;

// Controls the controller writes.
inline constexpr form::ControlId kEscVersionField = form::kEditEscVersion;
inline constexpr form::ControlId kAdapterVersionField = form::kEditAdapterVersion;
inline constexpr form::ControlId kStatusField = form::kEditStatus;

// Fixed English, not from the language file.
inline constexpr const char* kEscVersionFailedMessage = "Failed to get ESC Version";

// Sees every frame the controller writes and every non-empty input of a tick (the
// CLI's --trace).
class FrameTrace {
  public:
    virtual ~FrameTrace() = default;
    virtual void frameWritten(std::span<const uint8_t> frame) = 0;
    virtual void replyReceived(std::span<const uint8_t> reply) = 0;
};

// The firmware update's states 6 … 12. The controller owns none of the image; the
// session it is given takes one step per tick while the state is an update state, through
// the controller's UpdateLink.
class UpdateSession {
  public:
    virtual ~UpdateSession() = default;
    // `reply` is everything the adapter delivered since the last tick.
    virtual void step(UpdateLink& link, std::span<const uint8_t> reply) = 0;
    // The "ESC Update" command has just sent the request and entered state 6.
    virtual void begin(UpdateLink& link) { (void)link; }
    // A command or the adapter's removal took over while the state was an update state:
    // the update is abandoned where it stood and may tidy what it showed.
    virtual void abandon(UpdateLink& link) { (void)link; }
};

class ProtocolController final : public transport::LinkListener, private UpdateLink {
  public:
    ProtocolController(transport::LinkAdapter& link, transport::ProtocolHost& host,
                       form::Form& form, form::Prompter& prompter, settings::SettingsModel& model);
    ProtocolController(const ProtocolController&) = delete;
    ProtocolController& operator=(const ProtocolController&) = delete;

    // transport::LinkListener
    void onAdapterOpened() override;
    void onAdapterRemoved() override;

    // Timer 0.
    void protocolTick();

    // "Read Setting", "Send Setting", "Restore Default Data".
    void readSettingCommand();
    void sendSettingCommand();
    void restoreDefaultCommand();
    // End of a language change: refill the form's lists in the new language.
    void rereadSettingsAfterLanguageChange();
    // "ESC Update": with an image loaded the update starts in state 6 at the update
    // period; without one the controller goes back to polling.
    void escUpdateCommand(bool imageLoaded);
    // Writes parameter bytes kept from this ESC (a backup) as they are, then reads the
    // settings back, under the rules of "Restore Default Data": both links up, the ESC
    // identified, a running update only with the user's consent. True when it was sent.
    bool writeParametersCommand(std::span<const uint8_t> parameters);
    // Both links up; otherwise the "linkNoEstablished" warning, and false.
    bool requireLinks();
    // The form holds values read from the ESC now connected; otherwise the
    // "escNotIdentified" warning, and false.
    bool requireIdentifiedEsc();
    // A command that would abandon a running firmware update asks first (default No).
    // True when no update runs, or when the user chose to abandon it: it has then been
    // aborted (see abortUpdate). False: nothing changed, the update goes on.
    bool confirmAbandonUpdate();
    // Ends a running firmware update at once: the update session tidies its display,
    // UpdateAbort (0xD4) goes to the ESC and the link check resumes at 30 ms. Nothing
    // happens outside the update states.
    void abortUpdate();

    void setTrace(FrameTrace* trace) { m_trace = trace; }
    void setUpdateSession(UpdateSession* session) { m_updateSession = session; }

    // Read-only state.
    uint8_t protocolState() const override { return m_protocolState; }
    bool adapterLinked() const { return m_adapterLinked; }
    bool escLinked() const { return m_escLinked; }
    bool settingsLoaded() const { return m_settingsLoaded; }
    bool linksUp() const { return m_adapterLinked && m_escLinked; }
    // The ESC behind the adapter is the one identified last: identified since the adapter
    // was opened, and not since gone silent long enough to be another one.
    bool escIdentified() const { return m_escIdentified && !m_identityInDoubt; }
    // The form holds values read from this ESC: what "Send Setting" may write.
    bool formMatchesEsc() const {
        return escIdentified() && m_settingsLoaded && m_formFamily == m_escFamily;
    }
    uint8_t missCount() const override { return m_missCount; }
    uint8_t writeWaitTicks() const { return m_writeWaitTicks; }
    // A firmware update runs (states 6 … 12 on an open adapter): closing the window now
    // could leave the ESC half-flashed.
    bool updateInProgress() const { return isUpdateState(m_protocolState) && m_link.isOpen(); }
    settings::EscInfo escInfo() const override;
    const uint8_t* txFrame() const { return m_txFrame.data(); }
    uint32_t txLength() const { return m_txLength; }
    std::vector<uint8_t> lastTxFrame() const;
    // The last settings reply taken, as it arrived.
    const std::vector<uint8_t>& lastSettingsReply() const { return m_lastSettingsReply; }
    // Counters that let a front end wait for "the next" identification (a version reply,
    // or a family-7 poll answer that starts a read) or settings reply.
    uint32_t escVersionCount() const { return m_escVersionCount; }
    // How often the controller gave up waiting for the ESC's version.
    uint32_t versionGiveUps() const { return m_versionGiveUps; }
    // The ESC's version reply as taken (zeros before one came, and for family 7).
    const std::array<uint8_t, kEscVersionReplyLength>& escVersionReply() const {
        return m_escVersionReply;
    }
    uint32_t settingsReadCount() const { return m_settingsReadCount; }

  private:
    // UpdateLink, for the firmware update's session.
    void setProtocolState(uint8_t state) override { m_protocolState = state; }
    void setMissCount(uint8_t count) override { m_missCount = count; }
    bool adapterOpen() const override { return m_link.isOpen(); }
    void sendFrame(std::span<const uint8_t> frame) override;
    void sendCommand(uint8_t command) override;
    void pause(uint32_t ms) override;
    void restartProtocolTimer(uint32_t periodMs = transport::kProtocolPeriodMs) override;
    void stopProtocolTimer() override;
    void clearSettingsLoaded() override { m_settingsLoaded = false; }
    void markEscLinkLost() override;
    form::Form& form() override { return m_form; }
    void warn(const std::string& text) override;

    void stepAwaitAdapterVersion(uint32_t received);
    void stepLinkPolling(uint32_t received);
    void stepAwaitEscVersion(uint32_t received);
    void stepAwaitSettings(uint32_t received);
    void stepWriteSettle();
    void stepAwaitFamily7Settings(uint32_t received);
    void linkPollAnswered();
    // Tells the update session that something else takes over from an update state.
    void abandonUpdate();

    // Commands: both links up, else the warning; true when the exchange may start (timer 0
    // stopped, input drained).
    bool beginCommand();
    void startSettingsQuery(bool pauseForFamily7);
    enum class WriteSource { Form, Defaults, Parameters };
    void startWrite(WriteSource source, std::span<const uint8_t> parameters);
    void writeTxFrame();
    void sleepAndRestartTick(uint32_t ms);
    // A reply the tick took for settings: false for one that begins with a link-poll
    // answer. Joined identical copies of an accepted length are cut to one.
    bool settingsReplyUsable(uint32_t& received);
    // Drops link-poll answers at the front of the tick's input; the length left.
    uint32_t dropLeadingPollAnswers(uint32_t received);
    bool sameEscVersion() const;
    void showStatus(const char* key);
    void settingsTaken(uint32_t received);

    transport::LinkAdapter& m_link;
    transport::ProtocolHost& m_host;
    form::Form& m_form;
    form::Prompter& m_prompter;
    settings::SettingsModel& m_model;
    FrameTrace* m_trace = nullptr;
    UpdateSession* m_updateSession = nullptr;

    uint8_t m_protocolState = kStateIdle;
    std::array<uint8_t, settings::kTxFrameCapacity> m_txFrame{};
    uint32_t m_txLength = 0;
    bool m_adapterLinked = false;
    bool m_escLinked = false;
    bool m_settingsLoaded = false;
    uint8_t m_missCount = 0;
    uint8_t m_escFamily = 0;
    uint8_t m_escVariant = 0;
    uint8_t m_escVersionMajor = 0;
    uint8_t m_escVersionByte5 = 0;
    uint8_t m_escVersionByte6 = 0;
    uint8_t m_settingsLength = 0;
    uint8_t m_writeWaitTicks = 0;
    std::array<uint8_t, kReceiveBufferSize> m_receiveBuffer{};
    uint32_t m_tickPeriodMs = transport::kProtocolPeriodMs;
    // Identity of the ESC: the whole version reply, whether one was taken since the
    // adapter opened, and whether a silence since then leaves it in doubt.
    std::array<uint8_t, kEscVersionReplyLength> m_escVersionReply{};
    bool m_escIdentified = false;
    bool m_identityInDoubt = false;
    // The family-7 arrangement stands on the form since the last reading or link-up.
    bool m_abcFormArranged = false;
    // The family whose settings the form shows.
    uint8_t m_formFamily = 0;
    uint8_t m_family7Waits = 0;

    std::vector<uint8_t> m_lastSettingsReply;
    uint32_t m_escVersionCount = 0;
    uint32_t m_settingsReadCount = 0;
    uint32_t m_versionGiveUps = 0;
    bool m_inTick = false;
};

}  // namespace protocol
