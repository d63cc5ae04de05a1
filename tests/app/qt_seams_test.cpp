#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "app/application.h"
#include "app/qt_prompter.h"
#include "app/single_instance.h"

namespace {

TEST(QtNameFilters, WindowsFiltersBecomeQtFilters) {
    struct Case {
        const char* windows;
        QStringList qt;
    };
    const Case cases[] = {
        {"config Files (*.cfg)|*.cfg||", {"config Files (*.cfg) (*.cfg)"}},
        {"config Files (*.cfg)|*.cfg| all file  (*.*)|*.*||",
         {"config Files (*.cfg) (*.cfg)", " all file  (*.*) (*)"}},
        // A label may name other files than it lists: the listed patterns filter.
        {"config Files (*.hgm)|*.hgm;*.bin| all file  (*.*)|*.*||",
         {"config Files (*.hgm) (*.hgm *.bin)", " all file  (*.*) (*)"}},
        {"", {}},
        {"no closing|*.x", {"no closing (*.x)"}},
    };
    for (const auto& c : cases) EXPECT_EQ(app::qtNameFilters(c.windows), c.qt) << c.windows;
}

TEST(QtNameFilters, DefaultSuffix) {
    EXPECT_EQ(app::qtDefaultSuffix("*.cfg"), "cfg");
    EXPECT_EQ(app::qtDefaultSuffix("*.hgm"), "hgm");
    EXPECT_EQ(app::qtDefaultSuffix(""), "");
    EXPECT_EQ(app::qtDefaultSuffix("*.*"), "");
}

TEST(SingleInstance, ASecondStartAsksTheFirstToShowItself) {
    const QString name = QStringLiteral("tessaro-test-%1").arg(QCoreApplication::applicationPid());
    app::SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QSignalSpy shown(&first, &app::SingleInstance::showRequested);
    app::SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(shown.wait(5000));
    EXPECT_EQ(shown.count(), 1);
}

TEST(StartOptions, OnlyTheDeviceIsAnOption) {
    struct Case {
        QStringList arguments;
        QString device;
        bool help;
        bool error;
    };
    const Case cases[] = {
        // Without --device the window opens the real adapter, never the simulated ESC.
        {{"tessaro"}, "hid", false, false},
        {{"tessaro", "--device", "sim:family=3"}, "sim:family=3", false, false},
        {{"tessaro", "--device=socket:/tmp/a"}, "socket:/tmp/a", false, false},
        {{"tessaro", "--help"}, "hid", true, false},
        {{"tessaro", "--device"}, "hid", false, true},
        {{"tessaro", "extra"}, "hid", false, true},
    };
    for (const auto& c : cases) {
        const app::StartOptions options = app::parseStartOptions(c.arguments);
        EXPECT_EQ(options.device, c.device) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(options.help, c.help) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(!options.error.isEmpty(), c.error) << c.arguments.join(' ').toStdString();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The offscreen platform with screens of the sizes users run the window on; the first,
    // 800 x 600, is the primary one. Window tests put the window on the others by name.
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" TESSARO_SOURCE_DIR "/tests/app/offscreen_screens.json");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
