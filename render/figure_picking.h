// What a pointer takes hold of in the picture: the segment drawn on top at a
// point of the drawing plane, and that point in the segment's drawn frame.
#pragma once

#include "drawn_figure.h"
#include "figure_model.h"
#include "tga_reader.h"

struct SegmentPick {
    int segment;      // the segment under the point; -1 for none
    PlanePoint held;  // the point in that segment's drawn frame
};

// The segment that shows at `point` with the joint angles q (placed with the
// table's sines, as the hand's pull places them), against the pictures in
// `records` (indexed by segment): a point counts when it lies in the
// segment's quad on a texel whose alpha is above one half, the texels the
// drawing's alpha test lets through (a picture without alpha counts
// everywhere in its quad; one without pixels nowhere). Of several, the one
// drawn last. The head is no segment: it picks nothing.
SegmentPick pickSegment(const Texture records[segmentCount], const double q[segmentCount], PlanePoint point);

// pickSegment at `point` or, failing that, at the nearest of a few points
// around it up to `reach` away (for a finger, which covers more than it
// shows); the held point is always `point` itself, in the frame of the
// segment found.
SegmentPick pickSegmentNear(const Texture records[segmentCount], const double q[segmentCount], PlanePoint point,
                            double reach);
