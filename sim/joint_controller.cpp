#include "joint_controller.h"

double controllerTorque[segmentCount];
double appliedTorque[segmentCount];

// The held pose: torso hanging, upper arms spread by 45 degrees and upper
// legs by 30 degrees from the torso's axis, every other joint straight.
const double jointTarget[segmentCount] = {
    -1.570796, -0.785398, 0, 0, 0.785398, 0, 0, -0.5235986666666667, 0, 0, 0.5235986666666667, 0, 0,
};
// The stiffness is not mirrored between the sides.
const double jointStiffness[segmentCount] = {50, 60, 20, 10, 50, 20, 10, 50, 20, 20, 60, 20, 20};

double controllerStiffness[segmentCount] = {50, 60, 20, 10, 50, 20, 10, 50, 20, 20, 60, 20, 20};
double controllerDamping = jointDamping;
double keyTorque = 100.0;

void computeJointTorques(double out[segmentCount], const double jointVelocity[segmentCount],
                         const double q[segmentCount]) {
    for (int i = 0; i < segmentCount; ++i)
        out[i] = controllerStiffness[i] * (jointTarget[i] - q[i]) - controllerDamping * jointVelocity[i];
}
