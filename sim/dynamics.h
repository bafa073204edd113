// The figure's equations of motion in Hamiltonian form, by recursive passes
// over the segment tree: O(n), no mass matrix.
#pragma once

#include "figure_model.h"

// Working records of the general passes, all indexed by segment and
// rewritten by every evaluation before they are read. The planar passes keep
// their own records and write only segmentGravity here, which the energy
// bookkeeping reads after an evaluation.
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
// (hand_pull.h), added last. Outputs are distinct from the inputs. Runs the
// planar passes whenever they apply (always, for this figure), else the
// general ones; both give the same bits.
void computeDerivatives(const double p[segmentCount], const double q[segmentCount],
                        double momentumRate[segmentCount], double jointVelocity[segmentCount]);

// The same by the general passes: six-component spatial vectors and
// inertias for any twist, offset and centre of mass. The reference the
// planar passes are held to; fills every record of dynamicsWorkspace.
void computeDerivativesGeneral(const double p[segmentCount], const double q[segmentCount],
                               double momentumRate[segmentCount], double jointVelocity[segmentCount]);

// The general passes with the given sines and cosines of q in place of
// the table's: for comparisons with exact physics.
void computeDerivativesWithTrig(const double p[segmentCount], const double q[segmentCount],
                                const double jointSin[segmentCount], const double jointCos[segmentCount],
                                double momentumRate[segmentCount], double jointVelocity[segmentCount]);

// The same by the planar passes (planar_dynamics.cpp): only the in-plane
// components, the four limbs side by side as lanes. Exact only for a planar
// model with gravity in the plane; see planarPassesApply.
void computeDerivativesPlanar(const double p[segmentCount], const double q[segmentCount],
                              double momentumRate[segmentCount], double jointVelocity[segmentCount]);

// Takes the model's constants into the planar passes' layout and checks
// that the model is planar: no twist, no offset, every centre of mass in
// the plane, no product of inertia with z, the base at rest. buildFigureModel
// calls it last.
void preparePlanarPasses();

// Whether the planar passes give the general passes' numbers: the model
// checked by preparePlanarPasses, and gravity in the plane now.
bool planarPassesApply();
