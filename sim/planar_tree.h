// The planar passes of any planar tree (planar_tree_dynamics.cpp, and
// planar_tree_pairs.cpp for a wide one): the model's constants in their
// layout, and the working records they keep in FigureData.
#pragma once

#include <vector>

struct FigureModel;

// One segment's constants: its own rigid-body inertia about the joint in
// the plane, as composeInertia writes it (xx = yy = the mass, xy = 0), its
// weight's lever, its link, and where it sits in the tree.
struct PlanarTreeSegment {
    double mass, comX, comY, linkLength;
    double ownXw, ownYw, ownWw;  // -m c_y, m c_x, Izz
    int parent;                  // -1: hangs from the pivot
    int children;                // how many
    bool lastChild;              // the last of its parent's children (a root: true)
    bool followsParent;          // its parent is segment i - 1, the one visited just before it outward
};

// A wide tree's segments two to a record, one in each lane of a vector of
// two doubles (planar_tree_pairs.cpp): the constants of one record. A
// segment's slot is 2 record + lane.
struct alignas(16) PlanarPair {
    double mass[2], comX[2], comY[2], linkLength[2], ownXw[2], ownYw[2], ownWw[2];
    int segment[2];  // the lanes' segments; where lane 1 is empty, lane 0's again
    int parent[2];   // the slots of the lanes' parents, -1 for a root
    bool full;       // lane 1 holds a segment of its own
    bool matched;    // full, and lane k's parent sits in lane k of one record
};

struct PlanarTreeModel {
    std::vector<PlanarTreeSegment> segment;  // by index
    // Where a tree is wide enough, its passes take two segments of one
    // depth at a time (PlanarPair): the records from the roots down, depth
    // by depth; the inward pass visits them backwards. Empty for a tree
    // whose depths hold one segment each, mostly: a chain.
    std::vector<PlanarPair> pairs;
};

// The pairs of `tree` (PlanarTreeModel::pairs), where at least half of its
// segments share a record; otherwise none. Only where GCC's vectors are.
std::vector<PlanarPair> makePlanarPairs(const FigureModel& tree);

// Everything the passes in pairs keep of one record during an evaluation,
// as PlanarSegmentWork below keeps of one segment: lane k for the record's
// segment k.
struct alignas(16) PlanarPairWork {
    double sinQ[2], cosQ[2], gravityX[2], gravityY[2];
    double xx[2], xy[2], xw[2], yy[2], yw[2], ww[2];
    double biasX[2], biasY[2], biasW[2];
    double weightX[2], weightY[2], weightW[2];
    double velocityX[2], velocityY[2], velocityW[2];
};

// Everything the planar passes keep of one segment during an evaluation,
// the in-plane components (linear x, y and angular z) only. Before a
// segment is visited inward, its inertia, bias and weight hold its own
// part plus those of its children visited so far (all but the last).
struct PlanarSegmentWork {
    double sinQ, cosQ;                          // of the joint angle
    double xx, xy, xw, yy, yw, ww;              // articulated inertia
    double biasX, biasY, biasW;                 // bias momentum
    double weightX, weightY, weightW;           // weight of the subtree, about the joint
    double velocityX, velocityY, velocityW;     // spatial velocity
};
