// The closed-form spatial operations against dense 6x6 matrices built
// straight from their definitions: X = Rz(theta)^T . shift(p) . Rx(alpha)^T
// for motion vectors, X^T for forces, inertias as full symmetric matrices.
#include "spatial_algebra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Matrix6 = std::array<std::array<double, 6>, 6>;
using Matrix3 = std::array<std::array<double, 3>, 3>;

Matrix6 multiply(const Matrix6& A, const Matrix6& B) {
    Matrix6 C{};
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            for (int k = 0; k < 6; ++k) C[i][j] += A[i][k] * B[k][j];
    return C;
}

Matrix6 transpose(const Matrix6& A) {
    Matrix6 T{};
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) T[i][j] = A[j][i];
    return T;
}

SpatialVector times(const Matrix6& A, const SpatialVector& v) {
    SpatialVector out{};
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) out[i] += A[i][j] * v[j];
    return out;
}

Matrix6 unpack(const SpatialInertia& I) {
    Matrix6 A{};
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) A[i][j] = I[packedIndex(i, j)];
    return A;
}

// The same 3x3 block on the linear and the angular triple.
Matrix6 blockDiagonal(const Matrix3& R) {
    Matrix6 A{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) A[i][j] = A[i + 3][j + 3] = R[i][j];
    return A;
}

Matrix3 cross(const Vector3& p) { return {{{0, -p[2], p[1]}, {p[2], 0, -p[0]}, {-p[1], p[0], 0}}}; }

// The motion transform from its definition.
Matrix6 denseX(const JointTransform& X) {
    const Matrix3 RxT = {{{1, 0, 0}, {0, X.cosAlpha, X.sinAlpha}, {0, -X.sinAlpha, X.cosAlpha}}};
    const Matrix3 RzT = {{{X.cosTheta, X.sinTheta, 0}, {-X.sinTheta, X.cosTheta, 0}, {0, 0, 1}}};
    // moving the reference point to p: l <- l + w x p = l - [p x] w
    const Matrix3 P = cross({X.a, 0, -X.b});
    Matrix6 shift{};
    for (int i = 0; i < 6; ++i) shift[i][i] = 1;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) shift[i][j + 3] = -P[i][j];
    return multiply(blockDiagonal(RzT), multiply(shift, blockDiagonal(RxT)));
}

// The rigid-body inertia (m 1, -m [c x]; m [c x], J) from its definition.
Matrix6 denseRigid(double m, const RotationalInertia& J, const Vector3& c) {
    const Matrix3 C = cross(c);
    const Matrix3 Jm = {{{J[0], J[1], J[2]}, {J[1], J[3], J[4]}, {J[2], J[4], J[5]}}};
    Matrix6 A{};
    for (int i = 0; i < 3; ++i) {
        A[i][i] = m;
        for (int j = 0; j < 3; ++j) {
            A[i][j + 3] = -m * C[i][j];
            A[i + 3][j] = m * C[i][j];
            A[i + 3][j + 3] = Jm[i][j];
        }
    }
    return A;
}

class SpatialAlgebraTest : public ::testing::Test {
protected:
    std::mt19937_64 rng{20261208};
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    SpatialVector randomVector() {
        SpatialVector v;
        for (double& x : v) x = uniform(-2, 2);
        return v;
    }
    JointTransform randomTransform() {
        const double alpha = uniform(-3, 3), theta = uniform(-3, 3);
        return {uniform(-2, 2), uniform(-2, 2), std::sin(alpha), std::cos(alpha), std::sin(theta), std::cos(theta)};
    }
    // A general (non-planar) symmetric positive definite inertia: the rigid
    // inertia of a random body plus a random positive semi-definite part.
    SpatialInertia randomInertia() {
        const Matrix6 rigid = denseRigid(uniform(0.5, 2), {0.5, 0.01, -0.02, 0.4, 0.03, 0.6},
                                         {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
        const SpatialVector g = randomVector();
        SpatialInertia I;
        for (int i = 0; i < 6; ++i)
            for (int j = i; j < 6; ++j) I[packedIndex(i, j)] = rigid[i][j] + g[i] * g[j];
        return I;
    }
};

void expectNear(const SpatialVector& actual, const SpatialVector& expected, double tolerance) {
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

// Closed forms and dense products differ only in rounding: a few ulps of
// values of order 10.
constexpr double tight = 1e-12;

TEST_F(SpatialAlgebraTest, TransformsMatchTheDenseDefinition) {
    for (int trial = 0; trial < 50; ++trial) {
        const JointTransform X = randomTransform();
        const Matrix6 D = denseX(X);
        const SpatialVector v = randomVector(), f = randomVector();
        SpatialVector out;
        transformMotionToChild(out, v, X);
        expectNear(out, times(D, v), tight);
        transformForceToParent(out, f, X);
        expectNear(out, times(transpose(D), f), tight);

        // the force transform is the transpose: (X v) . f = v . (X^T f)
        SpatialVector Xv, XTf;
        transformMotionToChild(Xv, v, X);
        transformForceToParent(XTf, f, X);
        double lhs = 0, rhs = 0;
        for (int i = 0; i < 6; ++i) lhs += Xv[i] * f[i], rhs += v[i] * XTf[i];
        EXPECT_NEAR(lhs, rhs, tight);

        // the rotation alone, on a 3-vector
        Vector3 r;
        rotateToChild(r, {v[0], v[1], v[2]}, X.sinAlpha, X.cosAlpha, X.sinTheta, X.cosTheta);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(r[i], D[i][0] * v[0] + D[i][1] * v[1] + D[i][2] * v[2], tight);
    }
}

TEST_F(SpatialAlgebraTest, AxisIsFixedByAPureRotationAboutIt) {
    const SpatialVector e5 = {0, 0, 0, 0, 0, 1};
    for (double theta : {0.0, 0.3, -2.0, 3.1}) {
        const JointTransform X = {0, 0, 0, 1, std::sin(theta), std::cos(theta)};
        SpatialVector out;
        transformMotionToChild(out, e5, X);
        EXPECT_EQ(out, e5);
        transformForceToParent(out, e5, X);
        EXPECT_EQ(out, e5);
    }
}

TEST_F(SpatialAlgebraTest, ProjectionsMatchTheDenseDefinition) {
    for (int trial = 0; trial < 50; ++trial) {
        const JointTransform X = randomTransform();
        const SpatialInertia I = randomInertia();
        const Matrix6 A = unpack(I), D = denseX(X);
        // X^T (I - U U^T / d) X
        Matrix6 projected = A;
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 6; ++j) projected[i][j] -= A[i][5] * A[j][5] / A[5][5];
        const Matrix6 expected = multiply(transpose(D), multiply(projected, D));
        SpatialInertia out;
        projectInertiaToParent(out, I, X);
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 6; ++j) EXPECT_NEAR(out[packedIndex(i, j)], expected[i][j], 1e-11) << i << "," << j;

        // bias: X^T w with w = z + U (x - z5) / d, whose axis component is x
        const SpatialVector z = randomVector();
        const double x = uniform(-3, 3);
        SpatialVector w;
        for (int i = 0; i < 6; ++i) w[i] = z[i] + A[i][5] * (x - z[5]) / A[5][5];
        EXPECT_NEAR(w[5], x, tight);
        SpatialVector bias;
        projectBiasToParent(bias, z, I, x, X);
        expectNear(bias, times(transpose(D), w), 1e-11);
    }
}

TEST_F(SpatialAlgebraTest, ProjectionWithoutTransformRemovesTheAxisRowAndColumn) {
    const SpatialInertia I = randomInertia();
    SpatialInertia out;
    projectInertiaToParent(out, I, {0, 0, 0, 1, 0, 1});
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(out[packedIndex(5, j)], 0.0, 1e-15) << j;
    for (int i = 0; i < 5; ++i)
        for (int j = i; j < 5; ++j)
            EXPECT_NEAR(out[packedIndex(i, j)], I[packedIndex(i, j)] - I[packedIndex(i, 5)] * I[packedIndex(j, 5)] / I[20], tight);
}

TEST_F(SpatialAlgebraTest, RigidInertiaMatchesItsDefinition) {
    const RotationalInertia J = {0.5, 0.01, -0.02, 0.4, 0.03, 0.6};
    const Vector3 c = {0.3, -0.2, 0.7};
    const double m = 1.7;
    const Matrix6 expected = denseRigid(m, J, c);
    SpatialInertia I;
    composeInertia(I, SpatialInertiaList{}, m, J, c);
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) EXPECT_EQ(I[packedIndex(i, j)], expected[i][j]) << i << "," << j;
    for (int trial = 0; trial < 20; ++trial) {
        const SpatialVector v = randomVector();
        SpatialVector out;
        applyRigidInertia(out, m, J, c, v);
        expectNear(out, times(expected, v), tight);
    }
}

TEST_F(SpatialAlgebraTest, ListSumsAddInListOrder) {
    // the records of segments 0..3; the list names 2 then 0
    const SpatialInertia a = randomInertia(), b = randomInertia();
    const SpatialInertia inertiaRecords[3] = {b, randomInertia(), a};
    const int order[2] = {2, 0};
    const SpatialInertiaList inertias{inertiaRecords, order, 2};
    const RotationalInertia J = {0.01, 0, 0, 0.33, 0, 0.33};
    const Vector3 c = {0.5, 0, 0};
    SpatialInertia own, sum;
    composeInertia(own, SpatialInertiaList{}, 1.0, J, c);
    composeInertia(sum, inertias, 1.0, J, c);
    for (int k = 0; k < 21; ++k) EXPECT_EQ(sum[k], (own[k] + a[k]) + b[k]) << k;

    const SpatialVector base = randomVector(), v = randomVector();
    SpatialVector records[3] = {v, randomVector(), randomVector()};
    SpatialVector& u = records[2];
    SpatialVectorList vectors{records, order, 0};
    SpatialVector out;
    sumVectorList(out, vectors);
    EXPECT_EQ(out, SpatialVector{});
    addVectorList(out, base, vectors);
    EXPECT_EQ(out, base);
    vectors.count = 2;
    addVectorList(out, base, vectors);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k], (base[k] + u[k]) + v[k]);
    sumVectorList(out, vectors);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k], (0.0 + u[k]) + v[k]);

    // the list reads the records at the moment of the sum
    u[0] += 1.0;
    sumVectorList(out, vectors);
    EXPECT_EQ(out[0], u[0] + v[0]);
}

TEST_F(SpatialAlgebraTest, AxisRateAndMomentumRate) {
    for (int trial = 0; trial < 30; ++trial) {
        const SpatialInertia I = randomInertia();
        const Matrix6 A = unpack(I);
        const SpatialVector z = randomVector(), u = randomVector();
        const double x = uniform(-3, 3);
        // the rate r that makes component 5 of I (u + r e5) + z equal x
        double r;
        solveAxisRate(r, x, z, u, I);
        SpatialVector moved = u;
        moved[5] += r;
        EXPECT_NEAR(times(A, moved)[5] + z[5], x, 1e-11);

        // F5 - (v x* H)5 + t1 + t2 with H = I v + z, the cross product in full
        const SpatialVector F = randomVector(), v = randomVector();
        SpatialVector H = times(A, v);
        for (int i = 0; i < 6; ++i) H[i] += z[i];
        const Vector3 vl = {v[0], v[1], v[2]}, vw = {v[3], v[4], v[5]};
        const Vector3 hl = {H[0], H[1], H[2]}, hw = {H[3], H[4], H[5]};
        // angular part of v x* H: vw x hw + vl x hl; its z component
        const double crossZ = (vw[0] * hw[1] - vw[1] * hw[0]) + (vl[0] * hl[1] - vl[1] * hl[0]);
        double rate;
        axisMomentumRate(rate, F, 0.25, -1.5, I, z, v);
        EXPECT_NEAR(rate, F[5] - crossZ + 0.25 - 1.5, 1e-11);
    }
    double still;
    axisMomentumRate(still, {1, 2, 3, 4, 5, 6}, 0.5, 0.25, randomInertia(), randomVector(), SpatialVector{});
    EXPECT_EQ(still, 6.75);
    double r;
    const SpatialInertia I = randomInertia();
    solveAxisRate(r, 2.0, SpatialVector{}, SpatialVector{}, I);
    EXPECT_DOUBLE_EQ(r, 2.0 / I[20]);
}

TEST_F(SpatialAlgebraTest, ForceAtPointCarriesItsMoment) {
    SpatialVector w;
    forceAtPoint(w, {0, -9.80665, 0}, {0.5, 0, 0}, 2.0);
    EXPECT_EQ(w, (SpatialVector{0, -19.6133, 0, 0, 0, -9.80665}));
    forceAtPoint(w, {1, 2, 3}, {-1, 0.5, 2}, 0.5);
    // c x f with f = (0.5, 1, 1.5)
    EXPECT_EQ(w, (SpatialVector{0.5, 1, 1.5, 0.5 * 1.5 - 2 * 1, 2 * 0.5 - (-1) * 1.5, -1 * 1 - 0.5 * 0.5}));
    double axis;
    axisComponent(axis, w);
    EXPECT_EQ(axis, w[5]);
    SpatialVector moved, copy;
    const double rate = 0.75;
    addAxisMotion(moved, w, rate);
    copyVector(copy, w);
    EXPECT_EQ(copy, w);
    EXPECT_EQ(moved[5], w[5] + 0.75);
}

TEST_F(SpatialAlgebraTest, PlanarInputsStayPlanar) {
    // twist 0 and b = 0, planar centre of mass and inertia, and vectors with
    // components 2, 3, 4 zero: every result keeps those components zero
    const auto planar = [&] {
        SpatialVector v = randomVector();
        v[2] = v[3] = v[4] = 0;
        return v;
    };
    const double theta = 0.7;
    const JointTransform X = {1.0, 0, 0, 1, std::sin(theta), std::cos(theta)};
    const RotationalInertia J = {0.01, 0, 0, 0.33, 0, 0.33};
    const Vector3 c = {0.5, 0.1, 0};
    SpatialInertia I, projected;
    composeInertia(I, SpatialInertiaList{}, 1.0, J, c);
    projectInertiaToParent(projected, I, X);
    for (int i : {0, 1, 5})
        for (int j : {2, 3, 4}) EXPECT_EQ(projected[packedIndex(i, j)], 0.0) << i << "," << j;
    SpatialVector out;
    for (int trial = 0; trial < 10; ++trial) {
        const SpatialVector v = planar();
        for (int op = 0; op < 4; ++op) {
            switch (op) {
                case 0: transformMotionToChild(out, v, X); break;
                case 1: transformForceToParent(out, v, X); break;
                case 2: applyRigidInertia(out, 1.0, J, c, v); break;
                case 3: projectBiasToParent(out, v, I, 0.3, X); break;
            }
            EXPECT_EQ(out[2], 0.0) << op;
            EXPECT_EQ(out[3], 0.0) << op;
            EXPECT_EQ(out[4], 0.0) << op;
        }
    }
}

}  // namespace
