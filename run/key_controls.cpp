#include "key_controls.h"

void applySpecialKey(KeyState& keys, int key) {
    switch (key) {
        case keyLeft:
            keys.torsoTorqueDirection = -1;
            break;
        case keyRight:
            keys.torsoTorqueDirection = 1;
            break;
        case keyUp:
            keys.limbTorqueMode = 0;
            keys.torsoTorqueDirection = 0;
            break;
        case keyDown:
            keys.limbTorqueMode = 1;
            keys.torsoTorqueDirection = 0;
            break;
        default:
            break;
    }
}
