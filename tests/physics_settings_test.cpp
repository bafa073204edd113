// The physics knobs: what the standard settings leave exactly as without
// knobs, and the energy books through a run of knob changes.
#include "physics_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "figure_energy.h"
#include "integrator.h"
#include "joint_controller.h"
#include "key_controls.h"
#include "start_state.h"

namespace {

// Puts the standard settings back whatever a test left.
struct StandardSettingsAfter {
    ~StandardSettingsAfter() { applyPhysicsSettings(PhysicsSettings{}); }
};

TEST(PhysicsSettingsTest, StandardSettingsAreTheGainsAndGravityBitForBit) {
    StandardSettingsAfter restore;
    FigureState untouched{};
    startFigure(untouched);
    for (int step = 0; step < 300; ++step) stepRK4(untouched.p, untouched.q, 1, -1);

    // every knob turned far away and back: the numbers are the standard ones
    PhysicsSettings odd;
    odd.gravity = 24.79;
    odd.stiffness = 0.25;
    odd.damping = 3.0;
    odd.keyTorque = 0.0;
    applyPhysicsSettings(odd);
    EXPECT_EQ(figureData.gravity[1], -24.79);
    EXPECT_EQ(figureData.controllerDamping, 5.1 * 3.0);
    applyPhysicsSettings(PhysicsSettings{});
    EXPECT_EQ(figureData.gravity, (SpatialVector{0, -9.80665, 0, 0, 0, 0}));
    EXPECT_EQ(0, std::memcmp(figureData.controllerStiffness.data(), jointStiffness, sizeof jointStiffness));
    EXPECT_EQ(figureData.controllerDamping, jointDamping);
    EXPECT_EQ(figureData.keyTorque, 100.0);
    FigureState state{};
    startFigure(state);
    for (int step = 0; step < 300; ++step) stepRK4(state.p, state.q, 1, -1);
    EXPECT_EQ(0, std::memcmp(state.q, untouched.q, sizeof state.q));
    EXPECT_EQ(0, std::memcmp(state.p, untouched.p, sizeof state.p));

    // the standard values are the knobs' own starting points and lie in range
    for (int k = 0; k < knobCount; ++k) {
        const Knob knob = static_cast<Knob>(k);
        EXPECT_EQ(knobValue(PhysicsSettings{}, knob), knobInfo[k].standard) << knobInfo[k].name;
        EXPECT_TRUE(knobValueAllowed(knob, knobInfo[k].low) && knobValueAllowed(knob, knobInfo[k].high));
        EXPECT_FALSE(knobValueAllowed(knob, knobInfo[k].high * 1.001) || knobValueAllowed(knob, -0.001) ||
                     knobValueAllowed(knob, std::nan("")));
    }
}

// A knob changes the motion from the next step on: gravity, the gains and
// the key torque each move the state away from the standard run.
TEST(PhysicsSettingsTest, EveryKnobChangesTheMotion) {
    StandardSettingsAfter restore;
    FigureState standard{};
    startFigure(standard);
    for (int step = 0; step < 200; ++step) stepRK4(standard.p, standard.q, 1, 1);
    for (int k = 0; k < knobCount; ++k) {
        PhysicsSettings settings;
        setKnobValue(settings, static_cast<Knob>(k), knobInfo[k].standard * 0.5);
        FigureState state{};
        startFigure(state);
        applyPhysicsSettings(settings);
        for (int step = 0; step < 200; ++step) stepRK4(state.p, state.q, 1, 1);
        applyPhysicsSettings(PhysicsSettings{});
        EXPECT_NE(0, std::memcmp(state.q, standard.q, sizeof state.q)) << knobInfo[k].name;
    }
}

// Knob changes at a run of moments, keys switched between them: the ledger
// counts each change's jump of the stored energy as the knobs' work, and the
// residual stays within 1e-5 of the energy turned over (the largest change
// of the stored energy, plus what the damping took out, the keys and the
// knobs moved). Without the knobs' term the residual would be the jumps,
// hundreds of joules. Every knob visits both ends of its range; what the
// script avoids is spinning the figure up to hundreds of radians a second
// (300 N m on joints without springs or damping) and then damping it at x4:
// there the trapezoid rule of the damping work, not the knobs' books, misses
// some 1e-5 of the energy.
TEST(PhysicsSettingsTest, EnergyBooksStayClosedThroughKnobChanges) {
    StandardSettingsAfter restore;
    struct Change {
        int step;
        Knob knob;
        double value;
    };
    const Change script[] = {
        {2000, Knob::gravity, 24.79},   {4000, Knob::stiffness, 4.0},  {6000, Knob::damping, 4.0},
        {8000, Knob::keyTorque, 300.0}, {10000, Knob::gravity, 1.62},  {12000, Knob::damping, 0.0},
        {14000, Knob::damping, 1.0},    {14000, Knob::stiffness, 0.0}, {16000, Knob::gravity, 0.0},
        {18000, Knob::stiffness, 2.5},  {20000, Knob::keyTorque, 0.0}, {22000, Knob::gravity, 9.80665},
        {24000, Knob::stiffness, 1.0},
    };
    FigureState state{};
    startFigure(state);
    EnergyLedger ledger;
    openEnergyLedger(ledger, state.p, state.q);
    PhysicsSettings settings;
    KeyState keys;
    double knobMoved = 0.0, largestResidual = 0.0, largestChange = 0.0;
    const double start = ledger.start.kinetic + ledger.start.gravity + ledger.start.spring;
    for (int step = 0; step < 26000; ++step) {
        if (step == 1000) applySpecialKey(keys, keyDown);
        if (step == 9000) applySpecialKey(keys, keyLeft);
        if (step == 15000) applySpecialKey(keys, keyUp);
        if (step == 17000) applySpecialKey(keys, keyRight);
        for (const Change& change : script)
            if (change.step == step) {
                const double before = ledger.knobWork;
                setKnobValue(settings, change.knob, change.value);
                applyPhysicsSettings(settings);
                recordKnobChange(ledger, state.p, state.q);
                knobMoved += std::abs(ledger.knobWork - before);
            }
        stepRK4(state.p, state.q, keys.limbTorqueMode, keys.torsoTorqueDirection);
        recordEnergyStep(ledger, state.p, state.q);
        largestResidual = std::max(largestResidual, std::abs(ledger.residual));
        largestChange =
            std::max(largestChange, std::abs(ledger.now.kinetic + ledger.now.gravity + ledger.now.spring - start));
    }
    const double turnedOver = largestChange + ledger.dissipated + std::abs(ledger.supplied) + knobMoved;
    std::printf("largest |residual| %.3g J of %.4g J turned over (knobs moved %.4g J)\n", largestResidual,
                turnedOver, knobMoved);
    EXPECT_GT(knobMoved, 100.0);
    EXPECT_LE(largestResidual, 1e-5 * turnedOver);
}

}  // namespace
