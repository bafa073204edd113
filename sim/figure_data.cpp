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
    planarWork.assign(size, PlanarSegmentWork{});
    pairWork.assign(model.planarTree ? model.planarTree->pairs.size() : 0, PlanarPairWork{});
    stages.assign(10 * size, 0.0);
    path.assign(size, 0);
    frames.assign(size, DrawnFrame{});
}
