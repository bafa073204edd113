// The window program's constant model: its parameters, its tree and the
// orders the passes visit it in.
#include "figure_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "integrator.h"

namespace {

class FigureModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
};

TEST_F(FigureModelTest, ParametersKeepTheirOddOnesOut) {
    double total = 0;
    for (int i = 0; i < segmentCount; ++i) {
        const SegmentParameters& s = figureModel.segment[i];
        total += s.mass;
        EXPECT_EQ(s.linkLength, i == torso ? 0.0 : 1.0) << i;
        EXPECT_EQ(s.linkOffset, 0.0) << i;
        EXPECT_EQ(s.twistSin, 0.0) << i;
        EXPECT_EQ(s.twistCos, 1.0) << i;
        EXPECT_EQ(s.centreOfMass, (Vector3{0.5, 0, 0})) << i;
        EXPECT_EQ(s.rotationalInertia[1], 0.0);
        EXPECT_EQ(s.rotationalInertia[2], 0.0);
        EXPECT_EQ(s.rotationalInertia[4], 0.0);
    }
    EXPECT_NEAR(total, 10.8, 1e-12);
    // the right leg carries its light segment in the middle
    EXPECT_EQ(figureModel.segment[rightLowerLeg].mass, 0.2);
    EXPECT_EQ(figureModel.segment[rightFoot].mass, 1.0);
    EXPECT_EQ(figureModel.segment[leftLowerLeg].mass, 1.0);
    EXPECT_EQ(figureModel.segment[leftFoot].mass, 0.2);
    EXPECT_EQ(figureModel.segment[rightHand].rotationalInertia[3], 0.066);  // Iyy
    EXPECT_EQ(figureModel.segment[leftHand].rotationalInertia[3], 0.33);
    EXPECT_EQ(figureModel.segment[torso].rotationalInertia[5], 0.66);  // Izz
    EXPECT_EQ(figureModel.gravity, (SpatialVector{0, -9.80665, 0, 0, 0, 0}));
    EXPECT_EQ(figureModel.baseVelocity, SpatialVector{});
}

TEST_F(FigureModelTest, ChildrenAndOrdersAreTheTreesInOrder) {
    ASSERT_EQ(figureModel.n, segmentCount);
    for (int parent = 0; parent < segmentCount; ++parent) {
        // the children of this parent, by increasing index: the torso's are
        // the right arm, left arm, right leg, left leg, in that order
        std::vector<int> expected;
        for (int child = 1; child < segmentCount; ++child)
            if (parentOf[child] == parent) expected.push_back(child);
        const std::vector<int> children(figureModel.childList.begin() + figureModel.childStart[parent],
                                        figureModel.childList.begin() + figureModel.childStart[parent + 1]);
        EXPECT_EQ(children, expected) << parent;
    }
    EXPECT_EQ(figureModel.inward, std::vector<int>(std::begin(inwardOrder), std::end(inwardOrder)));
    EXPECT_EQ(figureModel.outward, std::vector<int>(std::begin(outwardOrder), std::end(outwardOrder)));
    EXPECT_NE(figureModel.limbLanes, nullptr);
}

TEST_F(FigureModelTest, VisitingOrdersRespectTheTree) {
    bool seen[segmentCount] = {};
    for (int i : outwardOrder) {
        if (parentOf[i] >= 0) {
            EXPECT_TRUE(seen[parentOf[i]]) << i;
        }
        seen[i] = true;
    }
    bool done[segmentCount] = {};
    for (int i : inwardOrder) {
        for (int child = 1; child < segmentCount; ++child)
            if (parentOf[child] == i) {
                EXPECT_TRUE(done[child]) << child << " before " << i;
            }
        done[i] = true;
    }
    for (int i = 0; i < segmentCount; ++i) EXPECT_TRUE(seen[i] && done[i]) << i;
}

TEST_F(FigureModelTest, RunningNeverChangesTheModel) {
    SegmentParameters before[segmentCount];
    std::memcpy(before, figureModel.segment.data(), sizeof before);
    const std::vector<int> childrenBefore = figureModel.childList;
    FigureState state{};
    state.q[torso] = -1.57;
    for (int step = 0; step < 300; ++step) stepRK4(state.p, state.q, step / 100 % 2, step / 50 % 3 - 1);
    EXPECT_EQ(std::memcmp(before, figureModel.segment.data(), sizeof before), 0);
    EXPECT_EQ(childrenBefore, figureModel.childList);
    EXPECT_EQ(figureModel.gravity, (SpatialVector{0, -9.80665, 0, 0, 0, 0}));
}

}  // namespace
