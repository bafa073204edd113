// The picture: thirteen textured segment quads placed by the joint angles,
// a nodding head above the pivot, and the fixed perspective camera.
#pragma once

#include "figure_geometry.h"
#include "figure_model.h"
#include "tga_reader.h"

inline constexpr int headTexture = segmentCount;       // the head's record, after the segments'
inline constexpr int textureCount = segmentCount + 1;  // one picture per segment, and the head

extern Texture textureTable[textureCount];  // 0..12 by SegmentIndex, 13 the head
extern double cameraDistance;               // radius of the eye's circle about the y axis
extern double cameraHeight;                 // height of the eye point
extern double cameraAzimuth;                // radians: where the eye sits on its circle
extern Point3 cameraEye;                    // set once by initCamera
extern float aspectRatio;                   // window width / height, set by reshapeView
extern float headNodAngle;                  // degrees: the head's current nod
extern float headNodSpeed;                  // +1 or -1: the direction of the nod

// cameraEye := the point on the camera's circle at its height and azimuth.
void initCamera();

// Reshape callback: aspect ratio, viewport, perspective and the camera's view.
void reshapeView(int width, int height);

// The camera as reshapeView sets it: the eye lowered by two units looks at
// the point two units below the pivot, 45 degrees high, at aspectRatio.
CameraView cameraView();

// Loads the fourteen pictures from the working directory into the texture
// table, the head's first; one that does not load leaves its record empty.
// Needs a current graphics context.
void loadFigureTextures();

// Draws the figure at the joint angles q (radians) and the head, then steps
// the nod. Leaves the model-view matrix as it found it; the caller shows the
// picture (swaps the buffers).
void drawFigure(const double q[segmentCount]);

// Draws one segment's textured quad in the current frame, its joint at the origin.
void drawSegmentQuad(const Texture& record);
