// The spatial operations of the general passes (spatial_algebra.h) in the
// plane: only the terms that can be non-zero for a planar figure, each in
// the general operation's own order, on doubles or on lanes of doubles (T
// with +, -, *, / and unary - element by element). Shared by the planar
// passes of the window program's figure (planar_dynamics.cpp) and of any
// tree (planar_tree_dynamics.cpp); why they give the general passes' bits
// is told at the top of planar_dynamics.cpp.
#pragma once

// The components 0, 1 and 5 of a spatial vector: linear x, y and angular z.
template <typename T>
struct PlaneVector {
    T x, y, w;
};

// The in-plane elements of a packed spatial inertia: 0 (0,0), 1 (0,1),
// 5 (0,5), 6 (1,1), 10 (1,5) and 20 (5,5).
template <typename T>
struct PlaneInertia {
    T xx, xy, xw, yy, yw, ww;
};

// x in every element of a T.
template <typename T>
T splat(double x);
template <>
inline double splat<double>(double x) {
    return x;
}

#if defined(__GNUC__)
// Two segments side by side, each lane rounding as the scalar operation.
typedef double Pair __attribute__((vector_size(16)));
template <>
inline Pair splat<Pair>(double x) {
    return Pair{x, x};
}
#endif

// X^T (A - U U^T / D) X of projectInertiaToParent, in the plane: the joint
// axis projected out, the rotation by the joint angle undone, the
// reference point moved to the parent's joint (a along its x axis).
template <typename T>
inline PlaneInertia<T> projectInertia(const PlaneInertia<T>& A, T a, T s, T c) {
    // project out the joint axis: U = (xw, yw, ww), D = ww
    const T invD = splat<T>(1.0) / A.ww;
    const T mxx = A.xx - A.xw * A.xw * invD, mxy = A.xy - A.xw * A.yw * invD, myy = A.yy - A.yw * A.yw * invD;
    const T hx = A.xw - A.xw * A.ww * invD, hy = A.yw - A.yw * A.ww * invD;
    const T jww = A.ww - A.ww * A.ww * invD;
    // undo the rotation about z: the linear block both sides, the coupling column once
    const T ax = c * mxx - s * mxy, ay = c * mxy - s * myy;
    const T bx = s * mxx + c * mxy, by = s * mxy + c * myy;
    PlaneInertia<T> out;
    out.xx = ax * c - ay * s;
    out.xy = ax * s + ay * c;
    out.yy = bx * s + by * c;
    const T rx = c * hx - s * hy, ry = s * hx + c * hy;
    // move the reference point by (a, 0, 0): with P = [p x], M P's column z
    // is (-a Mxy, -a Myy), and the angular element gains 2 a Hy + a^2 Myy
    const T mpx = -a * out.xy, mpy = -a * out.yy;
    const T ph = a * ry;
    out.ww = ((jww + ph) + ph) - a * mpy;
    out.xw = rx - mpx;
    out.yw = ry - mpy;
    return out;
}

// X^T f of transformForceToParent, in the plane: rotate by the joint angle,
// then the moment about the parent's joint gains a times the force's y.
template <typename T>
inline PlaneVector<T> forceToParent(const PlaneVector<T>& f, T a, T s, T c) {
    const T x = c * f.x - s * f.y, y = s * f.x + c * f.y;
    return {x, y, f.w + a * y};
}

// X v of transformMotionToChild, in the plane: the parent's velocity at the
// child's joint, v + w x (a, 0, 0), turned into the child's frame.
template <typename T>
inline PlaneVector<T> motionToChild(const PlaneVector<T>& v, T a, T s, T c) {
    const T y = v.y + a * v.w;
    return {c * v.x + s * y, c * y - s * v.x, v.w};
}

// projectBiasToParent in the plane, the bias momentum z of a segment of
// articulated inertia A and joint momentum p in its parent's frame: w = z +
// U (p - z_w) / D, whose w component is p itself, then X^T w.
template <typename T>
inline PlaneVector<T> biasToParent(const PlaneVector<T>& z, const PlaneInertia<T>& A, T p, T a, T s, T c) {
    const T k = (p - z.w) / A.ww;
    return forceToParent<T>({z.x + A.xw * k, z.y + A.yw * k, p}, a, s, c);
}
