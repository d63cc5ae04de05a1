#pragma once
// One session with one device: the link adapter, the protocol controller, the settings
// model, the firmware image and its update and the layout memory, wired once for both
// front ends. The window and the CLI ask the session for operations and hear how they
// ended as typed results; they only show, and wait in their own way (the window's event
// loop, the CLI's tick host).
//
// Every operation that overwrites the ESC's settings (factory defaults, an import, new
// firmware, a restore) first keeps the settings the ESC holds now in a lossless backup,
// and does not start when that backup cannot be written.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/esc_backup.h"
#include "files/firmware_image.h"
#include "files/settings_file.h"
#include "form/form.h"
#include "form/prompter.h"
#include "link/clock.h"
#include "link/hid_port.h"
#include "link/link_adapter.h"
#include "link/protocol_host.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "settings/form_layouts.h"
#include "settings/form_settings_model.h"

namespace session {

enum class Outcome {
    Ok,
    Refused,           // not started: the link is down, the ESC not identified, no value …
    Cancelled,         // not started: the user kept the running firmware update
    AdapterRemoved,    // the link adapter went away meanwhile
    EscVersionFailed,  // the ESC never sent its version
    NotStored,         // the read-back differs from what was sent
    FileError,         // a file could not be read or written (the system's reason given)
    UpdateFailed,      // the firmware update stopped (the state it stopped in given)
    EscLost,           // the ESC stopped answering: the operation was given up
};

const char* outcomeName(Outcome outcome);

enum class Operation { None, LinkUp, Read, Write, Defaults, Import, Restore, Update };

const char* operationName(Operation operation);

// One setting the read-back shows differently from what was sent: a control with its
// value as the form shows it, or (control 0) a parameter byte Pn in hexadecimal.
struct Difference {
    form::ControlId control = 0;
    uint8_t position = 0;
    std::string sent;
    std::string stored;
};

struct Result {
    Outcome outcome = Outcome::Ok;
    std::string message;  // one line saying why, when not Ok
    std::vector<Difference> differences;
    std::optional<std::string> backup;  // the backup kept before the operation
    uint8_t updateState = 0;            // where a failed update stopped
    // Why a firmware image was not taken (an update refused for its file).
    std::optional<files::ImageLoadResult> imageLoad;
    bool ok() const { return outcome == Outcome::Ok; }
};

// Who the ESC is: what it says of itself, and how long its settings answer was.
struct EscIdentity {
    settings::EscInfo info;
    std::optional<std::array<uint8_t, protocol::kEscVersionReplyLength>> version;
};

// What a front end hears while the session runs; every call comes from inside the
// session's timers or operations, on the thread that drives them.
class Listener {
  public:
    virtual ~Listener() = default;
    virtual void linkChanged(bool adapterLinked, bool escLinked) {
        (void)adapterLinked;
        (void)escLinked;
    }
    virtual void escIdentified(const EscIdentity& identity) { (void)identity; }
    // The form shows (true) or no longer shows (false) the settings of the ESC now
    // connected: both links are up and the form was read from this ESC, or kept after its
    // identity was confirmed. False at first.
    virtual void formCurrentChanged(bool current) { (void)current; }
    // The ESC was read again after the link to it was lost while the form held changes not
    // sent: kept (true) when it is the same ESC holding the settings they were made on, so
    // they are in the form again, still unsent; replaced by what it holds (false) otherwise.
    virtual void unsentChangesAfterLoss(bool kept) { (void)kept; }
    // An open attempt found the adapter held by another process (or another session of
    // this one); heard once per holder, again after the adapter was free or opened.
    virtual void adapterHeld(const transport::DeviceHolder& holder) { (void)holder; }
    virtual void updateProgress(int32_t acknowledgedBytes, int32_t imageBytes) {
        (void)acknowledgedBytes;
        (void)imageBytes;
    }
    virtual void finished(Operation operation, const Result& result) {
        (void)operation;
        (void)result;
    }
};

class Session final : private transport::LinkListener {
  public:
    // `port`, `host`, `clock`, `form` and `prompter` must outlive the session; the
    // session sets the host's timer handlers. Backups go to `workingDirectory`/backups.
    Session(transport::HidPort& port, transport::ProtocolHost& host, transport::Clock& clock,
            form::Form& form, form::Prompter& prompter, std::string workingDirectory);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void setListener(Listener* listener) { m_listener = listener; }
    void setTrace(protocol::FrameTrace* trace) { m_controller.setTrace(trace); }
    // A port whose coming and going is only known when asked: polled on every tick.
    void setDeviceChangePoll(std::function<std::vector<transport::DeviceEvent>()> poll) {
        m_pollChanges = std::move(poll);
    }
    // An arrival or removal of an HID device.
    void deviceChanged(const transport::DeviceEvent& event);
    // Runs after every step of the session (a tick, an open attempt, a device change), once
    // the step's events were heard: what drives a batch. Empty: none.
    void setStepObserver(std::function<void()> observer) { m_stepObserver = std::move(observer); }
    // The time backups are stamped with (tests fix it).
    void setClockForBackups(std::function<std::time_t()> now) { m_now = std::move(now); }

    // The link: as the window starts it (the first open attempt 500 ms later), or at once
    // (a command line); false when no adapter was found.
    void startLink();
    bool openNow();
    // Ends the link: timers stopped, adapter closed.
    void closeLink();
    // Waits for the ESC's settings as an operation of its own (its end is heard).
    void awaitSettings();

    // Operations. Each returns whether it started; one that did not has already been
    // finished with its reason (lastResult()). One that started ends with finished().
    bool read();
    bool write();
    bool restoreDefaults();
    bool importSettings(const files::SettingsFile& file);
    bool restore(const files::EscBackup& backup);
    bool update(const std::string& imagePath);
    // The language's texts, and the lists' items read anew when the ESC is linked.
    void changeLanguage(bool chinese);
    // Stops a running firmware update at once (UpdateAbort to the ESC).
    void abortUpdate();
    // Ends the operation under way without waiting for its answer any longer (the ESC
    // went silent): an update is aborted as by abortUpdate, any other operation ends as
    // EscLost with `message`. The controller may still wait for that answer: a front end
    // that goes on reopens the link.
    void giveUp(std::string message);
    // Writes the form's choices to a settings file.
    Result exportSettings(const std::string& path);
    // Keeps the ESC's current settings in a backup.
    Result keepBackup();

    bool busy() const { return m_pending != Operation::None; }
    // The process that held the adapter at the last open attempt; empty when that attempt
    // was not refused for it.
    const std::optional<transport::DeviceHolder>& adapterHolder() const { return m_holder; }
    // Whether the form holds changes not yet sent: a setting the ESC's frame carries shows
    // otherwise than when the ESC's settings were last read into the form (a read, the
    // read-back after a write, the reading after linking up). False before any reading.
    // Changes the form held when the link to the ESC was lost outlive its reading again
    // when it is the same ESC with the same settings.
    bool unsentChanges();
    // The backup kept before the operation under way, once it was written.
    const std::optional<std::string>& pendingBackup() const { return m_pendingBackup; }
    Operation pending() const { return m_pending; }
    const Result& lastResult() const { return m_result; }
    EscIdentity identity() const;
    // The newest backups first.
    std::vector<std::string> backups() const;

    protocol::ProtocolController& controller() { return m_controller; }
    const protocol::ProtocolController& controller() const { return m_controller; }
    transport::LinkAdapter& link() { return m_link; }
    form::Form& form() { return m_form; }
    settings::LayoutMemory& layoutMemory() { return m_layoutMemory; }
    const protocol::FirmwareUpdate& firmwareUpdate() const { return m_update; }
    const files::FirmwareImage& firmwareImage() const { return m_image; }
    const std::string& workingDirectory() const { return m_workingDirectory; }

  private:
    // transport::LinkListener
    void onAdapterOpened() override;
    void onAdapterRemoved() override;

    void tick();
    void afterStep();
    void followOperation();
    // After an open attempt: whether another process holds the adapter.
    void noteOpenAttempt();
    void followLayout();
    // Starts an operation: the controller's command ran; true when it is under way.
    bool begin(Operation operation, bool started);
    void finish(Result result);
    bool refuse(Operation operation, Outcome outcome, std::string message);
    bool settingsReadBack() const;
    // The carried controls' values as the form shows them now.
    std::vector<std::pair<form::ControlId, std::string>> carriedValues() const;
    // Keeps what the form shows after a reading of the ESC's settings it has not kept yet.
    void noteSettingsRead();
    // Follows the form's showing the ESC connected; keeps unsent changes over a lost link.
    void followFormCurrent();
    Result compareReadBack() const;
    // A backup of the ESC's settings before `operation` overwrites them.
    bool backUpBefore(Operation operation);

    transport::ProtocolHost& m_host;
    form::Form& m_form;
    std::string m_workingDirectory;
    transport::LinkAdapter m_link;
    settings::FormSettingsModel m_model;
    protocol::ProtocolController m_controller;
    settings::LayoutMemory m_layoutMemory;
    files::FirmwareImage m_image;
    protocol::FirmwareUpdate m_update{m_image};
    Listener* m_listener = nullptr;
    std::function<std::vector<transport::DeviceEvent>()> m_pollChanges;
    std::function<std::time_t()> m_now;
    std::function<void()> m_stepObserver;

    Operation m_pending = Operation::None;
    Result m_result;
    std::optional<std::string> m_pendingBackup;
    uint32_t m_readsBefore = 0;
    uint32_t m_giveUpsBefore = 0;
    // What the operation sent: the carried controls' values, or the parameter bytes.
    std::vector<std::pair<form::ControlId, std::string>> m_sentValues;
    std::vector<uint8_t> m_sentParameters;
    // The carried controls' values after the last reading, and which reading that was.
    std::vector<std::pair<form::ControlId, std::string>> m_readValues;
    uint32_t m_readValuesOf = 0;
    // What the listener last heard.
    bool m_shownAdapter = false;
    bool m_shownEsc = false;
    uint32_t m_shownIdentifications = 0;
    bool m_current = false;
    bool m_shownCurrent = false;
    // Changes not sent when the link was lost, with the ESC and the reading they were made on.
    struct KeptChanges {
        std::vector<std::pair<form::ControlId, std::string>> values;
        std::vector<std::pair<form::ControlId, std::string>> readValues;
        EscIdentity esc;
    };
    std::optional<KeptChanges> m_keptChanges;
    std::optional<bool> m_keptOutcome;  // to be told the listener
    int32_t m_shownProgress = -1;
    std::optional<transport::DeviceHolder> m_holder;
};

// The value a control shows as text: a list's selected index, or an edit's text.
std::string shownValue(const form::Form& form, form::ControlId control);
// The parameter bytes P1 … of a settings answer (a family-7 answer of 9 or 10 bytes has a
// header before its 8 data bytes, one of 11 a sum and a terminator after them).
std::vector<uint8_t> answerParameters(const std::vector<uint8_t>& answer, uint8_t family);

}  // namespace session
