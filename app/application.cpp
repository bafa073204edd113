#include "application.h"

#include <GL/glut.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "figure_model.h"
#include "figure_renderer.h"
#include "initial_momenta.h"
#include "integrator.h"
#include "key_controls.h"
#include "redraw_pacing.h"
#include "texture_loader.h"

static_assert(GLUT_KEY_LEFT == keyLeft && GLUT_KEY_UP == keyUp && GLUT_KEY_RIGHT == keyRight &&
                  GLUT_KEY_DOWN == keyDown,
              "the arrow keys' codes must be GLUT's");

FigureState figureState;  // angles, momenta and start-up rates of the figure

namespace {

KeyState keys;                // what the arrow keys have switched on
std::uint64_t stepCount = 0;  // simulation steps since start-up

constexpr double startTorsoAngle = -1.57;  // radians: the torso hangs almost straight down
constexpr int windowSize = 400;            // pixels, width and height
constexpr int windowPosition = 100;        // pixels from the screen's left and top

// A picture file and the record of the texture table it fills.
struct PictureFile {
    int record;
    const char* fileName;
};

// The fourteen pictures, in loading order, from the working directory.
constexpr PictureFile pictureFiles[] = {
    {headTexture, "head2.tga"},
    {torso, "torso.tga"},
    {rightUpperArm, "rightUpperArm.tga"},
    {rightLowerArm, "rightLowerArm.tga"},
    {rightHand, "rightHand.tga"},
    {leftUpperArm, "leftUpperArm.tga"},
    {leftLowerArm, "leftLowerArm.tga"},
    {leftHand, "leftHand.tga"},
    {rightUpperLeg, "rightUpperLeg.tga"},
    {rightLowerLeg, "rightLowerLeg.tga"},
    {rightFoot, "rightFoot.tga"},
    {leftUpperLeg, "leftUpperLeg.tga"},
    {leftLowerLeg, "leftLowerLeg.tga"},
    {leftFoot, "leftFoot.tga"},
};

// Idle callback: one simulation step with the keys as they stand, and a
// picture after every stepsPerRedraw-th step.
void idleStep() {
    stepRK4(figureState.p, figureState.q, keys.limbTorqueMode, keys.torsoTorqueDirection);
    if (countStep(stepCount)) {
        glutPostRedisplay();
    }
}

// Special-key callback: the arrow keys switch the torques; the mouse is ignored.
void onSpecialKey(int key, int, int) {
    applySpecialKey(keys, key);
}

}  // namespace

void runApplication(int argc, char** argv) {
    // 1. The figure starts at rest with every joint straight...
    std::fill(std::begin(figureState.q), std::end(figureState.q), 0.0);
    std::fill(std::begin(figureState.qdot), std::end(figureState.qdot), 0.0);
    // 2. ...except the torso, which hangs from the pivot.
    figureState.q[torso] = startTorsoAngle;
    // 3. The sine table and the constant model.
    buildFigureModel();
    // 4. The momenta of the figure at rest.
    initMomenta(figureState.p, figureState.q, figureState.qdot);
    // 5. The eye point of the fixed camera.
    initCamera();
    // 6. The window system takes its own options from the command line.
    glutInit(&argc, argv);
    // 7. RGB colour, double buffering, a depth buffer.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    // 8-9. The window's size and place.
    glutInitWindowSize(windowSize, windowSize);
    glutInitWindowPosition(windowPosition, windowPosition);
    // 10. The window, titled with the program's invocation name; from here on there is a graphics context.
    glutCreateWindow(argv[0]);
    // 11. The pictures; one that does not load leaves its segment unpainted.
    for (const PictureFile& picture : pictureFiles) {
        loadTexture(textureTable[picture.record], picture.fileName);
    }
    // 12. The callbacks: drawing, resizing, the arrow keys and the simulation.
    glutDisplayFunc(displayFigure);
    glutReshapeFunc(reshapeView);
    glutSpecialFunc(onSpecialKey);
    glutIdleFunc(idleStep);
    // 13. The event loop runs the program from here on.
    glutMainLoop();
}
