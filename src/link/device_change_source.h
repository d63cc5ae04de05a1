#pragma once
// Where the arrivals and removals of a port's adapters come from, whatever the port: the
// hot-plug monitor of the USB adapter, or a socket port whose server comes and goes. The
// owner hands every event to LinkAdapter::onDeviceChange.

#include <vector>

#include "link/link_adapter.h"

namespace transport {

class DeviceChangeSource {
  public:
    virtual ~DeviceChangeSource() = default;

    // A descriptor that becomes readable when a change is queued, to watch (a
    // QSocketNotifier, or poll); -1 when there is none and takeChanges must be polled.
    virtual int watchFd() const = 0;
    // Every change queued now, oldest first, without waiting; empty when there is none.
    virtual std::vector<DeviceEvent> takeChanges() = 0;
};

}  // namespace transport
