// The PD controller on every joint, and the user's applied torques.
#pragma once

#include "figure_model.h"

// PD torques of the current evaluation, written by computeJointTorques.
extern double controllerTorque[segmentCount];
// The user's torques, written by stepRK4 at the start of every step.
extern double appliedTorque[segmentCount];

// The held pose and the gains: torque = K (target - q) - damping * rate.
extern const double jointTarget[segmentCount];
extern const double jointStiffness[segmentCount];
inline constexpr double jointDamping = 5.1;

// The gains in force, which the physics knobs scale (physics_settings.h);
// jointStiffness and jointDamping until a knob changes them.
extern double controllerStiffness[segmentCount];
extern double controllerDamping;
// The size of every torque an arrow key switches on, N m; 100 until a knob changes it.
extern double keyTorque;

// out[i] = K_i (target_i - q[i]) - D rate[i] for every joint, with the gains
// in force (controllerStiffness, controllerDamping).
void computeJointTorques(double out[segmentCount], const double jointVelocity[segmentCount],
                         const double q[segmentCount]);
