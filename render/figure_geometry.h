// The drawing's arithmetic, free of graphics calls: the eye point, the aspect
// ratio, what a point of the view shows on the plane, the quad of a segment
// picture and the head's nod.
#pragma once

#include <array>

#include "drawn_figure.h"
#include "tga_reader.h"

// A point of the world: x to the right, y up, z towards the viewer.
struct Point3 {
    double x, y, z;
};

// The eye on a circle of the given radius about the y axis, at the given
// height and azimuth (radians): (distance sin a, height, distance cos a).
Point3 eyeOnCircle(double distance, double height, double azimuth);

// width / height in single precision; a height of 0 (a minimised window)
// counts as 1, so the ratio is always finite.
float viewAspectRatio(int width, int height);

// The camera as the projection and view matrices take it: the eye, the
// point it looks at (up is +y), the vertical field of view in degrees and
// the aspect ratio width / height.
struct CameraView {
    Point3 eye, centre;
    double fovyDegrees;
    double aspect;
};

// out = the point of the plane z = 0 shown at normalised device coordinates
// (ndcX, ndcY), -1..1 from the view's left and bottom edges to its right and
// top ones. False, with out untouched, when that line of sight does not
// reach the plane in front of the eye.
bool unprojectToPlane(PlanePoint& out, const CameraView& view, double ndcX, double ndcY);

// The inverse: ndc = where the plane point shows (x, y), false when it lies
// behind the eye.
bool projectFromPlane(double ndc[2], const CameraView& view, PlanePoint point);

// A joint angle in radians as the degrees handed to the graphics library:
// radians * 57.29577951308232 in double, then rounded to float.
float jointAngleDegrees(double radians);

// One corner of a segment's quad: texture coordinate (s, t), position (x, y).
struct QuadCorner {
    double s, t;
    double x, y;
};

// The quad of a picture, corners in drawing order: drawnQuad's extent (with
// W = width / 256 and H = height / 256, from -0.1 W to 1.9 W along x and from
// -H to H across); t = 1 at the joint end, s = 0 at y = -H.
std::array<QuadCorner, 4> segmentQuad(const Texture& record);

// One picture's nod: angle += speed * 0.1 (summed in double, kept in float);
// the direction turns when the sum passes 6 or -6 degrees.
void stepHeadNod(float& angle, float& speed);
