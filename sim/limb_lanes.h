// Four doubles that travel together, one per limb, in the order of the
// torso's children: right arm, left arm, right leg, left leg. The planar
// passes (planar_dynamics.cpp) run the four limbs side by side on them.
//
// Every operation acts on each lane alone and rounds exactly as the same
// scalar operation on doubles, so code written on LimbLanes gives the bits
// of four scalar copies, whatever the lane width. The width is chosen here,
// at compile time, and nothing outside this file sees it:
//   - AVX (x86-64-v3 and newer): one 4-wide vector;
//   - SSE2, NEON, WebAssembly SIMD: two 2-wide vectors, arms and legs (one
//     4-wide vector is split there by the compiler, and spills);
//   - any other target: four plain doubles.
// GCC's and clang's vector extensions, no intrinsics: the same source builds
// for x86, aarch64 and WebAssembly. The core is compiled with
// -ffp-contract=off, which holds for vector arithmetic too: a multiply and
// an add stay two roundings.
#pragma once

#include "sine_table.h"

#if defined(__GNUC__) && defined(__AVX__)
#define MARIONETTE_LIMB_LANES 4
#elif defined(__GNUC__) && (defined(__SSE2__) || defined(__ARM_NEON) || defined(__wasm_simd128__))
#define MARIONETTE_LIMB_LANES 2
#else
#define MARIONETTE_LIMB_LANES 1
#endif

#if MARIONETTE_LIMB_LANES == 4

typedef double LaneVector4 __attribute__((vector_size(32)));

struct LimbLanes {
    LaneVector4 v;  // right arm, left arm, right leg, left leg
};

inline LimbLanes limbLanes(double rightArm, double leftArm, double rightLeg, double leftLeg) {
    return {LaneVector4{rightArm, leftArm, rightLeg, leftLeg}};
}
inline LimbLanes broadcast(double x) { return {LaneVector4{x, x, x, x}}; }
inline double lane(const LimbLanes& a, int k) { return a.v[k]; }
inline LimbLanes operator+(LimbLanes a, LimbLanes b) { return {a.v + b.v}; }
inline LimbLanes operator-(LimbLanes a, LimbLanes b) { return {a.v - b.v}; }
inline LimbLanes operator*(LimbLanes a, LimbLanes b) { return {a.v * b.v}; }
inline LimbLanes operator/(LimbLanes a, LimbLanes b) { return {a.v / b.v}; }
inline LimbLanes operator-(LimbLanes a) { return {-a.v}; }

typedef int LaneInts4 __attribute__((vector_size(16)));
typedef long long LaneMasks4 __attribute__((vector_size(32)));
// fastSin of every lane.
inline LimbLanes fastSin(LimbLanes x) {
    LimbLanes out;
    fastSinElements<LaneVector4, LaneInts4, LaneMasks4>(out.v, x.v);
    return out;
}

#elif MARIONETTE_LIMB_LANES == 2

typedef double LaneVector2 __attribute__((vector_size(16)));

struct LimbLanes {
    LaneVector2 arms;  // right arm, left arm
    LaneVector2 legs;  // right leg, left leg
};

inline LimbLanes limbLanes(double rightArm, double leftArm, double rightLeg, double leftLeg) {
    return {LaneVector2{rightArm, leftArm}, LaneVector2{rightLeg, leftLeg}};
}
inline LimbLanes broadcast(double x) { return {LaneVector2{x, x}, LaneVector2{x, x}}; }
inline double lane(const LimbLanes& a, int k) { return k < 2 ? a.arms[k] : a.legs[k - 2]; }
inline LimbLanes operator+(LimbLanes a, LimbLanes b) { return {a.arms + b.arms, a.legs + b.legs}; }
inline LimbLanes operator-(LimbLanes a, LimbLanes b) { return {a.arms - b.arms, a.legs - b.legs}; }
inline LimbLanes operator*(LimbLanes a, LimbLanes b) { return {a.arms * b.arms, a.legs * b.legs}; }
inline LimbLanes operator/(LimbLanes a, LimbLanes b) { return {a.arms / b.arms, a.legs / b.legs}; }
inline LimbLanes operator-(LimbLanes a) { return {-a.arms, -a.legs}; }

typedef int LaneInts2 __attribute__((vector_size(8)));
typedef long long LaneMasks2 __attribute__((vector_size(16)));
// fastSin of every lane. WebAssembly has no gather, and Emscripten 3.1
// breaks the vector truncations up lane by lane anyway, so there the lookups
// go lane by lane: the runner runs some 15% faster so under Node.
inline LimbLanes fastSin(LimbLanes x) {
#if defined(__wasm_simd128__)
    return {LaneVector2{fastSin(x.arms[0]), fastSin(x.arms[1])}, LaneVector2{fastSin(x.legs[0]), fastSin(x.legs[1])}};
#else
    LimbLanes out;
    fastSinElements<LaneVector2, LaneInts2, LaneMasks2>(out.arms, x.arms);
    fastSinElements<LaneVector2, LaneInts2, LaneMasks2>(out.legs, x.legs);
    return out;
#endif
}

#else

struct LimbLanes {
    double v[4];  // right arm, left arm, right leg, left leg
};

inline LimbLanes limbLanes(double rightArm, double leftArm, double rightLeg, double leftLeg) {
    return {{rightArm, leftArm, rightLeg, leftLeg}};
}
inline LimbLanes broadcast(double x) { return {{x, x, x, x}}; }
inline double lane(const LimbLanes& a, int k) { return a.v[k]; }
inline LimbLanes operator+(LimbLanes a, LimbLanes b) {
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
}
inline LimbLanes operator-(LimbLanes a, LimbLanes b) {
    return {{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}};
}
inline LimbLanes operator*(LimbLanes a, LimbLanes b) {
    return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
}
inline LimbLanes operator/(LimbLanes a, LimbLanes b) {
    return {{a.v[0] / b.v[0], a.v[1] / b.v[1], a.v[2] / b.v[2], a.v[3] / b.v[3]}};
}
inline LimbLanes operator-(LimbLanes a) { return {{-a.v[0], -a.v[1], -a.v[2], -a.v[3]}}; }

// fastSin of every lane.
inline LimbLanes fastSin(LimbLanes x) {
    return {{fastSin(x.v[0]), fastSin(x.v[1]), fastSin(x.v[2]), fastSin(x.v[3])}};
}

#endif

// fastCos of every lane: fastSin of pi/2 - x, the difference formed first.
inline LimbLanes fastCos(LimbLanes x) { return fastSin(broadcast(1.5707963267948966) - x); }
