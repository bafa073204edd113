// The planar passes of any planar tree: the general passes of dynamics.cpp
// with only the terms that can be non-zero, one segment at a time (a wide
// tree two at a time, planar_tree_pairs.cpp). Why this gives the general
// passes' bits is told at the top of planar_dynamics.cpp (the window
// program's figure, whose limbs run as lanes): the same
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

#include "joint_controller.h"
#include "planar_operations.h"
#include "planar_tree.h"
#include "sine_table.h"

// The passes of a tree with pairs (planar_tree_pairs.cpp).
void computeDerivativesPlanarPairs(const FigureModel& figure, FigureData& data, const double p[], const double q[],
                                   double momentumRate[], double jointVelocity[]);

namespace {

using Inertia = PlaneInertia<double>;
using Vector = PlaneVector<double>;

inline Inertia operator+(const Inertia& l, const Inertia& r) {
    return {l.xx + r.xx, l.xy + r.xy, l.xw + r.xw, l.yy + r.yy, l.yw + r.yw, l.ww + r.ww};
}

// The segment's own rigid-body inertia, as composeInertia writes it.
inline Inertia ownInertia(const PlanarTreeSegment& S) { return {S.mass, 0.0, S.ownXw, S.mass, S.ownYw, S.ownWw}; }

// fastSin and fastCos of every joint angle, into the segments' records,
// before anything reads them: no lookup waits on another segment's, so
// many are in flight at once (the more for the lookups' two halves,
// sampleIndices and signedSamples, in loops of their own). On x86-64 a sine
// and its cosine are the two elements of one vector, branch-free: a joint
// angle's sign flips as a figure swings, and the scalar lookup's test of it
// is a branch the processor cannot foresee. Where any angle is beyond the
// vectors' range (sinesAndCosinesInRange), or NaN, all take the scalar
// lookups.
void jointSinesAndCosines(const double q[], PlanarSegmentWork work[], int n) {
#if defined(__GNUC__) && defined(__SSE2__)
    typedef int PairInts __attribute__((vector_size(8)));
    typedef long long PairMasks __attribute__((vector_size(16)));
    if (sinesAndCosinesInRange(q, n)) {
        const double* samples = sineTable.samples;
        const double sampleStep = sineTable.sampleStep;
        // the indices of up to `chunk` angles, then their samples
        constexpr int chunk = 32;
        PairInts index[chunk];
        Pair r[chunk];
        for (int start = 0; start < n; start += chunk) {
            const int count = n - start < chunk ? n - start : chunk;
            for (int k = 0; k < count; ++k) {
                const double x = q[start + k];
                const Pair arguments = {x, 1.5707963267948966 - x};
                sampleIndices<Pair, PairInts, PairMasks>(index[k], r[k], arguments, arguments * 0.15915494309189535,
                                                         sampleStep);
            }
            for (int k = 0; k < count; ++k) {
                Pair out;
                signedSamples<Pair, PairInts, PairMasks>(out, index[k], r[k], samples);
                work[start + k].sinQ = out[0], work[start + k].cosQ = out[1];
            }
        }
        return;
    }
#endif
    for (int i = 0; i < n; ++i) work[i].sinQ = fastSin(q[i]), work[i].cosQ = fastCos(q[i]);
}

inline Inertia inertiaOf(const PlanarSegmentWork& w) { return {w.xx, w.xy, w.xw, w.yy, w.yw, w.ww}; }
inline void setInertia(PlanarSegmentWork& w, const Inertia& A) {
    w.xx = A.xx, w.xy = A.xy, w.xw = A.xw, w.yy = A.yy, w.yw = A.yw, w.ww = A.ww;
}

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
    tree->pairs = makePlanarPairs(model);
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
    if (!figure.planarTree->pairs.empty()) {
        computeDerivativesPlanarPairs(figure, data, p, q, momentumRate, jointVelocity);
        return;
    }
    const PlanarTreeSegment* seg = figure.planarTree->segment.data();
    PlanarSegmentWork* work = data.planarWork.data();
    const int n = figure.n;

    // outward: the table's sines and cosines, gravity carried into every
    // segment frame (the energy bookkeeping reads it), each segment's own
    // weight about its joint; each record starts as the segment's own part
    Vector3* segmentGravity = data.segmentGravity.data();
    const double gravityX = data.gravity[0], gravityY = data.gravity[1];
    double previousGx = 0.0, previousGy = 0.0;
    jointSinesAndCosines(q, work, n);
    for (int i = 0; i < n; ++i) {
        const PlanarTreeSegment& S = seg[i];
        PlanarSegmentWork& W = work[i];
        const double s = W.sinQ, c = W.cosQ;
        double px = gravityX, py = gravityY;
        if (S.followsParent) px = previousGx, py = previousGy;
        else if (S.parent >= 0) px = segmentGravity[S.parent][0], py = segmentGravity[S.parent][1];
        const double gx = c * px + s * py, gy = c * py - s * px;
        segmentGravity[i] = {gx, gy, 0.0};
        previousGx = gx, previousGy = gy;
        const double fx = S.mass * gx, fy = S.mass * gy;
        W.weightX = fx, W.weightY = fy, W.weightW = S.comX * fy - S.comY * fx;
        W.biasX = 0.0, W.biasY = 0.0, W.biasW = 0.0;
        if (S.children > 1) setInertia(W, ownInertia(S));
    }

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
