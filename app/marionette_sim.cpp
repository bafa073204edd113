// marionette-sim: runs the figure without a window and prints its state.
#include <cstdio>
#include <string>

#include "headless_runner.h"

int main(int argc, char** argv) {
    RunnerOptions options;
    std::string error;
    if (!parseRunnerArguments(options, error, argc - 1, argv + 1)) {
        std::fprintf(stderr, "marionette-sim: %s\n%s", error.c_str(), runnerUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(runnerUsage(), stdout);
        return 0;
    }
    Session session;
    if (!options.sessionFile.empty() && !loadSessionFile(session, error, options.sessionFile.c_str())) {
        std::fprintf(stderr, "marionette-sim: %s\n", error.c_str());
        return 2;
    }
    runHeadless(options, options.sessionFile.empty() ? nullptr : &session, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
