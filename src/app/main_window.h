#pragma once
// The main window: menu, toolbar, the form built from the layout table, the status
// lamps, and the one instance of everything the program talks to the ESC with (link
// adapter, protocol controller, settings model, firmware image), for the window's life.

#include <QDialog>
#include <QSocketNotifier>
#include <QToolBar>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt_form.h"
#include "app/qt_prompter.h"
#include "app/qt_timer_host.h"
#include "devices/adapter_diagnosis.h"
#include "files/firmware_image.h"
#include "link/clock.h"
#include "link/hid_port.h"
#include "link/link_adapter.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "session/session.h"
#include "settings/form_layouts.h"
#include "settings/form_settings_model.h"

class QToolButton;

namespace devices {
class ReplayPort;
}

namespace app {

class StatusLamp;

// Where device arrivals and removals come from: a descriptor to watch and a reader.
// Without a descriptor the reader is polled four times a second (a socket adapter,
// whose server shows its coming and going only when asked).
struct DeviceEventSource {
    int fd = -1;
    std::function<std::vector<transport::DeviceEvent>()> read;
};

// The program's name, as the desktop shows it.
inline constexpr const char* kProgramName = "Tessaro";

class CQuindleDlg final : public QDialog, private session::Listener {
    Q_OBJECT
  public:
    // `prompter` answers the window's questions (nullptr: the Qt dialogs). With a
    // `drivenClock` the window's timers and pauses run on that clock, and only when the
    // host is told to (tests on a virtual clock).
    CQuindleDlg(std::unique_ptr<transport::HidPort> port, DeviceEventSource events,
                form::Prompter* prompter = nullptr, transport::Clock* drivenClock = nullptr,
                QWidget* parent = nullptr);
    ~CQuindleDlg() override;

    // The start-up steps in their order; run once, before the window is shown.
    void initDialog();

    QtForm& form() { return *m_form; }
    session::Session& session() { return *m_session; }
    protocol::ProtocolController& controller();
    transport::LinkAdapter& link();
    QtTimerHost& host() { return *m_host; }
    const protocol::FirmwareUpdate& firmwareUpdate() const;
    QToolBar* toolBar() const { return m_toolBar; }
    const std::vector<QToolButton*>& toolButtons() const { return m_toolButtons; }
    QRect usbLampRect() const { return m_usbLampRect; }
    QRect escLampRect() const { return m_escLampRect; }
    // The colours of the lamps' states now; each lamp paints the shade of its colour that
    // stands out from the window's background.
    QColor usbLampColour() const;
    QColor escLampColour() const;
    StatusLamp* usbLamp() const { return m_usbLamp; }
    StatusLamp* escLamp() const { return m_escLamp; }
    QMenu* backupMenu() const { return m_backupMenu; }
    // The device is the built-in simulated one: the title says so, so that nobody takes it
    // for their real ESC.
    void setSimulated(bool simulated);
    // The window's port replays a recording (`replay` lives in the port): its end is
    // shown once the port call that ended it has returned (a queued call).
    void followReplay(devices::ReplayPort* replay);
    // A replayed device's recording has ended: `difference` is how the program departed
    // from it (shown in a message box too), empty when the recording ran out. The status
    // field says so from then on.
    void showReplayEnd(const std::string& difference);
    // Where the window learns which adapters there are and why one cannot be opened, for
    // the status field while the adapter lamp is red. Without it the port's own list is
    // taken, every adapter on it counted as openable.
    void setAdapterSurvey(devices::AdapterSurvey survey);
    // The form does not show the settings of the ESC now connected: its parameter controls
    // are greyed, keeping their values, until the next reading of the ESC.
    bool formStale() const { return m_formStale; }
    // Runs the command of a menu entry, toolbar button or push button.
    void runCommand(int commandId);
    // Feeds a device arrival or removal to the link.
    void deviceChanged(const transport::DeviceEvent& event);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Every way of closing ends here (Exit, Enter, Escape, the title bar's button).
    void done(int result) override;

  private:
    // session::Listener: how operations ended, for the status field.
    void finished(session::Operation operation, const session::Result& result) override;
    // The lamps and whether the form shows the ESC now connected: the status field says
    // why a lamp is red, and a form that no longer shows the ESC's settings is greyed.
    void linkChanged(bool adapterLinked, bool escLinked) override;
    void formCurrentChanged(bool current) override;
    void unsentChangesAfterLoss(bool kept) override;
    // Why a lamp is red, as the status field says it; None while both are green.
    enum class LinkProblem { None, NoAdapter, NoAccess, Busy, OpenFailed, NoEsc, Opening };
    LinkProblem linkProblem(std::string& details) const;
    // Shows the reason a lamp is red when it changed; clears it once both are green.
    void showLinkProblem();
    // session::Listener: another process has the adapter; the open attempts go on.
    void adapterHeld(const transport::DeviceHolder& holder) override;
    // The adapter lamp's name (and tooltip) now.
    QString usbLampName() const;
    // Whether closing may go on: asks when it would abandon a firmware update or lose
    // settings changed but not sent.
    bool confirmClose();
    void createToolBar(const QString& workingDirectory);
    void loadLogo(const QString& path);
    void computeLampRects();
    // The lamps show the link flags, in colour and by name; the adapter lamp's name says
    // which adapter is linked.
    void showLamps();
    // Learns which adapter was opened (its serial number from the survey) once the adapter
    // linked, and forgets it when it went.
    void noteOpenAdapter(bool adapterLinked);
    void applyLanguageNow();
    // The window's own texts of the current language: tooltips and screen-reader names.
    void applyWindowTexts();
    void pollDeviceEvents();
    void onEscUpdate();
    void onRestoreDefault();
    // Operation → Restore Backup: the newest backups, listed anew whenever it opens.
    void createBackupMenu();
    void fillBackupMenu();
    void onRestoreBackup(const std::string& path);
    // What keeps a refused operation from starting, when the controller has not said it.
    void showRefusal(const session::Result& result);
    void showBackup(const std::optional<std::string>& backup);
    void showAbout();
    void onExportData();
    void onImportData();
    // Help → Help: the user guide shipped with the program, opened by the desktop.
    void showHelp();

    QToolBar* m_toolBar;
    std::vector<QToolButton*> m_toolButtons;
    FormCanvas* m_canvas;
    QtForm* m_form;
    QtTimerHost* m_host;
    std::unique_ptr<QtPrompter> m_qtPrompter;
    form::Prompter* m_prompter;
    transport::SteadyClock m_steadyClock;
    transport::Clock& m_clock;
    std::unique_ptr<transport::HidPort> m_port;
    std::unique_ptr<session::Session> m_session;
    DeviceEventSource m_events;
    QSocketNotifier* m_eventNotifier = nullptr;
    QRect m_usbLampRect;
    QRect m_escLampRect;
    StatusLamp* m_usbLamp = nullptr;
    StatusLamp* m_escLamp = nullptr;
    // A lamp's name; "%1" is the caption beside it.
    QString m_lampLinkedFormat = QStringLiteral("%1: linked");
    QString m_lampNotLinkedFormat = QStringLiteral("%1: not linked");
    // The adapter lamp's name while linked, with the adapter it opened: "%2" its path,
    // "%3" its serial number.
    QString m_lampAdapterFormat = QStringLiteral("%1: linked to adapter %2");
    QString m_lampAdapterSerialFormat = QStringLiteral("%1: linked to adapter %2, serial %3");
    // The adapter opened now (path and serial number); empty while none is linked.
    std::string m_openAdapterPath;
    std::string m_openAdapterSerial;
    QMenu* m_backupMenu = nullptr;
    bool m_simulated = false;
    devices::AdapterSurvey m_survey;
    bool m_formStale = false;
    // The reason shown last, and the status text it was shown with.
    LinkProblem m_problemShown = LinkProblem::None;
    std::string m_problemText;
    // The status text of a replay that has ended; empty while none has.
    std::string m_replayEnd;
    devices::ReplayPort* m_replay = nullptr;
    bool m_closed = false;
    // The firmware update the window started and has not heard the end of.
    bool m_updateRunning = false;
    // A firmware update succeeded and the settings of the new firmware are being read: its
    // success is shown again once they are, over the reading's own status text.
    bool m_updateDoneAwaitsReading = false;
};

}  // namespace app
