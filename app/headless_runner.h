// marionette-sim: the figure's simulation without a window, as CSV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "figure_model.h"
#include "key_controls.h"
#include "physics_settings.h"
#include "session.h"

// A key press once `step` steps have been completed.
struct ScheduledKey {
    std::int64_t step;
    int key;  // keyLeft, keyUp, keyRight or keyDown
};

// A knob turned to `value` once `step` steps have been completed.
struct ScheduledKnob {
    std::int64_t step;
    Knob knob;
    double value;
};

struct RunnerOptions {
    std::int64_t steps = 6667;  // about one simulated second
    bool stepsGiven = false;    // --steps was given (else a session runs to its end)
    std::int64_t every = 100;   // a row every this many steps; 0: the final row only
    std::vector<ScheduledKey> keys;  // in the order given
    PhysicsSettings settings;          // the knobs from step 0: --gravity, --stiffness, --damping, --torque
    std::vector<ScheduledKnob> knobs;  // later changes, in the order given
    std::string sessionFile;           // --session: the inputs of a session, replayed
    std::string figure = "marionette"; // --model: a built-in figure's name or a model file
    bool figureGiven = false;          // --model was given
    bool printModel = false;           // --print-model: the figure as a model file, no run
    bool exportMjcf = false;           // --export-mjcf: the figure as MJCF, no run
    bool energy = false;  // eight energy columns after the state
    bool twin = false;    // --twin: the rows of a session's comparison's copy
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

// Reads the session file at `path` (at most maxSessionBytes). On failure
// returns false with `error` one line naming the fault (and its line).
bool loadSessionFile(Session& session, std::string& error, const char* path);

// The inputs of the run: the session's events, or the --key and --knob
// options as events in step order (of one step, the keys first, each kind in
// the order given).
std::vector<SessionEvent> runnerEvents(const RunnerOptions& options, const Session* session);

// Sets up `figure`'s start state, runs the steps under the inputs (the
// session's when one is given) and writes the CSV to `out`; stops early once
// a write to `out` has failed (ferror tells).
void runHeadless(const RunnerOptions& options, const Session* session, std::shared_ptr<const FigureModel> figure,
                 std::FILE* out);
// The same with the window program's figure, or the session's.
void runHeadless(const RunnerOptions& options, const Session* session, std::FILE* out);
