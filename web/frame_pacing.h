// How many simulation steps one animation frame of the page takes.
#pragma once

#include <cstdint>

#include "integrator.h"

// Real time and slow motion follow the wall clock; the fastest pace, like the
// window program, integrates as much as a frame's budget allows.
enum class Pace : int { realTime = 0, slowMotion = 1, fastest = 2 };

inline constexpr double frameBudgetMs = 10.0;  // the most one frame spends integrating
inline constexpr int stepsPerClockLook = 25;   // steps between two looks at the clock
inline constexpr double maxLagMs = 100.0;      // the most wall-clock time a pace may lag and still catch up

// Simulated seconds per wall-clock second of a pace that follows the clock.
constexpr double clockRate(Pace pace) {
    return pace == Pace::slowMotion ? 0.25 : 1.0;
}

// Takes one frame's steps through step(), reading the time in milliseconds
// from now(), and returns how many it took. Following the clock, it takes
// the steps that bring simulated time level with elapsedMs of wall-clock
// time times the pace's rate, carrying the fraction of a step over in
// owedSteps; at the fastest pace, as many as fit in frameBudgetMs. Either way
// it stops once frameBudgetMs have passed, and then carries what the clock
// still asked for into the next frames up to maxLagMs of it, forgetting the
// rest: a frame that came late (a busy moment, a slow picture) is made up
// over the frames after it, while a machine too slow for the pace falls
// behind smoothly instead of piling up work it can never catch up with.
template <class Now, class Step>
std::int64_t runFrameSteps(double& owedSteps, Pace pace, double elapsedMs, Now now, Step step) {
    const bool followsClock = pace != Pace::fastest;
    if (followsClock) owedSteps += elapsedMs * 0.001 * clockRate(pace) / timeStep;
    const double deadline = now() + frameBudgetMs;
    std::int64_t taken = 0;
    while (!followsClock || owedSteps >= 1.0) {
        step();
        ++taken;
        if (followsClock) owedSteps -= 1.0;
        if (taken % stepsPerClockLook == 0 && now() >= deadline) {
            const double maxOwed = maxLagMs * 0.001 * clockRate(pace) / timeStep;
            if (followsClock && owedSteps > maxOwed) owedSteps = maxOwed;
            break;
        }
    }
    return taken;
}
