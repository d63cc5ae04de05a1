// An idle link: once the ESC's settings are on the form, the link polls that the ESC
// answers (late, with jitter, as the simulated ESC does by default) change nothing on the
// form and repaint no lamp; a change of the link still lays the window out anew.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "protocol/protocol_controller.h"
#include "sim/esc_emulator.h"
#include "support/counting_form.h"
#include "support/session_rig.h"

namespace {

using Rig = testing_support::BasicSessionRig<testing_support::CountingForm>;

constexpr uint32_t kSettleMs = 1000;  // the link-up's last steps: a few polls after the read
constexpr uint32_t kIdleMs = 6000;    // two hundred ticks of 30 ms

struct IdleCase {
    const char* name;
    std::string esc;
    bool relayoutOnLoss;  // the window's layout follows the link (a turbo ESC)
};

void PrintTo(const IdleCase& c, std::ostream* os) {
    *os << c.name;
}

class IdleTicks : public ::testing::TestWithParam<IdleCase> {
  protected:
    // The link up, settled, and idle ticks counted from here on.
    void bringUp(Rig& rig) {
        ASSERT_TRUE(rig.linkUp());
        rig.host.runFor(kSettleMs);
        ASSERT_TRUE(rig.controller().linksUp());
        ASSERT_EQ(rig.controller().protocolState(), protocol::kStateLinkPolling);
        rig.form.resetCounts();
        m_repaints = rig.host.repaintCount();
        m_ticks = rig.host.firedCount(transport::kProtocolTimer);
    }
    uint32_t m_repaints = 0;
    uint64_t m_ticks = 0;
};

TEST_P(IdleTicks, ChangeNothingOnTheForm) {
    Rig rig(GetParam().esc);
    bringUp(rig);
    rig.host.runFor(kIdleMs);
    ASSERT_GE(rig.host.firedCount(transport::kProtocolTimer) - m_ticks, kIdleMs / 30 - 1);
    EXPECT_TRUE(rig.controller().linksUp());
    EXPECT_EQ(rig.form.writes, 0);
    EXPECT_EQ(rig.host.repaintCount(), m_repaints);
}

TEST_P(IdleTicks, ALostEscStillChangesLampsAndLayout) {
    Rig rig(GetParam().esc);
    bringUp(rig);
    rig.host.runFor(kIdleMs);
    rig.esc->setSilentForever(true);
    ASSERT_TRUE(rig.host.runUntil([&] { return !rig.controller().escLinked(); }, 10000));
    rig.host.runFor(kSettleMs);
    EXPECT_GT(rig.host.repaintCount(), m_repaints);
    if (GetParam().relayoutOnLoss) {
        EXPECT_GT(rig.form.placements, 0);
        EXPECT_GT(rig.form.moves, 0);
    } else {
        EXPECT_EQ(rig.form.placements, 0);
    }
    // And back: the lamps light again, and the window takes the linked layout again.
    const int placementsBefore = rig.form.placements;
    const uint32_t repaintsBefore = rig.host.repaintCount();
    rig.esc->setSilentForever(false);
    ASSERT_TRUE(rig.host.runUntil([&] { return rig.controller().linksUp(); }, 10000));
    EXPECT_GT(rig.host.repaintCount(), repaintsBefore);
    if (GetParam().relayoutOnLoss) {
        EXPECT_GT(rig.form.placements, placementsBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, IdleTicks,
    ::testing::Values(IdleCase{"Air", "family=1", false}, IdleCase{"Turbo", "family=3", true},
                      IdleCase{"Multi", "family=5", false}, IdleCase{"Abc", "family=7", false}),
    [](const ::testing::TestParamInfo<IdleCase>& info) { return info.param.name; });

}  // namespace
