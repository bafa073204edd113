#include "dynamics.h"

#include "hand_pull.h"
#include "joint_controller.h"
#include "sine_table.h"

DynamicsWorkspace dynamicsWorkspace;

namespace {

// Steps 2 to 7 of an evaluation, on the sines and cosines in the workspace.
void generalPasses(const double p[segmentCount], const double q[segmentCount], double momentumRate[segmentCount],
                   double jointVelocity[segmentCount]) {
    DynamicsWorkspace& w = dynamicsWorkspace;
    FigureModel& model = figureModel;
    const SegmentParameters* seg = model.segment;
    auto X = [&](int i) { return jointTransform(seg[i], w.jointSin[i], w.jointCos[i]); };

    // outward: gravity carried into every segment frame
    for (const int i : outwardOrder) {
        const int parent = parentOf[i];
        const Vector3 g = parent < 0 ? Vector3{model.gravity[0], model.gravity[1], model.gravity[2]}
                                     : w.segmentGravity[parent];
        rotateToChild(w.segmentGravity[i], g, seg[i].twistSin, seg[i].twistCos, w.jointSin[i], w.jointCos[i]);
    }

    // inward: articulated inertias and bias momenta, each child handing its
    // share to the parent with its own joint axis projected out
    for (const int i : inwardOrder) {
        const ChildLists& children = model.children[i];
        composeInertia(w.articulatedInertia[i], children.childArticulatedInertias, seg[i].mass,
                       seg[i].rotationalInertia, seg[i].centreOfMass);
        sumVectorList(w.biasMomentum[i], children.childBiasMomenta);
        if (i == torso) continue;
        SegmentSlots& slots = model.slots[i];
        const JointTransform Xi = X(i);
        projectInertiaToParent(slots.articulatedInertiaInParent, w.articulatedInertia[i], Xi);
        projectBiasToParent(slots.biasMomentumInParent, w.biasMomentum[i], w.articulatedInertia[i], p[i], Xi);
    }

    // outward: joint rates from momenta, then spatial velocities
    for (const int i : outwardOrder) {
        const int parent = parentOf[i];
        const SpatialVector& v = parent < 0 ? model.baseVelocity : w.spatialVelocity[parent];
        transformMotionToChild(w.parentVelocityInSegment[i], v, X(i));
        solveAxisRate(jointVelocity[i], p[i], w.biasMomentum[i], w.parentVelocityInSegment[i],
                      w.articulatedInertia[i]);
        addAxisMotion(w.spatialVelocity[i], w.parentVelocityInSegment[i], jointVelocity[i]);
    }

    // the joint controllers, on this evaluation's rates and angles
    computeJointTorques(controllerTorque, jointVelocity, q);

    // inward: the weight of every subtree, about its joint
    for (const int i : inwardOrder) {
        forceAtPoint(w.ownGravityWrench[i], w.segmentGravity[i], seg[i].centreOfMass, seg[i].mass);
        addVectorList(w.subtreeGravityWrench[i], w.ownGravityWrench[i], model.children[i].childGravityWrenches);
        if (i == torso) continue;
        transformForceToParent(model.slots[i].gravityWrenchInParent, w.subtreeGravityWrench[i], X(i));
    }

    // momentum rates: gravity moment less the moving-frame term, then the
    // controller torque, then the applied torque
    for (int i = 0; i < segmentCount; ++i)
        axisMomentumRate(momentumRate[i], w.subtreeGravityWrench[i], controllerTorque[i], appliedTorque[i],
                         w.articulatedInertia[i], w.biasMomentum[i], w.spatialVelocity[i]);
}

// Steps 1 to 7: the table's sines and cosines, then the general passes.
void generalEvaluation(const double p[segmentCount], const double q[segmentCount], double momentumRate[segmentCount],
                       double jointVelocity[segmentCount]) {
    DynamicsWorkspace& w = dynamicsWorkspace;
    for (int i = 0; i < segmentCount; ++i) {
        w.jointSin[i] = fastSin(q[i]);
        w.jointCos[i] = fastCos(q[i]);
    }
    generalPasses(p, q, momentumRate, jointVelocity);
}

}  // namespace

void computeDerivatives(const double p[segmentCount], const double q[segmentCount],
                        double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    // which passes run: the planar ones whenever they are exact, which for
    // this figure is always; the general ones otherwise
    if (planarPassesApply())
        computeDerivativesPlanar(p, q, momentumRate, jointVelocity);
    else
        generalEvaluation(p, q, momentumRate, jointVelocity);

    // the hand's pull, last and only while a grab holds a point of the drawn figure
    if (handGrab.active) addHandTorques(momentumRate, q, jointVelocity);
}

void computeDerivativesGeneral(const double p[segmentCount], const double q[segmentCount],
                               double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    generalEvaluation(p, q, momentumRate, jointVelocity);
    if (handGrab.active) addHandTorques(momentumRate, q, jointVelocity);
}

void computeDerivativesWithTrig(const double p[segmentCount], const double q[segmentCount],
                                const double jointSin[segmentCount], const double jointCos[segmentCount],
                                double momentumRate[segmentCount], double jointVelocity[segmentCount]) {
    DynamicsWorkspace& w = dynamicsWorkspace;
    for (int i = 0; i < segmentCount; ++i) {
        w.jointSin[i] = jointSin[i];
        w.jointCos[i] = jointCos[i];
    }
    generalPasses(p, q, momentumRate, jointVelocity);
}
