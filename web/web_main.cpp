// The figure in a web page: the window program's core, key table and drawing,
// compiled to WebAssembly and paced by the page's animation frames. The page
// (index.html) drives it through the functions exported below.
#include <GL/glut.h>
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "artwork.h"
#include "figure_energy.h"
#include "figure_renderer.h"
#include "frame_pacing.h"
#include "integrator.h"
#include "key_controls.h"
#include "physics_settings.h"
#include "start_state.h"

namespace {

constexpr int canvasSize = 400;           // pixels, until the page says how big the canvas is
constexpr int stepsPerStepButton = 100;   // what one press of Step advances

FigureState figureState;           // angles, momenta and start-up rates of the figure
KeyState keys;                     // what the arrow keys and the buttons have switched on
EnergyLedger ledger;               // the energy terms, and the works since start-up or the last reset
std::uint64_t stepCount = 0;       // steps since start-up or the last reset
std::uint64_t stepsTaken = 0;      // steps since start-up, never reset: the page's rate readout
Pace pace = Pace::realTime;        // how simulated time follows the clock
bool paused = false;               // no steps until the page resumes, but Step
bool pictureDue = true;            // the angles changed since the last picture
double owedSteps = 0.0;            // steps the clock asks for and not yet taken
double previousFrameMs = -1.0;     // when the last frame ran; -1 before the first
PhysicsSettings settings;          // the knobs as the page set them
int picturesDrawn = 0;             // of artworkCount: the page draws its pictures before it starts

// Draws the next picture into the file the texture loader reads: the same
// bytes as assets/, which the page thus never downloads. The last one loads
// the textures.
void drawNextPicture() {
    const std::vector<std::uint8_t> file = drawArtworkFile(picturesDrawn);
    if (std::FILE* out = std::fopen(artworkFileName(picturesDrawn), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }
    if (++picturesDrawn == artworkCount) loadFigureTextures();
}

void takeStep() {
    stepRK4(figureState.p, figureState.q, keys.limbTorqueMode, keys.torsoTorqueDirection);
    recordEnergyStep(ledger, figureState.p, figureState.q);
    ++stepCount;
    ++stepsTaken;
    pictureDue = true;
}

// One animation frame: the steps the pace asks for, then a picture if they moved the figure.
// Until the pictures are drawn, one picture per frame, so that the page can
// show how far it is; the frame that draws the last shows the figure.
void runFrame() {
    if (picturesDrawn < artworkCount) {
        drawNextPicture();
        if (picturesDrawn < artworkCount) return;
    }
    const double nowMs = emscripten_get_now();
    const double elapsedMs = previousFrameMs < 0.0 ? 0.0 : nowMs - previousFrameMs;
    previousFrameMs = nowMs;
    if (!paused) runFrameSteps(owedSteps, pace, elapsedMs, emscripten_get_now, takeStep);
    if (pictureDue) {
        drawFigure(figureState.q);
        pictureDue = false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The start-up state, the camera and the graphics context of the window program.
    startFigure(figureState);
    openEnergyLedger(ledger, figureState.p, figureState.q);
    initCamera();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(canvasSize, canvasSize);
    glutCreateWindow("marionette");
    // No key callback: the page hands the arrows to webPressKey and leaves
    // every other key to the browser.
    reshapeView(canvasSize, canvasSize);
    // The browser calls runFrame before every repaint; main returns at once.
    emscripten_set_main_loop(runFrame, 0, false);
    return 0;
}

// What the page calls.
extern "C" {

EMSCRIPTEN_KEEPALIVE void webPressKey(int key) {
    applySpecialKey(keys, key);
}

// The canvas's drawing buffer is now width x height pixels (its CSS size
// times the screen's pixel ratio): the view follows, and the picture is drawn
// again at once, since resizing the buffer cleared it.
EMSCRIPTEN_KEEPALIVE void webResize(int width, int height) {
    if (width < 1 || height < 1) return;
    reshapeView(width, height);
    if (picturesDrawn == artworkCount) drawFigure(figureState.q);
}

// Pictures still to draw before the page starts; 0 once it runs.
EMSCRIPTEN_KEEPALIVE int webPicturesLeft() {
    return artworkCount - picturesDrawn;
}

// Knob k (0 gravity, 1 stiffness, 2 damping, 3 key torque, as Knob) to
// value, from the next step on; the ledger books the jump of stored energy.
// Returns 0, changing nothing, for an unknown knob or a value out of range.
EMSCRIPTEN_KEEPALIVE int webSetKnob(int k, double value) {
    if (k < 0 || k >= knobCount || !knobValueAllowed(static_cast<Knob>(k), value)) return 0;
    setKnobValue(settings, static_cast<Knob>(k), value);
    applyPhysicsSettings(settings);
    recordKnobChange(ledger, figureState.p, figureState.q);
    return 1;
}

// Every knob back to its standard value, as one change.
EMSCRIPTEN_KEEPALIVE void webStandardKnobs() {
    settings = PhysicsSettings{};
    applyPhysicsSettings(settings);
    recordKnobChange(ledger, figureState.p, figureState.q);
}

// Knob k's value, range and standard value; 0 for an unknown knob.
EMSCRIPTEN_KEEPALIVE double webKnob(int k) {
    return k >= 0 && k < knobCount ? knobValue(settings, static_cast<Knob>(k)) : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobLow(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].low : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobHigh(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].high : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobStandard(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].standard : 0.0;
}

EMSCRIPTEN_KEEPALIVE void webSetPace(int value) {
    if (value < 0 || value > 2) return;
    pace = static_cast<Pace>(value);
    owedSteps = 0.0;
}

EMSCRIPTEN_KEEPALIVE void webSetPaused(int value) {
    paused = value != 0;
    owedSteps = 0.0;
}

// Pauses, then advances by stepsPerStepButton steps.
EMSCRIPTEN_KEEPALIVE void webStepOnce() {
    webSetPaused(1);
    if (picturesDrawn < artworkCount) return;
    for (int k = 0; k < stepsPerStepButton; ++k) takeStep();
}

// Back to the start-up state with every torque off; a paused page stays
// paused. The knobs stay as they are, and the books open under them.
EMSCRIPTEN_KEEPALIVE void webReset() {
    resetFigure(figureState);
    openEnergyLedger(ledger, figureState.p, figureState.q);
    keys = KeyState{};
    stepCount = 0;
    owedSteps = 0.0;
    pictureDue = true;
}

EMSCRIPTEN_KEEPALIVE double webStepCount() {
    return static_cast<double>(stepCount);
}

EMSCRIPTEN_KEEPALIVE double webStepsTaken() {
    return static_cast<double>(stepsTaken);
}

EMSCRIPTEN_KEEPALIVE double webTimeStep() {
    return timeStep;
}

// Angle and momentum of joint i; 0 for any i outside 0..12.
EMSCRIPTEN_KEEPALIVE double webAngle(int i) {
    return i >= 0 && i < segmentCount ? figureState.q[i] : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webMomentum(int i) {
    return i >= 0 && i < segmentCount ? figureState.p[i] : 0.0;
}

// The energy readouts, in joules: 0 kinetic, 1 gravity, 2 spring (now), 3
// dissipated, 4 supplied (since start-up or the last reset), 5 the residual
// of the balance, 6 what knob changes added; 0 for any other term.
EMSCRIPTEN_KEEPALIVE double webEnergy(int term) {
    switch (term) {
        case 0: return ledger.now.kinetic;
        case 1: return ledger.now.gravity;
        case 2: return ledger.now.spring;
        case 3: return ledger.dissipated;
        case 4: return ledger.supplied;
        case 5: return ledger.residual;
        case 6: return ledger.knobWork;
        default: return 0.0;
    }
}

EMSCRIPTEN_KEEPALIVE int webLimbTorqueMode() {
    return keys.limbTorqueMode;
}

EMSCRIPTEN_KEEPALIVE int webTorsoTorqueDirection() {
    return keys.torsoTorqueDirection;
}

EMSCRIPTEN_KEEPALIVE int webPaused() {
    return paused ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int webPace() {
    return static_cast<int>(pace);
}

}  // extern "C"
