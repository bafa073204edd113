#include "drawn_figure.h"

namespace {

constexpr double pixelsToUnits = 0.00390625;  // 256 pixels of a picture make one unit

}  // namespace

DrawnQuad drawnQuad(std::uint32_t pixelWidth, std::uint32_t pixelHeight) {
    const double w = pixelWidth * pixelsToUnits;
    const double h = pixelHeight * pixelsToUnits;
    return {-0.1 * w, 1.9 * w, -h, h};
}

DrawnFrame childFrame(const DrawnFrame& parent, double x, double y, double jointSin, double jointCos) {
    return {pointOfFrame(parent, x, y), parent.c * jointCos - parent.s * jointSin,
            parent.s * jointCos + parent.c * jointSin};
}

DrawnFrame childFrame(const DrawnFrame& parent, int segment, double jointSin, double jointCos) {
    return childFrame(parent, drawnJointOffsets[segment].x, drawnJointOffsets[segment].y, jointSin, jointCos);
}

void computeDrawnFrames(const FigureModel& model, DrawnFrame frames[], const double jointSin[],
                        const double jointCos[]) {
    // outward, each frame from its parent's
    for (int i = 0; i < model.n; ++i) {
        const int parent = model.parent[i];
        frames[i] = childFrame(parent < 0 ? planeFrame : frames[parent], model.drawnJointX[i], model.drawnJointY[i],
                               jointSin[i], jointCos[i]);
    }
}

void computeDrawnFrames(DrawnFrame frames[segmentCount], const double jointSin[segmentCount],
                        const double jointCos[segmentCount]) {
    for (const int i : outwardOrder) {
        const int parent = parentOf[i];
        frames[i] = childFrame(parent < 0 ? planeFrame : frames[parent], i, jointSin[i], jointCos[i]);
    }
}

PlanePoint pointOfFrame(const DrawnFrame& frame, double x, double y) {
    return {frame.origin.x + (frame.c * x - frame.s * y), frame.origin.y + (frame.s * x + frame.c * y)};
}

PlanePoint pointInFrame(const DrawnFrame& frame, PlanePoint point) {
    // the table's sine and cosine of an angle are samples of two grid points,
    // so c^2 + s^2 strays from 1 by up to about 1e-5: divide it out, so this
    // undoes pointOfFrame exactly
    const double dx = point.x - frame.origin.x, dy = point.y - frame.origin.y;
    const double norm = frame.c * frame.c + frame.s * frame.s;
    return {(frame.c * dx + frame.s * dy) / norm, (frame.c * dy - frame.s * dx) / norm};
}
