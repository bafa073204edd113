#include "mujoco_peer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "dynamics.h"
#include "integrator.h"
#include "joint_controller.h"
#include "mjcf_writer.h"

namespace {

// The figure whose controller the control callback applies, and its
// angles, rates and torques in marionette's order.
const MujocoFigure* controlled = nullptr;
std::vector<double> controlQ, controlRate, controlTorque;

// The control callback: the joint controllers and the keys' torques.
void applyTorques(const mjModel*, mjData* d) {
    const int n = controlled->figure->n;
    const int* address = controlled->address.data();
    for (int i = 0; i < n; ++i) controlQ[i] = d->qpos[address[i]], controlRate[i] = d->qvel[address[i]];
    computeJointTorques(*controlled->figure, *controlled->figureData, controlTorque.data(), controlRate.data(),
                        controlQ.data());
    for (int i = 0; i < n; ++i)
        d->qfrc_applied[address[i]] = controlTorque[i] + controlled->figureData->appliedTorque[i];
}

int controlCalls = 0;
void countingApplyTorques(const mjModel* m, mjData* d) {
    ++controlCalls;
    applyTorques(m, d);
}

// 2-D helpers in the fixed frame.
struct Vec2 {
    double x, y;
};
Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 operator*(double s, Vec2 a) { return {s * a.x, s * a.y}; }
Vec2 turn(Vec2 a) { return {-a.y, a.x}; }  // z x a
double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }

// dM/dt qdot for M = sum_i m_i Jv_i^T Jv_i + Izz_i Jw_i^T Jw_i, with Jv_i
// the centre of mass's velocity Jacobian in the fixed frame: column j is
// z x (c_i - o_j) for every joint j from the pivot to segment i, whose time
// derivative is z x (c_i' - o_j'); Jw_i is constant.
std::vector<double> massMatrixRateTimesRates(const FigureModel& model, const double s[], const double c[],
                                             const double qdot[]) {
    const int n = model.n;
    const int* parentOf = model.parent.data();
    std::vector<Vec2> origin(n), com(n), originRate(n), comRate(n), axisX(n);  // axisX: the segment's x axis
    std::vector<double> spin(n);  // each segment's angular velocity
    for (int i = 0; i < n; ++i) {
        const SegmentParameters& seg = model.segment[i];
        const int parent = parentOf[i];
        const Vec2 parentAxis = parent < 0 ? Vec2{1, 0} : axisX[parent];
        axisX[i] = {c[i] * parentAxis.x - s[i] * parentAxis.y, s[i] * parentAxis.x + c[i] * parentAxis.y};
        origin[i] = (parent < 0 ? Vec2{0, 0} : origin[parent]) + seg.linkLength * parentAxis;
        originRate[i] = parent < 0 ? Vec2{0, 0} : originRate[parent] + spin[parent] * turn(origin[i] - origin[parent]);
        spin[i] = (parent < 0 ? 0.0 : spin[parent]) + qdot[i];
        com[i] = origin[i] + (seg.centreOfMass[0] * axisX[i] + seg.centreOfMass[1] * turn(axisX[i]));
        comRate[i] = originRate[i] + spin[i] * turn(com[i] - origin[i]);
    }
    std::vector<double> out(n, 0.0);
    for (int i = 0; i < n; ++i) {
        // Jv_i' qdot
        Vec2 jacobianRateTimesRates{0, 0};
        for (int j = i; j >= 0; j = parentOf[j])
            jacobianRateTimesRates = jacobianRateTimesRates + qdot[j] * turn(comRate[i] - originRate[j]);
        // column k: m (Jv_i'[k] . Jv_i qdot + Jv_i[k] . Jv_i' qdot), Jv_i qdot being c_i'
        for (int k = i; k >= 0; k = parentOf[k]) {
            const double m = model.segment[i].mass;
            out[k] += m * (dot(turn(comRate[i] - originRate[k]), comRate[i]) +
                           dot(turn(com[i] - origin[k]), jacobianRateTimesRates));
        }
    }
    return out;
}

}  // namespace

std::string figureMjcf() { return figureMjcf(figureModel, -figureData.gravity[1]); }

std::vector<std::pair<std::string, std::string>> splitMjcf(const std::string& xml, int bodiesPerFile) {
    // one line per element as the writer puts them; every file but the
    // first is one body's subtree, wrapped in <mujoco>, which MuJoCo drops
    std::vector<std::pair<std::string, std::string>> files = {{"model.xml", ""}};
    struct Open {
        int file, depth;  // the file being written and the bodies open in it
    };
    std::vector<Open> open = {{0, 0}};
    std::size_t start = 0;
    while (start < xml.size()) {
        std::size_t end = xml.find('\n', start);
        end = end == std::string::npos ? xml.size() : end + 1;
        const std::string line = xml.substr(start, end - start);
        start = end;
        const std::size_t text = line.find_first_not_of(' ');
        const bool opens = line.compare(text, 5, "<body") == 0, closes = line.compare(text, 7, "</body>") == 0;
        if (opens && open.back().depth == bodiesPerFile) {
            const std::string name = "part" + std::to_string(files.size()) + ".xml";
            files[open.back().file].second += std::string(text, ' ') + "<include file=\"" + name + "\"/>\n";
            files.push_back({name, "<mujoco>\n"});
            open.push_back({static_cast<int>(files.size()) - 1, 0});
        }
        files[open.back().file].second += line;
        if (opens) ++open.back().depth;
        if (closes && --open.back().depth == 0 && open.size() > 1) {
            files[open.back().file].second += "</mujoco>\n";
            open.pop_back();
        }
    }
    return files;
}

bool openMujocoFigure(MujocoFigure& figure, const FigureModel& model, FigureData& data, std::string& error) {
    closeMujocoFigure(figure);
    // MuJoCo 2.2's XML reader takes elements nested at most 100 deep: the
    // model's own two, a body's children one more than the body
    const auto files = splitMjcf(figureMjcf(model, -data.gravity[1]), 90);
    const auto vfs = std::make_unique<mjVFS>();
    mj_defaultVFS(vfs.get());
    for (const auto& [name, xml] : files) {
        if (mj_makeEmptyFileVFS(vfs.get(), name.c_str(), static_cast<int>(xml.size())) != 0) {
            error = "cannot make the model's file " + name + " in MuJoCo's virtual file system";
            mj_deleteVFS(vfs.get());
            return false;
        }
        std::memcpy(vfs->filedata[mj_findFileVFS(vfs.get(), name.c_str())], xml.data(), xml.size());
    }
    char message[1000] = "";
    figure.model = mj_loadXML(files[0].first.c_str(), vfs.get(), message, sizeof message);
    mj_deleteVFS(vfs.get());
    if (figure.model == nullptr) {
        error = message;
        return false;
    }
    figure.data = mj_makeData(figure.model);
    figure.address.resize(model.n);
    for (int i = 0; i < model.n; ++i) {
        const int joint = mj_name2id(figure.model, mjOBJ_JOINT, model.segmentName[i].c_str());
        figure.address[i] = figure.model->jnt_dofadr[joint];
    }
    figure.figure = &model;
    figure.figureData = &data;
    useMujocoFigure(figure);
    return true;
}

bool openMujocoFigure(MujocoFigure& figure, std::string& error) {
    return openMujocoFigure(figure, figureModel, figureData, error);
}

void closeMujocoFigure(MujocoFigure& figure) {
    if (figure.data != nullptr) mj_deleteData(figure.data);
    if (figure.model != nullptr) mj_deleteModel(figure.model);
    figure = MujocoFigure{};
}

void useMujocoFigure(const MujocoFigure& figure) {
    controlled = &figure;
    const std::size_t n = figure.figure->n;
    controlQ.resize(n), controlRate.resize(n), controlTorque.resize(n);
    mjcb_control = applyTorques;
}

void setMujocoState(MujocoFigure& figure, const double q[], const double qdot[]) {
    mj_resetData(figure.model, figure.data);
    for (int i = 0; i < figure.figure->n; ++i) {
        const int k = figure.address[i];
        figure.data->qpos[k] = q[i], figure.data->qvel[k] = qdot[i];
    }
}

PeerAgreement compareWithMarionette(MujocoFigure& figure, int states, unsigned seed, double angles) {
    const FigureModel& model = *figure.figure;
    FigureData& data = *figure.figureData;
    const int n = model.n;
    useMujocoFigure(figure);
    PeerAgreement agreement{states, 0.0, 0.0, {0.0, 0.0}, 0};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(-angles, angles), momentum(-5, 5);
    std::uniform_int_distribution<int> key(-1, 1);
    std::vector<double> q(n), p(n), s(n), c(n), rate(n), qdot(n), unused(n), acceleration(n);
    for (int state = 0; state < states; ++state) {
        for (int i = 0; i < n; ++i) {
            q[i] = angle(rng), p[i] = momentum(rng);
            s[i] = std::sin(q[i]), c[i] = std::cos(q[i]);
        }
        setAppliedTorques(model, data, key(rng), key(rng));

        // dp/dt and qdot at the state, then qacc = M^-1 (dp/dt - dM/dt qdot):
        // the joint rates of those momenta
        computeDerivativesWithTrig(model, data, p.data(), q.data(), s.data(), c.data(), rate.data(), qdot.data());
        const std::vector<double> massRate = massMatrixRateTimesRates(model, s.data(), c.data(), qdot.data());
        std::vector<double> momenta(n);
        for (int i = 0; i < n; ++i) momenta[i] = rate[i] - massRate[i];
        computeDerivativesWithTrig(model, data, momenta.data(), q.data(), s.data(), c.data(), unused.data(),
                                   acceleration.data());
        double largest = 0.0;
        for (int i = 0; i < n; ++i) largest = std::max(largest, std::fabs(acceleration[i]));

        // MuJoCo at the same q and qdot, its controller seeing the same
        // (the controller torques of the rates, computed again)
        computeDerivativesWithTrig(model, data, p.data(), q.data(), s.data(), c.data(), rate.data(), qdot.data());
        setMujocoState(figure, q.data(), qdot.data());
        mj_forward(figure.model, figure.data);
        double difference = 0.0;
        for (int i = 0; i < n; ++i)
            difference = std::max(difference, std::fabs(figure.data->qacc[figure.address[i]] - acceleration[i]));
        agreement.acceleration = std::max(agreement.acceleration, difference / largest);
        // how well each solves MuJoCo's M qacc = f
        std::vector<double> ours(n), force(n), product(n);
        for (int i = 0; i < n; ++i) ours[figure.address[i]] = acceleration[i];
        double largestForce = 0.0;
        for (int i = 0; i < n; ++i) largestForce = std::max(largestForce, std::fabs(figure.data->qfrc_smooth[i]));
        const double* solutions[2] = {ours.data(), figure.data->qacc};
        for (int k = 0; k < 2; ++k) {
            mj_mulM(figure.model, figure.data, product.data(), solutions[k]);
            double residual = 0.0;
            for (int i = 0; i < n; ++i)
                residual = std::max(residual, std::fabs(product[i] - figure.data->qfrc_smooth[i]));
            agreement.residuals[k] = std::max(agreement.residuals[k], residual / largestForce);
        }

        if (n > 64) continue;
        // M^-1 column by column, the joint rates of unit momenta, against MuJoCo's M
        std::vector<double> inverseMass(n * n), unit(n, 0.0), column(n), mass(n * n);
        for (int j = 0; j < n; ++j) {
            unit[j] = 1.0;
            computeDerivativesWithTrig(model, data, unit.data(), q.data(), s.data(), c.data(), unused.data(),
                                       column.data());
            unit[j] = 0.0;
            for (int i = 0; i < n; ++i) inverseMass[i * n + j] = column[i];
        }
        mj_fullM(figure.model, mass.data(), figure.data->qM);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double product = 0.0;
                for (int k = 0; k < n; ++k)
                    product += mass[figure.address[i] * n + figure.address[k]] * inverseMass[k * n + j];
                agreement.massMatrix = std::max(agreement.massMatrix, std::fabs(product - (i == j ? 1.0 : 0.0)));
            }
    }

    // how often one step applies the torques
    controlCalls = 0;
    mjcb_control = countingApplyTorques;
    mj_step(figure.model, figure.data);
    mjcb_control = applyTorques;
    agreement.controlCallsPerStep = controlCalls;
    std::fill(data.appliedTorque.begin(), data.appliedTorque.end(), 0.0);
    return agreement;
}
