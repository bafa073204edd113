// Speed of the hot path: one evaluation of the equations of motion, and one
// integration step (four evaluations), by the planar passes that
// computeDerivatives runs and by the general passes they are held to.
// Built with MuJoCo (Debian's libmujoco-dev), the same run times MuJoCo on
// the same figure too (mujoco_peer.cpp).
#include <benchmark/benchmark.h>

#include "dynamics.h"
#include "figure_model.h"
#include "hand_pull.h"
#include "integrator.h"

#ifdef MARIONETTE_MUJOCO_PEER
#include <cstdio>
#include <string>

#include "mujoco_peer.h"
#endif

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

#ifdef MARIONETTE_MUJOCO_PEER
// MuJoCo on the same figure from the same state, once it is shown to agree
// with marionette's dynamics; skipped with the reason otherwise.
MujocoFigure* agreeingMujoco(benchmark::State& bench) {
    static MujocoFigure figure;
    static std::string problem;
    static bool opened = false;
    if (!opened) {
        opened = true;
        swingingState();  // builds the model
        if (openMujocoFigure(figure, problem)) {
            const PeerAgreement agreement = compareWithMarionette(figure, 200, 1);
            std::fprintf(stderr,
                         "MuJoCo %s against marionette's passes with exact sines at %d random states: joint "
                         "accelerations within %.2g relative, M M^-1 within %.2g of 1; %d control calls per step\n",
                         mj_versionString(), agreement.states, agreement.acceleration, agreement.massMatrix,
                         agreement.controlCallsPerStep);
            if (!(agreement.acceleration <= 1e-12) || agreement.controlCallsPerStep != 4)
                problem = "MuJoCo does not agree with marionette to 1e-12";
        }
    }
    if (!problem.empty()) {
        bench.SkipWithError(problem.c_str());
        return nullptr;
    }
    // the swinging state, with its joint rates, and the keys of the other benchmarks
    const FigureState state = swingingState();
    double rate[segmentCount], velocity[segmentCount];
    computeDerivativesGeneral(state.p, state.q, rate, velocity);
    setMujocoState(figure, state.q, velocity);
    setAppliedTorques(1, -1);
    return &figure;
}

void mujocoEvaluationBench(benchmark::State& bench) {
    MujocoFigure* figure = agreeingMujoco(bench);
    if (figure == nullptr) return;
    for (auto _ : bench) {
        mj_forward(figure->model, figure->data);
        benchmark::DoNotOptimize(figure->data->qacc);
    }
}
BENCHMARK(mujocoEvaluationBench)->Name("evaluation/mujoco");

void mujocoStepBench(benchmark::State& bench) {
    MujocoFigure* figure = agreeingMujoco(bench);
    if (figure == nullptr) return;
    for (auto _ : bench) {
        mj_step(figure->model, figure->data);
        benchmark::DoNotOptimize(figure->data->qpos);
    }
    bench.counters["steps/s"] = benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(mujocoStepBench)->Name("step/mujoco");
#endif

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
