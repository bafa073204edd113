#include "figure_data.h"

FigureData figureData;

FigureData::FigureData(const FigureModel& model) : n(model.n) {
    const auto size = static_cast<std::size_t>(n);
    q.assign(size, 0.0);
    p.assign(size, 0.0);
    qdot.assign(size, 0.0);
    gravity = model.gravity;
    controllerStiffness = model.jointStiffness;
    controllerDamping = model.jointDamping;
    keyTorque = 100.0;
    controllerTorque.assign(size, 0.0);
    appliedTorque.assign(size, 0.0);
    handTorque.assign(size, 0.0);
    jointSin.assign(size, 0.0);
    jointCos.assign(size, 0.0);
    segmentGravity.assign(size, Vector3{});
    articulatedInertia.assign(size, SpatialInertia{});
    biasMomentum.assign(size, SpatialVector{});
    parentVelocityInSegment.assign(size, SpatialVector{});
    spatialVelocity.assign(size, SpatialVector{});
    ownGravityWrench.assign(size, SpatialVector{});
    subtreeGravityWrench.assign(size, SpatialVector{});
    segmentMomentum.assign(size, SpatialVector{});
    subtreeMomentum.assign(size, SpatialVector{});
    articulatedInertiaInParent.assign(size, SpatialInertia{});
    biasMomentumInParent.assign(size, SpatialVector{});
    gravityWrenchInParent.assign(size, SpatialVector{});
    momentumInParent.assign(size, SpatialVector{});
    // a tree with pairs keeps its records two segments to a record, the rest one each
    const std::size_t pairs = model.planarTree ? model.planarTree->pairs.size() : 0;
    planarWork.assign(pairs > 0 ? 0 : size, PlanarSegmentWork{});
    pairWork.assign(pairs, PlanarPairWork{});
    stages.assign(10 * size, 0.0);
    path.assign(size, 0);
    frames.assign(size, DrawnFrame{});
}
