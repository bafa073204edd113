// The figures beside the window program's: the built-ins as their
// definitions say, held to a double pendulum's closed-form equations of
// motion, and model files read, written and refused.
#include "builtin_figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dynamics.h"
#include "figure_data.h"
#include "integrator.h"
#include "model_file.h"
#include "sine_table.h"
#include "start_state.h"

namespace {

std::shared_ptr<const FigureModel> builtin(const std::string& name) {
    std::string error;
    auto model = builtinFigure(name, error);
    EXPECT_NE(model, nullptr) << error;
    return model;
}

TEST(FiguresTest, BuiltinsAreAsDefined) {
    const auto chain = builtin("chain:5");
    const auto tree = builtin("tree:6");
    for (const auto& model : {chain, tree}) {
        for (int k = 0; k < model->n; ++k) {
            const SegmentParameters& s = model->segment[k];
            EXPECT_EQ(s.mass, 1.0);
            EXPECT_EQ(s.centreOfMass, (Vector3{0.5, 0, 0}));
            EXPECT_EQ(s.linkLength, k == 0 ? 0.0 : 1.0);
            // Izz about the centre of mass 1/12, moved to the joint
            EXPECT_NEAR(s.rotationalInertia[5] - 0.25, 1.0 / 12.0, 1e-16);
            EXPECT_EQ(model->jointStiffness[k], 0.0);
        }
        EXPECT_EQ(model->jointDamping, 0.0);
        EXPECT_EQ(model->torsoJoint, 0);
        ASSERT_EQ(model->limbJoints.size(), 1u);
        EXPECT_EQ(model->limbJoints[0].joint, 1);
        EXPECT_EQ(model->limbJoints[0].sign, 1.0);
        EXPECT_TRUE(model->planar);
    }
    for (int k = 1; k < 5; ++k) EXPECT_EQ(chain->parent[k], k - 1);
    EXPECT_EQ(chain->startAngle, std::vector<double>(5, 0.0));
    // link k's children are 2k + 1 and 2k + 2
    EXPECT_EQ(tree->parent, (std::vector<int>{-1, 0, 0, 1, 1, 2}));
    EXPECT_EQ(tree->startAngle, (std::vector<double>{0, 0.4, -0.4, 0.4, -0.4, 0.4}));
    EXPECT_EQ(tree->inward, (std::vector<int>{3, 4, 1, 5, 2, 0}));
    std::string chainOne = writeFigureModel(*builtin("chain:1"), true);
    chainOne.replace(chainOne.find("\"chain:1\""), 9, "\"pendulum\"");
    EXPECT_EQ(writeFigureModel(*builtin("pendulum"), true), chainOne);
    EXPECT_EQ(builtin("double-pendulum")->n, 2);
    EXPECT_EQ(builtin("chain:4096")->n, 4096);
    EXPECT_TRUE(builtin("chain:1")->limbJoints.empty());
    std::string error;
    for (const char* bad : {"chain:0", "chain:4097", "tree:", "chain:07", "chain:1x", "robot"}) {
        EXPECT_EQ(builtinFigure(bad, error), nullptr) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// The double pendulum of two uniform rods (1 kg, 1 m, Izz 1/12 about the
// centre), q0 the first rod's angle, q1 the second's against the first: with
// absolute angles a = q0, b = q0 + q1 its mass matrix is
// [[4/3, cos(q1)/2], [cos(q1)/2, 1/3]], and gravity's potential is
// g (3/2 sin a + 1/2 sin b).
TEST(FiguresTest, DoublePendulumFollowsItsClosedForm) {
    ensureSineTable();
    const auto model = builtin("double-pendulum");
    FigureData data(*model);
    const double g = 9.80665;
    for (int trial = 0; trial < 50; ++trial) {
        const double q[2] = {std::sin(trial * 1.3) * 3, std::cos(trial * 0.7) * 3};
        const double p[2] = {std::sin(trial * 2.1) * 5, std::cos(trial * 1.9) * 2};
        const double s[2] = {std::sin(q[0]), std::sin(q[1])}, c[2] = {std::cos(q[0]), std::cos(q[1])};
        double rate[2], velocity[2];
        computeDerivativesWithTrig(*model, data, p, q, s, c, rate, velocity);

        // in the angles q: M = T^T Mabs T with T = [[1, 0], [1, 1]]
        const double m11 = 4.0 / 3, m12 = 0.5 * c[1], m22 = 1.0 / 3;
        const double M00 = m11 + 2 * m12 + m22, M01 = m12 + m22, M11 = m22;
        const double det = M00 * M11 - M01 * M01;
        const double qd0 = (M11 * p[0] - M01 * p[1]) / det, qd1 = (M00 * p[1] - M01 * p[0]) / det;
        const double ad = qd0, bd = qd0 + qd1;
        const double a = q[0], b = q[0] + q[1];
        const double dVda = g * 1.5 * std::cos(a), dVdb = g * 0.5 * std::cos(b);
        const double pd0 = -(dVda + dVdb);
        const double pd1 = -0.5 * s[1] * ad * bd - dVdb;
        EXPECT_NEAR(velocity[0], qd0, 1e-12 * (1 + std::fabs(qd0)));
        EXPECT_NEAR(velocity[1], qd1, 1e-12 * (1 + std::fabs(qd1)));
        EXPECT_NEAR(rate[0], pd0, 1e-11 * (1 + std::fabs(pd0)));
        EXPECT_NEAR(rate[1], pd1, 1e-11 * (1 + std::fabs(pd1)));
    }
}

TEST(FiguresTest, ModelFilesRoundTripAndRunAsTheirFigure) {
    ensureSineTable();
    for (const char* name : {"marionette", "tree:9"}) {
        const auto original = builtin(name);
        const std::string text = writeFigureModel(*original, false);
        FigureModel read;
        std::string error;
        ASSERT_TRUE(readFigureModel(read, error, text.data(), text.size())) << error;
        EXPECT_EQ(writeFigureModel(read, true), writeFigureModel(*original, true));
        EXPECT_EQ(read.limbLanes != nullptr, original->limbLanes != nullptr);
        // the same bits, step for step, under the keys
        FigureData a(*original), b(read);
        setStartState(*original, a);
        setStartState(read, b);
        for (int step = 0; step < 200; ++step) {
            stepRK4(*original, a, a.p.data(), a.q.data(), 1, step < 100 ? 1 : -1);
            stepRK4(read, b, b.p.data(), b.q.data(), 1, step < 100 ? 1 : -1);
        }
        EXPECT_EQ(a.q, b.q) << name;
        EXPECT_EQ(a.p, b.p) << name;
    }
}

TEST(FiguresTest, HostileModelFilesAreRefusedInOneLine) {
    const std::string two = writeFigureModel(*builtin("double-pendulum"), true);
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = two;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"[1, 2", "not a JSON text"},
        {"[]", "not a JSON object"},
        {edited("\"format\":\"marionette-model 1\"", "\"format\":\"marionette-model 2\""), "format: not"},
        {edited("\"pictures\":false,", ""), "pictures: missing"},
        {edited("\"pictures\":false", "\"pictures\":false,\"colour\":1"), "colour: unknown field"},
        {edited("\"pictures\":false", "\"pictures\":false,\"a\\n\\u001b[2J\":1"), "\"a\\n\\u001b[2J\": unknown field"},
        {edited("\"parent\":0", "\"parent\":1"), "segment 1: parent: 1 is not from -1 to 0"},
        {edited("\"parent\":0", "\"parent\":0.5"), "segment 1: parent: not a whole number"},
        {edited("\"mass_kg\":1.0", "\"mass_kg\":0"), "segment 0: mass_kg: must be positive"},
        {edited("\"mass_kg\":1.0", "\"mass_kg\":1e999"), "not a JSON text"},  // beyond a double
        {edited("0.3333333333333333]", "-1]"), "segment 0: inertia_about_joint_kg_m2: Izz must be positive"},
        {edited("\"name\":\"link1\"", "\"name\":\"link0\""), "two segments are named 'link0'"},
        {edited("\"name\":\"link1\"", "\"name\":\"a b\""), "segment 1: name: not 1 to 64"},
        {edited("\"joint\":1", "\"joint\":0"), "limb_key_joints 0: joint: is the torso key's joint"},
        {edited("\"segments\":[", "\"segments\":[1,"), "segment 0: not an object"},
        {std::string(maxModelFileBytes + 1, ' '), "the model is larger than 16 MB"},
    };
    for (const auto& c : cases) {
        FigureModel model;
        std::string error;
        EXPECT_FALSE(readFigureModel(model, error, c.text.data(), c.text.size())) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    // more than 4096 segments
    std::string many = writeFigureModel(*builtin("chain:4096"), true);
    const std::string last = many.substr(many.rfind("{\"name\""));
    many.insert(many.size() - 2, "," + last.substr(0, last.size() - 2));
    FigureModel model;
    std::string error;
    EXPECT_FALSE(readFigureModel(model, error, many.data(), many.size()));
    EXPECT_NE(error.find("not a list of 1 to 4096 segments"), std::string::npos) << error;
}

}  // namespace
