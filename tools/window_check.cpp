// Checks the window as a desktop shows it: run under an X server with a window manager,
// it starts the window on a simulated ESC on the real clock, waits until the ESC's
// settings are shown, and checks that the window lies wholly inside the screen's available
// area with Read Setting, Send Setting and ESC Update visible in it; then it changes the
// language several times and checks that the window stays where it is. Saves a picture of
// the whole screen at the end.
//   tessaro-window-check RESOURCES_DIR [DEVICE_URI] [PICTURE]
// Exit status 0 when every check holds, 1 otherwise.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "devices/device_uri.h"
#include "form/control_ids.h"

namespace {

constexpr int kSettleMs = 1500;       // time a window manager gets to place and frame
constexpr int kLinkTimeoutMs = 8000;  // start to a filled form, at most
constexpr int kLanguageChanges = 3;

void waitFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        waitFor(20);
    }
    return true;
}

QString describe(const QRect& r) {
    return QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

int g_failures = 0;

void check(bool holds, const QString& what) {
    std::printf("%s %s\n", holds ? "ok  " : "FAIL", qPrintable(what));
    if (!holds)
        ++g_failures;
}

// The window inside the available area, and each command button wholly visible in it.
void checkPlacement(app::CQuindleDlg& window, const QString& when) {
    const QRect area = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    QWidget* canvas = window.form().canvas();
    std::printf("     client %s, form %dx%d in a view of %dx%d\n",
                qPrintable(describe(window.geometry())), canvas->minimumWidth(),
                canvas->minimumHeight(), canvas->parentWidget()->width(),
                canvas->parentWidget()->height());
    check(area.contains(frame), QStringLiteral("%1: window %2 inside the available area %3")
                                    .arg(when, describe(frame), describe(area)));
    const std::pair<form::ControlId, const char*> buttons[] = {
        {form::kButtonReadSetting, "Read Setting"},
        {form::kButtonSendSetting, "Send Setting"},
        {form::kButtonEscUpdate, "ESC Update"},
    };
    for (const auto& [id, name] : buttons) {
        QWidget* button = window.form().widget(id);
        if (button == nullptr || !button->isVisible()) {
            check(false, QStringLiteral("%1: %2 shown").arg(when, QLatin1String(name)));
            continue;
        }
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        // Wholly visible: not clipped by the scrolling form area, and on the screen.
        const bool unclipped = button->visibleRegion().boundingRect() == button->rect();
        check(unclipped && area.contains(onScreen),
              QStringLiteral("%1: %2 at %3 wholly visible")
                  .arg(when, QLatin1String(name), describe(onScreen)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: tessaro-window-check RESOURCES_DIR [DEVICE_URI] [PICTURE]\n");
        return 2;
    }
    QDir::setCurrent(QString::fromLocal8Bit(argv[1]));
    const std::string uri = argc > 2 ? argv[2] : "sim:family=3";
    const QString picture = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    transport::SteadyClock clock;
    devices::Device device;
    std::string error;
    if (!devices::openDeviceUri(uri, clock, device, error)) {
        std::fprintf(stderr, "tessaro-window-check: %s\n", error.c_str());
        return 2;
    }
    app::CQuindleDlg window(std::move(device.port), app::DeviceEventSource{});
    window.initDialog();
    window.setSimulated(true);
    const QRect screen = window.screen()->geometry();
    std::printf("screen %s, available %s, platform %s\n", qPrintable(describe(screen)),
                qPrintable(describe(window.screen()->availableGeometry())),
                qPrintable(QGuiApplication::platformName()));

    waitFor(kSettleMs);
    std::printf("     at start: frame %s client %s\n", qPrintable(describe(window.frameGeometry())),
                qPrintable(describe(window.geometry())));
    check(waitUntil([&] { return window.controller().settingsLoaded(); }, kLinkTimeoutMs),
          QStringLiteral("the ESC's settings shown within %1 ms").arg(kLinkTimeoutMs));
    waitFor(kSettleMs);
    checkPlacement(window, QStringLiteral("after the read"));
    const QPoint placed = window.frameGeometry().topLeft();

    for (int i = 1; i <= kLanguageChanges; ++i) {
        const bool chinese = i % 2 == 1;
        window.runCommand(chinese ? form::kCmdLanguageChinese : form::kCmdLanguageEnglish);
        waitFor(kSettleMs);
        const QString when =
            QStringLiteral("language change %1 (%2)").arg(i).arg(chinese ? "Chinese" : "English");
        checkPlacement(window, when);
        const QPoint now = window.frameGeometry().topLeft();
        check(now == placed, QStringLiteral("%1: window stays at %2,%3 (now %4,%5)")
                                 .arg(when)
                                 .arg(placed.x())
                                 .arg(placed.y())
                                 .arg(now.x())
                                 .arg(now.y()));
    }
    if (!picture.isEmpty())
        window.screen()->grabWindow(0).save(picture);
    window.reject();
    std::printf("%s\n", g_failures == 0 ? "all checks hold" : "some checks failed");
    return g_failures == 0 ? 0 : 1;
}
