// The equations of motion in their planar form: the general passes of
// dynamics.cpp with only the terms that can be non-zero for a planar figure,
// and the four limbs side by side as the lanes of LimbLanes. The torso, the
// one segment with more than one child, stays scalar.
//
// Why this gives the general passes' bits. With no twist (sin 0, cos 1), no
// offset, every centre of mass in the plane (z = 0), no product of inertia
// with z, the base at rest and gravity in the plane, components 2, 3 and 4
// (linear z, angular x and y) of every spatial vector of the general passes
// are exactly zero in every evaluation, and so is every inertia element that
// couples {0, 1, 5} with {2, 3, 4}: the general operations only ever multiply
// such a zero with a finite number and add the product to a sum, rotate it
// by a twist of sine 0 and cosine 1, or add it to another such zero. (The
// out-of-plane block, elements (2..4, 2..4), is not zero, but it only ever
// meets those zero components.) Dropping a term that is exactly +0 or -0
// from a sum, or a multiplication by exactly 1, leaves every non-zero result
// unchanged to the bit; what is left is computed here in the general passes'
// order, operation for operation. At most a result that is zero may come out
// with the other sign, and a zero never reaches a division (the divisors are
// articulated inertias about z, at least the segment's own Izz) nor a sign
// test. All of this holds for finite states: where the general passes
// multiply one of those zeros by an infinity they make a NaN that the planar
// passes never see, so a state holding an infinity or a NaN may give NaNs in
// other places than the general passes do. Two orders are kept on purpose: every sum over the torso's children
// runs 1, 4, 7, 10 (right arm, left arm, right leg, left leg), lane 0 to 3,
// one term at a time, as the general passes add the torso's child lists;
// and the table sines and cosines are fastSin's and fastCos's, four lanes at
// a time (fastSinElements), to the bit.
// The torso needs only its inertia and bias about z and the moment of its
// weight: its linear velocity is zero, so the rest of its records never
// reach a result.
#include "dynamics.h"

#include "joint_controller.h"
#include "limb_lanes.h"
#include "planar_operations.h"
#include "sine_table.h"

template <>
inline LimbLanes splat<LimbLanes>(double x) {
    return broadcast(x);
}

namespace {

constexpr int limbLevels = 3;  // upper arm or leg, lower arm or leg, hand or foot

// Segment of limb k (0 right arm, 1 left arm, 2 right leg, 3 left leg) at level L.
constexpr int limbSegment(int k, int level) { return 1 + 3 * k + level; }

// x[i] of the four segments of one level, as lanes.
LimbLanes levelLanes(const double x[], int level) {
    return limbLanes(x[limbSegment(0, level)], x[limbSegment(1, level)], x[limbSegment(2, level)],
                     x[limbSegment(3, level)]);
}

// x[i] = the lanes, for the four segments of one level.
void storeLevel(double x[], int level, const LimbLanes& lanes) {
    for (int k = 0; k < 4; ++k) x[limbSegment(k, level)] = lane(lanes, k);
}


}  // namespace

// The model's constants in the passes' layout, one set of lanes per level.
struct PlanarLimbModel {
    struct Level {
        LimbLanes mass, comX, comY, linkLength;
        PlaneInertia<LimbLanes> own;  // the rigid-body inertia about the joint, as composeInertia writes it
    } level[limbLevels];
    double torsoMass, torsoComX, torsoComY, torsoIzz;
};

// Takes a planar model of the window program's tree into the passes' layout
// (finishFigureModel calls it).
std::shared_ptr<const PlanarLimbModel> makePlanarLimbModel(const FigureModel& model) {
    auto lanes = std::make_shared<PlanarLimbModel>();
    PlanarLimbModel& planarModel = *lanes;

    for (int level = 0; level < limbLevels; ++level) {
        double m[4], cx[4], cy[4], a[4], ownXw[4], ownYw[4], izz[4];
        for (int k = 0; k < 4; ++k) {
            const SegmentParameters& s = model.segment[limbSegment(k, level)];
            m[k] = s.mass;
            cx[k] = s.centreOfMass[0];
            cy[k] = s.centreOfMass[1];
            a[k] = s.linkLength;
            ownXw[k] = -s.mass * s.centreOfMass[1];  // composeInertia's element 5
            ownYw[k] = s.mass * s.centreOfMass[0];   // and element 10
            izz[k] = s.rotationalInertia[5];
        }
        PlanarLimbModel::Level& L = planarModel.level[level];
        L.mass = limbLanes(m[0], m[1], m[2], m[3]);
        L.comX = limbLanes(cx[0], cx[1], cx[2], cx[3]);
        L.comY = limbLanes(cy[0], cy[1], cy[2], cy[3]);
        L.linkLength = limbLanes(a[0], a[1], a[2], a[3]);
        L.own = {L.mass, broadcast(0.0), limbLanes(ownXw[0], ownXw[1], ownXw[2], ownXw[3]), L.mass,
                 limbLanes(ownYw[0], ownYw[1], ownYw[2], ownYw[3]), limbLanes(izz[0], izz[1], izz[2], izz[3])};
    }
    const SegmentParameters& t = model.segment[torso];
    planarModel.torsoMass = t.mass;
    planarModel.torsoComX = t.centreOfMass[0];
    planarModel.torsoComY = t.centreOfMass[1];
    planarModel.torsoIzz = t.rotationalInertia[5];
    return lanes;
}

void computeDerivativesPlanarLimbs(const FigureModel& figure, FigureData& data, const double p[], const double q[],
                                   double momentumRate[], double jointVelocity[]) {
    const PlanarLimbModel& model = *figure.limbLanes;
    const auto& limb = model.level;
    const double* controllerTorque = data.controllerTorque.data();
    const double* appliedTorque = data.appliedTorque.data();

    // the sine and cosine of every joint angle, from the table
    const double torsoSin = fastSin(q[torso]), torsoCos = fastCos(q[torso]);
    LimbLanes S[limbLevels], C[limbLevels];
    for (int L = 0; L < limbLevels; ++L) {
        const LimbLanes angle = levelLanes(q, L);
        S[L] = fastSin(angle);
        C[L] = fastCos(angle);
    }

    // outward: gravity carried into every segment frame; the energy
    // bookkeeping reads it from the workspace
    const double gravityX = data.gravity[0], gravityY = data.gravity[1];
    const double torsoGx = torsoCos * gravityX + torsoSin * gravityY;
    const double torsoGy = torsoCos * gravityY - torsoSin * gravityX;
    LimbLanes gx[limbLevels], gy[limbLevels];
    for (int L = 0; L < limbLevels; ++L) {
        const LimbLanes px = L == 0 ? broadcast(torsoGx) : gx[L - 1];
        const LimbLanes py = L == 0 ? broadcast(torsoGy) : gy[L - 1];
        gx[L] = C[L] * px + S[L] * py;
        gy[L] = C[L] * py - S[L] * px;
    }
    Vector3* segmentGravity = data.segmentGravity.data();
    segmentGravity[torso] = {torsoGx, torsoGy, 0.0};
    for (int L = 0; L < limbLevels; ++L)
        for (int k = 0; k < 4; ++k) segmentGravity[limbSegment(k, L)] = {lane(gx[L], k), lane(gy[L], k), 0.0};

    // inward: articulated inertias and bias momenta, each level handing its
    // share to the one above with its own joint axis projected out
    LimbLanes P[limbLevels];
    for (int L = 0; L < limbLevels; ++L) P[L] = levelLanes(p, L);
    PlaneInertia<LimbLanes> A[limbLevels];
    PlaneVector<LimbLanes> z[limbLevels];
    PlaneInertia<LimbLanes> inertiaInParent;
    PlaneVector<LimbLanes> biasInParent;
    for (int L = limbLevels - 1; L >= 0; --L) {
        const PlaneInertia<LimbLanes>& own = limb[L].own;
        if (L == limbLevels - 1) {
            // hands and feet: their own inertia, no bias
            A[L] = own;
            z[L] = {broadcast(0.0), broadcast(0.0), broadcast(0.0)};
        } else {
            const PlaneInertia<LimbLanes>& child = inertiaInParent;
            A[L] = {own.xx + child.xx, own.xy + child.xy, own.xw + child.xw,
                    own.yy + child.yy, own.yw + child.yw, own.ww + child.ww};
            z[L] = biasInParent;
        }
        inertiaInParent = projectInertia(A[L], limb[L].linkLength, S[L], C[L]);
        // projectBiasToParent: w = z + U (p - z_w) / D, whose w component is p itself
        const LimbLanes k = (P[L] - z[L].w) / A[L].ww;
        biasInParent = forceToParent({z[L].x + A[L].xw * k, z[L].y + A[L].yw * k, P[L]}, limb[L].linkLength,
                                     S[L], C[L]);
    }
    // the torso sums its children 1, 4, 7, 10 in turn; only the z elements count
    double torsoInertia = model.torsoIzz, torsoBias = 0.0;
    for (int k = 0; k < 4; ++k) {
        torsoInertia = torsoInertia + lane(inertiaInParent.ww, k);
        torsoBias = torsoBias + lane(biasInParent.w, k);
    }

    // outward: joint rates from momenta, then spatial velocities; the
    // torso turns about the fixed pivot, so its linear velocity is zero
    jointVelocity[torso] = (p[torso] - torsoBias) / torsoInertia;
    PlaneVector<LimbLanes> v[limbLevels];
    for (int L = 0; L < limbLevels; ++L) {
        const PlaneVector<LimbLanes> parent =
            L == 0 ? PlaneVector<LimbLanes>{broadcast(0.0), broadcast(0.0), broadcast(jointVelocity[torso])}
                   : v[L - 1];
        const PlaneVector<LimbLanes> u = motionToChild(parent, limb[L].linkLength, S[L], C[L]);
        const LimbLanes rate = ((P[L] - z[L].w) - ((A[L].xw * u.x + A[L].yw * u.y) + A[L].ww * u.w)) / A[L].ww;
        storeLevel(jointVelocity, L, rate);
        v[L] = {u.x, u.y, u.w + rate};
    }

    // the joint controllers, on this evaluation's rates and angles
    computeJointTorques(figure, data, data.controllerTorque.data(), jointVelocity, q);

    // inward: the weight of every subtree, about its joint
    PlaneVector<LimbLanes> F[limbLevels];
    PlaneVector<LimbLanes> weightInParent;
    for (int L = limbLevels - 1; L >= 0; --L) {
        // the segment's own weight m g at its centre of mass
        const LimbLanes fx = limb[L].mass * gx[L], fy = limb[L].mass * gy[L];
        const PlaneVector<LimbLanes> own = {fx, fy, limb[L].comX * fy - limb[L].comY * fx};
        F[L] = L == limbLevels - 1 ? own
                                   : PlaneVector<LimbLanes>{own.x + weightInParent.x, own.y + weightInParent.y,
                                                            own.w + weightInParent.w};
        weightInParent = forceToParent(F[L], limb[L].linkLength, S[L], C[L]);
    }
    const double torsoFx = model.torsoMass * torsoGx, torsoFy = model.torsoMass * torsoGy;
    double torsoWeight = model.torsoComX * torsoFy - model.torsoComY * torsoFx;
    for (int k = 0; k < 4; ++k) torsoWeight = torsoWeight + lane(weightInParent.w, k);

    // momentum rates: gravity moment less the moving-frame term (none for
    // the torso), then the controller torque, then the applied torque
    momentumRate[torso] = (torsoWeight + controllerTorque[torso]) + appliedTorque[torso];
    for (int L = 0; L < limbLevels; ++L) {
        // the subtree's momentum H = A v + z, its linear part
        const LimbLanes hx = ((A[L].xx * v[L].x + A[L].xy * v[L].y) + A[L].xw * v[L].w) + z[L].x;
        const LimbLanes hy = ((A[L].xy * v[L].x + A[L].yy * v[L].y) + A[L].yw * v[L].w) + z[L].y;
        const LimbLanes rate = ((F[L].w - (v[L].x * hy - v[L].y * hx)) + levelLanes(controllerTorque, L)) +
                               levelLanes(appliedTorque, L);
        storeLevel(momentumRate, L, rate);
    }
}
