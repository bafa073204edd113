// The arrow keys as switches of the limb and torso torques.
#include "key_controls.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyControlsTest, ArrowKeysAreSwitches) {
    KeyState keys;
    applySpecialKey(keys, keyLeft);
    applySpecialKey(keys, keyDown);  // DOWN clears the torso torque
    EXPECT_EQ(keys.limbTorqueMode, 1);
    EXPECT_EQ(keys.torsoTorqueDirection, 0);

    applySpecialKey(keys, keyLeft);  // both in force
    EXPECT_EQ(keys.limbTorqueMode, 1);
    EXPECT_EQ(keys.torsoTorqueDirection, -1);

    applySpecialKey(keys, keyRight);  // the last key wins
    EXPECT_EQ(keys.torsoTorqueDirection, 1);
    EXPECT_EQ(keys.limbTorqueMode, 1);

    for (int other : {1, 99, 104, 0, -100})  // F1, neighbours of the arrows, nonsense
        applySpecialKey(keys, other);
    EXPECT_EQ(keys.limbTorqueMode, 1);
    EXPECT_EQ(keys.torsoTorqueDirection, 1);

    applySpecialKey(keys, keyUp);  // UP alone clears the limbs
    EXPECT_EQ(keys.limbTorqueMode, 0);
    EXPECT_EQ(keys.torsoTorqueDirection, 0);
}

}  // namespace
