// Momenta from angles and rates: exact zeros at rest, the worked example of
// a turning hand, and the round trip through the equations of motion.
#include "initial_momenta.h"

#include <gtest/gtest.h>

#include <random>

#include "dynamics.h"

namespace {

class InitialMomentaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
};

TEST_F(InitialMomentaTest, RestGivesExactZeros) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(-3, 3);
    for (int trial = 0; trial < 10; ++trial) {
        double p[segmentCount], q[segmentCount], qdot[segmentCount] = {};
        for (double& x : q) x = angle(rng);
        initMomenta(p, q, qdot);
        for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(p[i], 0.0) << i;
    }
}

TEST_F(InitialMomentaTest, ATurningHandMovesOnlyItsOwnChain) {
    double p[segmentCount], q[segmentCount] = {}, qdot[segmentCount] = {};
    qdot[rightHand] = 1;
    initMomenta(p, q, qdot);
    EXPECT_EQ(p[rightHand], 0.066);  // the hand's own Izz about its wrist
    // each ancestor adds the hand's moment about its own joint; the table
    // cosine of 0 falls short of 1 by about 1.1e-11
    EXPECT_NEAR(p[rightLowerArm], 0.166, 1e-10);
    EXPECT_NEAR(p[rightUpperArm], 0.266, 1e-10);
    EXPECT_NEAR(p[torso], 0.366, 1e-10);
    for (int i : {leftUpperArm, leftLowerArm, leftHand, rightUpperLeg, rightLowerLeg, rightFoot, leftUpperLeg,
                  leftLowerLeg, leftFoot})
        EXPECT_EQ(p[i], 0.0) << i;
}

TEST_F(InitialMomentaTest, EquationsOfMotionRecoverTheRates) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> angle(-3, 3), rate(-5, 5);
    for (int trial = 0; trial < 50; ++trial) {
        double p[segmentCount], q[segmentCount], qdot[segmentCount], dp[segmentCount], dq[segmentCount];
        for (int i = 0; i < segmentCount; ++i) q[i] = angle(rng), qdot[i] = rate(rng);
        initMomenta(p, q, qdot);
        computeDerivatives(p, q, dp, dq);
        // both passes use the same table sines: only rounding separates them
        for (int i = 0; i < segmentCount; ++i) EXPECT_NEAR(dq[i], qdot[i], 1e-11) << trial << "," << i;
    }
}

}  // namespace
