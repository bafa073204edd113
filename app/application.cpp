#include "application.h"

#include <GL/glut.h>

#include <cstdint>

#include "figure_renderer.h"
#include "integrator.h"
#include "key_controls.h"
#include "redraw_pacing.h"
#include "start_state.h"

static_assert(GLUT_KEY_LEFT == keyLeft && GLUT_KEY_UP == keyUp && GLUT_KEY_RIGHT == keyRight &&
                  GLUT_KEY_DOWN == keyDown,
              "the arrow keys' codes must be GLUT's");

namespace {

FigureState figureState;      // angles, momenta and start-up rates of the figure
KeyState keys;                // what the arrow keys have switched on
std::uint64_t stepCount = 0;  // simulation steps since start-up

constexpr int windowSize = 400;      // pixels, width and height
constexpr int windowPosition = 100;  // pixels from the screen's left and top

// Idle callback: one simulation step with the keys as they stand, and a
// picture after every stepsPerRedraw-th step.
void idleStep() {
    stepRK4(figureState.p, figureState.q, keys.limbTorqueMode, keys.torsoTorqueDirection);
    if (countStep(stepCount)) {
        glutPostRedisplay();
    }
}

// Display callback: the figure at its current angles, then the picture is shown.
void displayFigure() {
    drawFigure(figureState.q);
    glutSwapBuffers();
}

// Special-key callback: the arrow keys switch the torques; the mouse is ignored.
void onSpecialKey(int key, int, int) {
    applySpecialKey(keys, key);
}

}  // namespace

void runApplication(int argc, char** argv) {
    // 1-4. The figure at rest, every joint straight but the torso, which hangs
    // from the pivot; the sine table, the constant model, and the momenta at rest.
    startFigure(figureState);
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
    loadFigureTextures();
    // 12. The callbacks: drawing, resizing, the arrow keys and the simulation.
    glutDisplayFunc(displayFigure);
    glutReshapeFunc(reshapeView);
    glutSpecialFunc(onSpecialKey);
    glutIdleFunc(idleStep);
    // 13. The event loop runs the program from here on.
    glutMainLoop();
}
