// Table-driven sine and cosine for the simulation core.
//
// One table of sine samples over the closed interval [0, 2pi], built once at
// start-up; lookups reduce the argument to within one turn and truncate it
// onto the grid of samples. Accuracy is about 6.3e-6, and the results are the
// table's, not the math library's.
#pragma once

inline constexpr int sineTableSize = 1000000;

struct SineTable {
    double* samples = nullptr;  // samples[i] = sin(i * sampleStep), i = 0 .. count - 1
    double sampleStep = 0.0;    // 2pi / (count - 1)
    int count = 0;              // number of samples
};

// The process-wide table; empty until buildSineTable runs.
extern SineTable sineTable;

// Builds the table with n samples (n >= 2). If the samples cannot be
// allocated, prints one line on stderr and ends the process with status 1.
void buildSineTable(int n);

// Sine of x from the table: the sample at the largest grid point not above
// |r|, with the sign of r, where r is x reduced by whole turns. NaN for a
// non-finite x. Arguments with |x| / 2pi >= 2^30 are reduced exactly (fmod)
// on a slow path; no index ever leaves the table.
double fastSin(double x);

// fastSin(pi/2 - x), the difference formed first.
double fastCos(double x);
