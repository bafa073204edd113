// A hand that takes hold of a point of the drawn figure and pulls it towards
// a target in the drawing plane: a damped spring between the held point, as
// drawn, and the target, bounded in force, acting on the joints as the
// torques J^T F of the drawn point's geometry. Any front end describes the
// grab (segment, held point, target); the equations of motion add the
// torques in every evaluation while a grab is active, and the integrator
// counts the hand's work. Drawing units count as metres.
#pragma once

#include "drawn_figure.h"
#include "figure_data.h"
#include "figure_model.h"

// The spring: force = stiffness * (target - held point), at most
// handSpringLimit, less damping * (the held point's velocity); the sum at
// most handForceLimit. N per unit, N s per unit, N.
inline constexpr double handStiffness = 400.0;
inline constexpr double handDamping = 12.0;
inline constexpr double handSpringLimit = 150.0;
inline constexpr double handForceLimit = 300.0;

// Largest |coordinate| of a held point (in its segment's frame) and of a
// target (in the plane) that a grab accepts; targets beyond are clamped.
inline constexpr double handHeldReach = 100.0;
inline constexpr double handTargetReach = 1000.0;

// Takes hold of `held` (in the drawn frame of `segment`) and pulls it
// towards `target`. Refused, with nothing changed, for a segment that is not
// one of the model's, a non-finite number or a held point beyond
// handHeldReach; the target is clamped to handTargetReach.
bool takeHold(const FigureModel& model, FigureData& data, int segment, PlanePoint held, PlanePoint target);
// Moves the target of the grab; ignored while nothing is held or for a
// non-finite target.
void moveHandTarget(FigureData& data, PlanePoint target);
// Lets go.
void releaseHold(FigureData& data);

// torque = J^T F: the hand's torque on every joint for `grab` (active or
// not) at joint angles given by their sines and cosines and at the joint
// rates `jointVelocity`; 0 off the held segment's path. Reads the sines,
// cosines and rates of the path's joints only; uses data's scratch.
void computeHandTorques(const FigureModel& model, FigureData& data, double torque[], const HandGrab& grab,
                        const double jointSin[], const double jointCos[], const double jointVelocity[]);

// The pull of data's grab at the angles q (table sines) and rates of one
// evaluation: fills data.handTorque and adds it to momentumRate. Only while a grab is active.
void addHandTorques(const FigureModel& model, FigureData& data, double momentumRate[], const double q[],
                    const double jointVelocity[]);

// Where the held point of `grab` is drawn at the angles q (table sines).
PlanePoint heldPointAt(const FigureModel& model, FigureData& data, const HandGrab& grab, const double q[]);

// The window program's entry points, on figureModel and figureData.
bool takeHold(int segment, PlanePoint held, PlanePoint target);
void moveHandTarget(PlanePoint target);
void releaseHold();
void computeHandTorques(double torque[segmentCount], const HandGrab& grab, const double jointSin[segmentCount],
                        const double jointCos[segmentCount], const double jointVelocity[segmentCount]);
PlanePoint heldPointAt(const HandGrab& grab, const double q[segmentCount]);
