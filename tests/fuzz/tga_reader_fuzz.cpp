// libFuzzer target over readTgaStream. Build and run with
// run_fuzz.sh. Besides crashes, leaks and undefined behaviour it checks what
// the reader promises:
//   - a refusal leaves no pixels; a success holds a valid size and the file's
//     pixels with red and blue exchanged, and leaves the stream right after them;
//   - no buffer is larger than the input (the size in the header is checked
//     against the data before anything is allocated);
//   - a stream that cannot seek (a cookie stream over the same bytes) reads
//     exactly like the seekable one, with buffers bounded by the first chunk;
//   - reading the same stream again into the same record, with a small
//     maxSide, replaces the earlier image without a leak and refuses exactly
//     the images wider or taller than that limit.
#include "../array_allocation_tracker.h"
#include "tga_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/types.h>

namespace {

constexpr std::uint64_t noLimit = 65535;  // the largest size the format can state
constexpr std::uint64_t smallLimit = 8;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

std::size_t byteCount(const Texture& record) {
    return std::size_t{record.width} * record.height * (static_cast<std::size_t>(record.bitsPerPixel) / 8);
}

bool read(Texture& record, std::FILE* stream, std::uint64_t maxSide, std::size_t largestAllowed) {
    arrayAllocations::largestRequest = 0;
    arrayAllocations::tracking = true;
    const bool loaded = readTgaStream(record, stream, maxSide);
    arrayAllocations::tracking = false;
    require(arrayAllocations::largestRequest <= largestAllowed);
    return loaded;
}

// A read-only stream over memory that cannot seek or tell its position.
struct Cookie {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

ssize_t readCookie(void* cookie, char* buffer, std::size_t count) {
    Cookie& c = *static_cast<Cookie*>(cookie);
    const std::size_t n = count < c.size - c.position ? count : c.size - c.position;
    std::memcpy(buffer, c.data + c.position, n);
    c.position += n;
    return static_cast<ssize_t>(n);
}

std::FILE* openUnseekable(Cookie& cookie) {
    std::FILE* stream = fopencookie(&cookie, "rb", cookie_io_functions_t{readCookie, nullptr, nullptr, nullptr});
    // Unbuffered, so the cookie's position is what the reader consumed.
    if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

void checkRecord(const Texture& record, bool loaded, std::uint64_t maxSide, const std::uint8_t* data, std::size_t size,
                 std::FILE* stream) {
    if (!loaded) {
        require(record.pixels == nullptr);
        return;
    }
    require(record.pixels != nullptr);
    require(record.bitsPerPixel == 24 || record.bitsPerPixel == 32);
    require(record.width >= 1 && record.width <= maxSide);
    require(record.height >= 1 && record.height <= maxSide);
    require(record.textureName == 0);
    const std::size_t count = byteCount(record);
    require(size >= 18 + count);
    if (stream != nullptr) require(std::ftell(stream) == static_cast<long>(18 + count));
    require(data[2] == 2 && data[16] == record.bitsPerPixel);
    require(record.width == data[12] + 256u * data[13] && record.height == data[14] + 256u * data[15]);
    const std::size_t step = static_cast<std::size_t>(record.bitsPerPixel) / 8;
    const std::uint8_t* file = data + 18;
    for (std::size_t i = 0; i < count; i += step) {
        require(record.pixels[i] == file[i + 2]);
        require(record.pixels[i + 1] == file[i + 1]);
        require(record.pixels[i + 2] == file[i]);
        if (step == 4) require(record.pixels[i + 3] == file[i + 3]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) return 0;

    Texture record{};
    const bool loaded = read(record, stream, noLimit, size);
    checkRecord(record, loaded, noLimit, data, size, stream);
    const Texture first = record;

    Cookie cookie{data, size, 0};
    if (std::FILE* unseekable = openUnseekable(cookie)) {
        Texture other{};
        const bool loadedOther = read(other, unseekable, noLimit, 64 * 1024);
        checkRecord(other, loadedOther, noLimit, data, size, nullptr);
        require(loadedOther == loaded);
        require(other.width == first.width && other.height == first.height && other.bitsPerPixel == first.bitsPerPixel);
        if (loaded) require(cookie.position == 18 + byteCount(other));
        releaseTexturePixels(other);
        std::fclose(unseekable);
    }

    std::rewind(stream);
    const bool loadedAgain = read(record, stream, smallLimit, size);
    checkRecord(record, loadedAgain, smallLimit, data, size, stream);
    require(loadedAgain == (loaded && first.width <= smallLimit && first.height <= smallLimit));
    if (loaded) {
        require(record.width == first.width && record.height == first.height &&
                record.bitsPerPixel == first.bitsPerPixel);
    }

    releaseTexturePixels(record);
    std::fclose(stream);
    return 0;
}
