// What a pointer takes hold of: the segment on top where the picture shows,
// and the held point in that segment's drawn frame.
#include "figure_picking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sine_table.h"

namespace {

// A 32-bit picture whose alpha is opaque(row, column) ? 255 : 0; the
// storage lives in `store`.
template <class Opaque>
Texture picture(std::vector<unsigned char>& store, std::uint32_t width, std::uint32_t height, Opaque opaque) {
    store.assign(static_cast<std::size_t>(width) * height * 4, 0);
    for (std::uint32_t row = 0; row < height; ++row)
        for (std::uint32_t column = 0; column < width; ++column)
            store[(static_cast<std::size_t>(row) * width + column) * 4 + 3] = opaque(row, column) ? 255 : 0;
    Texture record{};
    record.pixels = store.data();
    record.bitsPerPixel = 32;
    record.width = width;
    record.height = height;
    return record;
}

class FigurePickingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildSineTable(sineTableSize); }
    std::vector<unsigned char> store[segmentCount];
    Texture records[segmentCount] = {};
    double q[segmentCount] = {};
    void allOpaque() {
        for (int i = 0; i < segmentCount; ++i)
            records[i] = picture(store[i], i == torso ? 64 : 32, 16, [](auto, auto) { return true; });
    }
};

// All angles 0: the torso lies along +x from the pivot (its 64 x 16 quad from
// x = -0.025 to 0.475, y within 0.0625), the right upper arm's joint at
// (0.2, -0.7), its 32 x 16 quad from x = 0.1875 to 0.4375 and y -0.7625 to -0.6375.
TEST_F(FigurePickingTest, TheSegmentDrawnLastWinsWhereItShows) {
    allOpaque();
    // a wide torso picture, drawn last, covers the arm's root
    records[torso] = picture(store[torso], 512, 256, [](auto, auto) { return true; });
    EXPECT_EQ(pickSegment(records, q, {0.3, -0.7}).segment, torso);
    // where the torso's picture is see-through, the arm below shows and is picked
    records[torso] = picture(store[torso], 512, 256, [](auto, std::uint32_t column) { return column >= 128; });
    EXPECT_EQ(pickSegment(records, q, {0.3, -0.7}).segment, rightUpperArm);
    EXPECT_EQ(pickSegment(records, q, {0.3, 0.0}).segment, torso);
    // the head is no segment, and empty space picks nothing
    EXPECT_EQ(pickSegment(records, q, {0.0, 2.0}).segment, -1);
    EXPECT_EQ(pickSegment(records, q, {-5.0, 0.0}).segment, -1);
    // a picture that never loaded shows nowhere
    records[torso] = Texture{};
    EXPECT_EQ(pickSegment(records, q, {0.3, 0.0}).segment, -1);
}

// The file's first row is the segment's far end, its first column the side at y = -H.
TEST_F(FigurePickingTest, TexelsMapAsTheQuadsTextureCoordinates) {
    records[rightFoot] = picture(store[rightFoot], 256, 256, [](std::uint32_t row, std::uint32_t column) {
        return row < 16 && column < 16;
    });
    // W = H = 1: the quad runs from x = -0.1 to 1.9, y from -1 to 1; the
    // opaque corner is x above 1.9 - 2/16, y below -1 + 2/16
    DrawnFrame frames[segmentCount];
    double s[segmentCount], c[segmentCount];
    for (int i = 0; i < segmentCount; ++i) s[i] = fastSin(q[i]), c[i] = fastCos(q[i]);
    computeDrawnFrames(frames, s, c);
    const auto at = [&](double x, double y) { return pickSegment(records, q, pointOfFrame(frames[rightFoot], x, y)).segment; };
    EXPECT_EQ(at(1.85, -0.95), rightFoot);
    EXPECT_EQ(at(1.7, -0.95), -1);
    EXPECT_EQ(at(1.85, -0.8), -1);
    EXPECT_EQ(at(0.0, 0.95), -1);
}

TEST_F(FigurePickingTest, TheHeldPointIsThePointInTheSegmentsDrawnFrame) {
    allOpaque();
    const double angles[segmentCount] = {-1.4, -0.9, 0.5, 0.3, 0.7, -0.2, 0.1, -0.5, 0.4, -0.3, 0.6, 0.2, -0.1};
    std::copy(angles, angles + segmentCount, q);
    DrawnFrame frames[segmentCount];
    double s[segmentCount], c[segmentCount];
    for (int i = 0; i < segmentCount; ++i) s[i] = fastSin(q[i]), c[i] = fastCos(q[i]);
    computeDrawnFrames(frames, s, c);
    // the far end of the right hand, beyond every other quad
    const PlanePoint point = pointOfFrame(frames[rightHand], 0.2, 0.03);
    const SegmentPick pick = pickSegment(records, q, point);
    ASSERT_EQ(pick.segment, rightHand) << pick.held.x << " " << pick.held.y;
    EXPECT_NEAR(pick.held.x, 0.2, 1e-12);
    EXPECT_NEAR(pick.held.y, 0.03, 1e-12);

    // just beside the quad, within a finger's reach: the hand, held at the point itself
    const PlanePoint beside = pointOfFrame(frames[rightHand], 0.2, 0.0625 + 0.05);
    EXPECT_EQ(pickSegment(records, q, beside).segment, -1);
    const SegmentPick near = pickSegmentNear(records, q, beside, 0.1);
    ASSERT_EQ(near.segment, rightHand);
    EXPECT_NEAR(near.held.y, 0.1125, 1e-12);
    EXPECT_EQ(pickSegmentNear(records, q, beside, 0.02).segment, -1);
}

}  // namespace
