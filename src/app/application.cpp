#include "app/application.h"

#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>

#include "app/main_window.h"
#include "app/picture_file.h"
#include "app/single_instance.h"
#include "devices/device_uri.h"
#include "devices/recording_port.h"

namespace app {

namespace {

constexpr const char* kUsage =
    "Usage: tessaro [--device URI] [--record FILE]\n"
    "  --device hid            the link adapter on USB (the default; of several, the\n"
    "                          last one listed)\n"
    "  --device hid:NODE       that USB adapter only: hid:/dev/hidraw3, hid:serial=ABC123\n"
    "  --device sim[:k=v,...]  the built-in simulated adapter and ESC, e.g. sim:family=3\n"
    "  --device socket:PATH    an adapter served over a Unix socket\n"
    "  --device replay:FILE    an adapter that answers as a recording made with --record\n"
    "  --record FILE           write every report to and from the adapter, with its time,\n"
    "                          into FILE\n";

}  // namespace

const char* usageText() {
    return kUsage;
}

StartOptions parseStartOptions(const QStringList& arguments) {
    StartOptions options;
    options.device = QString::fromLatin1(kWindowDefaultDevice);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--device" && i + 1 < arguments.size()) {
            options.device = arguments[++i];
        } else if (a.startsWith("--device=")) {
            options.device = a.mid(9);
        } else if (a == "--record" && i + 1 < arguments.size()) {
            options.record = arguments[++i];
        } else if (a.startsWith("--record=") && a.size() > 9) {
            options.record = a.mid(9);
        } else {
            options.error = QStringLiteral("unknown argument: %1").arg(a);
        }
    }
    return options;
}

CQuindleApp::CQuindleApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kProgramName));
    // No display name of its own: the platform would append it to every window title,
    // which already holds the program's name ("Tessaro — Tessaro"). The display name then
    // reads as the application name, which message boxes take for their title.
    setApplicationVersion(QStringLiteral(TESSARO_VERSION));
    setWindowIcon(QIcon(QPixmap::fromImage(readPicture(QStringLiteral("tessaro.png")))));
    // The Chinese texts ask for 宋体; use the closest face this system has.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("WenQuanYi Micro Hei")});
}

int CQuindleApp::startApplication(const StartOptions& options) {
    SingleInstance instance;
    if (!instance.claim())
        return 0;  // the running copy comes to the front instead

    transport::SteadyClock simulationClock;
    devices::Device device;
    std::string error;
    if (!devices::openDeviceUri(options.device.toStdString(), simulationClock, device, error)) {
        std::fprintf(stderr, "tessaro: %s\n", error.c_str());
        return 1;
    }
    // Before anything is sent: a recording that cannot be made ends the start.
    if (!options.record.isEmpty() &&
        !devices::startRecording(device, options.record.toStdString(), simulationClock,
                                 "tessaro " TESSARO_VERSION, error)) {
        std::fprintf(stderr, "tessaro: %s\n", error.c_str());
        return 1;
    }
    // The device's own source of arrivals and removals, if it has one; `device` keeps it
    // alive (the port's part moves into the window) until the window has closed.
    DeviceEventSource events;
    if (transport::DeviceChangeSource* changes = device.changes) {
        events.fd = changes->watchFd();
        events.read = [changes] { return changes->takeChanges(); };
    }

    const bool simulated = device.kind == devices::DeviceKind::Simulated;
    // Asked while the adapter lamp is red; the port it asks lives as long as the window.
    devices::AdapterSurvey survey = devices::adapterSurvey(device.kind, *device.port);
    CQuindleDlg window(std::move(device.port), std::move(events));
    window.setAdapterSurvey(std::move(survey));
    QObject::connect(&instance, &SingleInstance::showRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.followReplay(device.replay);
    window.initDialog();
    window.setSimulated(simulated);
    window.exec();
    return 0;
}

}  // namespace app
