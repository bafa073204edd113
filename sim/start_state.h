// The state every front end starts from: the figure hanging at rest.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

inline constexpr double startTorsoAngle = -1.57;  // radians: the window program's torso hangs almost straight down

// data.q = the model's start angles, data.qdot = 0, and the momenta at rest
// from them (initMomenta): exactly 0.
void setStartState(const FigureModel& model, FigureData& data);

// The window program's figure. Every angle and every start-up rate 0, except
// the torso's angle, which is startTorsoAngle. The momenta are not touched.
void setStartAngles(FigureState& state);

// The whole start-up, in this order: setStartAngles, buildFigureModel (the
// sine table and the model), initMomenta (the momenta at rest, exactly 0).
void startFigure(FigureState& state);

// Back to the start-up state once the model is built: setStartAngles, then initMomenta.
void resetFigure(FigureState& state);
