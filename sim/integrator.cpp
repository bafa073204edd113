#include "integrator.h"

#include "dynamics.h"
#include "hand_pull.h"
#include "joint_controller.h"

void setAppliedTorques(std::int32_t limbTorqueMode, std::int32_t torsoTorqueDirection) {
    const bool limbs = limbTorqueMode == 1;
    const double size = keyTorque;
    appliedTorque[rightUpperArm] = limbs ? -size : 0.0;
    appliedTorque[leftUpperArm] = limbs ? size : 0.0;
    appliedTorque[rightUpperLeg] = limbs ? -size : 0.0;
    appliedTorque[leftUpperLeg] = limbs ? size : 0.0;
    if (torsoTorqueDirection == 1) appliedTorque[torso] = size;
    else if (torsoTorqueDirection == -1) appliedTorque[torso] = -size;
    else if (torsoTorqueDirection == 0) appliedTorque[torso] = 0.0;
}

namespace {

using Derivatives = void (*)(const double p[segmentCount], const double q[segmentCount],
                             double momentumRate[segmentCount], double jointVelocity[segmentCount]);

// One step, evaluating the equations of motion with `evaluate`.
template <Derivatives evaluate>
void step(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
          std::int32_t torsoTorqueDirection) {
    constexpr double dt = timeStep;
    constexpr double sixth = 0.16666666666666666;
    constexpr int n = segmentCount;
    double k1p[n], k1q[n], k2p[n], k2q[n], k3p[n], k3q[n], k4p[n], k4q[n], tp[n], tq[n];
    // while a grab is active, the hand's power handTorque . q' at each stage
    const bool holding = handGrab.active;
    double handPower[4];
    const auto power = [](const double rate[n]) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) sum += handTorque[i] * rate[i];
        return sum;
    };

    setAppliedTorques(limbTorqueMode, torsoTorqueDirection);

    // k1 at the start of the step
    evaluate(p, q, k1p, k1q);
    if (holding) handPower[0] = power(k1q);
    // k2 at the half step along k1
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + (dt * k1p[i]) * 0.5;
        tq[i] = q[i] + (dt * k1q[i]) * 0.5;
    }
    evaluate(tp, tq, k2p, k2q);
    if (holding) handPower[1] = power(k2q);
    // k3 at the half step along k2
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + (dt * k2p[i]) * 0.5;
        tq[i] = q[i] + (dt * k2q[i]) * 0.5;
    }
    evaluate(tp, tq, k3p, k3q);
    if (holding) handPower[2] = power(k3q);
    // k4 at the full step along k3
    for (int i = 0; i < n; ++i) {
        tp[i] = p[i] + dt * k3p[i];
        tq[i] = q[i] + dt * k3q[i];
    }
    evaluate(tp, tq, k4p, k4q);
    if (holding) handPower[3] = power(k4q);

    // the weighted update k1 + 2 k2 + 2 k3 + k4
    for (int i = 0; i < n; ++i) {
        p[i] = p[i] + ((((k3p[i] + k2p[i]) * 2 + k4p[i]) + k1p[i]) * dt) * sixth;
        q[i] = q[i] + ((((k3q[i] + k2q[i]) * 2 + k4q[i]) + k1q[i]) * dt) * sixth;
    }
    // the hand's work, with the same weights: the step of the work's own
    // equation dW/dt = handTorque . q' integrated beside the state, so the
    // ledger's balance closes to the integrator's order
    handStepWork = holding ? ((((handPower[2] + handPower[1]) * 2 + handPower[3]) + handPower[0]) * dt) * sixth : 0.0;
}

}  // namespace

void stepRK4(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
             std::int32_t torsoTorqueDirection) {
    step<computeDerivatives>(p, q, limbTorqueMode, torsoTorqueDirection);
}

void stepRK4General(double p[segmentCount], double q[segmentCount], std::int32_t limbTorqueMode,
                    std::int32_t torsoTorqueDirection) {
    step<computeDerivativesGeneral>(p, q, limbTorqueMode, torsoTorqueDirection);
}
