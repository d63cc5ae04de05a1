// Saves pictures of the main window for the documentation: the form of a linked ESC of
// families 1 (aircraft, with the calculator), 3 (turbo car), 5 (multirotor, with its end
// points) and 7, each in English and Chinese. Runs the window on the simulated ESC and a
// virtual clock, from a copy of the shipped resources.
//   tessaro-screenshots RESOURCES_DIR OUTPUT_DIR

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "devices/device_uri.h"
#include "form/control_ids.h"

namespace {

namespace fs = std::filesystem;

bool shoot(const QString& uri, bool chinese, const QString& file) {
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    if (!devices::openDeviceUri(uri.toStdString(), clock, device, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    app::CQuindleDlg window(std::move(device.port), app::DeviceEventSource{}, nullptr, &clock);
    window.initDialog();
    window.setSimulated(true);
    window.runCommand(chinese ? form::kCmdLanguageChinese : form::kCmdLanguageEnglish);
    window.host().runUntil([&] { return window.controller().settingsLoaded(); }, 5000);
    window.host().runFor(300);
    window.show();
    QApplication::processEvents();
    const bool saved = window.grab().save(file);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(file));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("WenQuanYi Micro Hei")});
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessaro-screenshots RESOURCES_DIR OUTPUT_DIR\n");
        return 1;
    }
    const fs::path output = fs::absolute(argv[2]);
    fs::create_directories(output);
    const fs::path work = fs::temp_directory_path() / "tessaro-screenshots";
    fs::remove_all(work);
    fs::copy(argv[1], work, fs::copy_options::recursive);
    fs::current_path(work);
    const QString out = QString::fromStdString(output.string());
    bool ok = true;
    for (const int family : {1, 3, 5, 7}) {
        for (const bool chinese : {false, true}) {
            ok &= shoot(QStringLiteral("sim:family=%1").arg(family), chinese,
                        out + QStringLiteral("/window-family%1-%2.png")
                                  .arg(family)
                                  .arg(chinese ? QStringLiteral("zh") : QStringLiteral("en")));
        }
    }
    fs::current_path(output);
    fs::remove_all(work);
    return ok ? 0 : 1;
}
