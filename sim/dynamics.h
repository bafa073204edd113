// The figure's equations of motion in Hamiltonian form, by recursive passes
// over the segment tree: O(n), no mass matrix.
#pragma once

#include "figure_model.h"

// Working records of one evaluation, all indexed by segment and rewritten by
// every evaluation before they are read.
struct DynamicsWorkspace {
    double jointSin[segmentCount];                         // table sine of q[i]
    double jointCos[segmentCount];                         // table cosine of q[i]
    Vector3 segmentGravity[segmentCount];                  // gravity in the segment frame
    SpatialInertia articulatedInertia[segmentCount];       // own inertia + children's projected ones
    SpatialVector biasMomentum[segmentCount];              // sum of the children's bias momenta
    SpatialVector parentVelocityInSegment[segmentCount];   // parent's velocity, segment frame
    SpatialVector spatialVelocity[segmentCount];           // segment frame velocity, segment frame
    SpatialVector ownGravityWrench[segmentCount];          // the segment's weight, about its joint
    SpatialVector subtreeGravityWrench[segmentCount];      // weight of the subtree, about the joint
};

extern DynamicsWorkspace dynamicsWorkspace;

// momentumRate = dp/dt and jointVelocity = dq/dt at the state (p, q), with
// the current appliedTorque and, while a grab is active, the hand's pull
// (hand_pull.h). Outputs are distinct from the inputs.
void computeDerivatives(const double p[segmentCount], const double q[segmentCount],
                        double momentumRate[segmentCount], double jointVelocity[segmentCount]);
