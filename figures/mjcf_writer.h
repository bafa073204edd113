// A figure as MJCF, the model format of the MuJoCo engine: one hinge about z
// per segment in the figure's tree, each body's mass at its centre of mass
// with its Izz moved there from the joint (parallel axes) and repeated as
// the other two principal moments (only Izz acts in planar motion), gravity
// along -y, contacts and constraints off, RK4 with marionette's time step.
// The joint controllers and the keys' torques are not in it: a peer applies
// them as generalized forces. The bodies nest as the tree does, so a figure
// deeper than 100 segments (a chain:101, say) is written whole but MuJoCo
// 2.2's XML reader refuses it; it reads a tree of any size up to that depth.
#pragma once

#include <string>

#include "figure_model.h"

// The MJCF text of `model` under gravity `gravity` (m/s^2, along -y).
std::string figureMjcf(const FigureModel& model, double gravity);

// How deep the bodies nest: the most segments on one path from the pivot.
int figureDepth(const FigureModel& model);
