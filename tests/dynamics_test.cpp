// The recursive evaluation of the equations of motion: its known values at
// the start state, and the properties every evaluation must have. Tests that
// look into the working records run the general passes, which fill them;
// planar_dynamics_test holds the planar passes to those bit for bit.
#include "dynamics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "joint_controller.h"
#include "sine_table.h"

namespace {

class DynamicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
    void SetUp() override { std::fill(figureData.appliedTorque.begin(), figureData.appliedTorque.end(), 0.0); }
    void TearDown() override { std::fill(figureData.appliedTorque.begin(), figureData.appliedTorque.end(), 0.0); }

    std::mt19937_64 rng{42};
    void randomState(double p[segmentCount], double q[segmentCount]) {
        std::uniform_real_distribution<double> angle(-3, 3), momentum(-5, 5);
        for (int i = 0; i < segmentCount; ++i) q[i] = angle(rng), p[i] = momentum(rng);
    }
    const FigureData& w = figureData;
};

TEST_F(DynamicsTest, StartStateRates) {
    double p[segmentCount] = {}, q[segmentCount] = {}, rate[segmentCount], velocity[segmentCount];
    q[torso] = -1.57;
    computeDerivativesGeneral(p, q, rate, velocity);
    // the whole figure hangs along the torso axis, which the table's cosine
    // of -1.57 tilts slightly off the vertical
    EXPECT_NEAR(w.subtreeGravityWrench[torso][5], -0.16184, 5e-6);
    EXPECT_NEAR(figureData.controllerTorque[torso], -0.0398, 1e-12);
    EXPECT_NEAR(rate[torso], -0.20164, 5e-6);
    // the hand's weight 0.2 g with a lever of 0.5 cos(-1.57) from the table;
    // the table cosines of the three straight joints above it fall short of
    // 1 by 1.1e-11 each, a relative 3.3e-11
    EXPECT_NEAR(rate[rightHand], -0.2 * 9.80665 * 0.5 * 0.0008011068420845505, 1e-13);
    // and to the last bit, so that a reordered sum shows
    EXPECT_EQ(rate[torso], -0.20163719290091892);
    EXPECT_EQ(rate[rightHand], -0.00078561744126667658);
    for (int i = 0; i < segmentCount; ++i) EXPECT_EQ(velocity[i], 0.0) << i;
}

TEST_F(DynamicsTest, ZeroMomentaMeanRestWhateverTheAngles) {
    for (int trial = 0; trial < 20; ++trial) {
        double p[segmentCount] = {}, q[segmentCount], unused[segmentCount], rate[segmentCount], velocity[segmentCount];
        randomState(unused, q);
        computeDerivativesGeneral(p, q, rate, velocity);
        for (int i = 0; i < segmentCount; ++i) {
            EXPECT_EQ(velocity[i], 0.0) << i;
            for (double c : w.spatialVelocity[i]) EXPECT_EQ(c, 0.0) << i;
            EXPECT_EQ(rate[i], (w.subtreeGravityWrench[i][5] + figureData.controllerTorque[i]) + figureData.appliedTorque[i]) << i;
        }
    }
}

TEST_F(DynamicsTest, VelocitiesReproduceTheMomenta) {
    // component 5 of A v + z, the subtree's momentum about its joint, is p[i]
    for (int trial = 0; trial < 20; ++trial) {
        double p[segmentCount], q[segmentCount], rate[segmentCount], velocity[segmentCount];
        randomState(p, q);
        computeDerivativesGeneral(p, q, rate, velocity);
        for (int i = 0; i < segmentCount; ++i) {
            double momentum = w.biasMomentum[i][5];
            for (int j = 0; j < 6; ++j) momentum += w.articulatedInertia[i][packedIndex(5, j)] * w.spatialVelocity[i][j];
            EXPECT_NEAR(momentum, p[i], 1e-12 * (1 + std::fabs(p[i]))) << i;
        }
    }
}

TEST_F(DynamicsTest, HandsAndFeetAreRigidAndTheTorsoSumsInChildOrder) {
    double p[segmentCount], q[segmentCount], rate[segmentCount], velocity[segmentCount];
    randomState(p, q);
    computeDerivativesGeneral(p, q, rate, velocity);
    for (int i : {rightHand, leftHand, rightFoot, leftFoot}) {
        const SegmentParameters& s = figureModel.segment[i];
        SpatialInertia own;
        composeInertia(own, SpatialInertiaList{}, s.mass, s.rotationalInertia, s.centreOfMass);
        EXPECT_EQ(w.articulatedInertia[i], own) << i;
        EXPECT_EQ(w.articulatedInertia[i][20], s.rotationalInertia[5]) << i;
        EXPECT_EQ(w.biasMomentum[i], SpatialVector{}) << i;
    }
    // (((own + right arm) + left arm) + right leg) + left leg, element by element
    const SegmentParameters& t = figureModel.segment[torso];
    SpatialInertia sum;
    composeInertia(sum, SpatialInertiaList{}, t.mass, t.rotationalInertia, t.centreOfMass);
    SpatialVector bias{}, gravity = w.ownGravityWrench[torso];
    for (int child : {rightUpperArm, leftUpperArm, rightUpperLeg, leftUpperLeg}) {
        for (int k = 0; k < 21; ++k) sum[k] = sum[k] + w.articulatedInertiaInParent[child][k];
        for (int k = 0; k < 6; ++k) {
            bias[k] = bias[k] + w.biasMomentumInParent[child][k];
            gravity[k] = gravity[k] + w.gravityWrenchInParent[child][k];
        }
    }
    EXPECT_EQ(w.articulatedInertia[torso], sum);
    EXPECT_EQ(w.biasMomentum[torso], bias);
    EXPECT_EQ(w.subtreeGravityWrench[torso], gravity);
}

TEST_F(DynamicsTest, AppliedTorqueEntersOnlyItsOwnMomentumRate) {
    double p[segmentCount], q[segmentCount], rate[segmentCount], velocity[segmentCount];
    randomState(p, q);
    computeDerivatives(p, q, rate, velocity);
    for (int i = 0; i < segmentCount; ++i) {
        figureData.appliedTorque[i] = 100;
        double pushedRate[segmentCount], pushedVelocity[segmentCount];
        computeDerivatives(p, q, pushedRate, pushedVelocity);
        for (int j = 0; j < segmentCount; ++j) {
            EXPECT_EQ(pushedVelocity[j], velocity[j]);
            if (j == i) {
                EXPECT_NEAR(pushedRate[j] - rate[j], 100, 1e-11);
            } else {
                EXPECT_EQ(pushedRate[j], rate[j]) << i << " moved " << j;
            }
        }
        figureData.appliedTorque[i] = 0;
    }
}

TEST_F(DynamicsTest, AWholeTurnChangesOnlyTheController) {
    // the table resolves angles to one step, so a turn moves each sine by at
    // most a step's worth; the controller sees the angle itself
    const double twoPi = 6.283185307179586;
    double p[segmentCount], q[segmentCount], rate[segmentCount], velocity[segmentCount];
    randomState(p, q);
    computeDerivatives(p, q, rate, velocity);
    double before[segmentCount];
    std::copy(figureData.controllerTorque.begin(), figureData.controllerTorque.end(), before);
    for (int i = 0; i < segmentCount; ++i) {
        double turned[segmentCount], turnedRate[segmentCount], turnedVelocity[segmentCount];
        std::memcpy(turned, q, sizeof turned);
        turned[i] += twoPi;
        computeDerivatives(p, turned, turnedRate, turnedVelocity);
        for (int j = 0; j < segmentCount; ++j) {
            EXPECT_NEAR(turnedVelocity[j], velocity[j], 1e-4 * (1 + std::fabs(velocity[j]))) << i << "," << j;
            const double shift = j == i ? -jointStiffness[i] * twoPi : 0.0;
            EXPECT_NEAR(figureData.controllerTorque[j] - before[j], shift, 2e-3 * (1 + std::fabs(shift))) << i << "," << j;
        }
    }
}

TEST_F(DynamicsTest, EvaluationsAreRepeatable) {
    double p[segmentCount], q[segmentCount], a[segmentCount], b[segmentCount], c[segmentCount], d[segmentCount];
    randomState(p, q);
    computeDerivatives(p, q, a, b);
    double otherP[segmentCount], otherQ[segmentCount], otherRate[segmentCount], otherVelocity[segmentCount];
    randomState(otherP, otherQ);
    computeDerivatives(otherP, otherQ, otherRate, otherVelocity);  // leaves other values in the workspace
    computeDerivatives(p, q, c, d);
    EXPECT_EQ(std::memcmp(a, c, sizeof a), 0);
    EXPECT_EQ(std::memcmp(b, d, sizeof b), 0);
}

}  // namespace
