#include "evaluation_memo.h"

#include <algorithm>
#include <cstring>

#include "dynamics.h"

namespace {

bool sameBits(const double* a, const double* b, int n) {
    return std::memcmp(a, b, static_cast<std::size_t>(n) * sizeof(double)) == 0;
}

bool sameHand(const HandGrab& a, const HandGrab& b) {
    const double aPoints[4] = {a.held.x, a.held.y, a.target.x, a.target.y};
    const double bPoints[4] = {b.held.x, b.held.y, b.target.x, b.target.y};
    return a.active == b.active && a.segment == b.segment && sameBits(aPoints, bPoints, 4);
}

}  // namespace

void computeDerivativesKept(const FigureModel& model, FigureData& data, const double p[], const double q[],
                            double momentumRate[], double jointVelocity[]) {
    computeDerivatives(model, data, p, q, momentumRate, jointVelocity);
    EvaluationMemo& memo = data.memo;
    const int n = model.n;
    memo.p.assign(p, p + n);
    memo.q.assign(q, q + n);
    memo.appliedTorque = data.appliedTorque;
    memo.controllerStiffness = data.controllerStiffness;
    memo.gravity = data.gravity;
    memo.controllerDamping = data.controllerDamping;
    memo.hand = data.hand;
    memo.momentumRate.assign(momentumRate, momentumRate + n);
    memo.jointVelocity.assign(jointVelocity, jointVelocity + n);
    if (data.hand.active) memo.handTorque = data.handTorque;  // written by evaluations with a grab only
    memo.model = &model;
}

bool recallDerivatives(const FigureModel& model, FigureData& data, const double p[], const double q[],
                       double momentumRate[], double jointVelocity[]) {
    const EvaluationMemo& memo = data.memo;
    const int n = model.n;
    if (memo.model != &model || static_cast<int>(memo.p.size()) != n || !sameBits(memo.p.data(), p, n) ||
        !sameBits(memo.q.data(), q, n) || !sameBits(memo.appliedTorque.data(), data.appliedTorque.data(), n) ||
        !sameBits(memo.controllerStiffness.data(), data.controllerStiffness.data(), n) ||
        !sameBits(memo.gravity.data(), data.gravity.data(), 6) ||
        !sameBits(&memo.controllerDamping, &data.controllerDamping, 1) || !sameHand(memo.hand, data.hand))
        return false;
    std::copy(memo.momentumRate.begin(), memo.momentumRate.end(), momentumRate);
    std::copy(memo.jointVelocity.begin(), memo.jointVelocity.end(), jointVelocity);
    if (data.hand.active) data.handTorque = memo.handTorque;
    return true;
}
