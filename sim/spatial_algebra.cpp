#include "spatial_algebra.h"

namespace {

// Row r of the packed symmetric inertia times v.
template <int r>
inline double inertiaRowTimes(const SpatialInertia& I, const SpatialVector& v) {
    return I[packedIndex(r, 0)] * v[0] + I[packedIndex(r, 1)] * v[1] + I[packedIndex(r, 2)] * v[2] +
           I[packedIndex(r, 3)] * v[3] + I[packedIndex(r, 4)] * v[4] + I[packedIndex(r, 5)] * v[5];
}

// (x, y) <- R (x, y) for the plane rotation R = ((c, -s), (s, c)).
inline void rotatePair(double& x, double& y, double s, double c) {
    const double x0 = x;
    x = c * x0 - s * y;
    y = s * x0 + c * y;
}

// A symmetric 3x3 block xx, xy, xz, yy, yz, zz.
struct SymmetricBlock {
    double xx, xy, xz, yy, yz, zz;
};

// S <- R S R^T for R the rotation about z: ((c, -s, 0), (s, c, 0), (0, 0, 1)).
inline void rotateAboutZ(SymmetricBlock& S, double s, double c) {
    const double ax = c * S.xx - s * S.xy, ay = c * S.xy - s * S.yy;  // row x of R S
    const double bx = s * S.xx + c * S.xy, by = s * S.xy + c * S.yy;  // row y of R S
    S.xx = ax * c - ay * s;
    S.xy = ax * s + ay * c;
    S.yy = bx * s + by * c;
    rotatePair(S.xz, S.yz, s, c);
}

// S <- R S R^T for R the rotation about x: ((1, 0, 0), (0, c, -s), (0, s, c)).
inline void rotateAboutX(SymmetricBlock& S, double s, double c) {
    const double ay = c * S.yy - s * S.yz, az = c * S.yz - s * S.zz;  // row y of R S
    const double by = s * S.yy + c * S.yz, bz = s * S.yz + c * S.zz;  // row z of R S
    S.yy = ay * c - az * s;
    S.yz = ay * s + az * c;
    S.zz = by * s + bz * c;
    rotatePair(S.xy, S.xz, s, c);
}

// H <- R H R^T for a general 3x3 block and the plane rotation R acting on
// coordinates (u, v): rows first (R H), then columns ((R H) R^T).
template <int u, int v>
inline void rotateGeneral(double H[3][3], double s, double c) {
    rotatePair(H[u][0], H[v][0], s, c);
    rotatePair(H[u][1], H[v][1], s, c);
    rotatePair(H[u][2], H[v][2], s, c);
    rotatePair(H[0][u], H[0][v], s, c);
    rotatePair(H[1][u], H[1][v], s, c);
    rotatePair(H[2][u], H[2][v], s, c);
}

// out = X^T w for a force w: rotate by Rz(theta), move the moment to the
// parent's reference point, rotate by Rx(alpha).
inline void forceToParent(SpatialVector& out, const SpatialVector& f, const JointTransform& X) {
    const double st = X.sinTheta, ct = X.cosTheta, sa = X.sinAlpha, ca = X.cosAlpha;
    // rotate by Rz(theta)
    const double l0 = ct * f[0] - st * f[1], l1 = st * f[0] + ct * f[1], l2 = f[2];
    double n0 = ct * f[3] - st * f[4], n1 = st * f[3] + ct * f[4], n2 = f[5];
    // moment about the parent's reference point: n <- n + p x l, p = (a, 0, -b)
    n0 = n0 + X.b * l1;
    n1 = n1 - X.b * l0 - X.a * l2;
    n2 = n2 + X.a * l1;
    // rotate by Rx(alpha)
    out[0] = l0;
    out[1] = ca * l1 - sa * l2;
    out[2] = sa * l1 + ca * l2;
    out[3] = n0;
    out[4] = ca * n1 - sa * n2;
    out[5] = sa * n1 + ca * n2;
}

}  // namespace

void applyRigidInertia(SpatialVector& out, double m, const RotationalInertia& J, const Vector3& c,
                       const SpatialVector& v) {
    out[0] = m * (v[0] + v[4] * c[2] - v[5] * c[1]);
    out[1] = m * (v[1] + v[5] * c[0] - v[3] * c[2]);
    out[2] = m * (v[2] + v[3] * c[1] - v[4] * c[0]);
    out[3] = m * (c[1] * v[2] - c[2] * v[1]) + J[0] * v[3] + J[1] * v[4] + J[2] * v[5];
    out[4] = m * (c[2] * v[0] - c[0] * v[2]) + J[1] * v[3] + J[3] * v[4] + J[4] * v[5];
    out[5] = m * (c[0] * v[1] - c[1] * v[0]) + J[2] * v[3] + J[4] * v[4] + J[5] * v[5];
}

void composeInertia(SpatialInertia& out, const SpatialInertiaList& list, double m,
                    const RotationalInertia& J, const Vector3& c) {
    // the rigid-body inertia (m 1, -m [c x]; m [c x], J), packed
    out[0] = m; out[1] = 0; out[2] = 0; out[3] = 0; out[4] = m * c[2]; out[5] = -m * c[1];
    out[6] = m; out[7] = 0; out[8] = -m * c[2]; out[9] = 0; out[10] = m * c[0];
    out[11] = m; out[12] = m * c[1]; out[13] = -m * c[0]; out[14] = 0;
    for (int k = 0; k < 6; ++k) out[15 + k] = J[k];
    // plus each child's, in list order
    for (int n = 0; n < list.count; ++n) {
        const SpatialInertia& child = list[n];
        for (int k = 0; k < 21; ++k) out[k] = out[k] + child[k];
    }
}

void addVectorList(SpatialVector& out, const SpatialVector& base, const SpatialVectorList& list) {
    out = base;
    for (int n = 0; n < list.count; ++n)
        for (int k = 0; k < 6; ++k) out[k] = out[k] + list[n][k];
}

void sumVectorList(SpatialVector& out, const SpatialVectorList& list) {
    out = SpatialVector{};
    for (int n = 0; n < list.count; ++n)
        for (int k = 0; k < 6; ++k) out[k] = out[k] + list[n][k];
}

void copyVector(SpatialVector& out, const SpatialVector& source) { out = source; }

void axisComponent(double& out, const SpatialVector& v) { out = v[5]; }

void addAxisMotion(SpatialVector& out, const SpatialVector& v, const double& x) {
    out = v;
    out[5] = out[5] + x;
}

void solveAxisRate(double& out, const double& x, const SpatialVector& z, const SpatialVector& u,
                   const SpatialInertia& I) {
    out = (x - z[5] - inertiaRowTimes<5>(I, u)) / I[20];
}

void axisMomentumRate(double& out, const SpatialVector& F, double t1, double t2,
                      const SpatialInertia& I, const SpatialVector& z, const SpatialVector& v) {
    // H = I v + z; only the components the axis cross product needs
    const double H0 = inertiaRowTimes<0>(I, v) + z[0];
    const double H1 = inertiaRowTimes<1>(I, v) + z[1];
    const double H3 = inertiaRowTimes<3>(I, v) + z[3];
    const double H4 = inertiaRowTimes<4>(I, v) + z[4];
    out = F[5] - (v[0] * H1 - v[1] * H0 + v[3] * H4 - v[4] * H3) + t1 + t2;
}

void forceAtPoint(SpatialVector& out, const Vector3& d, const Vector3& c, double s) {
    const double f0 = s * d[0], f1 = s * d[1], f2 = s * d[2];
    out[0] = f0;
    out[1] = f1;
    out[2] = f2;
    out[3] = c[1] * f2 - c[2] * f1;
    out[4] = c[2] * f0 - c[0] * f2;
    out[5] = c[0] * f1 - c[1] * f0;
}

void transformMotionToChild(SpatialVector& out, const SpatialVector& v, const JointTransform& X) {
    const double st = X.sinTheta, ct = X.cosTheta, sa = X.sinAlpha, ca = X.cosAlpha;
    // rotate by Rx(alpha)^T
    double l0 = v[0], l1 = ca * v[1] + sa * v[2], l2 = ca * v[2] - sa * v[1];
    const double w0 = v[3], w1 = ca * v[4] + sa * v[5], w2 = ca * v[5] - sa * v[4];
    // shift the reference point to p = (a, 0, -b): l <- l + w x p
    l0 = l0 - X.b * w1;
    l1 = l1 + X.a * w2 + X.b * w0;
    l2 = l2 - X.a * w1;
    // rotate by Rz(theta)^T
    out[0] = ct * l0 + st * l1;
    out[1] = ct * l1 - st * l0;
    out[2] = l2;
    out[3] = ct * w0 + st * w1;
    out[4] = ct * w1 - st * w0;
    out[5] = w2;
}

void transformForceToParent(SpatialVector& out, const SpatialVector& f, const JointTransform& X) {
    forceToParent(out, f, X);
}

void rotateToChild(Vector3& out, const Vector3& v, double sinAlpha, double cosAlpha,
                   double sinTheta, double cosTheta) {
    const double t = cosAlpha * v[1] + sinAlpha * v[2];
    out[2] = cosAlpha * v[2] - sinAlpha * v[1];
    out[0] = cosTheta * v[0] + sinTheta * t;
    out[1] = cosTheta * t - sinTheta * v[0];
}

void projectInertiaToParent(SpatialInertia& out, const SpatialInertia& I, const JointTransform& X) {
    // project out the joint axis: A = I - U U^T / D, in 3x3 blocks
    // (M linear-linear, H linear-angular, J angular-angular)
    const double invD = 1.0 / I[20];
    const double u0 = I[5], u1 = I[10], u2 = I[14], u3 = I[17], u4 = I[19], u5 = I[20];
    SymmetricBlock M = {I[0] - u0 * u0 * invD, I[1] - u0 * u1 * invD, I[2] - u0 * u2 * invD,
                        I[6] - u1 * u1 * invD, I[7] - u1 * u2 * invD, I[11] - u2 * u2 * invD};
    double H[3][3] = {{I[3] - u0 * u3 * invD, I[4] - u0 * u4 * invD, I[5] - u0 * u5 * invD},
                      {I[8] - u1 * u3 * invD, I[9] - u1 * u4 * invD, I[10] - u1 * u5 * invD},
                      {I[12] - u2 * u3 * invD, I[13] - u2 * u4 * invD, I[14] - u2 * u5 * invD}};
    SymmetricBlock J = {I[15] - u3 * u3 * invD, I[16] - u3 * u4 * invD, I[17] - u3 * u5 * invD,
                        I[18] - u4 * u4 * invD, I[19] - u4 * u5 * invD, I[20] - u5 * u5 * invD};

    // undo the rotation about z: every block B <- Rz B Rz^T
    const double st = X.sinTheta, ct = X.cosTheta;
    rotateAboutZ(M, st, ct);
    rotateGeneral<0, 1>(H, st, ct);
    rotateAboutZ(J, st, ct);

    // move the reference point to the parent's: with P = [p x] for
    // p = (a, 0, -b), M stays, H <- H - M P, J <- J + P H + (P H)^T - P M P
    const double a = X.a, b = X.b;
    const double Mf[3][3] = {{M.xx, M.xy, M.xz}, {M.xy, M.yy, M.yz}, {M.xz, M.yz, M.zz}};
    double MP[3][3];
    for (int i = 0; i < 3; ++i) {
        MP[i][0] = -b * Mf[i][1];
        MP[i][1] = b * Mf[i][0] + a * Mf[i][2];
        MP[i][2] = -a * Mf[i][1];
    }
    double PH[3][3], PMP[3][3];
    for (int j = 0; j < 3; ++j) {
        PH[0][j] = b * H[1][j];
        PH[1][j] = -b * H[0][j] - a * H[2][j];
        PH[2][j] = a * H[1][j];
        PMP[0][j] = b * MP[1][j];
        PMP[1][j] = -b * MP[0][j] - a * MP[2][j];
        PMP[2][j] = a * MP[1][j];
    }
    J.xx = J.xx + PH[0][0] + PH[0][0] - PMP[0][0];
    J.xy = J.xy + PH[0][1] + PH[1][0] - PMP[0][1];
    J.xz = J.xz + PH[0][2] + PH[2][0] - PMP[0][2];
    J.yy = J.yy + PH[1][1] + PH[1][1] - PMP[1][1];
    J.yz = J.yz + PH[1][2] + PH[2][1] - PMP[1][2];
    J.zz = J.zz + PH[2][2] + PH[2][2] - PMP[2][2];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) H[i][j] = H[i][j] - MP[i][j];

    // undo the twist about x
    const double sa = X.sinAlpha, ca = X.cosAlpha;
    rotateAboutX(M, sa, ca);
    rotateGeneral<1, 2>(H, sa, ca);
    rotateAboutX(J, sa, ca);

    out = {M.xx, M.xy, M.xz, H[0][0], H[0][1], H[0][2],
           M.yy, M.yz, H[1][0], H[1][1], H[1][2],
           M.zz, H[2][0], H[2][1], H[2][2],
           J.xx, J.xy, J.xz, J.yy, J.yz, J.zz};
}

void projectBiasToParent(SpatialVector& out, const SpatialVector& z, const SpatialInertia& I,
                         double x, const JointTransform& X) {
    const double k = (x - z[5]) / I[20];
    const SpatialVector w = {z[0] + I[5] * k,  z[1] + I[10] * k, z[2] + I[14] * k,
                             z[3] + I[17] * k, z[4] + I[19] * k, x};
    forceToParent(out, w, X);
}
