#include "figure_energy.h"

#include "dynamics.h"
#include "evaluation_memo.h"
#include "integrator.h"

namespace {

void sizeLedger(EnergyLedger& ledger, int n) {
    const auto size = static_cast<std::size_t>(n);
    if (ledger.rate.size() == size) return;
    ledger.lastRate.assign(size, 0.0);
    ledger.lastAngle.assign(size, 0.0);
    ledger.rate.assign(size, 0.0);
    ledger.momentumRate.assign(size, 0.0);
    ledger.potential.assign(size, 0.0);
}

// energy at (p, q), and the joint rates there in `rate`
void evaluateEnergy(const FigureModel& model, FigureData& w, EnergyLedger& ledger, FigureEnergy& energy,
                    double rate[], const double p[], const double q[]) {
    const SegmentParameters* seg = model.segment.data();
    const int n = model.n;

    // the joint rates and the gravity in every segment frame, as the
    // dynamics finds them; kept, for the next step begins here
    computeDerivativesKept(model, w, p, q, ledger.momentumRate.data(), rate);

    // kinetic: the momenta are conjugate to the rates
    double kinetic = 0.0;
    for (int i = 0; i < n; ++i) kinetic += p[i] * rate[i];
    energy.kinetic = 0.5 * kinetic;

    // gravity, outward. A point r has the potential -g . r per unit mass,
    // and for a vector v in segment k's frame g . (R_k v) = g_k . v, g_k the
    // gravity the dynamics carried into that frame: so a joint's potential is
    // its parent joint's less g . (a, 0, -b), the joint's place in the twisted
    // parent frame, and a centre of mass's is its joint's less g_i . c_i
    double* jointPotential = ledger.potential.data();  // -g . (joint i's position), m^2/s^2
    double gravity = 0.0;
    for (const int i : model.outward) {
        const int parent = model.parent[i];
        const Vector3 g = parent < 0 ? Vector3{w.gravity[0], w.gravity[1], w.gravity[2]} : w.segmentGravity[parent];
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
    for (int i = 0; i < n; ++i) {
        const double stretch = model.jointTarget[i] - q[i];
        spring += 0.5 * w.controllerStiffness[i] * stretch * stretch;
    }
    energy.spring = spring;
}

double total(const FigureEnergy& e) { return e.kinetic + e.gravity + e.spring; }

void balance(EnergyLedger& ledger) {
    ledger.residual =
        (total(ledger.now) - total(ledger.start)) + ledger.dissipated - ledger.supplied - ledger.knobWork -
        ledger.handWork;
}

// The scratch ledger of the window program's entry point computeFigureEnergy.
EnergyLedger& scratchLedger() {
    static EnergyLedger ledger;
    sizeLedger(ledger, figureModel.n);
    return ledger;
}

}  // namespace

void computeFigureEnergy(const FigureModel& model, FigureData& data, EnergyLedger& ledger, FigureEnergy& energy,
                         const double p[], const double q[]) {
    sizeLedger(ledger, model.n);
    evaluateEnergy(model, data, ledger, energy, ledger.rate.data(), p, q);
}

void openEnergyLedger(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]) {
    sizeLedger(ledger, model.n);
    evaluateEnergy(model, data, ledger, ledger.start, ledger.lastRate.data(), p, q);
    ledger.now = ledger.start;
    ledger.dissipated = 0.0;
    ledger.supplied = 0.0;
    ledger.knobWork = 0.0;
    ledger.handWork = 0.0;
    ledger.residual = 0.0;
    for (int i = 0; i < model.n; ++i) ledger.lastAngle[i] = q[i];
}

void recordEnergyStep(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]) {
    sizeLedger(ledger, model.n);
    double* rate = ledger.rate.data();
    evaluateEnergy(model, data, ledger, ledger.now, rate, p, q);

    // the step's works. Damping: the trapezoid rule on the rates at the
    // step's two ends. Applied torques: each is constant over the step, so
    // its work is the torque times the angle the joint turned, the exact
    // integral of torque times rate along the integrator's path.
    double damped = 0.0, driven = 0.0;
    for (int i = 0; i < model.n; ++i) {
        const double r0 = ledger.lastRate[i], r1 = rate[i];
        damped += r0 * r0 + r1 * r1;
        driven += data.appliedTorque[i] * (q[i] - ledger.lastAngle[i]);
    }
    ledger.dissipated += data.controllerDamping * damped * (0.5 * timeStep);
    ledger.supplied += driven;
    ledger.handWork += data.handStepWork;

    for (int i = 0; i < model.n; ++i) {
        ledger.lastRate[i] = rate[i];
        ledger.lastAngle[i] = q[i];
    }
    balance(ledger);
}

void recordKnobChange(const FigureModel& model, FigureData& data, EnergyLedger& ledger, const double p[],
                      const double q[]) {
    sizeLedger(ledger, model.n);
    const double before = total(ledger.now);
    evaluateEnergy(model, data, ledger, ledger.now, ledger.lastRate.data(), p, q);
    ledger.knobWork += total(ledger.now) - before;
    balance(ledger);
}

void computeFigureEnergy(FigureEnergy& energy, const double p[segmentCount], const double q[segmentCount]) {
    computeFigureEnergy(figureModel, figureData, scratchLedger(), energy, p, q);
}

void openEnergyLedger(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    openEnergyLedger(figureModel, figureData, ledger, p, q);
}

void recordEnergyStep(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    recordEnergyStep(figureModel, figureData, ledger, p, q);
}

void recordKnobChange(EnergyLedger& ledger, const double p[segmentCount], const double q[segmentCount]) {
    recordKnobChange(figureModel, figureData, ledger, p, q);
}
