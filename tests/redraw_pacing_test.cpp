// The window program's redraw pacing: a picture after every hundredth step,
// however long the program runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "redraw_pacing.h"

namespace {

// The counts, from `start` on, after which a picture is requested within `steps` steps.
std::vector<std::uint64_t> redrawsAfter(std::uint64_t start, int steps) {
    std::uint64_t stepCount = start;
    std::vector<std::uint64_t> redraws;
    for (int k = 0; k < steps; ++k) {
        if (countStep(stepCount)) {
            redraws.push_back(stepCount);
        }
    }
    return redraws;
}

}  // namespace

TEST(RedrawPacing, FirstPictureFollowsThe100thStepAndNoStepInBetween) {
    EXPECT_EQ(redrawsAfter(0, 99), std::vector<std::uint64_t>{});
    EXPECT_EQ(redrawsAfter(0, 350), (std::vector<std::uint64_t>{100, 200, 300}));
}

TEST(RedrawPacing, KeepsItsRhythmPastTheRangeOf32BitCounters) {
    // 2^31 - 1 and 2^32 - 1 are where a signed or unsigned 32-bit count would end.
    for (const std::uint64_t limit : {std::uint64_t{2147483647}, std::uint64_t{4294967295}}) {
        SCOPED_TRACE(limit);
        const std::uint64_t start = limit - 250;
        const auto redraws = redrawsAfter(start, 500);
        ASSERT_EQ(redraws.size(), 5u);
        EXPECT_EQ(redraws.front() % 100, 0u);
        for (std::size_t k = 1; k < redraws.size(); ++k) {
            EXPECT_EQ(redraws[k] - redraws[k - 1], 100u);
        }
    }
}
