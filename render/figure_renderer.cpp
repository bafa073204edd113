#include "figure_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstddef>
#include <iterator>

#include "drawn_figure.h"
#include "texture_loader.h"

Texture textureTable[textureCount];
double cameraDistance = 15.0;
double cameraHeight = 1.0;
double cameraAzimuth = 0.0;
Point3 cameraEye;
float aspectRatio = 1.0f;
float headNodAngle = 0.0f;
float headNodSpeed = 1.0f;

namespace {

// A picture file and the record of the texture table it fills.
struct PictureFile {
    int record;
    const char* fileName;
};

// The fourteen pictures, in loading order.
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

// Where the head hangs in the camera frame, after its quarter turn.
constexpr float headOffsetX = -1.8f;
constexpr float headOffsetY = -0.2f;

// Turns the current frame about z by a joint angle in radians.
void rotateByJoint(double radians) {
    glRotatef(jointAngleDegrees(radians), 0.0f, 0.0f, 1.0f);
}

}  // namespace

void initCamera() {
    cameraEye = eyeOnCircle(cameraDistance, cameraHeight, cameraAzimuth);
}

CameraView cameraView() {
    // The eye, lowered by two units, looks at the point two units below the pivot.
    return {{cameraEye.x, cameraEye.y - 2.0, cameraEye.z}, {0.0, -2.0, 0.0}, 45.0, aspectRatio};
}

void reshapeView(int width, int height) {
    aspectRatio = viewAspectRatio(width, height);
    glViewport(0, 0, width, height);
    const CameraView view = cameraView();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(view.fovyDegrees, view.aspect, 0.1, 100.0);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, 0.0, 1.0, 0.0);
}

void loadFigureTextures() {
    for (const PictureFile& picture : pictureFiles) {
        loadTexture(textureTable[picture.record], picture.fileName);
    }
}

void drawFigure(const double q[segmentCount]) {
    // A white background; texels with alpha of 0.5 or less are not drawn.
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_TEXTURE_2D);

    // Outer save: the camera frame; inner save: undone after the torso.
    glPushMatrix();
    glPushMatrix();
    rotateByJoint(q[torso]);

    // The limbs first, so the torso covers their joint ends; each joint at
    // the picture's own offset in the frame of the segment before it.
    for (const auto& chain : drawnLimbChains) {
        for (const DrawnJoint& joint : chain) {
            glPushMatrix();
            glTranslatef(joint.x, joint.y, 0.0f);
            rotateByJoint(q[joint.segment]);
            drawSegmentQuad(textureTable[joint.segment]);
        }
        for (std::size_t k = 0; k < std::size(chain); ++k) {
            glPopMatrix();
        }
    }
    drawSegmentQuad(textureTable[torso]);
    glPopMatrix();

    // The head hangs in the camera frame, not the torso's: it only nods.
    glRotatef(headNodAngle - 90.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(headOffsetX, headOffsetY, 0.0f);
    drawSegmentQuad(textureTable[headTexture]);
    stepHeadNod(headNodAngle, headNodSpeed);

    glPopMatrix();
}

void drawSegmentQuad(const Texture& record) {
    const auto corners = segmentQuad(record);
    glPushMatrix();
    glBindTexture(GL_TEXTURE_2D, record.textureName);
    glBegin(GL_QUADS);
    for (const QuadCorner& corner : corners) {
        glTexCoord2d(corner.s, corner.t);
        glVertex2d(corner.x, corner.y);
    }
    glEnd();
    glPopMatrix();
}
