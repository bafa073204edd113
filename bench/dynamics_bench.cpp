// Speed of the hot path: one evaluation of the equations of motion, and one
// integration step (four evaluations), by the planar passes that
// computeDerivatives runs and by the general passes they are held to; on
// the window program's figure, and one step on chain:N and tree:N for N =
// 2, 4, ... 4096 and 13 (step/planar/chain:64, ...; the counter
// per_segment is the time of a step over N); and the latency of a double
// addition and division (latency/add, latency/divide).
// Built with MuJoCo (Debian's libmujoco-dev), the same run times MuJoCo on
// the same figures too (mujoco_peer.cpp), once its joint accelerations are
// shown to agree with marionette's (see mujocoFigureStepBench). MuJoCo's chains stop at 1024 segments (a step
// of chain:1024 takes it a quarter of a second, growing as N^3) unless
// MARIONETTE_BENCH_MUJOCO_CHAIN_MAX says otherwise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "builtin_figures.h"
#include "dynamics.h"
#include "figure_model.h"
#include "hand_pull.h"
#include "integrator.h"
#include "sine_table.h"
#include "start_state.h"

#ifdef MARIONETTE_MUJOCO_PEER
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

// A built-in figure a few hundred steps into a swing under the keys, so no
// term of the evaluation is trivially zero; built once per name.
struct SwingingFigure {
    std::shared_ptr<const FigureModel> model;
    std::unique_ptr<FigureData> data;
};

SwingingFigure& swinging(const std::string& name) {
    static std::map<std::string, SwingingFigure> figures;
    SwingingFigure& figure = figures[name];
    if (figure.model == nullptr) {
        ensureSineTable();
        std::string error;
        figure.model = builtinFigure(name, error);
        if (figure.model == nullptr) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        figure.data = std::make_unique<FigureData>(*figure.model);
        setStartState(*figure.model, *figure.data);
        for (int step = 0; step < 300; ++step)
            stepRK4(*figure.model, *figure.data, figure.data->p.data(), figure.data->q.data(), 1, -1);
    }
    return figure;
}

void perSegmentCounters(benchmark::State& bench, int n) {
    bench.counters["segments"] = n;
    bench.counters["per_segment"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Each step starts from the one before, as in a running figure, over the
// same 2,000 steps again and again: how fast a figure moves decides how
// much of the sine table its steps touch, so a run that drifted on with the
// number of iterations would time a different swing each time.
template <void (*step)(const FigureModel&, FigureData&, double*, double*, std::int32_t, std::int32_t)>
void figureStepBench(benchmark::State& bench, const std::string& name) {
    SwingingFigure& figure = swinging(name);
    std::vector<double> p = figure.data->p, q = figure.data->q;
    int sinceStart = 0;
    for (auto _ : bench) {
        if (++sinceStart == 2000) {
            std::copy(figure.data->p.begin(), figure.data->p.end(), p.begin());
            std::copy(figure.data->q.begin(), figure.data->q.end(), q.begin());
            sinceStart = 0;
        }
        step(*figure.model, *figure.data, p.data(), q.data(), 1, -1);
        benchmark::DoNotOptimize(p.data());
        benchmark::DoNotOptimize(q.data());
    }
    perSegmentCounters(bench, figure.model->n);
}

#ifdef MARIONETTE_MUJOCO_PEER
// MuJoCo on the same figure from the same state, once it is shown to solve
// the same equations: at three random states (every joint within 3 rad)
// marionette's joint accelerations satisfy MuJoCo's own M qacc = f to 1e-12
// of f, and agree with MuJoCo's to 1e-9 of the largest up to 128 segments.
// On longer chains M's condition number makes two solutions that both
// satisfy M qacc = f that well differ by more (1.6e-9 at 256, 6e-9 at 512,
// 2e-8 at 1024 here): the counter qacc_error reports it.
void mujocoFigureStepBench(benchmark::State& bench, const std::string& name) {
    struct Peer {
        MujocoFigure mujoco;
        std::unique_ptr<FigureData> data;
        std::string problem;
        double acceleration = 0.0;
    };
    static std::map<std::string, Peer> peers;
    SwingingFigure& figure = swinging(name);
    const int n = figure.model->n;
    Peer& peer = peers[name];
    if (peer.data == nullptr) {
        peer.data = std::make_unique<FigureData>(*figure.model);
        if (openMujocoFigure(peer.mujoco, *figure.model, *peer.data, peer.problem)) {
            const PeerAgreement agreement = compareWithMarionette(peer.mujoco, 3, 1);
            peer.acceleration = agreement.acceleration;
            std::fprintf(stderr,
                         "MuJoCo on %s: joint accelerations within %.2g of the largest%s; residual of MuJoCo's "
                         "M qacc = f at marionette's %.2g, at its own %.2g\n",
                         name.c_str(), agreement.acceleration, n <= 128 ? "" : " (reported, not held to 1e-9)",
                         agreement.residuals[0], agreement.residuals[1]);
            if (!(agreement.residuals[0] <= 1e-12))
                peer.problem = "marionette's accelerations do not satisfy MuJoCo's equations of motion to 1e-12";
            else if (n <= 128 && !(agreement.acceleration <= 1e-9))
                peer.problem = "MuJoCo does not agree with marionette to 1e-9";
            else if (agreement.controlCallsPerStep != 4)
                peer.problem = "MuJoCo does not apply the controller in each of RK4's four stages";
        }
    }
    if (!peer.problem.empty()) {
        bench.SkipWithError(peer.problem.c_str());
        return;
    }
    // the swinging state, with its joint rates, and the keys of the other benchmarks
    std::vector<double> rate(n), velocity(n);
    computeDerivativesGeneral(*figure.model, *figure.data, figure.data->p.data(), figure.data->q.data(), rate.data(),
                              velocity.data());
    useMujocoFigure(peer.mujoco);
    setMujocoState(peer.mujoco, figure.data->q.data(), velocity.data());
    setAppliedTorques(*figure.model, *peer.data, 1, -1);
    for (auto _ : bench) {
        mj_step(peer.mujoco.model, peer.mujoco.data);
        benchmark::DoNotOptimize(peer.mujoco.data->qpos);
    }
    perSegmentCounters(bench, n);
    bench.counters["qacc_error"] = peer.acceleration;
}
#endif

// The latencies that bound a chain, whose passes wait on one result after
// another: a chain of dependent additions (latency/add; 3 cycles each on
// AMD Zen, so it gives the clock) and of dependent divisions
// (latency/divide), ns per operation.
template <bool divide>
void latencyBench(benchmark::State& bench) {
    double x = 1.0, y = 1.0000000001;
    benchmark::DoNotOptimize(y);
    for (auto _ : bench) {
        for (int k = 0; k < 1000; ++k) x = divide ? x / y : x + y;
        benchmark::DoNotOptimize(x);
    }
    bench.counters["per_operation"] = benchmark::Counter(1000, benchmark::Counter::kIsIterationInvariantRate |
                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(latencyBench<false>)->Name("latency/add");
BENCHMARK(latencyBench<true>)->Name("latency/divide");

// step/planar/NAME, step/general/NAME and step/mujoco/NAME for chains and
// trees of 2, 4, ... 4096 segments and of 13.
// The fastest of a benchmark's repetitions: what a step costs with the least
// interference from the rest of the machine, which only ever adds time.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void registerScaling() {
    int mujocoChainMax = 1024;
    if (const char* max = std::getenv("MARIONETTE_BENCH_MUJOCO_CHAIN_MAX")) mujocoChainMax = std::atoi(max);
    std::vector<int> sizes = {2, 4, 8, 13};
    for (int n = 16; n <= maxSegments; n *= 2) sizes.push_back(n);
    for (const char* shape : {"chain", "tree"})
        for (const int n : sizes) {
            const std::string name = std::string(shape) + ":" + std::to_string(n);
            benchmark::RegisterBenchmark(("step/planar/" + name).c_str(), figureStepBench<stepRK4>, name)
                ->ComputeStatistics("min", fastest);
            benchmark::RegisterBenchmark(("step/general/" + name).c_str(), figureStepBench<stepRK4General>, name)
                ->ComputeStatistics("min", fastest);
#ifdef MARIONETTE_MUJOCO_PEER
            if (std::string(shape) == "tree" || n <= mujocoChainMax)
                benchmark::RegisterBenchmark(("step/mujoco/" + name).c_str(), mujocoFigureStepBench, name)
                    ->ComputeStatistics("min", fastest);
#else
            (void)mujocoChainMax;
#endif
        }
}

}  // namespace

int main(int argc, char** argv) {
    registerScaling();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
