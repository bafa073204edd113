// Momenta from joint angles and joint rates, by the relation that the
// equations of motion invert.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

// p[i] = component 5 of the momentum of segment i and its descendants, about
// joint i, in segment i's frame, for the angles q and rates qdot of `model`.
// Uses data's working records.
void initMomenta(const FigureModel& model, FigureData& data, double p[], const double q[], const double qdot[]);

// The same for the window program's figure (figureModel, figureData).
void initMomenta(double p[segmentCount], const double q[segmentCount], const double qdot[segmentCount]);
