#pragma once
// The device URI every front end takes: "hid" for the real adapter ("hid:/dev/hidraw3" or
// "hid:serial=ABC123" for one of several, see devices/adapter_choice.h),
// "sim[:key=value,…]" for the built-in simulated adapter and ESC, "socket:PATH" for an
// adapter served by another process over a Unix socket, "replay:FILE" for an adapter that
// answers as a recording made with --record says (docs/recording.md).

#include <memory>
#include <string>
#include <string_view>

#include "link/clock.h"
#include "link/device_change_source.h"
#include "link/hid_port.h"
#include "sim/esc_emulator.h"

namespace devices {

inline constexpr char kDefaultDeviceUri[] = "hid";

enum class DeviceKind { Hid, Simulated, Socket, Replay };

class ReplayPort;

struct Device {
    DeviceKind kind = DeviceKind::Hid;
    std::unique_ptr<transport::HidPort> port;
    // The emulator behind a simulated device (null for the others), for faults at run time.
    std::shared_ptr<sim::EscEmulator> emulator;
    // Where the port's arrivals and removals come from: the socket port itself, or the
    // hot-plug monitor for the USB adapter. Null when there is nothing to hear (the
    // simulator, or no hot-plug source could be opened here). It lives in `port` or in
    // `watcher`, so it stays valid as long as both do, wherever they are moved.
    transport::DeviceChangeSource* changes = nullptr;
    // A source of its own the port needs beside it (the hot-plug monitor), or null.
    std::unique_ptr<transport::DeviceChangeSource> watcher;
    // The replay behind a replayed device (null for the others): it tells how the replay
    // ended. It lives in `port`.
    ReplayPort* replay = nullptr;
};

// Makes the port `uri` names; `clock` times a simulated device's replies and must outlive
// it. False with a one-line reason in `error` for an unknown scheme or bad options.
bool openDeviceUri(std::string_view uri, transport::Clock& clock, Device& device,
                   std::string& error);

// The version of the HID library behind the real adapter's port, for the About box.
std::string hidLibraryVersion();

}  // namespace devices
