// Any figure and many at once: one RK4 step of chain:N and tree:N (the cost
// that grows with N), and the batch's throughput on one and two threads.
#include <benchmark/benchmark.h>

#include <string>

#include "batch.h"
#include "builtin_figures.h"
#include "figure_run.h"

namespace {

std::shared_ptr<const FigureModel> builtin(const std::string& name) {
    std::string error;
    return builtinFigure(name, error);
}

// ns per RK4 step of a built-in, a second into a swing with the keys' torques on.
void figureStep(benchmark::State& bench, const std::string& kind) {
    const int n = static_cast<int>(bench.range(0));
    FigureRun run;
    startFigureRun(run, builtin(kind + ":" + std::to_string(n)), PhysicsSettings{}, false);
    applySessionEvent(run, SessionEvent{0, SessionEventKind::key, 103});
    for (int step = 0; step < 2000; ++step) stepFigureRun(run);
    for (auto _ : bench) {
        stepFigureRun(run);
        benchmark::DoNotOptimize(run.data.q.data());
    }
    bench.counters["ns/segment"] = benchmark::Counter(static_cast<double>(bench.iterations()) * n,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(figureStep, chain, std::string("chain"))->RangeMultiplier(4)->Range(4, 4096)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(figureStep, tree, std::string("tree"))->RangeMultiplier(4)->Range(4, 4096)->Unit(benchmark::kMicrosecond);

// Steps per second of a batch of 8 runs of the window program's figure,
// 20,000 steps each, recording every 100th state, on range(0) threads.
void batchThroughput(benchmark::State& bench) {
    std::vector<BatchJob> jobs(8);
    for (BatchJob& job : jobs) {
        job.steps = 20000;
        job.recordEvery = 100;
        job.events = {SessionEvent{0, SessionEventKind::key, 103}};
    }
    std::vector<BatchResult> results;
    for (auto _ : bench) runBatch(jobs, results, static_cast<int>(bench.range(0)));
    bench.counters["steps/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * 8 * 20000, benchmark::Counter::kIsRate);
}
BENCHMARK(batchThroughput)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
