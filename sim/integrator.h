// Classical fourth-order Runge-Kutta with a fixed step.
#pragma once

#include <cstdint>

#include "figure_data.h"
#include "figure_model.h"

inline constexpr double timeStep = 0.00015;  // simulated seconds per step

// Turns the key state into data.appliedTorque, T being data.keyTorque (100
// unless a knob changed it): mode 1 puts sign * T on each of the model's
// limb joints (any other mode 0); direction +1 / -1 / 0 puts +T / -T / 0 on
// its torso joint, and any other direction keeps that joint's value. For the
// window program's figure: -T, +T, -T, +T on joints 1, 4, 7, 10, and joint 0.
void setAppliedTorques(const FigureModel& model, FigureData& data, std::int32_t limbTorqueMode,
                       std::int32_t torsoTorqueDirection);

// Advances p and q (model.n each) in place by one step of timeStep under
// the key state (and data's hand while a grab is active); sets data.handStepWork.
void stepRK4(const FigureModel& model, FigureData& data, double p[], double q[], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection);

// The same step with the general passes of the dynamics in every evaluation
// (computeDerivativesGeneral): the reference for tests and benchmarks.
void stepRK4General(const FigureModel& model, FigureData& data, double p[], double q[],
                    std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection);

// The window program's entry points, on figureModel and figureData.
void setAppliedTorques(std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection);
void stepRK4(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection);
void stepRK4General(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
                    std::int32_t torsoTorqueDirection);
