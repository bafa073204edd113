#include "initial_momenta.h"

#include "dynamics.h"
#include "sine_table.h"

namespace {

// Records of this computation alone; the sines, cosines and velocities are
// the dynamics' records, which every evaluation writes afresh.
SpatialVector segmentMomentum[segmentCount];  // momentum of the segment alone, about its joint
SpatialVector subtreeMomentum[segmentCount];  // momentum of the segment and its descendants

}  // namespace

void initMomenta(double p[segmentCount], const double q[segmentCount], const double qdot[segmentCount]) {
    DynamicsWorkspace& w = dynamicsWorkspace;
    FigureModel& model = figureModel;
    const SegmentParameters* seg = model.segment;
    auto X = [&](int i) { return jointTransform(seg[i], w.jointSin[i], w.jointCos[i]); };

    // outward: velocities from the joint rates, and each segment's own momentum
    for (const int i : outwardOrder) {
        w.jointSin[i] = fastSin(q[i]);
        w.jointCos[i] = fastCos(q[i]);
        const int parent = parentOf[i];
        const SpatialVector& v = parent < 0 ? model.baseVelocity : w.spatialVelocity[parent];
        transformMotionToChild(w.parentVelocityInSegment[i], v, X(i));
        addAxisMotion(w.spatialVelocity[i], w.parentVelocityInSegment[i], qdot[i]);
        applyRigidInertia(segmentMomentum[i], seg[i].mass, seg[i].rotationalInertia, seg[i].centreOfMass,
                          w.spatialVelocity[i]);
    }

    // inward: subtree momenta, their axis components, and the share each
    // child hands to its parent
    for (const int i : inwardOrder) {
        addVectorList(subtreeMomentum[i], segmentMomentum[i], model.children[i].childMomenta);
        axisComponent(p[i], subtreeMomentum[i]);
        if (i == torso) continue;
        transformForceToParent(model.slots[i].momentumInParent, subtreeMomentum[i], X(i));
    }
}
