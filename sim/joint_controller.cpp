#include "joint_controller.h"

// The held pose: torso hanging, upper arms spread by 45 degrees and upper
// legs by 30 degrees from the torso's axis, every other joint straight.
const double jointTarget[segmentCount] = {
    -1.570796, -0.785398, 0, 0, 0.785398, 0, 0, -0.5235986666666667, 0, 0, 0.5235986666666667, 0, 0,
};
// The stiffness is not mirrored between the sides.
const double jointStiffness[segmentCount] = {50, 60, 20, 10, 50, 20, 10, 50, 20, 20, 60, 20, 20};

void computeJointTorques(const FigureModel& model, const FigureData& data, double out[],
                         const double jointVelocity[], const double q[]) {
    const double* target = model.jointTarget.data();
    const double* stiffness = data.controllerStiffness.data();
    const double damping = data.controllerDamping;
    for (int i = 0; i < model.n; ++i) out[i] = jointTorque(stiffness[i], target[i], q[i], damping, jointVelocity[i]);
}

void computeJointTorques(double out[segmentCount], const double jointVelocity[segmentCount],
                         const double q[segmentCount]) {
    computeJointTorques(figureModel, figureData, out, jointVelocity, q);
}
