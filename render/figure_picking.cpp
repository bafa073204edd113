#include "figure_picking.h"

#include <cmath>

#include "sine_table.h"

namespace {

// Whether the picture shows at (x, y) of its quad: the alpha of the texel
// under the point, nearest texel (the drawing filters linearly, which moves
// the edge by less than a texel, a few thousandths of a unit).
bool showsAt(const Texture& record, double x, double y) {
    if (record.pixels == nullptr || record.width == 0 || record.height == 0) return false;
    const DrawnQuad quad = drawnQuad(record.width, record.height);
    if (!(x >= quad.xMin && x <= quad.xMax && y >= quad.yMin && y <= quad.yMax)) return false;
    if (record.bitsPerPixel != 32) return true;
    // s runs across from y = -H, t along from the far end (the file's first row)
    const double s = (y - quad.yMin) / (quad.yMax - quad.yMin);
    const double t = (quad.xMax - x) / (quad.xMax - quad.xMin);
    std::uint32_t column = static_cast<std::uint32_t>(s * record.width);
    std::uint32_t row = static_cast<std::uint32_t>(t * record.height);
    if (column >= record.width) column = record.width - 1;
    if (row >= record.height) row = record.height - 1;
    const std::size_t texel = static_cast<std::size_t>(row) * record.width + column;
    return record.pixels[texel * 4 + 3] > 127;  // alpha / 255 > 0.5
}

void drawnFramesAt(DrawnFrame frames[segmentCount], const double q[segmentCount]) {
    double s[segmentCount], c[segmentCount];
    for (int i = 0; i < segmentCount; ++i) {
        s[i] = fastSin(q[i]);
        c[i] = fastCos(q[i]);
    }
    computeDrawnFrames(frames, s, c);
}

int topSegmentAt(const Texture records[segmentCount], const DrawnFrame frames[segmentCount], PlanePoint point) {
    for (int k = segmentCount - 1; k >= 0; --k) {
        const int i = drawingOrder[k];
        const PlanePoint local = pointInFrame(frames[i], point);
        if (showsAt(records[i], local.x, local.y)) return i;
    }
    return -1;
}

}  // namespace

SegmentPick pickSegment(const Texture records[segmentCount], const double q[segmentCount], PlanePoint point) {
    return pickSegmentNear(records, q, point, 0.0);
}

SegmentPick pickSegmentNear(const Texture records[segmentCount], const double q[segmentCount], PlanePoint point,
                            double reach) {
    DrawnFrame frames[segmentCount];
    drawnFramesAt(frames, q);
    int segment = topSegmentAt(records, frames, point);
    // then rings of twelve points at a third, two thirds and all of the reach
    constexpr int rings = 3, perRing = 12;
    for (int ring = 1; ring <= rings && segment < 0 && reach > 0.0; ++ring) {
        const double radius = reach * ring / rings;
        for (int k = 0; k < perRing && segment < 0; ++k) {
            const double angle = 6.283185307179586 * k / perRing;
            segment = topSegmentAt(records, frames,
                                   {point.x + radius * std::cos(angle), point.y + radius * std::sin(angle)});
        }
    }
    if (segment < 0) return {-1, {0.0, 0.0}};
    return {segment, pointInFrame(frames[segment], point)};
}
