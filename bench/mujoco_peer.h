// MuJoCo (Debian's libmujoco-dev, 2.2) simulating the same figure, as a
// peer for the benchmark: the model written as MJCF from figureModel, the
// joint controllers and the keys' torques applied as generalized forces in
// every stage of MuJoCo's RK4, and a check that MuJoCo's joint
// accelerations are marionette's.
#pragma once

#include <string>

#include <mujoco/mujoco.h>

#include "figure_model.h"

// The window program's figure as MJCF (mjcf_writer.h), under the gravity in
// force in figureData. buildFigureModel must have run.
std::string figureMjcf();

// A loaded model and its data; both null after a failure.
struct MujocoFigure {
    mjModel* model = nullptr;
    mjData* data = nullptr;
};

// Loads figureMjcf() and installs the controller as MuJoCo's control
// callback: every evaluation, each stage of RK4 included, sets qfrc_applied
// to computeJointTorques at (qpos, qvel) plus appliedTorque. Returns false
// with MuJoCo's message in `error` if the model does not load.
bool openMujocoFigure(MujocoFigure& figure, std::string& error);
void closeMujocoFigure(MujocoFigure& figure);

// How far MuJoCo is from marionette's own passes, over random states.
struct PeerAgreement {
    int states;                 // states compared
    double acceleration;        // largest max_i |qacc_mj - qacc| / max_i |qacc| of a state
    double massMatrix;          // largest |M_mj M^-1 - 1| element of a state
    int controlCallsPerStep;    // MuJoCo's control callbacks in one mj_step
};

// At `states` random states (angles of either sign up to 3 rad, momenta
// up to 5, random key torques): marionette's joint accelerations
// qacc = M^-1 (dp/dt - dM/dt qdot), with M^-1 and dp/dt from the general
// passes fed the math library's sines (the table's are off by up to 6e-6)
// and dM/dt qdot from the centres of mass's Jacobians, against MuJoCo's
// mj_forward at q and qdot. Leaves appliedTorque zero.
PeerAgreement compareWithMarionette(MujocoFigure& figure, int states, unsigned seed);

// qpos = q, qvel = qdot, time 0.
void setMujocoState(MujocoFigure& figure, const double q[segmentCount], const double qdot[segmentCount]);
