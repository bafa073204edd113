#include "dynamics.h"

#include "hand_pull.h"
#include "joint_controller.h"
#include "sine_table.h"

namespace {

// The records of kind `records` of segment i's children, in order.
template <typename T>
ChildRecords<T> children(const FigureModel& model, const std::vector<T>& records, int i) {
    const int begin = model.childStart[i];
    return {records.data(), model.childList.data() + begin, model.childStart[i + 1] - begin};
}

// Steps 2 to 7 of an evaluation, on the sines and cosines in data.
void generalPasses(const FigureModel& model, FigureData& w, const double p[], const double q[],
                   double momentumRate[], double jointVelocity[]) {
    const SegmentParameters* seg = model.segment.data();
    const int* parentOf = model.parent.data();
    auto X = [&](int i) { return jointTransform(seg[i], w.jointSin[i], w.jointCos[i]); };

    // outward: gravity carried into every segment frame
    for (const int i : model.outward) {
        const int parent = parentOf[i];
        const Vector3 g = parent < 0 ? Vector3{w.gravity[0], w.gravity[1], w.gravity[2]} : w.segmentGravity[parent];
        rotateToChild(w.segmentGravity[i], g, seg[i].twistSin, seg[i].twistCos, w.jointSin[i], w.jointCos[i]);
    }

    // inward: articulated inertias and bias momenta, each child handing its
    // share to the parent with its own joint axis projected out
    for (const int i : model.inward) {
        composeInertia(w.articulatedInertia[i], children(model, w.articulatedInertiaInParent, i), seg[i].mass,
                       seg[i].rotationalInertia, seg[i].centreOfMass);
        sumVectorList(w.biasMomentum[i], children(model, w.biasMomentumInParent, i));
        if (parentOf[i] < 0) continue;
        const JointTransform Xi = X(i);
        projectInertiaToParent(w.articulatedInertiaInParent[i], w.articulatedInertia[i], Xi);
        projectBiasToParent(w.biasMomentumInParent[i], w.biasMomentum[i], w.articulatedInertia[i], p[i], Xi);
    }

    // outward: joint rates from momenta, then spatial velocities
    for (const int i : model.outward) {
        const int parent = parentOf[i];
        const SpatialVector& v = parent < 0 ? model.baseVelocity : w.spatialVelocity[parent];
        transformMotionToChild(w.parentVelocityInSegment[i], v, X(i));
        solveAxisRate(jointVelocity[i], p[i], w.biasMomentum[i], w.parentVelocityInSegment[i],
                      w.articulatedInertia[i]);
        addAxisMotion(w.spatialVelocity[i], w.parentVelocityInSegment[i], jointVelocity[i]);
    }

    // the joint controllers, on this evaluation's rates and angles
    computeJointTorques(model, w, w.controllerTorque.data(), jointVelocity, q);

    // inward: the weight of every subtree, about its joint
    for (const int i : model.inward) {
        forceAtPoint(w.ownGravityWrench[i], w.segmentGravity[i], seg[i].centreOfMass, seg[i].mass);
        addVectorList(w.subtreeGravityWrench[i], w.ownGravityWrench[i], children(model, w.gravityWrenchInParent, i));
        if (parentOf[i] < 0) continue;
        transformForceToParent(w.gravityWrenchInParent[i], w.subtreeGravityWrench[i], X(i));
    }

    // momentum rates: gravity moment less the moving-frame term, then the
    // controller torque, then the applied torque
    for (int i = 0; i < model.n; ++i)
        axisMomentumRate(momentumRate[i], w.subtreeGravityWrench[i], w.controllerTorque[i], w.appliedTorque[i],
                         w.articulatedInertia[i], w.biasMomentum[i], w.spatialVelocity[i]);
}

// Steps 1 to 7: the table's sines and cosines, then the general passes.
void generalEvaluation(const FigureModel& model, FigureData& data, const double p[], const double q[],
                       double momentumRate[], double jointVelocity[]) {
    for (int i = 0; i < model.n; ++i) {
        data.jointSin[i] = fastSin(q[i]);
        data.jointCos[i] = fastCos(q[i]);
    }
    generalPasses(model, data, p, q, momentumRate, jointVelocity);
}

}  // namespace

// The planar passes of the window program's figure, its limbs as lanes
// (planar_dynamics.cpp), and those of any planar tree (planar_tree_dynamics.cpp).
void computeDerivativesPlanarLimbs(const FigureModel& model, FigureData& data, const double p[], const double q[],
                                   double momentumRate[], double jointVelocity[]);
void computeDerivativesPlanarTree(const FigureModel& model, FigureData& data, const double p[], const double q[],
                                  double momentumRate[], double jointVelocity[]);

bool planarPassesApply(const FigureModel& model, const FigureData& data) {
    return model.planarTree != nullptr && data.gravity[2] == 0.0;
}

void computeDerivativesPlanar(const FigureModel& model, FigureData& data, const double p[], const double q[],
                              double momentumRate[], double jointVelocity[]) {
    if (model.limbLanes != nullptr)
        computeDerivativesPlanarLimbs(model, data, p, q, momentumRate, jointVelocity);
    else
        computeDerivativesPlanarTree(model, data, p, q, momentumRate, jointVelocity);
}

void computeDerivatives(const FigureModel& model, FigureData& data, const double p[], const double q[],
                        double momentumRate[], double jointVelocity[]) {
    // which passes run: the planar ones wherever they are exact (any planar
    // tree under gravity in its plane); the general ones otherwise
    if (planarPassesApply(model, data))
        computeDerivativesPlanar(model, data, p, q, momentumRate, jointVelocity);
    else
        generalEvaluation(model, data, p, q, momentumRate, jointVelocity);

    // the hand's pull, last and only while a grab holds a point of the drawn figure
    if (data.hand.active) addHandTorques(model, data, momentumRate, q, jointVelocity);
}

void computeDerivativesGeneral(const FigureModel& model, FigureData& data, const double p[], const double q[],
                               double momentumRate[], double jointVelocity[]) {
    generalEvaluation(model, data, p, q, momentumRate, jointVelocity);
    if (data.hand.active) addHandTorques(model, data, momentumRate, q, jointVelocity);
}

void computeDerivativesWithTrig(const FigureModel& model, FigureData& data, const double p[], const double q[],
                                const double jointSin[], const double jointCos[], double momentumRate[],
                                double jointVelocity[]) {
    for (int i = 0; i < model.n; ++i) {
        data.jointSin[i] = jointSin[i];
        data.jointCos[i] = jointCos[i];
    }
    generalPasses(model, data, p, q, momentumRate, jointVelocity);
}

void computeDerivatives(const double p[segmentCount], const double q[segmentCount],
                        double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    computeDerivatives(figureModel, figureData, p, q, momentumRate, jointVelocity);
}

void computeDerivativesGeneral(const double p[segmentCount], const double q[segmentCount],
                               double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    computeDerivativesGeneral(figureModel, figureData, p, q, momentumRate, jointVelocity);
}

void computeDerivativesWithTrig(const double p[segmentCount], const double q[segmentCount],
                                const double jointSin[segmentCount], const double jointCos[segmentCount],
                                double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    computeDerivativesWithTrig(figureModel, figureData, p, q, jointSin, jointCos, momentumRate, jointVelocity);
}

void computeDerivativesPlanar(const double p[segmentCount], const double q[segmentCount],
                              double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    computeDerivativesPlanar(figureModel, figureData, p, q, momentumRate, jointVelocity);
}

bool planarPassesApply() { return planarPassesApply(figureModel, figureData); }
