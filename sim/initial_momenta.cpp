#include "initial_momenta.h"

#include "sine_table.h"

void initMomenta(const FigureModel& model, FigureData& w, double p[], const double q[], const double qdot[]) {
    const SegmentParameters* seg = model.segment.data();
    auto X = [&](int i) { return jointTransform(seg[i], w.jointSin[i], w.jointCos[i]); };

    // outward: velocities from the joint rates, and each segment's own momentum
    for (const int i : model.outward) {
        w.jointSin[i] = fastSin(q[i]);
        w.jointCos[i] = fastCos(q[i]);
        const int parent = model.parent[i];
        const SpatialVector& v = parent < 0 ? model.baseVelocity : w.spatialVelocity[parent];
        transformMotionToChild(w.parentVelocityInSegment[i], v, X(i));
        addAxisMotion(w.spatialVelocity[i], w.parentVelocityInSegment[i], qdot[i]);
        applyRigidInertia(w.segmentMomentum[i], seg[i].mass, seg[i].rotationalInertia, seg[i].centreOfMass,
                          w.spatialVelocity[i]);
    }

    // inward: subtree momenta, their axis components, and the share each
    // child hands to its parent
    for (const int i : model.inward) {
        const int begin = model.childStart[i];
        const SpatialVectorList children{w.momentumInParent.data(), model.childList.data() + begin,
                                         model.childStart[i + 1] - begin};
        addVectorList(w.subtreeMomentum[i], w.segmentMomentum[i], children);
        axisComponent(p[i], w.subtreeMomentum[i]);
        if (model.parent[i] < 0) continue;
        transformForceToParent(w.momentumInParent[i], w.subtreeMomentum[i], X(i));
    }
}

void initMomenta(double p[segmentCount], const double q[segmentCount], const double qdot[segmentCount]) {
    initMomenta(figureModel, figureData, p, q, qdot);
}
