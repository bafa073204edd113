// Six-component spatial arithmetic: motion and force vectors, packed
// symmetric inertias and the joint transform between a parent's frame and
// its child's.
//
// Vectors put the linear part first: (x, y, z, angular x, y, z); component 5
// is every joint's axis. Every operation writes its result into the record
// named by its first argument; a result never aliases an input. None keeps
// state or allocates.
#pragma once

#include <array>

#include "floating_point.h"  // refuses x87 arithmetic

using SpatialVector = std::array<double, 6>;
// Upper triangle of a symmetric 6x6 matrix, row by row: I(i, j), i <= j, is
// element 6i - i(i-1)/2 + (j - i).
using SpatialInertia = std::array<double, 21>;
// Upper triangle of a symmetric 3x3 matrix: xx, xy, xz, yy, yz, zz.
using RotationalInertia = std::array<double, 6>;
using Vector3 = std::array<double, 3>;

// Parent-to-child transform X of a revolute joint about the child's z axis:
// twist alpha about the parent's x axis, origin moved by a along the new x
// and by -b along the new z, then the joint angle theta about the new z.
struct JointTransform {
    double a, b, sinAlpha, cosAlpha, sinTheta, cosTheta;
};

// The records of a segment's children, in order: records[index[0]],
// records[index[1]], ... Empty by default.
template <typename T>
struct ChildRecords {
    const T* records = nullptr;
    const int* index = nullptr;
    int count = 0;
    const T& operator[](int k) const { return records[index[k]]; }
};

using SpatialVectorList = ChildRecords<SpatialVector>;
using SpatialInertiaList = ChildRecords<SpatialInertia>;

// out = rigid-body inertia of (m, c, J) times motion v:
// linear m (v_lin + v_ang x c), angular m (c x v_lin) + J v_ang.
void applyRigidInertia(SpatialVector& out, double m, const RotationalInertia& J,
                       const Vector3& c, const SpatialVector& v);

// out = rigid-body inertia of (m, c, J) plus every listed inertia, element
// by element, in list order.
void composeInertia(SpatialInertia& out, const SpatialInertiaList& list, double m,
                    const RotationalInertia& J, const Vector3& c);

// out = base + every listed vector, in list order.
void addVectorList(SpatialVector& out, const SpatialVector& base, const SpatialVectorList& list);

// out = sum of the listed vectors, starting from zero.
void sumVectorList(SpatialVector& out, const SpatialVectorList& list);

// out = source.
void copyVector(SpatialVector& out, const SpatialVector& source);

// out = v[5].
void axisComponent(double& out, const SpatialVector& v);

// out = v + x e5.
void addAxisMotion(SpatialVector& out, const SpatialVector& v, const double& x);

// out = (x - z[5] - (I u)[5]) / I(5,5): the rate r along the joint axis for
// which component 5 of I (u + r e5) + z equals x.
void solveAxisRate(double& out, const double& x, const SpatialVector& z,
                   const SpatialVector& u, const SpatialInertia& I);

// out = F[5] - (v x* H)[5] + t1 + t2 with H = I v + z: the joint-axis
// momentum rate in the moving frame.
void axisMomentumRate(double& out, const SpatialVector& F, double t1, double t2,
                      const SpatialInertia& I, const SpatialVector& z, const SpatialVector& v);

// out = the spatial force s d acting at point c: (f, c x f) with f = s d.
void forceAtPoint(SpatialVector& out, const Vector3& d, const Vector3& c, double s);

// out = X v: a motion vector from the parent's frame to the child's.
void transformMotionToChild(SpatialVector& out, const SpatialVector& v, const JointTransform& X);

// out = X^T f: a force vector from the child's frame to the parent's.
void transformForceToParent(SpatialVector& out, const SpatialVector& f, const JointTransform& X);

// out = Rz(theta)^T Rx(alpha)^T v: the rotation part of X on a 3-vector.
void rotateToChild(Vector3& out, const Vector3& v, double sinAlpha, double cosAlpha,
                   double sinTheta, double cosTheta);

// out = X^T (I - U U^T / D) X with U = I e5, D = I(5,5): an articulated
// inertia with the joint axis projected out, in the parent's frame.
void projectInertiaToParent(SpatialInertia& out, const SpatialInertia& I, const JointTransform& X);

// out = X^T w with w[j] = z[j] + U[j] (x - z[5]) / D for j < 5 and w[5] = x.
void projectBiasToParent(SpatialVector& out, const SpatialVector& z, const SpatialInertia& I,
                         double x, const JointTransform& X);

// Position of I(i, j) in a SpatialInertia, for any i, j in 0..5.
constexpr int packedIndex(int i, int j) {
    if (i > j) { const int t = i; i = j; j = t; }
    return 6 * i - i * (i - 1) / 2 + (j - i);
}
