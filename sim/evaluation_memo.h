// An evaluation kept for the step after it. The energy books evaluate the
// equations of motion at the end of every step, where the next step takes
// its first stage: unless an input changed in between (a key, a knob, the
// hand, the state itself), that stage is the books' evaluation again, to the
// bit, and the step takes it from here instead of evaluating once more.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

// computeDerivatives, keeping the result in data.memo with everything it read.
void computeDerivativesKept(const FigureModel& model, FigureData& data, const double p[], const double q[],
                            double momentumRate[], double jointVelocity[]);

// Whether data.memo holds an evaluation at exactly these p and q under the
// data's knobs, keys' torques and hand as they are now (compared bit for
// bit); if so, its momentum rates and joint rates go to the arrays, and the
// hand's torque back into data.handTorque, as computeDerivatives would
// leave them.
bool recallDerivatives(const FigureModel& model, FigureData& data, const double p[], const double q[],
                       double momentumRate[], double jointVelocity[]);
