// The window on a replayed device: a departure from the recording is shown in the status
// field and a message box with both reports, a recording that runs out in the status
// field alone.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>
#include <string>

#include "app/main_window_fixture.h"
#include "devices/replay_port.h"
#include "form/control_ids.h"
#include "i18n/ui_text.h"

namespace {

using testing_support::MainWindow;

struct ReplayEnd {
    const char* name;
    const char* recording;  // after the header
    const char* statusKey;
    bool box;  // a message box with both reports
};

TEST_F(MainWindow, AReplaysEndIsShownInTheStatusField) {
    const ReplayEnd cases[] = {
        // The window sends the connect report; the recording has another one.
        {"a difference", "0 present 1\n0 open 65 63\n0 C fd434f4e4f\n", i18n::kTextReplayDiffers,
         true},
        // The recording ends before the window's first open.
        {"the end", "0 present 1\n", i18n::kTextReplayEnded, false},
    };
    for (const ReplayEnd& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = m_dir + "/replay.rec";
        std::ofstream(file) << "tessaro-recording 1\n" << c.recording;
        prompter.messages.clear();
        open("replay:" + file);
        runUntil([] { return false; }, 2000);
        QCoreApplication::processEvents();  // the queued call that tells the end
        EXPECT_EQ(window->form().text(form::kEditStatus), i18n::LookupUiText(c.statusKey));
        ASSERT_EQ(prompter.messages.size(), c.box ? 1u : 0u);
        if (c.box) {
            const std::string& text = prompter.messages[0].text;
            EXPECT_NE(text.find("  recorded: C fd434f4e4f\n  sent:     C fd434f4e4e\n"),
                      std::string::npos)
                << text;
        }
        // Later link problems do not take the reason away.
        runUntil([] { return false; }, 2000);
        EXPECT_EQ(window->form().text(form::kEditStatus), i18n::LookupUiText(c.statusKey));
        window.reset();
    }
}

}  // namespace
