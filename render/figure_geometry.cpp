#include "figure_geometry.h"

#include <cmath>

namespace {
constexpr double degreesPerRadian = 57.29577951308232;
constexpr double nodPerPicture = 0.1;         // degrees the head turns per picture
constexpr double nodLimit = 6.0;              // degrees either side before it turns back
}  // namespace

Point3 eyeOnCircle(double distance, double height, double azimuth) {
    return {distance * std::sin(azimuth), height, distance * std::cos(azimuth)};
}

float viewAspectRatio(int width, int height) {
    const int rows = height == 0 ? 1 : height;
    return static_cast<float>(width) / static_cast<float>(rows);
}

namespace {

struct Axes {
    double side[3], up[3], forward[3];  // the view's right, up and line of sight, unit vectors
    double tanX, tanY;                  // the half field of view's tangents, across and up
};

void normalize(double v[3]) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) v[k] /= length;
}

// forward from the eye to the centre, side = forward x (0, 1, 0), up = side x forward
Axes viewAxes(const CameraView& view) {
    Axes a{{}, {}, {view.centre.x - view.eye.x, view.centre.y - view.eye.y, view.centre.z - view.eye.z}, 0, 0};
    normalize(a.forward);
    a.side[0] = -a.forward[2];
    a.side[1] = 0.0;
    a.side[2] = a.forward[0];
    normalize(a.side);
    a.up[0] = a.side[1] * a.forward[2] - a.side[2] * a.forward[1];
    a.up[1] = a.side[2] * a.forward[0] - a.side[0] * a.forward[2];
    a.up[2] = a.side[0] * a.forward[1] - a.side[1] * a.forward[0];
    a.tanY = std::tan(view.fovyDegrees / degreesPerRadian * 0.5);
    a.tanX = a.tanY * view.aspect;
    return a;
}

}  // namespace

bool unprojectToPlane(PlanePoint& out, const CameraView& view, double ndcX, double ndcY) {
    const Axes a = viewAxes(view);
    double d[3];
    for (int k = 0; k < 3; ++k) d[k] = a.forward[k] + ndcX * a.tanX * a.side[k] + ndcY * a.tanY * a.up[k];
    const double reach = -view.eye.z / d[2];  // eye + reach d lies on z = 0
    if (!(reach > 0.0) || !std::isfinite(reach)) return false;
    out = {view.eye.x + reach * d[0], view.eye.y + reach * d[1]};
    return true;
}

bool projectFromPlane(double ndc[2], const CameraView& view, PlanePoint point) {
    const Axes a = viewAxes(view);
    const double r[3] = {point.x - view.eye.x, point.y - view.eye.y, -view.eye.z};
    const auto dot = [&r](const double v[3]) { return r[0] * v[0] + r[1] * v[1] + r[2] * v[2]; };
    const double depth = dot(a.forward);
    if (!(depth > 0.0)) return false;
    ndc[0] = dot(a.side) / (depth * a.tanX);
    ndc[1] = dot(a.up) / (depth * a.tanY);
    return true;
}

float jointAngleDegrees(double radians) {
    return static_cast<float>(radians * degreesPerRadian);
}

std::array<QuadCorner, 4> segmentQuad(const Texture& record) {
    const DrawnQuad quad = drawnQuad(record.width, record.height);
    return {{
        {0.0, 1.0, quad.xMin, quad.yMin},
        {0.0, 0.0, quad.xMax, quad.yMin},
        {1.0, 0.0, quad.xMax, quad.yMax},
        {1.0, 1.0, quad.xMin, quad.yMax},
    }};
}

void stepHeadNod(float& angle, float& speed) {
    const double sum = angle + speed * nodPerPicture;
    angle = static_cast<float>(sum);
    if (sum > nodLimit || sum < -nodLimit) speed = -speed;
}
