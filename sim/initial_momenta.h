// Momenta from joint angles and joint rates, by the relation that the
// equations of motion invert.
#pragma once

#include "figure_model.h"

// p[i] = component 5 of the momentum of segment i and its descendants, about
// joint i, in segment i's frame, for the angles q and rates qdot.
void initMomenta(double p[segmentCount], const double q[segmentCount],
                 const double qdot[segmentCount]);
