#include "headless_runner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "comparison.h"
#include "figure_energy.h"
#include "figure_run.h"
#include "integrator.h"

namespace {

// A count: decimal digits only, at most maxRunnerCount.
bool parseCount(std::int64_t& out, const char* text, std::string& error, const char* what) {
    if (text[0] == '-' && std::isdigit(static_cast<unsigned char>(text[1]))) {
        error = std::string(what) + " must not be negative: '" + text + "'";
        return false;
    }
    std::int64_t value = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9'; ++c) {
        value = value * 10 + (*c - '0');
        if (value > maxRunnerCount) {
            error = std::string(what) + " is larger than 10^12: '" + text + "'";
            return false;
        }
    }
    if (c == text || *c != '\0') {
        error = std::string(what) + " is not a whole number: '" + text + "'";
        return false;
    }
    out = value;
    return true;
}

const struct {
    const char* name;
    int key;
} keyNames[] = {{"left", keyLeft}, {"right", keyRight}, {"up", keyUp}, {"down", keyDown}};

bool parseKeyName(int& key, const char* name) {
    for (const auto& entry : keyNames)
        if (strcasecmp(name, entry.name) == 0) {
            key = entry.key;
            return true;
        }
    return false;
}

const char* keyName(int key) {
    for (const auto& entry : keyNames)
        if (entry.key == key) return entry.name;
    return "?";
}

// STEP:NAME, e.g. 500:down.
bool parseScheduledKey(ScheduledKey& out, const char* text, std::string& error) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) {
        error = std::string("--key wants STEP:NAME, not '") + text + "'";
        return false;
    }
    const std::string step(text, colon);
    std::string stepError;
    if (!parseCount(out.step, step.c_str(), stepError, "STEP")) {
        error = std::string("--key wants STEP:NAME with STEP a whole number from 0 to 10^12, not '") + text + "'";
        return false;
    }
    if (!parseKeyName(out.key, colon + 1)) {
        error = std::string("unknown key name in '") + text + "' (left, right, up or down)";
        return false;
    }
    return true;
}

// A knob's value: a decimal number within the knob's range.
bool parseKnobValue(double& out, Knob knob, const char* text, std::string& error, const std::string& what) {
    const KnobInfo& info = knobInfo[static_cast<int>(knob)];
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    const bool number = end != text && *end == '\0' && !std::isspace(static_cast<unsigned char>(text[0]));
    if (!number || !knobValueAllowed(knob, value)) {
        char range[96];
        std::snprintf(range, sizeof range, " must be a number from %g to %g (%s), not '", info.low, info.high, info.unit);
        error = what + range + text + "'";
        return false;
    }
    out = value;
    return true;
}

// STEP:NAME=VALUE, e.g. 5000:gravity=1.62.
bool parseScheduledKnob(ScheduledKnob& out, const char* text, std::string& error) {
    const char* colon = std::strchr(text, ':');
    const char* equals = colon == nullptr ? nullptr : std::strchr(colon, '=');
    std::string stepError;
    if (colon == nullptr || equals == nullptr ||
        !parseCount(out.step, std::string(text, colon).c_str(), stepError, "STEP")) {
        error = std::string("--knob wants STEP:NAME=VALUE with STEP a whole number from 0 to 10^12, not '") + text + "'";
        return false;
    }
    const std::string name(colon + 1, equals);
    if (!findKnob(out.knob, name.c_str())) {
        error = std::string("unknown knob name in '") + text + "' (gravity, stiffness, damping or torque)";
        return false;
    }
    return parseKnobValue(out.value, out.knob, equals + 1, error, std::string("--knob ") + text + ": " + name);
}

void printRow(std::FILE* out, std::int64_t step, const FigureData& state, const EnergyLedger* ledger) {
    std::fprintf(out, "%lld,%.17g", static_cast<long long>(step), static_cast<double>(step) * timeStep);
    for (double q : state.q) std::fprintf(out, ",%.17g", q);
    for (double p : state.p) std::fprintf(out, ",%.17g", p);
    if (ledger != nullptr)
        std::fprintf(out, ",%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g", ledger->now.kinetic,
                     ledger->now.gravity, ledger->now.spring, ledger->dissipated, ledger->supplied, ledger->knobWork,
                     ledger->handWork, ledger->residual);
    std::fputc('\n', out);
}

}  // namespace

const char* runnerUsage() {
    return "usage: marionette-sim [--steps N] [--every K] [--key STEP:NAME]... [--energy]\n"
           "                      [--gravity G] [--stiffness S] [--damping D] [--torque T]\n"
           "                      [--knob STEP:NAME=VALUE]... | [--session FILE]\n"
           "                      [--model NAME|FILE] [--print-model | --export-mjcf] [--twin]\n"
           "       marionette-sim --help | --version\n"
           "Runs the figure from its start-up state for N steps of 0.00015 s (default 6667)\n"
           "and prints step,t,q0..q12,p0..p12 as CSV (q0..q(n-1),p0..p(n-1) for a figure\n"
           "of n segments): step 0, every K steps (default 100;\n"
           "0 for the final step only) and the final step. --key presses LEFT, RIGHT, UP or\n"
           "DOWN once STEP steps are done; repeat it for more keys (one at or after\n"
           "step N never acts, and is named in a warning).\n"
           "The knobs, for the whole run (each default leaves every number as without it):\n"
           "  --gravity G    gravity, 0 to 25 m/s^2 (default 9.80665; the Moon 1.62,\n"
           "                 Mars 3.71, Jupiter 24.79)\n"
           "  --stiffness S  every joint's stiffness times S, 0 to 4 (default 1)\n"
           "  --damping D    every joint's damping times D, 0 to 4 (default 1)\n"
           "  --torque T     the arrow keys' torque, 0 to 300 N m (default 100)\n"
           "  --knob STEP:NAME=VALUE  turns knob NAME (gravity, stiffness, damping or\n"
           "                 torque) to VALUE once STEP steps are done; repeatable\n"
           "--session FILE replays a session saved by the web page (keys, grabs, knobs,\n"
           "resets, each at its step) to its end step, or to N with --steps; the step\n"
           "column counts from the session's start, resets included. It holds the run's\n"
           "inputs, so --key and --knob cannot come with it. A session that compares\n"
           "runs a second copy of the figure, nudged, beside it; --twin prints that\n"
           "copy's rows instead, at the steps where it runs.\n"
           "--model runs another figure: marionette (the default), pendulum,\n"
           "double-pendulum, chain:N or tree:N (N from 1 to 4096), or a model file in\n"
           "marionette's JSON format. --print-model writes the figure in that format\n"
           "(a start for a figure of your own), --export-mjcf as MJCF for MuJoCo;\n"
           "neither runs it. A session names its own figure.\n"
           "--version prints the version and the commit the runner was built from.\n"
           "--energy appends eight columns, in joules, of the figure's energy and where\n"
           "it went:\n"
           "  kinetic     1/2 sum p_i q'_i, q' the joint rates the momenta give\n"
           "  gravity     sum m_i g y_i, y_i the height of segment i's centre of\n"
           "              mass above the pivot, g the gravity in force\n"
           "  spring      sum 1/2 K_i (target_i - q_i)^2 of the joint controllers\n"
           "  dissipated  work the controllers' damping has taken out since step 0,\n"
           "              the integral of D sum q'_i^2 over every step (D = 5.1)\n"
           "  supplied    work the arrow keys' torques have put in since step 0,\n"
           "              the integral of sum torque_i q'_i over every step\n"
           "  knobs       what the knobs' changes added to kinetic + gravity + spring\n"
           "              at the moments they changed (a stronger gravity or spring\n"
           "              stores more at once); 0 without knob changes\n"
           "  hand        work a hand pulling the figure (a grab) has put in since\n"
           "              step 0\n"
           "  residual    kinetic + gravity + spring - (their sum at step 0)\n"
           "              + dissipated - supplied - knobs - hand: what the books\n"
           "              miss, 0 in exact physics; here about 2e-6 of the energy\n"
           "              moved, mostly from the steps of the sine table\n";
}

bool parseRunnerArguments(RunnerOptions& options, std::string& error, int argc, const char* const argv[]) {
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        Knob knob{};
        const bool knobOption = arg[0] == '-' && arg[1] == '-' && findKnob(knob, arg + 2);
        const bool takesValue = std::strcmp(arg, "--steps") == 0 || std::strcmp(arg, "--every") == 0 ||
                                std::strcmp(arg, "--key") == 0 || std::strcmp(arg, "--knob") == 0 ||
                                std::strcmp(arg, "--session") == 0 || std::strcmp(arg, "--model") == 0 ||
                                knobOption;
        if (std::strcmp(arg, "--help") == 0) {
            options.help = true;
            return true;
        }
        if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
            return true;
        }
        if (std::strcmp(arg, "--energy") == 0 || std::strcmp(arg, "--twin") == 0) {
            (arg[2] == 'e' ? options.energy : options.twin) = true;
            continue;
        }
        if (std::strcmp(arg, "--print-model") == 0 || std::strcmp(arg, "--export-mjcf") == 0) {
            (arg[2] == 'p' ? options.printModel : options.exportMjcf) = true;
            continue;
        }
        if (!takesValue) {
            error = std::string("unknown argument '") + arg + "'";
            return false;
        }
        if (i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        if (std::strcmp(arg, "--steps") == 0) {
            if (!parseCount(options.steps, value, error, "--steps")) return false;
            options.stepsGiven = true;
        } else if (std::strcmp(arg, "--session") == 0) {
            options.sessionFile = value;
        } else if (std::strcmp(arg, "--model") == 0) {
            options.figure = value;
            options.figureGiven = true;
        } else if (std::strcmp(arg, "--every") == 0) {
            if (!parseCount(options.every, value, error, "--every")) return false;
        } else if (knobOption) {
            double knobSetting = 0.0;
            if (!parseKnobValue(knobSetting, knob, value, error, arg)) return false;
            setKnobValue(options.settings, knob, knobSetting);
        } else if (std::strcmp(arg, "--knob") == 0) {
            ScheduledKnob change{};
            if (!parseScheduledKnob(change, value, error)) return false;
            options.knobs.push_back(change);
        } else {
            ScheduledKey key{};
            if (!parseScheduledKey(key, value, error)) return false;
            options.keys.push_back(key);
        }
    }
    if (!options.sessionFile.empty() && (!options.keys.empty() || !options.knobs.empty())) {
        error = "--session cannot be given with --key or --knob: the session holds the run's inputs";
        return false;
    }
    if (!options.sessionFile.empty() && options.figureGiven) {
        error = "--session cannot be given with --model: the session names its figure";
        return false;
    }
    if (options.twin && options.sessionFile.empty()) {
        error = "--twin wants a --session that compares";
        return false;
    }
    if (options.printModel && options.exportMjcf) {
        error = "--print-model and --export-mjcf cannot both be given";
        return false;
    }
    return true;
}

bool loadSessionFile(Session& session, std::string& error, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        error = std::string(path) + ": " + std::strerror(errno);
        return false;
    }
    // one byte more than a session may hold tells a file that is too large
    std::string text;
    char buffer[1 << 16];
    for (std::size_t n; text.size() <= maxSessionBytes && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        error = std::string(path) + ": cannot be read";
        return false;
    }
    if (!readSession(session, error, text.data(), text.size())) {
        error = std::string(path) + ": " + error;
        return false;
    }
    return true;
}

std::string unreachedKeysWarning(const RunnerOptions& options) {
    std::string keys;
    for (const ScheduledKey& key : options.keys)
        if (key.step >= options.steps)
            keys += (keys.empty() ? "--key " : ", --key ") + std::to_string(key.step) + ":" + keyName(key.key);
    if (keys.empty()) return keys;
    return "marionette-sim: warning: " + keys + " never acts: the run ends after " + std::to_string(options.steps) +
           " steps, and a key acts once its step is done";
}

std::vector<SessionEvent> runnerEvents(const RunnerOptions& options, const Session* session) {
    if (session != nullptr) return session->events;
    std::vector<SessionEvent> events;
    for (const ScheduledKey& key : options.keys) {
        SessionEvent e;
        e.step = key.step;
        e.kind = SessionEventKind::key;
        e.code = key.key;
        events.push_back(e);
    }
    for (const ScheduledKnob& knob : options.knobs) {
        SessionEvent e;
        e.step = knob.step;
        e.kind = SessionEventKind::knob;
        e.code = static_cast<int>(knob.knob);
        e.targetX = knob.value;
        events.push_back(e);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const SessionEvent& a, const SessionEvent& b) { return a.step < b.step; });
    return events;
}

void runHeadless(const RunnerOptions& options, const Session* session, std::FILE* out) {
    runHeadless(options, session,
                session != nullptr && session->figure != nullptr ? session->figure : marionetteFigure(), out);
}

void runHeadless(const RunnerOptions& options, const Session* session, std::shared_ptr<const FigureModel> figure,
                 std::FILE* out) {
    // the figure's start-up state, under the knobs of the options; the
    // energy books only when asked for: they cost work at every step (the
    // next step begins from their evaluation), and leave the state's
    // numbers as they are
    FigureRun run;
    const int n = figure->n;
    startFigureRun(run, std::move(figure), options.settings, options.energy);
    // a session's comparison: its copy, nudged, beside the run (--twin prints its rows)
    Comparison comparison;
    comparison.twinKeepsLedger = options.energy;
    const FigureRun& shown = options.twin ? comparison.twin : run;
    const std::int64_t steps = session != nullptr && !options.stepsGiven ? session->endStep : options.steps;

    const std::vector<SessionEvent> events = runnerEvents(options, session);
    auto next = events.cbegin();

    std::fputs("step,t", out);
    for (int i = 0; i < n; ++i) std::fprintf(out, ",q%d", i);
    for (int i = 0; i < n; ++i) std::fprintf(out, ",p%d", i);
    if (options.energy) std::fputs(",kinetic,gravity,spring,dissipated,supplied,knobs,hand,residual", out);
    std::fputc('\n', out);

    for (;; stepFigureRun(run), stepComparison(comparison)) {
        const std::int64_t step = run.step;
        const bool final = step == steps;
        const bool sampled = options.every > 0 && step % options.every == 0;
        if ((final || sampled) && (!options.twin || comparison.on)) {
            printRow(out, step, shown.data, options.energy ? &shown.ledger : nullptr);
            if (std::ferror(out)) return;  // nowhere to write: the rest would be lost too
        }
        if (final) break;
        for (; next != events.cend() && next->step == step; ++next) {
            applySessionEvent(run, *next);
            followSessionEvent(comparison, run, *next);
        }
    }
}
