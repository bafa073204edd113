// The benchmark's MuJoCo peer simulates marionette's figure: its joint
// accelerations are those of marionette's own passes (fed exact sines) at
// random states, and its RK4 applies the controllers in every stage.
#include "mujoco_peer.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "dynamics.h"
#include "integrator.h"

TEST(MujocoPeerTest, AgreesWithMarionettesDynamics) {
    buildFigureModel();
    MujocoFigure figure;
    std::string error;
    ASSERT_TRUE(openMujocoFigure(figure, error)) << error << "\n" << figureMjcf();
    const PeerAgreement agreement = compareWithMarionette(figure, 500, 2);
    char figures[100];
    std::snprintf(figures, sizeof figures, "accelerations %.2g, M M^-1 %.2g", agreement.acceleration,
                  agreement.massMatrix);
    RecordProperty("agreement", figures);
    EXPECT_LE(agreement.acceleration, 1e-12);
    EXPECT_LE(agreement.massMatrix, 1e-12);
    // mj_forward, then three more stages
    EXPECT_EQ(agreement.controlCallsPerStep, 4);

    // and a second of swinging with the keys on stays with marionette's to
    // the table's accuracy (MuJoCo's sines are the math library's): 1e-5 here
    double p[segmentCount] = {}, q[segmentCount] = {}, rate[segmentCount], qdot[segmentCount] = {};
    q[torso] = -1.57;
    setMujocoState(figure, q, qdot);
    for (int step = 0; step < 6667; ++step) {
        stepRK4(p, q, 1, -1);
        mj_step(figure.model, figure.data);
    }
    computeDerivatives(p, q, rate, qdot);
    for (int i = 0; i < segmentCount; ++i) {
        EXPECT_NEAR(figure.data->qpos[i], q[i], 1e-4) << i;
        EXPECT_NEAR(figure.data->qvel[i], qdot[i], 1e-3) << i;
    }
    setAppliedTorques(0, 0);
    closeMujocoFigure(figure);
}
