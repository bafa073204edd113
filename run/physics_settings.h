// The physics knobs: gravity, the joint controllers' stiffness and damping,
// and the arrow keys' torque. Every front end sets them through here, so a
// knob means the same in the runner and in the page.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

struct PhysicsSettings {
    double gravity = 9.80665;  // m/s^2, pulling along -y of the fixed frame
    double stiffness = 1.0;    // multiple of every joint's stiffness K_i
    double damping = 1.0;      // multiple of the joints' damping 5.1
    double keyTorque = 100.0;  // N m: what an arrow key switches on
};

enum class Knob : int { gravity = 0, stiffness = 1, damping = 2, keyTorque = 3 };
inline constexpr int knobCount = 4;

// What a knob is: its name (as the runner's option, without the dashes), its
// unit, its range and the value every front end starts from.
struct KnobInfo {
    const char* name;
    const char* unit;
    double low;
    double high;
    double standard;
};
extern const KnobInfo knobInfo[knobCount];

// settings.<knob>, and settings.<knob> = value.
double knobValue(const PhysicsSettings& settings, Knob knob);
void setKnobValue(PhysicsSettings& settings, Knob knob, double value);

// value is a number within the knob's range (NaN is not).
bool knobValueAllowed(Knob knob, double value);

// The knob called `name` (case-insensitive), or false.
bool findKnob(Knob& knob, const char* name);

// Puts settings in force in `data` for the next evaluation: its gravity,
// the controller's gains (controllerStiffness, controllerDamping, the model's
// scaled) and the size of the key torques (keyTorque). Every value must be
// allowed. With the standard settings every number is exactly the standard
// one (K_i * 1.0 is K_i), so a run at the standard settings is the run
// without knobs. The gravity knob sets the size of gravity along -y.
void applyPhysicsSettings(const FigureModel& model, FigureData& data, const PhysicsSettings& settings);
// The same on the window program's figureData.
void applyPhysicsSettings(const PhysicsSettings& settings);
