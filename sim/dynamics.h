// A figure's equations of motion in Hamiltonian form, by recursive passes
// over its segment tree: O(n), no mass matrix.
#pragma once

#include "figure_data.h"
#include "figure_model.h"

// momentumRate = dp/dt and jointVelocity = dq/dt of `model` at the state
// (p, q), with data's knobs and appliedTorque and, while data's hand holds a
// point, its pull (hand_pull.h), added last. Outputs are distinct from the
// inputs; every array has model.n entries. Runs the planar passes wherever
// they apply, else the general ones; both give the same bits.
void computeDerivatives(const FigureModel& model, FigureData& data, const double p[], const double q[],
                        double momentumRate[], double jointVelocity[]);

// The same by the general passes: six-component spatial vectors and
// inertias for any twist, offset and centre of mass. The reference the
// planar passes are held to; fills every working record of data.
void computeDerivativesGeneral(const FigureModel& model, FigureData& data, const double p[], const double q[],
                               double momentumRate[], double jointVelocity[]);

// The general passes with the given sines and cosines of q in place of
// the table's: for comparisons with exact physics.
void computeDerivativesWithTrig(const FigureModel& model, FigureData& data, const double p[], const double q[],
                                const double jointSin[], const double jointCos[], double momentumRate[],
                                double jointVelocity[]);

// The same by the planar passes: only the in-plane components. For the
// window program's tree its four limbs side by side as lanes
// (planar_dynamics.cpp), for any other planar tree one segment at a time
// (planar_tree_dynamics.cpp), a wide one two at a time
// (planar_tree_pairs.cpp). Only where planarPassesApply; writes
// segmentGravity, controllerTorque and planarWork or pairWork of data, no
// other working record.
void computeDerivativesPlanar(const FigureModel& model, FigureData& data, const double p[], const double q[],
                              double momentumRate[], double jointVelocity[]);

// Whether the planar passes serve `model` and give the general passes'
// numbers: a planar tree (FigureModel::planar), and gravity in the plane now.
bool planarPassesApply(const FigureModel& model, const FigureData& data);

// The window program's entry points: the same on figureModel and figureData.
void computeDerivatives(const double p[segmentCount], const double q[segmentCount],
                        double momentumRate[segmentCount], double jointVelocity[segmentCount]);
void computeDerivativesGeneral(const double p[segmentCount], const double q[segmentCount],
                               double momentumRate[segmentCount], double jointVelocity[segmentCount]);
void computeDerivativesWithTrig(const double p[segmentCount], const double q[segmentCount],
                                const double jointSin[segmentCount], const double jointCos[segmentCount],
                                double momentumRate[segmentCount], double jointVelocity[segmentCount]);
void computeDerivativesPlanar(const double p[segmentCount], const double q[segmentCount],
                              double momentumRate[segmentCount], double jointVelocity[segmentCount]);
bool planarPassesApply();
