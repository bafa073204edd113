#include "figure_model.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "drawn_figure.h"
#include "figure_data.h"
#include "joint_controller.h"
#include "sine_table.h"
#include "start_state.h"

// The planar passes' layout of the window program's limbs (planar_dynamics.cpp).
std::shared_ptr<const PlanarLimbModel> makePlanarLimbModel(const FigureModel& model);
// The planar passes' layout of any planar tree (planar_tree_dynamics.cpp).
std::shared_ptr<const PlanarTreeModel> makePlanarTreeModel(const FigureModel& model);

FigureModel figureModel;

namespace {

// Mass, Ixx, Iyy, Izz of each segment; products of inertia are zero.
struct MassRow {
    double mass, ixx, iyy, izz;
};

constexpr MassRow massTable[segmentCount] = {
    {2.0, 0.01, 0.33, 0.66},   // torso
    {1.0, 0.01, 0.33, 0.33},   // rightUpperArm
    {1.0, 0.01, 0.33, 0.33},   // rightLowerArm
    {0.2, 0.01, 0.066, 0.066}, // rightHand
    {1.0, 0.01, 0.33, 0.33},   // leftUpperArm
    {1.0, 0.01, 0.33, 0.33},   // leftLowerArm
    {0.2, 0.01, 0.33, 0.066},  // leftHand
    {1.0, 0.01, 0.33, 0.33},   // rightUpperLeg
    {0.2, 0.01, 0.33, 0.066},  // rightLowerLeg
    {1.0, 0.01, 0.33, 0.33},   // rightFoot
    {1.0, 0.01, 0.33, 0.33},   // leftUpperLeg
    {1.0, 0.01, 0.33, 0.33},   // leftLowerLeg
    {0.2, 0.01, 0.33, 0.066},  // leftFoot
};

constexpr const char* segmentNames[segmentCount] = {
    "torso",        "rightUpperArm", "rightLowerArm", "rightHand",    "leftUpperArm",
    "leftLowerArm", "leftHand",      "rightUpperLeg", "rightLowerLeg", "rightFoot",
    "leftUpperLeg", "leftLowerLeg",  "leftFoot",
};

bool isFinite(double x) { return std::isfinite(x); }

template <std::size_t N>
bool allFinite(const std::array<double, N>& v) {
    for (const double x : v)
        if (!isFinite(x)) return false;
    return true;
}

// One line naming segment i and what is wrong with it.
bool fault(std::string& error, const FigureModel& model, int i, const std::string& what) {
    error = "segment " + std::to_string(i);
    if (i < static_cast<int>(model.segmentName.size()) && !model.segmentName[i].empty())
        error += " (" + model.segmentName[i] + ")";
    error += ": " + what;
    return false;
}

}  // namespace

bool finishFigureModel(FigureModel& model, std::string& error) {
    const int n = model.n;
    if (n < 1 || n > maxSegments) {
        error = "a figure has 1 to " + std::to_string(maxSegments) + " segments, not " + std::to_string(n);
        return false;
    }
    const auto sized = [n](const auto& v) { return static_cast<int>(v.size()) == n; };
    if (!sized(model.segmentName) || !sized(model.segment) || !sized(model.parent) || !sized(model.startAngle) ||
        !sized(model.jointTarget) || !sized(model.jointStiffness) || !sized(model.drawnJointX) ||
        !sized(model.drawnJointY) || !sized(model.drawnLength)) {
        error = "every per-segment field needs one entry for each of the " + std::to_string(n) + " segments";
        return false;
    }
    if (!allFinite(model.gravity) || !allFinite(model.baseVelocity) || !isFinite(model.jointDamping) ||
        model.jointDamping < 0.0) {
        error = "gravity, the base velocity and the damping must be finite numbers, the damping not negative";
        return false;
    }
    for (int i = 0; i < n; ++i) {
        const SegmentParameters& s = model.segment[i];
        if (model.parent[i] < -1 || model.parent[i] >= i)
            return fault(error, model, i, "parent " + std::to_string(model.parent[i]) +
                                              " is not an earlier segment (or -1, the pivot)");
        if (!allFinite(s.rotationalInertia) || !allFinite(s.centreOfMass) || !isFinite(s.mass) ||
            !isFinite(s.linkLength) || !isFinite(s.linkOffset) || !isFinite(s.twistSin) || !isFinite(s.twistCos) ||
            !isFinite(model.startAngle[i]) || !isFinite(model.jointTarget[i]) || !isFinite(model.jointStiffness[i]) ||
            !isFinite(model.drawnJointX[i]) || !isFinite(model.drawnJointY[i]) || !isFinite(model.drawnLength[i]))
            return fault(error, model, i, "a number is not finite");
        if (!(s.mass > 0.0)) return fault(error, model, i, "mass must be positive");
        // the rate about the joint divides by the articulated inertia about z,
        // at least the segment's own Izz about its joint
        if (!(s.rotationalInertia[5] > 0.0)) return fault(error, model, i, "Izz about the joint must be positive");
        if (!(s.rotationalInertia[0] >= 0.0 && s.rotationalInertia[3] >= 0.0))
            return fault(error, model, i, "Ixx and Iyy must not be negative");
        if (model.jointStiffness[i] < 0.0) return fault(error, model, i, "stiffness must not be negative");
        if (std::fabs(s.twistSin * s.twistSin + s.twistCos * s.twistCos - 1.0) > 1e-9)
            return fault(error, model, i, "twist sine and cosine are not those of one angle");
        if (std::fabs(model.startAngle[i]) > 1e6 || std::fabs(model.jointTarget[i]) > 1e6)
            return fault(error, model, i, "an angle beyond 10^6 rad");
    }
    std::vector<std::string> names = model.segmentName;
    std::sort(names.begin(), names.end());
    if (const auto twice = std::adjacent_find(names.begin(), names.end()); twice != names.end()) {
        error = "two segments are named '" + *twice + "'";
        return false;
    }
    if (model.torsoJoint < -1 || model.torsoJoint >= n) {
        error = "the torso key's joint " + std::to_string(model.torsoJoint) + " is not a segment";
        return false;
    }
    for (const KeyJoint& k : model.limbJoints)
        if (k.joint < 0 || k.joint >= n || (k.sign != 1.0 && k.sign != -1.0) || k.joint == model.torsoJoint) {
            error = "a limb key joint must be a segment other than the torso key's, with sign 1 or -1";
            return false;
        }
    if (static_cast<int>(model.limbJoints.size()) > n) {
        error = "more limb key joints than segments";
        return false;
    }

    // children by increasing index: count, then place
    model.childStart.assign(n + 1, 0);
    for (int i = 0; i < n; ++i)
        if (model.parent[i] >= 0) ++model.childStart[model.parent[i] + 1];
    for (int i = 0; i < n; ++i) model.childStart[i + 1] += model.childStart[i];
    model.childList.assign(model.childStart[n], 0);
    std::vector<int> fill(model.childStart.begin(), model.childStart.end() - 1);
    for (int i = 0; i < n; ++i)
        if (model.parent[i] >= 0) model.childList[fill[model.parent[i]]++] = i;

    // outward: index order; inward: depth first from each root, every
    // segment after all of its descendants
    model.outward.resize(n);
    for (int i = 0; i < n; ++i) model.outward[i] = i;
    model.inward.clear();
    model.inward.reserve(n);
    std::vector<int> stack, next(n, 0);
    for (int root = 0; root < n; ++root) {
        if (model.parent[root] >= 0) continue;
        stack.push_back(root);
        while (!stack.empty()) {
            const int i = stack.back();
            const int k = model.childStart[i] + next[i];
            if (k < model.childStart[i + 1]) {
                ++next[i];
                stack.push_back(model.childList[k]);
            } else {
                model.inward.push_back(i);
                stack.pop_back();
            }
        }
    }

    bool planar = true;
    for (const double v : model.baseVelocity) planar = planar && v == 0.0;
    for (const SegmentParameters& s : model.segment)
        planar = planar && s.twistSin == 0.0 && s.twistCos == 1.0 && s.linkOffset == 0.0 &&
                 s.centreOfMass[2] == 0.0 && s.rotationalInertia[2] == 0.0 && s.rotationalInertia[4] == 0.0;
    model.planar = planar;
    bool designTree = n == segmentCount;
    for (int i = 0; designTree && i < n; ++i) designTree = model.parent[i] == parentOf[i];
    model.limbLanes = planar && designTree ? makePlanarLimbModel(model) : nullptr;
    model.planarTree = planar ? makePlanarTreeModel(model) : nullptr;
    return true;
}

FigureModel marionetteFigureModel() {
    FigureModel model;
    model.name = "marionette";
    model.n = segmentCount;
    model.gravity = {0, -9.80665, 0, 0, 0, 0};
    model.baseVelocity = {0, 0, 0, 0, 0, 0};
    model.jointDamping = jointDamping;
    // every segment: centre of mass half-way along, joint 1.0 along the
    // parent's x axis (the torso's at the pivot), no twist, no offset
    for (int i = 0; i < segmentCount; ++i) {
        const MassRow& row = massTable[i];
        SegmentParameters s;
        s.rotationalInertia = {row.ixx, 0, 0, row.iyy, 0, row.izz};
        s.centreOfMass = {0.5, 0, 0};
        s.mass = row.mass;
        s.linkLength = i == torso ? 0.0 : 1.0;
        s.linkOffset = 0;
        s.twistSin = 0;
        s.twistCos = 1;
        model.segment.push_back(s);
        model.segmentName.push_back(segmentNames[i]);
        model.parent.push_back(parentOf[i]);
        model.startAngle.push_back(i == torso ? startTorsoAngle : 0.0);
        model.jointTarget.push_back(jointTarget[i]);
        model.jointStiffness.push_back(jointStiffness[i]);
        model.drawnJointX.push_back(drawnJointOffsets[i].x);
        model.drawnJointY.push_back(drawnJointOffsets[i].y);
        model.drawnLength.push_back(i == torso ? 3.5 : 1.6);
    }
    // LEFT/RIGHT on the torso; DOWN: -, +, -, + on the upper arms and legs
    model.torsoJoint = torso;
    model.limbJoints = {{rightUpperArm, -1.0}, {leftUpperArm, 1.0}, {rightUpperLeg, -1.0}, {leftUpperLeg, 1.0}};
    model.pictures = true;
    std::string error;
    finishFigureModel(model, error);  // constants: cannot fail
    return model;
}

const std::shared_ptr<const FigureModel>& marionetteFigure() {
    static const std::shared_ptr<const FigureModel> figure = std::make_shared<const FigureModel>(marionetteFigureModel());
    return figure;
}

void buildFigureModel() {
    ensureSineTable();
    figureModel = marionetteFigureModel();
    figureData = FigureData(figureModel);
}
