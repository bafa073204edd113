#include "start_state.h"

#include <algorithm>
#include <iterator>

#include "initial_momenta.h"

void setStartState(const FigureModel& model, FigureData& data) {
    data.q = model.startAngle;
    std::fill(data.qdot.begin(), data.qdot.end(), 0.0);
    initMomenta(model, data, data.p.data(), data.q.data(), data.qdot.data());
}

void setStartAngles(FigureState& state) {
    std::fill(std::begin(state.q), std::end(state.q), 0.0);
    std::fill(std::begin(state.qdot), std::end(state.qdot), 0.0);
    state.q[torso] = startTorsoAngle;
}

void startFigure(FigureState& state) {
    setStartAngles(state);
    buildFigureModel();
    initMomenta(state.p, state.q, state.qdot);
}

void resetFigure(FigureState& state) {
    setStartAngles(state);
    initMomenta(state.p, state.q, state.qdot);
}
