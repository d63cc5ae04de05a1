#pragma once
// The window as a user opens it, for the tests of the window: in a copy of the shipped
// resources, on the simulated ESC and a virtual clock.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QScreen>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "devices/adapter_diagnosis.h"
#include "devices/device_uri.h"
#include "link/clock.h"
#include "sim/esc_emulator.h"
#include "support/scripted_prompter.h"

namespace testing_support {

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
    // On `screen` (the primary one when none), as the user's desktop would open it.
    void open(const std::string& uri = "sim:family=3", QScreen* screen = nullptr) {
        devices::Device device;
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri(uri, clock, device, error)) << error;
        emulator = device.emulator;
        devices::AdapterSurvey survey = devices::adapterSurvey(device.kind, *device.port);
        window = std::make_unique<app::CQuindleDlg>(std::move(device.port),
                                                    app::DeviceEventSource{}, &prompter, &clock);
        window->setAdapterSurvey(std::move(survey));
        window->followReplay(device.replay);
        if (screen)
            window->setScreen(screen);
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

// Red as the window shows a warning text: the hue of red, in whatever shade the palette
// needs to keep it readable.
inline bool isRedText(const QColor& colour) {
    return colour.hslHue() == 0 && colour.hslSaturation() >= 200;
}

}  // namespace testing_support
