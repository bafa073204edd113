// Many figures in one process: runs share nothing but their read-only
// model, so each gives the bits it gives alone, in any interleaving and on
// any number of threads, and the batch gives the runner's numbers.
#include "batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "builtin_figures.h"
#include "dynamics.h"
#include "evaluation_memo.h"
#include "figure_run.h"
#include "headless_runner.h"
#include "integrator.h"

namespace {

std::shared_ptr<const FigureModel> builtin(const std::string& name) {
    std::string error;
    return builtinFigure(name, error);
}

SessionEvent event(std::int64_t step, SessionEventKind kind, int code = 0, double x = 0, double y = 0) {
    SessionEvent e;
    e.step = step;
    e.kind = kind;
    e.code = code;
    e.heldX = 0.5;
    e.targetX = x;
    e.targetY = y;
    return e;
}

// A run's inputs: keys, a knob and a grab of its last segment.
std::vector<SessionEvent> inputs(int n) {
    return {event(0, SessionEventKind::key, keyDown), event(300, SessionEventKind::key, keyLeft),
            event(500, SessionEventKind::knob, static_cast<int>(Knob::gravity), 2.0),
            event(700, SessionEventKind::grab, n - 1, 1.0, -1.0), event(900, SessionEventKind::move, 0, 2.0, 0.5),
            event(1100, SessionEventKind::release)};
}

// Steps `run` to `steps`, applying its inputs as the runner does.
void advance(FigureRun& run, const std::vector<SessionEvent>& events, std::size_t& next, std::int64_t steps) {
    for (; run.step < steps; stepFigureRun(run))
        for (; next < events.size() && events[next].step == run.step; ++next) applySessionEvent(run, events[next]);
}

TEST(ManyFiguresTest, RunsInterleavedGiveTheirBitsAlone) {
    // the window program's figure at gravity 2 beside one at the standard gravity, and a chain with a hand
    const std::vector<std::shared_ptr<const FigureModel>> models = {marionetteFigure(), marionetteFigure(),
                                                                     builtin("chain:6")};
    PhysicsSettings low;
    low.gravity = 2.0;
    const std::vector<PhysicsSettings> settings = {low, PhysicsSettings{}, PhysicsSettings{}};
    constexpr std::int64_t steps = 1500;
    std::vector<FigureRun> alone(3), together(3);
    std::vector<std::size_t> next(3, 0);
    for (int k = 0; k < 3; ++k) {
        startFigureRun(alone[k], models[k], settings[k], true);
        std::size_t from = 0;
        advance(alone[k], inputs(models[k]->n), from, steps);
        startFigureRun(together[k], models[k], settings[k], true);
    }
    const std::vector<std::vector<SessionEvent>> events = {inputs(13), inputs(13), inputs(6)};
    for (std::int64_t step = 1; step <= steps; step += step % 3 + 1)  // uneven turns, each in turn
        for (int k = 0; k < 3; ++k) advance(together[k], events[k], next[k], std::min(step, steps));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(together[k].data.q, alone[k].data.q) << k;
        EXPECT_EQ(together[k].data.p, alone[k].data.p) << k;
        EXPECT_EQ(together[k].ledger.residual, alone[k].ledger.residual) << k;
    }
    EXPECT_NE(alone[0].data.q, alone[1].data.q);  // the gravity told
}

// The last row of marionette-sim's CSV for `figure` under `events`, as numbers.
std::vector<double> runnerLastRow(const std::shared_ptr<const FigureModel>& figure,
                                  const std::vector<SessionEvent>& events, std::int64_t steps) {
    RunnerOptions options;
    options.steps = steps;
    options.every = 0;
    Session session;
    session.figure = figure;
    session.events = events;
    session.endStep = steps;
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    runHeadless(options, &session, figure, out);
    std::fclose(out);
    const std::string csv(text, length);
    std::free(text);
    std::vector<double> row;
    const char* at = csv.c_str() + csv.rfind('\n', csv.size() - 2) + 1;
    for (char* end = nullptr;; at = end + 1) {
        row.push_back(std::strtod(at, &end));
        if (*end != ',') break;
    }
    return std::vector<double>(row.begin() + 2, row.end());  // without step and t
}

TEST(ManyFiguresTest, BatchGivesTheRunnersNumbersOnAnyNumberOfThreads) {
    std::vector<BatchJob> jobs;
    for (const char* name : {"marionette", "chain:8", "tree:7", "double-pendulum", "chain:8"}) {
        BatchJob job;
        job.model = builtin(name);
        job.events = inputs(job.model->n);
        job.steps = 1300;
        job.recordEvery = 100;
        jobs.push_back(job);
    }
    jobs[4].start.assign(16, 0.0);
    jobs[4].start[0] = 0.3;
    jobs[3].start = {NAN, 0, 0, 0};  // fails alone
    std::vector<BatchResult> one, two;
    runBatch(jobs, one, 1);
    runBatch(jobs, two, 2);
    ASSERT_EQ(one.size(), jobs.size());
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        EXPECT_EQ(one[j].ok, j != 3) << j << one[j].error;
        EXPECT_EQ(one[j].error, two[j].error) << j;
        if (!one[j].ok) continue;
        EXPECT_EQ(one[j].states, two[j].states) << j;
        const int n = jobs[j].model->n;
        ASSERT_EQ(one[j].states.size(), static_cast<std::size_t>(14 * 2 * n));
        if (jobs[j].start.empty()) {
            const std::vector<double> last(one[j].states.end() - 2 * n, one[j].states.end());
            EXPECT_EQ(last, runnerLastRow(jobs[j].model, jobs[j].events, jobs[j].steps)) << j;
        }
    }
    EXPECT_NE(one[3].error.find("not finite"), std::string::npos) << one[3].error;
    EXPECT_EQ(one[4].states[0], 0.3);
}

}  // namespace

// A step begins from the energy books' last evaluation where nothing it read
// has changed. Under random inputs of every kind, a run keeping its books
// gives the bits of one that forgets that evaluation before every step
// (books included) and of one without books; and what the step recalls is
// what an evaluation gives.
TEST(ManyFiguresTest, AStepBeginsFromTheBooksEvaluationBitForBit) {
    std::mt19937_64 random(11);
    for (const auto& model : {marionetteFigure(), builtin("chain:5"), builtin("tree:7")}) {
        const int n = model->n;
        std::vector<SessionEvent> events;
        bool holding = false;
        for (std::int64_t step = 0; step < 4000; step += 1 + static_cast<std::int64_t>(random() % 40)) {
            const auto kind = static_cast<SessionEventKind>(random() % 6);
            const double x = std::ldexp(static_cast<double>(random() % 512) - 256.0, -6);
            const double y = std::ldexp(static_cast<double>(random() % 512) - 256.0, -6);
            if (kind == SessionEventKind::key) events.push_back(event(step, kind, keyLeft + static_cast<int>(random() % 4)));
            if (kind == SessionEventKind::knob) {
                const int k = static_cast<int>(random() % knobCount);
                events.push_back(event(step, kind, k, knobInfo[k].low + (knobInfo[k].high - knobInfo[k].low) * (x + 4.0) / 8.0));
            }
            if (kind == SessionEventKind::grab && !holding) events.push_back(event(step, kind, static_cast<int>(random() % n), x, y));
            if (kind == SessionEventKind::move && holding) events.push_back(event(step, kind, 0, x, y));
            if (kind == SessionEventKind::release || kind == SessionEventKind::reset) events.push_back(event(step, kind));
            holding = (holding || kind == SessionEventKind::grab) && kind != SessionEventKind::release &&
                      kind != SessionEventKind::reset;
        }
        FigureRun recalls, forgets, noBooks;
        startFigureRun(recalls, model, PhysicsSettings{}, true);
        startFigureRun(forgets, model, PhysicsSettings{}, true);
        startFigureRun(noBooks, model, PhysicsSettings{}, false);
        std::size_t next[3] = {0, 0, 0};
        for (std::int64_t step = 1; step <= 4000; ++step) {
            forgets.data.memo.model = nullptr;
            advance(recalls, events, next[0], step);
            advance(forgets, events, next[1], step);
            advance(noBooks, events, next[2], step);
            const auto same = [&](const std::vector<double>& a, const std::vector<double>& b) {
                return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
            };
            ASSERT_TRUE(same(recalls.data.q, forgets.data.q) && same(recalls.data.p, forgets.data.p) &&
                        same(recalls.data.q, noBooks.data.q) && same(recalls.data.p, noBooks.data.p))
                << model->name << " step " << step;
            const EnergyLedger &a = recalls.ledger, &b = forgets.ledger;
            const double booksA[] = {a.now.kinetic, a.now.gravity, a.now.spring, a.dissipated, a.supplied, a.knobWork, a.handWork};
            const double booksB[] = {b.now.kinetic, b.now.gravity, b.now.spring, b.dissipated, b.supplied, b.knobWork, b.handWork};
            ASSERT_EQ(std::memcmp(booksA, booksB, sizeof booksA), 0) << model->name << " step " << step;
        }
        std::vector<double> rate(n), momentumRate(n), recalledRate(n), recalledMomentumRate(n);
        setAppliedTorques(*model, recalls.data, recalls.keys.limbTorqueMode, recalls.keys.torsoTorqueDirection);
        ASSERT_TRUE(recallDerivatives(*model, recalls.data, recalls.data.p.data(), recalls.data.q.data(),
                                      recalledMomentumRate.data(), recalledRate.data()));
        computeDerivatives(*model, recalls.data, recalls.data.p.data(), recalls.data.q.data(), momentumRate.data(), rate.data());
        EXPECT_EQ(recalledRate, rate);
        EXPECT_EQ(recalledMomentumRate, momentumRate);
    }
}
