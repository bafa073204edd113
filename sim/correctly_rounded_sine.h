// The sine of a double, rounded to the nearest double, in plain double
// arithmetic: no math library, no fused operations, no extended precision.
// Every platform that rounds double operations to nearest gives the same
// bits, which is what makes the sine table the same everywhere.
#pragma once

// sin(x) rounded to nearest (ties to even), for |x| <= 10; NaN outside.
double correctlyRoundedSin(double x);

// samples[i] := correctlyRoundedSin(i * step) for i = 0 .. n - 1, the product
// i * step rounded to double; step > 0 and (n - 1) * step <= 8.
void fillSineSamples(double* samples, int n, double step);
