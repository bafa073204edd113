#include "comparison.h"

#include <cmath>

bool nudgeAllowed(double nudge) {
    const double size = std::fabs(nudge);
    return size == 0.0 || (size >= smallestNudge && size <= largestNudge);
}

namespace {

void nudgeTwin(Comparison& c) {
    FigureRun& twin = c.twin;
    twin.data.q[c.joint] += c.nudge;
    if (twin.keepsLedger) openEnergyLedger(*twin.model, twin.data, twin.ledger, twin.data.p.data(), twin.data.q.data());
}

}  // namespace

void followSessionEvent(Comparison& c, const FigureRun& run, const SessionEvent& event) {
    if (event.kind == SessionEventKind::compare) {
        c.on = event.code >= 0 && event.code < run.model->n && nudgeAllowed(event.targetX);
        if (!c.on) {
            c.twin = FigureRun{};
            return;
        }
        c.joint = event.code;
        c.nudge = event.targetX;
        c.twin = run;
        c.twin.keepsLedger = c.twinKeepsLedger;
        nudgeTwin(c);
        return;
    }
    if (!c.on) return;
    if (event.kind == SessionEventKind::copyKnob) {
        SessionEvent knob = event;
        knob.kind = SessionEventKind::knob;
        applySessionEvent(c.twin, knob);
        return;
    }
    applySessionEvent(c.twin, event);
    if (event.kind == SessionEventKind::reset) nudgeTwin(c);
}

void stepComparison(Comparison& c) {
    if (c.on) stepFigureRun(c.twin);
}

double comparisonDistance(const FigureRun& run, const Comparison& c) {
    if (!c.on) return -1.0;
    double sum = 0.0;
    for (int i = 0; i < run.model->n; ++i) {
        const double dq = run.data.q[i] - c.twin.data.q[i];
        const double dp = run.data.p[i] - c.twin.data.p[i];
        sum += dq * dq + dp * dp;
    }
    return std::sqrt(sum);
}
