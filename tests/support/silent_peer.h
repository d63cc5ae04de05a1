#pragma once
// An adapter and ESC that never answer on their own (tests queue the input they want),
// and remember what reached them.

#include <cstdint>
#include <vector>

#include "sim/simulated_port.h"

namespace testing_support {

class SilentPeer final : public sim::AdapterPeer {
  public:
    std::vector<sim::PeerReply> onConnect() override {
        ++connects;
        return {};
    }
    std::vector<sim::PeerReply> onData(const std::vector<uint8_t>& payload) override {
        payloads.push_back(payload);
        return {};
    }
    int connects = 0;
    std::vector<std::vector<uint8_t>> payloads;
};

}  // namespace testing_support
