// The planar passes of a wide tree, two segments to a record, one in each
// lane of a vector of two doubles (PlanarPair, PlanarPairWork): every
// operation of the one-at-a-time passes (planar_tree_dynamics.cpp), each
// lane rounding as the scalar operation, so the same bits.
//
// Why records of two: a segment's fields then load and store as vectors,
// not gathered from two records and scattered back. The records go from the
// roots down, depth by depth, and at each depth the first children of the
// two segments of one record above share a record, lane for lane, then the
// second children, and so on (a matched record): such a record reads its
// parents' gravity and velocity and adds its hand-over into their sums as
// whole vectors. The rest of a depth's segments pair up by increasing
// index, and reach their parents one lane at a time.
//
// The order of the sums over a parent's children: the inward pass visits
// the records backwards, deepest first, and a depth's records were laid
// down so that backwards each parent meets its children by increasing
// index (matched records first, then the rest); where both lanes hand over
// to one parent, lane 0 (the lower index) adds first.
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

namespace {

using Work = PlanarPairWork;
using Field = double (PlanarPairWork::*)[2];

inline Pair load(const double (&a)[2]) {
    Pair v;
    std::memcpy(&v, a, sizeof v);
    return v;
}
inline void store(double (&a)[2], Pair v) { std::memcpy(a, &v, sizeof v); }

// The field of the segment at `slot`.
inline double& at(Work* work, Field f, int slot) { return (work[slot >> 1].*f)[slot & 1]; }

// The lanes' entries of an array by segment.
inline Pair entries(const double a[], const PlanarPair& M) { return Pair{a[M.segment[0]], a[M.segment[1]]}; }

// The lanes' parents' field: the pivot's value for roots, a whole vector
// for a matched record.
inline Pair fromParents(Work* work, Field f, const PlanarPair& M, double pivot) {
    if (M.parent[0] < 0) return splat<Pair>(pivot);
    if (M.matched) return load(work[M.parent[0] >> 1].*f);
    return Pair{at(work, f, M.parent[0]), at(work, f, M.parent[1])};
}

// Lanes' results into an array by segment (lane 1 where it is full).
inline void scatter(double a[], const PlanarPair& M, Pair v) {
    a[M.segment[0]] = v[0];
    if (M.full) a[M.segment[1]] = v[1];
}

// fastSin and fastCos of every record's lanes, into the records, before
// the gravity pass reads them: no lookup waits on another record's, so
// many are in flight at once (the more for the lookups' two halves in
// loops of their own). By vectors where every joint angle is within
// their range (sinesAndCosinesInRange), else one by one.
void recordSinesAndCosines(const std::vector<PlanarPair>& pairs, const double q[], int n, Work* work) {
    typedef int PairInts __attribute__((vector_size(8)));
    typedef long long PairMasks __attribute__((vector_size(16)));
    const int records = static_cast<int>(pairs.size());
    if (!sinesAndCosinesInRange(q, n)) {
        for (int r = 0; r < records; ++r) {
            const Pair x = entries(q, pairs[r]);
            store(work[r].sinQ, Pair{fastSin(x[0]), fastSin(x[1])});
            store(work[r].cosQ, Pair{fastCos(x[0]), fastCos(x[1])});
        }
        return;
    }
    const double* samples = sineTable.samples;
    const double sampleStep = sineTable.sampleStep;
    // the indices of up to `chunk` records' sines and cosines, then their samples
    constexpr int chunk = 16;
    PairInts index[2 * chunk];
    Pair reduced[2 * chunk];
    for (int start = 0; start < records; start += chunk) {
        const int count = records - start < chunk ? records - start : chunk;
        for (int k = 0; k < count; ++k) {
            const Pair x = entries(q, pairs[start + k]);
            const Pair y = splat<Pair>(1.5707963267948966) - x;
            sampleIndices<Pair, PairInts, PairMasks>(index[2 * k], reduced[2 * k], x, x * 0.15915494309189535,
                                                     sampleStep);
            sampleIndices<Pair, PairInts, PairMasks>(index[2 * k + 1], reduced[2 * k + 1], y, y * 0.15915494309189535,
                                                     sampleStep);
        }
        for (int k = 0; k < count; ++k) {
            Pair s, c;
            signedSamples<Pair, PairInts, PairMasks>(s, index[2 * k], reduced[2 * k], samples);
            signedSamples<Pair, PairInts, PairMasks>(c, index[2 * k + 1], reduced[2 * k + 1], samples);
            store(work[start + k].sinQ, s), store(work[start + k].cosQ, c);
        }
    }
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
inline HandOver<T> handOver(const PlaneInertia<T>& A, const PlaneVector<T>& z, const PlaneVector<T>& F, T p, T a, T s,
                            T c) {
    return {projectInertia(A, a, s, c), biasToParent(z, A, p, a, s, c), forceToParent(F, a, s, c)};
}

// The twelve sums children add into, in a hand-over's order.
constexpr Field sums[12] = {&Work::xx,    &Work::xy,    &Work::xw,    &Work::yy,      &Work::yw,      &Work::ww,
                            &Work::biasX, &Work::biasY, &Work::biasW, &Work::weightX, &Work::weightY, &Work::weightW};

}  // namespace

std::vector<PlanarPair> makePlanarPairs(const FigureModel& model) {
    const int n = model.n;
    std::vector<int> slot(n, -1);
    std::vector<PlanarPair> records;
    int paired = 0;
    // a record of segments i and j (j < 0: lane 1 empty), matched or not
    const auto add = [&](int i, int j, bool matched) {
        PlanarPair M{};
        const int lanes[2] = {i, j < 0 ? i : j};
        for (int k = 0; k < 2; ++k) {
            const SegmentParameters& s = model.segment[lanes[k]];
            M.mass[k] = s.mass, M.comX[k] = s.centreOfMass[0], M.comY[k] = s.centreOfMass[1];
            M.linkLength[k] = s.linkLength;
            M.ownXw[k] = -s.mass * s.centreOfMass[1], M.ownYw[k] = s.mass * s.centreOfMass[0];
            M.ownWw[k] = s.rotationalInertia[5];
            M.segment[k] = lanes[k];
            M.parent[k] = model.parent[lanes[k]] < 0 ? -1 : slot[model.parent[lanes[k]]];
        }
        M.full = j >= 0;
        M.matched = matched;
        slot[i] = 2 * static_cast<int>(records.size());
        if (j >= 0) slot[j] = slot[i] + 1, paired += 2;
        records.push_back(M);
    };
    // a depth's records as (i, j, matched), in the order the inward pass
    // meets them; the rest of a depth's segments by increasing index, two
    // at a time
    using Depth = std::vector<std::array<int, 3>>;
    const auto pairUp = [](const std::vector<int>& rest, Depth& depth) {
        for (std::size_t k = 0; k < rest.size(); k += 2)
            depth.push_back({rest[k], k + 1 < rest.size() ? rest[k + 1] : -1, 0});
    };
    const auto children = [&](int i) {
        return std::vector<int>(model.childList.begin() + model.childStart[i],
                                model.childList.begin() + model.childStart[i + 1]);
    };
    std::vector<int> roots;
    for (int i = 0; i < n; ++i)
        if (model.parent[i] < 0) roots.push_back(i);
    Depth depth;
    pairUp(roots, depth);
    while (!depth.empty()) {
        // laid down backwards, so that the inward pass meets them forwards
        const std::size_t begin = records.size();
        for (auto r = depth.rbegin(); r != depth.rend(); ++r) add((*r)[0], (*r)[1], (*r)[2] != 0);
        // the depth below: the k-th children of a record's two segments
        // matched, for every k both have, then the rest
        depth.clear();
        std::vector<int> rest;
        for (std::size_t r = begin; r < records.size(); ++r) {
            const PlanarPair& M = records[r];
            const std::vector<int> first = children(M.segment[0]);
            const std::vector<int> second = M.full ? children(M.segment[1]) : std::vector<int>{};
            const std::size_t both = std::min(first.size(), second.size());
            for (std::size_t k = 0; k < both; ++k) depth.push_back({first[k], second[k], 1});
            rest.insert(rest.end(), first.begin() + static_cast<std::ptrdiff_t>(both), first.end());
            rest.insert(rest.end(), second.begin() + static_cast<std::ptrdiff_t>(both), second.end());
        }
        std::sort(rest.begin(), rest.end());
        pairUp(rest, depth);
    }
    if (2 * paired < n) records.clear();
    return records;
}

// The planar passes of a tree with pairs (PlanarTreeModel::pairs).
void computeDerivativesPlanarPairs(const FigureModel& figure, FigureData& data, const double p[], const double q[],
                                   double momentumRate[], double jointVelocity[]) {
    const std::vector<PlanarPair>& pairs = figure.planarTree->pairs;
    const int records = static_cast<int>(pairs.size());
    Work* work = data.pairWork.data();
    Vector3* segmentGravity = data.segmentGravity.data();

    // outward: the table's sines and cosines, gravity carried into every
    // segment frame, each segment's own weight about its joint; each record
    // starts as its segments' own parts
    recordSinesAndCosines(pairs, q, figure.n, work);
    for (int r = 0; r < records; ++r) {
        const PlanarPair& M = pairs[r];
        Work& R = work[r];
        const Pair s = load(R.sinQ), c = load(R.cosQ);
        const Pair px = fromParents(work, &Work::gravityX, M, data.gravity[0]);
        const Pair py = fromParents(work, &Work::gravityY, M, data.gravity[1]);
        const Pair gx = c * px + s * py, gy = c * py - s * px;
        store(R.gravityX, gx), store(R.gravityY, gy);
        segmentGravity[M.segment[0]] = {gx[0], gy[0], 0.0};
        if (M.full) segmentGravity[M.segment[1]] = {gx[1], gy[1], 0.0};
        const Pair mass = load(M.mass);
        const Pair fx = mass * gx, fy = mass * gy;
        store(R.weightX, fx), store(R.weightY, fy), store(R.weightW, load(M.comX) * fy - load(M.comY) * fx);
        const Pair zero = splat<Pair>(0.0);
        store(R.biasX, zero), store(R.biasY, zero), store(R.biasW, zero);
        store(R.xx, mass), store(R.xy, zero), store(R.xw, load(M.ownXw));
        store(R.yy, mass), store(R.yw, load(M.ownYw)), store(R.ww, load(M.ownWw));
    }

    // inward: each record's segments hand their shares to their parents,
    // deepest first
    for (int r = records - 1; r >= 0 && pairs[r].parent[0] >= 0; --r) {
        const PlanarPair& M = pairs[r];
        const Work& R = work[r];
        const PlaneInertia<Pair> A = {load(R.xx), load(R.xy), load(R.xw), load(R.yy), load(R.yw), load(R.ww)};
        const HandOver<Pair> h = handOver<Pair>(A, {load(R.biasX), load(R.biasY), load(R.biasW)},
                                                {load(R.weightX), load(R.weightY), load(R.weightW)}, entries(p, M),
                                                load(M.linkLength), load(R.sinQ), load(R.cosQ));
        const Pair value[12] = {h.inertia.xx, h.inertia.xy, h.inertia.xw, h.inertia.yy, h.inertia.yw, h.inertia.ww,
                                h.bias.x,     h.bias.y,     h.bias.w,     h.weight.x,   h.weight.y,   h.weight.w};
        if (M.matched) {
            Work& P = work[M.parent[0] >> 1];
            for (int k = 0; k < 12; ++k) store(P.*sums[k], load(P.*sums[k]) + value[k]);
            continue;
        }
        for (int k = 0; k < 12; ++k) at(work, sums[k], M.parent[0]) = at(work, sums[k], M.parent[0]) + value[k][0];
        if (M.full)
            for (int k = 0; k < 12; ++k) at(work, sums[k], M.parent[1]) = at(work, sums[k], M.parent[1]) + value[k][1];
    }

    // outward: joint rates from momenta, then spatial velocities; the joint
    // controllers on those rates; the momentum rates, gravity moment less
    // the moving-frame term, then the controller torque, then the applied
    // torque
    const Pair damping = splat<Pair>(data.controllerDamping);
    for (int r = 0; r < records; ++r) {
        const PlanarPair& M = pairs[r];
        Work& R = work[r];
        const PlaneVector<Pair> parent = {fromParents(work, &Work::velocityX, M, figure.baseVelocity[0]),
                                          fromParents(work, &Work::velocityY, M, figure.baseVelocity[1]),
                                          fromParents(work, &Work::velocityW, M, figure.baseVelocity[5])};
        const Pair xx = load(R.xx), xy = load(R.xy), xw = load(R.xw), yy = load(R.yy), yw = load(R.yw), ww = load(R.ww);
        const PlaneVector<Pair> u = motionToChild(parent, load(M.linkLength), load(R.sinQ), load(R.cosQ));
        const Pair rate = ((entries(p, M) - load(R.biasW)) - ((xw * u.x + yw * u.y) + ww * u.w)) / ww;
        scatter(jointVelocity, M, rate);
        const PlaneVector<Pair> v = {u.x, u.y, u.w + rate};
        store(R.velocityX, v.x), store(R.velocityY, v.y), store(R.velocityW, v.w);
        const Pair torque = jointTorque(entries(data.controllerStiffness.data(), M),
                                        entries(figure.jointTarget.data(), M), entries(q, M), damping, rate);
        scatter(data.controllerTorque.data(), M, torque);
        // the subtree's momentum H = A v + z, its linear part
        const Pair hx = ((xx * v.x + xy * v.y) + xw * v.w) + load(R.biasX);
        const Pair hy = ((xy * v.x + yy * v.y) + yw * v.w) + load(R.biasY);
        scatter(momentumRate, M,
                ((load(R.weightW) - (v.x * hy - v.y * hx)) + torque) + entries(data.appliedTorque.data(), M));
    }
}

#else

std::vector<PlanarPair> makePlanarPairs(const FigureModel&) { return {}; }

#endif
