// The TGA reader: what it accepts, what each refusal leaves in the record,
// and its guards: sizes are checked against the data before any
// large allocation, images above the library's limit are refused, and the
// upload alignment fits 24-bit rows of any width.
#include "tga_reader.h"
#include "array_allocation_tracker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

constexpr std::uint64_t noLimit = 65535;

Bytes header(unsigned width, unsigned height, unsigned bitsPerPixel, unsigned descriptor = 0) {
    return {0,
            0,
            2,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            static_cast<unsigned char>(width & 0xFF),
            static_cast<unsigned char>(width >> 8),
            static_cast<unsigned char>(height & 0xFF),
            static_cast<unsigned char>(height >> 8),
            static_cast<unsigned char>(bitsPerPixel),
            static_cast<unsigned char>(descriptor)};
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes withByte(Bytes bytes, std::size_t offset, unsigned char value) {
    bytes.at(offset) = value;
    return bytes;
}

Bytes firstBytes(const Bytes& bytes, std::size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

Bytes pixelsOf(const Texture& record) {
    const std::size_t size = std::size_t{record.width} * record.height * (record.bitsPerPixel / 8);
    return record.pixels == nullptr ? Bytes{} : Bytes(record.pixels, record.pixels + size);
}

// A 2 × 2, 24-bit image: four pixels B, G, R in the file.
const Bytes twoByTwo24 = concat(header(2, 2, 24), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
const Bytes twoByTwo24AsRgb = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10};

// A record as a previous load could have left it, to see what a refusal touches.
Texture loadedRecord() {
    Texture record{};
    record.pixels = new unsigned char[4 * 3 * 3]{};
    record.bitsPerPixel = 24;
    record.width = 4;
    record.height = 3;
    record.textureName = 9;
    return record;
}

void expectSame(const Texture& actual, const Texture& expected) {
    EXPECT_EQ(actual.pixels, expected.pixels);
    EXPECT_EQ(actual.bitsPerPixel, expected.bitsPerPixel);
    EXPECT_EQ(actual.width, expected.width);
    EXPECT_EQ(actual.height, expected.height);
    EXPECT_EQ(actual.textureName, expected.textureName);
}

// Writes `bytes` into a connected socket from a thread of its own, so the
// reader sees a stream that cannot seek, of any length. (A socket rather than
// a pipe: a write after the reader gave up must not raise SIGPIPE.)
class UnseekableStream {
  public:
    explicit UnseekableStream(Bytes bytes) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
        readEnd_ = fdopen(ends[0], "rb");
        writer_ = std::thread([bytes = std::move(bytes), fd = ends[1]] {
            std::size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    ~UnseekableStream() {
        if (readEnd_ != nullptr) std::fclose(readEnd_);  // unblocks a writer whose data was not all read
        if (writer_.joinable()) writer_.join();
    }
    std::FILE* get() const { return readEnd_; }

  private:
    std::FILE* readEnd_ = nullptr;
    std::thread writer_;
};

class TgaReader : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tga_reader_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        releaseTexturePixels(record_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string file(const Bytes& bytes) {
        const fs::path path = dir_ / ("image" + std::to_string(fileCount_++) + ".tga");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    bool read(const Bytes& bytes, std::uint64_t maxSide = noLimit) {
        return readTgaImage(record_, file(bytes).c_str(), maxSide);
    }

    fs::path dir_;
    int fileCount_ = 0;
    Texture record_{};
};

TEST_F(TgaReader, RefusesUnopenableAndForeignFilesLeavingTheRecordUntouched) {
    const Bytes valid = twoByTwo24;
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty file", {}},
        {"11 header bytes", firstBytes(valid, 11)},
        {"run-length encoded (type 10)", withByte(valid, 2, 10)},
        {"image ID length 1", withByte(valid, 0, 1)},
        {"colour-mapped (map type 1, image type 1)", withByte(withByte(valid, 1, 1), 2, 1)},
        {"colour-map length not 0", withByte(valid, 5, 1)},
        {"colour-map entry size not 0", withByte(valid, 7, 24)},
        {"x origin 1", withByte(valid, 8, 1)},
        {"y origin 256", withByte(valid, 11, 1)},
        {"only 5 of the 6 further bytes", firstBytes(valid, 17)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        record_ = loadedRecord();
        const Texture before = record_;
        EXPECT_FALSE(read(c.bytes));
        expectSame(record_, before);
        releaseTexturePixels(record_);
    }

    record_ = loadedRecord();
    const Texture before = record_;
    EXPECT_FALSE(readTgaImage(record_, (dir_ / "missing.tga").c_str(), noLimit));
    EXPECT_FALSE(readTgaImage(record_, nullptr, noLimit));
    expectSame(record_, before);
}

TEST_F(TgaReader, RefusesEmptySizesAndOtherDepthsAfterStoringWidthAndHeight) {
    const struct {
        const char* what;
        Bytes bytes;
        std::uint32_t width, height;
    } cases[] = {
        {"width 0", concat(header(0, 2, 24), Bytes(12)), 0, 2},
        {"height 0", concat(header(3, 0, 32), Bytes(12)), 3, 0},
        {"16 bit", concat(header(2, 2, 16), Bytes(8)), 2, 2},
        {"8 bit", concat(header(5, 1, 8), Bytes(5)), 5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        record_ = Texture{};
        record_.bitsPerPixel = 7;  // not set by these refusals
        EXPECT_FALSE(read(c.bytes));
        EXPECT_EQ(record_.width, c.width);
        EXPECT_EQ(record_.height, c.height);
        EXPECT_EQ(record_.bitsPerPixel, 7);
        EXPECT_EQ(record_.pixels, nullptr);
        EXPECT_EQ(record_.textureName, 0u);
    }
}

TEST_F(TgaReader, RefusesPixelDataCutShortKeepingSizeAndDepthWithoutPixels) {
    const struct {
        const char* what;
        Bytes bytes;
        std::int32_t bitsPerPixel;
    } cases[] = {
        {"24 bit, one byte missing", firstBytes(twoByTwo24, 29), 24},
        {"24 bit, header only", firstBytes(twoByTwo24, 18), 24},
        {"32 bit, one pixel missing", concat(header(2, 2, 32), Bytes(12)), 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        record_ = Texture{};
        EXPECT_FALSE(read(c.bytes));
        EXPECT_EQ(record_.width, 2u);
        EXPECT_EQ(record_.height, 2u);
        EXPECT_EQ(record_.bitsPerPixel, c.bitsPerPixel);
        EXPECT_EQ(record_.pixels, nullptr);
        EXPECT_EQ(record_.textureName, 0u);
    }
}

TEST_F(TgaReader, ReadsTrueColourPixelsAsRgbInFileRowOrder) {
    ASSERT_EQ(twoByTwo24.size(), 18u + 12u);
    ASSERT_TRUE(read(twoByTwo24));
    EXPECT_EQ(record_.width, 2u);
    EXPECT_EQ(record_.height, 2u);
    EXPECT_EQ(record_.bitsPerPixel, 24);
    EXPECT_EQ(record_.textureName, 0u);
    EXPECT_EQ(pixelsOf(record_), twoByTwo24AsRgb);

    // 32 bit, 3 × 1: B, G, R, A per pixel; alpha stays fourth.
    releaseTexturePixels(record_);
    ASSERT_TRUE(read(concat(header(3, 1, 32), {10, 20, 30, 40, 11, 21, 31, 0, 12, 22, 32, 255})));
    EXPECT_EQ(record_.width, 3u);
    EXPECT_EQ(record_.height, 1u);
    EXPECT_EQ(record_.bitsPerPixel, 32);
    EXPECT_EQ(pixelsOf(record_), (Bytes{30, 20, 10, 40, 31, 21, 11, 0, 32, 22, 12, 255}));
}

TEST_F(TgaReader, IgnoresTheDescriptorAndBytesAfterThePixelData) {
    const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    // 0x20: top-left origin; 0x08: eight alpha bits; 0xFF: everything set.
    for (const unsigned descriptor : {0x00u, 0x20u, 0x08u, 0xFFu}) {
        SCOPED_TRACE(descriptor);
        ASSERT_TRUE(read(concat(header(2, 2, 24, descriptor), pixels)));
        EXPECT_EQ(pixelsOf(record_), twoByTwo24AsRgb);
        releaseTexturePixels(record_);
    }

    const Bytes trailer = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(read(concat(twoByTwo24, trailer)));
    EXPECT_EQ(pixelsOf(record_), twoByTwo24AsRgb);
    releaseTexturePixels(record_);

    // The stream is left open, right after the pixel data.
    std::FILE* stream = std::fopen(file(concat(twoByTwo24, trailer)).c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(readTgaStream(record_, stream, noLimit));
    EXPECT_EQ(std::ftell(stream), 30);
    EXPECT_EQ(std::fgetc(stream), 0xAA);
    std::fclose(stream);
}

TEST_F(TgaReader, RefusesImagesLargerThanTheLibraryAcceptsBeforeReadingPixels) {
    const Bytes threeByTwo = concat(header(3, 2, 24), Bytes(18));
    const Bytes twoByThree = concat(header(2, 3, 32), Bytes(24));
    for (const Bytes& bytes : {threeByTwo, twoByThree}) {
        record_ = Texture{};
        EXPECT_FALSE(read(bytes, 2));
        EXPECT_NE(record_.width, 0u);
        EXPECT_NE(record_.height, 0u);
        EXPECT_NE(record_.bitsPerPixel, 0);
        EXPECT_EQ(record_.pixels, nullptr);

        EXPECT_TRUE(read(bytes, 3));
        EXPECT_NE(record_.pixels, nullptr);
        releaseTexturePixels(record_);
    }
}

TEST_F(TgaReader, RefusesAHugeHeaderWithLittleDataQuicklyWithoutALargeAllocation) {
    // 65535 × 65535 × 4 bytes announced (about 17 GB), 16 bytes present.
    const Bytes hostile = concat(header(65535, 65535, 32), Bytes(16, 0x55));
    const std::string path = file(hostile);

    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "file" : "socket");
        record_ = Texture{};
        std::optional<UnseekableStream> unseekable;
        if (!seekable) unseekable.emplace(hostile);
        std::FILE* stream = seekable ? std::fopen(path.c_str(), "rb") : unseekable->get();
        ASSERT_NE(stream, nullptr);

        arrayAllocations::largestRequest = 0;
        arrayAllocations::tracking = true;
        const auto start = std::chrono::steady_clock::now();
        const bool loaded = readTgaStream(record_, stream, noLimit);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        arrayAllocations::tracking = false;
        if (seekable) std::fclose(stream);

        EXPECT_FALSE(loaded);
        EXPECT_LE(arrayAllocations::largestRequest, 64u * 1024u);
        EXPECT_LT(elapsed, std::chrono::seconds(2));
        EXPECT_EQ(record_.width, 65535u);
        EXPECT_EQ(record_.height, 65535u);
        EXPECT_EQ(record_.bitsPerPixel, 32);
        EXPECT_EQ(record_.pixels, nullptr);
    }
}

TEST_F(TgaReader, ReadsStreamsThatCannotSeekLikeFiles) {
    {
        UnseekableStream unseekable(concat(twoByTwo24, {0xAA}));
        ASSERT_NE(unseekable.get(), nullptr);
        ASSERT_TRUE(readTgaStream(record_, unseekable.get(), noLimit));
        EXPECT_EQ(pixelsOf(record_), twoByTwo24AsRgb);
        EXPECT_EQ(std::fgetc(unseekable.get()), 0xAA);
        releaseTexturePixels(record_);
    }
    {
        // Larger than the first buffer, so the buffer has to grow.
        Bytes pixels(300 * 200 * 3);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7 + i / 3);
        const Bytes image = concat(header(300, 200, 24), pixels);
        Texture fromFile{};
        ASSERT_TRUE(readTgaImage(fromFile, file(image).c_str(), noLimit));
        UnseekableStream unseekable(image);
        ASSERT_TRUE(readTgaStream(record_, unseekable.get(), noLimit));
        EXPECT_EQ(pixelsOf(record_), pixelsOf(fromFile));
        releaseTexturePixels(fromFile);
        releaseTexturePixels(record_);
    }
    {
        UnseekableStream unseekable(firstBytes(twoByTwo24, 29));
        record_ = Texture{};
        EXPECT_FALSE(readTgaStream(record_, unseekable.get(), noLimit));
        EXPECT_EQ(record_.bitsPerPixel, 24);
        EXPECT_EQ(record_.pixels, nullptr);
    }
}

TEST_F(TgaReader, ARecordReadAgainNeverKeepsPixelsThatNoLongerMatchItsSize) {
    ASSERT_TRUE(read(twoByTwo24));
    record_.textureName = 5;

    // A second image replaces the first (the first buffer is released; the
    // sanitizer build would report a leak or a double release).
    ASSERT_TRUE(read(concat(header(1, 1, 32), {1, 2, 3, 4})));
    EXPECT_EQ(pixelsOf(record_), (Bytes{3, 2, 1, 4}));
    EXPECT_EQ(record_.textureName, 5u);

    // Refused before the size: the record, pixels included, stays as it was.
    const Texture before = record_;
    EXPECT_FALSE(read(withByte(twoByTwo24, 2, 10)));
    expectSame(record_, before);

    // Refused after the size was stored: the old pixels are gone with it.
    EXPECT_FALSE(read(concat(header(2, 2, 16), Bytes(8))));
    EXPECT_EQ(record_.pixels, nullptr);
    EXPECT_EQ(record_.textureName, 5u);
}

TEST_F(TgaReader, ClosesTheFileWhateverTheOutcome) {
    const fs::path descriptors = "/proc/self/fd";
    if (!fs::exists(descriptors)) GTEST_SKIP() << "no " << descriptors;
    const auto openFiles = [&] { return std::distance(fs::directory_iterator(descriptors), fs::directory_iterator{}); };
    const std::string good = file(twoByTwo24), foreign = file(withByte(twoByTwo24, 2, 10)),
                      cut = file(firstBytes(twoByTwo24, 29));
    const auto before = openFiles();
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(readTgaImage(record_, good.c_str(), noLimit));
        EXPECT_FALSE(readTgaImage(record_, foreign.c_str(), noLimit));
        EXPECT_FALSE(readTgaImage(record_, cut.c_str(), noLimit));
    }
    EXPECT_EQ(openFiles(), before);
}

TEST(UploadUnpackAlignment, KeepsTheCurrentAlignmentOnlyWhenEveryRowFitsIt) {
    // Default alignment 4: 24-bit rows of 3, 6, 9, 12, 15 bytes.
    const std::uint32_t widths[] = {1, 2, 3, 4, 5};
    const std::int32_t expected24[] = {1, 1, 1, 4, 1};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(widths[i]);
        EXPECT_EQ(uploadUnpackAlignment(24, widths[i], 4), expected24[i]);
        EXPECT_EQ(uploadUnpackAlignment(32, widths[i], 4), 4);
    }
    // Other current alignments.
    EXPECT_EQ(uploadUnpackAlignment(24, 8, 8), 8);
    EXPECT_EQ(uploadUnpackAlignment(32, 1, 8), 1);
    EXPECT_EQ(uploadUnpackAlignment(24, 2, 2), 2);
    EXPECT_EQ(uploadUnpackAlignment(24, 4, 1), 1);
    EXPECT_EQ(uploadUnpackAlignment(24, 65535, 4), 1);
}

}  // namespace
