#include "sine_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

SineTable sineTable;

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr double pi = 3.141592653589793;
constexpr double halfPi = 1.5707963267948966;
constexpr double inverseTwoPi = 0.15915494309189535;
// Turn counts of this size or more would overflow the doubled 32-bit count.
constexpr double maxTurns = 1073741824.0;  // 2^30

// The sample for a reduced angle r with |r| < 2pi (up to a last-bit error):
// the grid point at or below |r|, with the sign of r.
inline double sampleAt(double r) {
    if (r < 0) {
        const int j = static_cast<int>(r / sineTable.sampleStep);  // truncates toward zero: j <= 0
        return -sineTable.samples[-j];
    }
    const int j = static_cast<int>(r / sineTable.sampleStep);
    return sineTable.samples[j];
}

// Slow path for arguments the turn count cannot hold: non-finite ones give
// NaN; huge finite ones are reduced exactly, and the index is clamped.
double sineOutOfRange(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    const double r = std::fmod(x, twoPi);  // exact; |r| < 2pi, sign of x
    int j = static_cast<int>(std::fabs(r) / sineTable.sampleStep);
    if (j > sineTable.count - 1) j = sineTable.count - 1;
    return r < 0 ? -sineTable.samples[j] : sineTable.samples[j];
}

}  // namespace

void buildSineTable(int n) {
    if (n < 2) {
        std::fprintf(stderr, "marionette: a sine table needs at least 2 samples, not %d\n", n);
        std::exit(1);
    }
    sineTable.sampleStep = twoPi / (n - 1);
    double* samples = new (std::nothrow) double[static_cast<std::size_t>(n)];
    if (samples == nullptr) {
        std::fprintf(stderr, "marionette: cannot allocate the sine table (%d samples)\n", n);
        std::exit(1);
    }
    for (int i = 0; i < n; ++i) samples[i] = std::sin(static_cast<double>(i) * sineTable.sampleStep);
    sineTable.samples = samples;
    sineTable.count = n;
}

double fastSin(double x) {
    const double turns = x * inverseTwoPi;
    // NaN fails this test too.
    if (!(std::fabs(turns) < maxTurns)) return sineOutOfRange(x);
    const int k = static_cast<int>(turns);  // truncates toward zero
    const double r = x - static_cast<double>(2 * k) * pi;
    return sampleAt(r);
}

double fastCos(double x) { return fastSin(halfPi - x); }
