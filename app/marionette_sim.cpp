// marionette-sim: runs the figure without a window and prints its state.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtin_figures.h"
#include "headless_runner.h"
#include "mjcf_writer.h"
#include "model_file.h"

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
    if (options.twin && !sessionCompares(session)) {
        std::fprintf(stderr, "marionette-sim: --twin: %s never compares\n", options.sessionFile.c_str());
        return 2;
    }
    std::shared_ptr<const FigureModel> figure =
        session.figure != nullptr ? session.figure : loadFigure(options.figure, error);
    if (figure == nullptr) {
        std::fprintf(stderr, "marionette-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.printModel) {
        std::fputs(writeFigureModel(*figure, false).c_str(), stdout);
        return finishOutput();
    }
    if (options.exportMjcf) {
        if (figureDepth(*figure) > 100)
            std::fprintf(stderr,
                         "marionette-sim: note: the bodies nest %d deep; MuJoCo 2.2's XML reader refuses more than 100\n",
                         figureDepth(*figure));
        std::fputs(figureMjcf(*figure, options.settings.gravity).c_str(), stdout);
        return finishOutput();
    }
    const std::string warning = unreachedKeysWarning(options);
    if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());
    runHeadless(options, options.sessionFile.empty() ? nullptr : &session, figure, stdout);
    return finishOutput();
}
