// A figure as a JSON file of its own, which every front end reads and writes
// with this code. A complete example: marionette-sim --print-model.
//
//   {
//     "format": "marionette-model 1",
//     "name": "two links",                  letters, digits and _ - . : only, at most 64
//     "damping_N_m_s_per_rad": 0.5,         the controller's damping on every joint, >= 0
//     "torso_key_joint": 0,                 the joint LEFT and RIGHT turn; -1 for none
//     "limb_key_joints": [{"joint": 1, "sign": 1}],   DOWN's joints; sign 1 or -1
//     "pictures": false,                    true only for the window program's figure
//     "segments": [                         1 to 4096, every parent before its children
//       {"name": "upper", "parent": -1,     parent: an earlier segment's index, or -1, the pivot
//        "mass_kg": 1, "centre_of_mass_m": [0.5, 0, 0],
//        "inertia_about_joint_kg_m2": [Ixx, Ixy, Ixz, Iyy, Iyz, Izz],
//        "link_length_m": 0,               the joint's place along the parent's x axis
//        "start_angle_rad": 0, "target_angle_rad": 0, "stiffness_N_m_per_rad": 0,
//        optional: "link_offset_m": 0, "twist_sin": 0, "twist_cos": 1,
//                  "drawn_joint": [x, y], "drawn_length": 1 (drawing units)},
//       ...
//     ]
//   }
//
// Every field but the optional ones is required, and no other is allowed.
// Masses and Izz are positive, every number finite; gravity (9.80665 m/s^2
// along -y) and the key torque are the knobs', not the file's.
#pragma once

#include <cstddef>
#include <string>

#include "figure_model.h"

// The largest model file read, bytes.
inline constexpr std::size_t maxModelFileBytes = 16 * 1024 * 1024;

// Reads a model from its JSON text into `model`, complete (finishFigureModel).
// On failure returns false with `error` one line naming the field (and the
// segment) and the fault.
bool readFigureModel(FigureModel& model, std::string& error, const char* text, std::size_t length);

// The JSON text of a model, readFigureModel's form: indented over lines, or
// on one line when `oneLine`. Every number reads back as the same double.
std::string writeFigureModel(const FigureModel& model, bool oneLine);

// Reads the model file at `path` (at most maxModelFileBytes). On failure
// returns false with `error` one line naming the file's fault.
bool loadFigureModelFile(FigureModel& model, std::string& error, const char* path);
