#include "sine_table.h"

#include "correctly_rounded_sine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>

SineTable sineTable;

namespace {

constexpr double twoPi = 6.283185307179586;

}  // namespace

double sineOutOfRange(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    const double r = std::fmod(x, twoPi);  // exact; |r| < 2pi, with the sign of x
    int j = static_cast<int>(std::fabs(r) / sineTable.sampleStep);
    if (j > sineTable.count - 1) j = sineTable.count - 1;
    return r < 0 ? -sineTable.samples[j] : sineTable.samples[j];
}

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
    // correctly rounded, so every platform and C library builds the same table
    fillSineSamples(samples, n, sineTable.sampleStep);
    delete[] sineTable.samples;  // a table built before, if any
    sineTable.samples = samples;
    sineTable.count = n;
}

void ensureSineTable() {
    static std::once_flag built;
    std::call_once(built, [] {
        if (sineTable.count != sineTableSize) buildSineTable(sineTableSize);
    });
    // a table of another size that a test built since
    if (sineTable.count != sineTableSize) buildSineTable(sineTableSize);
}
