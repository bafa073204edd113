// Many independent runs at once: each job a figure, its start, its inputs
// and its length, run on threads of their own (each thread its own data).
// Every job's numbers are those the same job gives alone, in marionette-sim
// or here on one thread, whatever the number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "figure_model.h"
#include "physics_settings.h"
#include "session.h"

struct BatchJob {
    std::shared_ptr<const FigureModel> model;  // null: the window program's figure
    std::vector<double> start;                 // n angles then n momenta; empty: the model's start
    PhysicsSettings settings;                  // the knobs from step 0
    std::vector<SessionEvent> events;          // inputs, as a session's: in step order, each before its step
    std::int64_t steps = 0;                    // steps to take
    std::int64_t recordEvery = 1;              // record the state after every this many steps (>= 1)
};

struct BatchResult {
    // the start and then every recordEvery-th state: rows of n angles then n
    // momenta, steps / recordEvery + 1 of them
    std::vector<double> states;
    bool ok = false;
    std::string error;  // why not: a bad job, or the state stopped being finite (at which step)
};

// The rows a job records: steps / recordEvery + 1.
std::int64_t batchRows(const BatchJob& job);

// Runs every job on `threads` threads (at least 1; at most one per job) and
// fills results[j] for jobs[j]. A job that fails leaves the others alone.
void runBatch(const std::vector<BatchJob>& jobs, std::vector<BatchResult>& results, int threads);
