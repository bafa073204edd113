// The drawing's arithmetic: the head's nod, the quad of a segment picture,
// the aspect ratio and the camera's eye point.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

#include "figure_geometry.h"

namespace {

// The pictures (1-based) after whose nod step the direction turned, up to `pictures`.
std::vector<int> nodReversals(int pictures) {
    float angle = 0.0f;
    float speed = 1.0f;
    std::vector<int> reversals;
    for (int picture = 1; picture <= pictures; ++picture) {
        const float before = speed;
        stepHeadNod(angle, speed);
        if (speed != before) {
            reversals.push_back(picture);
        }
    }
    return reversals;
}

Texture recordOfSize(std::uint32_t width, std::uint32_t height) {
    Texture record{};
    record.width = width;
    record.height = height;
    return record;
}

}  // namespace

TEST(HeadNod, StepsByATenthOfADegreeInSinglePrecision) {
    float angle = 0.0f;
    float speed = 1.0f;
    stepHeadNod(angle, speed);
    EXPECT_EQ(angle, 0.1f);
    stepHeadNod(angle, speed);
    EXPECT_EQ(angle, 0.2f);
    stepHeadNod(angle, speed);
    EXPECT_EQ(angle, 0.3f);
    EXPECT_EQ(speed, 1.0f);
}

TEST(HeadNod, TurnsAfterThe61stPictureThenEvery122) {
    const std::vector<int> reversals = nodReversals(61 + 4 * 122);
    EXPECT_EQ(reversals, (std::vector<int>{61, 183, 305, 427, 549}));
}

TEST(HeadNod, TurnsJustPastSixDegreesAndStaysWithinTheSwing) {
    float angle = 0.0f;
    float speed = 1.0f;
    for (int picture = 1; picture <= 60; ++picture) {
        stepHeadNod(angle, speed);
    }
    EXPECT_LT(angle, 6.0f);
    EXPECT_EQ(speed, 1.0f);
    stepHeadNod(angle, speed);
    EXPECT_NEAR(angle, 6.1f, 1e-4f);
    EXPECT_EQ(speed, -1.0f);
    stepHeadNod(angle, speed);
    EXPECT_NEAR(angle, 6.0f, 1e-4f);
    for (int picture = 0; picture < 1000; ++picture) {
        stepHeadNod(angle, speed);
        ASSERT_LE(std::fabs(angle), 6.1f + 1e-4f);
    }
}

TEST(SegmentQuad, A256By64PictureSpansOneUnitWithItsJointNearTheBackEnd) {
    const auto corners = segmentQuad(recordOfSize(256, 64));
    // Texture coordinate, then position, in drawing order.
    const double expected[4][4] = {
        {0.0, 1.0, -0.1, -0.25},
        {0.0, 0.0, 1.9, -0.25},
        {1.0, 0.0, 1.9, 0.25},
        {1.0, 1.0, -0.1, 0.25},
    };
    for (std::size_t k = 0; k < corners.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(corners[k].s, expected[k][0]);
        EXPECT_EQ(corners[k].t, expected[k][1]);
        EXPECT_DOUBLE_EQ(corners[k].x, expected[k][2]);
        EXPECT_DOUBLE_EQ(corners[k].y, expected[k][3]);
    }
}

TEST(SegmentQuad, AnUnloadedRecordHasNoArea) {
    for (const QuadCorner& corner : segmentQuad(Texture{})) {
        EXPECT_EQ(corner.x, 0.0);
        EXPECT_EQ(corner.y, 0.0);
    }
}

TEST(SegmentQuad, TheLargestPictureKeepsItsSize) {
    const auto corners = segmentQuad(recordOfSize(65535, 65535));
    EXPECT_DOUBLE_EQ(corners[2].x, 1.9 * 65535.0 / 256.0);
    EXPECT_DOUBLE_EQ(corners[2].y, 65535.0 / 256.0);
}

TEST(AspectRatio, IsWidthOverHeightInFloatingPoint) {
    EXPECT_EQ(viewAspectRatio(400, 400), 1.0f);
    EXPECT_EQ(viewAspectRatio(800, 400), 2.0f);
    EXPECT_EQ(viewAspectRatio(400, 800), 0.5f);
    EXPECT_EQ(viewAspectRatio(1, 3), 1.0f / 3.0f);
}

TEST(AspectRatio, StaysFiniteForAWindowOfNoHeight) {
    EXPECT_EQ(viewAspectRatio(800, 0), 800.0f);
    EXPECT_EQ(viewAspectRatio(0, 0), 0.0f);
    EXPECT_TRUE(std::isfinite(viewAspectRatio(std::numeric_limits<int>::max(), 0)));
}

TEST(Camera, TheFixedEyeSitsFifteenUnitsOutOnTheZAxis) {
    const Point3 eye = eyeOnCircle(15.0, 1.0, 0.0);
    EXPECT_EQ(eye.x, 0.0);
    EXPECT_EQ(eye.y, 1.0);
    EXPECT_EQ(eye.z, 15.0);
}

TEST(Camera, AQuarterTurnOfAzimuthMovesTheEyeOntoTheXAxis) {
    const Point3 eye = eyeOnCircle(15.0, 1.0, std::numbers::pi / 2.0);
    EXPECT_DOUBLE_EQ(eye.x, 15.0);
    EXPECT_EQ(eye.y, 1.0);
    EXPECT_NEAR(eye.z, 0.0, 1e-12);
}

TEST(JointAngle, RadiansBecomeSinglePrecisionDegrees) {
    EXPECT_EQ(jointAngleDegrees(std::numbers::pi), 180.0f);
    EXPECT_EQ(jointAngleDegrees(0.0), 0.0f);
    EXPECT_NEAR(jointAngleDegrees(-1.57), -89.954373f, 1e-4f);
}

// The eye (0, -1, 15) looks at (0, -2, 0), dipping by atan(1/15); a line of
// sight at the top or bottom edge of the view is 22.5 degrees above or
// below that and meets the plane at y = -1 - 15 tan(dip).
TEST(Camera, PointsOfTheViewMapOntoThePlaneAndBack) {
    const CameraView view{{0.0, -1.0, 15.0}, {0.0, -2.0, 0.0}, 45.0, 1.0};
    PlanePoint centre{}, top{}, bottom{};
    ASSERT_TRUE(unprojectToPlane(centre, view, 0.0, 0.0));
    EXPECT_NEAR(centre.x, 0.0, 1e-12);
    EXPECT_NEAR(centre.y, -2.0, 1e-12);
    const double dip = std::atan(1.0 / 15.0), half = std::numbers::pi / 8.0;
    ASSERT_TRUE(unprojectToPlane(top, view, 0.0, 1.0));
    ASSERT_TRUE(unprojectToPlane(bottom, view, 0.0, -1.0));
    EXPECT_NEAR(top.y, -1.0 - 15.0 * std::tan(dip - half), 1e-12);
    EXPECT_NEAR(bottom.y, -1.0 - 15.0 * std::tan(dip + half), 1e-12);

    // a wider view shows more across, and every point goes back where it came from
    for (const double aspect : {1.0, 2.0, 0.5}) {
        const CameraView wide{view.eye, view.centre, 45.0, aspect};
        for (const double x : {-1.0, -0.3, 0.8}) {
            for (const double y : {-1.0, 0.2, 0.9}) {
                PlanePoint p{};
                double back[2];
                ASSERT_TRUE(unprojectToPlane(p, wide, x, y));
                ASSERT_TRUE(projectFromPlane(back, wide, p));
                EXPECT_NEAR(back[0], x, 1e-12);
                EXPECT_NEAR(back[1], y, 1e-12);
            }
        }
        PlanePoint edge{};
        ASSERT_TRUE(unprojectToPlane(edge, wide, 1.0, 0.0));
        EXPECT_NEAR(edge.x, aspect * std::hypot(15.0, 1.0) * std::tan(half) * 15.0 / 15.0, 1e-9);
    }
    // a line of sight that never reaches the plane
    PlanePoint untouched{7.0, 7.0};
    EXPECT_FALSE(unprojectToPlane(untouched, {{0.0, 0.0, 15.0}, {0.0, 0.0, 30.0}, 45.0, 1.0}, 0.0, 0.0));
    EXPECT_EQ(untouched.x, 7.0);
}
