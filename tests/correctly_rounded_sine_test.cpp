// The sine of our own against GNU MPFR's correctly rounded sine: at every
// sample of the table the program builds, and at arguments chosen to be hard.
#include "correctly_rounded_sine.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <random>
#include <vector>

#include "sine_table.h"

namespace {

// sin x rounded to the nearest double, by MPFR.
class MpfrSine {
public:
    MpfrSine() {
        mpfr_init2(x_, 53);
        mpfr_init2(y_, 53);
    }
    ~MpfrSine() {
        mpfr_clear(x_);
        mpfr_clear(y_);
    }
    double operator()(double x) {
        mpfr_set_d(x_, x, MPFR_RNDN);
        mpfr_sin(y_, x_, MPFR_RNDN);
        return mpfr_get_d(y_, MPFR_RNDN);
    }

private:
    mpfr_t x_, y_;
};

TEST(CorrectlyRoundedSineTest, EveryTableSampleIsTheCorrectlyRoundedSine) {
    buildSineTable(sineTableSize);
    MpfrSine exact;
    int wrong = 0;
    for (int i = 0; i < sineTableSize; ++i) {
        const double x = static_cast<double>(i) * sineTable.sampleStep;
        if (sineTable.samples[i] != exact(x) && ++wrong <= 5)
            ADD_FAILURE() << "samples[" << i << "] = " << sineTable.samples[i] << ", not " << exact(x);
    }
    EXPECT_EQ(wrong, 0);
}

TEST(CorrectlyRoundedSineTest, HardArgumentsAndOtherTables) {
    MpfrSine exact;
    std::vector<double> xs = {0.0, 5e-324, 1e-300, 1e-8, 0.7853981633974483, 10.0, -10.0};
    // the doubles around every multiple of pi/4 up to 10, where the reduction cancels
    for (int k = 1; k <= 12; ++k) {
        double x = k * 0.7853981633974483;
        for (int n = 0; n < 4; ++n) x = std::nextafter(x, 0.0);
        for (int n = 0; n < 8; ++n, x = std::nextafter(x, 20.0)) xs.push_back(x), xs.push_back(-x);
    }
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> angle(-10.0, 10.0);
    for (int n = 0; n < 100000; ++n) xs.push_back(angle(random));
    for (double x : xs) ASSERT_EQ(correctlyRoundedSin(x), exact(x)) << std::hexfloat << x;
    EXPECT_TRUE(std::isnan(correctlyRoundedSin(10.000000000000002)));
    EXPECT_TRUE(std::isnan(correctlyRoundedSin(NAN)));

    // coarser tables put the samples far from their anchors, or each on its own
    for (int n : {2, 5, 1001, 65537}) {
        const double step = 6.283185307179586 / (n - 1);
        std::vector<double> samples(n);
        fillSineSamples(samples.data(), n, step);
        for (int i = 0; i < n; ++i) ASSERT_EQ(samples[i], exact(static_cast<double>(i) * step)) << n << " " << i;
    }
}

}  // namespace
