#pragma once
// The application: one copy per user, the main window run modally, the device taken
// from the command line (--device URI; the built-in simulated ESC when none is given).

#include <QApplication>
#include <QString>
#include <optional>

namespace app {

// The device the window should open when the command line names none.
inline constexpr const char* kWindowDefaultDevice = "sim:family=3";

struct StartOptions {
    QString device;
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
