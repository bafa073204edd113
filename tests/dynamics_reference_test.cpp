// The recursive equations of motion against plain rigid-body mechanics.
//
// The reference (reference_figure.h) builds the figure's mass matrix from
// dense Jacobians and its gravity forces by virtual work; none of it follows
// the recursive passes. Two kinds of comparison:
//
// - With the core's own table sines and cosines in the reference, the two
//   describe the same (very slightly non-orthogonal) joint rotations, so
//   they must agree to rounding: p = M qdot, qdot = M^-1 p, and dp/dt =
//   gravity + kinetic-energy gradient + controller + applied torque.
// - With exact library sines in the reference, the core must obey Hamilton's
//   equations for H = 1/2 p^T M^-1 p + V_gravity to the accuracy of its sine
//   table.
//
// Tolerances are written next to each check; the table's resolution
// tableStep = 2 pi / 999999 = 6.3e-6 rad is the yardstick for the second kind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "dynamics.h"
#include "figure_model.h"
#include "initial_momenta.h"
#include "integrator.h"
#include "reference_figure.h"
#include "sine_table.h"

namespace {

using reference::JointMatrix;
using reference::JointTrig;
using reference::JointVector;
using reference::jointCount;

constexpr double epsilon = std::numeric_limits<double>::epsilon();
constexpr double tableStep = 6.283185307179586 / 999999.0;

// Total weight times the figure's reach from the pivot (torso plus a limb,
// 4 m): a bound on any gravity moment about any joint.
constexpr double weightMoment = 10.8 * reference::standardGravity * 4.0;

// Deterministic uniform draws: the top 53 bits of the engine's output, mapped
// onto [lo, hi) by hand, so every platform draws the same states.
class StateDraws {
public:
    explicit StateDraws(std::uint64_t seed) : engine_(seed) {}
    double uniform(double lo, double hi) {
        const double unit = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
        return lo + (hi - lo) * unit;
    }
    JointVector vector(double lo, double hi) {
        JointVector v{};
        for (double& x : v) x = uniform(lo, hi);
        return v;
    }

private:
    std::mt19937_64 engine_;
};

constexpr int stateCount = 200;
// Fewer for the checks that difference an energy eight times per joint.
constexpr int differencedStateCount = 100;
constexpr double angleRange = 3.0;  // angles in [-3, 3] rad
constexpr double rateRange = 5.0;   // rates in [-5, 5] rad/s, momenta in [-5, 5]

double maxAbs(const JointVector& v) {
    double m = 0.0;
    for (double x : v) m = std::max(m, std::abs(x));
    return m;
}

// The applied torques of a key state: mode 1 puts -100, +100, -100, +100 on
// the upper arms and legs, direction -1/0/+1 puts -100/0/+100 on the torso.
JointVector keyTorques(int limbTorqueMode, int torsoTorqueDirection) {
    JointVector t{};
    if (limbTorqueMode == 1) {
        t[rightUpperArm] = -100.0;
        t[leftUpperArm] = 100.0;
        t[rightUpperLeg] = -100.0;
        t[leftUpperLeg] = 100.0;
    }
    t[torso] = 100.0 * torsoTorqueDirection;
    return t;
}

struct Derivatives {
    JointVector momentumRate;
    JointVector jointVelocity;
};

Derivatives coreDerivatives(const JointVector& p, const JointVector& q) {
    Derivatives d{};
    computeDerivatives(p.data(), q.data(), d.momentumRate.data(), d.jointVelocity.data());
    return d;
}

// Fourth-order central difference of f at 0 with step h:
// (8 (f(h) - f(-h)) - (f(2h) - f(-2h))) / 12h. Its truncation error is about
// h^4 f^(5) / 30; the difference between the steps h and 2h, which is about
// 15 times that, is returned as the error estimate.
struct Slope {
    double value;
    double errorEstimate;
};
template <typename F>
Slope centralSlope(F f, double h) {
    auto d = [&](double s) {
        return (8.0 * (f(s) - f(-s)) - (f(2.0 * s) - f(-2.0 * s))) / (12.0 * s);
    };
    const double fine = d(h);
    return {fine, std::abs(fine - d(2.0 * h))};
}

// Largest error/tolerance ratio seen by a test, printed and recorded so a run
// shows how much room each tolerance leaves.
class WorstRatio {
public:
    explicit WorstRatio(std::string name) : name_(std::move(name)) {}
    void observe(double error, double tolerance) { worst_ = std::max(worst_, error / tolerance); }
    ~WorstRatio() {
        std::printf("[ measured ] %s: largest error / tolerance = %.3g\n", name_.c_str(), worst_);
        ::testing::Test::RecordProperty(name_, std::to_string(worst_));
    }

private:
    std::string name_;
    double worst_ = 0.0;
};

class FigureDynamics : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static const bool built = (buildFigureModel(), true);
        (void)built;
    }
    void SetUp() override { setAppliedTorques(0, 0); }
};

// ---------------------------------------------------------------------------
// The reference against itself, with exact sines: its Jacobians and gravity
// forces must be the derivatives of its own positions.

// 1/2 qdot^T M qdot equals sum 1/2 m |v_com|^2 + 1/2 Izz_com w^2, with v_com
// the time derivative of the centres of mass from forward kinematics along
// q + t qdot (fourth-order central difference, step 1e-4 s: truncation
// (h w)^4 / 30 < 1e-12 relative for w <= 20 rad/s, rounding eps 4 m / h =
// 1e-11 m/s). Tolerance 1e-9 of T leaves a wide margin over both.
TEST_F(FigureDynamics, ReferenceKineticEnergyIsThatOfTheMovingSegments) {
    WorstRatio worst("reference kinetic energy");
    StateDraws draws(0x5eed0001);
    for (int n = 0; n < stateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector qdot = draws.vector(-rateRange, rateRange);
        const double fromMatrix =
            reference::kineticEnergy(reference::massMatrix(reference::exactTrig(q)), qdot);

        double direct = 0.0;
        for (int i = 0; i < jointCount; ++i) {
            double v[2];
            for (int axis = 0; axis < 2; ++axis) {
                auto position = [&](double t) {
                    JointVector moved = q;
                    for (int j = 0; j < jointCount; ++j) moved[j] += t * qdot[j];
                    return reference::forwardKinematics(reference::exactTrig(moved))
                        .centreOfMass[i][axis];
                };
                v[axis] = centralSlope(position, 1e-4).value;
            }
            double w = 0.0;
            for (int j = i; j >= 0; j = parentOf[j]) w += qdot[j];
            direct += 0.5 * figureModel.segment[i].mass * (v[0] * v[0] + v[1] * v[1]) +
                      0.5 * reference::inertiaAboutCentreOfMass(i) * w * w;
        }
        const double tolerance = 1e-9 * direct;
        worst.observe(std::abs(fromMatrix - direct), tolerance);
        ASSERT_NEAR(fromMatrix, direct, tolerance) << "state " << n;
    }
}

// The virtual-work gravity forces are minus the gradient of V = sum m g y_com.
// Fourth-order central differences with step 1e-3 rad: rounding about
// eps |V| / h < 1e-10 (|V| < 430 J), truncation h^4 |V| / 30 < 2e-11.
// Tolerance 1e-9 N m.
TEST_F(FigureDynamics, ReferenceGravityForceIsMinusGradientOfPotential) {
    WorstRatio worst("reference gravity force");
    StateDraws draws(0x5eed0002);
    for (int n = 0; n < stateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector force = reference::gravityForce(reference::exactTrig(q));
        for (int j = 0; j < jointCount; ++j) {
            auto potential = [&](double s) {
                JointVector moved = q;
                moved[j] += s;
                return reference::gravityPotential(reference::exactTrig(moved));
            };
            const double expected = -centralSlope(potential, 1e-3).value;
            const double tolerance = 1e-9;
            worst.observe(std::abs(force[j] - expected), tolerance);
            ASSERT_NEAR(force[j], expected, tolerance) << "state " << n << " joint " << j;
        }
    }
}

// ---------------------------------------------------------------------------
// A case worked by hand: the figure stretched out straight at angle theta
// (every joint but the torso's at 0) and turning rigidly about the pivot at
// rate w is a compound pendulum.
//
// Segment centres lie at d = 0.5 (torso), 1.5, 2.5, 3.5 (each limb's three
// segments) from the pivot; joint j lies at e = 0, 1, 2, 3. Izz about the
// centre of mass is Izz - m/4: torso 0.16, mass-1 segments 0.08, mass-0.2
// segments 0.016.
//
// Momentum conjugate to joint j: p_j = w sum over the subtree of
// m d (d - e) + Izz_com. Joint 0: the moment of inertia about the pivot,
// 0.66 + 3 * 11.126 (arms, left leg: 2.33 + 6.33 + 2.466) + 15.926 (right
// leg, light lower leg and heavy foot: 2.33 + 1.266 + 12.33) = 49.964.
//
// Momentum rate: the figure is straight, so centrifugal forces point along
// it and have no moment about any joint; only the weights act. About joint j
// they give -g cos(theta) sum m (d - e), plus the controller torque
// K_j (target_j - q_j) - 5.1 qdot_j.
TEST_F(FigureDynamics, StraightFigureTurningRigidlyIsACompoundPendulum) {
    struct Joint {
        double momentumPerRate;  // sum m d (d - e) + Izz_com over the subtree
        double massMoment;       // sum m (d - e) over the subtree
    };
    const Joint joint[jointCount] = {
        {49.964, 20.6},                               // torso: the whole figure
        {6.426, 2.5},  {2.396, 0.8}, {0.366, 0.1},    // right arm
        {6.426, 2.5},  {2.396, 0.8}, {0.366, 0.1},    // left arm
        {10.426, 3.3}, {5.596, 1.6}, {1.83, 0.5},     // right leg: 0.2 kg lower leg, 1 kg foot
        {6.426, 2.5},  {2.396, 0.8}, {0.366, 0.1},    // left leg
    };
    const double theta = 0.3;
    const double w = 2.0;
    JointVector q{};
    q[torso] = theta;
    JointVector qdot{};
    qdot[torso] = w;

    // The core sees its table cosine of theta, and 1 - 1.1e-11 for cos 0 at
    // every other joint; 1e-9 relative covers the latter and rounding.
    JointVector p{};
    initMomenta(p.data(), q.data(), qdot.data());
    const Derivatives d = coreDerivatives(p, q);
    const JointVector controller = reference::controllerTorques(q, qdot);
    for (int j = 0; j < jointCount; ++j) {
        EXPECT_NEAR(p[j], joint[j].momentumPerRate * w, 1e-9 * joint[j].momentumPerRate * w)
            << "joint " << j;
        EXPECT_NEAR(d.jointVelocity[j], qdot[j], 1e-9 * w) << "joint " << j;
        const double expected =
            -reference::standardGravity * fastCos(theta) * joint[j].massMoment + controller[j];
        EXPECT_NEAR(d.momentumRate[j], expected, 1e-9 * weightMoment) << "joint " << j;
    }
}

// ---------------------------------------------------------------------------
// The core against the reference with the core's own table trigonometry.

// p = M(q) qdot. Each entry is a sum of some 50 products of size at most
// |M| |qdot|; rounding leaves about 50 eps of that. Tolerance 1e-13 |M| |qdot|
// (infinity norms).
TEST_F(FigureDynamics, MomentaAreMassMatrixTimesRates) {
    WorstRatio worst("p = M qdot");
    StateDraws draws(0x5eed0003);
    for (int n = 0; n < stateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector qdot = draws.vector(-rateRange, rateRange);
        const JointMatrix m = reference::massMatrix(reference::tableTrig(q));
        const JointVector expected = reference::multiply(m, qdot);
        JointVector p{};
        initMomenta(p.data(), q.data(), qdot.data());
        const double tolerance = 1e-13 * reference::infinityNorm(m) * maxAbs(qdot);
        for (int j = 0; j < jointCount; ++j) {
            worst.observe(std::abs(p[j] - expected[j]), tolerance);
            ASSERT_NEAR(p[j], expected[j], tolerance) << "state " << n << " joint " << j;
        }
    }
}

// qdot = M(q)^-1 p. Both sides solve the same linear system, so they may
// differ by its condition number kappa (up to about 4e3 here) times the
// backward error of either solver, about 10 eps. Tolerance 64 kappa eps
// |qdot|. The residual M qdot - p of the core's rates is checked as well; it
// is free of kappa: tolerance 1e-13 |M| |qdot|, as above.
TEST_F(FigureDynamics, JointRatesSolveMassMatrixEquation) {
    WorstRatio worstRate("qdot = M^-1 p");
    WorstRatio worstResidual("M qdot - p");
    StateDraws draws(0x5eed0004);
    for (int n = 0; n < stateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector p = draws.vector(-rateRange, rateRange);
        const JointMatrix m = reference::massMatrix(reference::tableTrig(q));
        const JointVector expected = reference::solve(m, p);
        const Derivatives d = coreDerivatives(p, q);
        const double kappa = reference::infinityNorm(m) * reference::inverseInfinityNorm(m);
        const double rateTolerance = 64.0 * kappa * epsilon * maxAbs(expected);
        const JointVector residual = reference::multiply(m, d.jointVelocity);
        const double residualTolerance =
            1e-13 * reference::infinityNorm(m) * maxAbs(d.jointVelocity);
        for (int j = 0; j < jointCount; ++j) {
            worstRate.observe(std::abs(d.jointVelocity[j] - expected[j]), rateTolerance);
            worstResidual.observe(std::abs(residual[j] - p[j]), residualTolerance);
            ASSERT_NEAR(d.jointVelocity[j], expected[j], rateTolerance)
                << "state " << n << " joint " << j;
            ASSERT_NEAR(residual[j], p[j], residualTolerance) << "state " << n << " joint " << j;
        }
    }
}

// initMomenta and computeDerivatives invert each other: rates -> momenta ->
// rates comes back to the start. Same kappa-based tolerance as above.
TEST_F(FigureDynamics, MomentumRoundTripRecoversRates) {
    WorstRatio worst("round trip");
    StateDraws draws(0x5eed0005);
    for (int n = 0; n < stateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector qdot = draws.vector(-rateRange, rateRange);
        JointVector p{};
        initMomenta(p.data(), q.data(), qdot.data());
        const Derivatives d = coreDerivatives(p, q);
        const JointMatrix m = reference::massMatrix(reference::tableTrig(q));
        const double kappa = reference::infinityNorm(m) * reference::inverseInfinityNorm(m);
        const double tolerance = 64.0 * kappa * epsilon * maxAbs(qdot);
        for (int j = 0; j < jointCount; ++j) {
            worst.observe(std::abs(d.jointVelocity[j] - qdot[j]), tolerance);
            ASSERT_NEAR(d.jointVelocity[j], qdot[j], tolerance) << "state " << n << " joint " << j;
        }
    }
}

// Joint j's matrix turned on by a further exact rotation of s: the derivative
// with respect to s at 0 is what d/dq_j means for a rotation matrix,
// dR/dq = R [[0, -1], [1, 0]]. The table values themselves are steps in q
// and have no useful derivative.
JointTrig turned(JointTrig trig, int j, double s) {
    const double sj = trig.sin[j];
    const double cj = trig.cos[j];
    trig.sin[j] = sj * std::cos(s) + cj * std::sin(s);
    trig.cos[j] = cj * std::cos(s) - sj * std::sin(s);
    return trig;
}

// dp/dt = Q + (-dT/dq at fixed p) + controller + applied, with the table's
// rotations throughout: Q the virtual-work gravity force, T = 1/2 p^T M^-1 p
// differentiated by turning each joint's matrix (fourth-order central
// difference, step 1e-3 rad; its error estimate enters the tolerance), the
// controller K (target - q) - 5.1 qdot on the core's rates, and the applied
// torques of a random key state. Besides the difference estimate, which
// also carries the rounding noise of T (up to kappa eps = 1e-12 relative,
// divided by the step), the tolerance allows 1e-11 of the terms' scale
// (weight moment plus sum |p_i qdot_i|) for rounding in the core and in Q.
TEST_F(FigureDynamics, MomentumRatesAreGravityKineticGradientAndTorques) {
    WorstRatio worst("dp/dt, table rotations");
    StateDraws draws(0x5eed0006);
    for (int n = 0; n < differencedStateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector p = draws.vector(-rateRange, rateRange);
        const int mode = n % 2;
        const int direction = (n / 2) % 3 - 1;
        setAppliedTorques(mode, direction);
        const JointVector applied = keyTorques(mode, direction);

        const Derivatives d = coreDerivatives(p, q);
        const JointTrig trig = reference::tableTrig(q);
        const JointVector gravity = reference::gravityForce(trig);
        const JointVector controller = reference::controllerTorques(q, d.jointVelocity);
        double scale = weightMoment;
        for (int i = 0; i < jointCount; ++i) scale += std::abs(p[i] * d.jointVelocity[i]);

        for (int j = 0; j < jointCount; ++j) {
            auto kinetic = [&](double s) {
                const JointTrig t = turned(trig, j, s);
                const JointVector qdot = reference::solve(reference::massMatrix(t), p);
                double e = 0.0;
                for (int i = 0; i < jointCount; ++i) e += 0.5 * p[i] * qdot[i];
                return e;
            };
            const Slope slope = centralSlope(kinetic, 1e-3);
            const double expected = gravity[j] - slope.value + controller[j] + applied[j];
            const double tolerance = 1e-11 * scale + slope.errorEstimate;
            worst.observe(std::abs(d.momentumRate[j] - expected), tolerance);
            ASSERT_NEAR(d.momentumRate[j], expected, tolerance)
                << "state " << n << " joint " << j << ": gravity " << gravity[j]
                << ", -dT/dq " << -slope.value << ", controller " << controller[j]
                << ", applied " << applied[j];
        }
    }
}

// ---------------------------------------------------------------------------
// Hamilton's equations with exact sines, H = 1/2 p^T M^-1 p + V_gravity.
//
// Every entry of each of the core's joint matrices lies within tableStep of
// the exact rotation's: the table sine samples an angle up to one step from
// q, the table cosine another (so s^2 + c^2 - 1 reaches 1.75 tableStep). A
// chain from the pivot to a hand or foot has four joints, so the core's
// mass matrix, gravity moments and velocity terms move by at most about
// 4 tableStep of their size.
//
// dq/dt = dH/dp = M^-1 p, checked as the residual M qdot_core - p, which does
// not magnify the table error by M's conditioning: tolerance
// 4 tableStep |M| |qdot_core|.
//
// dp/dt = -dH/dq + controller + applied, dH/dq by fourth-order central
// differences at fixed p (step 1e-3 rad, estimate in the tolerance). Every
// term of dp/dt is a gravity moment bounded by the weight moment or a
// velocity term bounded by sum |p_i qdot_i|: tolerance 4 tableStep times
// that scale. The controller's damping acts on the core's own rates, checked
// just before.
TEST_F(FigureDynamics, HamiltonsEquationsHoldToTableAccuracy) {
    WorstRatio worstRate("dq/dt = dH/dp");
    WorstRatio worstMomentum("dp/dt = -dH/dq + torques");
    StateDraws draws(0x5eed0007);
    for (int n = 0; n < differencedStateCount; ++n) {
        const JointVector q = draws.vector(-angleRange, angleRange);
        const JointVector p = draws.vector(-rateRange, rateRange);
        const int mode = (n / 3) % 2;
        const int direction = n % 3 - 1;
        setAppliedTorques(mode, direction);
        const JointVector applied = keyTorques(mode, direction);

        const Derivatives d = coreDerivatives(p, q);
        const JointMatrix m = reference::massMatrix(reference::exactTrig(q));
        const JointVector residual = reference::multiply(m, d.jointVelocity);
        const double rateTolerance =
            4.0 * tableStep * reference::infinityNorm(m) * maxAbs(d.jointVelocity);
        for (int j = 0; j < jointCount; ++j) {
            worstRate.observe(std::abs(residual[j] - p[j]), rateTolerance);
            ASSERT_NEAR(residual[j], p[j], rateTolerance) << "state " << n << " joint " << j;
        }

        const JointVector controller = reference::controllerTorques(q, d.jointVelocity);
        double scale = weightMoment;
        for (int i = 0; i < jointCount; ++i) scale += std::abs(p[i] * d.jointVelocity[i]);
        for (int j = 0; j < jointCount; ++j) {
            auto hamiltonian = [&](double s) {
                JointVector moved = q;
                moved[j] += s;
                const JointTrig trig = reference::exactTrig(moved);
                const JointVector qdot = reference::solve(reference::massMatrix(trig), p);
                double h = reference::gravityPotential(trig);
                for (int i = 0; i < jointCount; ++i) h += 0.5 * p[i] * qdot[i];
                return h;
            };
            const Slope slope = centralSlope(hamiltonian, 1e-3);
            const double expected = -slope.value + controller[j] + applied[j];
            const double tolerance = 4.0 * tableStep * scale + slope.errorEstimate;
            worstMomentum.observe(std::abs(d.momentumRate[j] - expected), tolerance);
            ASSERT_NEAR(d.momentumRate[j], expected, tolerance)
                << "state " << n << " joint " << j;
        }
    }
}

}  // namespace
