#include "drawn_figure.h"

namespace {

constexpr double pixelsToUnits = 0.00390625;  // 256 pixels of a picture make one unit

}  // namespace

DrawnQuad drawnQuad(std::uint32_t pixelWidth, std::uint32_t pixelHeight) {
    const double w = pixelWidth * pixelsToUnits;
    const double h = pixelHeight * pixelsToUnits;
    return {-0.1 * w, 1.9 * w, -h, h};
}

void computeDrawnFrames(DrawnFrame frames[segmentCount], const double jointSin[segmentCount],
                        const double jointCos[segmentCount]) {
    // outward: each joint placed by its offset in the parent's frame, each
    // frame turned by its joint angle from the parent's direction
    for (const int i : outwardOrder) {
        const int parent = parentOf[i];
        const DrawnFrame base = parent < 0 ? DrawnFrame{{0.0, 0.0}, 1.0, 0.0} : frames[parent];
        frames[i].origin = pointOfFrame(base, drawnJointOffsets[i].x, drawnJointOffsets[i].y);
        frames[i].c = base.c * jointCos[i] - base.s * jointSin[i];
        frames[i].s = base.s * jointCos[i] + base.c * jointSin[i];
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
