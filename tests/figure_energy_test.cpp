// The figure's energy terms, and the ledger's balance over a run.
#include "figure_energy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "initial_momenta.h"
#include "integrator.h"
#include "key_controls.h"
#include "reference_figure.h"
#include "sine_table.h"

namespace {

using reference::JointMatrix;
using reference::JointVector;

class FigureEnergyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { buildFigureModel(); }
    void SetUp() override { setAppliedTorques(0, 0); }

    // the start-up state: torso at -1.57, every other joint straight, at rest
    double p[segmentCount] = {}, q[segmentCount] = {};
    void startUp() {
        const double qdot[segmentCount] = {};
        q[torso] = -1.57;
        initMomenta(p, q, qdot);
    }
};

double total(const FigureEnergy& e) { return e.kinetic + e.gravity + e.spring; }

// At the start-up state.
//
// Gravity by hand. With every joint but the torso's at 0 the whole figure
// lies along the torso's axis, and a point d along that axis is at height
// d sin(-1.57). The centres of mass lie half-way along their segments, the
// limbs' joints 1.0 apart from the torso's far end on, so the lever sum
// sum m_i d_i is
//   torso             2.0 x 0.5                          = 1.0
//   right arm         1.0 x 1.5 + 1.0 x 2.5 + 0.2 x 3.5  = 4.7
//   left arm          the same                           = 4.7
//   right leg         1.0 x 1.5 + 0.2 x 2.5 + 1.0 x 3.5  = 5.5 (its light segment in the middle)
//   left leg          as the arms                        = 4.7
// in all 20.6 kg m, and V = 9.80665 x 20.6 x sin(-1.57), the sine being the
// table's, as the dynamics sees it. The table's cosine of 0 falls short of 1
// by 1.1e-11 at each straight joint, which shortens the lever sum by 15.6 x
// 1.1e-11 kg m: 1.7e-9 J, within the 1e-8 J allowed.
//
// Spring by hand. Every target but the torso's and the upper limbs' is 0, as
// are those angles: 1/2 50 (-1.570796 + 1.57)^2 for the torso, and the upper
// arms (K 60 and 50) and the upper legs (50 and 60) at 0.785398 and
// 0.5235986666666667 from their targets: 55 x 0.785398^2 + 55 x
// 0.5235986666666667^2 + 25 x 0.000796^2 = 49.0053 J.
TEST_F(FigureEnergyTest, AtRestTheTermsAreThoseOfTheModelTable) {
    startUp();
    FigureEnergy energy;
    computeFigureEnergy(energy, p, q);
    EXPECT_EQ(energy.kinetic, 0.0);
    EXPECT_NEAR(energy.gravity, 9.80665 * 20.6 * fastSin(-1.57), 1e-8);
    const double torsoStretch = -1.570796 + 1.57;
    EXPECT_NEAR(energy.spring,
                55.0 * 0.785398 * 0.785398 + 55.0 * 0.5235986666666667 * 0.5235986666666667 +
                    25.0 * torsoStretch * torsoStretch,
                1e-12);
}

// At random states, against the slow reference with the same table sines:
// kinetic 1/2 qdot^T M qdot with qdot = M^-1 p from its own dense solver,
// gravity from its forward kinematics, spring from its restated gains.
//
// Tolerances: the two kinetic energies solve the same linear system, so they
// part by up to its condition number kappa (below 4e3) times about 10 eps,
// relative; allowed 64 kappa eps T. Gravity: both are sums of some 50
// products of size at most the figure's weight times its reach, 10.8 g 4 m;
// allowed 1e-13 of that. Spring: 13 rounded squares, 1e-13 of the sum.
TEST_F(FigureEnergyTest, TermsAgreeWithTheReferenceAtRandomStates) {
    std::mt19937_64 rng(0x5eed0007);
    std::uniform_real_distribution<double> angle(-3.0, 3.0), momentum(-5.0, 5.0);
    const double weightReach = 10.8 * reference::standardGravity * 4.0;
    for (int n = 0; n < 200; ++n) {
        JointVector momenta{}, angles{};
        for (int i = 0; i < segmentCount; ++i) angles[i] = angle(rng), momenta[i] = momentum(rng);
        const JointMatrix m = reference::massMatrix(reference::tableTrig(angles));
        const double kappa = reference::infinityNorm(m) * reference::inverseInfinityNorm(m);
        const double kinetic = reference::kineticEnergy(m, reference::solve(m, momenta));

        FigureEnergy energy;
        computeFigureEnergy(energy, momenta.data(), angles.data());
        EXPECT_NEAR(energy.kinetic, kinetic, 64.0 * kappa * std::numeric_limits<double>::epsilon() * kinetic)
            << "state " << n;
        EXPECT_NEAR(energy.gravity, reference::gravityPotential(reference::tableTrig(angles)), 1e-13 * weightReach)
            << "state " << n;
        const double spring = reference::controllerPotential(angles);
        EXPECT_NEAR(energy.spring, spring, 1e-13 * spring) << "state " << n;
    }
}

// Five seconds from the start-up state with DOWN at 1 s, LEFT at 2 s, RIGHT at
// 3 s and UP at 4 s: at every step the residual stays within 1e-5 of the
// energy turnover, the largest |E - E0| plus the dissipated work.
//
// Where the residual comes from, measured on this run (its largest |residual|
// is 1.27e-3 J, the turnover 1416 J):
// - The sine table's granularity, nearly all of it. The dynamics turns each
//   joint by matrices whose sine and cosine are grid samples up to 6.3e-6 rad
//   away from the angle, so no energy is exactly conserved by its motion.
//   Measured with the same run in a table of 10^5 and 10^7 samples instead
//   of 10^6, the largest residual is 1.30e-2 J and 1.22e-4 J: in proportion
//   to the table's step. It shows twice over: E taken with the table's sines
//   is a staircase in q, up to 1.31e-3 J away from E taken with exact sines
//   at the same states; and with exact sines the residual is 1.23e-3 J.
// - The damping's trapezoid rule: it parts from a fourth-order rule (a
//   quadratic rate through both ends with the integrator's own angle change)
//   by at most 5.5e-5 J, 4.2e-5 J of it left with a ten times finer table.
//   The applied torques' work has no quadrature error: each torque is
//   constant over a step, so its work is torque times angle turned.
// - RK4's truncation: the same run in half and quarter steps changes the
//   residual by under 5e-6 J.
TEST_F(FigureEnergyTest, FiveSecondsWithEveryKeyStayBalanced) {
    constexpr long steps = 33333;
    const struct {
        long step;
        int key;
    } schedule[] = {{6667, keyDown}, {13333, keyLeft}, {20000, keyRight}, {26667, keyUp}};

    startUp();
    EnergyLedger ledger;
    openEnergyLedger(ledger, p, q);
    EXPECT_EQ(ledger.residual, 0.0);

    KeyState keys;
    double largestResidual = 0.0, largestChange = 0.0;
    for (long step = 0; step < steps; ++step) {
        for (const auto& press : schedule)
            if (press.step == step) applySpecialKey(keys, press.key);
        stepRK4(p, q, keys.limbTorqueMode, keys.torsoTorqueDirection);
        recordEnergyStep(ledger, p, q);
        largestResidual = std::max(largestResidual, std::abs(ledger.residual));
        largestChange = std::max(largestChange, std::abs(total(ledger.now) - total(ledger.start)));
    }
    const double turnover = largestChange + ledger.dissipated;
    std::printf("[ measured ] largest |residual| %.3g J, turnover %.6g J (dissipated %.6g, supplied %.6g)\n",
                largestResidual, turnover, ledger.dissipated, ledger.supplied);
    EXPECT_LE(largestResidual, 1e-5 * turnover);
    // and the residual is the balance of the ledger's own columns
    EXPECT_NEAR(ledger.residual, (total(ledger.now) - total(ledger.start)) + ledger.dissipated - ledger.supplied,
                1e-9);
}

}  // namespace
