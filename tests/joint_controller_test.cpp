// The PD controller on every joint.
#include "joint_controller.h"

#include <gtest/gtest.h>


namespace {

TEST(JointControllerTest, PullsTowardsTheHeldPose) {
    buildFigureModel();
    double torque[segmentCount], rate[segmentCount] = {}, q[segmentCount];
    for (int i = 0; i < segmentCount; ++i) q[i] = jointTarget[i];
    computeJointTorques(torque, rate, q);
    for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(torque[i], 0.0) << i;

    // the start angle is not quite the target
    q[torso] = -1.57;
    computeJointTorques(torque, rate, q);
    EXPECT_NEAR(torque[torso], -0.0398, 1e-12);

    q[rightLowerArm] = 0.1;
    rate[rightLowerArm] = 1;
    computeJointTorques(torque, rate, q);
    EXPECT_DOUBLE_EQ(torque[rightLowerArm], -7.1);
    // the gains are not mirrored between the sides
    EXPECT_EQ(jointStiffness[rightUpperArm], 60);
    EXPECT_EQ(jointStiffness[leftUpperArm], 50);
    EXPECT_EQ(jointStiffness[rightUpperLeg], 50);
    EXPECT_EQ(jointStiffness[leftUpperLeg], 60);
}

}  // namespace
