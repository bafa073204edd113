// The figures every front end knows by name:
//   marionette        the window program's thirteen-segment figure (the default)
//   chain:N           N links (1 to 4096): link 0 hangs from the pivot, link k
//                     from the far end of link k - 1
//   tree:N            N links (1 to 4096) in a binary tree: link k's children
//                     2k + 1 and 2k + 2 both hang from its far end
//   pendulum          chain:1
//   double-pendulum   chain:2
// Every link of a chain or a tree is 1 m long and 1 kg, its centre of mass
// half-way along, its moment of inertia about the centre of mass 1/12 kg m^2
// about every axis (about the joint: Ixx 1/12, Iyy = Izz = 1/12 + 1/4); no
// controller (stiffness and damping 0); gravity 9.80665 m/s^2 along -y.
// A chain starts straight out along +x at rest (every angle 0); a tree with
// link 0 at angle 0, odd links at +0.4 rad and even ones at -0.4 rad. The
// keys act as on the window program's figure: LEFT and RIGHT turn joint 0
// (-, +), DOWN puts + the key torque on joint 1 alone (where there is one).
// Links are named link0, link1, ...
#pragma once

#include <memory>
#include <string>

#include "figure_model.h"

// The built-in figure called `name`, shared and read-only; null with `error`
// one line when there is none of that name.
std::shared_ptr<const FigureModel> builtinFigure(const std::string& name, std::string& error);

// Whether `name` has the form of a built-in's name (chain:N with any N included).
bool looksLikeBuiltinName(const std::string& name);

// The figure a front end names: a built-in's name, or else the path of a
// model file (model_file.h). Null with `error` one line on failure.
std::shared_ptr<const FigureModel> loadFigure(const std::string& nameOrPath, std::string& error);
