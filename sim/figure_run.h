// A run of the figure with everything that acts on it: the state, the arrow
// keys' switches, the knobs, the hand and the energy books. Every front end
// that records or replays a session drives the figure through here, so an
// input means the same, to the bit, in the runner and in the page.
#pragma once

#include <cstdint>

#include "figure_energy.h"
#include "figure_model.h"
#include "key_controls.h"
#include "physics_settings.h"
#include "session.h"

struct FigureRun {
    FigureState state{};             // angles, momenta (and the start-up rates)
    KeyState keys;                   // what the arrow keys have switched on
    PhysicsSettings settings;        // the knobs in force
    EnergyLedger ledger{};           // the energy books, while kept
    bool keepsLedger = true;         // the books cost one more evaluation per step
    std::int64_t step = 0;           // steps since the run began; a reset does not restart it
    std::int64_t stepsSinceReset = 0;
};

// The start-up state (building the model and the sine table the first time),
// the knobs at `settings`, every torque off, nothing held, step 0.
void startFigureRun(FigureRun& run, const PhysicsSettings& settings, bool keepsLedger);

// One input, between two steps. A key switches as applySpecialKey says; a
// grab takes hold (a grab the hand refuses changes nothing), a move moves
// the hand's target, a release lets go; a knob takes its value and the books
// count the jump of stored energy; a reset goes back to the start-up state
// with every torque off and nothing held, the knobs as they are, the books
// opened anew. The event's step is not looked at.
void applySessionEvent(FigureRun& run, const SessionEvent& event);

// One step of the integrator under everything in force, and its books.
void stepFigureRun(FigureRun& run);
