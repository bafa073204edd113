// The figure's fourteen pictures, drawn as uncompressed 32-bit TGA files with
// alpha: make_artwork writes them into assets/, and the web page draws them
// at start-up instead of downloading them.
//
// How a picture lands on the screen decides how it is drawn here. A picture of
// w × h pixels becomes a quad of length 2W and breadth 2H (W = w / 256,
// H = h / 256) that reaches from 0.1 W behind the segment's joint to 1.9 W
// ahead of it. The image's columns run across the segment and its rows along
// it: the first row of the file lies at the far end, the last at the joint.
// So every pixel is drawn by working out where it lies on the segment and
// asking the segment's shapes what is there. The shapes are signed distances
// (negative inside), shaded as rounded bodies lit from the upper left in the
// held pose, with a dark outline just inside their edge: the renderer keeps
// only texels of alpha above one half and filters linearly, so an edge falls
// halfway between an opaque and a transparent texel.
//
// The output is the same byte for byte on every run: only +, -, *, /, sqrt
// and floor on doubles, all exactly rounded.

#include "artwork.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------- geometry

struct Vec2 {
    double x, y;
};

Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.y * k}; }
double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
double length(Vec2 a) { return std::sqrt(dot(a, a)); }
// The vector a quarter turn anticlockwise from a.
Vec2 perpendicular(Vec2 a) { return {-a.y, a.x}; }

struct Vec3 {
    double x, y, z;
};

Vec3 normalized(Vec3 v) {
    const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / n, v.y / n, v.z / n};
}

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// ------------------------------------------------------------------ shapes
// Each maker returns a signed distance function of a point.

auto circle(Vec2 centre, double radius) {
    return [=](Vec2 p) { return length(p - centre) - radius; };
}

// An axis-aligned ellipse; the distance is exact on the axes and close
// enough elsewhere for the small ellipses drawn here.
auto ellipse(Vec2 centre, double rx, double ry) {
    return [=](Vec2 p) {
        const Vec2 q{(p.x - centre.x) / rx, (p.y - centre.y) / ry};
        return (length(q) - 1.0) * std::min(rx, ry);
    };
}

// An axis-aligned box of the given half size with corners rounded by radius.
auto roundBox(Vec2 centre, Vec2 half, double radius) {
    return [=](Vec2 p) {
        const Vec2 q{std::abs(p.x - centre.x) - half.x + radius, std::abs(p.y - centre.y) - half.y + radius};
        const Vec2 outside{std::max(q.x, 0.0), std::max(q.y, 0.0)};
        return length(outside) + std::min(std::max(q.x, q.y), 0.0) - radius;
    };
}

// A limb: round at both ends, radius ra at a narrowing linearly to rb at b.
auto taperedCapsule(Vec2 a, double ra, Vec2 b, double rb) {
    const double h = length(b - a);
    const Vec2 along = (b - a) * (1.0 / h);
    const double slope = (ra - rb) / h;
    const double cosine = std::sqrt(1.0 - slope * slope);
    return [=](Vec2 p) {
        const Vec2 d = p - a;
        const Vec2 q{std::abs(dot(d, perpendicular(along))), dot(d, along)};
        const double k = q.y * cosine - q.x * slope;
        if (k < 0.0) return length(q) - ra;
        if (k > cosine * h) return length(q - Vec2{0.0, h}) - rb;
        return q.x * cosine + q.y * slope - ra;
    };
}

// A trapezoid symmetric about x = centre.x: half widths bottomHalf at the
// lower edge and topHalf at the upper edge, halfHeight up and down.
auto trapezoid(Vec2 centre, double bottomHalf, double topHalf, double halfHeight) {
    return [=](Vec2 point) {
        const Vec2 p{std::abs(point.x - centre.x), point.y - centre.y};
        const Vec2 k1{topHalf, halfHeight};
        const Vec2 k2{topHalf - bottomHalf, 2.0 * halfHeight};
        const Vec2 ca{p.x - std::min(p.x, p.y < 0.0 ? bottomHalf : topHalf), std::abs(p.y) - halfHeight};
        const Vec2 cb = p - k1 + k2 * clamp01(dot(k1 - p, k2) / dot(k2, k2));
        const double sign = (cb.x < 0.0 && ca.y < 0.0) ? -1.0 : 1.0;
        return sign * std::sqrt(std::min(dot(ca, ca), dot(cb, cb)));
    };
}

// The half plane of points p with dot(p, normal) < offset.
auto halfPlane(Vec2 normal, double offset) {
    return [=](Vec2 p) { return dot(p, normal) - offset; };
}

auto unite(auto a, auto b) {
    return [=](Vec2 p) { return std::min(a(p), b(p)); };
}

// A union whose seam is filled with a fillet of about size k.
auto blend(auto a, auto b, double k) {
    return [=](Vec2 p) {
        const double da = a(p);
        const double db = b(p);
        const double h = std::max(k - std::abs(da - db), 0.0) / k;
        return std::min(da, db) - h * h * k * 0.25;
    };
}

auto intersect(auto a, auto b) {
    return [=](Vec2 p) { return std::max(a(p), b(p)); };
}

auto subtract(auto a, auto b) {
    return [=](Vec2 p) { return std::max(a(p), -b(p)); };
}

// The shape grown outwards by `amount` (shrunk where it is negative).
auto shifted(auto shape, double amount) {
    return [=](Vec2 p) { return shape(p) - amount; };
}

// The shape where the mask covers, and far away elsewhere: clips a stroke.
auto within(auto shape, auto mask) {
    return [=](Vec2 p) { return mask(p) < 0.0 ? shape(p) : 1e9; };
}

// ----------------------------------------------------------------- colours

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double k) {
    return {a.r + (b.r - a.r) * k, a.g + (b.g - a.g) * k, a.b + (b.b - a.b) * k};
}

constexpr Colour outlineColour{0.17, 0.11, 0.10};
constexpr Colour skin{0.97, 0.78, 0.63};
constexpr Colour skinDark{0.90, 0.62, 0.50};
constexpr Colour shirtRed{0.86, 0.25, 0.20};
constexpr Colour collarWhite{0.97, 0.95, 0.89};
constexpr Colour denim{0.24, 0.42, 0.73};
constexpr Colour denimLight{0.40, 0.58, 0.85};
constexpr Colour denimSeam{0.15, 0.28, 0.52};
constexpr Colour stitchGold{0.96, 0.78, 0.38};
constexpr Colour brass{0.98, 0.77, 0.24};
constexpr Colour shoeBrown{0.52, 0.28, 0.14};
constexpr Colour soleBrown{0.27, 0.17, 0.12};
constexpr Colour sockWhite{0.96, 0.96, 0.93};
constexpr Colour laceCream{0.98, 0.93, 0.80};
constexpr Colour hairBrown{0.52, 0.31, 0.15};
constexpr Colour hairDark{0.38, 0.21, 0.10};
constexpr Colour eyeWhite{1.0, 1.0, 1.0};
constexpr Colour irisBlue{0.27, 0.50, 0.78};
constexpr Colour pupilBlack{0.07, 0.06, 0.08};
constexpr Colour mouthRed{0.58, 0.15, 0.17};
constexpr Colour tonguePink{0.93, 0.47, 0.47};
constexpr Colour cheekPink{0.96, 0.52, 0.50};

// Outline widths in world units (a window pixel is about 0.03).
constexpr double outlineWidth = 0.05;
constexpr double fineLine = 0.032;

// ------------------------------------------------------------------ brush

// What one sample of a picture shows: a colour, and whether anything is there.
struct Sample {
    Colour colour = outlineColour;
    bool covered = false;
};

// Paints the layers of one sample point, back to front. The point and the
// light are both in the picture's drawing coordinates.
class Brush {
  public:
    Brush(Vec2 point, Vec3 light) : p_(point), light_(light) {}

    // An opaque body: shaded as if rounded over `bevel` from its edge, with an
    // outline of the given width inside the edge.
    template <class Shape>
    void fill(const Shape& shape, Colour base, double bevel, double outline = outlineWidth) {
        fillOn(shape, shape, base, bevel, outline);
    }

    // An opaque piece lying on a larger body `form` (a pocket on a bib, a cuff
    // on a leg): outlined along its own edge, shaded by the body's roundness.
    template <class Shape, class Form>
    void fillOn(const Shape& shape, const Form& form, Colour base, double bevel, double outline = outlineWidth) {
        if (shape(p_) >= 0.0) return;
        const auto [formDistance, outward] = trueDistance(form);
        const double tilt = clamp01(1.0 + formDistance / bevel);
        const Vec3 normal{outward.x * tilt, outward.y * tilt, std::sqrt(1.0 - tilt * tilt)};
        const bool onEdge = -trueDistance(shape).first < outline;
        sample_.colour = onEdge ? outlineColour : lit(base, normal);
        sample_.covered = true;
    }

    // Shifts what is already painted towards `colour` inside the shape, fading
    // out over `soft` towards the edge. Nothing new becomes covered.
    template <class Shape>
    void tint(const Shape& shape, Colour colour, double amount, double soft) {
        const double d = shape(p_);
        if (!sample_.covered || d >= 0.0) return;
        sample_.colour = mix(sample_.colour, colour, amount * clamp01(-d / soft));
    }

    // Draws a line of the given width along the shape's edge, over what is
    // already painted.
    template <class Shape>
    void stroke(const Shape& shape, double width, Colour colour) {
        if (sample_.covered && std::abs(shape(p_)) < width * 0.5) sample_.colour = colour;
    }

    Sample result() const { return sample_; }

  private:
    // The shape's distance at the point and the unit direction out of it. The
    // gradient's length turns the value into a true distance where the shape's
    // function is only roughly one.
    template <class Shape>
    std::pair<double, Vec2> trueDistance(const Shape& shape) const {
        constexpr double e = 0.002;
        const Vec2 gradient{(shape(Vec2{p_.x + e, p_.y}) - shape(Vec2{p_.x - e, p_.y})) / (2 * e),
                            (shape(Vec2{p_.x, p_.y + e}) - shape(Vec2{p_.x, p_.y - e})) / (2 * e)};
        const double slope = length(gradient);
        if (slope < 1e-9) return {shape(p_), Vec2{0.0, 0.0}};
        return {shape(p_) / slope, gradient * (1.0 / slope)};
    }

    // Soft diffuse light with a little sheen towards the light.
    Colour lit(Colour base, Vec3 n) const {
        const double diffuse = std::max(0.0, n.x * light_.x + n.y * light_.y + n.z * light_.z);
        const Vec3 half = normalized({light_.x, light_.y, light_.z + 1.0});
        double sheen = std::max(0.0, n.x * half.x + n.y * half.y + n.z * half.z);
        for (int i = 0; i < 4; ++i) sheen *= sheen;  // to the 16th power
        const double k = 0.50 + 0.55 * diffuse;
        const double s = 0.16 * sheen;
        return {base.r * k + s, base.g * k + s, base.b * k + s};
    }

    Vec2 p_;
    Vec3 light_;
    Sample sample_;
};

// ----------------------------------------------------------------- the figure
// A limb's pictures are drawn in the segment's own frame: x along the segment
// from its joint, y across. `outer` is +1 or -1, the sign of y on the side that
// faces up and away from the body in the held pose (the right limbs' -y, the
// left limbs' +y); thumbs and toes turn that way.

void paintUpperArm(Brush& b, double outer) {
    // The elbow sits 0.1 to the outer side of the arm's line.
    const auto sleeve = taperedCapsule({0.0, 0.0}, 0.24, {1.7, 0.1 * outer}, 0.19);
    b.fill(sleeve, shirtRed, 0.24);
    // A crease where the sleeve bunches above the elbow.
    b.stroke(within(circle({1.95, 0.1 * outer}, 0.5), shifted(sleeve, -0.06)), fineLine, outlineColour);
}

void paintLowerArm(Brush& b) {
    const auto forearm = taperedCapsule({0.09, 0.0}, 0.18, {1.6, 0.0}, 0.14);
    b.fill(forearm, skin, 0.18);
    // The rolled-up sleeve over the elbow.
    const auto cuff = roundBox({0.11, 0.0}, {0.2, 0.22}, 0.1);
    b.fillOn(cuff, shifted(forearm, 0.04), shirtRed, 0.22);
    b.stroke(within(halfPlane({1.0, 0.0}, 0.13), shifted(cuff, -0.04)), fineLine, outlineColour);
}

void paintHand(Brush& b, double outer) {
    const auto wrist = roundBox({0.06, 0.0}, {0.12, 0.14}, 0.07);
    const auto palm = roundBox({0.32, 0.02 * outer}, {0.22, 0.2}, 0.14);
    const auto fingers = roundBox({0.63, 0.0}, {0.27, 0.19}, 0.16);
    const auto hand = blend(blend(wrist, palm, 0.12), fingers, 0.12);
    b.fillOn(hand, taperedCapsule({0.0, 0.0}, 0.16, {0.62, 0.0}, 0.22), skin, 0.22);
    // Four fingers: three short lines from the tips back.
    for (double y : {-0.095, 0.0, 0.095})
        b.stroke(within(roundBox({0.82, y}, {0.14, 0.0}, 0.0), halfPlane({-1.0, 0.0}, -0.66)), fineLine, outlineColour);
    // The thumb, on the outer side, pointing along the fingers.
    b.fill(taperedCapsule({0.27, 0.12 * outer}, 0.095, {0.56, 0.21 * outer}, 0.075), skin, 0.09, 0.04);
}

void paintUpperLeg(Brush& b, double outer) {
    const auto thigh = taperedCapsule({0.0, 0.0}, 0.36, {1.6, 0.0}, 0.29);
    b.fill(thigh, denim, 0.34);
    // Gold stitching down the outer seam.
    for (int dash = 0; dash < 12; ++dash) {
        const double x = 0.05 + 0.13 * dash;
        b.stroke(roundBox({x, 0.25 * outer}, {0.035, 0.0}, 0.0), fineLine, stitchGold);
    }
}

// The left one has a patch on the knee.
void paintLowerLeg(Brush& b, bool patched) {
    const auto shin = taperedCapsule({0.18, 0.0}, 0.28, {1.6, 0.0}, 0.23);
    b.fill(shin, denim, 0.28);
    if (patched) {
        const auto patch = roundBox({0.56, 0.0}, {0.17, 0.16}, 0.04);
        b.fillOn(patch, shin, denimLight, 0.28, fineLine);
        b.stroke(roundBox({0.56, 0.0}, {0.12, 0.11}, 0.02), 0.022, stitchGold);
    }
    // The turned-up hem.
    b.fillOn(roundBox({1.52, 0.0}, {0.2, 0.27}, 0.07), shifted(shin, 0.04), denimLight, 0.28);
}

void paintFoot(Brush& b, double outer) {
    const auto sock = roundBox({0.1, 0.0}, {0.16, 0.19}, 0.05);
    b.fillOn(sock, taperedCapsule({-0.2, 0.0}, 0.19, {0.4, 0.0}, 0.19), sockWhite, 0.19);
    // A shoe seen from the front: the toe cap towards the viewer, the sole's rim
    // showing below it, toes turned a little outwards.
    const Vec2 toe{0.6, 0.07 * outer};
    b.fill(ellipse(toe + Vec2{0.04, 0.0}, 0.32, 0.35), soleBrown, 0.3);
    const auto shoe = blend(roundBox({0.34, 0.0}, {0.15, 0.23}, 0.1), ellipse(toe, 0.28, 0.32), 0.12);
    b.fill(shoe, shoeBrown, 0.3);
    for (double x : {0.27, 0.36}) b.stroke(roundBox({x, 0.0}, {0.0, 0.09}, 0.0), 0.04, laceCream);
}

// The torso is drawn in figure coordinates: x to the right, y up, the pivot
// (the base of the neck) at the origin, hanging straight down as it does in
// the held pose. Shoulder joints are at (±0.7, -0.2), hip joints at
// (±0.4, -3.5).
void paintTorso(Brush& b) {
    // The chest and belly are shaded as one upright cylinder.
    const auto body = [](Vec2 p) { return std::abs(p.x) - 0.95; };
    const auto shirt =
        blend(trapezoid({0.0, -1.45}, 0.66, 0.72, 1.3), taperedCapsule({-0.66, -0.25}, 0.27, {0.66, -0.25}, 0.27), 0.3);
    // The neck, rounded at the top where it shows beside the head when the
    // torso swings out.
    const auto column = [](Vec2 p) { return std::abs(p.x) - 0.24; };
    b.fillOn(taperedCapsule({0.0, -0.4}, 0.24, {0.0, -0.07}, 0.24), column, skin, 0.24);
    b.fillOn(shirt, body, shirtRed, 0.95);
    // A round collar; the neck inside it is as broad as the head's neck down to
    // where that picture ends, 0.1 below the pivot.
    b.fill(intersect(roundBox({0.0, 0.12}, {0.38, 0.46}, 0.3), shirt), collarWhite, 0.2);
    b.fillOn(intersect(roundBox({0.0, 0.22}, {0.24, 0.44}, 0.1), shirt), column, skin, 0.24);

    // Dungarees: the trousers' seat and the bib in one piece; the seat parts
    // into the two legs below the crotch.
    const auto seat = subtract(shifted(trapezoid({0.0, -3.1}, 0.62, 0.58, 0.46), 0.2), circle({0.0, -4.0}, 0.42));
    const auto bib = roundBox({0.0, -1.95}, {0.47, 0.62}, 0.1);
    const auto dungarees = unite(seat, bib);
    b.fillOn(dungarees, body, denim, 0.95);
    b.stroke(within(roundBox({0.0, -3.2}, {0.0, 0.5}, 0.0), shifted(seat, -0.05)), fineLine, denimSeam);
    const auto pocket = roundBox({0.0, -1.87}, {0.23, 0.2}, 0.05);
    b.fillOn(pocket, body, denimLight, 0.95, fineLine);
    b.stroke(roundBox({0.0, -1.87}, {0.18, 0.15}, 0.03), 0.022, stitchGold);
    for (double side : {-1.0, 1.0}) {
        const auto strap = taperedCapsule({0.37 * side, -1.4}, 0.09, {0.45 * side, 0.1}, 0.09);
        b.fillOn(intersect(strap, shirt), body, denim, 0.95);
        b.fill(circle({0.37 * side, -1.42}, 0.09), brass, 0.09, fineLine);
        b.fill(circle({0.62 * side, -2.62}, 0.07), brass, 0.07, fineLine);
    }
}

// The head is drawn in figure coordinates too, as it stands with no nod: it
// turns about the pivot at the origin, and its picture covers x from -1.2 to
// 0.8 and y from -0.1 to 1.9.
void paintHead(Brush& b) {
    // The neck reaches below the picture's edge, so it has no outline there and
    // runs on into the neck of the torso's picture.
    b.fill(roundBox({0.0, 0.1}, {0.24, 0.5}, 0.1), skin, 0.24);
    for (double side : {-1.0, 1.0}) {
        b.fill(circle({0.6 * side, 0.84}, 0.15), skin, 0.15);
        b.stroke(circle({0.63 * side, 0.84}, 0.06), fineLine, skinDark);
    }
    const auto face = ellipse({0.0, 0.86}, 0.62, 0.72);
    b.fill(face, skin, 0.45);

    // Hair: a cap whose lower edge is a fringe of tufts, lower at the temples.
    const auto fringe = [](Vec2 p) {
        const double u = (p.x + 0.7) / 0.175;
        const double f = u - std::floor(u);
        return 1.3 - 0.7 * p.x * p.x - 0.07 * 4.0 * f * (1.0 - f) - p.y;
    };
    const auto hair = intersect(ellipse({0.0, 1.03}, 0.7, 0.76), fringe);
    b.fill(hair, hairBrown, 0.4);
    b.stroke(within(circle({0.16, 1.2}, 0.4), shifted(hair, -0.07)), fineLine, hairDark);
    b.stroke(within(circle({-0.5, 1.2}, 0.45), shifted(hair, -0.07)), fineLine, hairDark);
    b.fill(taperedCapsule({0.05, 1.72}, 0.065, {0.22, 1.84}, 0.035), hairBrown, 0.05);

    for (double side : {-1.0, 1.0}) {
        const Vec2 eye{0.23 * side, 0.9};
        b.fill(ellipse(eye, 0.115, 0.145), eyeWhite, 0.1, fineLine);
        b.fill(circle(eye + Vec2{0.015, -0.02}, 0.08), irisBlue, 0.07, 0.0);
        b.fill(circle(eye + Vec2{0.015, -0.02}, 0.042), pupilBlack, 0.04, 0.0);
        b.fill(circle(eye + Vec2{0.045, 0.02}, 0.027), eyeWhite, 0.03, 0.0);
        b.stroke(within(circle(eye + Vec2{0.0, -0.06}, 0.23), halfPlane({0.0, -1.0}, -1.05)), 0.045, hairDark);
        b.tint(circle({0.38 * side, 0.6}, 0.11), cheekPink, 0.5, 0.06);
    }
    b.fill(ellipse({0.0, 0.71}, 0.08, 0.07), skinDark, 0.07, fineLine);
    const auto mouth = intersect(circle({0.0, 0.55}, 0.2), halfPlane({0.0, 1.0}, 0.51));
    b.fill(mouth, mouthRed, 0.1, fineLine);
    b.fill(intersect(circle({0.0, 0.32}, 0.12), shifted(mouth, -0.03)), tonguePink, 0.1, 0.0);
}

// ----------------------------------------------------------------- pictures

// Where a picture's drawing coordinates lie: drawing point = origin + x axis +
// y perpendicular(axis), for a point (x along, y across) of the segment.
struct Frame {
    Vec2 origin;
    Vec2 axis;
};

struct Artwork {
    const char* fileName;
    int width, height;
    Frame frame;
    // The direction, in the upright figure of the held pose, of the drawing
    // coordinates' x axis; it turns the light into drawing coordinates.
    Vec2 heldAxis;
    std::function<void(Brush&)> paint;
};

// Light from the upper left and in front, in figure coordinates.
constexpr Vec3 figureLight{-0.45, 0.55, 0.7};

const double halfRoot2 = std::sqrt(0.5);
const double halfRoot3 = std::sqrt(3.0) * 0.5;

// The held pose: upper arms 45 degrees and upper legs 30 degrees out from the
// torso's line, every other joint straight.
const Vec2 rightArmAxis{-halfRoot2, -halfRoot2};
const Vec2 leftArmAxis{halfRoot2, -halfRoot2};
const Vec2 rightLegAxis{-0.5, -halfRoot3};
const Vec2 leftLegAxis{0.5, -halfRoot3};
const Vec2 uprightAxis{1.0, 0.0};

constexpr Frame segmentFrame{{0.0, 0.0}, {1.0, 0.0}};
constexpr Frame torsoFrame{{0.0, 0.0}, {0.0, -1.0}};
constexpr Frame headFrame{{-0.2, 1.8}, {0.0, -1.0}};

// The right side of the figure is its -y side in the torso's frame.
constexpr double right = -1.0;
constexpr double left = 1.0;

std::vector<Artwork> figureArtwork() {
    return {
        {"head2.tga", 256, 256, headFrame, uprightAxis, paintHead},
        {"torso.tga", 512, 256, torsoFrame, uprightAxis, paintTorso},
        {"rightUpperArm.tga", 256, 128, segmentFrame, rightArmAxis, [](Brush& b) { paintUpperArm(b, right); }},
        {"rightLowerArm.tga", 256, 64, segmentFrame, rightArmAxis, paintLowerArm},
        {"rightHand.tga", 128, 128, segmentFrame, rightArmAxis, [](Brush& b) { paintHand(b, right); }},
        {"leftUpperArm.tga", 256, 128, segmentFrame, leftArmAxis, [](Brush& b) { paintUpperArm(b, left); }},
        {"leftLowerArm.tga", 256, 64, segmentFrame, leftArmAxis, paintLowerArm},
        {"leftHand.tga", 128, 128, segmentFrame, leftArmAxis, [](Brush& b) { paintHand(b, left); }},
        {"rightUpperLeg.tga", 256, 128, segmentFrame, rightLegAxis, [](Brush& b) { paintUpperLeg(b, right); }},
        {"rightLowerLeg.tga", 256, 128, segmentFrame, rightLegAxis, [](Brush& b) { paintLowerLeg(b, false); }},
        {"rightFoot.tga", 128, 128, segmentFrame, rightLegAxis, [](Brush& b) { paintFoot(b, right); }},
        {"leftUpperLeg.tga", 256, 128, segmentFrame, leftLegAxis, [](Brush& b) { paintUpperLeg(b, left); }},
        {"leftLowerLeg.tga", 256, 128, segmentFrame, leftLegAxis, [](Brush& b) { paintLowerLeg(b, true); }},
        {"leftFoot.tga", 128, 128, segmentFrame, leftLegAxis, [](Brush& b) { paintFoot(b, left); }},
    };
}

// The figure's light seen from drawing coordinates whose x axis points along
// `heldAxis`.
Vec3 lightFor(Vec2 heldAxis) {
    const Vec3 l = normalized(figureLight);
    const Vec2 flat{l.x, l.y};
    return {dot(flat, heldAxis), dot(flat, perpendicular(heldAxis)), l.z};
}

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(clamp01(v) * 255.0 + 0.5); }

// The picture's pixels, rows in file order (the first at the segment's far
// end), B, G, R, A each. Colours are the mean of 3 × 3 samples per pixel;
// a pixel is opaque when its centre sample is covered. The outermost ring of
// pixels stays transparent, since the renderer's texture wraps around, but
// keeps its colour: where a body runs on past the edge (the head's neck), the
// filtered edge then shows no dark seam.
std::vector<std::uint8_t> drawPicture(const Artwork& art) {
    const double w = art.width / 256.0;
    const double h = art.height / 256.0;
    const Vec3 light = lightFor(art.heldAxis);
    const Vec2 acrossAxis = perpendicular(art.frame.axis);
    // One sample at (row, column) plus fractions of a pixel.
    const auto sampleAt = [&](double row, double column) {
        const double along = w * (1.9 - 2.0 * row / art.height);
        const double across = h * (2.0 * column / art.width - 1.0);
        Brush brush(art.frame.origin + art.frame.axis * along + acrossAxis * across, light);
        art.paint(brush);
        return brush.result();
    };

    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(art.width) * art.height * 4);
    for (int row = 0; row < art.height; ++row) {
        for (int column = 0; column < art.width; ++column) {
            const bool border = row == 0 || column == 0 || row == art.height - 1 || column == art.width - 1;
            Colour sum{0.0, 0.0, 0.0};
            bool opaque = false;
            for (int j = 0; j < 3; ++j) {
                for (int i = 0; i < 3; ++i) {
                    const Sample sample = sampleAt(row + (j + 0.5) / 3.0, column + (i + 0.5) / 3.0);
                    sum = {sum.r + sample.colour.r, sum.g + sample.colour.g, sum.b + sample.colour.b};
                    if (i == 1 && j == 1) opaque = sample.covered && !border;
                }
            }
            pixels.insert(pixels.end(), {toByte(sum.b / 9), toByte(sum.g / 9), toByte(sum.r / 9),
                                         static_cast<std::uint8_t>(opaque ? 255 : 0)});
        }
    }
    return pixels;
}

}  // namespace

// ---------------------------------------------------------------------- TGA

const char* artworkFileName(int k) {
    return k >= 0 && k < artworkCount ? figureArtwork()[static_cast<std::size_t>(k)].fileName : "";
}

// Uncompressed true colour, 32 bits per pixel with 8 bits of alpha.
std::vector<std::uint8_t> drawArtworkFile(int k) {
    if (k < 0 || k >= artworkCount) return {};
    const Artwork art = figureArtwork()[static_cast<std::size_t>(k)];
    const int width = art.width, height = art.height;
    std::vector<std::uint8_t> file = {0,
                                      0,
                                      2,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      static_cast<std::uint8_t>(width & 0xff),
                                      static_cast<std::uint8_t>(width >> 8),
                                      static_cast<std::uint8_t>(height & 0xff),
                                      static_cast<std::uint8_t>(height >> 8),
                                      32,
                                      0x08};
    const std::vector<std::uint8_t> pixels = drawPicture(art);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}
