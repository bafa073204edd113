// The hand's pull: its torques against the spring's potential on the drawn
// geometry, its damping and bounds, its place in the equations of motion and
// the integrator, and the energy balance of a grab with a moving target.
#include "hand_pull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "dynamics.h"
#include "figure_energy.h"
#include "integrator.h"
#include "joint_controller.h"
#include "start_state.h"

namespace {

// The drawn point at `held` of `segment` with exact sines: the picture's
// chain written out as rotations by the summed angles, independently of
// drawn_figure.cpp's frames.
PlanePoint exactDrawnPoint(int segment, PlanePoint held, const double q[segmentCount]) {
    int path[4], n = 0;
    for (int j = segment; j >= 0; j = parentOf[j]) path[n++] = j;
    double x = 0.0, y = 0.0, angle = 0.0;
    for (int k = n - 1; k >= 0; --k) {
        const int j = path[k];
        const double ox = drawnJointOffsets[j].x, oy = drawnJointOffsets[j].y;
        x += std::cos(angle) * ox - std::sin(angle) * oy;
        y += std::sin(angle) * ox + std::cos(angle) * oy;
        angle += q[j];
    }
    return {x + std::cos(angle) * held.x - std::sin(angle) * held.y,
            y + std::sin(angle) * held.x + std::cos(angle) * held.y};
}

// The spring's potential: 1/2 k d^2 up to the force limit, then growing
// linearly with the limit as its slope (the force is bounded there).
double springPotential(const HandGrab& grab, const double q[segmentCount]) {
    const PlanePoint p = exactDrawnPoint(grab.segment, grab.held, q);
    const double d = std::sqrt((grab.target.x - p.x) * (grab.target.x - p.x) + (grab.target.y - p.y) * (grab.target.y - p.y));
    const double knee = handSpringLimit / handStiffness;
    return d <= knee ? 0.5 * handStiffness * d * d : handSpringLimit * (d - knee) + 0.5 * handStiffness * knee * knee;
}

void exactTrig(double s[segmentCount], double c[segmentCount], const double q[segmentCount]) {
    for (int i = 0; i < segmentCount; ++i) s[i] = std::sin(q[i]), c[i] = std::cos(q[i]);
}

class HandPullTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
    void TearDown() override { releaseHold(); }
    std::mt19937_64 rng{11};
    void randomAngles(double q[segmentCount]) {
        std::uniform_real_distribution<double> angle(-2.5, 2.5);
        for (int i = 0; i < segmentCount; ++i) q[i] = angle(rng);
    }
};

TEST_F(HandPullTest, TorquesAreMinusTheSpringPotentialsSlope) {
    // per segment, a near target (within the force limit) and a far one (beyond it)
    const double zero[segmentCount] = {};
    for (int segment = 0; segment < segmentCount; ++segment) {
        for (const double distance : {0.2, 3.0}) {
            SCOPED_TRACE(testing::Message() << "segment " << segment << ", target " << distance << " away");
            double q[segmentCount], s[segmentCount], c[segmentCount], torque[segmentCount];
            randomAngles(q);
            HandGrab grab{true, segment, {1.3, -0.4}, {}};
            const PlanePoint p = exactDrawnPoint(segment, grab.held, q);
            grab.target = {p.x + 0.6 * distance, p.y - 0.8 * distance};
            exactTrig(s, c, q);
            computeHandTorques(torque, grab, s, c, zero);

            double largest = 0.0;
            for (int j = 0; j < segmentCount; ++j) largest = std::fmax(largest, std::fabs(torque[j]));
            ASSERT_GT(largest, 1.0);
            for (int j = 0; j < segmentCount; ++j) {
                const double h = 1e-6;
                double up[segmentCount], down[segmentCount];
                std::copy(q, q + segmentCount, up);
                std::copy(q, q + segmentCount, down);
                up[j] += h;
                down[j] -= h;
                const double slope = (springPotential(grab, up) - springPotential(grab, down)) / (2 * h);
                EXPECT_NEAR(torque[j], -slope, 1e-7 * largest) << "joint " << j;
            }
        }
    }
}

TEST_F(HandPullTest, DampingOpposesTheHeldPointsVelocityAndEverythingIsBounded) {
    std::uniform_real_distribution<double> rate(-3, 3);
    for (const int segment : {torso, rightHand, leftLowerArm, rightFoot}) {
        SCOPED_TRACE(segment);
        double q[segmentCount], qdot[segmentCount], s[segmentCount], c[segmentCount], torque[segmentCount];
        randomAngles(q);
        for (double& r : qdot) r = rate(rng);
        exactTrig(s, c, q);
        // the target on the point: only the damping pulls, -c v with v = J q'
        HandGrab grab{true, segment, {0.9, 0.2}, exactDrawnPoint(segment, {0.9, 0.2}, q)};
        computeHandTorques(torque, grab, s, c, qdot);
        const double h = 1e-6;
        double ahead[segmentCount], behind[segmentCount];
        for (int i = 0; i < segmentCount; ++i) ahead[i] = q[i] + h * qdot[i], behind[i] = q[i] - h * qdot[i];
        const PlanePoint a = exactDrawnPoint(segment, grab.held, ahead), b = exactDrawnPoint(segment, grab.held, behind);
        const double vx = (a.x - b.x) / (2 * h), vy = (a.y - b.y) / (2 * h);
        double power = 0.0;
        for (int i = 0; i < segmentCount; ++i) power += torque[i] * qdot[i];
        EXPECT_NEAR(power, -handDamping * (vx * vx + vy * vy), 1e-6 * std::fabs(power));

        // a target far off and fast joints: no joint feels more than the
        // force limit times its lever to the held point
        grab.target = {400.0, -900.0};
        for (double& r : qdot) r *= 100.0;
        computeHandTorques(torque, grab, s, c, qdot);
        const PlanePoint point = exactDrawnPoint(segment, grab.held, q);
        bool onPath[segmentCount] = {};
        for (int j = segment; j >= 0; j = parentOf[j]) onPath[j] = true;
        for (int j = 0; j < segmentCount; ++j) {
            if (!onPath[j]) {
                EXPECT_EQ(torque[j], 0.0) << "joint " << j << " is off the path";
                continue;
            }
            const PlanePoint joint = exactDrawnPoint(j, {0.0, 0.0}, q);
            const double lever = std::hypot(point.x - joint.x, point.y - joint.y);
            EXPECT_LE(std::fabs(torque[j]), handForceLimit * lever * (1 + 1e-12) + 1e-12) << "joint " << j;
        }
    }
}

TEST_F(HandPullTest, AGrabIsRefusedOrClampedOnBadInput) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(takeHold(-1, {0, 0}, {0, 0}));
    EXPECT_FALSE(takeHold(segmentCount, {0, 0}, {0, 0}));
    EXPECT_FALSE(takeHold(rightHand, {nan, 0}, {0, 0}));
    EXPECT_FALSE(takeHold(rightHand, {0, 0}, {0, std::numeric_limits<double>::infinity()}));
    EXPECT_FALSE(takeHold(rightHand, {handHeldReach * 2, 0}, {0, 0}));
    EXPECT_FALSE(figureData.hand.active);
    moveHandTarget({1, 1});  // nothing held: ignored
    EXPECT_FALSE(figureData.hand.active);

    ASSERT_TRUE(takeHold(rightHand, {0.5, 0.1}, {1e9, -1e300}));
    EXPECT_EQ(figureData.hand.target.x, handTargetReach);
    EXPECT_EQ(figureData.hand.target.y, -handTargetReach);
    moveHandTarget({nan, 2});
    EXPECT_EQ(figureData.hand.target.x, handTargetReach);
    moveHandTarget({1, 2});
    EXPECT_EQ(figureData.hand.target.x, 1.0);
    EXPECT_EQ(figureData.hand.target.y, 2.0);
    releaseHold();
    EXPECT_FALSE(figureData.hand.active);
}

// The pull is the last term of every evaluation, and only while a grab holds.
TEST_F(HandPullTest, EntersTheMomentumRatesLastAndOnlyWhileHeld) {
    double p[segmentCount], q[segmentCount], bare[segmentCount], pulled[segmentCount], v0[segmentCount], v1[segmentCount];
    randomAngles(q);
    for (int i = 0; i < segmentCount; ++i) p[i] = 0.3 * q[i];
    computeDerivatives(p, q, bare, v0);
    ASSERT_TRUE(takeHold(leftHand, {0.4, 0.1}, {-2.0, -4.0}));
    computeDerivatives(p, q, pulled, v1);
    for (int i = 0; i < segmentCount; ++i) {
        EXPECT_EQ(v1[i], v0[i]);
        EXPECT_EQ(pulled[i], bare[i] + figureData.handTorque[i]) << i;
    }
    EXPECT_NE(figureData.handTorque[leftHand], 0.0);
    EXPECT_EQ(figureData.handTorque[rightHand], 0.0);
    releaseHold();
    double after[segmentCount];
    computeDerivatives(p, q, after, v1);
    for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(after[i], bare[i]) << i;
    stepRK4(p, q, 0, 0);
    EXPECT_EQ(figureData.handStepWork, 0.0);
}

// From the start, the right hand pulled to a spot within its reach: the held
// point, as drawn, is within 0.2 units (6 of the 32 pixels per unit of the
// 400-pixel view) of the target after one simulated second and stays there.
TEST_F(HandPullTest, TheHeldPointFollowsItsTarget) {
    FigureState state;
    resetFigure(state);
    const PlanePoint held{0.45, 0.0};
    const PlanePoint start = heldPointAt({true, rightHand, held, {}}, state.q);
    ASSERT_TRUE(takeHold(rightHand, held, {start.x + 1.5, start.y + 1.0}));
    for (int step = 1; step <= 20000; ++step) {
        stepRK4(state.p, state.q, 0, 0);
        const PlanePoint now = heldPointAt(figureData.hand, state.q);
        if (step * timeStep >= 1.0) {
            ASSERT_LT(std::hypot(now.x - figureData.hand.target.x, now.y - figureData.hand.target.y), 0.2) << "step " << step;
        }
    }
}

// Five seconds of a grab whose target circles within reach of the right
// hand: the ledger's residual, with the hand's work counted, stays within
// 1e-5 of the energy turned over (the largest change of the stored energy
// plus the work damped out plus the hand's work).
TEST_F(HandPullTest, TheEnergyBalanceClosesWithTheHandsWork) {
    FigureState state;
    resetFigure(state);
    EnergyLedger ledger;
    openEnergyLedger(ledger, state.p, state.q);
    const double start = ledger.start.kinetic + ledger.start.gravity + ledger.start.spring;
    ASSERT_TRUE(takeHold(rightHand, {0.45, 0.0}, {-2.0, -3.0}));
    double largestResidual = 0.0, turnedOver = 0.0;
    for (int step = 1; step <= 33334; ++step) {
        const double angle = 6.283185307179586 * 0.5 * step * timeStep;
        moveHandTarget({-1.5 + std::cos(angle), -3.0 + std::sin(angle)});
        stepRK4(state.p, state.q, 0, 0);
        recordEnergyStep(ledger, state.p, state.q);
        const double now = ledger.now.kinetic + ledger.now.gravity + ledger.now.spring;
        largestResidual = std::fmax(largestResidual, std::fabs(ledger.residual));
        turnedOver = std::fmax(turnedOver, std::fabs(now - start) + ledger.dissipated + std::fabs(ledger.handWork));
    }
    EXPECT_GT(ledger.handWork, 100.0);
    EXPECT_LT(largestResidual, 1e-5 * turnedOver) << "turned over " << turnedOver << " J";
    std::printf("largest |residual| %.3g J of %.1f J turned over (hand's work %.2f J)\n", largestResidual,
                turnedOver, ledger.handWork);
}

}  // namespace
