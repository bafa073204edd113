#include "correctly_rounded_sine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// A double-double: the unevaluated sum hi + lo, |lo| at most half an ulp of
// hi. Every operation below is a fixed sequence of rounded double operations,
// so it gives the same bits wherever doubles round to nearest.
struct DoubleDouble {
    double hi;
    double lo;
};

double magnitude(double x) { return x < 0 ? -x : x; }

// hi + lo = a + b exactly, for any a and b.
DoubleDouble twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// hi + lo = a + b exactly, given |a| >= |b|.
DoubleDouble quickTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// hi + lo = a, each half with at most 26 significant bits.
DoubleDouble split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// hi + lo = a * b exactly, from products of halves (no fused multiply-add).
DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

DoubleDouble add(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble s = twoSum(a.hi, b.hi);
    const DoubleDouble t = twoSum(a.lo, b.lo);
    const DoubleDouble u = quickTwoSum(s.hi, s.lo + t.hi);
    return quickTwoSum(u.hi, u.lo + t.lo);
}

DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble p = twoProduct(a.hi, b.hi);
    return quickTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DoubleDouble divide(DoubleDouble a, double d) {
    const double q1 = a.hi / d;
    const DoubleDouble p = twoProduct(q1, d);
    return quickTwoSum(q1, (((a.hi - p.hi) - p.lo) + a.lo) / d);
}

// pi/2 in three parts; the first two have 50 significant bits, so k times
// either is exact for k <= 7.
constexpr double halfPi1 = 0x1.921fb54442d18p+0;
constexpr double halfPi2 = 0x1.1a62633145c08p-54;
constexpr double halfPi3 = -0x1.1f1976b7ed8fcp-106;

// sin r (or cos r) for |r| <= 0.8 by its Taylor series, to about 2^-104
// relative: each term is the one before times -r^2 / (m (m + 1)).
DoubleDouble taylorSeries(DoubleDouble r, bool cosine) {
    const DoubleDouble r2 = multiply(r, r);
    DoubleDouble term = cosine ? DoubleDouble{1.0, 0.0} : r;
    DoubleDouble sum = term;
    for (int m = cosine ? 1 : 2; m < 60; m += 2) {
        term = divide(multiply(term, r2), -static_cast<double>(m * (m + 1)));
        sum = add(sum, term);
        if (magnitude(term.hi) <= 0x1p-110 * magnitude(sum.hi)) break;
    }
    return sum;
}

// sin x (quarterTurns 0) or cos x (quarterTurns 1) to about 2^-100 relative,
// for 0 <= x <= 10: x less the nearest multiple of pi/2, formed exactly enough
// that even the sine of the double nearest 2pi keeps its precision.
DoubleDouble preciseSin(double x, int quarterTurns) {
    const int k = static_cast<int>(x * 0.6366197723675814 + 0.5);  // x / (pi/2), to nearest
    const double kd = k;
    const DoubleDouble r = add(twoSum(x, -(kd * halfPi1)), twoSum(-(kd * halfPi2), -(kd * halfPi3)));
    const int quadrant = (k + quarterTurns) & 3;
    const DoubleDouble v = taylorSeries(r, quadrant == 1 || quadrant == 3);
    return quadrant < 2 ? v : DoubleDouble{-v.hi, -v.lo};
}

// The bits of a double and back (std::bit_cast is missing from Emscripten 3.1.6's library).
std::uint64_t bitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double doubleOf(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Whether every real within e of hi + lo rounds to hi (never on a tie).
bool roundsToHi(DoubleDouble y, double e) {
    if (y.hi == 0) return false;
    const double a = magnitude(y.hi);
    const double l = y.hi < 0 ? -y.lo : y.lo;
    const std::uint64_t bits = bitsOf(a);
    const double gapAbove = doubleOf(bits + 1) - a;
    const double gapBelow = a - doubleOf(bits - 1);
    return l + e < 0.5 * gapAbove && l - e > -0.5 * gapBelow;
}

// Anchors sit at most this far from the angles whose sines they give.
constexpr double anchorReach = 0x1p-10;
// What the fast path below can be off by, with a margin of 16 over its sum
// of rounding errors (about 2^-71 for |d| <= anchorReach).
constexpr double nearAnchorError = 0x1p-67;

// sin x from the sine s and cosine c of a nearby anchor angle a:
// sin(a + d) = s + s (cos d - 1) + c sin d. Where that is too close to a
// rounding boundary to be sure, the precise evaluation decides.
double sinNearAnchor(double x, double a, DoubleDouble s, DoubleDouble c) {
    const DoubleDouble d = twoSum(x, -a);  // x - a, exactly
    const double d2 = d.hi * d.hi;
    // sin d - d.hi and cos d - 1, each to about 2^-74 absolute
    const double sinTail = d.lo + d.hi * (d2 * (-1.0 / 6 + d2 * (1.0 / 120 - d2 * (1.0 / 5040))));
    const double cosLessOne = d2 * (-0.5 + d2 * (1.0 / 24 - d2 * (1.0 / 720))) - d.hi * d.lo;
    // the one large correction, c.hi d.hi, exactly; the small ones in double
    const DoubleDouble large = twoProduct(c.hi, d.hi);
    const double small = ((s.lo + s.hi * cosLessOne) + (c.hi * sinTail + c.lo * d.hi)) + large.lo;
    const DoubleDouble sum = twoSum(s.hi, large.hi);
    const DoubleDouble y = twoSum(sum.hi, sum.lo + small);
    if (roundsToHi(y, nearAnchorError)) return y.hi;
    return preciseSin(x, 0).hi;
}

}  // namespace

double correctlyRoundedSin(double x) {
    if (!(magnitude(x) <= 10.0)) return std::numeric_limits<double>::quiet_NaN();
    if (x < 0) return -correctlyRoundedSin(-x);
    return preciseSin(x, 0).hi;
}

void fillSineSamples(double* samples, int n, double step) {
    // The samples go in runs of 2 * reach + 1, each around an anchor angle
    // whose sine and cosine are evaluated precisely once.
    const std::int64_t reach = static_cast<std::int64_t>(std::min(anchorReach / step, 1048576.0));
    const std::int64_t runLength = 2 * reach + 1;
    for (std::int64_t first = 0; first < n; first += runLength) {
        const double anchor = static_cast<double>(first + reach) * step;
        const DoubleDouble s = preciseSin(anchor, 0);
        const DoubleDouble c = preciseSin(anchor, 1);
        const std::int64_t end = std::min<std::int64_t>(n, first + runLength);
        for (std::int64_t i = first; i < end; ++i)
            samples[i] = sinNearAnchor(static_cast<double>(i) * step, anchor, s, c);
    }
}
