// A figure's energy and where it goes: kinetic, gravity and the
// controllers' springs at a state, and a ledger of the work the damping
// takes out, the applied torques put in and the physics knobs add along a run.
#pragma once

#include <vector>

#include "figure_data.h"
#include "figure_model.h"

struct FigureEnergy {
    double kinetic;  // 1/2 sum p_i q'_i, J
    double gravity;  // sum m_i g y_i, y_i the centre of mass's height above the pivot, J
    double spring;   // sum 1/2 K_i (target_i - q_i)^2 of the joint controllers, J
    // g and K_i are those in force (data.gravity, data.controllerStiffness)
};

struct EnergyLedger {
    FigureEnergy start{};  // at step 0
    FigureEnergy now{};    // at the last recorded state
    double dissipated = 0;  // work the controllers' damping has taken out since step 0 (>= 0), J
    double supplied = 0;    // work the applied torques have put in since step 0, J
    double knobWork = 0;    // what the knobs' changes added to the stored energy since step 0, J
    double handWork = 0;    // work the hand's pull has put in since step 0, J
    double residual = 0;    // (now - start, all three terms) + dissipated - supplied - knobWork - handWork, J
    // the last recorded state's joint rates and angles, for the next step's works
    std::vector<double> lastRate, lastAngle;
    // scratch of one evaluation: rates, momentum rates, joint potentials
    std::vector<double> rate, momentumRate, potential;
};

// energy at (p, q) of `model` under data's knobs: the kinetic term from the
// joint rates q' that the equations of motion derive from (p, q), gravity
// from the same joint transforms and table sines. Runs one evaluation of the
// equations of motion, which rewrites data's working records (and
// controllerTorque); every evaluation writes those before it reads them, so
// no later step changes. `ledger` lends its scratch.
void computeFigureEnergy(const FigureModel& model, FigureData& data, EnergyLedger& ledger, FigureEnergy& energy,
                         const double p[], const double q[]);

// ledger = the energy at (p, q), taken as step 0; no work done yet.
void openEnergyLedger(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]);

// After each stepRK4, with the new state: ledger.now becomes the energy at
// (p, q) and the step's dissipated and supplied work are added, under the
// torques data.appliedTorque holds for that step and the damping in force,
// and the hand's work of that step as stepRK4 left it in data.handStepWork.
void recordEnergyStep(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]);

// After a knob changed between two steps, with the state (p, q) of that
// moment: the stored energy at (p, q) jumps (gravity and the springs weigh
// differently, the kinetic term stays), and the jump goes into knobWork, so
// the residual stays what it was.
void recordKnobChange(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]);

// The window program's entry points, on figureModel and figureData.
void computeFigureEnergy(FigureEnergy& energy, const double p[segmentCount], const double q[segmentCount]);
void openEnergyLedger(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]);
void recordEnergyStep(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]);
void recordKnobChange(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]);
