#include "headless_runner.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

#include "figure_energy.h"
#include "integrator.h"
#include "start_state.h"

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

void printRow(std::FILE* out, std::int64_t step, const FigureState& state, const EnergyLedger* ledger) {
    std::fprintf(out, "%lld,%.17g", static_cast<long long>(step), static_cast<double>(step) * timeStep);
    for (double q : state.q) std::fprintf(out, ",%.17g", q);
    for (double p : state.p) std::fprintf(out, ",%.17g", p);
    if (ledger != nullptr)
        std::fprintf(out, ",%.17g,%.17g,%.17g,%.17g,%.17g,%.17g", ledger->now.kinetic, ledger->now.gravity,
                     ledger->now.spring, ledger->dissipated, ledger->supplied, ledger->residual);
    std::fputc('\n', out);
}

}  // namespace

const char* runnerUsage() {
    return "usage: marionette-sim [--steps N] [--every K] [--key STEP:NAME]... [--energy]\n"
           "       marionette-sim --help | --version\n"
           "Runs the figure from its start-up state for N steps of 0.00015 s (default 6667)\n"
           "and prints step,t,q0..q12,p0..p12 as CSV: step 0, every K steps (default 100;\n"
           "0 for the final step only) and the final step. --key presses LEFT, RIGHT, UP or\n"
           "DOWN once STEP steps are done; repeat it for more keys (one at or after\n"
           "step N never acts, and is named in a warning).\n"
           "--version prints the version and the commit the runner was built from.\n"
           "--energy appends six columns, in joules, of the figure's energy and where\n"
           "it went:\n"
           "  kinetic     1/2 sum p_i q'_i, q' the joint rates the momenta give\n"
           "  gravity     sum m_i 9.80665 y_i, y_i the height of segment i's centre of\n"
           "              mass above the pivot\n"
           "  spring      sum 1/2 K_i (target_i - q_i)^2 of the joint controllers\n"
           "  dissipated  work the controllers' damping has taken out since step 0,\n"
           "              the integral of 5.1 sum q'_i^2 over every step\n"
           "  supplied    work the arrow keys' torques have put in since step 0,\n"
           "              the integral of sum torque_i q'_i over every step\n"
           "  residual    kinetic + gravity + spring - (their sum at step 0)\n"
           "              + dissipated - supplied: what the books miss, 0 in exact\n"
           "              physics; here about 1e-6 of the energy moved, mostly from\n"
           "              the steps of the sine table\n";
}

bool parseRunnerArguments(RunnerOptions& options, std::string& error, int argc, const char* const argv[]) {
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const bool takesValue = std::strcmp(arg, "--steps") == 0 || std::strcmp(arg, "--every") == 0 ||
                                std::strcmp(arg, "--key") == 0;
        if (std::strcmp(arg, "--help") == 0) {
            options.help = true;
            return true;
        }
        if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
            return true;
        }
        if (std::strcmp(arg, "--energy") == 0) {
            options.energy = true;
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
        } else if (std::strcmp(arg, "--every") == 0) {
            if (!parseCount(options.every, value, error, "--every")) return false;
        } else {
            ScheduledKey key{};
            if (!parseScheduledKey(key, value, error)) return false;
            options.keys.push_back(key);
        }
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

void runHeadless(const RunnerOptions& options, std::FILE* out) {
    // the window program's start-up state
    FigureState state{};
    startFigure(state);

    // keys in step order; keys of one step keep the order they were given in
    std::vector<ScheduledKey> keys = options.keys;
    std::stable_sort(keys.begin(), keys.end(),
                     [](const ScheduledKey& a, const ScheduledKey& b) { return a.step < b.step; });
    auto nextKey = keys.cbegin();
    KeyState keyState;

    // the energy ledger, only when asked for: it evaluates the dynamics once
    // more per step, which leaves the state's numbers as they are
    EnergyLedger ledger;
    const EnergyLedger* shownLedger = options.energy ? &ledger : nullptr;
    if (options.energy) openEnergyLedger(ledger, state.p, state.q);

    std::fputs("step,t", out);
    for (int i = 0; i < segmentCount; ++i) std::fprintf(out, ",q%d", i);
    for (int i = 0; i < segmentCount; ++i) std::fprintf(out, ",p%d", i);
    if (options.energy) std::fputs(",kinetic,gravity,spring,dissipated,supplied,residual", out);
    std::fputc('\n', out);

    for (std::int64_t step = 0;; ++step) {
        const bool final = step == options.steps;
        const bool sampled = options.every > 0 && step % options.every == 0;
        if (final || sampled) {
            printRow(out, step, state, shownLedger);
            if (std::ferror(out)) return;  // nowhere to write: the rest would be lost too
        }
        if (final) break;
        for (; nextKey != keys.cend() && nextKey->step == step; ++nextKey) applySpecialKey(keyState, nextKey->key);
        stepRK4(state.p, state.q, keyState.limbTorqueMode, keyState.torsoTorqueDirection);
        if (options.energy) recordEnergyStep(ledger, state.p, state.q);
    }
}
