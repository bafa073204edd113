// Speed of the hot path: one evaluation of the equations of motion, and one
// integration step (four evaluations), by the planar passes that
// computeDerivatives runs and by the general passes they are held to.
// Built with MuJoCo (Debian's libmujoco-dev), the same run times MuJoCo on
// the same figure too (mujoco_peer.cpp).
#include <benchmark/benchmark.h>

#include "dynamics.h"
#include "figure_model.h"
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

template <void (*evaluate)(const double*, const double*, double*, double*)>
void evaluationBench(benchmark::State& bench) {
    const FigureState state = swingingState();
    double rate[segmentCount], velocity[segmentCount];
    for (auto _ : bench) {
        evaluate(state.p, state.q, rate, velocity);
        benchmark::DoNotOptimize(rate);
        benchmark::DoNotOptimize(velocity);
    }
}
BENCHMARK(evaluationBench<computeDerivatives>)->Name("evaluation/planar");
BENCHMARK(evaluationBench<computeDerivativesGeneral>)->Name("evaluation/general");

template <void (*step)(double*, double*, std::int32_t, std::int32_t)>
void stepBench(benchmark::State& bench) {
    FigureState state = swingingState();
    for (auto _ : bench) {
        step(state.p, state.q, 1, -1);
        benchmark::DoNotOptimize(state);
    }
    bench.counters["steps/s"] = benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(stepBench<stepRK4>)->Name("step/planar");
BENCHMARK(stepBench<stepRK4General>)->Name("step/general");

}  // namespace

BENCHMARK_MAIN();
