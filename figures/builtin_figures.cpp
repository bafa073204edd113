#include "builtin_figures.h"

#include "model_file.h"

namespace {

// N of "prefix:N", or 0 when the rest is not a whole number from 1 to maxSegments.
int countAfter(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 4 || digits[0] == '0') return 0;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n <= maxSegments ? n : 0;
}

// N links of 1 m and 1 kg, link k hanging from link parentOf(k).
template <typename Parent, typename Start>
FigureModel links(const std::string& name, int n, Parent parentOf, Start start) {
    FigureModel model;
    model.name = name;
    model.n = n;
    model.gravity = {0, -9.80665, 0, 0, 0, 0};
    model.jointDamping = 0.0;
    const double centreIzz = 1.0 / 12.0;
    const double jointIzz = centreIzz + 1.0 * 0.5 * 0.5;  // parallel axes: m d^2
    for (int k = 0; k < n; ++k) {
        SegmentParameters s;
        s.rotationalInertia = {centreIzz, 0, 0, jointIzz, 0, jointIzz};
        s.centreOfMass = {0.5, 0, 0};
        s.mass = 1.0;
        s.linkLength = k == 0 ? 0.0 : 1.0;
        s.linkOffset = 0;
        s.twistSin = 0;
        s.twistCos = 1;
        model.segment.push_back(s);
        model.segmentName.push_back("link" + std::to_string(k));
        model.parent.push_back(k == 0 ? -1 : parentOf(k));
        model.startAngle.push_back(start(k));
        model.jointTarget.push_back(0.0);
        model.jointStiffness.push_back(0.0);
        model.drawnJointX.push_back(s.linkLength);
        model.drawnJointY.push_back(0.0);
        model.drawnLength.push_back(1.0);
    }
    model.torsoJoint = 0;
    if (n > 1) model.limbJoints = {{1, 1.0}};
    std::string error;
    finishFigureModel(model, error);  // built from constants: cannot fail
    return model;
}

FigureModel chain(const std::string& name, int n) {
    return links(name, n, [](int k) { return k - 1; }, [](int) { return 0.0; });
}

FigureModel tree(const std::string& name, int n) {
    return links(name, n, [](int k) { return (k - 1) / 2; },
                 [](int k) { return k == 0 ? 0.0 : k % 2 == 1 ? 0.4 : -0.4; });
}

}  // namespace

bool looksLikeBuiltinName(const std::string& name) {
    return name == "marionette" || name == "pendulum" || name == "double-pendulum" ||
           name.compare(0, 6, "chain:") == 0 || name.compare(0, 5, "tree:") == 0;
}

std::shared_ptr<const FigureModel> builtinFigure(const std::string& name, std::string& error) {
    if (name == "marionette") return marionetteFigure();
    if (name == "pendulum") return std::make_shared<const FigureModel>(chain(name, 1));
    if (name == "double-pendulum") return std::make_shared<const FigureModel>(chain(name, 2));
    if (const int n = countAfter(name, "chain:")) return std::make_shared<const FigureModel>(chain(name, n));
    if (const int n = countAfter(name, "tree:")) return std::make_shared<const FigureModel>(tree(name, n));
    if (looksLikeBuiltinName(name))
        error = "'" + name + "': N must be a whole number from 1 to " + std::to_string(maxSegments);
    else
        error = "no built-in figure '" + name + "' (marionette, pendulum, double-pendulum, chain:N, tree:N)";
    return nullptr;
}

std::shared_ptr<const FigureModel> loadFigure(const std::string& nameOrPath, std::string& error) {
    if (looksLikeBuiltinName(nameOrPath)) return builtinFigure(nameOrPath, error);
    FigureModel model;
    if (!loadFigureModelFile(model, error, nameOrPath.c_str())) return nullptr;
    return std::make_shared<const FigureModel>(std::move(model));
}
