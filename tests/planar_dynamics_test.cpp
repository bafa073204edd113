// The planar passes against the general ones, bit for bit: every output of
// an evaluation (momentum rates, joint rates, controller torques and the
// gravity the energy bookkeeping reads) on many random states, and whole
// integration steps; for the window program's figure and for random trees.
#include "dynamics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "integrator.h"
#include "joint_controller.h"
#include "sine_table.h"
#include "start_state.h"

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

// A random planar tree of n segments: a chain, a binary tree or random
// parents, by `shape`; masses, lengths (the roots' too), centres of mass in
// the plane, inertias and controller gains drawn at random.
FigureModel randomTree(int n, int shape, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(0, 1);
    FigureModel model;
    model.name = "random";
    model.n = n;
    model.gravity = {4 * unit(rng) - 2, -9.80665 * unit(rng), 0, 0, 0, 0};
    model.jointDamping = shape == 0 ? 0.0 : unit(rng);
    for (int i = 0; i < n; ++i) {
        SegmentParameters s;
        s.mass = 0.1 + 3 * unit(rng);
        s.centreOfMass = {2 * unit(rng) - 0.5, unit(rng) - 0.5, 0};
        const double c2 = s.centreOfMass[0] * s.centreOfMass[0] + s.centreOfMass[1] * s.centreOfMass[1];
        const double izz = s.mass * (c2 + 0.01 + unit(rng));
        s.rotationalInertia = {0.1 * unit(rng), 0.01 * unit(rng), 0, izz, 0, izz};
        s.linkLength = 2 * unit(rng) - 0.5;
        s.linkOffset = 0;
        s.twistSin = 0;
        s.twistCos = 1;
        model.segment.push_back(s);
        model.segmentName.push_back("s" + std::to_string(i));
        const int parent = i == 0 ? -1
                           : shape == 0 ? i - 1
                           : shape == 1 ? (i - 1) / 2
                                        : static_cast<int>(unit(rng) * (i + 1)) - 1;  // -1: another root
        model.parent.push_back(parent);
        model.startAngle.push_back(0.0);
        model.jointTarget.push_back(2 * unit(rng) - 1);
        model.jointStiffness.push_back(shape == 0 ? 0.0 : 50 * unit(rng));
        model.drawnJointX.push_back(s.linkLength);
        model.drawnJointY.push_back(0.0);
        model.drawnLength.push_back(1.0);
    }
    std::string error;
    EXPECT_TRUE(finishFigureModel(model, error)) << error;
    return model;
}

// Every output of one evaluation on `model`, as doubles.
std::vector<double> outputsOf(void (*evaluate)(const FigureModel&, FigureData&, const double*, const double*,
                                               double*, double*),
                              const FigureModel& model, FigureData& data, const std::vector<double>& p,
                              const std::vector<double>& q) {
    const int n = model.n;
    std::vector<double> out(6 * n);
    evaluate(model, data, p.data(), q.data(), out.data(), out.data() + n);
    for (int i = 0; i < n; ++i) {
        out[2 * n + i] = data.controllerTorque[i];
        for (int k = 0; k < 3; ++k) out[3 * n + 3 * i + k] = data.segmentGravity[i][k];
    }
    return out;
}

TEST(PlanarTreeDynamicsTest, RandomTreesGiveTheGeneralPassesBits) {
    ensureSineTable();
    std::mt19937_64 rng(19);
    std::uniform_real_distribution<double> angle(-20, 20), unit(-1, 1);
    const int sizes[] = {1, 2, 3, 4, 5, 7, 13, 16, 31, 64, 100, 255, 1000, 4096};
    for (const int n : sizes)
        for (int shape = 0; shape < 3; ++shape) {
            const FigureModel model = randomTree(n, shape, rng);
            ASSERT_TRUE(model.planar);
            FigureData data(model), reference(model);
            ASSERT_TRUE(planarPassesApply(model, data));
            const int trials = n >= 1000 ? 4 : 60;
            for (int trial = 0; trial < trials; ++trial) {
                std::vector<double> p(n), q(n);
                const double scale = trial % 2 == 0 ? 1.0 : 100.0;
                // every fourth state with angles about where the table's
                // vector lookup hands over to the scalar one (6.7e9) and
                // where the scalar one's fast path ends (2^30 turns)
                const double far[] = {6.6999999e9, 6.7000001e9, 6746518850.0, 6746518855.0, 1e12};
                for (int i = 0; i < n; ++i) {
                    q[i] = trial % 4 == 3 ? (unit(rng) < 0 ? -far[i % 5] : far[i % 5]) + unit(rng) : angle(rng);
                    p[i] = scale * unit(rng);
                }
                for (int i = 0; i < n; ++i) data.appliedTorque[i] = reference.appliedTorque[i] = 50 * unit(rng);
                const std::vector<double> general = outputsOf(computeDerivativesGeneral, model, reference, p, q);
                const std::vector<double> planar = outputsOf(computeDerivatives, model, data, p, q);
                for (int k = 0; k < 6 * n; ++k)
                    ASSERT_EQ(bits(planar[k]), bits(general[k]))
                        << "output " << k << " of " << n << " segments, shape " << shape << ", trial " << trial
                        << ": " << planar[k] << " against " << general[k];
            }
            // and a run under the keys, step for step
            setStartState(model, data);
            setStartState(model, reference);
            for (int i = 0; i < n; ++i) data.q[i] = reference.q[i] = angle(rng);
            const int steps = n >= 1000 ? 50 : 1500;
            for (int step = 0; step < steps; ++step) {
                stepRK4(model, data, data.p.data(), data.q.data(), 1, step < steps / 2 ? 1 : -1);
                stepRK4General(model, reference, reference.p.data(), reference.q.data(), 1,
                               step < steps / 2 ? 1 : -1);
                ASSERT_EQ(std::memcmp(data.p.data(), reference.p.data(), n * sizeof(double)), 0)
                    << n << " segments, shape " << shape << ", step " << step;
                ASSERT_EQ(std::memcmp(data.q.data(), reference.q.data(), n * sizeof(double)), 0)
                    << n << " segments, shape " << shape << ", step " << step;
            }
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
