// The planar passes of any planar tree (planar_tree_dynamics.cpp): the
// model's constants in their layout, and the working record each segment
// keeps in FigureData.
#pragma once

#include <array>
#include <vector>

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

struct PlanarTreeModel {
    std::vector<PlanarTreeSegment> segment;  // by index
    // Where a tree is wide enough, its inward pass takes two segments of
    // one depth at a time as the two lanes of a vector: every segment below
    // the roots, deepest first, each depth by increasing index, in pairs
    // (the second -1 where a depth's count is odd). Empty for a tree whose
    // depths hold one segment each, mostly: a chain.
    std::vector<std::array<int, 2>> inwardPairs;
};

// Everything the planar passes keep of one segment during an evaluation,
// the in-plane components (linear x, y and angular z) only. Before a
// segment is visited inward, its inertia, bias and weight hold its own
// part plus those of its children visited so far (all but the last). The
// twelve sums that children add into, xx to weightW, lie side by side from
// a 16-byte boundary, so that two of them take one vector operation.
struct alignas(16) PlanarSegmentWork {
    double sinQ, cosQ;                          // of the joint angle
    double xx, xy, xw, yy, yw, ww;              // articulated inertia
    double biasX, biasY, biasW;                 // bias momentum
    double weightX, weightY, weightW;           // weight of the subtree, about the joint
    double velocityX, velocityY, velocityW;     // spatial velocity
};
