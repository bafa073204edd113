#include "figure_geometry.h"

#include <cmath>

namespace {
constexpr double degreesPerRadian = 57.29577951308232;
constexpr double pixelsToUnits = 0.00390625;  // 256 pixels of a picture make one unit
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

float jointAngleDegrees(double radians) {
    return static_cast<float>(radians * degreesPerRadian);
}

std::array<QuadCorner, 4> segmentQuad(const Texture& record) {
    const double w = record.width * pixelsToUnits;
    const double h = record.height * pixelsToUnits;
    return {{
        {0.0, 1.0, -0.1 * w, -h},
        {0.0, 0.0, 1.9 * w, -h},
        {1.0, 0.0, 1.9 * w, h},
        {1.0, 1.0, -0.1 * w, h},
    }};
}

void stepHeadNod(float& angle, float& speed) {
    const double sum = angle + speed * nodPerPicture;
    angle = static_cast<float>(sum);
    if (sum > nodLimit || sum < -nodLimit) speed = -speed;
}
