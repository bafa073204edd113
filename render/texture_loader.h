// Loading of a TGA image into an OpenGL texture.
#pragma once

#include "tga_reader.h"

// Reads the TGA file `fileName` into `record` (refusing images larger than
// the library's GL_MAX_TEXTURE_SIZE) and creates a texture from it: a new
// texture name in `textureName`, bound to GL_TEXTURE_2D, linear minification
// and magnification filters, level 0 uploaded as GL_RGB (24 bit) or GL_RGBA
// (32 bit). The texture stays bound and the pixels stay in the record.
// Returns false, silently and without any call that creates or changes a
// texture, if the file is refused; `textureName` then keeps its value.
// Needs a current graphics context.
//
// A record loaded a second time gets a new texture name; the old texture
// object is not deleted (the program loads each record once).
bool loadTexture(Texture& record, const char* fileName);
