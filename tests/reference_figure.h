// A slow, plain reference of the figure's mechanics for the tests.
//
// Written from rigid-body mechanics, not from the recursive passes of the
// core: forward kinematics in the fixed frame, dense Jacobians of every
// centre of mass and angular velocity, the mass matrix built from them, the
// energies, and a dense solver. Nothing here is fast and nothing needs to be.
//
// Angles enter as per-joint (sin, cos) pairs, so the same code runs with the
// core's table trigonometry (to compare with the core to rounding) or with
// the math library's (to compare with exact physics). Each joint's rotation
// is the matrix [[c, -s], [s, c]] of its own pair; orientations are products
// of these matrices, never rotations by summed angles. With table values a
// joint's matrix is not exactly orthogonal (s^2 + c^2 - 1 reaches 1.1e-5),
// and formulations that are equal for exact rotations then part at that
// level: velocities carried into a segment's frame by transposed matrices
// (as the core's spatial transforms do, and as jacobians() does) differ by
// about 1e-5 from velocities differentiated in the fixed frame. The comment
// of each function says which one it uses.
//
// The figure is planar: every joint axis is the z axis, every twist and link
// offset is zero, every centre of mass lies in the x-y plane. Parameters are
// read from figureModel, so buildFigureModel must have run.
#pragma once

#include <array>

#include "figure_model.h"

namespace reference {

inline constexpr int jointCount = segmentCount;
inline constexpr double standardGravity = 9.80665;  // m/s^2, along -y of the fixed frame

using JointVector = std::array<double, jointCount>;
using JointMatrix = std::array<JointVector, jointCount>;  // row-major
using Vec2 = std::array<double, 2>;
using Mat2 = std::array<Vec2, 2>;  // row-major 2x2

// Sine and cosine of every joint angle.
struct JointTrig {
    JointVector sin;
    JointVector cos;
};

// The core's table values, fastSin and fastCos.
JointTrig tableTrig(const JointVector& q);
// The math library's std::sin and std::cos.
JointTrig exactTrig(const JointVector& q);

// Where the figure is, in the fixed frame (y up, pivot at the origin).
// orientation[i] maps segment i's coordinates to the fixed frame: the
// parent's orientation times joint i's matrix. jointOrigin[i] is the parent's
// origin plus linkLength_i along the parent's x axis.
struct Pose {
    std::array<Vec2, jointCount> jointOrigin;
    std::array<Mat2, jointCount> orientation;
    std::array<Vec2, jointCount> centreOfMass;
};
Pose forwardKinematics(const JointTrig& trig);

// Velocity Jacobians of one segment, column j for joint rate j.
// comVelocity[j] is the velocity of the segment's centre of mass for a unit
// rate of joint j, z x (centre of mass - joint j's origin), expressed in the
// segment's own frame: the path from joint j to the centre of mass is summed
// link by link, each link vector carried from its frame into the segment's
// frame by the transposed joint matrices (the parent-to-child coordinate
// change). angularVelocity[j] is 1 for joint j on the path from the pivot to
// the segment, else 0; columns of other joints are zero.
struct SegmentJacobian {
    std::array<Vec2, jointCount> comVelocity;
    JointVector angularVelocity;
};
std::array<SegmentJacobian, jointCount> jacobians(const JointTrig& trig);

// Izz about the centre of mass: the model's Izz is about the joint, so the
// parallel-axis term m |c|^2 comes off.
double inertiaAboutCentreOfMass(int segment);

// M = sum_i m_i Jv_i^T Jv_i + Izz_com,i Jw_i^T Jw_i, from jacobians().
JointMatrix massMatrix(const JointTrig& trig);

JointVector multiply(const JointMatrix& m, const JointVector& x);

// Solves m x = b for a symmetric positive definite m by Cholesky
// factorisation. A non-positive pivot makes every entry NaN.
JointVector solve(const JointMatrix& m, const JointVector& b);

// Infinity norm (largest absolute row sum) of a matrix, and of its inverse.
double infinityNorm(const JointMatrix& m);
double inverseInfinityNorm(const JointMatrix& m);

// Generalised gravity forces by virtual work: Q_j = sum_i m_i Jv_i[j] . g_i,
// where g_i is gravity carried into segment i's frame by the transposed joint
// matrices, link by link from the fixed frame.
JointVector gravityForce(const JointTrig& trig);

// 1/2 qdot^T M qdot.
double kineticEnergy(const JointMatrix& m, const JointVector& qdot);
// sum_i m_i g y_i over the centres of mass, from forwardKinematics.
double gravityPotential(const JointTrig& trig);

// The PD controller, restated from the figure's held pose and gains: its
// torque is K_i (target_i - q_i) - 5.1 qdot_i, and its spring part has the
// potential 1/2 sum_i K_i (q_i - target_i)^2.
double controllerPotential(const JointVector& q);
JointVector controllerTorques(const JointVector& q, const JointVector& qdot);

}  // namespace reference
