// A hand that takes hold of a point of the drawn figure and pulls it towards
// a target in the drawing plane: a damped spring between the held point, as
// drawn, and the target, bounded in force, acting on the joints as the
// torques J^T F of the drawn point's geometry. Any front end describes the
// grab (segment, held point, target); the equations of motion add the
// torques in every evaluation while a grab is active, and the integrator
// counts the hand's work. Drawing units count as metres.
#pragma once

#include "drawn_figure.h"
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

struct HandGrab {
    bool active = false;  // a point is held; nothing below counts while false
    int segment = 0;      // the held segment, a SegmentIndex
    PlanePoint held{};    // the held point, in the segment's drawn frame
    PlanePoint target{};  // where the hand pulls it, in the drawing plane
};

// The process-wide grab, changed by the front ends only between steps.
extern HandGrab handGrab;
// The hand's torque on every joint in the last evaluation with a grab
// active (0 off the held segment's path to the pivot).
extern double handTorque[segmentCount];
// The hand's work over the last stepRK4 (0 when no grab was active), J:
// the hand's power handTorque . q' integrated with the step's own weights.
extern double handStepWork;

// Takes hold of `held` (in the drawn frame of `segment`) and pulls it
// towards `target`. Refused, with nothing changed, for a segment outside
// 0..12, a non-finite number or a held point beyond handHeldReach; the
// target is clamped to handTargetReach.
bool takeHold(int segment, PlanePoint held, PlanePoint target);
// Moves the target of the grab; ignored while nothing is held or for a
// non-finite target.
void moveHandTarget(PlanePoint target);
// Lets go.
void releaseHold();

// torque = J^T F: the hand's torque on every joint for `grab` (active or
// not) at joint angles given by their sines and cosines and at the joint
// rates `jointVelocity`; 0 off the held segment's path. Reads the sines,
// cosines and rates of the path's joints only.
void computeHandTorques(double torque[segmentCount], const HandGrab& grab, const double jointSin[segmentCount],
                        const double jointCos[segmentCount], const double jointVelocity[segmentCount]);

// The pull of handGrab at the angles q (table sines) and rates of one
// evaluation: fills handTorque and adds it to momentumRate. Only while a grab is active.
void addHandTorques(double momentumRate[segmentCount], const double q[segmentCount],
                    const double jointVelocity[segmentCount]);

// Where the held point of `grab` is drawn at the angles q (table sines).
PlanePoint heldPointAt(const HandGrab& grab, const double q[segmentCount]);
