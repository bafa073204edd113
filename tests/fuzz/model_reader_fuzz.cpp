// libFuzzer target over readFigureModel. Build and run with run_fuzz.sh
// model_reader. Besides crashes, hangs and undefined behaviour it checks what
// the reader promises: a refusal is one line; a model it accepts is complete
// (every parent earlier, positive masses and Izz), writes to a text that
// reads back to the same text, and takes a finite step from its start.
#include "model_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "figure_data.h"
#include "integrator.h"
#include "sine_table.h"
#include "start_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FigureModel model;
    std::string error;
    if (!readFigureModel(model, error, reinterpret_cast<const char*>(data), size)) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (model.n < 1 || model.n > maxSegments || static_cast<int>(model.inward.size()) != model.n) std::abort();
    for (int i = 0; i < model.n; ++i)
        if (model.parent[i] >= i || !(model.segment[i].mass > 0) || !(model.segment[i].rotationalInertia[5] > 0))
            std::abort();
    const std::string text = writeFigureModel(model, false);
    FigureModel again;
    if (!readFigureModel(again, error, text.data(), text.size()) || writeFigureModel(again, false) != text)
        std::abort();
    ensureSineTable();
    FigureData run(model);
    setStartState(model, run);
    stepRK4(model, run, run.p.data(), run.q.data(), 1, 1);
    return 0;
}
