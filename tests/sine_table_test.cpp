// The table lookup: exact values at its breakpoints, its error against the
// library sine, and its behaviour outside the range the turn count can hold.
#include "sine_table.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double twoPi = 6.283185307179586;

class SineTableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (sineTable.samples == nullptr) buildSineTable(sineTableSize);
    }
};

TEST_F(SineTableTest, TableHasItsExactStepAndSamples) {
    EXPECT_EQ(sineTable.sampleStep, 6.283191590371176e-06);
    EXPECT_EQ(sineTable.samples[0], 0.0);
    EXPECT_EQ(sineTable.samples[500000], -3.141595794936601e-06);  // just past pi: already negative
    EXPECT_EQ(sineTable.samples[999999], -2.4492935982947064e-16);  // sin of the double 2pi
}

TEST_F(SineTableTest, RebuildingReplacesTheTable) {
    // the old samples are released (LeakSanitizer watches this in CI)
    buildSineTable(5);
    EXPECT_EQ(sineTable.count, 5);
    EXPECT_EQ(sineTable.sampleStep, twoPi / 4);
    EXPECT_EQ(fastSin(1.6), sineTable.samples[1]);
    buildSineTable(sineTableSize);
    EXPECT_EQ(sineTable.count, sineTableSize);
    EXPECT_EQ(fastSin(3.0), 0.14112219643300286);
}

TEST_F(SineTableTest, LookupsGiveTheTableValuesExactly) {
    EXPECT_EQ(fastSin(3.0), 0.14112219643300286);
    EXPECT_EQ(fastSin(-3.0), -0.14112219643300286);
    EXPECT_EQ(fastCos(0.0), 0.9999999999888967);
    EXPECT_EQ(fastCos(0.0), sineTable.samples[249999]);
    EXPECT_EQ(fastSin(1.5707963267948966), 0.9999999999888967);
    EXPECT_EQ(fastCos(-1.57), 0.0008011068420845505);
    EXPECT_EQ(fastSin(-1.57), -0.9999996828778898);
    EXPECT_EQ(fastSin(twoPi), 0.0);  // one whole turn, r = 0
}

TEST_F(SineTableTest, SmallArgumentsTruncateToZeroWithTheirSign) {
    const double step = sineTable.sampleStep;
    for (double x : {0.0, step * 0.25, step * 0.999}) {
        EXPECT_EQ(fastSin(x), 0.0);
        EXPECT_FALSE(std::signbit(fastSin(x))) << x;
    }
    for (double x : {-step * 0.25, -step * 0.999}) {
        EXPECT_EQ(fastSin(x), 0.0);
        EXPECT_TRUE(std::signbit(fastSin(x))) << x;
    }
    EXPECT_EQ(fastSin(step), sineTable.samples[1]);
}

TEST_F(SineTableTest, IsOddAndWithinOneStepOfTheLibrarySine) {
    // The sampled angle lies between 0 and r, so the error is below the
    // spacing of the samples (|d sin| <= |d angle|).
    double worst = 0;
    for (int k = -200000; k <= 200000; ++k) {
        const double x = k * 0.000157;  // about -31.4 .. 31.4, ten turns each way
        ASSERT_EQ(fastSin(-x), -fastSin(x)) << x;
        worst = std::max(worst, std::fabs(fastSin(x) - std::sin(x)));
        worst = std::max(worst, std::fabs(fastCos(x) - std::cos(x)));
    }
    EXPECT_LT(worst, sineTable.sampleStep);
    EXPECT_GT(worst, 1e-6);  // the truncation error is real, not rounding
}

TEST_F(SineTableTest, ArgumentsNearWholeTurnsStayInsideTheTable) {
    // Just below, at and just above multiples of 2pi, up to the largest turn
    // counts the fast path takes; indices must stay in 0 .. size - 1, so the
    // results are samples within one step of the true sine.
    for (double turns : {1.0, 2.0, 7.0, 1e3, 1e6, 1e9, 1073741823.0}) {
        const double centre = turns * twoPi;
        double x = centre;
        for (int i = 0; i < 64; ++i) x = std::nextafter(x, 0.0);
        for (int i = 0; i < 128; ++i, x = std::nextafter(x, 1e300)) {
            for (double y : {x, -x}) {
                const double s = fastSin(y);
                ASSERT_LE(std::fabs(s), 1e-5 + std::fabs(std::sin(std::fmod(y, twoPi)))) << y;
                ASSERT_TRUE(std::isfinite(s)) << y;
            }
        }
    }
}

TEST_F(SineTableTest, NonFiniteArgumentsGiveNaN) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double x : {inf, -inf, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_TRUE(std::isnan(fastSin(x))) << x;
        EXPECT_TRUE(std::isnan(fastCos(x))) << x;
    }
}

TEST_F(SineTableTest, HugeArgumentsAreReducedExactly) {
    // Turn counts of 2^30 and more cannot be doubled in 32 bits; such angles
    // are reduced exactly and looked up like any other.
    for (double x : {1073741824.0 * twoPi, 6.8e9, -6.8e9, 1e15, -1e15, 1e300, -1e300, 1.7976931348623157e308}) {
        const double r = std::fmod(x, twoPi);
        const double s = fastSin(x);
        ASSERT_TRUE(std::isfinite(s)) << x;
        EXPECT_NEAR(s, std::sin(r), sineTable.sampleStep) << x;
        EXPECT_EQ(fastSin(-x), -s) << x;
    }
}

TEST_F(SineTableTest, VectorLookupsGiveTheScalarBits) {
    // two and four lanes, as the planar dynamics uses them, on angles of
    // every size, the turn boundaries, signed zeros and the out-of-range
    // arguments that take the slow path in one lane only
    typedef double Doubles2 __attribute__((vector_size(16)));
    typedef int Ints2 __attribute__((vector_size(8)));
    typedef long long Masks2 __attribute__((vector_size(16)));
    typedef double Doubles4 __attribute__((vector_size(32)));
    typedef int Ints4 __attribute__((vector_size(16)));
    typedef long long Masks4 __attribute__((vector_size(32)));
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> angles = {0.0, -0.0, 1e-300, -1e-300, 3.141592653589793, -3.141592653589793, twoPi,
                                  -twoPi, 1.5707963267948966, 6.7e9, -6.7e9, 1e300, inf, -inf,
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int n = 0; n < 200000; ++n) angles.push_back(unit(rng) * std::pow(10.0, 5 * unit(rng)));
    // on the table's grid and one step either side, of both signs, where
    // the quotient's truncation turns over
    for (int n = 0; n < 30000; ++n) {
        const double g = std::floor(std::fabs(unit(rng)) * (sineTable.count - 1)) * sineTable.sampleStep;
        for (const double x : {g, std::nextafter(g, 0.0), std::nextafter(g, 7.0)}) angles.push_back(n % 2 ? x : -x);
    }
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); };
    for (std::size_t n = 0; n + 4 <= angles.size(); ++n) {
        const double* x = &angles[n];
        const Doubles2 inTwo = {x[0], x[1]};
        const Doubles4 inFour = {x[0], x[1], x[2], x[3]};
        Doubles2 two;
        Doubles4 four;
        fastSinElements<Doubles2, Ints2, Masks2>(two, inTwo);
        fastSinElements<Doubles4, Ints4, Masks4>(four, inFour);
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(same(four[i], fastSin(x[i]))) << x[i];
            if (i < 2) {
                ASSERT_TRUE(same(two[i], fastSin(x[i]))) << x[i];
            }
        }
    }
}

TEST(SineTableDeathTest, FailedAllocationEndsTheProgramWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#else
    auto buildUnderLimit = [] {
        const rlimit limit = {256 << 20, 256 << 20};  // 256 MiB of address space
        setrlimit(RLIMIT_AS, &limit);
        buildSineTable(100000000);  // 800 MB
    };
    EXPECT_EXIT(buildUnderLimit(), ::testing::ExitedWithCode(1), "cannot allocate the sine table");
#endif
}

}  // namespace
