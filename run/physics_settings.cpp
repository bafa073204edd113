#include "physics_settings.h"

#include <strings.h>


const KnobInfo knobInfo[knobCount] = {
    {"gravity", "m/s^2", 0.0, 25.0, 9.80665},
    {"stiffness", "times the standard gains", 0.0, 4.0, 1.0},
    {"damping", "times the standard damping", 0.0, 4.0, 1.0},
    {"torque", "N m", 0.0, 300.0, 100.0},
};

double knobValue(const PhysicsSettings& settings, Knob knob) {
    switch (knob) {
        case Knob::gravity: return settings.gravity;
        case Knob::stiffness: return settings.stiffness;
        case Knob::damping: return settings.damping;
        case Knob::keyTorque: return settings.keyTorque;
    }
    return 0.0;
}

void setKnobValue(PhysicsSettings& settings, Knob knob, double value) {
    switch (knob) {
        case Knob::gravity: settings.gravity = value; break;
        case Knob::stiffness: settings.stiffness = value; break;
        case Knob::damping: settings.damping = value; break;
        case Knob::keyTorque: settings.keyTorque = value; break;
    }
}

bool knobValueAllowed(Knob knob, double value) {
    const KnobInfo& info = knobInfo[static_cast<int>(knob)];
    return value >= info.low && value <= info.high;  // false for NaN
}

bool findKnob(Knob& knob, const char* name) {
    for (int k = 0; k < knobCount; ++k)
        if (strcasecmp(name, knobInfo[k].name) == 0) {
            knob = static_cast<Knob>(k);
            return true;
        }
    return false;
}

void applyPhysicsSettings(const FigureModel& model, FigureData& data, const PhysicsSettings& settings) {
    // gravity points down the fixed frame's y axis
    data.gravity[1] = -settings.gravity;
    // the gains the controller reads in every evaluation, scaled once here
    for (int i = 0; i < model.n; ++i) data.controllerStiffness[i] = model.jointStiffness[i] * settings.stiffness;
    data.controllerDamping = model.jointDamping * settings.damping;
    data.keyTorque = settings.keyTorque;
}

void applyPhysicsSettings(const PhysicsSettings& settings) { applyPhysicsSettings(figureModel, figureData, settings); }
