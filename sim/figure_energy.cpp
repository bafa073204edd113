#include "figure_energy.h"

#include "dynamics.h"
#include "hand_pull.h"
#include "integrator.h"
#include "joint_controller.h"

namespace {

// energy at (p, q), and the joint rates there in `rate`
void evaluateEnergy(FigureEnergy& energy, double rate[segmentCount], const double p[segmentCount],
                    const double q[segmentCount]) {
    const DynamicsWorkspace& w = dynamicsWorkspace;
    const FigureModel& model = figureModel;
    const SegmentParameters* seg = model.segment;

    // the joint rates and the gravity in every segment frame, as the
    // dynamics finds them
    double momentumRate[segmentCount];
    computeDerivatives(p, q, momentumRate, rate);

    // kinetic: the momenta are conjugate to the rates
    double kinetic = 0.0;
    for (int i = 0; i < segmentCount; ++i) kinetic += p[i] * rate[i];
    energy.kinetic = 0.5 * kinetic;

    // gravity, outward. A point r has the potential -g . r per unit mass,
    // and for a vector v in segment k's frame g . (R_k v) = g_k . v, g_k the
    // gravity the dynamics carried into that frame: so a joint's potential is
    // its parent joint's less g . (a, 0, -b), the joint's place in the twisted
    // parent frame, and a centre of mass's is its joint's less g_i . c_i
    double jointPotential[segmentCount];  // -g . (joint i's position), m^2/s^2
    double gravity = 0.0;
    for (const int i : outwardOrder) {
        const int parent = parentOf[i];
        const Vector3 g = parent < 0 ? Vector3{model.gravity[0], model.gravity[1], model.gravity[2]}
                                     : w.segmentGravity[parent];
        Vector3 twisted;
        rotateToChild(twisted, g, seg[i].twistSin, seg[i].twistCos, 0.0, 1.0);
        const double base = parent < 0 ? 0.0 : jointPotential[parent];
        jointPotential[i] = base - (twisted[0] * seg[i].linkLength - twisted[2] * seg[i].linkOffset);
        const Vector3& gi = w.segmentGravity[i];
        const Vector3& c = seg[i].centreOfMass;
        gravity += seg[i].mass * (jointPotential[i] - (gi[0] * c[0] + gi[1] * c[1] + gi[2] * c[2]));
    }
    energy.gravity = gravity;

    // the controllers' springs
    double spring = 0.0;
    for (int i = 0; i < segmentCount; ++i) {
        const double stretch = jointTarget[i] - q[i];
        spring += 0.5 * controllerStiffness[i] * stretch * stretch;
    }
    energy.spring = spring;
}

double total(const FigureEnergy& e) { return e.kinetic + e.gravity + e.spring; }

void balance(EnergyLedger& ledger) {
    ledger.residual =
        (total(ledger.now) - total(ledger.start)) + ledger.dissipated - ledger.supplied - ledger.knobWork -
        ledger.handWork;
}

}  // namespace

void computeFigureEnergy(FigureEnergy& energy, const double p[segmentCount], const double q[segmentCount]) {
    double rate[segmentCount];
    evaluateEnergy(energy, rate, p, q);
}

void openEnergyLedger(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    evaluateEnergy(ledger.start, ledger.lastRate, p, q);
    ledger.now = ledger.start;
    ledger.dissipated = 0.0;
    ledger.supplied = 0.0;
    ledger.knobWork = 0.0;
    ledger.handWork = 0.0;
    ledger.residual = 0.0;
    for (int i = 0; i < segmentCount; ++i) ledger.lastAngle[i] = q[i];
}

void recordEnergyStep(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    double rate[segmentCount];
    evaluateEnergy(ledger.now, rate, p, q);

    // the step's works. Damping: the trapezoid rule on the rates at the
    // step's two ends. Applied torques: each is constant over the step, so
    // its work is the torque times the angle the joint turned, the exact
    // integral of torque times rate along the integrator's path.
    double damped = 0.0, driven = 0.0;
    for (int i = 0; i < segmentCount; ++i) {
        const double r0 = ledger.lastRate[i], r1 = rate[i];
        damped += r0 * r0 + r1 * r1;
        driven += appliedTorque[i] * (q[i] - ledger.lastAngle[i]);
    }
    ledger.dissipated += controllerDamping * damped * (0.5 * timeStep);
    ledger.supplied += driven;
    ledger.handWork += handStepWork;

    for (int i = 0; i < segmentCount; ++i) {
        ledger.lastRate[i] = rate[i];
        ledger.lastAngle[i] = q[i];
    }
    balance(ledger);
}

void recordKnobChange(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    const double before = total(ledger.now);
    evaluateEnergy(ledger.now, ledger.lastRate, p, q);
    ledger.knobWork += total(ledger.now) - before;
    balance(ledger);
}
