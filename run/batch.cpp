#include "batch.h"

#include <atomic>
#include <cmath>
#include <thread>

#include "figure_run.h"
#include "sine_table.h"

namespace {

// Copies the run's state into `row`; false when a number is not finite.
bool recordState(const FigureRun& run, double* row) {
    const int n = run.model->n;
    bool finite = true;
    for (int i = 0; i < n; ++i) {
        row[i] = run.data.q[i];
        row[n + i] = run.data.p[i];
        finite = finite && std::isfinite(row[i]) && std::isfinite(row[n + i]);
    }
    return finite;
}

void runJob(const BatchJob& job, BatchResult& result, FigureRun& run) {
    result = BatchResult{};
    const std::shared_ptr<const FigureModel> model = job.model ? job.model : marionetteFigure();
    const int n = model->n;
    if (job.steps < 0 || job.recordEvery < 1) {
        result.error = "steps must not be negative and recordEvery at least 1";
        return;
    }
    if (!job.start.empty() && job.start.size() != static_cast<std::size_t>(2 * n)) {
        result.error = "the start state has " + std::to_string(job.start.size()) + " numbers, not 2n = " +
                       std::to_string(2 * n);
        return;
    }
    for (int k = 0; k < 4; ++k)
        if (!knobValueAllowed(static_cast<Knob>(k), knobValue(job.settings, static_cast<Knob>(k)))) {
            result.error = std::string("the ") + knobInfo[k].name + " is out of its range";
            return;
        }
    for (std::size_t e = 1; e < job.events.size(); ++e)
        if (job.events[e].step < job.events[e - 1].step) {
            result.error = "the inputs' steps go back";
            return;
        }
    startFigureRun(run, model, job.settings, false);
    if (!job.start.empty()) {
        for (int i = 0; i < n; ++i) {
            run.data.q[i] = job.start[i];
            run.data.p[i] = job.start[n + i];
        }
    }
    result.states.resize(static_cast<std::size_t>(batchRows(job)) * 2 * n);
    double* row = result.states.data();
    if (!recordState(run, row)) {
        result.error = "the start state is not finite";
        return;
    }
    row += 2 * n;
    auto next = job.events.cbegin();
    for (std::int64_t step = 0; step < job.steps;) {
        for (; next != job.events.cend() && next->step == step; ++next) applySessionEvent(run, *next);
        stepFigureRun(run);
        ++step;
        if (step % job.recordEvery == 0) {
            if (!recordState(run, row)) {
                result.error = "the state is not finite at step " + std::to_string(step);
                return;
            }
            row += 2 * n;
        }
    }
    result.ok = true;
}

}  // namespace

std::int64_t batchRows(const BatchJob& job) {
    return job.recordEvery < 1 || job.steps < 0 ? 0 : job.steps / job.recordEvery + 1;
}

void runBatch(const std::vector<BatchJob>& jobs, std::vector<BatchResult>& results, int threads) {
    ensureSineTable();
    results.assign(jobs.size(), BatchResult{});
    std::atomic<std::size_t> nextJob{0};
    const auto work = [&] {
        FigureRun run;  // this thread's own data, reused from job to job
        for (std::size_t j; (j = nextJob.fetch_add(1)) < jobs.size();) runJob(jobs[j], results[j], run);
    };
    const std::size_t count =
        std::max<std::size_t>(1, std::min<std::size_t>(jobs.size(), threads < 1 ? 1 : static_cast<std::size_t>(threads)));
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < count; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}
