// The four arrow keys and what they switch. Key codes are GLUT's.
#pragma once

#include <cstdint>

inline constexpr int keyLeft = 100;
inline constexpr int keyUp = 101;
inline constexpr int keyRight = 102;
inline constexpr int keyDown = 103;

// The user's whole influence on the dynamics.
struct KeyState {
    std::int32_t limbTorqueMode = 0;        // 1: torques on the upper arms and legs
    std::int32_t torsoTorqueDirection = 0;  // -1, 0, +1: torque on the torso
};

// LEFT: direction -1. RIGHT: direction +1. UP: mode 0, direction 0.
// DOWN: mode 1, direction 0. Any other key changes nothing.
void applySpecialKey(KeyState& keys, int key);
