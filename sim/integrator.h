// Classical fourth-order Runge-Kutta with a fixed step.
#pragma once

#include <cstdint>

#include "figure_model.h"

inline constexpr double timeStep = 0.00015;  // simulated seconds per step

// Turns the key state into appliedTorque, T being keyTorque (100 unless a
// knob changed it): mode 1 puts -T, +T, -T, +T on joints 1, 4, 7, 10 (any
// other mode 0); direction +1 / -1 / 0 puts +T / -T / 0 on joint 0, and any
// other direction keeps joint 0's value.
void setAppliedTorques(std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection);

// Advances p and q in place by one step of timeStep under the key state
// (and the hand's pull while a grab is active); sets handStepWork.
void stepRK4(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection);

// The same step with the general passes of the dynamics in every evaluation
// (computeDerivativesGeneral): the reference for tests and benchmarks.
void stepRK4General(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
                    std::int32_t torsoTorqueDirection);
