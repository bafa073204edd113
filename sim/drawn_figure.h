// The figure as the picture draws it. The picture shares only the joint
// angles with the simulated figure: its limbs hang at offsets of its own
// (arms near the shoulders, legs 3.5 units down the torso, segments about
// 1.6 units long), while the simulated links are 1.0 long with all four
// limbs at the torso's far end. Whatever must land where the picture shows a
// segment (the hand's pull, what a pointer takes hold of) is placed by this
// table, and the drawing translates by the same numbers.
#pragma once

#include <array>
#include <cstdint>

#include "figure_model.h"

// A limb segment's joint in the drawn frame of the segment before it (the
// torso's for the first of a chain), in drawing units; single precision, as
// the drawing hands them to the graphics library.
struct DrawnJoint {
    int segment;
    float x, y;
};

// The four limbs, each from the torso outwards, in drawing order.
inline constexpr DrawnJoint drawnLimbChains[4][3] = {
    {{rightUpperArm, 0.2f, -0.7f}, {rightLowerArm, 1.7f, -0.1f}, {rightHand, 1.6f, 0.0f}},
    {{leftUpperArm, 0.2f, 0.7f}, {leftLowerArm, 1.7f, 0.1f}, {leftHand, 1.6f, 0.0f}},
    {{rightUpperLeg, 3.5f, -0.4f}, {rightLowerLeg, 1.6f, 0.0f}, {rightFoot, 1.6f, 0.0f}},
    {{leftUpperLeg, 3.5f, 0.4f}, {leftLowerLeg, 1.6f, 0.0f}, {leftFoot, 1.6f, 0.0f}},
};

// Each segment's joint in its parent's drawn frame, from the table above;
// the torso's at the pivot, (0, 0).
struct DrawnOffset {
    float x, y;
};
inline constexpr std::array<DrawnOffset, segmentCount> drawnJointOffsets = [] {
    std::array<DrawnOffset, segmentCount> offsets{};
    for (const auto& chain : drawnLimbChains)
        for (const DrawnJoint& joint : chain) offsets[joint.segment] = {joint.x, joint.y};
    return offsets;
}();

// The segments in the order they are drawn: the limbs, then the torso over
// their joint ends. Where two overlap, the later one shows.
inline constexpr int drawingOrder[segmentCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, torso};

// What a segment's picture covers in its drawn frame, its joint at the
// origin: with W = pixel width / 256 and H = pixel height / 256, x from
// -0.1 W to 1.9 W along the segment and y from -H to H across.
struct DrawnQuad {
    double xMin, xMax, yMin, yMax;
};
DrawnQuad drawnQuad(std::uint32_t pixelWidth, std::uint32_t pixelHeight);

// A point of the drawing plane z = 0: x to the right, y up, drawing units.
struct PlanePoint {
    double x, y;
};

// A segment's drawn frame in the plane: its joint, and the direction of its
// x axis (cos, sin of the sum of the joint angles from the torso down).
struct DrawnFrame {
    PlanePoint origin;
    double c, s;
};

// The drawn frame of a segment in the plane, from its parent's frame (the
// plane's own, origin and x axis, for a root): its joint placed at (x, y) of
// the parent's frame, its axis turned by the joint angle of the given sine and cosine.
DrawnFrame childFrame(const DrawnFrame& parent, double x, double y, double jointSin, double jointCos);
// The same with the window program's picture's offset of `segment`.
DrawnFrame childFrame(const DrawnFrame& parent, int segment, double jointSin, double jointCos);

// The plane's own frame, the parent of every root.
inline constexpr DrawnFrame planeFrame{{0.0, 0.0}, 1.0, 0.0};

// frames[i] = segment i's drawn frame, for every segment of `model`, at the
// joint angles whose sines and cosines are given (the table's in the simulation).
void computeDrawnFrames(const FigureModel& model, DrawnFrame frames[], const double jointSin[],
                        const double jointCos[]);
// The same for the window program's figure.
void computeDrawnFrames(DrawnFrame frames[segmentCount], const double jointSin[segmentCount],
                        const double jointCos[segmentCount]);

// The plane point at (x, y) of a drawn frame, and the frame's (x, y) of a
// plane point (the inverse of the first, whatever the frame's scale).
PlanePoint pointOfFrame(const DrawnFrame& frame, double x, double y);
PlanePoint pointInFrame(const DrawnFrame& frame, PlanePoint point);
