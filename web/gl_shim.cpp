// What Emscripten's emulation of the fixed-function pipeline lacks or gets
// wrong, for the drawing in render/: the double-precision immediate-mode
// calls, forwarded to the single-precision ones, and a gluLookAt that
// multiplies the current matrix by the view, as GLU's does.
#include <GL/gl.h>

#include <cmath>

namespace {

void normalize(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

// out = a x b
void cross(float out[3], const float a[3], const float b[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

extern "C" {

void glTexCoord2d(GLdouble s, GLdouble t) {
    glTexCoord2f(static_cast<GLfloat>(s), static_cast<GLfloat>(t));
}

void glVertex2d(GLdouble x, GLdouble y) {
    glVertex2f(static_cast<GLfloat>(x), static_cast<GLfloat>(y));
}

// The rows of the view's rotation are side, up and -forward; then the eye
// moves to the origin.
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
               GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    float forward[3] = {static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                        static_cast<float>(centreZ - eyeZ)};
    float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    normalize(forward);
    float side[3];
    cross(side, forward, up);
    normalize(side);
    cross(up, side, forward);

    // column-major, as glMultMatrixf takes it
    const GLfloat view[16] = {
        side[0], up[0], -forward[0], 0.0f,
        side[1], up[1], -forward[1], 0.0f,
        side[2], up[2], -forward[2], 0.0f,
        0.0f,    0.0f,  0.0f,        1.0f,
    };
    glMultMatrixf(view);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}

}  // extern "C"
