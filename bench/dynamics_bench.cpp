// Speed of the hot path: one evaluation of the equations of motion, and one
// integration step (four evaluations).
#include <benchmark/benchmark.h>

#include "dynamics.h"
#include "figure_model.h"
#include "hand_pull.h"
#include "integrator.h"

namespace {

// A state away from rest: the figure after a second of swinging with the
// limb and torso torques on, so no term of the evaluation is trivially zero.
FigureState swingingState() {
    static bool built = false;
    if (!built) buildFigureModel();
    built = true;
    FigureState state{};
    state.q[torso] = -1.57;
    for (int step = 0; step < 6667; ++step) stepRK4(state.p, state.q, 1, -1);
    return state;
}

void computeDerivativesBench(benchmark::State& bench) {
    const FigureState state = swingingState();
    double rate[segmentCount], velocity[segmentCount];
    for (auto _ : bench) {
        computeDerivatives(state.p, state.q, rate, velocity);
        benchmark::DoNotOptimize(rate);
        benchmark::DoNotOptimize(velocity);
    }
}
BENCHMARK(computeDerivativesBench);

void stepRK4Bench(benchmark::State& bench) {
    FigureState state = swingingState();
    for (auto _ : bench) {
        stepRK4(state.p, state.q, 1, -1);
        benchmark::DoNotOptimize(state);
    }
    bench.counters["steps/s"] = benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(stepRK4Bench);

// The same step while a hand pulls the right hand (the pull's four
// evaluations and the integration of its work).
void stepRK4HoldingBench(benchmark::State& bench) {
    FigureState state = swingingState();
    takeHold(rightHand, {0.45, 0.0}, {-1.0, -3.0});
    for (auto _ : bench) {
        stepRK4(state.p, state.q, 1, -1);
        benchmark::DoNotOptimize(state);
    }
    releaseHold();
    bench.counters["steps/s"] = benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(stepRK4HoldingBench);

}  // namespace

BENCHMARK_MAIN();
