// Drives the real window through a user's day on a simulated ESC, on the real clock, so
// that a memory checker can watch it (scripts/memcheck.sh runs it under valgrind): it
// waits for the link-up and the ESC's settings, then runs Read Setting, Send Setting and
// ESC Update with a generated firmware image, each to its end, changes the language to
// Chinese and back, and closes the window.
// It works in a scratch folder holding a copy of the resources, where the backups made
// before the update and the language file's marks go; the folder is removed at the end.
//   tessaro-window-drive RESOURCES_DIR [DEVICE_URI] [TIMEOUT_SECONDS]
// Exit status 0 when every step ended well, 1 when one did not, 2 on a usage error.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

#include "app/main_window.h"
#include "devices/device_uri.h"
#include "form/control_ids.h"
#include "form/prompter.h"
#include "session/session.h"

namespace {

constexpr int kDefaultTimeoutSeconds = 60;  // per step; a memory checker slows all down
constexpr std::size_t kImageBytes = 3000;   // a few blocks and a short last one

// Every question is answered Yes (or OK), and the one file asked for is the image.
class DrivePrompter final : public form::Prompter {
  public:
    std::string imagePath;

    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon,
                                    form::MessageButtons buttons, form::MessageAnswer) override {
        std::printf("     message: %s\n", text.c_str());
        return buttons == form::MessageButtons::YesNo ? form::MessageAnswer::Yes
                                                      : form::MessageAnswer::Ok;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return imagePath;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
};

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

int g_failures = 0;

void check(bool holds, const std::string& what) {
    std::printf("%s %s\n", holds ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!holds)
        ++g_failures;
}

// Runs the command of a button and waits for its operation to end; true when it ended Ok.
bool runToTheEnd(app::CQuindleDlg& window, int commandId, const char* name, int timeoutMs) {
    session::Session& session = window.session();
    window.runCommand(commandId);
    const bool ended = waitUntil([&] { return !session.busy(); }, timeoutMs);
    const session::Result& result = session.lastResult();
    check(ended && result.ok(), std::string(name) + ": " +
                                    (ended ? session::outcomeName(result.outcome) : "no end") +
                                    (result.message.empty() ? "" : " (" + result.message + ")"));
    return ended && result.ok();
}

// The resources, copied into the scratch folder the window runs in.
bool copyResources(const std::string& from, const QString& to) {
    std::error_code ec;
    std::filesystem::copy(from, to.toStdString(), std::filesystem::copy_options::recursive, ec);
    if (ec)
        std::fprintf(stderr, "tessaro-window-drive: cannot copy %s: %s\n", from.c_str(),
                     ec.message().c_str());
    return !ec;
}

void writeImage(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < kImageBytes; ++i) out.put(static_cast<char>(i * 13 + 5));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr,
                     "usage: tessaro-window-drive RESOURCES_DIR [DEVICE_URI] [TIMEOUT_SECONDS]\n");
        return 2;
    }
    const std::string uri = argc > 2 ? argv[2] : "sim:family=3";
    const int timeoutMs = 1000 * (argc > 3 ? std::atoi(argv[3]) : kDefaultTimeoutSeconds);
    QTemporaryDir scratch;
    if (!scratch.isValid() || !copyResources(argv[1], scratch.path()))
        return 2;
    QDir::setCurrent(scratch.path());

    transport::SteadyClock clock;
    devices::Device device;
    std::string error;
    if (!devices::openDeviceUri(uri, clock, device, error)) {
        std::fprintf(stderr, "tessaro-window-drive: %s\n", error.c_str());
        return 2;
    }
    DrivePrompter prompter;
    prompter.imagePath = scratch.filePath(QStringLiteral("firmware.hgm")).toStdString();
    writeImage(prompter.imagePath);
    {
        app::CQuindleDlg window(std::move(device.port), app::DeviceEventSource{}, &prompter);
        window.initDialog();
        window.setSimulated(true);
        window.show();

        const bool linked =
            waitUntil([&] { return window.controller().settingsLoaded(); }, timeoutMs);
        check(linked, "link-up: the ESC's settings shown");
        if (linked) {
            runToTheEnd(window, form::kButtonReadSetting, "Read Setting", timeoutMs);
            runToTheEnd(window, form::kButtonSendSetting, "Send Setting", timeoutMs);
            const uint32_t readsBeforeUpdate = window.controller().settingsReadCount();
            if (runToTheEnd(window, form::kButtonEscUpdate, "ESC Update", timeoutMs)) {
                // The new firmware's settings are read after it.
                check(
                    waitUntil(
                        [&] { return window.controller().settingsReadCount() > readsBeforeUpdate; },
                        timeoutMs),
                    "the settings read after the update");
            }
            // Every text of the window anew, in Chinese (other fonts) and back; each change
            // reads the ESC again to fill the lists in the new language.
            for (const int language : {form::kCmdLanguageChinese, form::kCmdLanguageEnglish}) {
                const uint32_t reads = window.controller().settingsReadCount();
                window.runCommand(language);
                check(waitUntil([&] { return window.controller().settingsReadCount() > reads; },
                                timeoutMs),
                      language == form::kCmdLanguageChinese ? "the window in Chinese, read again"
                                                            : "the window in English, read again");
            }
        }
        window.reject();
    }
    std::printf("%s\n", g_failures == 0 ? "every step ended well" : "some steps failed");
    return g_failures == 0 ? 0 : 1;
}
