// marionette's Python module, the compiled part (marionette._core): the
// model, the running data, the batch of rollouts and the replay of a
// session, each through the C++ that the runner and the page use, so every
// number equals marionette-sim's. The package's __init__.py adds the
// Python-side exception of a failed rollout and re-exports all of it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "batch.h"
#include "builtin_figures.h"
#include "figure_energy.h"
#include "figure_run.h"
#include "hand_pull.h"
#include "headless_runner.h"
#include "initial_momenta.h"
#include "integrator.h"
#include "mjcf_writer.h"
#include "model_file.h"
#include "physics_settings.h"
#include "session.h"

namespace py = pybind11;

namespace {

using ModelPtr = std::shared_ptr<const FigureModel>;

// A bad input, with the runner's one-line message: ValueError in Python.
[[noreturn]] void fail(const std::string& message) { throw py::value_error(message); }

// A number as the runner reads it back: 17 significant digits.
std::string numberText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The runner's own parsing of its options (headless_runner.h), so a key
// name, a knob's range or a schedule means the same here as on its command line.
RunnerOptions parseOptions(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    RunnerOptions options;
    std::string error;
    if (!parseRunnerArguments(options, error, static_cast<int>(argv.size()), argv.data())) fail(error);
    return options;
}

Knob knobNamed(const std::string& name) {
    Knob knob{};
    if (!findKnob(knob, name.c_str())) {
        std::string names;
        for (int k = 0; k < knobCount; ++k) names += (k == 0 ? "" : k + 1 == knobCount ? " or " : ", ") + std::string(knobInfo[k].name);
        fail("unknown knob name '" + name + "' (" + names + ")");
    }
    return knob;
}

// A knob's value checked as the runner checks --NAME VALUE.
double checkedKnobValue(Knob knob, double value) {
    const RunnerOptions options =
        parseOptions({std::string("--") + knobInfo[static_cast<int>(knob)].name, numberText(value)});
    return knobValue(options.settings, knob);
}

struct Model {
    ModelPtr figure;
};

ModelPtr figureFromText(const std::string& text) {
    auto model = std::make_shared<FigureModel>();
    std::string error;
    if (!readFigureModel(*model, error, text.data(), text.size())) fail(error);
    return model;
}

// One running figure: a FigureRun, as every front end drives one.
struct Data {
    FigureRun run;
};

// One input to the data's run, as a session's line of that kind applies it.
void applyInput(Data& d, SessionEventKind kind, int code = 0, double x = 0.0, double y = 0.0) {
    SessionEvent event;
    event.kind = kind;
    event.code = code;
    event.targetX = x;
    event.targetY = y;
    applySessionEvent(d.run, event);
}

bool finite(const std::vector<double>& values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

void checkFinite(const Data& d) {
    if (!finite(d.run.data.q) || !finite(d.run.data.p))
        throw py::value_error("the state is not finite (data.q or data.p holds a NaN or an infinity)");
}

// The same figure: the same model object, or one with the same model file.
bool sameFigure(const ModelPtr& a, const ModelPtr& b) {
    return a == b || (a->n == b->n && writeFigureModel(*a, true) == writeFigureModel(*b, true));
}

void checkModel(const Model& model, const Data& d) {
    if (!sameFigure(model.figure, d.run.model))
        fail("the data belongs to the figure '" + d.run.model->name + "' of " + std::to_string(d.run.model->n) +
             " segments, not to '" + model.figure->name + "' of " + std::to_string(model.figure->n));
}

// A writable numpy array over `values`, which `owner` keeps alive.
py::array view(std::vector<double>& values, py::handle owner) {
    return py::array_t<double>({static_cast<py::ssize_t>(values.size())}, {static_cast<py::ssize_t>(sizeof(double))},
                               values.data(), owner);
}

// A float64 numpy array of exactly `size` numbers, every one finite.
py::array_t<double> checkedVector(const py::handle& object, std::size_t size, const char* what) {
    py::array array = py::array::ensure(object);
    if (!array) fail(std::string(what) + " must be an array of numbers");
    if (array.dtype().kind() == 'c' || array.dtype().kind() == 'O' || array.dtype().kind() == 'U' ||
        array.dtype().kind() == 'S' || array.dtype().kind() == 'b')
        throw py::type_error(std::string(what) + " must be an array of real numbers, not of dtype " +
                             std::string(py::str(array.dtype())));
    if (array.ndim() != 1 || static_cast<std::size_t>(array.shape(0)) != size)
        fail(std::string(what) + " must have the shape (" + std::to_string(size) + ",), not " +
             std::string(py::str(py::tuple(array.attr("shape")))));
    auto values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
    for (py::ssize_t i = 0; i < values.shape(0); ++i)
        if (!std::isfinite(values.data()[i])) fail(std::string(what) + " holds a NaN or an infinity at " + std::to_string(i));
    return values;
}

// get_state's layout after the n angles and n momenta.
enum StateSlot : int {
    slotStep, slotStepsSinceReset, slotLimbMode, slotTorsoDirection,
    slotGravity, slotStiffness, slotDamping, slotTorque,
    slotHandActive, slotHandSegment, slotHeldX, slotHeldY, slotTargetX, slotTargetY,
    slotBooks,  // 1 when the energy books below are kept
    slotStartKinetic, slotStartGravity, slotStartSpring, slotNowKinetic, slotNowGravity, slotNowSpring,
    slotDissipated, slotSupplied, slotKnobWork, slotHandWork, slotResidual,
    slotCount  // then the books' last rates and last angles, n each
};

std::size_t stateSize(int n) { return 4 * static_cast<std::size_t>(n) + slotCount; }

py::array_t<double> getState(const Data& d) {
    const FigureRun& r = d.run;
    const int n = r.model->n;
    py::array_t<double> out(stateSize(n));
    double* s = out.mutable_data();
    std::copy(r.data.q.begin(), r.data.q.end(), s);
    std::copy(r.data.p.begin(), r.data.p.end(), s + n);
    double* x = s + 2 * n;
    const EnergyLedger& l = r.ledger;
    const double values[slotCount] = {
        static_cast<double>(r.step), static_cast<double>(r.stepsSinceReset),
        static_cast<double>(r.keys.limbTorqueMode), static_cast<double>(r.keys.torsoTorqueDirection),
        r.settings.gravity, r.settings.stiffness, r.settings.damping, r.settings.keyTorque,
        r.data.hand.active ? 1.0 : 0.0, static_cast<double>(r.data.hand.segment),
        r.data.hand.held.x, r.data.hand.held.y, r.data.hand.target.x, r.data.hand.target.y,
        r.keepsLedger ? 1.0 : 0.0,
        l.start.kinetic, l.start.gravity, l.start.spring, l.now.kinetic, l.now.gravity, l.now.spring,
        l.dissipated, l.supplied, l.knobWork, l.handWork, l.residual};
    std::copy(std::begin(values), std::end(values), x);
    double* books = x + slotCount;
    for (int i = 0; i < n; ++i) {
        books[i] = r.keepsLedger ? l.lastRate[i] : 0.0;
        books[n + i] = r.keepsLedger ? l.lastAngle[i] : 0.0;
    }
    return out;
}

void setState(Data& d, const py::object& object) {
    FigureRun& r = d.run;
    const int n = r.model->n;
    py::array array = py::array::ensure(object);
    const std::size_t size = array && array.ndim() == 1 ? static_cast<std::size_t>(array.shape(0)) : 0;
    if (size != 2 * static_cast<std::size_t>(n) && size != stateSize(n))
        fail("a state of the figure '" + r.model->name + "' (" + std::to_string(n) + " segments) has " +
             std::to_string(stateSize(n)) + " numbers (get_state), or 2n = " + std::to_string(2 * n) +
             " (the angles, then the momenta)");
    const py::array_t<double> checked = checkedVector(object, size, "the state");
    const double* s = checked.data();
    if (size == 2 * static_cast<std::size_t>(n)) {
        std::copy(s, s + n, r.data.q.begin());
        std::copy(s + n, s + 2 * n, r.data.p.begin());
        return;
    }
    const double* x = s + 2 * n;
    const auto whole = [](double v, double low, double high) { return v == std::floor(v) && v >= low && v <= high; };
    if (!whole(x[slotStep], 0, static_cast<double>(maxSessionStep)) ||
        !whole(x[slotStepsSinceReset], 0, x[slotStep]) || !whole(x[slotLimbMode], 0, 1) ||
        !whole(x[slotTorsoDirection], -1, 1) || !whole(x[slotHandActive], 0, 1) ||
        !whole(x[slotHandSegment], 0, n - 1) || !whole(x[slotBooks], 0, 1) ||
        std::fabs(x[slotHeldX]) > handHeldReach || std::fabs(x[slotHeldY]) > handHeldReach ||
        std::fabs(x[slotTargetX]) > handTargetReach || std::fabs(x[slotTargetY]) > handTargetReach)
        fail("the state is not one get_state gave: a step count, key, hand or books entry is out of its range");
    PhysicsSettings settings;
    for (int k = 0; k < knobCount; ++k) {
        if (!knobValueAllowed(static_cast<Knob>(k), x[slotGravity + k]))
            fail(std::string("the state's ") + knobInfo[k].name + " is out of its range");
        setKnobValue(settings, static_cast<Knob>(k), x[slotGravity + k]);
    }
    std::copy(s, s + n, r.data.q.begin());
    std::copy(s + n, s + 2 * n, r.data.p.begin());
    r.step = static_cast<std::int64_t>(x[slotStep]);
    r.stepsSinceReset = static_cast<std::int64_t>(x[slotStepsSinceReset]);
    r.keys.limbTorqueMode = static_cast<std::int32_t>(x[slotLimbMode]);
    r.keys.torsoTorqueDirection = static_cast<std::int32_t>(x[slotTorsoDirection]);
    r.settings = settings;
    applyPhysicsSettings(*r.model, r.data, r.settings);
    r.data.hand.active = x[slotHandActive] == 1.0;
    r.data.hand.segment = static_cast<int>(x[slotHandSegment]);
    r.data.hand.held = {x[slotHeldX], x[slotHeldY]};
    r.data.hand.target = {x[slotTargetX], x[slotTargetY]};
    if (!r.keepsLedger) return;
    if (x[slotBooks] != 1.0) {
        // the saved run kept no books: they open anew at this state
        openEnergyLedger(*r.model, r.data, r.ledger, r.data.p.data(), r.data.q.data());
        return;
    }
    EnergyLedger& l = r.ledger;
    l.start = {x[slotStartKinetic], x[slotStartGravity], x[slotStartSpring]};
    l.now = {x[slotNowKinetic], x[slotNowGravity], x[slotNowSpring]};
    l.dissipated = x[slotDissipated];
    l.supplied = x[slotSupplied];
    l.knobWork = x[slotKnobWork];
    l.handWork = x[slotHandWork];
    l.residual = x[slotResidual];
    const double* books = x + slotCount;
    std::copy(books, books + n, l.lastRate.begin());
    std::copy(books + n, books + 2 * n, l.lastAngle.begin());
}

// data.q, data.p, data.qdot: the getter's view and the setter's copy into it.
auto viewOf(std::vector<double> FigureData::*member) {
    return [member](py::object self) { return view(self.cast<Data&>().run.data.*member, self); };
}
auto assignTo(std::vector<double> FigureData::*member, const char* what) {
    return [member, what](Data& d, const py::object& value) {
        std::vector<double>& values = d.run.data.*member;
        const py::array_t<double> v = checkedVector(value, values.size(), what);
        std::copy(v.data(), v.data() + v.size(), values.begin());
    };
}

int segmentIndex(const FigureModel& model, const py::handle& segment) {
    if (py::isinstance<py::str>(segment)) {
        const std::string name = segment.cast<std::string>();
        for (int i = 0; i < model.n; ++i)
            if (model.segmentName[i] == name) return i;
        fail("the figure '" + model.name + "' has no segment called '" + name + "'");
    }
    if (!py::isinstance<py::int_>(segment)) throw py::type_error("a segment is its name or its index");
    const long long index = segment.cast<long long>();
    if (index < 0 || index >= model.n)
        fail("segment " + std::to_string(index) + " is not one of the figure's 0 to " + std::to_string(model.n - 1));
    return static_cast<int>(index);
}

PlanePoint planePoint(const py::handle& object, const char* what) {
    const py::array_t<double> point = checkedVector(object, 2, what);
    return {point.data()[0], point.data()[1]};
}

void stepData(const Model& model, Data& d, long long nstep) {
    checkModel(model, d);
    if (nstep < 0) fail("nstep must not be negative, not " + std::to_string(nstep));
    checkFinite(d);
    {
        py::gil_scoped_release release;
        for (long long k = 0; k < nstep; ++k) stepFigureRun(d.run);
    }
    if (!finite(d.run.data.q) || !finite(d.run.data.p))
        throw py::value_error("the state is not finite at step " + std::to_string(d.run.step));
}

py::dict energyOf(const Data& d) {
    if (!d.run.keepsLedger) fail("this data keeps no energy books: make it with Data(model, energy=True)");
    const EnergyLedger& l = d.run.ledger;
    py::dict terms;
    terms["kinetic"] = l.now.kinetic;
    terms["gravity"] = l.now.gravity;
    terms["spring"] = l.now.spring;
    terms["dissipated"] = l.dissipated;
    terms["supplied"] = l.supplied;
    terms["knobs"] = l.knobWork;
    terms["hand"] = l.handWork;
    terms["residual"] = l.residual;
    return terms;
}

// Runs the batch (GIL released) and returns (states, failed indices, their messages).
py::tuple rolloutCore(const std::vector<Model>& models, const std::vector<py::object>& starts,
                      const std::vector<std::vector<std::string>>& arguments, long long nstep, long long recordEvery,
                      int threads) {
    const std::size_t batch = starts.size();
    if (models.size() != batch || arguments.size() != batch) fail("one model, start and schedule per rollout");
    if (nstep < 0 || nstep > maxRunnerCount) fail("nstep must be a whole number from 0 to 10^12, not " + std::to_string(nstep));
    if (recordEvery < 1) fail("record_every must be at least 1, not " + std::to_string(recordEvery));
    const int n = batch == 0 ? 0 : models[0].figure->n;
    std::vector<BatchJob> jobs(batch);
    for (std::size_t j = 0; j < batch; ++j) {
        BatchJob& job = jobs[j];
        job.model = models[j].figure;
        if (job.model->n != n)
            fail("rollout " + std::to_string(j) + "'s figure '" + job.model->name + "' has " +
                 std::to_string(job.model->n) + " segments, rollout 0's " + std::to_string(n) +
                 ": one batch has one size");
        if (!starts[j].is_none()) {
            try {
                const py::array_t<double> start = checkedVector(starts[j], 2 * static_cast<std::size_t>(n), "the initial state");
                job.start.assign(start.data(), start.data() + 2 * n);
            } catch (py::value_error& e) {
                fail("rollout " + std::to_string(j) + ": " + e.what());
            }
        }
        RunnerOptions options;
        try {
            options = parseOptions(arguments[j]);
        } catch (py::value_error& e) {
            fail("rollout " + std::to_string(j) + ": " + e.what());
        }
        job.settings = options.settings;
        job.events = runnerEvents(options, nullptr);
        job.steps = nstep;
        job.recordEvery = recordEvery;
    }
    const std::int64_t rows = nstep / recordEvery + 1;
    const std::size_t rowSize = 2 * static_cast<std::size_t>(n);
    if (static_cast<double>(batch) * static_cast<double>(rows) * static_cast<double>(rowSize) > 1e10)
        fail("the rollout would record more than 10^10 numbers: record fewer (record_every) or run fewer");
    py::array_t<double> states({static_cast<py::ssize_t>(batch), static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(rowSize)});
    double* out = states.mutable_data();
    std::vector<BatchResult> results;
    {
        py::gil_scoped_release release;
        runBatch(jobs, results, threads);
        for (std::size_t j = 0; j < batch; ++j) {
            double* dst = out + j * rows * rowSize;
            const std::vector<double>& src = results[j].states;
            std::copy(src.begin(), src.end(), dst);
            if (results[j].ok) continue;
            // the rows from the first non-finite one on are NaN
            std::size_t first = 0;
            for (; first < static_cast<std::size_t>(rows) && first * rowSize < src.size(); ++first) {
                bool rowFinite = true;
                for (std::size_t i = 0; i < rowSize; ++i) rowFinite = rowFinite && std::isfinite(dst[first * rowSize + i]);
                if (!rowFinite) break;
            }
            std::fill(dst + first * rowSize, dst + rows * rowSize, std::nan(""));
        }
    }
    py::list failed, errors;
    for (std::size_t j = 0; j < batch; ++j)
        if (!results[j].ok) {
            failed.append(j);
            errors.append("rollout " + std::to_string(j) + ": " + results[j].error);
        }
    return py::make_tuple(states, failed, errors);
}

// The runner's CSV of a session, as numbers: what marionette-sim --session prints.
py::array_t<double> replaySession(const Session& session, const std::vector<std::string>& arguments, bool twin) {
    RunnerOptions options = parseOptions(arguments);
    if (twin && !sessionCompares(session)) fail("twin=True: the session never compares");
    options.twin = twin;
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    if (out == nullptr) throw std::runtime_error("no memory for the replay's rows");
    {
        py::gil_scoped_release release;
        runHeadless(options, &session, out);
    }
    const bool written = std::fclose(out) == 0;
    const std::unique_ptr<char, decltype(&std::free)> text(buffer, &std::free);
    // the header, then rows of numbers separated by commas
    const char* line = written && buffer != nullptr ? std::strchr(buffer, '\n') : nullptr;
    if (line == nullptr) throw std::runtime_error("no memory for the replay's rows");
    std::size_t columns = 1;
    for (const char* c = buffer; c < line; ++c) columns += *c == ',';
    std::vector<double> values;
    for (const char* c = line + 1; *c != '\0';) {
        char* end = nullptr;
        values.push_back(std::strtod(c, &end));
        c = *end == '\0' ? end : end + 1;
    }
    py::array_t<double> rows({static_cast<py::ssize_t>(values.size() / columns), static_cast<py::ssize_t>(columns)});
    std::copy(values.begin(), values.end(), rows.mutable_data());
    return rows;
}

Session sessionFrom(const std::string& textOrPath, bool isText) {
    Session session;
    std::string error;
    const bool ok = isText ? readSession(session, error, textOrPath.data(), textOrPath.size())
                           : loadSessionFile(session, error, textOrPath.c_str());
    if (!ok) fail(error);
    return session;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "marionette's compiled core; use the package marionette, which re-exports all of it.";

    m.attr("TIME_STEP") = timeStep;
    py::dict knobs;
    for (int k = 0; k < knobCount; ++k) {
        py::dict info;
        info["unit"] = knobInfo[k].unit;
        info["low"] = knobInfo[k].low;
        info["high"] = knobInfo[k].high;
        info["standard"] = knobInfo[k].standard;
        knobs[knobInfo[k].name] = info;
    }
    m.attr("KNOBS") = knobs;

    // both classes first, named as the package shows them, so that every
    // signature below says marionette.Model and marionette.Data
    py::class_<Model> modelClass(m, "Model");
    py::class_<Data> dataClass(m, "Data");
    modelClass.attr("__module__") = "marionette";
    dataClass.attr("__module__") = "marionette";

    modelClass.doc() = R"(A figure: planar rigid segments joined by revolute joints in a tree that
hangs from a fixed pivot. A model never changes; any number of Data run on it.

Make one with Model.builtin(name), Model.from_file(path) or
Model.from_json(text). Models pickle as their JSON model file, so a task
sent to another process or machine carries plain text.)";
    modelClass
        .def_static(
            "builtin",
            [](const std::string& name) {
                std::string error;
                ModelPtr figure = builtinFigure(name, error);
                if (!figure) fail(error);
                return Model{figure};
            },
            py::arg("name"), R"(The built-in figure called `name`: "marionette" (the thirteen-segment
figure, the default of marionette-sim), "pendulum", "double-pendulum",
"chain:N" or "tree:N" (N from 1 to 4096 links of 1 m and 1 kg).)")
        .def_static(
            "from_json", [](const std::string& text) { return Model{figureFromText(text)}; }, py::arg("text"),
            R"(The model in `text`, marionette's JSON model file (see to_json() or
marionette-sim --print-model). ValueError names the faulty field.)")
        .def_static(
            "_from_path",
            [](const std::string& path) {
                auto model = std::make_shared<FigureModel>();
                std::string error;
                if (!loadFigureModelFile(*model, error, path.c_str())) fail(error);
                return Model{ModelPtr(std::move(model))};
            },
            py::arg("path"))
        .def(
            "to_json", [](const Model& self, bool oneLine) { return writeFigureModel(*self.figure, oneLine); },
            py::arg("one_line") = false,
            "The model as marionette's JSON model file; Model.from_json gives it back, every number the same.")
        .def(
            "to_mjcf",
            [](const Model& self, double gravity) {
                return figureMjcf(*self.figure, checkedKnobValue(Knob::gravity, gravity));
            },
            py::arg("gravity") = knobInfo[0].standard,
            "The model as MJCF for MuJoCo, under `gravity` (m/s^2, along -y), as marionette-sim --export-mjcf writes it.")
        .def_property_readonly(
            "n", [](const Model& self) { return self.figure->n; }, "The number of segments (and joints).")
        .def_property_readonly(
            "name", [](const Model& self) { return self.figure->name; }, "The figure's name.")
        .def_property_readonly(
            "segment_names", [](const Model& self) { return self.figure->segmentName; },
            "The segments' names, by index (a Data's q[i] is segment i's joint angle).")
        .def_property_readonly(
            "parents", [](const Model& self) { return self.figure->parent; },
            "Each segment's parent's index; -1 for one hanging from the pivot.")
        .def_property_readonly(
            "start_angles",
            [](const Model& self) {
                return py::array_t<double>(self.figure->n, self.figure->startAngle.data());
            },
            "The joint angles (rad) a run starts from, at rest (a copy).")
        .def("__eq__", [](const Model& a, const Model& b) { return sameFigure(a.figure, b.figure); })
        .def("__hash__", [](const Model& self) { return py::hash(py::str(writeFigureModel(*self.figure, true))); })
        .def("__repr__",
             [](const Model& self) {
                 return "<marionette.Model '" + self.figure->name + "', " + std::to_string(self.figure->n) +
                        " segments>";
             })
        .def(py::pickle([](const Model& self) { return py::make_tuple(writeFigureModel(*self.figure, true)); },
                        [](const py::tuple& t) {
                            if (t.size() != 1) fail("a pickled Model is one JSON text");
                            return Model{figureFromText(t[0].cast<std::string>())};
                        }));

    dataClass.doc() = R"(One running copy of a figure: its state, the keys, the knobs, the hand
and the energy books, driven exactly as marionette-sim drives its run.

Data(model, energy=True) starts at the model's start state (at rest), the
knobs at their standard values, no key pressed, nothing held, step 0.
With energy=False the energy books are not kept (energy() refuses), which
saves one evaluation of the dynamics per step; the state is the same.

data.q and data.p are numpy arrays viewing the run's angles and momenta:
writing to them changes the state the next step starts from. Any number of
Data may step at once on threads of their own; one Data on one thread at a
time.)";
    dataClass
        .def(py::init([](const Model& model, bool energy) {
                 auto d = std::make_unique<Data>();
                 startFigureRun(d->run, model.figure, PhysicsSettings{}, energy);
                 return d;
             }),
             py::arg("model"), py::arg("energy") = true)
        .def_property_readonly(
            "model", [](const Data& d) { return Model{d.run.model}; }, "The model this data runs.")
        .def_property("q", viewOf(&FigureData::q), assignTo(&FigureData::q, "q"),
                      "The joint angles (rad, each against its parent's frame): a writable numpy view, not a copy.")
        .def_property("p", viewOf(&FigureData::p), assignTo(&FigureData::p, "p"),
                      "The momenta conjugate to q (kg m^2/s): a writable numpy view, not a copy.")
        .def_property("qdot", viewOf(&FigureData::qdot), assignTo(&FigureData::qdot, "qdot"),
                      R"(Joint rates (rad/s) to start from: a writable numpy view. A step does not
read or update them (the state is q and p); set_momenta_from_rates() turns
q and qdot into the momenta p, as the start state is made.)")
        .def(
            "set_momenta_from_rates",
            [](Data& d) {
                if (!finite(d.run.data.q) || !finite(d.run.data.qdot))
                    fail("q or qdot holds a NaN or an infinity");
                initMomenta(*d.run.model, d.run.data, d.run.data.p.data(), d.run.data.q.data(), d.run.data.qdot.data());
            },
            "p = the momenta of the figure at angles q moving at rates qdot.")
        .def_property_readonly(
            "step_count", [](const Data& d) { return d.run.step; },
            "Steps taken since the data was made (a reset does not restart it), as the runner's step column.")
        .def_property_readonly(
            "time", [](const Data& d) { return static_cast<double>(d.run.step) * timeStep; },
            "step_count * TIME_STEP, seconds: the runner's t column.")
        .def(
            "press",
            [](Data& d, const std::string& key) {
                const RunnerOptions options = parseOptions({"--key", "0:" + key});
                applyInput(d, SessionEventKind::key, options.keys[0].key);
            },
            py::arg("key"), R"(Presses an arrow key, as the runner's --key and the page's keys do:
"left" / "right" turn the torso (the first joint) by -/+ the key torque,
"down" switches on the limb torques, "up" switches every torque off.)")
        .def(
            "set_knob",
            [](Data& d, const std::string& name, double value) {
                const Knob knob = knobNamed(name);
                applyInput(d, SessionEventKind::knob, static_cast<int>(knob), checkedKnobValue(knob, value));
            },
            py::arg("name"), py::arg("value"), R"(Turns a knob, between two steps, as the runner's --knob does:
"gravity" (0 to 25 m/s^2), "stiffness" and "damping" (0 to 4 times the
standard gains) or "torque" (the keys' torque, 0 to 300 N m). See KNOBS.)")
        .def(
            "knob", [](const Data& d, const std::string& name) { return knobValue(d.run.settings, knobNamed(name)); },
            py::arg("name"), "The value of the knob `name` in force.")
        .def_property_readonly(
            "knobs",
            [](const Data& d) {
                py::dict values;
                for (int k = 0; k < knobCount; ++k) values[knobInfo[k].name] = knobValue(d.run.settings, static_cast<Knob>(k));
                return values;
            },
            "Every knob's value in force, by name (a copy; set_knob turns one).")
        .def(
            "grab",
            [](Data& d, const py::object& segment, const py::object& held, const py::object& target) {
                const FigureModel& model = *d.run.model;
                SessionEvent event;
                event.kind = SessionEventKind::grab;
                event.code = segmentIndex(model, segment);
                const PlanePoint h = planePoint(held, "the held point");
                const PlanePoint t = planePoint(target, "the target");
                if (std::fabs(h.x) > handHeldReach || std::fabs(h.y) > handHeldReach)
                    fail("the held point must lie within " + numberText(handHeldReach) + " of the segment's joint");
                event.heldX = h.x;
                event.heldY = h.y;
                event.targetX = t.x;
                event.targetY = t.y;
                applySessionEvent(d.run, event);
            },
            py::arg("segment"), py::arg("held"), py::arg("target"),
            R"(Takes hold of the point `held` (x, y in the segment's drawn frame) of
`segment` (its name or index) and pulls it towards `target` (x, y in the
drawing plane; 1 unit = 1 m for a chain or tree) with the hand's damped
spring, as a session's grab does. Replaces any earlier hold.)")
        .def(
            "move",
            [](Data& d, const py::object& target) {
                const PlanePoint t = planePoint(target, "the target");
                applyInput(d, SessionEventKind::move, 0, t.x, t.y);
            },
            py::arg("target"), "Moves the hand's target (x, y); nothing happens while nothing is held.")
        .def(
            "release",
            [](Data& d) { applyInput(d, SessionEventKind::release); },
            "Lets go of what the hand holds.")
        .def_property_readonly(
            "holding", [](const Data& d) { return d.run.data.hand.active; }, "Whether the hand holds a point.")
        .def(
            "reset",
            [](Data& d) { applyInput(d, SessionEventKind::reset); },
            R"(Back to the start state, every torque off, nothing held, the energy books
opened anew; the knobs stay as they are and step_count keeps counting, as a
session's reset.)")
        .def("energy", &energyOf, R"(The energy books, in joules, as the runner's --energy columns: a dict of
kinetic, gravity, spring (at the present state), dissipated, supplied,
knobs, hand (since step 0 or the last reset) and residual (what the books
miss, 0 in exact physics).)")
        .def("get_state", &getState, R"(The whole state in one flat float64 array: the n angles, the n momenta,
then the step counts, the keys, the knobs, the hand and the energy books.
set_state(get_state()) later, or on another Data of the same figure,
continues bit for bit as this run would have.)")
        .def("set_state", &setState, py::arg("state"), R"(Puts back a state get_state gave (any Data of the same figure), or, from
an array of 2n numbers (the angles, then the momenta, a rollout's row),
only q and p.)")
        .def("__repr__",
             [](const Data& d) {
                 return "<marionette.Data of '" + d.run.model->name + "' at step " + std::to_string(d.run.step) + ">";
             })
        .def(py::pickle(
            [](const Data& d) {
                return py::make_tuple(Model{d.run.model}, d.run.keepsLedger, getState(d));
            },
            [](const py::tuple& t) {
                if (t.size() != 3) fail("a pickled Data is a model, a flag and a state");
                auto d = std::make_unique<Data>();
                startFigureRun(d->run, t[0].cast<Model>().figure, PhysicsSettings{}, t[1].cast<bool>());
                setState(*d, t[2]);
                return d;
            }));

    m.def("step", &stepData, py::arg("model"), py::arg("data"), py::arg("nstep") = 1,
          R"(Advances `data` by `nstep` steps of TIME_STEP (0.00015 s) under the keys,
knobs and hand in force: the runner's RK4 step, bit for bit. `model` must be
the figure the data was made for. The GIL is released while it steps.
ValueError if the state is not finite, before or after.)");

    m.def("_rollout", &rolloutCore);
    m.def(
        "_replay",
        [](const std::string& textOrPath, bool isText, const std::vector<std::string>& arguments, bool twin) {
            return replaySession(sessionFrom(textOrPath, isText), arguments, twin);
        },
        py::arg("text_or_path"), py::arg("is_text"), py::arg("arguments"), py::arg("twin"));
    m.def("_check_knob", [](const std::string& name) { knobNamed(name); }, py::arg("name"));
    m.def("_hardware_threads", [] { return std::max(1u, std::thread::hardware_concurrency()); });
}
