// The planar passes against the general ones, bit for bit: every output of
// an evaluation (momentum rates, joint rates, controller torques and the
// gravity the energy bookkeeping reads) on many random states, and whole
// integration steps.
#include "dynamics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "integrator.h"
#include "joint_controller.h"

namespace {

// Everything an evaluation leaves for its callers.
struct Outputs {
    double momentumRate[segmentCount];
    double jointVelocity[segmentCount];
    double controllerTorque[segmentCount];
    Vector3 segmentGravity[segmentCount];
};

template <void (*evaluate)(const double*, const double*, double*, double*)>
Outputs evaluateAt(const double p[segmentCount], const double q[segmentCount]) {
    Outputs out;
    evaluate(p, q, out.momentumRate, out.jointVelocity);
    std::copy(figureData.controllerTorque.begin(), figureData.controllerTorque.end(), out.controllerTorque);
    std::copy(figureData.segmentGravity.begin(), figureData.segmentGravity.end(), out.segmentGravity);
    return out;
}

// The outputs as 13 + 13 + 13 + 39 doubles.
constexpr int outputCount = sizeof(Outputs) / sizeof(double);
const double* asDoubles(const Outputs& o) { return reinterpret_cast<const double*>(&o); }

std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

class PlanarDynamicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
    void TearDown() override { std::fill(figureData.appliedTorque.begin(), figureData.appliedTorque.end(), 0.0); }
};

TEST_F(PlanarDynamicsTest, RandomStatesGiveTheGeneralPassesBits) {
    ASSERT_TRUE(planarPassesApply());
    std::mt19937_64 rng(13);
    // angles over three turns either way; momenta from calm to violent
    std::uniform_real_distribution<double> angle(-20, 20), unit(-1, 1);
    std::uniform_int_distribution<int> key(-1, 1);
    const double momentumScale[] = {0.01, 1, 30, 300};
    for (int trial = 0; trial < 20000; ++trial) {
        double p[segmentCount], q[segmentCount];
        const double scale = momentumScale[trial % 4];
        for (int i = 0; i < segmentCount; ++i) q[i] = angle(rng), p[i] = scale * unit(rng);
        // the arrow keys' torques, and now and then a torque on every joint
        setAppliedTorques(key(rng), key(rng));
        if (trial % 10 == 0)
            for (double& t : figureData.appliedTorque) t = 200 * unit(rng);

        const Outputs general = evaluateAt<computeDerivativesGeneral>(p, q);
        const Outputs planar = evaluateAt<computeDerivatives>(p, q);
        for (int k = 0; k < outputCount; ++k) {
            // every bit, the sign of a zero included
            ASSERT_EQ(bits(asDoubles(planar)[k]), bits(asDoubles(general)[k]))
                << "output " << k << " at trial " << trial << ": " << asDoubles(planar)[k] << " against "
                << asDoubles(general)[k];
        }
    }
}

TEST_F(PlanarDynamicsTest, WhereResultsAreZeroOnlyTheirSignMayDiffer) {
    // States that make outputs exactly zero: the figure at rest (any angles),
    // every angle zero, everything zero. The planar passes drop terms that
    // are +0 or -0, so a result that is zero may come out with the other
    // sign; every other result is bit for bit the general passes'.
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(-7, 7), momentum(-50, 50);
    int signsDiffering = 0;
    for (int trial = 0; trial < 300; ++trial) {
        double p[segmentCount] = {}, q[segmentCount] = {};
        for (int i = 0; i < segmentCount; ++i) {
            if (trial % 3 == 0) q[i] = angle(rng);
            if (trial % 3 == 1) p[i] = momentum(rng);
        }
        const Outputs general = evaluateAt<computeDerivativesGeneral>(p, q);
        const Outputs planar = evaluateAt<computeDerivatives>(p, q);
        for (int k = 0; k < outputCount; ++k) {
            const double a = asDoubles(planar)[k], b = asDoubles(general)[k];
            if (bits(a) == bits(b)) continue;
            ASSERT_TRUE(a == 0.0 && b == 0.0) << "output " << k << " at trial " << trial << ": " << a
                                              << " against " << b;
            ++signsDiffering;
        }
    }
    RecordProperty("zeros of the other sign", signsDiffering);
}

TEST_F(PlanarDynamicsTest, StepsFromTheStartGiveTheGeneralPassesBits) {
    // two seconds of the keys' torques, switched as the golden run does
    double p[segmentCount] = {}, q[segmentCount] = {}, refP[segmentCount] = {}, refQ[segmentCount] = {};
    q[torso] = refQ[torso] = -1.57;
    const std::int32_t mode[] = {0, 1, 1, 1, 0}, direction[] = {0, 0, -1, 1, 0};
    for (int step = 0; step < 13000; ++step) {
        stepRK4(p, q, mode[step / 3000], direction[step / 3000]);
        stepRK4General(refP, refQ, mode[step / 3000], direction[step / 3000]);
        ASSERT_EQ(std::memcmp(p, refP, sizeof p), 0) << "step " << step;
        ASSERT_EQ(std::memcmp(q, refQ, sizeof q), 0) << "step " << step;
    }
}

TEST_F(PlanarDynamicsTest, GravityOutOfThePlaneFallsBackToTheGeneralPasses) {
    double p[segmentCount], q[segmentCount];
    for (int i = 0; i < segmentCount; ++i) p[i] = 0.5 * i - 3, q[i] = 0.3 * i - 2;
    const double saved = figureData.gravity[2];
    figureData.gravity[2] = 1.0;
    EXPECT_FALSE(planarPassesApply());
    const Outputs general = evaluateAt<computeDerivativesGeneral>(p, q);
    const Outputs chosen = evaluateAt<computeDerivatives>(p, q);
    const Outputs planar = evaluateAt<computeDerivativesPlanar>(p, q);
    figureData.gravity[2] = saved;
    EXPECT_TRUE(planarPassesApply());
    EXPECT_EQ(std::memcmp(&chosen, &general, sizeof chosen), 0);
    // and the planar passes, which carry no z, would have left gravity's z
    // out of the segment frames that the energy reads
    EXPECT_NE(std::memcmp(&planar, &general, sizeof planar), 0);
}

}  // namespace
