#pragma once
// The device URI every front end takes: "hid" for the real adapter, "sim[:key=value,…]"
// for the built-in simulated adapter and ESC, "socket:PATH" for an adapter served by
// another process over a Unix socket.

#include <memory>
#include <string>
#include <string_view>

#include "link/clock.h"
#include "link/hid_port.h"
#include "sim/esc_emulator.h"

namespace devices {

inline constexpr char kDefaultDeviceUri[] = "hid";

enum class DeviceKind { Hid, Simulated, Socket };

struct Device {
    DeviceKind kind = DeviceKind::Hid;
    std::unique_ptr<transport::HidPort> port;
    // The emulator behind a simulated device (null for the others), for faults at run time.
    std::shared_ptr<sim::EscEmulator> emulator;
};

// Makes the port `uri` names; `clock` times a simulated device's replies and must outlive
// it. False with a one-line reason in `error` for an unknown scheme or bad options.
bool openDeviceUri(std::string_view uri, transport::Clock& clock, Device& device,
                   std::string& error);

}  // namespace devices
