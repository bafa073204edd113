// marionette-sim as a user runs it: its CSV, its key schedule, its refusal
// of bad arguments, and byte-identical output from run to run.
#include "headless_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "builtin_figures.h"
#include "figure_energy.h"
#include "model_file.h"
#include "integrator.h"

namespace {

struct ProcessResult {
    int status;
    std::string out, err;
};

// Runs the built runner with the given arguments (each quoted for the shell),
// its standard output to the file `stdoutTo` if one is named.
ProcessResult runSim(const std::vector<std::string>& args, const std::string& stdoutTo = "") {
    // one file per test process: CTest may run several of these tests at once
    const std::string errFile = ::testing::TempDir() + "runner_stderr_" + std::to_string(getpid()) + ".txt";
    std::string command = "'" MARIONETTE_SIM "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " 2>'" + errFile + "'";
    if (!stdoutTo.empty()) command += " >'" + stdoutTo + "'";
    ProcessResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, "", "popen failed"};
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    {
        std::ifstream err(errFile);
        std::stringstream text;
        text << err.rdbuf();
        run.err = text.str();
    }
    std::remove(errFile.c_str());
    return run;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> result;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, ',');) result.push_back(field);
    return result;
}

// The step numbers of the data rows.
std::vector<long long> rowSteps(const std::string& csv) {
    std::vector<long long> steps;
    const std::vector<std::string> all = lines(csv);
    for (std::size_t k = 1; k < all.size(); ++k) steps.push_back(std::stoll(fields(all[k])[0]));
    return steps;
}

// The same run in this process: keys[k] pressed once steps[k] steps are done;
// with a ledger, its energy bookkeeping as well.
FigureState simulate(long long steps, const std::vector<ScheduledKey>& keys, EnergyLedger* ledger = nullptr) {
    FigureState state{};
    state.q[torso] = -1.57;
    buildFigureModel();
    if (ledger != nullptr) openEnergyLedger(*ledger, state.p, state.q);
    KeyState keyState;
    for (long long step = 0; step < steps; ++step) {
        for (const ScheduledKey& key : keys)
            if (key.step == step) applySpecialKey(keyState, key.key);
        stepRK4(state.p, state.q, keyState.limbTorqueMode, keyState.torsoTorqueDirection);
        if (ledger != nullptr) recordEnergyStep(*ledger, state.p, state.q);
    }
    return state;
}

std::string formatRow(long long step, const FigureState& state) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lld,%.17g", step, step * 0.00015);
    std::string row = buffer;
    for (double q : state.q) std::snprintf(buffer, sizeof buffer, ",%.17g", q), row += buffer;
    for (double p : state.p) std::snprintf(buffer, sizeof buffer, ",%.17g", p), row += buffer;
    return row;
}

TEST(HeadlessRunnerTest, DefaultRunIsOneSecondSampledEveryHundredSteps) {
    const ProcessResult run = runSim({});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> all = lines(run.out);
    EXPECT_EQ(all[0],
              "step,t,q0,q1,q2,q3,q4,q5,q6,q7,q8,q9,q10,q11,q12,p0,p1,p2,p3,p4,p5,p6,p7,p8,p9,p10,p11,p12");
    std::vector<long long> expected;
    for (long long s = 0; s <= 6600; s += 100) expected.push_back(s);
    expected.push_back(6667);
    EXPECT_EQ(rowSteps(run.out), expected);
    EXPECT_EQ(all[1], formatRow(0, simulate(0, {})));
    EXPECT_EQ(all.back(), formatRow(6667, simulate(6667, {})));
    EXPECT_EQ(std::stod(fields(all.back())[1]), 6667 * 0.00015);  // reads back exactly
    // byte-identical from run to run
    EXPECT_EQ(runSim({}).out, run.out);
}

TEST(HeadlessRunnerTest, RowsAreNeverRepeatedOrMissed) {
    EXPECT_EQ(rowSteps(runSim({"--steps", "250", "--every", "100"}).out), (std::vector<long long>{0, 100, 200, 250}));
    EXPECT_EQ(rowSteps(runSim({"--steps", "200", "--every", "100"}).out), (std::vector<long long>{0, 100, 200}));
    EXPECT_EQ(rowSteps(runSim({"--steps", "7", "--every", "0"}).out), (std::vector<long long>{7}));
    EXPECT_EQ(rowSteps(runSim({"--steps", "0"}).out), (std::vector<long long>{0}));
    EXPECT_EQ(rowSteps(runSim({"--steps", "0", "--every", "0"}).out), (std::vector<long long>{0}));
    EXPECT_EQ(rowSteps(runSim({"--every", "5000", "--steps", "12000"}).out),
              (std::vector<long long>{0, 5000, 10000, 12000}));
}

TEST(HeadlessRunnerTest, KeysActOnceTheirStepIsDone) {
    // the integrator's fingerprint run: DOWN at once, LEFT after 100 steps, RIGHT after 200
    const ProcessResult run = runSim({"--steps", "300", "--every", "0", "--key", "200:Right", "--key", "0:DOWN",
                            "--key", "100:left"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> row = fields(lines(run.out).at(1));
    EXPECT_EQ(row[2], "-1.576170960213473");
    EXPECT_EQ(row[15], "0.031078100571623676");
    EXPECT_EQ(lines(run.out).at(1),
              formatRow(300, simulate(300, {{0, keyDown}, {100, keyLeft}, {200, keyRight}})));

    // keys of one step apply in the order given: DOWN then LEFT leaves both on
    const std::string downLeft = runSim({"--steps", "80", "--every", "0", "--key", "50:down", "--key", "50:left"}).out;
    const std::string leftDown = runSim({"--steps", "80", "--every", "0", "--key", "50:left", "--key", "50:down"}).out;
    EXPECT_EQ(lines(downLeft).at(1), formatRow(80, simulate(80, {{50, keyDown}, {50, keyLeft}})));
    EXPECT_EQ(lines(leftDown).at(1), formatRow(80, simulate(80, {{50, keyLeft}, {50, keyDown}})));
    EXPECT_NE(downLeft, leftDown);

    // a key beyond the last step is never reached
    EXPECT_EQ(runSim({"--steps", "80", "--key", "81:down"}).out, runSim({"--steps", "80"}).out);
    // nor is one at the last step, since a key acts once its step is done: a
    // one-line warning names every such key and leaves the CSV as it is
    const ProcessResult late =
        runSim({"--steps", "80", "--key", "79:up", "--key", "80:DOWN", "--key", "1000000000000:left"});
    EXPECT_EQ(late.status, 0);
    EXPECT_EQ(late.out, runSim({"--steps", "80", "--key", "79:up"}).out);
    EXPECT_EQ(late.err,
              "marionette-sim: warning: --key 80:down, --key 1000000000000:left never acts: the run ends after 80 "
              "steps, and a key acts once its step is done\n");
    EXPECT_EQ(runSim({"--steps", "80", "--key", "79:up"}).err, "");
}

TEST(HeadlessRunnerTest, EnergyColumnsFollowTheUnchangedState) {
    const std::vector<std::string> args = {"--steps", "2000", "--every", "500", "--key", "0:down", "--key", "1000:left"};
    std::vector<std::string> withEnergy = args;
    withEnergy.push_back("--energy");
    const ProcessResult plain = runSim(args), run = runSim(withEnergy);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> plainLines = lines(plain.out), energyLines = lines(run.out);
    ASSERT_EQ(energyLines.size(), plainLines.size());
    EXPECT_EQ(energyLines[0], plainLines[0] + ",kinetic,gravity,spring,dissipated,supplied,knobs,hand,residual");
    // the first 28 columns are those of the run without --energy, byte for byte
    for (std::size_t k = 1; k < energyLines.size(); ++k) {
        EXPECT_EQ(energyLines[k].substr(0, plainLines[k].size() + 1), plainLines[k] + ",") << "row " << k;
        EXPECT_EQ(fields(energyLines[k]).size(), 36u) << "row " << k;
    }
    // the ledger's values, recorded at every step whatever --every says
    EnergyLedger ledger;
    simulate(2000, {{0, keyDown}, {1000, keyLeft}}, &ledger);
    char expected[200];
    std::snprintf(expected, sizeof expected, ",%.17g,%.17g,%.17g,%.17g,%.17g,0,0,%.17g", ledger.now.kinetic,
                  ledger.now.gravity, ledger.now.spring, ledger.dissipated, ledger.supplied, ledger.residual);
    const std::string& last = energyLines.back();
    EXPECT_EQ(last.substr(last.size() - std::strlen(expected)), expected);
    withEnergy[3] = "0";
    EXPECT_EQ(lines(runSim(withEnergy).out).back(), last);
}

TEST(HeadlessRunnerTest, BadArgumentsAreRefusedWithUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"extra"}, {"--steps"}, {"--steps", "abc"}, {"--steps", "-5"}, {"--steps", "1000000000001"},
        {"--steps", "99999999999999999999999"}, {"--steps", ""}, {"--steps", "+5"}, {"--steps", "5x"},
        {"--every", "x"}, {"--every", "-1"}, {"--key"}, {"--key", "5"}, {"--key", "5:sideways"}, {"--key", ":left"},
        {"--key", "x:left"}, {"--key", "5:"}, {"--key", "-3:up"}, {"--steps", "10", "--key", "5:left:right"},
        {"--gravity", "25.01"}, {"--gravity", "nan"}, {"--gravity", ""}, {"--stiffness", "-0.5"},
        {"--damping", "1x"}, {"--torque", "1e3"}, {"--torque"}, {"--knob", "5:gravity"}, {"--knob", "5:wind=2"},
        {"--knob", "x:damping=2"}, {"--knob", "5:damping=4.5"},
    };
    for (const auto& args : bad) {
        const ProcessResult run = runSim(args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        const std::vector<std::string> err = lines(run.err);
        ASSERT_GE(err.size(), 2u) << shown;
        EXPECT_EQ(err[0].rfind("marionette-sim: ", 0), 0u) << shown;
        // the first line names the offending argument
        const std::string& named = args.size() > 1 && !args.back().empty() ? args.back() : args.front();
        EXPECT_NE(err[0].find(named), std::string::npos) << shown << "-> " << err[0];
        EXPECT_EQ(err[1].rfind("usage: marionette-sim", 0), 0u) << shown;
    }
}

// The knobs: their defaults spelled out change no byte; a knob set for the
// whole run is the same knob turned at step 0 (but for the books: the run
// starts under it); the runner's numbers are the core's under those settings.
TEST(HeadlessRunnerTest, KnobsAreTheCoresSettings) {
    const std::vector<std::string> args = {"--steps", "600", "--every", "200", "--key", "100:down", "--energy"};
    std::vector<std::string> standard = args;
    for (const char* knob : {"--gravity", "9.80665", "--stiffness", "1", "--damping", "1.0", "--torque", "100"})
        standard.push_back(knob);
    EXPECT_EQ(runSim(standard).out, runSim(args).out);

    std::vector<std::string> whole = args, turned = args;
    whole.insert(whole.end(), {"--gravity", "3.71", "--damping", "0.5", "--torque", "250"});
    turned.insert(turned.end(), {"--knob", "0:gravity=3.71", "--knob", "0:damping=0.5", "--knob", "0:torque=250"});
    const std::vector<std::string> wholeLines = lines(runSim(whole).out), turnedLines = lines(runSim(turned).out);
    ASSERT_EQ(wholeLines.size(), 5u);
    ASSERT_EQ(turnedLines.size(), 5u);
    for (std::size_t k = 2; k < wholeLines.size(); ++k) {
        const auto a = fields(wholeLines[k]), b = fields(turnedLines[k]);
        EXPECT_EQ(std::vector<std::string>(a.begin(), a.begin() + 28), std::vector<std::string>(b.begin(), b.begin() + 28));
        EXPECT_EQ(a[33], "0");
        // the hanging figure's potential, -202 J, rises to -76 J under Mars's gravity
        EXPECT_NEAR(std::stod(b[33]), 202.0 - 76.4, 0.5);
    }
    PhysicsSettings settings;
    settings.gravity = 3.71;
    settings.damping = 0.5;
    settings.keyTorque = 250;
    buildFigureModel();
    applyPhysicsSettings(settings);
    FigureState state{};
    state.q[torso] = -1.57;
    KeyState keyState;
    for (int step = 0; step < 600; ++step) {
        if (step == 100) applySpecialKey(keyState, keyDown);
        stepRK4(state.p, state.q, keyState.limbTorqueMode, keyState.torsoTorqueDirection);
    }
    applyPhysicsSettings(PhysicsSettings{});
    EXPECT_EQ(wholeLines.back().substr(0, formatRow(600, state).size()), formatRow(600, state));
}

TEST(HeadlessRunnerTest, HelpGoesToStandardOutput) {
    const ProcessResult run = runSim({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, runnerUsage());
}

TEST(HeadlessRunnerTest, VersionNamesTheCommit) {
    const ProcessResult run = runSim({"--steps", "5", "--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::regex line(R"(marionette-sim [0-9]+\.[0-9]+, (commit \S+|unknown commit \(not built from a git checkout\))\n)");
    EXPECT_TRUE(std::regex_match(run.out, line)) << run.out;
}

// A full disk ends the run at once with exit status 1 and one line saying so,
// not a silent status 1 after running all the steps (10^12 would take days).
TEST(HeadlessRunnerTest, FailedWriteIsReported) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--steps", "1000000000000"}, {"--help"}, {"--version"}}) {
        const ProcessResult run = runSim(args, "/dev/full");
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.err, "marionette-sim: could not write the output: No space left on device\n") << args[0];
    }
}

TEST(HeadlessRunnerTest, CountsUpToATrillionAreAccepted) {
    RunnerOptions options;
    std::string error;
    const char* ok[] = {"--steps", "1000000000000", "--every", "0", "--key", "1000000000000:up"};
    EXPECT_TRUE(parseRunnerArguments(options, error, 6, ok)) << error;
    EXPECT_EQ(options.steps, 1000000000000);
    EXPECT_EQ(options.keys.at(0).step, 1000000000000);
    const char* tooMany[] = {"--every", "1000000000001"};
    EXPECT_FALSE(parseRunnerArguments(options, error, 2, tooMany));
}

}  // namespace

// A session replays its inputs as the options would give them, byte for
// byte; it runs to its end step unless --steps says otherwise; a session
// that cannot be read, or one given with --key, ends the run before any row
// with one line that names the fault.
TEST(HeadlessRunnerTest, SessionsReplayLikeTheOptions) {
    const std::string file = ::testing::TempDir() + "runner_session_" + std::to_string(getpid()) + ".txt";
    auto writeFile = [&](const std::string& text) { std::ofstream(file, std::ios::binary) << text; };

    writeFile("marionette-session 1\n0 key down\n300 knob gravity 3.71\n300 key left\n450 knob torque 250\n"
              "450 knob stiffness 2\n700 key up\n900 end\n");
    const ProcessResult replayed = runSim({"--session", file, "--every", "150", "--energy"});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    const ProcessResult options =
        runSim({"--steps", "900", "--every", "150", "--energy", "--key", "0:down", "--key", "300:left", "--knob",
                "300:gravity=3.71", "--knob", "450:torque=250", "--knob", "450:stiffness=2", "--key", "700:up"});
    EXPECT_EQ(replayed.out, options.out);
    const ProcessResult shorter = runSim({"--session", file, "--every", "150", "--energy", "--steps", "450"});
    EXPECT_EQ(shorter.out, replayed.out.substr(0, shorter.out.size()));
    EXPECT_EQ(lines(shorter.out).back().rfind("450,", 0), 0u);

    const struct {
        std::string text;
        std::vector<std::string> args;
        std::string error;
    } refused[] = {
        {"marionette-session 1\n5 key down\n3 key up\n9 end\n", {}, file + ": line 3: step 3 goes back from step 5"},
        {"marionette-session 1\n5 grab rightHand 1 0 nan 0\n9 end\n", {},
         file + ": line 2: the target's x is not a finite decimal number: 'nan'"},
        {"marionette-session 1\n0 key down\n", {}, file + ": line 3: the session ends without its end line (cut short?)"},
        {"marionette-session 1\n9 end\n", {"--key", "5:up"},
         "--session cannot be given with --key or --knob: the session holds the run's inputs"},
    };
    for (const auto& r : refused) {
        writeFile(r.text);
        std::vector<std::string> args = {"--session", file};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const ProcessResult run = runSim(args);
        EXPECT_EQ(run.status, 2) << r.text;
        EXPECT_EQ(run.out, "") << r.text;
        EXPECT_EQ(lines(run.err).at(0), "marionette-sim: " + r.error);
    }
    std::remove(file.c_str());
    const ProcessResult missing = runSim({"--session", file});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "marionette-sim: " + file + ": No such file or directory\n");
}

// Any figure: a model file written by --print-model runs as the built-in it
// came from, a session names its figure, and a bad model file is one line.
TEST(HeadlessRunnerTest, FiguresByNameFileOrSession) {
    const std::string file = ::testing::TempDir() + "runner_model_" + std::to_string(getpid()) + ".json";
    ASSERT_EQ(runSim({"--model", "tree:5", "--print-model"}, file).status, 0);
    const std::vector<std::string> schedule = {"--steps", "3000", "--every", "500", "--key", "100:down", "--key", "900:right", "--energy"};
    std::vector<std::string> byName = {"--model", "tree:5"}, byFile = {"--model", file};
    byName.insert(byName.end(), schedule.begin(), schedule.end());
    byFile.insert(byFile.end(), schedule.begin(), schedule.end());
    const ProcessResult named = runSim(byName), read = runSim(byFile);
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(lines(named.out).at(0).substr(0, 26), "step,t,q0,q1,q2,q3,q4,p0,p");
    EXPECT_EQ(read.out, named.out);
    {
        std::ofstream session(file);
        session << "marionette-session 2\nfigure tree:5\n100 key down\n900 key right\n3000 end\n";
    }
    std::vector<std::string> replay = {"--session", file, "--every", "500", "--energy"};
    EXPECT_EQ(runSim(replay).out, named.out);
    {
        std::ofstream bad(file);
        bad << "{\"format\": \"marionette-model 1\", \"name\": \"x\"}";
    }
    const ProcessResult refused = runSim({"--model", file});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "marionette-sim: " + file + ": damping_N_m_s_per_rad: missing\n");
    std::remove(file.c_str());
}

// A session that compares runs a nudged copy beside the figure, taking its
// inputs and a knob of its own: --twin prints the copy, which is exactly the
// figure started from the nudged angle with that knob, and the figure's own
// rows are as without the comparison.
TEST(HeadlessRunnerTest, ComparedSessionsRunTheNudgedCopy) {
    const std::string dir = ::testing::TempDir() + "runner_twin_" + std::to_string(getpid());
    std::string error;
    FigureModel nudged = *builtinFigure("chain:4", error);
    nudged.startAngle[1] += 1e-9;
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + name) << text;
        return dir + name;
    };
    const std::string model = write(".json", writeFigureModel(nudged, false));
    const std::string compared =
        write(".cmp", "marionette-session 2\nfigure chain:4\n0 compare link1 1e-09\n0 copy-knob gravity 3.71\n100 key down\n3000 end\n");
    const std::string plain = write(".txt", "marionette-session 2\nfigure chain:4\n100 key down\n3000 end\n");
    const ProcessResult twin = runSim({"--session", compared, "--twin", "--every", "1000", "--energy"});
    ASSERT_EQ(twin.status, 0) << twin.err;
    const ProcessResult alone =
        runSim({"--model", model, "--steps", "3000", "--every", "1000", "--key", "100:down", "--knob", "0:gravity=3.71", "--energy"});
    const std::vector<std::string> twinRows = lines(twin.out), aloneRows = lines(alone.out);
    ASSERT_EQ(twinRows.size(), 4u);  // the header, then steps 1000, 2000 and 3000: the copy begins after step 0's row
    EXPECT_EQ(std::vector<std::string>(twinRows.begin() + 1, twinRows.end()),
              std::vector<std::string>(aloneRows.begin() + 2, aloneRows.end()));
    EXPECT_EQ(runSim({"--session", compared}).out, runSim({"--session", plain}).out);
    const ProcessResult refused = runSim({"--session", plain, "--twin"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "marionette-sim: --twin: " + plain + " never compares\n");
    for (const char* name : {".json", ".cmp", ".txt"}) std::remove((dir + name).c_str());
}
