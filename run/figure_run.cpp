#include "figure_run.h"

#include <utility>

#include "hand_pull.h"
#include "integrator.h"
#include "sine_table.h"
#include "start_state.h"

void startFigureRun(FigureRun& run, std::shared_ptr<const FigureModel> model, const PhysicsSettings& settings,
                    bool keepsLedger) {
    ensureSineTable();
    if (run.model != model || run.data.n != model->n) run.data = FigureData(*model);
    run.model = std::move(model);
    const FigureModel& m = *run.model;
    setStartState(m, run.data);
    run.settings = settings;
    applyPhysicsSettings(m, run.data, run.settings);
    run.keys = KeyState{};
    releaseHold(run.data);
    run.keepsLedger = keepsLedger;
    if (keepsLedger) openEnergyLedger(m, run.data, run.ledger, run.data.p.data(), run.data.q.data());
    run.step = 0;
    run.stepsSinceReset = 0;
}

void startFigureRun(FigureRun& run, const PhysicsSettings& settings, bool keepsLedger) {
    startFigureRun(run, marionetteFigure(), settings, keepsLedger);
}

void applySessionEvent(FigureRun& run, const SessionEvent& event) {
    const FigureModel& model = *run.model;
    FigureData& data = run.data;
    switch (event.kind) {
        case SessionEventKind::key:
            applySpecialKey(run.keys, event.code);
            break;
        case SessionEventKind::grab:
            takeHold(model, data, event.code, {event.heldX, event.heldY}, {event.targetX, event.targetY});
            break;
        case SessionEventKind::move:
            moveHandTarget(data, {event.targetX, event.targetY});
            break;
        case SessionEventKind::release:
            releaseHold(data);
            break;
        case SessionEventKind::knob:
            if (event.code < 0 || event.code >= knobCount || !knobValueAllowed(static_cast<Knob>(event.code), event.targetX))
                break;
            setKnobValue(run.settings, static_cast<Knob>(event.code), event.targetX);
            applyPhysicsSettings(model, data, run.settings);
            if (run.keepsLedger) recordKnobChange(model, data, run.ledger, data.p.data(), data.q.data());
            break;
        case SessionEventKind::reset:
            setStartState(model, data);
            run.keys = KeyState{};
            releaseHold(data);
            if (run.keepsLedger) openEnergyLedger(model, data, run.ledger, data.p.data(), data.q.data());
            run.stepsSinceReset = 0;
            break;
        case SessionEventKind::compare:  // the copy's business (comparison.h): the run goes on as it was
        case SessionEventKind::copyKnob:
            break;
    }
}

void stepFigureRun(FigureRun& run) {
    const FigureModel& model = *run.model;
    FigureData& data = run.data;
    stepRK4(model, data, data.p.data(), data.q.data(), run.keys.limbTorqueMode, run.keys.torsoTorqueDirection);
    if (run.keepsLedger) recordEnergyStep(model, data, run.ledger, data.p.data(), data.q.data());
    ++run.step;
    ++run.stepsSinceReset;
}
