#include "reference_figure.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sine_table.h"

namespace reference {

namespace {

Vec2 applyMatrix(const Mat2& m, const Vec2& v) {
    return {m[0][0] * v[0] + m[0][1] * v[1], m[1][0] * v[0] + m[1][1] * v[1]};
}

Vec2 applyTransposed(const Mat2& m, const Vec2& v) {
    return {m[0][0] * v[0] + m[1][0] * v[1], m[0][1] * v[0] + m[1][1] * v[1]};
}

Mat2 product(const Mat2& a, const Mat2& b) {
    Mat2 r{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
    return r;
}

Mat2 transposed(const Mat2& m) { return {{{m[0][0], m[1][0]}, {m[0][1], m[1][1]}}}; }

Mat2 jointMatrix(const JointTrig& trig, int joint) {
    const double s = trig.sin[joint];
    const double c = trig.cos[joint];
    return {{{c, -s}, {s, c}}};
}

Vec2 centreOfMassInSegment(int segment) {
    const Vector3& c = figureModel.segment[segment].centreOfMass;
    return {c[0], c[1]};
}

// The held pose: torso hanging from the pivot, upper arms 45 degrees and upper
// legs 30 degrees off the torso's axis, every other joint straight.
const JointVector controllerTarget = {-1.570796, -0.785398, 0.0, 0.0, 0.785398, 0.0, 0.0,
                                      -0.5235986666666667, 0.0, 0.0, 0.5235986666666667, 0.0, 0.0};
const JointVector controllerStiffness = {50.0, 60.0, 20.0, 10.0, 50.0, 20.0, 10.0,
                                         50.0, 20.0, 20.0, 60.0, 20.0, 20.0};

constexpr double controllerDamping = 5.1;

}  // namespace

JointTrig tableTrig(const JointVector& q) {
    JointTrig t{};
    for (int i = 0; i < jointCount; ++i) {
        t.sin[i] = fastSin(q[i]);
        t.cos[i] = fastCos(q[i]);
    }
    return t;
}

JointTrig exactTrig(const JointVector& q) {
    JointTrig t{};
    for (int i = 0; i < jointCount; ++i) {
        t.sin[i] = std::sin(q[i]);
        t.cos[i] = std::cos(q[i]);
    }
    return t;
}

Pose forwardKinematics(const JointTrig& trig) {
    Pose pose{};
    for (int i = 0; i < jointCount; ++i) {  // every parent has a smaller index
        const int parent = parentOf[i];
        const Mat2 parentOrientation = parent < 0 ? Mat2{{{1.0, 0.0}, {0.0, 1.0}}}
                                                  : pose.orientation[parent];
        const Vec2 parentOrigin = parent < 0 ? Vec2{0.0, 0.0} : pose.jointOrigin[parent];
        const Vec2 link = applyMatrix(parentOrientation, {figureModel.segment[i].linkLength, 0.0});
        pose.jointOrigin[i] = {parentOrigin[0] + link[0], parentOrigin[1] + link[1]};
        pose.orientation[i] = product(parentOrientation, jointMatrix(trig, i));
        const Vec2 c = applyMatrix(pose.orientation[i], centreOfMassInSegment(i));
        pose.centreOfMass[i] = {pose.jointOrigin[i][0] + c[0], pose.jointOrigin[i][1] + c[1]};
    }
    return pose;
}

std::array<SegmentJacobian, jointCount> jacobians(const JointTrig& trig) {
    std::array<SegmentJacobian, jointCount> result{};
    for (int i = 0; i < jointCount; ++i) {
        SegmentJacobian& jac = result[i];
        // arm: from the joint being visited to segment i's centre of mass, in
        // segment i's frame. toSegment: coordinates of the visited joint's
        // frame into segment i's frame.
        Vec2 arm = centreOfMassInSegment(i);
        Mat2 toSegment{{{1.0, 0.0}, {0.0, 1.0}}};
        for (int j = i; j >= 0; j = parentOf[j]) {
            jac.comVelocity[j] = {-arm[1], arm[0]};  // z x arm
            jac.angularVelocity[j] = 1.0;
            if (parentOf[j] < 0) break;
            // A vector v in the parent's frame has coordinates R_j^T v in
            // joint j's frame.
            toSegment = product(toSegment, transposed(jointMatrix(trig, j)));
            const Vec2 link = applyMatrix(toSegment, {figureModel.segment[j].linkLength, 0.0});
            arm = {arm[0] + link[0], arm[1] + link[1]};
        }
    }
    return result;
}

double inertiaAboutCentreOfMass(int segment) {
    const SegmentParameters& s = figureModel.segment[segment];
    const Vector3& c = s.centreOfMass;
    return s.rotationalInertia[5] - s.mass * (c[0] * c[0] + c[1] * c[1]);
}

JointMatrix massMatrix(const JointTrig& trig) {
    const std::array<SegmentJacobian, jointCount> jac = jacobians(trig);
    JointMatrix m{};
    for (int i = 0; i < jointCount; ++i) {
        const double mass = figureModel.segment[i].mass;
        const double izz = inertiaAboutCentreOfMass(i);
        for (int a = 0; a < jointCount; ++a) {
            for (int b = 0; b < jointCount; ++b) {
                const Vec2& va = jac[i].comVelocity[a];
                const Vec2& vb = jac[i].comVelocity[b];
                m[a][b] += mass * (va[0] * vb[0] + va[1] * vb[1]) +
                           izz * jac[i].angularVelocity[a] * jac[i].angularVelocity[b];
            }
        }
    }
    return m;
}

JointVector multiply(const JointMatrix& m, const JointVector& x) {
    JointVector y{};
    for (int a = 0; a < jointCount; ++a)
        for (int b = 0; b < jointCount; ++b) y[a] += m[a][b] * x[b];
    return y;
}

JointVector solve(const JointMatrix& m, const JointVector& b) {
    // m = L L^T, then L y = b and L^T x = y.
    JointMatrix l{};
    for (int j = 0; j < jointCount; ++j) {
        double d = m[j][j];
        for (int k = 0; k < j; ++k) d -= l[j][k] * l[j][k];
        if (!(d > 0.0)) {
            JointVector nan{};
            nan.fill(std::numeric_limits<double>::quiet_NaN());
            return nan;
        }
        l[j][j] = std::sqrt(d);
        for (int i = j + 1; i < jointCount; ++i) {
            double s = m[i][j];
            for (int k = 0; k < j; ++k) s -= l[i][k] * l[j][k];
            l[i][j] = s / l[j][j];
        }
    }
    JointVector y{};
    for (int i = 0; i < jointCount; ++i) {
        double s = b[i];
        for (int k = 0; k < i; ++k) s -= l[i][k] * y[k];
        y[i] = s / l[i][i];
    }
    JointVector x{};
    for (int i = jointCount - 1; i >= 0; --i) {
        double s = y[i];
        for (int k = i + 1; k < jointCount; ++k) s -= l[k][i] * x[k];
        x[i] = s / l[i][i];
    }
    return x;
}

double infinityNorm(const JointMatrix& m) {
    double norm = 0.0;
    for (const JointVector& row : m) {
        double sum = 0.0;
        for (double v : row) sum += std::abs(v);
        norm = std::max(norm, sum);
    }
    return norm;
}

double inverseInfinityNorm(const JointMatrix& m) {
    JointMatrix inverse{};  // column by column; symmetric, so rows are columns
    for (int j = 0; j < jointCount; ++j) {
        JointVector e{};
        e[j] = 1.0;
        inverse[j] = solve(m, e);
    }
    return infinityNorm(inverse);
}

JointVector gravityForce(const JointTrig& trig) {
    const std::array<SegmentJacobian, jointCount> jac = jacobians(trig);
    std::array<Vec2, jointCount> gravityInSegment{};
    JointVector force{};
    for (int i = 0; i < jointCount; ++i) {  // every parent has a smaller index
        const int parent = parentOf[i];
        const Vec2 g = parent < 0 ? Vec2{0.0, -standardGravity} : gravityInSegment[parent];
        gravityInSegment[i] = applyTransposed(jointMatrix(trig, i), g);
        const double mass = figureModel.segment[i].mass;
        for (int j = 0; j < jointCount; ++j) {
            const Vec2& v = jac[i].comVelocity[j];
            force[j] += mass * (v[0] * gravityInSegment[i][0] + v[1] * gravityInSegment[i][1]);
        }
    }
    return force;
}

double kineticEnergy(const JointMatrix& m, const JointVector& qdot) {
    const JointVector mq = multiply(m, qdot);
    double t = 0.0;
    for (int i = 0; i < jointCount; ++i) t += qdot[i] * mq[i];
    return 0.5 * t;
}

double gravityPotential(const JointTrig& trig) {
    const Pose pose = forwardKinematics(trig);
    double v = 0.0;
    for (int i = 0; i < jointCount; ++i)
        v += figureModel.segment[i].mass * standardGravity * pose.centreOfMass[i][1];
    return v;
}

double controllerPotential(const JointVector& q) {
    double v = 0.0;
    for (int i = 0; i < jointCount; ++i) {
        const double d = q[i] - controllerTarget[i];
        v += 0.5 * controllerStiffness[i] * d * d;
    }
    return v;
}

JointVector controllerTorques(const JointVector& q, const JointVector& qdot) {
    JointVector t{};
    for (int i = 0; i < jointCount; ++i)
        t[i] = controllerStiffness[i] * (controllerTarget[i] - q[i]) - controllerDamping * qdot[i];
    return t;
}

}  // namespace reference
