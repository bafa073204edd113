#include "tga_reader.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

// Image ID length 0, no colour map, type 2, empty colour-map fields, origin 0, 0.
constexpr unsigned char headerTemplate[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A stream that cannot seek gets a buffer of this size first, which then
// doubles while data keeps arriving.
constexpr std::size_t firstChunk = 64 * 1024;

enum class Remaining {
    known,    // `remaining` holds the bytes from the current position to the end
    unknown,  // the stream cannot tell; its position is unchanged
    lost      // the position could not be restored; the stream is unusable
};

Remaining measureRemaining(std::FILE* file, std::uint64_t& remaining) {
    const long here = std::ftell(file);
    if (here < 0) return Remaining::unknown;
    if (std::fseek(file, 0, SEEK_END) != 0)
        return std::fseek(file, here, SEEK_SET) == 0 ? Remaining::unknown : Remaining::lost;
    const long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0) return Remaining::lost;
    if (end < 0) return Remaining::unknown;
    remaining = end > here ? static_cast<std::uint64_t>(end - here) : 0;
    return Remaining::known;
}

// Reads exactly `size` bytes into a new buffer of that size, or returns null.
unsigned char* readKnown(std::FILE* file, std::size_t size) {
    unsigned char* buffer = new (std::nothrow) unsigned char[size];
    if (buffer == nullptr) return nullptr;
    if (std::fread(buffer, 1, size, file) != size) {
        delete[] buffer;
        return nullptr;
    }
    return buffer;
}

// Reads exactly `size` bytes from a stream of unknown length, or returns null.
// No buffer is ever more than twice the bytes received so far (or firstChunk).
unsigned char* readGrowing(std::FILE* file, std::size_t size) {
    std::size_t capacity = size < firstChunk ? size : firstChunk;
    unsigned char* buffer = new (std::nothrow) unsigned char[capacity];
    if (buffer == nullptr) return nullptr;
    std::size_t filled = 0;
    for (;;) {
        filled += std::fread(buffer + filled, 1, capacity - filled, file);
        if (filled < capacity) break;  // the data ends early
        if (filled == size) return buffer;
        const std::size_t next = capacity > size / 2 ? size : capacity * 2;
        unsigned char* grown = new (std::nothrow) unsigned char[next];
        if (grown == nullptr) break;
        std::memcpy(grown, buffer, filled);
        delete[] buffer;
        buffer = grown;
        capacity = next;
    }
    delete[] buffer;
    return nullptr;
}

}  // namespace

bool readTgaStream(Texture& record, std::FILE* file, std::uint64_t maxSide) {
    if (file == nullptr) return false;

    unsigned char header[12];
    if (std::fread(header, 1, sizeof header, file) != sizeof header) return false;
    if (std::memcmp(header, headerTemplate, sizeof header) != 0) return false;

    unsigned char imageSpec[6];
    if (std::fread(imageSpec, 1, sizeof imageSpec, file) != sizeof imageSpec) return false;

    // From here on the record describes the new image; an old buffer would no
    // longer match width and height.
    releaseTexturePixels(record);
    record.width = imageSpec[0] + 256u * imageSpec[1];
    record.height = imageSpec[2] + 256u * imageSpec[3];
    if (record.width == 0 || record.height == 0) return false;

    const unsigned char bitsPerPixel = imageSpec[4];  // imageSpec[5], the descriptor, is ignored
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    record.bitsPerPixel = bitsPerPixel;

    if (record.width > maxSide || record.height > maxSide) return false;

    const std::size_t bytesPerPixel = bitsPerPixel / 8;
    // At most 65535 × 65535 × 4 < 2^34: exact in 64 bits.
    const std::uint64_t byteCount = std::uint64_t{record.width} * record.height * bytesPerPixel;
    if (byteCount > std::numeric_limits<std::size_t>::max()) return false;
    const std::size_t size = static_cast<std::size_t>(byteCount);

    unsigned char* buffer = nullptr;
    std::uint64_t remaining = 0;
    switch (measureRemaining(file, remaining)) {
        case Remaining::known:
            if (remaining < byteCount) return false;
            buffer = readKnown(file, size);
            break;
        case Remaining::unknown:
            buffer = readGrowing(file, size);
            break;
        case Remaining::lost:
            return false;
    }
    if (buffer == nullptr) return false;

    // B, G, R(, A) becomes R, G, B(, A).
    for (std::size_t offset = 0; offset < size; offset += bytesPerPixel) std::swap(buffer[offset], buffer[offset + 2]);

    record.pixels = buffer;
    return true;
}

bool readTgaImage(Texture& record, const char* fileName, std::uint64_t maxSide) {
    if (fileName == nullptr) return false;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    const bool loaded = readTgaStream(record, file, maxSide);
    std::fclose(file);
    return loaded;
}

void releaseTexturePixels(Texture& record) {
    delete[] record.pixels;
    record.pixels = nullptr;
}

std::int32_t uploadUnpackAlignment(std::int32_t bitsPerPixel, std::uint32_t width, std::int32_t currentAlignment) {
    if (bitsPerPixel <= 0 || currentAlignment <= 1) return 1;
    const std::uint64_t rowBytes = std::uint64_t{width} * static_cast<std::uint32_t>(bitsPerPixel / 8);
    return rowBytes % static_cast<std::uint32_t>(currentAlignment) == 0 ? currentAlignment : 1;
}
