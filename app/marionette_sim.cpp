// marionette-sim: runs the figure without a window and prints its state.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "headless_runner.h"

namespace {

// The exit status once everything is printed: 0, or 1 with a one-line
// message when the output could not be written (a full disk, say).
int finishOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "marionette-sim: could not write the output: %s\n",
                 errno != 0 ? std::strerror(errno) : "write error");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    RunnerOptions options;
    std::string error;
    if (!parseRunnerArguments(options, error, argc - 1, argv + 1)) {
        std::fprintf(stderr, "marionette-sim: %s\n%s", error.c_str(), runnerUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(runnerUsage(), stdout);
        return finishOutput();
    }
    if (options.version) {
        std::puts("marionette-sim " MARIONETTE_VERSION ", " MARIONETTE_COMMIT);
        return finishOutput();
    }
    Session session;
    if (!options.sessionFile.empty() && !loadSessionFile(session, error, options.sessionFile.c_str())) {
        std::fprintf(stderr, "marionette-sim: %s\n", error.c_str());
        return 2;
    }
    const std::string warning = unreachedKeysWarning(options);
    if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());
    runHeadless(options, options.sessionFile.empty() ? nullptr : &session, stdout);
    return finishOutput();
}
