#pragma once
// A control state with every member set away from its default, and the
// member-by-member comparison the channel tests share.
#include <gtest/gtest.h>

#include "platform/IControl.h"

namespace nocturo::testing {

inline platform::ControlState FullControlState() {
    platform::ControlState s;
    s.armed = true;
    s.mode = "countdown";
    s.action = "Reboot";
    s.due = "2026-12-10T22:30:00";
    s.secondsLeft = 1800;
    s.phase = "final-count";
    s.running = "Reboot";
    s.clock = "2026-12-10T22:00:00";
    s.cancelDisabled = true;
    s.passwordSet = true;
    s.service = true;
    return s;
}

inline void ExpectSameState(const platform::ControlState& a, const platform::ControlState& b) {
    EXPECT_EQ(a.armed, b.armed);
    EXPECT_EQ(a.mode, b.mode);
    EXPECT_EQ(a.action, b.action);
    EXPECT_EQ(a.due, b.due);
    EXPECT_EQ(a.secondsLeft, b.secondsLeft);
    EXPECT_EQ(a.phase, b.phase);
    EXPECT_EQ(a.running, b.running);
    EXPECT_EQ(a.clock, b.clock);
    EXPECT_EQ(a.cancelDisabled, b.cancelDisabled);
    EXPECT_EQ(a.passwordSet, b.passwordSet);
    EXPECT_EQ(a.service, b.service);
}

}  // namespace nocturo::testing
