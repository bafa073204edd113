// Energy balance along an integrated trajectory.
//
// The figure's energy E = T + V_gravity + sum 1/2 K_i (q_i - target_i)^2 can
// change only through the controller's damping and the applied torques:
//
//   dE/dt = -5.1 sum qdot_i^2 + sum applied_i qdot_i.
//
// The test runs stepRK4 from the start state through the four keys and, over
// every interval of 500 steps, compares the change of E, measured by the
// reference (reference_figure.h: dense mass matrix, forward kinematics), with
// the integral of the right-hand side over the core's own joint rates.
//
// Error budget of one interval, a to b:
// - Sine table. The table sine and cosine of a joint sample angles up to
//   tableStep = 6.3e-6 rad from q, each its own, so each joint's matrix is
//   turned by up to a step and distorted off orthogonal by up to 1.75 steps.
//   The turn moves the energy that the core's motion conserves away from
//   the reference's E by at most about tableStep sum_j |dE/dq_j|, the
//   distortion by about as much again. Allowance: 2 tableStep (G_a + G_b),
//   G = sum_j |d(T + V_gravity)/dq_j| at fixed p (the controller's potential
//   does not go through the table).
//   E is measured with exact sines. With the table's own sines E becomes a
//   staircase that jumps by up to tableStep |dE/dq| whenever an angle crosses
//   a grid point, many times per step at these speeds, while RK4 averages the
//   core's motion over those cells; on this trajectory that left the interval
//   errors about three times larger than with exact sines.
// - Quadrature. Simpson's rule on the rates at every step; its error is
//   estimated as |Simpson(dt) - Simpson(2 dt)| (about 15 times the actual
//   error) and allowed in full.
// - RK4 truncation. The fastest rate in the motion is the damping of the
//   lightest mode, 5.1 |M^-1| < 340 1/s on this run (the springs are slower,
//   below 63 rad/s), so lambda dt < 0.052 and the local error per step is of
//   order (lambda dt)^5 / 120 < 4e-9 of the energy in that motion, well
//   under 1e-6 J per interval: nothing is allowed for it.
// - Rounding in E: M's condition number (below 7e3 on this run) times eps,
//   about 1e-12 of E; allowed as 1e-9 (|E_a| + |E_b|).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "dynamics.h"
#include "figure_model.h"
#include "initial_momenta.h"
#include "integrator.h"
#include "reference_figure.h"

namespace {

using reference::JointVector;
using reference::jointCount;

constexpr double tableStep = 6.283185307179586 / 999999.0;
constexpr double damping = 5.1;
constexpr int interval = 500;  // steps per balance check: 0.075 s, a multiple of 4

// T + V_gravity with exact sines; M^-1 p by the reference's dense solver.
double mechanicalEnergy(const JointVector& q, const JointVector& p) {
    const reference::JointTrig trig = reference::exactTrig(q);
    const JointVector qdot = reference::solve(reference::massMatrix(trig), p);
    double e = reference::gravityPotential(trig);
    for (int i = 0; i < jointCount; ++i) e += 0.5 * p[i] * qdot[i];
    return e;
}

double totalEnergy(const JointVector& q, const JointVector& p) {
    return mechanicalEnergy(q, p) + reference::controllerPotential(q);
}

// sum_j |d(T + V_gravity)/dq_j| at fixed p, by central differences: only the
// size matters, for the table allowance.
double energySlope(const JointVector& q, const JointVector& p) {
    const double h = 1e-6;
    double g = 0.0;
    for (int j = 0; j < jointCount; ++j) {
        JointVector up = q;
        JointVector down = q;
        up[j] += h;
        down[j] -= h;
        g += std::abs(mechanicalEnergy(up, p) - mechanicalEnergy(down, p)) / (2.0 * h);
    }
    return g;
}

// Simpson's rule over every stride-th sample, the samples being step apart (an
// even number of panels).
double simpson(const std::vector<double>& f, int stride, double step) {
    double sum = 0.0;
    for (std::size_t k = 0; k + 2 * stride < f.size(); k += 2 * stride)
        sum += f[k] + 4.0 * f[k + stride] + f[k + 2 * stride];
    return sum * stride * step / 3.0;
}

// A held key state and how long it is held. LEFT and RIGHT keep the limb
// mode that DOWN set; UP clears both.
struct Phase {
    const char* key;
    int limbTorqueMode;
    int torsoTorqueDirection;
    int steps;
    JointVector applied;  // the torques that state puts on the joints
};

JointVector torques(double torsoTorque, double limbTorque) {
    JointVector t{};
    t[torso] = torsoTorque;
    t[rightUpperArm] = -limbTorque;
    t[leftUpperArm] = limbTorque;
    t[rightUpperLeg] = -limbTorque;
    t[leftUpperLeg] = limbTorque;
    return t;
}

TEST(EnergyBalance, EnergyChangesOnlyByDampingAndAppliedWork) {
    buildFigureModel();

    JointVector q{};
    JointVector p{};
    const JointVector startRates{};
    q[torso] = -1.57;
    initMomenta(p.data(), q.data(), startRates.data());

    const Phase phases[] = {
        {"none", 0, 0, 2000, torques(0.0, 0.0)},
        {"DOWN", 1, 0, 4000, torques(0.0, 100.0)},
        {"LEFT", 1, -1, 4000, torques(-100.0, 100.0)},
        {"RIGHT", 1, 1, 4000, torques(100.0, 100.0)},
        {"UP", 0, 0, 6000, torques(0.0, 0.0)},
    };

    auto jointRates = [&] {
        JointVector rate{};
        JointVector velocity{};
        computeDerivatives(p.data(), q.data(), rate.data(), velocity.data());
        return velocity;
    };

    double energyA = totalEnergy(q, p);
    double slopeA = energySlope(q, p);
    const double startEnergy = energyA;
    const double startSlope = slopeA;
    double totalWork = 0.0;
    double totalQuadratureError = 0.0;
    double worstRatio = 0.0;
    int step = 0;
    for (const Phase& phase : phases) {
        auto power = [&](const JointVector& v) {
            double w = 0.0;
            for (int i = 0; i < jointCount; ++i)
                w += -damping * v[i] * v[i] + phase.applied[i] * v[i];
            return w;
        };
        double phaseWork = 0.0;
        for (int block = 0; block < phase.steps / interval; ++block) {
            std::vector<double> samples{power(jointRates())};
            for (int s = 0; s < interval; ++s) {
                stepRK4(p.data(), q.data(), phase.limbTorqueMode, phase.torsoTorqueDirection);
                ++step;
                samples.push_back(power(jointRates()));
            }
            const double work = simpson(samples, 1, timeStep);
            const double quadratureError = std::abs(work - simpson(samples, 2, timeStep));
            const double energyB = totalEnergy(q, p);
            const double slopeB = energySlope(q, p);

            const double error = (energyB - energyA) - work;
            const double tolerance = 2.0 * tableStep * (slopeA + slopeB) + quadratureError +
                                     1e-9 * (std::abs(energyA) + std::abs(energyB));
            worstRatio = std::max(worstRatio, std::abs(error) / tolerance);
            EXPECT_NEAR(energyB - energyA, work, tolerance)
                << "steps " << step - interval << " to " << step << " under key " << phase.key;

            phaseWork += work;
            totalQuadratureError += quadratureError;
            energyA = energyB;
            slopeA = slopeB;
        }
        std::printf("[ measured ] key %-5s: work %+.6g J over %d steps\n", phase.key, phaseWork,
                    phase.steps);
        totalWork += phaseWork;
    }
    std::printf("[ measured ] interval balance: largest error / tolerance = %.3g\n", worstRatio);

    // Over the whole run the table's displacement of the energy does not
    // accumulate: it is bounded at the two ends, as for one interval.
    const double tolerance = 2.0 * tableStep * (startSlope + slopeA) + totalQuadratureError +
                             1e-9 * (std::abs(startEnergy) + std::abs(energyA));
    std::printf("[ measured ] whole run: error %.3g J, tolerance %.3g J\n",
                (energyA - startEnergy) - totalWork, tolerance);
    EXPECT_NEAR(energyA - startEnergy, totalWork, tolerance);
}

}  // namespace
