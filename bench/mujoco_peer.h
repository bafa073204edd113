// MuJoCo (Debian's libmujoco-dev, 2.2) simulating the same figure, as a
// peer for the benchmark: the model written as MJCF (mjcf_writer.h), the
// joint controllers and the keys' torques applied as generalized forces in
// every stage of MuJoCo's RK4, and a check that MuJoCo's joint
// accelerations are marionette's. Any figure: one nested deeper than
// MuJoCo's XML reader takes reaches it as several files joined by
// <include>, handed over in MuJoCo's virtual file system.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <mujoco/mujoco.h>

#include "figure_data.h"
#include "figure_model.h"

// The window program's figure as MJCF (mjcf_writer.h), under the gravity in
// force in figureData. buildFigureModel must have run.
std::string figureMjcf();

// MJCF text split into files that nest bodies at most `bodiesPerFile`
// deep: the first is the model, each other one the subtree of a body its
// parent file names in an <include>. (name, text) each.
std::vector<std::pair<std::string, std::string>> splitMjcf(const std::string& xml, int bodiesPerFile);

// A loaded model and its data, and the figure it stands for; all null
// after a failure.
struct MujocoFigure {
    mjModel* model = nullptr;
    mjData* data = nullptr;
    const FigureModel* figure = nullptr;
    FigureData* figureData = nullptr;  // whose gains and appliedTorque the controller reads
    // MuJoCo numbers the joints depth first, as the bodies nest in the
    // MJCF: the address in qpos, qvel and qfrc of segment i's joint
    std::vector<int> address;
};

// Loads `model`'s MJCF under data's gravity and installs the controller as
// MuJoCo's control callback (useMujocoFigure): every evaluation, each stage
// of RK4 included, sets qfrc_applied to computeJointTorques at (qpos, qvel)
// plus data's appliedTorque. model and data must outlive the figure.
// Returns false with MuJoCo's message in `error` if the model does not load.
bool openMujocoFigure(MujocoFigure& figure, const FigureModel& model, FigureData& data, std::string& error);
// The same for the window program's figure, on figureModel and figureData.
bool openMujocoFigure(MujocoFigure& figure, std::string& error);
void closeMujocoFigure(MujocoFigure& figure);

// Makes MuJoCo's control callback, which is process-wide, apply `figure`'s
// controller.
void useMujocoFigure(const MujocoFigure& figure);

// How far MuJoCo is from marionette's own passes, over random states.
struct PeerAgreement {
    int states;                 // states compared
    double acceleration;        // largest max_i |qacc_mj - qacc| / max_i |qacc| of a state
    double massMatrix;          // largest |M_mj M^-1 - 1| element of a state; figures of up to 64 segments
    double residuals[2];        // largest max_i |M_mj a - f_mj| / max_i |f_mj| of a state, MuJoCo's own
                                // equations of motion M qacc = f at a = marionette's qacc, then MuJoCo's
    int controlCallsPerStep;    // MuJoCo's control callbacks in one mj_step
};

// At `states` random states (angles of either sign up to `angles` rad,
// momenta up to 5, random key torques): marionette's joint accelerations
// qacc = M^-1 (dp/dt - dM/dt qdot), with M^-1 and dp/dt from the general
// passes fed the math library's sines (the table's are off by up to 6e-6)
// and dM/dt qdot from the centres of mass's Jacobians, against MuJoCo's
// mj_forward at q and qdot. Leaves appliedTorque zero.
PeerAgreement compareWithMarionette(MujocoFigure& figure, int states, unsigned seed, double angles = 3.0);

// qpos = q, qvel = qdot (in marionette's order), time 0.
void setMujocoState(MujocoFigure& figure, const double q[], const double qdot[]);
