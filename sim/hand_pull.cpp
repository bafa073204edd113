#include "hand_pull.h"

#include <cmath>

#include "sine_table.h"

namespace {

// The joints from the pivot out to `segment`, root first, into data.path;
// their drawn frames into data.frames (frames elsewhere are not written).
// Returns how many.
int pathFrames(const FigureModel& model, FigureData& data, int segment, const double jointSin[],
               const double jointCos[]) {
    int* path = data.path.data();
    int n = 0;
    for (int j = segment; j >= 0; j = model.parent[j]) path[n++] = j;
    for (int a = 0, b = n - 1; a < b; ++a, --b) {
        const int t = path[a];
        path[a] = path[b];
        path[b] = t;
    }
    DrawnFrame base = planeFrame;
    for (int k = 0; k < n; ++k) {
        const int j = path[k];
        base = data.frames[j] = childFrame(base, model.drawnJointX[j], model.drawnJointY[j], jointSin[j], jointCos[j]);
    }
    return n;
}

// The table's sines and cosines of the joints from `segment` to the pivot.
void pathTrig(const FigureModel& model, FigureData& data, int segment, const double q[]) {
    for (int j = segment; j >= 0; j = model.parent[j]) {
        data.jointSin[j] = fastSin(q[j]);
        data.jointCos[j] = fastCos(q[j]);
    }
}

// v scaled down to length `limit` when longer.
void limitLength(double& x, double& y, double limit) {
    const double squared = x * x + y * y;
    if (squared > limit * limit) {
        const double scale = limit / std::sqrt(squared);
        x *= scale;
        y *= scale;
    }
}

bool finite(PlanePoint point) {
    return std::isfinite(point.x) && std::isfinite(point.y);
}

PlanePoint clampTarget(PlanePoint target) {
    const auto clamp = [](double v) {
        return v > handTargetReach ? handTargetReach : v < -handTargetReach ? -handTargetReach : v;
    };
    return {clamp(target.x), clamp(target.y)};
}

}  // namespace

bool takeHold(const FigureModel& model, FigureData& data, int segment, PlanePoint held, PlanePoint target) {
    if (segment < 0 || segment >= model.n || !finite(held) || !finite(target)) return false;
    if (std::fabs(held.x) > handHeldReach || std::fabs(held.y) > handHeldReach) return false;
    data.hand = {true, segment, held, clampTarget(target)};
    return true;
}

void moveHandTarget(FigureData& data, PlanePoint target) {
    if (!data.hand.active || !finite(target)) return;
    data.hand.target = clampTarget(target);
}

void releaseHold(FigureData& data) {
    data.hand.active = false;
}

void computeHandTorques(const FigureModel& model, FigureData& data, double torque[], const HandGrab& grab,
                        const double jointSin[], const double jointCos[], const double jointVelocity[]) {
    for (int i = 0; i < model.n; ++i) torque[i] = 0.0;
    if (grab.segment < 0 || grab.segment >= model.n) return;
    const int n = pathFrames(model, data, grab.segment, jointSin, jointCos);
    const int* path = data.path.data();
    const DrawnFrame* frames = data.frames.data();

    // the held point, and its velocity: each joint turns it about the joint's drawn place
    const PlanePoint point = pointOfFrame(frames[grab.segment], grab.held.x, grab.held.y);
    double vx = 0.0, vy = 0.0;
    for (int k = 0; k < n; ++k) {
        const int j = path[k];
        vx -= jointVelocity[j] * (point.y - frames[j].origin.y);
        vy += jointVelocity[j] * (point.x - frames[j].origin.x);
    }

    // the force: the spring bounded first, so the damping always holds the
    // point's speed to about handSpringLimit / handDamping, then the sum
    double fx = handStiffness * (grab.target.x - point.x);
    double fy = handStiffness * (grab.target.y - point.y);
    limitLength(fx, fy, handSpringLimit);
    fx -= handDamping * vx;
    fy -= handDamping * vy;
    limitLength(fx, fy, handForceLimit);

    // J^T F: each joint's torque is the moment of F about the joint
    for (int k = 0; k < n; ++k) {
        const int j = path[k];
        torque[j] = (point.x - frames[j].origin.x) * fy - (point.y - frames[j].origin.y) * fx;
    }
}

void addHandTorques(const FigureModel& model, FigureData& data, double momentumRate[], const double q[],
                    const double jointVelocity[]) {
    // the path's table sines into the working records, which the planar
    // passes do not keep and the general ones have just written alike
    pathTrig(model, data, data.hand.segment, q);
    computeHandTorques(model, data, data.handTorque.data(), data.hand, data.jointSin.data(), data.jointCos.data(),
                       jointVelocity);
    for (int i = 0; i < model.n; ++i) momentumRate[i] += data.handTorque[i];
}

PlanePoint heldPointAt(const FigureModel& model, FigureData& data, const HandGrab& grab, const double q[]) {
    if (grab.segment < 0 || grab.segment >= model.n) return {0.0, 0.0};
    pathTrig(model, data, grab.segment, q);
    pathFrames(model, data, grab.segment, data.jointSin.data(), data.jointCos.data());
    return pointOfFrame(data.frames[grab.segment], grab.held.x, grab.held.y);
}

bool takeHold(int segment, PlanePoint held, PlanePoint target) {
    return takeHold(figureModel, figureData, segment, held, target);
}

void moveHandTarget(PlanePoint target) { moveHandTarget(figureData, target); }

void releaseHold() { releaseHold(figureData); }

void computeHandTorques(double torque[segmentCount], const HandGrab& grab, const double jointSin[segmentCount],
                        const double jointCos[segmentCount], const double jointVelocity[segmentCount]) {
    computeHandTorques(figureModel, figureData, torque, grab, jointSin, jointCos, jointVelocity);
}

PlanePoint heldPointAt(const HandGrab& grab, const double q[segmentCount]) {
    return heldPointAt(figureModel, figureData, grab, q);
}
