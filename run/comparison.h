// A comparison: a second copy of a run, begun from the run's state at one
// step with one joint's angle nudged (or not at all), stepped beside it and
// taking every input it takes, so that the two differ by the nudge alone. A
// session says where a comparison begins and ends (its compare events), so
// every front end that replays the session replays both copies.
#pragma once

#include "figure_run.h"
#include "session.h"

// A nudge is 0, or from 1e-12 to 0.1 rad either way.
inline constexpr double smallestNudge = 1e-12;
inline constexpr double largestNudge = 0.1;
bool nudgeAllowed(double nudge);

struct Comparison {
    bool on = false;
    int joint = 0;             // the nudged joint
    double nudge = 0.0;        // rad, added to its angle at the start and after every reset
    bool twinKeepsLedger = false;  // whether the copy keeps energy books of its own
    FigureRun twin;            // the copy, while on
};

// Follows one event after `run` has taken it. A compare event begins the
// comparison (again, if it runs: from the run's state now, knobs and all)
// or ends it; a copy-knob event turns the copy's knob alone, so that the
// two may run under different knobs; any other event goes to the copy as
// well (a knob turned for both sets both), and after a reset the copy is
// nudged again. The copy's books, if kept, open when it begins and at each reset,
// after the nudge.
void followSessionEvent(Comparison& comparison, const FigureRun& run, const SessionEvent& event);

// One step of the copy, while the comparison runs.
void stepComparison(Comparison& comparison);

// The distance between the two states: the root of the sum of the squared
// differences of every angle and momentum; -1 while no comparison runs.
double comparisonDistance(const FigureRun& run, const Comparison& comparison);
