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

// The control callback: the joint controllers and the keys' torques.
void applyTorques(const mjModel*, mjData* d) {
    double torque[segmentCount];
    computeJointTorques(torque, d->qvel, d->qpos);
    for (int i = 0; i < segmentCount; ++i) d->qfrc_applied[i] = torque[i] + figureData.appliedTorque[i];
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
void massMatrixRateTimesRates(double out[segmentCount], const double s[segmentCount], const double c[segmentCount],
                              const double qdot[segmentCount]) {
    Vec2 origin[segmentCount], com[segmentCount], originRate[segmentCount], comRate[segmentCount];
    Vec2 axisX[segmentCount];  // each segment's x axis in the fixed frame
    double spin[segmentCount];  // each segment's angular velocity
    for (int i = 0; i < segmentCount; ++i) {
        const SegmentParameters& seg = figureModel.segment[i];
        const int parent = parentOf[i];
        const Vec2 parentAxis = parent < 0 ? Vec2{1, 0} : axisX[parent];
        axisX[i] = {c[i] * parentAxis.x - s[i] * parentAxis.y, s[i] * parentAxis.x + c[i] * parentAxis.y};
        origin[i] = parent < 0 ? Vec2{0, 0} : origin[parent] + seg.linkLength * parentAxis;
        originRate[i] = parent < 0 ? Vec2{0, 0} : originRate[parent] + spin[parent] * turn(origin[i] - origin[parent]);
        spin[i] = (parent < 0 ? 0.0 : spin[parent]) + qdot[i];
        com[i] = origin[i] + (seg.centreOfMass[0] * axisX[i] + seg.centreOfMass[1] * turn(axisX[i]));
        comRate[i] = originRate[i] + spin[i] * turn(com[i] - origin[i]);
    }
    for (int k = 0; k < segmentCount; ++k) out[k] = 0.0;
    for (int i = 0; i < segmentCount; ++i) {
        // Jv_i' qdot
        Vec2 jacobianRateTimesRates{0, 0};
        for (int j = i; j >= 0; j = parentOf[j])
            jacobianRateTimesRates = jacobianRateTimesRates + qdot[j] * turn(comRate[i] - originRate[j]);
        // column k: m (Jv_i'[k] . Jv_i qdot + Jv_i[k] . Jv_i' qdot), Jv_i qdot being c_i'
        for (int k = i; k >= 0; k = parentOf[k]) {
            const double m = figureModel.segment[i].mass;
            out[k] += m * (dot(turn(comRate[i] - originRate[k]), comRate[i]) +
                           dot(turn(com[i] - origin[k]), jacobianRateTimesRates));
        }
    }
}

}  // namespace

std::string figureMjcf() { return figureMjcf(figureModel, -figureData.gravity[1]); }

bool openMujocoFigure(MujocoFigure& figure, std::string& error) {
    closeMujocoFigure(figure);
    const std::string xml = figureMjcf();
    const auto vfs = std::make_unique<mjVFS>();
    mj_defaultVFS(vfs.get());
    const char* name = "marionette.xml";
    if (mj_makeEmptyFileVFS(vfs.get(), name, static_cast<int>(xml.size())) != 0) {
        error = "cannot make the model's file in MuJoCo's virtual file system";
        return false;
    }
    std::memcpy(vfs->filedata[mj_findFileVFS(vfs.get(), name)], xml.data(), xml.size());
    char message[1000] = "";
    figure.model = mj_loadXML(name, vfs.get(), message, sizeof message);
    mj_deleteVFS(vfs.get());
    if (figure.model == nullptr) {
        error = message;
        return false;
    }
    figure.data = mj_makeData(figure.model);
    mjcb_control = applyTorques;
    return true;
}

void closeMujocoFigure(MujocoFigure& figure) {
    if (figure.data != nullptr) mj_deleteData(figure.data);
    if (figure.model != nullptr) mj_deleteModel(figure.model);
    figure = MujocoFigure{};
}

void setMujocoState(MujocoFigure& figure, const double q[segmentCount], const double qdot[segmentCount]) {
    mj_resetData(figure.model, figure.data);
    for (int i = 0; i < segmentCount; ++i) figure.data->qpos[i] = q[i], figure.data->qvel[i] = qdot[i];
}

PeerAgreement compareWithMarionette(MujocoFigure& figure, int states, unsigned seed) {
    PeerAgreement agreement{states, 0.0, 0.0, 0};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(-3, 3), momentum(-5, 5);
    std::uniform_int_distribution<int> key(-1, 1);
    for (int n = 0; n < states; ++n) {
        double q[segmentCount], p[segmentCount], s[segmentCount], c[segmentCount];
        for (int i = 0; i < segmentCount; ++i) {
            q[i] = angle(rng), p[i] = momentum(rng);
            s[i] = std::sin(q[i]), c[i] = std::cos(q[i]);
        }
        setAppliedTorques(key(rng), key(rng));

        // M^-1 column by column: the joint rates of unit momenta
        double inverseMass[segmentCount][segmentCount], rate[segmentCount], column[segmentCount];
        for (int j = 0; j < segmentCount; ++j) {
            double unit[segmentCount] = {};
            unit[j] = 1.0;
            computeDerivativesWithTrig(unit, q, s, c, rate, column);
            for (int i = 0; i < segmentCount; ++i) inverseMass[i][j] = column[i];
        }
        // dp/dt and qdot at the state, then qacc = M^-1 (dp/dt - dM/dt qdot)
        double qdot[segmentCount], massRate[segmentCount], acceleration[segmentCount];
        computeDerivativesWithTrig(p, q, s, c, rate, qdot);
        massMatrixRateTimesRates(massRate, s, c, qdot);
        double largest = 0.0;
        for (int i = 0; i < segmentCount; ++i) {
            acceleration[i] = 0.0;
            for (int j = 0; j < segmentCount; ++j) acceleration[i] += inverseMass[i][j] * (rate[j] - massRate[j]);
            largest = std::max(largest, std::fabs(acceleration[i]));
        }

        // MuJoCo at the same q and qdot, its controller seeing the same
        setMujocoState(figure, q, qdot);
        mj_forward(figure.model, figure.data);
        double difference = 0.0;
        for (int i = 0; i < segmentCount; ++i)
            difference = std::max(difference, std::fabs(figure.data->qacc[i] - acceleration[i]));
        agreement.acceleration = std::max(agreement.acceleration, difference / largest);

        double mass[segmentCount * segmentCount];
        mj_fullM(figure.model, mass, figure.data->qM);
        for (int i = 0; i < segmentCount; ++i)
            for (int j = 0; j < segmentCount; ++j) {
                double product = 0.0;
                for (int k = 0; k < segmentCount; ++k) product += mass[i * segmentCount + k] * inverseMass[k][j];
                agreement.massMatrix = std::max(agreement.massMatrix, std::fabs(product - (i == j ? 1.0 : 0.0)));
            }
    }

    // how often one step applies the torques
    controlCalls = 0;
    mjcb_control = countingApplyTorques;
    mj_step(figure.model, figure.data);
    mjcb_control = applyTorques;
    agreement.controlCallsPerStep = controlCalls;
    std::fill(figureData.appliedTorque.begin(), figureData.appliedTorque.end(), 0.0);
    return agreement;
}
