// How often the window program asks for a picture.
#pragma once

#include <cstdint>

inline constexpr std::uint64_t stepsPerRedraw = 100;  // simulation steps per requested picture

// Counts one more simulation step; true when the new count is a multiple of
// stepsPerRedraw. The count is unsigned 64-bit, so it cannot overflow in any
// run: even a million steps a second would take over 500,000 years to wrap it.
inline bool countStep(std::uint64_t& stepCount) {
    ++stepCount;
    return stepCount % stepsPerRedraw == 0;
}
