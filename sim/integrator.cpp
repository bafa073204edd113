#include "integrator.h"

#include "dynamics.h"
#include "evaluation_memo.h"
#include "hand_pull.h"
#include "sine_table.h"

void setAppliedTorques(const FigureModel& model, FigureData& data, std::int32_t limbTorqueMode,
                       std::int32_t torsoTorqueDirection) {
    const bool limbs = limbTorqueMode == 1;
    const double size = data.keyTorque;
    double* applied = data.appliedTorque.data();
    for (const KeyJoint& k : model.limbJoints) applied[k.joint] = limbs ? k.sign * size : 0.0;
    if (model.torsoJoint < 0) return;
    if (torsoTorqueDirection == 1) applied[model.torsoJoint] = size;
    else if (torsoTorqueDirection == -1) applied[model.torsoJoint] = -size;
    else if (torsoTorqueDirection == 0) applied[model.torsoJoint] = 0.0;
}

namespace {

using Derivatives = void (*)(const FigureModel& model, FigureData& data, const double p[], const double q[],
                             double momentumRate[], double jointVelocity[]);

// One step, evaluating the equations of motion with `evaluate`; for a figure
// of `segments` segments, or any number when 0 (the same operations either
// way: a known count only lets the compiler unroll the loops).
template <Derivatives evaluate, int segments>
void step(const FigureModel& model, FigureData& data, double p[], double q[], std::int32_t limbTorqueMode,
          std::int32_t torsoTorqueDirection) {
    constexpr double dt = timeStep;
    constexpr double sixth = 0.16666666666666666;
    const int n = segments > 0 ? segments : model.n;
    double* k1p = data.stages.data();
    double* k1q = k1p + n;
    double* k2p = k1q + n;
    double* k2q = k2p + n;
    double* k3p = k2q + n;
    double* k3q = k3p + n;
    double* k4p = k3q + n;
    double* k4q = k4p + n;
    double* tp = k4q + n;
    double* tq = tp + n;
    // while a grab is active, the hand's power handTorque . q' at each stage
    const bool holding = data.hand.active;
    double handPower[4] = {};
    const auto power = [&](const double rate[]) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) sum += data.handTorque[i] * rate[i];
        return sum;
    };

    setAppliedTorques(model, data, limbTorqueMode, torsoTorqueDirection);

    // k1 at the start of the step, where the energy books may have just
    // evaluated with the same inputs (evaluation_memo.h)
    constexpr Derivatives recallable = computeDerivatives;
    if (evaluate != recallable || !recallDerivatives(model, data, p, q, k1p, k1q))
        evaluate(model, data, p, q, k1p, k1q);
    if (holding) handPower[0] = power(k1q);
    // k2 at the half step along k1
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + (dt * k1p[i]) * 0.5;
        tq[i] = q[i] + (dt * k1q[i]) * 0.5;
    }
    evaluate(model, data, tp, tq, k2p, k2q);
    if (holding) handPower[1] = power(k2q);
    // k3 at the half step along k2
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + (dt * k2p[i]) * 0.5;
        tq[i] = q[i] + (dt * k2q[i]) * 0.5;
    }
    evaluate(model, data, tp, tq, k3p, k3q);
    if (holding) handPower[2] = power(k3q);
    // k4 at the full step along k3
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + dt * k3p[i];
        tq[i] = q[i] + dt * k3q[i];
    }
    evaluate(model, data, tp, tq, k4p, k4q);
    if (holding) handPower[3] = power(k4q);

    // the weighted update k1 + 2 k2 + 2 k3 + k4
    for (int i = 0; i < n; ++i) {
        p[i] = p[i] + ((((k3p[i] + k2p[i]) * 2 + k4p[i]) + k1p[i]) * dt) * sixth;
        q[i] = q[i] + ((((k3q[i] + k2q[i]) * 2 + k4q[i]) + k1q[i]) * dt) * sixth;
    }
    // the next step evaluates near q + h/2 q' and q + h q': the table's
    // sines there, asked for now, arrive while this step's caller and the
    // next step's first stage run. A figure of more segments keeps enough
    // of its own lookups in flight to hide their wait, and the asking
    // only costs it instructions (chain:1024 and tree:1024 5-7% slower,
    // tree:256 even, tree:16 to tree:64 7-12% faster).
    constexpr int prefetchUpTo = 256;
    if (n <= prefetchUpTo) prefetchSinesAhead(q, k4q, dt * 0.5, dt, n);
    // the hand's work, with the same weights: the step of the work's own
    // equation dW/dt = handTorque . q' integrated beside the state, so the
    // ledger's balance closes to the integrator's order
    data.handStepWork =
        holding ? ((((handPower[2] + handPower[1]) * 2 + handPower[3]) + handPower[0]) * dt) * sixth : 0.0;
}

template <Derivatives evaluate>
void anyStep(const FigureModel& model, FigureData& data, double p[], double q[], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection) {
    if (model.n == segmentCount)
        step<evaluate, segmentCount>(model, data, p, q, limbTorqueMode, torsoTorqueDirection);
    else
        step<evaluate, 0>(model, data, p, q, limbTorqueMode, torsoTorqueDirection);
}

}  // namespace

void stepRK4(const FigureModel& model, FigureData& data, double p[], double q[], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection) {
    anyStep<computeDerivatives>(model, data, p, q, limbTorqueMode, torsoTorqueDirection);
}

void stepRK4General(const FigureModel& model, FigureData& data, double p[], double q[],
                    std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection) {
    anyStep<computeDerivativesGeneral>(model, data, p, q, limbTorqueMode, torsoTorqueDirection);
}

void setAppliedTorques(std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection) {
    setAppliedTorques(figureModel, figureData, limbTorqueMode, torsoTorqueDirection);
}

void stepRK4(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection) {
    stepRK4(figureModel, figureData, p, q, limbTorqueMode, torsoTorqueDirection);
}

void stepRK4General(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
                    std::int32_t torsoTorqueDirection) {
    stepRK4General(figureModel, figureData, p, q, limbTorqueMode, torsoTorqueDirection);
}
