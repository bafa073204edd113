// Reading of uncompressed true-colour TGA images, without any graphics calls.
// No OpenGL here: the upload is in texture_loader.h, so tests and the fuzzer
// link this part alone.
#pragma once

#include <cstdint>
#include <cstdio>

// One image and its texture. Records live in zero-initialised
// storage, so a record that was never loaded has all fields 0.
struct Texture {
    // width × height pixels of 3 or 4 bytes in R, G, B(, A) order, rows in
    // file order, tightly packed; allocated with new[] by a successful read and
    // owned by the record (see releaseTexturePixels). Null until then.
    unsigned char* pixels;
    std::int32_t bitsPerPixel;  // 24 or 32
    std::uint32_t width;        // pixels per row
    std::uint32_t height;       // number of rows
    std::uint32_t textureName;  // OpenGL texture name; 0 until a load succeeds
};

// Reads one TGA image from `file`, which is open for binary reading and
// positioned at the image's first byte, into `record`. The stream is not
// closed; on success it stands right after the pixel data (later bytes are
// not read). Returns true if the record now holds the image; every refusal is
// silent. What a refusal leaves in the record:
//   - fewer than 12 bytes, template mismatch, fewer than 6 more bytes:
//     untouched;
//   - width or height 0, bits per pixel not 24 or 32: width and height set,
//     no pixels;
//   - width or height above `maxSide`, pixel data shorter than
//     width × height × bytes per pixel (checked before the buffer is
//     allocated), allocation failure: width, height and bitsPerPixel set,
//     no pixels.
// `textureName` is never touched here.
//
// A record that already holds pixels from an earlier read keeps them while it
// stays untouched; as soon as width and height are overwritten the old buffer
// is released (delete[]), so `pixels`, when not null, always holds exactly
// width × height × bitsPerPixel / 8 bytes. `pixels` must be null or a buffer
// of an earlier read.
//
// The pixel buffer is never larger than the data the stream really holds:
// on a seekable stream the remaining length is measured first; on one that
// cannot seek the buffer grows with the data that arrives.
bool readTgaStream(Texture& record, std::FILE* file, std::uint64_t maxSide);

// Opens `fileName` with mode "rb", reads it with readTgaStream and closes it.
// A file that cannot be opened (or a null name) leaves the record untouched.
bool readTgaImage(Texture& record, const char* fileName, std::uint64_t maxSide);

// Releases the record's pixel buffer, if any, and sets `pixels` to null.
// The program never calls it (its textures live as long as the process);
// tests and the fuzzer do.
void releaseTexturePixels(Texture& record);

// The pixel-unpack alignment with which an image of this depth and width,
// rows tightly packed, may be uploaded when the library's current alignment is
// `currentAlignment`: the current one when every row length is a multiple of
// it, else 1 (for example 24-bit images whose width is not a multiple of 4,
// under the default alignment 4). With any other alignment the library would
// read beyond the buffer.
std::int32_t uploadUnpackAlignment(std::int32_t bitsPerPixel, std::uint32_t width, std::int32_t currentAlignment);
