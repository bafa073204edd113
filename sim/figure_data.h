// Everything one running copy of a figure changes: its state, the knobs in
// force, the torques, the hand, and the working records of the passes and
// of the integrator. A model (figure_model.h) never changes; any number of
// data records may run on one model, each on its own thread, and each gives
// the bits it gives alone.
#pragma once

#include <vector>

#include "drawn_figure.h"
#include "figure_model.h"
#include "planar_tree.h"

// A hand holding a point of the drawn figure (hand_pull.h).
struct HandGrab {
    bool active = false;  // a point is held; nothing below counts while false
    int segment = 0;      // the held segment
    PlanePoint held{};    // the held point, in the segment's drawn frame
    PlanePoint target{};  // where the hand pulls it, in the drawing plane
};

// One evaluation of the equations of motion kept with everything it read
// (evaluation_memo.h): the state, the knobs, the keys' torques and the hand.
struct EvaluationMemo {
    const FigureModel* model = nullptr;  // the figure evaluated; none: nothing kept
    std::vector<double> p, q, appliedTorque, controllerStiffness;
    SpatialVector gravity{};
    double controllerDamping = 0.0;
    HandGrab hand;
    std::vector<double> momentumRate, jointVelocity, handTorque;
};

struct FigureData {
    FigureData() = default;
    // Sized for `model`: every angle, rate and momentum 0 (not the model's
    // start; see setStartState), the model's standard gains and gravity, a
    // key torque of 100, nothing held.
    explicit FigureData(const FigureModel& model);

    int n = 0;
    std::vector<double> q, p, qdot;  // angles, momenta, start-up rates (initMomenta reads them)

    // the knobs in force (physics_settings.h)
    SpatialVector gravity{};
    std::vector<double> controllerStiffness;
    double controllerDamping = 0.0;
    double keyTorque = 100.0;

    std::vector<double> controllerTorque;  // the PD torques of the last evaluation
    std::vector<double> appliedTorque;     // the keys' torques, written at the start of every step

    HandGrab hand;
    std::vector<double> handTorque;  // the hand's torque in the last evaluation with a grab
    double handStepWork = 0.0;       // the hand's work over the last step, J

    // working records of the passes, rewritten by every evaluation before they are read
    std::vector<double> jointSin, jointCos;
    std::vector<Vector3> segmentGravity;          // gravity in the segment frame
    std::vector<SpatialInertia> articulatedInertia;
    std::vector<SpatialVector> biasMomentum;
    std::vector<SpatialVector> parentVelocityInSegment;
    std::vector<SpatialVector> spatialVelocity;
    std::vector<SpatialVector> ownGravityWrench;
    std::vector<SpatialVector> subtreeGravityWrench;
    std::vector<SpatialVector> segmentMomentum, subtreeMomentum;  // initMomenta's
    // the slots: what each segment hands to its parent, already in the
    // parent's frame, which the parent sums over its children
    std::vector<SpatialInertia> articulatedInertiaInParent;  // projected articulated inertia
    std::vector<SpatialVector> biasMomentumInParent;         // bias momentum
    std::vector<SpatialVector> gravityWrenchInParent;        // weight of the whole subtree
    std::vector<SpatialVector> momentumInParent;             // momentum of the whole subtree (initMomenta)
    // the planar passes' records (planar_tree.h): by segment, or by record
    // of two for a tree with pairs
    std::vector<PlanarSegmentWork> planarWork;
    std::vector<PlanarPairWork> pairWork;

    // the integrator's stages: k1p k1q k2p k2q k3p k3q k4p k4q tp tq, n each
    std::vector<double> stages;
    // the energy books' last evaluation, which the next step begins from
    // when nothing it read has changed since
    EvaluationMemo memo;
    // the hand's scratch: a path to the pivot and its drawn frames
    std::vector<int> path;
    std::vector<DrawnFrame> frames;
};

// The process-wide data of the window program's figure, on which its entry
// points without a model or data (computeDerivatives(p, q, ...), stepRK4(p,
// q, ...), ...) run; built by buildFigureModel. Nothing else uses it.
extern FigureData figureData;
