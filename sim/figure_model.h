// The figure: its state, its segment tree and its constant mechanical model.
//
// Thirteen rigid segments joined by revolute joints about parallel z axes.
// The torso hangs from the fixed pivot; the four limbs hang from the torso's
// far end. Segment frames have their origin at the joint, x along the
// segment, z on the joint axis. Units are SI.
#pragma once

#include "spatial_algebra.h"

enum SegmentIndex : int {
    torso = 0,
    rightUpperArm, rightLowerArm, rightHand,
    leftUpperArm, leftLowerArm, leftHand,
    rightUpperLeg, rightLowerLeg, rightFoot,
    leftUpperLeg, leftLowerLeg, leftFoot,
    segmentCount
};

// Joint angles (radians, each against its parent's frame), the momenta
// conjugate to them, and the start-up joint rates that only initMomenta reads.
struct FigureState {
    double p[segmentCount];
    double q[segmentCount];
    double qdot[segmentCount];
};

// Visiting orders over the tree: outward puts every parent before its
// children, inward every child before its parent.
inline constexpr int outwardOrder[segmentCount] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
inline constexpr int inwardOrder[segmentCount] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 0};
// Parent of each segment; -1 for the torso, which hangs from the fixed base.
inline constexpr int parentOf[segmentCount] = {-1, 0, 1, 2, 0, 4, 5, 0, 7, 8, 0, 10, 11};

struct SegmentParameters {
    RotationalInertia rotationalInertia;  // about the joint, kg m^2
    Vector3 centreOfMass;                 // in the segment frame, m
    double mass;                          // kg
    double linkLength;                    // joint position along the parent's x axis, m
    double linkOffset;                    // joint offset along the twisted z axis, m
    double twistSin;                      // sine of the twist about the parent's x axis
    double twistCos;                      // cosine of that twist
};

// What a segment hands to its parent, already in the parent's frame. The
// parent's child lists refer to these records.
struct SegmentSlots {
    SpatialInertia articulatedInertiaInParent;  // projected articulated inertia
    SpatialVector biasMomentumInParent;         // bias momentum
    SpatialVector gravityWrenchInParent;        // weight of the whole subtree
    SpatialVector momentumInParent;             // momentum of the whole subtree (start-up)
};

struct ChildLists {
    SpatialInertiaList childArticulatedInertias;
    SpatialVectorList childBiasMomenta;
    SpatialVectorList childGravityWrenches;
    SpatialVectorList childMomenta;
};

struct FigureModel {
    SegmentParameters segment[segmentCount];
    ChildLists children[segmentCount];
    SegmentSlots slots[segmentCount];  // the torso's slots are never used
    SpatialVector gravity;             // (0, -9.80665, 0, 0, 0, 0) in the fixed frame
    SpatialVector baseVelocity;        // the fixed base does not move
};

// The process-wide model; empty until buildFigureModel runs.
extern FigureModel figureModel;

// Builds the sine table, then the constant model and its child lists, and
// hands the constants to the planar passes of the dynamics.
void buildFigureModel();

// The joint transform of segment i at the given joint sine and cosine.
inline JointTransform jointTransform(const SegmentParameters& s, double sinTheta, double cosTheta) {
    return {s.linkLength, s.linkOffset, s.twistSin, s.twistCos, sinTheta, cosTheta};
}
