#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>

#include "app/about_box.h"
#include "app/picture_file.h"
#include "app/status_lamp.h"
#include "devices/adapter_choice.h"
#include "devices/replay_port.h"
#include "files/esc_backup.h"
#include "form/control_ids.h"
#include "form/layout.h"
#include "i18n/ui_text.h"
#include "protocol/version_text.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/language_apply.h"
#include "settings/settings_file_commands.h"

namespace app {

namespace {

constexpr QSize kToolButtonSize(39, 38);
constexpr QSize kToolPictureSize(32, 32);
const QColor kTransparentGrey(192, 192, 192);
const QColor kLampOn(0, 255, 0);
const QColor kLampOff(255, 0, 0);
constexpr int kLampSize = 20;
constexpr int kEscLampOffset = 30;
constexpr int kDeviceEventPollMs = 250;
// Operation → Restore Backup takes this access key when it is free.
constexpr char kBackupMenuKey = 'B';

struct ToolButtonSpec {
    const char* picture;
    int command;
    const char* tooltipKey;       // the tooltip in the current language
    const char* tooltipResource;  // without one in the language file: the part after the
                                  // first line break
};

// Buttons 3 and 4 show "ImportData.bmp" and "ExportData.bmp" while issuing Export and
// Import: the pictures are drawn for the direction of the data, seen from the ESC.
constexpr ToolButtonSpec kToolButtons[] = {
    {"English.bmp", form::kCmdLanguageEnglish, i18n::kTextTipEnglish, "\n English Display"},
    {"Chinese.bmp", form::kCmdLanguageChinese, i18n::kTextTipChinese, "\n Chinese Display"},
    {"ImportData.bmp", form::kCmdExportData, i18n::kTextTipExport, "\n Export Data"},
    {"ExportData.bmp", form::kCmdImportData, i18n::kTextTipImport, "\n Import Data"},
    {"Restore.bmp", form::kCmdRestoreDefault, i18n::kTextTipRestore, "\n Defaule Data"},
    {"Exit.bmp", form::kCmdExit, i18n::kTextTipExit, "\n Exit System"},
};

// A text of the current language; `fallback` when the language file has none (a file
// older than the text).
QString uiText(const char* key, const char* fallback) {
    const std::string text = i18n::LookupUiText(key);
    return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}

constexpr int kTooltipLimit = 79;

QString tooltipText(const char* resource) {
    QString text = QString::fromUtf8(resource);
    const qsizetype lineBreak = text.indexOf('\n');
    if (lineBreak >= 0)
        text = text.mid(lineBreak + 1);
    return text.left(kTooltipLimit);
}

// The calculator spins whose steps recompute the result.
bool isCalculatorSpin(form::ControlId id) {
    return id == form::kSpinCalcCells || id == form::kSpinCalcGear || id == form::kSpinCalcPinion ||
           id == form::kSpinCalcKv;
}

}  // namespace

CQuindleDlg::CQuindleDlg(std::unique_ptr<transport::HidPort> port, DeviceEventSource events,
                         form::Prompter* prompter, transport::Clock* drivenClock, QWidget* parent)
    : QDialog(parent),
      m_clock(drivenClock ? *drivenClock : static_cast<transport::Clock&>(m_steadyClock)),
      m_port(std::move(port)),
      m_events(std::move(events)) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QPixmap::fromImage(readPicture(QStringLiteral("tessaro.png")))));
    const form::DialogSpec& layout = form::mainWindowLayout();
    setSimulated(false);

    auto* menuBar = new QMenuBar(this);
    m_toolBar = new QToolBar(this);
    // On a screen too small for the whole form, the form scrolls in the window.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes from control to control, not to the area
    scroll->setWidgetResizable(true);
    m_canvas = new FormCanvas(scroll);
    scroll->setWidget(m_canvas);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->setMenuBar(menuBar);
    box->addWidget(m_toolBar);
    box->addWidget(scroll, 1);

    m_form = new QtForm(this, m_canvas, menuBar, layout, kToolButtonSize.height() + 6);
    const form::Rect whole = form::toPixels({0, 0, layout.widthDu, layout.heightDu});
    m_canvas->setMinimumSize(QSize(whole.width(), whole.height()).boundedTo(m_form->contentSize()));

    if (!prompter) {
        m_qtPrompter = std::make_unique<QtPrompter>(this);
        prompter = m_qtPrompter.get();
    }
    m_prompter = prompter;
    m_host = new QtTimerHost(this, drivenClock);
    m_session = std::make_unique<session::Session>(*m_port, *m_host, m_clock, *m_form, *m_prompter,
                                                   QDir::currentPath().toStdString());
    m_usbLamp = new StatusLamp(m_canvas);
    m_usbLamp->setObjectName(QStringLiteral("usbLamp"));
    m_escLamp = new StatusLamp(m_canvas);
    m_escLamp->setObjectName(QStringLiteral("escLamp"));
    m_host->setRepaintHandler([this] { showLamps(); });
    m_session->setListener(this);
    // The status field is narrow: its tooltip holds its whole text (a path, mostly).
    if (auto* status = qobject_cast<QLineEdit*>(m_form->widget(form::kEditStatus))) {
        connect(status, &QLineEdit::textChanged, status,
                [status](const QString& text) { status->setToolTip(text.trimmed()); });
    }

    createBackupMenu();
    connect(m_form, &QtForm::commandIssued, this, &CQuindleDlg::runCommand);
    connect(m_form, &QtForm::spinAboutToStep, this, [this](form::ControlId spin, int, int delta) {
        if (isCalculatorSpin(spin))
            settings::recalcOnSpin(*m_form, spin, delta);
    });
    // The governor value shows red above what the calculator allows.
    m_form->setTextColourRule(form::kEditGovernor, [](const QString& text) {
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        return ok && value > settings::g_calcResult ? QColor(255, 0, 0) : QColor();
    });
}

CQuindleDlg::~CQuindleDlg() {
    // Closing the port is no departure worth telling any more.
    if (m_replay != nullptr)
        m_replay->setEndHandler({});
    m_session->setListener(nullptr);
    if (!m_closed)
        m_session->closeLink();
}

protocol::ProtocolController& CQuindleDlg::controller() {
    return m_session->controller();
}

transport::LinkAdapter& CQuindleDlg::link() {
    return m_session->link();
}

const protocol::FirmwareUpdate& CQuindleDlg::firmwareUpdate() const {
    return m_session->firmwareUpdate();
}

void CQuindleDlg::initDialog() {
    settings::initCalculator(*m_form);
    form::applySpinSetup(*m_form, form::parameterSpinSetup());

    const QString workingDirectory = QDir::currentPath();
    i18n::g_languageFilePath = workingDirectory.toStdString();
    createToolBar(workingDirectory);
    const QString logoPath = workingDirectory + QStringLiteral("/Ravoklogo.png");
    i18n::g_languageFilePath = i18n::languageFilePathFor(workingDirectory.toStdString());

    applyLanguageNow();
    applyWindowTexts();

    computeLampRects();
    m_form->setGreyed(form::kParameterValueControls, true);  // nothing read yet
    m_formStale = true;
    m_session->startLink();
    showLinkProblem();
    if (m_events.fd >= 0 && m_events.read) {
        m_eventNotifier = new QSocketNotifier(m_events.fd, QSocketNotifier::Read, this);
        connect(m_eventNotifier, &QSocketNotifier::activated, this, [this] {
            for (const transport::DeviceEvent& e : m_events.read()) deviceChanged(e);
        });
    } else if (m_events.read) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &CQuindleDlg::pollDeviceEvents);
        poll->start(kDeviceEventPollMs);
    }
    loadLogo(logoPath);
    m_form->setFocus(form::kEditEscVersion);
}

void CQuindleDlg::createToolBar(const QString& workingDirectory) {
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(kToolPictureSize);
    // A missing picture adds none: the later pictures move up by one button.
    std::vector<QIcon> pictures;
    for (const ToolButtonSpec& entry : kToolButtons) {
        QPixmap pixmap = QPixmap::fromImage(readPicture(workingDirectory + QStringLiteral("/res/") +
                                                        QString::fromLatin1(entry.picture)));
        if (pixmap.isNull())
            continue;
        pixmap.setMask(pixmap.createMaskFromColor(kTransparentGrey));
        pictures.emplace_back(pixmap);
    }
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButtonSpec& entry = kToolButtons[i];
        auto* button = new QToolButton(m_toolBar);
        button->setFixedSize(kToolButtonSize);
        button->setAutoRaise(true);
        // Reached with Tab, pressed with Space or Enter; a click leaves the focus where it is.
        button->setFocusPolicy(Qt::TabFocus);
        if (i < pictures.size())
            button->setIcon(pictures[i]);
        button->setObjectName(QStringLiteral("tool%1").arg(i + 1));
        const int command = entry.command;
        connect(button, &QToolButton::clicked, this, [this, command] { runCommand(command); });
        m_toolBar->addWidget(button);
        m_toolButtons.push_back(button);
    }
    m_form->setLeadingTabStops(QList<QWidget*>(m_toolButtons.begin(), m_toolButtons.end()));
}

void CQuindleDlg::applyWindowTexts() {
    for (std::size_t i = 0; i < m_toolButtons.size() && i < std::size(kToolButtons); ++i) {
        const ToolButtonSpec& entry = kToolButtons[i];
        const std::string text = i18n::LookupUiText(entry.tooltipKey);
        const QString tip = text.empty() ? tooltipText(entry.tooltipResource)
                                         : QString::fromStdString(text).left(kTooltipLimit);
        m_toolButtons[i]->setToolTip(tip);
        m_toolButtons[i]->setAccessibleName(tip.trimmed());
    }
    m_form->setAccessibleTexts(
        {
            {form::kEditStatus, uiText(i18n::kTextNameStatus, "Status")},
            {form::kProgressUpdate, uiText(i18n::kTextNameProgress, "Firmware update progress")},
            {form::kEditLowEndPoint, uiText(i18n::kTextNameLowEndPoint, "Throttle low end point")},
            {form::kEditHighEndPoint,
             uiText(i18n::kTextNameHighEndPoint, "Throttle high end point")},
        },
        uiText(i18n::kTextNameSpin, "%1, up-down"));
    // Kept: the lamps are shown again at every answer of the ESC.
    m_lampLinkedFormat = uiText(i18n::kTextLampLinked, "%1: linked");
    m_lampNotLinkedFormat = uiText(i18n::kTextLampNotLinked, "%1: not linked");
    m_lampAdapterFormat = uiText(i18n::kTextLampAdapter, "%1: linked to adapter %2");
    m_lampAdapterSerialFormat =
        uiText(i18n::kTextLampAdapterSerial, "%1: linked to adapter %2, serial %3");
    showLamps();
}

void CQuindleDlg::loadLogo(const QString& path) {
    const QImage logo = readPicture(path);
    if (logo.isNull())
        return;  // a missing logo is not reported
    // Transparent parts become opaque black.
    QImage opaque(logo.size(), QImage::Format_RGB32);
    opaque.fill(Qt::black);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, logo);
    painter.end();
    if (auto* picture = qobject_cast<QLabel*>(m_form->widget(form::kPictureLogo))) {
        picture->setPixmap(QPixmap::fromImage(opaque));
        picture->resize(opaque.size());  // shown at the picture's own size
    }
}

void CQuindleDlg::computeLampRects() {
    const form::Rect anchor = m_form->controlRect(form::kFrameLampAnchor);
    const QPoint corner(anchor.left, anchor.top);
    m_usbLampRect = QRect(corner, QSize(kLampSize, kLampSize));
    m_escLampRect = QRect(corner + QPoint(0, kEscLampOffset), QSize(kLampSize, kLampSize));
    m_usbLamp->place(m_usbLampRect);
    m_escLamp->place(m_escLampRect);
    // Over the frames and group boxes they sit in.
    m_usbLamp->raise();
    m_escLamp->raise();
    m_usbLamp->show();
    m_escLamp->show();
    showLamps();
}

QColor CQuindleDlg::usbLampColour() const {
    return m_session->controller().adapterLinked() ? kLampOn : kLampOff;
}
QColor CQuindleDlg::escLampColour() const {
    return m_session->controller().escLinked() ? kLampOn : kLampOff;
}

QString CQuindleDlg::usbLampName() const {
    const QString caption = QString::fromStdString(m_form->text(form::kLabelUsbDevice)).trimmed();
    if (!m_session->controller().adapterLinked())
        return m_lampNotLinkedFormat.arg(caption);
    if (m_openAdapterPath.empty())
        return m_lampLinkedFormat.arg(caption);
    const QString path = QString::fromStdString(m_openAdapterPath);
    if (m_openAdapterSerial.empty())
        return m_lampAdapterFormat.arg(caption, path);
    return m_lampAdapterSerialFormat.arg(caption, path,
                                         QString::fromStdString(m_openAdapterSerial));
}

void CQuindleDlg::showLamps() {
    const protocol::ProtocolController& control = m_session->controller();
    m_usbLamp->showState(usbLampColour(), usbLampName());
    m_escLamp->showState(
        escLampColour(),
        (control.escLinked() ? m_lampLinkedFormat : m_lampNotLinkedFormat)
            .arg(QString::fromStdString(m_form->text(form::kLabelEscDevice)).trimmed()));
}

void CQuindleDlg::noteOpenAdapter(bool adapterLinked) {
    if (!adapterLinked) {
        m_openAdapterPath.clear();
        m_openAdapterSerial.clear();
        return;
    }
    const std::string& path = m_session->link().devicePath();
    if (path == m_openAdapterPath)
        return;
    m_openAdapterPath = path;
    m_openAdapterSerial.clear();
    if (!m_survey)
        return;
    for (const devices::AdapterReport& adapter : m_survey()) {
        if (transport::pathsEqual(adapter.path, path))
            m_openAdapterSerial = adapter.serial;
    }
}

void CQuindleDlg::applyLanguageNow() {
    settings::applyLanguage(*m_form, controller().escInfo(), controller().escLinked(),
                            m_session->layoutMemory());
}

void CQuindleDlg::runCommand(int commandId) {
    switch (commandId) {
        case form::kButtonReadSetting:
            m_session->read();
            break;
        case form::kButtonSendSetting:
            m_session->write();
            break;
        case form::kButtonEscUpdate:
            onEscUpdate();
            break;
        case form::kCmdExportData:
            onExportData();
            break;
        case form::kCmdImportData:
            onImportData();
            break;
        case form::kCmdLanguageEnglish:
        case form::kCmdLanguageChinese:
            m_session->changeLanguage(commandId == form::kCmdLanguageChinese);
            setSimulated(m_simulated);  // the title in the new language
            // A reason still shown is said again in the new language.
            if (!m_problemText.empty() && m_form->text(form::kEditStatus) == m_problemText)
                m_problemShown = LinkProblem::None;
            showLinkProblem();
            applyWindowTexts();
            break;
        case form::kCmdRestoreDefault:
            onRestoreDefault();
            break;
        case form::kCmdHelp:
            showHelp();
            break;
        case form::kCmdAbout:
            showAbout();
            break;
        case form::kCmdExit:
            accept();
            break;
        default:
            break;  // the never-shown controls do nothing
    }
}

void CQuindleDlg::onRestoreDefault() {
    // Every setting of the ESC is overwritten: asked before anything else, No the default.
    if (m_prompter->showMessage(i18n::LookupUiText(i18n::kTextConfirmRestoreDefault),
                                form::MessageIcon::Warning, form::MessageButtons::YesNo,
                                form::MessageAnswer::No) != form::MessageAnswer::Yes)
        return;
    // The session keeps a backup first and writes nothing when it cannot.
    if (!m_session->restoreDefaults()) {
        showRefusal(m_session->lastResult());
        return;
    }
    showBackup(m_session->pendingBackup());
}

void CQuindleDlg::setSimulated(bool simulated) {
    m_simulated = simulated;
    // The program's name alone; the desktop adds nothing to a title that holds it.
    QString title = QString::fromLatin1(kProgramName);
    if (simulated) {
        title += QStringLiteral(" \u2014 ") +
                 QString::fromStdString(i18n::LookupUiText(i18n::kTextSimulatedDevice));
    }
    setWindowTitle(title);
}

void CQuindleDlg::showRefusal(const session::Result& result) {
    // The controller's own refusals (link down, no value, ESC not identified) have been
    // shown already, without a message here; what is left says itself why.
    if (!result.ok() && result.outcome != session::Outcome::Cancelled && !result.message.empty()) {
        m_prompter->showMessage(result.message, form::MessageIcon::Warning,
                                form::MessageButtons::Ok);
    }
}

namespace {
constexpr int kBackupsListed = 10;
}  // namespace

void CQuindleDlg::createBackupMenu() {
    QMenu* operation = m_form->topMenu(form::kTopMenuOperation);
    if (operation == nullptr)
        return;
    m_backupMenu = operation->addMenu(QString());
    m_backupMenu->setObjectName(QStringLiteral("backupMenu"));
    // Listed when the menu opens, so that a backup kept a moment ago is there.
    connect(operation, &QMenu::aboutToShow, this, &CQuindleDlg::fillBackupMenu);
    fillBackupMenu();
}

void CQuindleDlg::fillBackupMenu() {
    if (m_backupMenu == nullptr)
        return;
    m_form->setSubmenuCaption(m_backupMenu, i18n::LookupUiText(i18n::kTextRestoreBackup),
                              kBackupMenuKey);
    m_backupMenu->clear();
    const std::vector<std::string> backups = m_session->backups();
    if (backups.empty()) {
        m_backupMenu->addAction(QString::fromStdString(i18n::LookupUiText(i18n::kTextNoBackups)))
            ->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < backups.size() && i < kBackupsListed; ++i) {
        const std::string path = backups[i];
        QAction* action = m_backupMenu->addAction(QString::fromStdString(path));
        connect(action, &QAction::triggered, this, [this, path] { onRestoreBackup(path); });
    }
}

void CQuindleDlg::onRestoreBackup(const std::string& path) {
    std::string error;
    const auto backup = files::readEscBackup(path, error);
    if (!backup) {
        m_prompter->showMessage(error, form::MessageIcon::Warning, form::MessageButtons::Ok);
        return;
    }
    // It overwrites every setting of the ESC: asked first, No the default.
    if (m_prompter->showMessage(i18n::LookupUiText(i18n::kTextRestoreBackupConfirm),
                                form::MessageIcon::Warning, form::MessageButtons::YesNo,
                                form::MessageAnswer::No) != form::MessageAnswer::Yes)
        return;
    if (!m_session->restore(*backup)) {
        showRefusal(m_session->lastResult());
        return;
    }
    showBackup(m_session->pendingBackup());
}

void CQuindleDlg::showBackup(const std::optional<std::string>& backup) {
    if (!backup)
        return;
    const std::string status = m_form->text(form::kEditStatus);
    m_form->setText(form::kEditStatus, status + (status.empty() ? "" : " ") +
                                           i18n::LookupUiText(i18n::kTextBackupSaved) + " " +
                                           *backup);
}

void CQuindleDlg::onEscUpdate() {
    protocol::ProtocolController& control = controller();
    if (!control.requireLinks())
        return;
    // The question about a running update comes before anything changes: No leaves the
    // update running, its timer and its pending acknowledgement untouched.
    if (!control.confirmAbandonUpdate())
        return;
    m_host->stopTimer(transport::kProtocolTimer);
    m_session->link().drainInput();
    form::FileDialogRequest request;
    request.filter = "config Files (*.hgm)|*.hgm;*.bin| all file  (*.*)|*.*||";
    request.initialName = "*.hgm";
    request.defaultExtension = "*.hgm";
    request.mustExist = true;
    const auto path = m_prompter->openFile(request);
    bool started = false;
    if (path) {
        m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextPleaseWait));
        // A refusal ends at once, and is no end of an update to show: heard only once
        // the update is under way (one running before has been abandoned by now). The
        // session keeps a backup first and does not start without one.
        m_updateRunning = false;
        started = m_session->update(*path);
        m_updateRunning = started;
        const session::Result& refused = m_session->lastResult();
        if (started || refused.imageLoad == files::ImageLoadResult::CannotOpen) {
            // An unreadable file is passed over, as the file dialog let it be chosen.
        } else if (refused.imageLoad) {
            m_prompter->showMessage(
                i18n::LookupUiText(*refused.imageLoad == files::ImageLoadResult::TooLong
                                       ? i18n::kTextImageTooLong
                                       : i18n::kTextImageTooShort),
                form::MessageIcon::Warning, form::MessageButtons::Ok);
        } else {
            showRefusal(refused);
        }
        if (!started)
            m_form->setText(form::kEditStatus, "");
    }
    if (started) {
        showBackup(m_session->pendingBackup());
    } else {
        // No image: the link check resumes.
        control.escUpdateCommand(false);
    }
}

void CQuindleDlg::finished(session::Operation operation, const session::Result& result) {
    if (operation == session::Operation::Update && m_updateRunning) {
        m_updateRunning = false;
        if (!result.ok()) {
            // The reason has been shown in its box; the status field says how it ended.
            m_updateDoneAwaitsReading = false;
            m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextUpdateFailed));
            return;
        }
        m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextUpdateDone));
        // The settings of the new firmware are read next, and that reading writes its own
        // status: the success is shown again when it has ended. Last, for it may end at once.
        m_updateDoneAwaitsReading = true;
        m_session->awaitSettings();
        return;
    }
    if (operation == session::Operation::LinkUp && m_updateDoneAwaitsReading) {
        m_updateDoneAwaitsReading = false;
        if (result.ok())
            m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextUpdateDone));
        return;
    }
    // Another operation took over from the reading after the update.
    if (operation != session::Operation::Update)
        m_updateDoneAwaitsReading = false;
}

void CQuindleDlg::adapterHeld(const transport::DeviceHolder& holder) {
    std::string who = holder.program.empty() ? std::string("?") : holder.program;
    if (holder.pid > 0)
        who += " (pid " + std::to_string(holder.pid) + ")";
    m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextAdapterHeld) + " " + who);
}

void CQuindleDlg::onExportData() {
    const auto path = settings::onExportData(*m_form, *m_prompter, controller().linksUp());
    if (path) {
        m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextExportDone) + " " + *path);
    }
}

void CQuindleDlg::onImportData() {
    // Import changes the form only: the status says so until the user sends the settings.
    const auto path = settings::onImportData(*m_form, *m_prompter, controller().linksUp());
    if (path) {
        m_form->setText(form::kEditStatus, i18n::LookupUiText(i18n::kTextImportDone) + " " + *path);
    }
}

void CQuindleDlg::showHelp() {
    // An installed copy keeps the guide in share/tessaro beside lib/tessaro/ (the package,
    // whose launcher in bin/ starts the program there) or beside bin/; a copy run from its
    // source tree starts in resources/, with the guide one level up. The installed places
    // come first: the parent of a per-user working directory is nobody's in particular.
    const QDir programDirectory(QCoreApplication::applicationDirPath());
    const QDir workingDirectory(QString::fromStdString(m_session->workingDirectory()));
    const QString places[] = {
        QDir::cleanPath(programDirectory.filePath(QStringLiteral("../../share/tessaro/README.md"))),
        QDir::cleanPath(programDirectory.filePath(QStringLiteral("../share/tessaro/README.md"))),
        QDir::cleanPath(workingDirectory.filePath(QStringLiteral("../README.md"))),
    };
    for (const QString& place : places) {
        if (QFileInfo(place).isFile()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(place));
            return;
        }
    }
    std::string text = i18n::LookupUiText(i18n::kTextHelpMissing);
    for (const QString& place : places) text += "\n" + place.toStdString();
    m_prompter->showMessage(text, form::MessageIcon::Warning, form::MessageButtons::Ok);
}

void CQuindleDlg::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuindleDlg::deviceChanged(const transport::DeviceEvent& event) {
    m_session->deviceChanged(event);
    // An adapter that came or went may change why the lamp is red, without changing it.
    showLinkProblem();
}

void CQuindleDlg::setAdapterSurvey(devices::AdapterSurvey survey) {
    m_survey = std::move(survey);
}

void CQuindleDlg::linkChanged(bool adapterLinked, bool escLinked) {
    // Versions of what went away are no longer what is connected; they come again when it
    // answers (formCurrentChanged brings back that of an ESC found the same).
    if (!adapterLinked)
        m_form->setText(form::kEditAdapterVersion, "");
    if (!escLinked)
        m_form->setText(form::kEditEscVersion, "");
    noteOpenAdapter(adapterLinked);
    showLamps();
    showLinkProblem();
}

void CQuindleDlg::formCurrentChanged(bool current) {
    m_formStale = !current;
    // Greyed, the form keeps what it shows, changes not yet sent included: they may be sent
    // once the same ESC is back.
    m_form->setGreyed(form::kParameterValueControls, !current);
    if (!current)
        return;
    // An ESC found the same after a silence is not asked for its version again.
    const protocol::ProtocolController& control = controller();
    if (m_form->text(form::kEditEscVersion).empty() &&
        control.escInfo().family != settings::kFamilyAbc) {
        m_form->setText(form::kEditEscVersion,
                        protocol::formatEscVersion(control.escVersionReply().data()));
    }
}

void CQuindleDlg::unsentChangesAfterLoss(bool kept) {
    // Over the reading's own status: what became of the user's changes matters more.
    m_form->setText(form::kEditStatus,
                    i18n::LookupUiText(kept ? i18n::kTextChangesKept : i18n::kTextChangesReplaced));
}

CQuindleDlg::LinkProblem CQuindleDlg::linkProblem(std::string& details) const {
    const protocol::ProtocolController& control = m_session->controller();
    if (control.adapterLinked())
        return control.escLinked() ? LinkProblem::None : LinkProblem::NoEsc;
    if (m_session->link().isOpen())
        return LinkProblem::Opening;  // opened: its answer is awaited
    std::vector<devices::AdapterReport> adapters;
    if (m_survey) {
        adapters = m_survey();
    } else if (m_port->deviceCount(transport::kAdapterVendorId, transport::kAdapterProductId) > 0) {
        adapters.emplace_back().openable = true;
    }
    if (adapters.empty()) {
        // A device that names its adapter waits for that one only: the tooltip says which.
        const devices::AdapterSelection named = devices::selectionOf(*m_port);
        if (named.named())
            details +=
                "\n" + QString(uiText(i18n::kTextAdapterNamed, "Only the adapter %1 is used."))
                           .arg(QString::fromStdString(named.text()))
                           .toStdString();
        return LinkProblem::NoAdapter;
    }
    for (const devices::AdapterReport& adapter : adapters) {
        if (adapter.openable)
            return LinkProblem::Opening;  // the next open attempt takes it
    }
    for (const devices::AdapterReport& adapter : adapters) {
        details += "\n" + adapter.path + " (" + devices::usbIds(adapter) + "): " + adapter.reason;
        if (!adapter.fix.empty())
            details += "\n" + adapter.fix;
    }
    switch (adapters.front().access) {
        case devices::AdapterAccess::NoPermission:
            return LinkProblem::NoAccess;
        case devices::AdapterAccess::Busy:
            return LinkProblem::Busy;
        default:
            return LinkProblem::OpenFailed;
    }
}

void CQuindleDlg::followReplay(devices::ReplayPort* replay) {
    m_replay = replay;
    if (replay == nullptr)
        return;
    replay->setEndHandler([this](const std::string& difference) {
        QMetaObject::invokeMethod(
            this, [this, difference] { showReplayEnd(difference); }, Qt::QueuedConnection);
    });
}

void CQuindleDlg::showReplayEnd(const std::string& difference) {
    m_replayEnd =
        i18n::LookupUiText(difference.empty() ? i18n::kTextReplayEnded : i18n::kTextReplayDiffers);
    m_form->setText(form::kEditStatus, m_replayEnd);
    if (!difference.empty()) {
        m_prompter->showMessage(m_replayEnd + "\n\n" + difference, form::MessageIcon::Warning,
                                form::MessageButtons::Ok, form::MessageAnswer::Ok);
    }
}

void CQuindleDlg::showLinkProblem() {
    // After a replay's end its reason stays: the adapter it took away is no problem to fix.
    if (!m_replayEnd.empty()) {
        if (m_form->text(form::kEditStatus) != m_replayEnd)
            m_form->setText(form::kEditStatus, m_replayEnd);
        return;
    }
    std::string details;
    const LinkProblem problem = linkProblem(details);
    if (problem == m_problemShown)
        return;  // said already; what was written since stays
    m_problemShown = problem;
    const char* key = nullptr;
    switch (problem) {
        case LinkProblem::NoAdapter:
            key = i18n::kTextNoAdapter;
            break;
        case LinkProblem::NoAccess:
            key = i18n::kTextAdapterNoAccess;
            break;
        case LinkProblem::Busy:
            key = i18n::kTextAdapterBusy;
            break;
        case LinkProblem::OpenFailed:
            key = i18n::kTextAdapterOpenFailed;
            break;
        case LinkProblem::NoEsc:
            key = i18n::kTextEscNoAnswer;
            break;
        case LinkProblem::None:
        case LinkProblem::Opening:
            break;
    }
    if (key == nullptr) {
        // Nothing in the way now: a reason still shown goes; anything else stays.
        if (!m_problemText.empty() && m_form->text(form::kEditStatus) == m_problemText)
            m_form->setText(form::kEditStatus, "");
        m_problemText.clear();
        return;
    }
    // The reason replaces what the status said: an outcome of the link that went away.
    m_problemText = i18n::LookupUiText(key);
    m_form->setText(form::kEditStatus, m_problemText);
    if (auto* status = qobject_cast<QLineEdit*>(m_form->widget(form::kEditStatus)))
        status->setToolTip(QString::fromStdString(m_problemText + details));
}

void CQuindleDlg::pollDeviceEvents() {
    for (const transport::DeviceEvent& e : m_events.read()) deviceChanged(e);
}

void CQuindleDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter on a push button or a toolbar button presses it; in a drop-down list it
        // does nothing (a choice is made there, not the window closed); anywhere else it
        // closes the window (OK), asking first when that would lose changes (done()).
        QWidget* focus = focusWidget();
        if (qobject_cast<QPushButton*>(focus) || qobject_cast<QToolButton*>(focus)) {
            static_cast<QAbstractButton*>(focus)->click();
        } else if (!qobject_cast<QComboBox*>(focus)) {
            accept();
        }
        return;
    }
    // Escape closes the window through reject(), and so through done() as well.
    QDialog::keyPressEvent(event);
}

bool CQuindleDlg::confirmClose() {
    // An ESC left half-flashed may need a hardware programmer: closing during an update
    // asks first, and No (the default) keeps the window and the update running.
    if (controller().updateInProgress()) {
        return m_prompter->showMessage(i18n::LookupUiText(i18n::kTextConfirmCloseUpdate),
                                       form::MessageIcon::Warning, form::MessageButtons::YesNo,
                                       form::MessageAnswer::No) == form::MessageAnswer::Yes;
    }
    // Settings changed on the form but not sent would be lost without a word: No (the
    // default) keeps the window and the changes.
    if (m_session->unsentChanges()) {
        return m_prompter->showMessage(i18n::LookupUiText(i18n::kTextConfirmDiscardChanges),
                                       form::MessageIcon::Question, form::MessageButtons::YesNo,
                                       form::MessageAnswer::No) == form::MessageAnswer::Yes;
    }
    return true;
}

void CQuindleDlg::done(int result) {
    if (!m_closed && !confirmClose())
        return;
    if (!m_closed) {
        m_closed = true;
        m_session->closeLink();
    }
    QDialog::done(result);
}

}  // namespace app
