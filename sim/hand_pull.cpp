#include "hand_pull.h"

#include <cmath>

#include "sine_table.h"

HandGrab handGrab;
double handTorque[segmentCount];
double handStepWork = 0.0;

namespace {

// The joints from the pivot out to `segment`, torso first; returns how many.
int pathToPivot(int path[segmentCount], int segment) {
    int reversed[segmentCount];
    int n = 0;
    for (int j = segment; j >= 0; j = parentOf[j]) reversed[n++] = j;
    for (int k = 0; k < n; ++k) path[k] = reversed[n - 1 - k];
    return n;
}

// The drawn frames of the path's joints only (frames elsewhere are not written).
int pathFrames(DrawnFrame frames[segmentCount], int path[segmentCount], int segment,
               const double jointSin[segmentCount], const double jointCos[segmentCount]) {
    const int n = pathToPivot(path, segment);
    DrawnFrame base{{0.0, 0.0}, 1.0, 0.0};  // the plane's own frame
    for (int k = 0; k < n; ++k) {
        const int j = path[k];
        base = frames[j] = childFrame(base, j, jointSin[j], jointCos[j]);
    }
    return n;
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

bool takeHold(int segment, PlanePoint held, PlanePoint target) {
    if (segment < 0 || segment >= segmentCount || !finite(held) || !finite(target)) return false;
    if (std::fabs(held.x) > handHeldReach || std::fabs(held.y) > handHeldReach) return false;
    handGrab = {true, segment, held, clampTarget(target)};
    return true;
}

void moveHandTarget(PlanePoint target) {
    if (!handGrab.active || !finite(target)) return;
    handGrab.target = clampTarget(target);
}

void releaseHold() {
    handGrab.active = false;
}

void computeHandTorques(double torque[segmentCount], const HandGrab& grab, const double jointSin[segmentCount],
                        const double jointCos[segmentCount], const double jointVelocity[segmentCount]) {
    for (int i = 0; i < segmentCount; ++i) torque[i] = 0.0;
    if (grab.segment < 0 || grab.segment >= segmentCount) return;
    DrawnFrame frames[segmentCount];
    int path[segmentCount];
    const int n = pathFrames(frames, path, grab.segment, jointSin, jointCos);

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

void addHandTorques(double momentumRate[segmentCount], const double q[segmentCount],
                    const double jointVelocity[segmentCount]) {
    double s[segmentCount], c[segmentCount];
    for (int j = handGrab.segment; j >= 0; j = parentOf[j]) {
        s[j] = fastSin(q[j]);
        c[j] = fastCos(q[j]);
    }
    computeHandTorques(handTorque, handGrab, s, c, jointVelocity);
    for (int i = 0; i < segmentCount; ++i) momentumRate[i] += handTorque[i];
}

PlanePoint heldPointAt(const HandGrab& grab, const double q[segmentCount]) {
    if (grab.segment < 0 || grab.segment >= segmentCount) return {0.0, 0.0};
    double s[segmentCount], c[segmentCount];
    for (int j = grab.segment; j >= 0; j = parentOf[j]) {
        s[j] = fastSin(q[j]);
        c[j] = fastCos(q[j]);
    }
    DrawnFrame frames[segmentCount];
    int path[segmentCount];
    pathFrames(frames, path, grab.segment, s, c);
    return pointOfFrame(frames[grab.segment], grab.held.x, grab.held.y);
}
