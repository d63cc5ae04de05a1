#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "app/about_box.h"
#include "files/settings_file.h"
#include "form/control_ids.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"
#include "sim/device_uri.h"
#include "support/scripted_prompter.h"

namespace {

namespace fs = std::filesystem;

// Runs the window in a copy of the shipped resources, on the simulated ESC and a
// virtual clock, so minutes of protocol take microseconds.
class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessaro-window-XXXXXX";
        m_dir = mkdtemp(pattern);
        fs::copy(TESSARO_RESOURCES_DIR, m_dir, fs::copy_options::recursive);
        m_previous = fs::current_path();
        fs::current_path(m_dir);
    }
    void TearDown() override {
        window.reset();
        fs::current_path(m_previous);
        fs::remove_all(m_dir);
    }
    void open(const std::string& uri = "sim:family=3") {
        sim::Device device;
        std::string error;
        ASSERT_TRUE(sim::openDeviceUri(uri, clock, device, error)) << error;
        emulator = device.emulator;
        window = std::make_unique<app::CQuindleDlg>(std::move(device.port),
                                                    app::DeviceEventSource{}, &prompter, &clock);
        window->initDialog();
    }
    bool runUntil(const std::function<bool()>& done, uint32_t ms = 10000) {
        return window->host().runUntil(done, ms);
    }
    bool linkedAndRead() {
        const uint32_t reads = window->controller().settingsReadCount();
        return runUntil([&] { return window->controller().settingsReadCount() > reads; });
    }

    transport::VirtualClock clock;
    testing_support::ScriptedPrompter prompter;
    std::shared_ptr<sim::EscEmulator> emulator;
    std::unique_ptr<app::CQuindleDlg> window;
    std::string m_dir;
    fs::path m_previous;
};

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);

TEST_F(MainWindow, OpensWithBothLampsRedAndTheCompactLayout) {
    open("sim:family=3,adapter=none");
    EXPECT_EQ(window->usbLampColour(), kRed);
    EXPECT_EQ(window->escLampColour(), kRed);
    EXPECT_FALSE(window->form().isVisible(form::kGroupAdvanced));
    EXPECT_FALSE(window->form().isVisible(form::kComboTurboTiming));
    EXPECT_FALSE(window->windowTitle().isEmpty());
    // The first open attempt comes 500 ms after start-up; the adapter never answers.
    runUntil([] { return false; }, 2000);
    EXPECT_EQ(window->usbLampColour(), kRed);
    // The lamps sit at the hidden anchor frame 1011, 20 pixels square, 30 apart.
    const form::Rect anchor = window->form().controlRect(form::kFrameLampAnchor);
    EXPECT_EQ(window->usbLampRect(), QRect(anchor.left, anchor.top, 20, 20));
    EXPECT_EQ(window->escLampRect(), QRect(anchor.left, anchor.top + 30, 20, 20));
}

TEST_F(MainWindow, LampsTurnGreenOneAfterTheOtherAndTheFormFills) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().adapterLinked(); }));
    EXPECT_EQ(window->usbLampColour(), kGreen);
    EXPECT_EQ(window->escLampColour(), kRed);
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    EXPECT_EQ(window->escLampColour(), kGreen);
    EXPECT_FALSE(window->form().text(form::kEditEscVersion).empty());
    EXPECT_FALSE(window->form().text(form::kEditAdapterVersion).empty());
    // Family 3 shows the turbo layout with its captions, items and values.
    EXPECT_TRUE(window->form().isVisible(form::kGroupAdvanced));
    EXPECT_FALSE(window->form().text(form::kLabelMotorTiming).empty());
    EXPECT_GT(window->form().itemCount(form::kComboMotorTiming), 1);
    EXPECT_GE(window->form().selection(form::kComboMotorTiming), 0);
}

TEST_F(MainWindow, ReadSendAndRestoreDefaultWorkEndToEnd) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    const int before = window->form().selection(form::kComboStartAccel);
    const int wanted = before == 1 ? 2 : 1;
    window->form().setSelection(form::kComboStartAccel, wanted);
    window->runCommand(form::kButtonSendSetting);
    ASSERT_TRUE(linkedAndRead()) << (prompter.messages.empty() ? "" : prompter.messages[0].text);
    EXPECT_EQ(window->form().selection(form::kComboStartAccel), wanted);

    window->runCommand(form::kButtonReadSetting);
    ASSERT_TRUE(linkedAndRead());
    EXPECT_EQ(window->form().selection(form::kComboStartAccel), wanted);

    window->runCommand(form::kCmdRestoreDefault);
    // The choices the defaults overwrite are kept in backups/ first, and the status says so.
    const std::string status = window->form().text(form::kEditStatus);
    EXPECT_NE(status.find("backups/"), std::string::npos) << status;
    ASSERT_TRUE(fs::is_directory("backups"));
    const auto backup = fs::directory_iterator("backups")->path();
    files::SettingsFileError error{};
    const auto saved = files::SettingsFile::read(backup.string(), error);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->bytes[0], wanted);  // byte 0: start-up acceleration
    ASSERT_TRUE(linkedAndRead());
    EXPECT_EQ(window->form().selection(form::kComboStartAccel), before);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MainWindow, SwitchingLanguageRecaptionsAndReadsAgain) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    const std::string english = window->form().text(form::kButtonReadSetting);
    const uint32_t reads = window->controller().settingsReadCount();
    window->runCommand(form::kCmdLanguageChinese);
    EXPECT_NE(window->form().text(form::kButtonReadSetting), english);
    EXPECT_EQ(window->form().menuItemState(form::kCmdLanguageChinese),
              form::MenuItemState::Checked);
    EXPECT_EQ(i18n::ProfileFile::readString(i18n::g_languageFilePath, "set", "lang_sel", ""), "1");
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsReadCount() > reads; }));
    window->runCommand(form::kCmdLanguageEnglish);
    EXPECT_EQ(window->form().text(form::kButtonReadSetting), english);
}

TEST_F(MainWindow, ToolbarButtonsIssueTheirCommands) {
    open();
    const auto& buttons = window->toolButtons();
    ASSERT_EQ(buttons.size(), 6u);
    for (QToolButton* b : buttons) EXPECT_FALSE(b->icon().isNull());
    EXPECT_EQ(buttons[4]->toolTip(), " Defaule Data");
    buttons[1]->click();  // Chinese
    EXPECT_EQ(window->form().menuItemState(form::kCmdLanguageChinese),
              form::MenuItemState::Checked);
    buttons[0]->click();  // English
    EXPECT_EQ(window->form().menuItemState(form::kCmdLanguageEnglish),
              form::MenuItemState::Checked);
    buttons[4]->click();  // Restore Default Data with the link down: the warning only
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, form::MessageIcon::Warning);
    buttons[5]->click();  // Exit
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindow, AMissingPictureMovesTheLaterOnesUp) {
    fs::remove("res/Chinese.bmp");
    open();
    const auto& buttons = window->toolButtons();
    EXPECT_FALSE(buttons[4]->icon().isNull());
    EXPECT_TRUE(buttons[5]->icon().isNull());
}

TEST_F(MainWindow, EnterAtStartUpClosesTheWindow) {
    open();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindow, EnterOnAPushButtonPressesIt) {
    open();
    window->form().widget(form::kButtonReadSetting)->setFocus();
    QTest::keyClick(window->form().widget(form::kButtonReadSetting), Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(prompter.messages.size(), 1u);  // Read Setting with the link down
}

TEST_F(MainWindow, TheGovernorValueTurnsRedAboveTheCalculatorResult) {
    open();
    auto* edit = qobject_cast<QLineEdit*>(window->form().widget(form::kEditGovernor));
    ASSERT_NE(edit, nullptr);
    window->form().setText(form::kEditGovernor, "5000");  // above 4160
    EXPECT_EQ(edit->palette().color(QPalette::Text), kRed);
    window->form().setText(form::kEditGovernor, "3000");
    EXPECT_NE(edit->palette().color(QPalette::Text), kRed);
}

void writeImage(const std::string& path, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 13));
}

TEST_F(MainWindow, EscUpdateFlashesTheChosenImage) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    writeImage("fw.hgm", 2000);
    prompter.fileAnswers.push_back(m_dir + "/fw.hgm");
    window->runCommand(form::kButtonEscUpdate);
    ASSERT_EQ(prompter.openRequests.size(), 1u);
    EXPECT_EQ(prompter.openRequests[0].filter,
              "config Files (*.hgm)|*.hgm;*.bin| all file  (*.*)|*.*||");
    EXPECT_TRUE(window->controller().updateInProgress());
    ASSERT_TRUE(runUntil([&] { return !window->controller().updateInProgress(); }, 60000));
    EXPECT_EQ(window->controller().protocolState(), 2);
    const std::vector<uint8_t>& received = emulator->firmware().image();
    ASSERT_EQ(received.size(), 2000u);
    for (std::size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i], static_cast<uint8_t>((i * 13) ^ 0xB7)) << i;
    }
    EXPECT_EQ(window->form().text(form::kLabelUpdatePercent), "");
}

TEST_F(MainWindow, RefusedImagesAndCancelResumeTheLinkCheck) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    writeImage("small.bin", 512);
    prompter.fileAnswers.push_back(m_dir + "/small.bin");
    window->runCommand(form::kButtonEscUpdate);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, i18n::LookupUiText(i18n::kTextImageTooShort));
    EXPECT_FALSE(window->controller().updateInProgress());
    EXPECT_EQ(window->controller().protocolState(), 2);
    window->runCommand(form::kButtonEscUpdate);  // cancelled
    EXPECT_EQ(window->controller().protocolState(), 2);
    EXPECT_EQ(window->host().period(transport::kProtocolTimer), 30u);
    EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(MainWindow, ClosingDuringAnUpdateAsksFirst) {
    open();
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    writeImage("fw.hgm", 4000);
    prompter.fileAnswers.push_back(m_dir + "/fw.hgm");
    window->runCommand(form::kButtonEscUpdate);
    window->host().runFor(300);
    ASSERT_TRUE(window->controller().updateInProgress());
    prompter.messageAnswers.push_back(form::MessageAnswer::No);
    window->runCommand(form::kCmdExit);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].buttons, form::MessageButtons::YesNo);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->controller().updateInProgress());
    prompter.messageAnswers.push_back(form::MessageAnswer::Yes);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->link().isOpen());
}

// Catches what the About box hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST_F(MainWindow, TheAboutBoxIsTheSameInBothLanguagesAndItsLinkOpensTheBrowser) {
    open();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QStringList texts[2];
    for (int chinese = 0; chinese < 2; ++chinese) {
        window->runCommand(chinese ? form::kCmdLanguageChinese : form::kCmdLanguageEnglish);
        app::CAboutDlg about(window.get());
        for (QLabel* label : about.findChildren<QLabel*>()) texts[chinese] << label->text();
        EXPECT_TRUE(texts[chinese].contains("Tessaro"));
        EXPECT_TRUE(texts[chinese].filter("Ver 3.04").size() == 1);
        EXPECT_TRUE(texts[chinese].filter("hidapi").size() == 1);
        auto* link = qobject_cast<QLabel*>(about.form()->widget(form::about::kLabelWebLink));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_TRUE(link->font().underline());
        EXPECT_TRUE(link->font().bold());
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 50, 255));
        about.show();
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_TRUE(about.isVisible());  // the box stays open
    }
    EXPECT_EQ(texts[0], texts[1]);
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0].toString(), form::aboutBoxLayout().controls[2].caption.data());
    QDesktopServices::unsetUrlHandler("https");
}

TEST_F(MainWindow, NoVisibleControlIsCutOffInEitherLayout) {
    for (const char* uri : {"sim:family=3,adapter=none", "sim:family=3"}) {
        open(uri);
        runUntil([&] { return window->controller().settingsLoaded(); }, 3000);
        window->show();
        const QRect area = window->form().canvas()->rect();
        for (const auto& entry : form::mainWindowLayout().controls) {
            QWidget* w = window->form().widget(entry.id);
            if (w->isHidden())
                continue;
            EXPECT_TRUE(area.contains(w->geometry())) << uri << " control " << entry.id;
        }
        window.reset();
    }
}

}  // namespace

#include "main_window_test.moc"
