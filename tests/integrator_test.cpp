// The RK4 step: the key integers it turns into torques, its agreement with
// a much finer integration of the same equations, and a fingerprint of the
// exact state after a few hundred steps.
#include "integrator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "dynamics.h"
#include "joint_controller.h"

namespace {

class IntegratorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
    void SetUp() override { std::fill(figureData.appliedTorque.begin(), figureData.appliedTorque.end(), 0.0); }
};

TEST_F(IntegratorTest, KeyIntegersBecomeTorques) {
    setAppliedTorques(1, -1);
    const double both[segmentCount] = {-100, -100, 0, 0, 100, 0, 0, -100, 0, 0, 100, 0, 0};
    for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(figureData.appliedTorque[i], both[i]) << i;

    // any limb mode but 1 clears the limbs
    setAppliedTorques(2, 1);
    for (int i = 1; i < segmentCount; ++i) EXPECT_EQ(figureData.appliedTorque[i], 0.0) << i;
    EXPECT_EQ(figureData.appliedTorque[torso], 100.0);
    // a direction other than -1, 0, 1 keeps the torso's torque
    setAppliedTorques(0, 5);
    EXPECT_EQ(figureData.appliedTorque[torso], 100.0);
    setAppliedTorques(0, 0);
    EXPECT_EQ(figureData.appliedTorque[torso], 0.0);
    setAppliedTorques(0, -7);
    EXPECT_EQ(figureData.appliedTorque[torso], 0.0);

    // a step sets them before it evaluates anything
    double p[segmentCount] = {}, q[segmentCount] = {};
    stepRK4(p, q, 1, 1);
    EXPECT_EQ(figureData.appliedTorque[torso], 100.0);
    EXPECT_EQ(figureData.appliedTorque[leftUpperLeg], 100.0);
    stepRK4(p, q, 0, 0);
    for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(figureData.appliedTorque[i], 0.0) << i;
}

// The same equations integrated over one step by 1000 midpoint sub-steps of
// 1.5e-7 s: a second-order method whose own error there is negligible.
void fineStep(double p[segmentCount], double q[segmentCount]) {
    const int substeps = 1000;
    const double h = timeStep / substeps;
    for (int s = 0; s < substeps; ++s) {
        double dp[segmentCount], dq[segmentCount], mp[segmentCount], mq[segmentCount];
        computeDerivatives(p, q, dp, dq);
        for (int i = 0; i < segmentCount; ++i) mp[i] = p[i] + 0.5 * h * dp[i], mq[i] = q[i] + 0.5 * h * dq[i];
        computeDerivatives(mp, mq, dp, dq);
        for (int i = 0; i < segmentCount; ++i) p[i] += h * dp[i], q[i] += h * dq[i];
    }
}

TEST_F(IntegratorTest, OneStepFollowsTheExactFlow) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> angle(-2, 2), momentum(-3, 3);
    for (int trial = 0; trial < 5; ++trial) {
        double p[segmentCount], q[segmentCount];
        for (int i = 0; i < segmentCount; ++i) q[i] = angle(rng), p[i] = momentum(rng);
        double fineP[segmentCount], fineQ[segmentCount];
        std::memcpy(fineP, p, sizeof p);
        std::memcpy(fineQ, q, sizeof q);
        stepRK4(p, q, 1, -1);
        fineStep(fineP, fineQ);  // with the torques the step has just set
        // RK4's own error here is of order dt^5 |f^(5)|, far below rounding.
        // What separates the two is the sine table: it makes the equations
        // piecewise constant in q, in cells of 6.3e-6 rad, and the two
        // integrations sample different cells as q moves across some hundred
        // of them in a step; measured, that leaves at most about 1e-8. A k3
        // stage built from k1 instead of k2 leaves 4e-7, and a stage
        // evaluated at the wrong time far more.
        for (int i = 0; i < segmentCount; ++i) {
            EXPECT_NEAR(p[i], fineP[i], 5e-8) << trial << ", p" << i;
            EXPECT_NEAR(q[i], fineQ[i], 5e-8) << trial << ", q" << i;
        }
    }
}

std::uint64_t fingerprint(const double* values, int count) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the bytes
    const auto* bytes = reinterpret_cast<const unsigned char*>(values);
    for (std::size_t k = 0; k < count * sizeof(double); ++k) hash = (hash ^ bytes[k]) * 1099511628211ull;
    return hash;
}

TEST_F(IntegratorTest, StateAfterThreeHundredStepsIsExact) {
    // the start state, DOWN from the first step, LEFT from step 100, RIGHT
    // from step 200: any change in the order of operations shows here
    double p[segmentCount] = {}, q[segmentCount] = {};
    q[torso] = -1.57;
    for (int step = 0; step < 300; ++step) stepRK4(p, q, 1, step < 100 ? 0 : step < 200 ? -1 : 1);
    EXPECT_EQ(q[torso], -1.576170960213473);
    EXPECT_EQ(p[torso], 0.031078100571623676);
    double state[2 * segmentCount];
    std::memcpy(state, p, sizeof p);
    std::memcpy(state + segmentCount, q, sizeof q);
    EXPECT_EQ(fingerprint(state, 2 * segmentCount), 0x17c254f95229d712ull);
}

}  // namespace
