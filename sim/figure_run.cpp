#include "figure_run.h"

#include "hand_pull.h"
#include "integrator.h"
#include "sine_table.h"
#include "start_state.h"

void startFigureRun(FigureRun& run, const PhysicsSettings& settings, bool keepsLedger) {
    // the model and the table once; nothing but the knobs (applied below) ever changes them
    if (sineTable.samples == nullptr)
        startFigure(run.state);
    else
        resetFigure(run.state);
    run.settings = settings;
    applyPhysicsSettings(run.settings);
    run.keys = KeyState{};
    releaseHold();
    run.keepsLedger = keepsLedger;
    if (keepsLedger) openEnergyLedger(run.ledger, run.state.p, run.state.q);
    run.step = 0;
    run.stepsSinceReset = 0;
}

void applySessionEvent(FigureRun& run, const SessionEvent& event) {
    switch (event.kind) {
        case SessionEventKind::key:
            applySpecialKey(run.keys, event.code);
            break;
        case SessionEventKind::grab:
            takeHold(event.code, {event.heldX, event.heldY}, {event.targetX, event.targetY});
            break;
        case SessionEventKind::move:
            moveHandTarget({event.targetX, event.targetY});
            break;
        case SessionEventKind::release:
            releaseHold();
            break;
        case SessionEventKind::knob:
            if (event.code < 0 || event.code >= knobCount || !knobValueAllowed(static_cast<Knob>(event.code), event.targetX))
                break;
            setKnobValue(run.settings, static_cast<Knob>(event.code), event.targetX);
            applyPhysicsSettings(run.settings);
            if (run.keepsLedger) recordKnobChange(run.ledger, run.state.p, run.state.q);
            break;
        case SessionEventKind::reset:
            resetFigure(run.state);
            run.keys = KeyState{};
            releaseHold();
            if (run.keepsLedger) openEnergyLedger(run.ledger, run.state.p, run.state.q);
            run.stepsSinceReset = 0;
            break;
    }
}

void stepFigureRun(FigureRun& run) {
    stepRK4(run.state.p, run.state.q, run.keys.limbTorqueMode, run.keys.torsoTorqueDirection);
    if (run.keepsLedger) recordEnergyStep(run.ledger, run.state.p, run.state.q);
    ++run.step;
    ++run.stepsSinceReset;
}
