// The figure's constant model: its parameters, and the child lists through
// which every parent sees its children's slots.
#include "figure_model.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(FigureModelTest, ListsReferToEachChildsSlotsInOrder) {
    for (int parent = 0; parent < segmentCount; ++parent) {
        // the children of this parent, in the order of the visiting tables
        int expected[maxChildren], count = 0;
        for (int child = 1; child < segmentCount; ++child)
            if (parentOf[child] == parent) expected[count++] = child;
        const ChildLists& lists = figureModel.children[parent];
        ASSERT_EQ(lists.childArticulatedInertias.count, count) << parent;
        ASSERT_EQ(lists.childBiasMomenta.count, count) << parent;
        ASSERT_EQ(lists.childGravityWrenches.count, count) << parent;
        ASSERT_EQ(lists.childMomenta.count, count) << parent;
        for (int k = 0; k < count; ++k) {
            const SegmentSlots& slots = figureModel.slots[expected[k]];
            EXPECT_EQ(lists.childArticulatedInertias.item[k], &slots.articulatedInertiaInParent);
            EXPECT_EQ(lists.childBiasMomenta.item[k], &slots.biasMomentumInParent);
            EXPECT_EQ(lists.childGravityWrenches.item[k], &slots.gravityWrenchInParent);
            EXPECT_EQ(lists.childMomenta.item[k], &slots.momentumInParent);
        }
    }
    // the torso's children are the right arm, left arm, right leg, left leg
    const ChildLists& torsoLists = figureModel.children[torso];
    const int limbs[] = {rightUpperArm, leftUpperArm, rightUpperLeg, leftUpperLeg};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(torsoLists.childMomenta.item[k], &figureModel.slots[limbs[k]].momentumInParent);
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
    ChildLists listsBefore[segmentCount];
    std::memcpy(before, figureModel.segment, sizeof before);
    std::memcpy(listsBefore, figureModel.children, sizeof listsBefore);
    FigureState state{};
    state.q[torso] = -1.57;
    for (int step = 0; step < 300; ++step) stepRK4(state.p, state.q, step / 100 % 2, step / 50 % 3 - 1);
    EXPECT_EQ(std::memcmp(before, figureModel.segment, sizeof before), 0);
    EXPECT_EQ(std::memcmp(listsBefore, figureModel.children, sizeof listsBefore), 0);
    EXPECT_EQ(figureModel.gravity, (SpatialVector{0, -9.80665, 0, 0, 0, 0}));
}

}  // namespace
