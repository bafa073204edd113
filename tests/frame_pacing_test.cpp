// The web page's pacing: how many steps an animation frame takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "frame_pacing.h"

namespace {

// Runs `frames` frames of `frameMs` each at `pace`, on a clock that moves on
// by `msPerStep` with every step; returns the steps of every frame.
std::vector<std::int64_t> frameSteps(Pace pace, int frames, double frameMs, double msPerStep) {
    double clock = 0.0;
    double owed = 0.0;
    std::vector<std::int64_t> steps;
    for (int k = 0; k < frames; ++k) {
        steps.push_back(runFrameSteps(owed, pace, frameMs, [&] { return clock; }, [&] { clock += msPerStep; }));
        EXPECT_GE(owed, 0.0);
        EXPECT_LE(owed, maxLagMs * 0.001 / timeStep);
    }
    return steps;
}

std::int64_t total(const std::vector<std::int64_t>& steps) {
    std::int64_t sum = 0;
    for (std::int64_t s : steps) sum += s;
    return sum;
}

}  // namespace

TEST(FramePacing, FollowingTheClockKeepsSimulatedTimeLevelWithItsRate) {
    // A second of 60 frames on a fast machine: 1 / 0.00015 = 6666.7 steps, a quarter in slow motion.
    const auto realTime = frameSteps(Pace::realTime, 60, 1000.0 / 60.0, 0.0);
    EXPECT_EQ(total(realTime), 6666);
    EXPECT_EQ(realTime.front(), 111);
    EXPECT_EQ(total(frameSteps(Pace::slowMotion, 60, 1000.0 / 60.0, 0.0)), 1666);
    EXPECT_EQ(total(frameSteps(Pace::realTime, 1, 0.0, 0.0)), 0);
}

TEST(FramePacing, ABusyMachineStopsAtTheBudgetAndFallsBehind) {
    // At 1 ms a step the first look at the clock is already past the budget:
    // the frame stops there, and of what real time still asked for (a
    // second's worth) only maxLagMs is carried into the next frame.
    static_assert(stepsPerClockLook > frameBudgetMs);
    EXPECT_EQ(frameSteps(Pace::realTime, 3, 1000.0, 1.0), (std::vector<std::int64_t>(3, stepsPerClockLook)));
    // The fastest pace fills the budget whatever the frame's length: at 1/64 ms
    // a step, the first look at the clock past 10 ms comes after 650 steps.
    EXPECT_EQ(frameSteps(Pace::fastest, 2, 0.0, 1.0), (std::vector<std::int64_t>(2, stepsPerClockLook)));
    EXPECT_EQ(frameSteps(Pace::fastest, 1, 16.0, 1.0 / 64.0), (std::vector<std::int64_t>{650}));
}

TEST(FramePacing, AFrameThatCameLateIsMadeUpOverTheNextOnes) {
    // 0.08 ms a step: a 60 Hz frame's 111 steps take 9 ms, within the
    // budget. One frame 50 ms late asks for 444 steps more than its budget
    // takes; the frames after it take them, so that the 1050 ms give 7000
    // steps. A frame a second late is made up for maxLagMs of it at most.
    const auto second = [](double lateMs) {
        double clock = 0.0, owed = 0.0;
        std::int64_t steps = 0;
        for (int k = 0; k < 60; ++k)
            steps += runFrameSteps(owed, Pace::realTime, 1000.0 / 60.0 + (k == 10 ? lateMs : 0.0), [&] { return clock; },
                                   [&] { clock += 0.08; });
        return steps;
    };
    EXPECT_EQ(second(0.0), 6666);
    EXPECT_EQ(second(50.0), 7000);
    EXPECT_LT(second(1000.0), 7000 + maxLagMs * 0.001 / timeStep);
}