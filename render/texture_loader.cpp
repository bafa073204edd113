#include "texture_loader.h"

#include <GL/gl.h>

#include <type_traits>

static_assert(std::is_same_v<GLuint, std::uint32_t>, "textureName must be a GLuint");

bool loadTexture(Texture& record, const char* fileName) {
    GLint maxSide = 0;  // stays 0 without a context: every image is refused
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (!readTgaImage(record, fileName, maxSide > 0 ? static_cast<std::uint64_t>(maxSide) : 0)) return false;

    glGenTextures(1, &record.textureName);
    glBindTexture(GL_TEXTURE_2D, record.textureName);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    const GLenum format = record.bitsPerPixel == 24 ? GL_RGB : GL_RGBA;

    // Rows are tightly packed; a 24-bit image whose rows are not a multiple of
    // the current unpack alignment (4 by default) is uploaded with alignment 1,
    // which is put back afterwards.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    const GLint alignment = uploadUnpackAlignment(record.bitsPerPixel, record.width, previousAlignment);
    if (alignment != previousAlignment) glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(record.width),
                 static_cast<GLsizei>(record.height), 0, format, GL_UNSIGNED_BYTE, record.pixels);

    if (alignment != previousAlignment) glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    return true;
}
