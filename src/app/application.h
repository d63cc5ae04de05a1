#pragma once
// The application: one copy per user, the main window run modally, the device taken
// from the command line (--device URI; the USB link adapter when none is given).

#include <QApplication>
#include <QString>
#include <optional>

#include "devices/device_uri.h"

namespace app {

// The device the window opens when the command line names none: the real adapter, so
// that nobody configures the simulated ESC believing it is theirs.
inline constexpr const char* kWindowDefaultDevice = devices::kDefaultDeviceUri;

struct StartOptions {
    QString device;
    QString record;  // --record FILE: the device's reports into FILE
    bool help = false;
    QString error;  // non-empty: the command line was not understood
};

StartOptions parseStartOptions(const QStringList& arguments);
const char* usageText();

class CQuindleApp final : public QApplication {
    Q_OBJECT
  public:
    CQuindleApp(int& argc, char** argv);
    // Runs the program with options parseStartOptions accepted; the process's exit code.
    int startApplication(const StartOptions& options);
};

}  // namespace app
