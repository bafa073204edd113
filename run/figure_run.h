// A run of a figure with everything that acts on it: the model, the run's
// own data, the arrow keys' switches, the knobs, the hand and the energy
// books. Every front end that records or replays a session drives a figure
// through here, so an input means the same, to the bit, in the runner, the
// page and the batch. Runs share nothing but their read-only model: any
// number may step in any interleaving, or on threads of their own.
#pragma once

#include <cstdint>
#include <memory>

#include "figure_data.h"
#include "figure_energy.h"
#include "figure_model.h"
#include "key_controls.h"
#include "physics_settings.h"
#include "session.h"

struct FigureRun {
    std::shared_ptr<const FigureModel> model;  // what the figure is
    FigureData data;                           // its state (data.q, data.p) and everything a step changes
    KeyState keys;                             // what the arrow keys have switched on
    PhysicsSettings settings;                  // the knobs in force
    EnergyLedger ledger{};                     // the energy books, while kept
    bool keepsLedger = true;                   // the books evaluate at every step's end, where the next step begins
    std::int64_t step = 0;                     // steps since the run began; a reset does not restart it
    std::int64_t stepsSinceReset = 0;
};

// The model's start state (building the sine table the first time), the
// knobs at `settings`, every torque off, nothing held, step 0.
void startFigureRun(FigureRun& run, std::shared_ptr<const FigureModel> model, const PhysicsSettings& settings,
                    bool keepsLedger);
// The same with the window program's figure.
void startFigureRun(FigureRun& run, const PhysicsSettings& settings, bool keepsLedger);

// One input, between two steps. A key switches as applySpecialKey says; a
// grab takes hold (a grab the hand refuses changes nothing), a move moves
// the hand's target, a release lets go; a knob takes its value and the books
// count the jump of stored energy; a reset goes back to the start state
// with every torque off and nothing held, the knobs as they are, the books
// opened anew; a compare or copy-knob event changes nothing here
// (comparison.h). The
// event's step is not looked at.
void applySessionEvent(FigureRun& run, const SessionEvent& event);

// One step of the integrator under everything in force, and its books.
void stepFigureRun(FigureRun& run);
