// The planar passes of any planar tree: the general passes of dynamics.cpp
// with only the terms that can be non-zero, one segment at a time (a wide
// tree's inward pass two at a time, inwardInPairs). Why this
// gives the general passes' bits is told at the top of planar_dynamics.cpp
// (the window program's figure, whose limbs run as lanes): the same
// reasoning, and the same in-plane forms of the spatial operations, hold
// for any tree whose segments are planar. Every operation left is the
// general passes' own, in their order; in particular every sum over a
// segment's children takes them by increasing index, its own part first
// (composeInertia, addVectorList) or starting from zero (sumVectorList).
//
// How the sums over children are kept in that order without a slot per
// child: the inward pass visits the tree depth first, so a segment's
// children come in increasing index and its last child immediately before
// it. Each child adds its bias momentum and weight into its parent's record
// (which starts as zero and as the parent's own weight) as it is visited,
// and each child but the last its inertia (the parent's record starts as
// its own inertia); the last one's inertia stays in registers and is added
// last, when the parent comes next. The inertia about z, through its
// division, is the longest chain of dependent operations from one segment
// to the next; on a chain it never goes through memory.
#include "dynamics.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "joint_controller.h"
#include "planar_operations.h"
#include "planar_tree.h"
#include "sine_table.h"

#if defined(__GNUC__)
// Two segments side by side, each lane rounding as the scalar operation.
typedef double Pair __attribute__((vector_size(16)));
template <>
inline Pair splat<Pair>(double x) {
    return Pair{x, x};
}
#endif

namespace {

using Inertia = PlaneInertia<double>;
using Vector = PlaneVector<double>;

inline Inertia operator+(const Inertia& l, const Inertia& r) {
    return {l.xx + r.xx, l.xy + r.xy, l.xw + r.xw, l.yy + r.yy, l.yw + r.yw, l.ww + r.ww};
}

// The segment's own rigid-body inertia, as composeInertia writes it.
inline Inertia ownInertia(const PlanarTreeSegment& S) { return {S.mass, 0.0, S.ownXw, S.mass, S.ownYw, S.ownWw}; }

// fastSin(x) and fastCos(x). On x86-64 both at once, branch-free, as the
// two elements of one vector (fastSinElementsInRange): a joint angle's sign
// flips as a figure swings, and the scalar lookup's test of it is a branch
// the processor cannot foresee. Below 6.7e9 in size, x / 2pi and (pi/2 - x)
// / 2pi are both within 1.0664e9 < 2^30, in fastSin's range; beyond it, and
// for NaN, the scalar lookups.
inline void sineAndCosine(double x, double& s, double& c) {
#if defined(__GNUC__) && defined(__SSE2__)
    typedef int PairInts __attribute__((vector_size(8)));
    typedef long long PairMasks __attribute__((vector_size(16)));
    if (!(x < 6.7e9 && x > -6.7e9)) {
        s = fastSin(x), c = fastCos(x);
        return;
    }
    const Pair arguments = {x, 1.5707963267948966 - x};
    Pair out;
    fastSinElementsInRange<Pair, PairInts, PairMasks>(out, arguments, arguments * 0.15915494309189535);
    s = out[0], c = out[1];
#else
    s = fastSin(x), c = fastCos(x);
#endif
}

// projectBiasToParent in the plane, the bias momentum z of a segment of
// articulated inertia A and joint momentum p in its parent's frame: w = z +
// U (p - z_w) / D, whose w component is p itself, then X^T w.
template <typename T>
inline PlaneVector<T> biasToParent(const PlaneVector<T>& z, const PlaneInertia<T>& A, T p, T a, T s, T c) {
    const T k = (p - z.w) / A.ww;
    return forceToParent<T>({z.x + A.xw * k, z.y + A.yw * k, p}, a, s, c);
}

// What a segment hands its parent, in the parent's frame: its articulated
// inertia and bias momentum with its joint axis projected out, and its
// subtree's weight; on doubles or on lanes.
template <typename T>
struct HandOver {
    PlaneInertia<T> inertia;
    PlaneVector<T> bias, weight;
};
template <typename T>
inline HandOver<T> handOver(const PlaneInertia<T>& A, const PlaneVector<T>& z, const PlaneVector<T>& F, T p, T a,
                            T s, T c) {
    return {projectInertia(A, a, s, c), biasToParent(z, A, p, a, s, c), forceToParent(F, a, s, c)};
}

inline Inertia inertiaOf(const PlanarSegmentWork& w) { return {w.xx, w.xy, w.xw, w.yy, w.yw, w.ww}; }
inline void setInertia(PlanarSegmentWork& w, const Inertia& A) {
    w.xx = A.xx, w.xy = A.xy, w.xw = A.xw, w.yy = A.yy, w.yw = A.yw, w.ww = A.ww;
}

// The parent's record gains a child's hand-over.
inline void addHandOver(PlanarSegmentWork& P, const Inertia& A, const Vector& b, const Vector& f) {
    P.xx = P.xx + A.xx, P.xy = P.xy + A.xy, P.xw = P.xw + A.xw;
    P.yy = P.yy + A.yy, P.yw = P.yw + A.yw, P.ww = P.ww + A.ww;
    P.biasX = P.biasX + b.x, P.biasY = P.biasY + b.y, P.biasW = P.biasW + b.w;
    P.weightX = P.weightX + f.x, P.weightY = P.weightY + f.y, P.weightW = P.weightW + f.w;
}

#if defined(__GNUC__)
static_assert(offsetof(PlanarSegmentWork, xx) % 16 == 0 &&
                  offsetof(PlanarSegmentWork, weightW) == offsetof(PlanarSegmentWork, xx) + 11 * sizeof(double),
              "the sums that children add into lie side by side from a 16-byte boundary");

// Two fields side by side in a record, from the sum at `offset` bytes past
// xx on, as the two lanes of a Pair.
inline Pair sumsAt(const PlanarSegmentWork& w, std::size_t offset) {
    Pair v;
    std::memcpy(&v, reinterpret_cast<const char*>(&w) + offsetof(PlanarSegmentWork, xx) + offset, sizeof v);
    return v;
}
inline void setSumsAt(PlanarSegmentWork& w, std::size_t offset, Pair v) {
    std::memcpy(reinterpret_cast<char*>(&w) + offsetof(PlanarSegmentWork, xx) + offset, &v, sizeof v);
}

// addHandOver for both lanes of a pair, lane 0 into P and then lane 1 into
// Q (the same record for siblings): the twelve hand-over values turned
// from one vector per value into one vector per two neighbouring sums of
// a record, so each record gains two sums per addition.
inline void addPairHandOver(PlanarSegmentWork& P, PlanarSegmentWork& Q, const HandOver<Pair>& h) {
    const Pair value[12] = {h.inertia.xx, h.inertia.xy, h.inertia.xw, h.inertia.yy, h.inertia.yw, h.inertia.ww,
                            h.bias.x,     h.bias.y,     h.bias.w,     h.weight.x,   h.weight.y,   h.weight.w};
    for (int k = 0; k < 6; ++k) {
        const Pair first = __builtin_shufflevector(value[2 * k], value[2 * k + 1], 0, 2);
        const Pair second = __builtin_shufflevector(value[2 * k], value[2 * k + 1], 1, 3);
        const std::size_t at = 2 * k * sizeof(double);
        if (&P == &Q) {
            setSumsAt(P, at, (sumsAt(P, at) + first) + second);
        } else {
            setSumsAt(P, at, sumsAt(P, at) + first);
            setSumsAt(Q, at, sumsAt(Q, at) + second);
        }
    }
}

// The inward pass in pairs (PlanarTreeModel::inwardPairs): every record
// starts as its segment's own part, and each child adds its hand-over into
// its parent's record as its pair is done, lane 0 before lane 1; a depth is
// done before the one above it, so every record is complete when its
// segment is read, and every parent takes its children by increasing index.
void inwardInPairs(const PlanarTreeModel& tree, PlanarSegmentWork* work, const double p[]) {
    const PlanarTreeSegment* seg = tree.segment.data();
    for (const std::array<int, 2>& pair : tree.inwardPairs) {
        const int i = pair[0], j = pair[1];
        const PlanarSegmentWork& U = work[i];
        if (j < 0) {
            const HandOver<double> h = handOver(inertiaOf(U), {U.biasX, U.biasY, U.biasW},
                                                {U.weightX, U.weightY, U.weightW}, p[i], seg[i].linkLength,
                                                U.sinQ, U.cosQ);
            addHandOver(work[seg[i].parent], h.inertia, h.bias, h.weight);
            continue;
        }
        const PlanarSegmentWork& V = work[j];
        const PlaneInertia<Pair> A = {Pair{U.xx, V.xx}, Pair{U.xy, V.xy}, Pair{U.xw, V.xw},
                                      Pair{U.yy, V.yy}, Pair{U.yw, V.yw}, Pair{U.ww, V.ww}};
        const HandOver<Pair> h =
            handOver<Pair>(A, {Pair{U.biasX, V.biasX}, Pair{U.biasY, V.biasY}, Pair{U.biasW, V.biasW}},
                           {Pair{U.weightX, V.weightX}, Pair{U.weightY, V.weightY}, Pair{U.weightW, V.weightW}},
                           Pair{p[i], p[j]}, Pair{seg[i].linkLength, seg[j].linkLength}, Pair{U.sinQ, V.sinQ},
                           Pair{U.cosQ, V.cosQ});
        addPairHandOver(work[seg[i].parent], work[seg[j].parent], h);
    }
}
#endif

}  // namespace

std::shared_ptr<const PlanarTreeModel> makePlanarTreeModel(const FigureModel& model) {
    auto tree = std::make_shared<PlanarTreeModel>();
    tree->segment.resize(model.n);
    for (int i = 0; i < model.n; ++i) {
        const SegmentParameters& s = model.segment[i];
        const int parent = model.parent[i];
        tree->segment[i] = {s.mass,
                            s.centreOfMass[0],
                            s.centreOfMass[1],
                            s.linkLength,
                            -s.mass * s.centreOfMass[1],  // composeInertia's element 5
                            s.mass * s.centreOfMass[0],   // and element 10
                            s.rotationalInertia[5],
                            parent,
                            model.childStart[i + 1] - model.childStart[i],
                            parent < 0 || model.childList[model.childStart[parent + 1] - 1] == i,
                            parent >= 0 && parent == i - 1};
    }
#if defined(__GNUC__)
    // the pairs, where at least half the segments fall into one
    std::vector<int> depth(model.n);
    int deepest = 0;
    for (int i = 0; i < model.n; ++i) {
        depth[i] = model.parent[i] < 0 ? 0 : depth[model.parent[i]] + 1;
        deepest = std::max(deepest, depth[i]);
    }
    std::vector<std::array<int, 2>> pairs;
    int paired = 0;
    for (int d = deepest; d > 0; --d) {
        int waiting = -1;
        for (int i = 0; i < model.n; ++i) {
            if (depth[i] != d) continue;
            if (waiting < 0) {
                waiting = i;
                continue;
            }
            pairs.push_back({waiting, i});
            paired += 2;
            waiting = -1;
        }
        if (waiting >= 0) pairs.push_back({waiting, -1});
    }
    if (2 * paired >= model.n) tree->inwardPairs = std::move(pairs);
#endif
    return tree;
}

namespace {

// The last pass: outward, joint rates from momenta, then spatial
// velocities; the joint controllers on those rates; the momentum rates,
// gravity moment less the moving-frame term, then the controller torque,
// then the applied torque.
void outwardPass(const FigureModel& figure, FigureData& data, const double p[], const double q[],
                 double momentumRate[], double jointVelocity[]) {
    const PlanarTreeSegment* seg = figure.planarTree->segment.data();
    PlanarSegmentWork* work = data.planarWork.data();
    const int n = figure.n;
    const double baseX = figure.baseVelocity[0], baseY = figure.baseVelocity[1], baseW = figure.baseVelocity[5];
    const double* target = figure.jointTarget.data();
    const double* stiffness = data.controllerStiffness.data();
    const double damping = data.controllerDamping;
    double* controllerTorque = data.controllerTorque.data();
    const double* appliedTorque = data.appliedTorque.data();
    Vector previous{};
    for (int i = 0; i < n; ++i) {
        const PlanarTreeSegment& S = seg[i];
        PlanarSegmentWork& W = work[i];
        Vector parent = {baseX, baseY, baseW};
        if (S.followsParent) parent = previous;
        else if (S.parent >= 0) {
            const PlanarSegmentWork& P = work[S.parent];
            parent = {P.velocityX, P.velocityY, P.velocityW};
        }
        const Vector u = motionToChild(parent, S.linkLength, W.sinQ, W.cosQ);
        const double rate = ((p[i] - W.biasW) - ((W.xw * u.x + W.yw * u.y) + W.ww * u.w)) / W.ww;
        jointVelocity[i] = rate;
        const Vector v = {u.x, u.y, u.w + rate};
        previous = v;
        W.velocityX = v.x, W.velocityY = v.y, W.velocityW = v.w;
        const double torque = jointTorque(stiffness[i], target[i], q[i], damping, rate);
        controllerTorque[i] = torque;
        // the subtree's momentum H = A v + z, its linear part
        const double hx = ((W.xx * v.x + W.xy * v.y) + W.xw * v.w) + W.biasX;
        const double hy = ((W.xy * v.x + W.yy * v.y) + W.yw * v.w) + W.biasY;
        momentumRate[i] = ((W.weightW - (v.x * hy - v.y * hx)) + torque) + appliedTorque[i];
    }
}

}  // namespace

void computeDerivativesPlanarTree(const FigureModel& figure, FigureData& data, const double p[], const double q[],
                                  double momentumRate[], double jointVelocity[]) {
    const PlanarTreeSegment* seg = figure.planarTree->segment.data();
    PlanarSegmentWork* work = data.planarWork.data();
    const int n = figure.n;

    // outward: the table's sines and cosines, gravity carried into every
    // segment frame (the energy bookkeeping reads it), each segment's own
    // weight about its joint; each record starts as the segment's own part
    Vector3* segmentGravity = data.segmentGravity.data();
    const double gravityX = data.gravity[0], gravityY = data.gravity[1];
    const bool inPairs = !figure.planarTree->inwardPairs.empty();
    double previousGx = 0.0, previousGy = 0.0;
    for (int i = 0; i < n; ++i) {
        const PlanarTreeSegment& S = seg[i];
        PlanarSegmentWork& W = work[i];
        double s, c;
        sineAndCosine(q[i], s, c);
        double px = gravityX, py = gravityY;
        if (S.followsParent) px = previousGx, py = previousGy;
        else if (S.parent >= 0) px = segmentGravity[S.parent][0], py = segmentGravity[S.parent][1];
        const double gx = c * px + s * py, gy = c * py - s * px;
        segmentGravity[i] = {gx, gy, 0.0};
        previousGx = gx, previousGy = gy;
        W.sinQ = s, W.cosQ = c;
        const double fx = S.mass * gx, fy = S.mass * gy;
        W.weightX = fx, W.weightY = fy, W.weightW = S.comX * fy - S.comY * fx;
        W.biasX = 0.0, W.biasY = 0.0, W.biasW = 0.0;
        if (S.children > 1 || inPairs) setInertia(W, ownInertia(S));
    }
#if defined(__GNUC__)
    if (inPairs) {
        inwardInPairs(*figure.planarTree, work, p);
        outwardPass(figure, data, p, q, momentumRate, jointVelocity);
        return;
    }
#endif

    // inward: articulated inertias, bias momenta and subtree weights, each
    // segment handing its share to its parent with its own joint axis
    // projected out
    Inertia carried{};
    for (const int i : figure.inward) {
        const PlanarTreeSegment& S = seg[i];
        PlanarSegmentWork& W = work[i];
        // its own part and all its children's but the last one's, then that
        Inertia A = S.children > 1 ? inertiaOf(W) : ownInertia(S);
        if (S.children > 0) A = A + carried;
        setInertia(W, A);
        if (S.parent < 0) continue;
        const double a = S.linkLength, s = W.sinQ, c = W.cosQ;
        PlanarSegmentWork& P = work[S.parent];
        const Vector weightInParent = forceToParent({W.weightX, W.weightY, W.weightW}, a, s, c);
        P.weightX = P.weightX + weightInParent.x, P.weightY = P.weightY + weightInParent.y;
        P.weightW = P.weightW + weightInParent.w;
        const Vector biasInParent = biasToParent({W.biasX, W.biasY, W.biasW}, A, p[i], a, s, c);
        P.biasX = P.biasX + biasInParent.x, P.biasY = P.biasY + biasInParent.y;
        P.biasW = P.biasW + biasInParent.w;
        const Inertia inertiaInParent = projectInertia(A, a, s, c);
        // the next segment visited is the parent only after its last
        // child; after any other child it is a leaf, which reads nothing
        // carried: so it is always carried, and the register never has to
        // outlive a segment
        if (!S.lastChild) setInertia(P, inertiaOf(P) + inertiaInParent);
        carried = inertiaInParent;
    }

    outwardPass(figure, data, p, q, momentumRate, jointVelocity);
}
