#pragma once
// What the firmware update may do to the protocol controller, and nothing more: read and
// move the protocol state and the miss count, send frames, pause, run timer 0, mark the
// ESC as lost, and show its progress and its failure. The controller implements it
// privately and hands it to the update session at every call; no other code reaches
// these operations.

#include <cstdint>
#include <span>
#include <string>

#include "form/form.h"
#include "link/protocol_host.h"
#include "settings/esc_info.h"

namespace protocol {

class UpdateLink {
  public:
    virtual uint8_t protocolState() const = 0;
    virtual void setProtocolState(uint8_t state) = 0;
    virtual uint8_t missCount() const = 0;
    virtual void setMissCount(uint8_t count) = 0;
    // The ESC the update runs on.
    virtual settings::EscInfo escInfo() const = 0;
    // The adapter is still open (it may go while a box is shown).
    virtual bool adapterOpen() const = 0;

    // Puts the bytes into the TxFrame (as many as it holds) and writes them.
    virtual void sendFrame(std::span<const uint8_t> frame) = 0;
    // A one-byte command: first byte of the TxFrame, length 1, written.
    virtual void sendCommand(uint8_t command) = 0;
    // A blocking pause (the window stands still). Timer 0, when it runs, is restarted
    // afterwards, so that the next tick comes a whole period after the pause and the ESC
    // has that period to answer what is sent at its end.
    virtual void pause(uint32_t ms) = 0;
    // Starts (or restarts) timer 0 with `periodMs`.
    virtual void restartProtocolTimer(uint32_t periodMs = transport::kProtocolPeriodMs) = 0;
    virtual void stopProtocolTimer() = 0;

    // The settings shown belong to the old firmware once a new one is in.
    virtual void clearSettingsLoaded() = 0;
    // The ESC stopped answering the update: its lamp shows the link as lost.
    virtual void markEscLinkLost() = 0;
    // The form the progress is shown on.
    virtual form::Form& form() = 0;
    // A warning box with an OK button; returns when the user closed it.
    virtual void warn(const std::string& text) = 0;

  protected:
    ~UpdateLink() = default;
};

}  // namespace protocol
