// marionette-sim: the figure's simulation without a window, as CSV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "key_controls.h"

// A key press once `step` steps have been completed.
struct ScheduledKey {
    std::int64_t step;
    int key;  // keyLeft, keyUp, keyRight or keyDown
};

struct RunnerOptions {
    std::int64_t steps = 6667;  // about one simulated second
    std::int64_t every = 100;   // a row every this many steps; 0: the final row only
    std::vector<ScheduledKey> keys;  // in the order given
    bool energy = false;  // six energy columns after the state
    bool help = false;
    bool version = false;
};

inline constexpr std::int64_t maxRunnerCount = 1000000000000;  // 10^12

// Parses the arguments after the program name. On success returns true; on
// failure returns false with `error` naming the bad argument.
bool parseRunnerArguments(RunnerOptions& options, std::string& error, int argc, const char* const argv[]);

// The usage text, ending in a newline.
const char* runnerUsage();

// One line naming every --key that the run never reaches (a key acts once its
// step is done, so one at or after the last step does nothing); empty if none.
std::string unreachedKeysWarning(const RunnerOptions& options);

// Sets up the start-up state, runs the steps and writes the CSV to `out`;
// stops early once a write to `out` has failed (ferror tells).
void runHeadless(const RunnerOptions& options, std::FILE* out);
