#include "mjcf_writer.h"

#include <cstdio>
#include <vector>

#include "integrator.h"

namespace {

std::string number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", x);
    return text;
}

// One body's opening lines, indented by its depth.
void openBody(std::string& xml, const FigureModel& model, int i, int depth) {
    const SegmentParameters& s = model.segment[i];
    const double* c = s.centreOfMass.data();
    const double izz = s.rotationalInertia[5] - s.mass * (c[0] * c[0] + c[1] * c[1]);
    const std::string indent(2 * depth, ' ');
    const std::string& name = model.segmentName[i];
    xml += indent + "<body name=\"" + name + "\" pos=\"" + number(s.linkLength) + " 0 0\">\n";
    xml += indent + "  <joint name=\"" + name + "\" type=\"hinge\" axis=\"0 0 1\"/>\n";
    xml += indent + "  <inertial pos=\"" + number(c[0]) + " " + number(c[1]) + " " + number(c[2]) + "\" mass=\"" +
           number(s.mass) + "\" diaginertia=\"" + number(izz) + " " + number(izz) + " " + number(izz) + "\"/>\n";
}

}  // namespace

int figureDepth(const FigureModel& model) {
    std::vector<int> depth(model.n, 1);
    int deepest = 0;
    for (int i = 0; i < model.n; ++i) {
        if (model.parent[i] >= 0) depth[i] = depth[model.parent[i]] + 1;
        if (depth[i] > deepest) deepest = depth[i];
    }
    return deepest;
}

std::string figureMjcf(const FigureModel& model, double gravity) {
    std::string xml = "<mujoco model=\"" + model.name + "\">\n";
    xml += "  <option timestep=\"" + number(timeStep) + "\" integrator=\"RK4\" gravity=\"0 " + number(-gravity) +
           " 0\">\n";
    xml += "    <flag contact=\"disable\" constraint=\"disable\"/>\n";
    xml += "  </option>\n  <worldbody>\n";
    // depth first without recursion: a body stays open until its last child closes
    struct Open {
        int segment, nextChild, depth;
    };
    std::vector<Open> stack;
    for (int root = 0; root < model.n; ++root) {
        if (model.parent[root] >= 0) continue;
        openBody(xml, model, root, 2);
        stack.push_back({root, model.childStart[root], 2});
        while (!stack.empty()) {
            Open& top = stack.back();
            if (top.nextChild < model.childStart[top.segment + 1]) {
                const int child = model.childList[top.nextChild++];
                const int depth = top.depth + 1;
                openBody(xml, model, child, depth);
                stack.push_back({child, model.childStart[child], depth});
            } else {
                xml += std::string(2 * top.depth, ' ') + "</body>\n";
                stack.pop_back();
            }
        }
    }
    xml += "  </worldbody>\n</mujoco>\n";
    return xml;
}
