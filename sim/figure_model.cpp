#include "figure_model.h"

#include <cstdio>
#include <cstdlib>

#include "dynamics.h"
#include "sine_table.h"

FigureModel figureModel;

namespace {

// Mass, Ixx, Iyy, Izz of each segment; products of inertia are zero.
struct MassRow {
    double mass, ixx, iyy, izz;
};

constexpr MassRow massTable[segmentCount] = {
    {2.0, 0.01, 0.33, 0.66},   // torso
    {1.0, 0.01, 0.33, 0.33},   // rightUpperArm
    {1.0, 0.01, 0.33, 0.33},   // rightLowerArm
    {0.2, 0.01, 0.066, 0.066}, // rightHand
    {1.0, 0.01, 0.33, 0.33},   // leftUpperArm
    {1.0, 0.01, 0.33, 0.33},   // leftLowerArm
    {0.2, 0.01, 0.33, 0.066},  // leftHand
    {1.0, 0.01, 0.33, 0.33},   // rightUpperLeg
    {0.2, 0.01, 0.33, 0.066},  // rightLowerLeg
    {1.0, 0.01, 0.33, 0.33},   // rightFoot
    {1.0, 0.01, 0.33, 0.33},   // leftUpperLeg
    {1.0, 0.01, 0.33, 0.33},   // leftLowerLeg
    {0.2, 0.01, 0.33, 0.066},  // leftFoot
};

// Hands a child's four slots to its parent's four lists, in the order
// articulated inertia, bias momentum, gravity wrench, momentum.
void appendChild(int parent, int child) {
    ChildLists& lists = figureModel.children[parent];
    const SegmentSlots& slots = figureModel.slots[child];
    const bool appended = lists.childArticulatedInertias.append(slots.articulatedInertiaInParent) &&
                          lists.childBiasMomenta.append(slots.biasMomentumInParent) &&
                          lists.childGravityWrenches.append(slots.gravityWrenchInParent) &&
                          lists.childMomenta.append(slots.momentumInParent);
    if (!appended) {
        std::fprintf(stderr, "marionette: segment %d has more than %d children\n", parent, maxChildren);
        std::exit(1);
    }
}

}  // namespace

void buildFigureModel() {
    buildSineTable(sineTableSize);
    figureModel.baseVelocity = {0, 0, 0, 0, 0, 0};
    figureModel.gravity = {0, -9.80665, 0, 0, 0, 0};

    // every segment: centre of mass half-way along, joint 1.0 along the
    // parent's x axis (the torso's at the pivot), no twist, no offset
    for (int i = 0; i < segmentCount; ++i) {
        const MassRow& row = massTable[i];
        SegmentParameters& s = figureModel.segment[i];
        s.rotationalInertia = {row.ixx, 0, 0, row.iyy, 0, row.izz};
        s.centreOfMass = {0.5, 0, 0};
        s.mass = row.mass;
        s.linkLength = i == torso ? 0.0 : 1.0;
        s.linkOffset = 0;
        s.twistSin = 0;
        s.twistCos = 1;
        figureModel.children[i] = ChildLists{};
    }

    // each limb from its outermost joint inwards: the third segment into
    // the second's lists, the second into the first's, the first into the
    // torso's (so the torso's lists hold 1, 4, 7, 10 in that order)
    for (const int first : {rightUpperArm, leftUpperArm, rightUpperLeg, leftUpperLeg}) {
        appendChild(first + 1, first + 2);
        appendChild(first, first + 1);
        appendChild(torso, first);
    }

    // the same constants laid out for the planar passes of the dynamics
    preparePlanarPasses();
}
