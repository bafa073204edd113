// The PD controller on every joint.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

// The window program's figure's held pose and gains: torque = K (target - q) - damping * rate.
extern const double jointTarget[segmentCount];
extern const double jointStiffness[segmentCount];
inline constexpr double jointDamping = 5.1;

// One joint's torque, K (target - q) - D rate; on doubles or on lanes.
template <typename T>
inline T jointTorque(T stiffness, T target, T q, T damping, T rate) {
    return stiffness * (target - q) - damping * rate;
}

// out[i] = K_i (target_i - q[i]) - D rate[i] for every joint, with the model's
// targets and the gains in force (data.controllerStiffness, data.controllerDamping).
void computeJointTorques(const FigureModel& model, const FigureData& data, double out[],
                         const double jointVelocity[], const double q[]);
// The same for the window program's figure (figureModel, figureData).
void computeJointTorques(double out[segmentCount], const double jointVelocity[segmentCount],
                         const double q[segmentCount]);
