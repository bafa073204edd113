// A figure: planar rigid segments joined by revolute joints about parallel z
// axes in a tree that hangs from a fixed pivot, and everything about it that
// never changes once it is built (its parameters, its tree and the orders
// the passes visit it in, its controller, its keys, its names and how it is
// drawn). What a run changes lives apart, in FigureData (figure_data.h).
//
// Segment frames have their origin at the joint, x along the segment, z on
// the joint axis. Units are SI.
//
// The window program's figure, the thirteen segments below, is one such
// model: figureModel, built by buildFigureModel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "spatial_algebra.h"

// The window program's figure.
enum SegmentIndex : int {
    torso = 0,
    rightUpperArm, rightLowerArm, rightHand,
    leftUpperArm, leftLowerArm, leftHand,
    rightUpperLeg, rightLowerLeg, rightFoot,
    leftUpperLeg, leftLowerLeg, leftFoot,
    segmentCount
};

// The window program's figure's joint angles (radians, each against its
// parent's frame), the momenta conjugate to them, and the start-up joint
// rates that only initMomenta reads.
struct FigureState {
    double p[segmentCount];
    double q[segmentCount];
    double qdot[segmentCount];
};

// Its tree. Outward puts every parent before its children, inward every
// child before its parent; the torso hangs from the fixed base (-1).
inline constexpr int outwardOrder[segmentCount] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
inline constexpr int inwardOrder[segmentCount] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 0};
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

// The most segments a figure may have.
inline constexpr int maxSegments = 4096;

// A joint an arrow key drives, and the sign of the key torque on it.
struct KeyJoint {
    int joint;
    double sign;  // +1 or -1
};

// The window program's figure's limbs as lanes, for its planar passes
// (planar_dynamics.cpp); absent for every other tree.
struct PlanarLimbModel;
// Any planar tree in the layout of the planar passes (planar_tree_dynamics.cpp).
struct PlanarTreeModel;

struct FigureModel {
    std::string name;  // "marionette", "chain:12", ... or the name a file gives
    int n = 0;         // segments

    // per segment, indexed 0 .. n - 1, every parent before its children
    std::vector<std::string> segmentName;
    std::vector<SegmentParameters> segment;
    std::vector<int> parent;         // parent[i] < i; -1: hangs from the fixed pivot
    std::vector<double> startAngle;  // the angles a run starts from (at rest), rad
    std::vector<double> jointTarget;     // the controller's pose, rad
    std::vector<double> jointStiffness;  // the controller's K_i, N m / rad
    double jointDamping = 0.0;           // the controller's damping on every joint, N m s / rad

    // the tree: i's children are childList[childStart[i] .. childStart[i + 1]),
    // in increasing index, which is the order every sum over them takes
    std::vector<int> childStart;
    std::vector<int> childList;
    std::vector<int> outward;  // 0, 1, ..., n - 1
    std::vector<int> inward;   // depth first, every child before its parent

    SpatialVector gravity{};       // standard gravity in the fixed frame
    SpatialVector baseVelocity{};  // the fixed base does not move

    // the arrow keys: LEFT and RIGHT turn torsoJoint (-1: none) by -/+ the key
    // torque, DOWN puts sign * the key torque on each limb joint
    int torsoJoint = -1;
    std::vector<KeyJoint> limbJoints;

    // how it is drawn: with the window program's pictures, or as bars; each
    // joint's place in its parent's drawn frame (the pivot's for a root), and
    // each segment's drawn length, in drawing units (a metre each, for bars)
    bool pictures = false;
    std::vector<double> drawnJointX, drawnJointY;
    std::vector<double> drawnLength;

    // set by finishFigureModel
    bool planar = false;  // no twist, offset or out-of-plane centre of mass or inertia coupling; base at rest
    std::shared_ptr<const PlanarLimbModel> limbLanes;  // the window program's tree only
    std::shared_ptr<const PlanarTreeModel> planarTree;  // every planar tree
};

// Completes a model whose name, n and per-segment fields are set: checks
// them, then builds the tree (children, visiting orders) and the planar
// passes' layout. On a fault returns false with `error` one line naming the
// segment and the field, and the model unusable.
bool finishFigureModel(FigureModel& model, std::string& error);

// The window program's figure, complete.
FigureModel marionetteFigureModel();

// The window program's figure, built once and shared, read-only, by every run
// that names it.
const std::shared_ptr<const FigureModel>& marionetteFigure();

// The process-wide model of the window program; empty until buildFigureModel runs.
extern FigureModel figureModel;

// Builds the sine table (once), the window program's model into
// figureModel, and the process-wide data the window program's entry points
// run on (figureData, figure_data.h).
void buildFigureModel();

// The joint transform of a segment at the given joint sine and cosine.
inline JointTransform jointTransform(const SegmentParameters& s, double sinTheta, double cosTheta) {
    return {s.linkLength, s.linkOffset, s.twistSin, s.twistCos, sinTheta, cosTheta};
}
