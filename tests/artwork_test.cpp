// The pictures in assets/ are exactly what make_artwork draws, and each is one
// the program can use: a 32-bit TGA that the reader accepts, of the size that
// makes its quad reach the next joint, with a clean cut-out alpha and opaque
// texels where the segments meet.

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tga_reader.h"

namespace {

namespace fs = std::filesystem;

const fs::path committedDirectory = ARTWORK_DIR;
const std::string generator = MAKE_ARTWORK;

struct Picture {
    const char* fileName;
    std::uint32_t width, height;
};

// Load order of the program, and the sizes the drawing's proportions need.
constexpr Picture pictures[] = {
    {"head2.tga", 256, 256},         {"torso.tga", 512, 256},     {"rightUpperArm.tga", 256, 128},
    {"rightLowerArm.tga", 256, 64},  {"rightHand.tga", 128, 128}, {"leftUpperArm.tga", 256, 128},
    {"leftLowerArm.tga", 256, 64},   {"leftHand.tga", 128, 128},  {"rightUpperLeg.tga", 256, 128},
    {"rightLowerLeg.tga", 256, 128}, {"rightFoot.tga", 128, 128}, {"leftUpperLeg.tga", 256, 128},
    {"leftLowerLeg.tga", 256, 128},  {"leftFoot.tga", 128, 128},
};

std::vector<char> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string fileText(const fs::path& path) {
    const std::vector<char> bytes = fileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The exit status of a shell command, or -1 if it did not exit normally.
int exitStatus(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        std::string pattern = (fs::temp_directory_path() / "artwork_test.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// A committed picture as the program reads it; released at the end.
class LoadedPicture {
  public:
    explicit LoadedPicture(const std::string& fileName)
        : loaded_(readTgaImage(record_, (committedDirectory / fileName).c_str(), 65535)) {}
    ~LoadedPicture() { releaseTexturePixels(record_); }
    bool loaded() const { return loaded_; }
    const Texture& record() const { return record_; }

    // The texel that the quad shows at segment point (x along from the joint,
    // y across), R, G, B, A: rows run from the far end (x = 1.9 W) back to the
    // joint end (x = -0.1 W), columns from y = -H to y = H.
    const unsigned char* texelAt(double x, double y) const {
        const std::size_t row = rowAt(x);
        const auto column = static_cast<std::size_t>(std::floor((y / h() + 1) / 2 * record_.width));
        return record_.pixels + (row * record_.width + column) * 4;
    }

    // How broad the opaque part of the picture is at x along the segment.
    double breadthAt(double x) const {
        const unsigned char* rowStart = record_.pixels + rowAt(x) * record_.width * 4;
        int opaque = 0;
        for (std::uint32_t column = 0; column < record_.width; ++column) opaque += rowStart[column * 4 + 3] == 255;
        return opaque * 2 * h() / record_.width;
    }

  private:
    double w() const { return record_.width / 256.0; }
    double h() const { return record_.height / 256.0; }
    std::size_t rowAt(double x) const {
        return static_cast<std::size_t>(std::floor((1.9 * w() - x) / (2 * w()) * record_.height));
    }

    Texture record_{};
    bool loaded_;
};

TEST(ArtworkGenerator, DrawsExactlyTheCommittedPictures) {
    const ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    ASSERT_EQ(exitStatus("'" + generator + "' '" + scratch.path().string() + "'"), 0);

    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.fileName);
        const std::vector<char> drawn = fileBytes(scratch.path() / picture.fileName);
        ASSERT_FALSE(drawn.empty());
        EXPECT_TRUE(drawn == fileBytes(committedDirectory / picture.fileName))
            << "assets/ is out of date: run make_artwork on it";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), std::ssize(pictures));
}

TEST(ArtworkGenerator, RefusesBadArgumentsAndUnwritableDirectories) {
    const ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path messages = scratch.path() / "stderr.txt";
    const std::string quiet = " 2>'" + messages.string() + "'";

    EXPECT_EQ(exitStatus("'" + generator + "'" + quiet), 2);
    EXPECT_NE(fileText(messages).find("usage: make_artwork OUTPUT_DIR"), std::string::npos);
    EXPECT_EQ(exitStatus("'" + generator + "' '" + scratch.path().string() + "' extra" + quiet), 2);
    EXPECT_EQ(exitStatus("'" + generator + "' ''" + quiet), 2);

    const fs::path missing = scratch.path() / "missing" / "deeper";
    EXPECT_EQ(exitStatus("'" + generator + "' '" + missing.string() + "'" + quiet), 1);
    EXPECT_NE(fileText(messages).find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));
}

TEST(CommittedArtwork, EveryPictureIsA32BitImageOfItsPowerOfTwoSize) {
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.fileName);
        const LoadedPicture loaded(picture.fileName);
        ASSERT_TRUE(loaded.loaded());
        EXPECT_EQ(loaded.record().bitsPerPixel, 32);
        EXPECT_EQ(loaded.record().width, picture.width);
        EXPECT_EQ(loaded.record().height, picture.height);
        EXPECT_EQ(loaded.record().width & (loaded.record().width - 1), 0u);
        EXPECT_EQ(loaded.record().height & (loaded.record().height - 1), 0u);
    }
}

// The renderer keeps texels of alpha above one half, filters linearly and
// wraps the texture around: so alpha is all or nothing, the outermost ring is
// see-through, and every picture shows something without filling its quad.
TEST(CommittedArtwork, AlphaIsACleanCutOut) {
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.fileName);
        const LoadedPicture loaded(picture.fileName);
        ASSERT_TRUE(loaded.loaded());
        const Texture& t = loaded.record();
        std::size_t opaque = 0;
        std::size_t borderOpaque = 0;
        std::size_t partial = 0;
        for (std::uint32_t row = 0; row < t.height; ++row) {
            for (std::uint32_t column = 0; column < t.width; ++column) {
                const int alpha = t.pixels[(std::size_t{row} * t.width + column) * 4 + 3];
                const bool border = row == 0 || column == 0 || row + 1 == t.height || column + 1 == t.width;
                if (alpha == 255) ++opaque;
                if (alpha == 255 && border) ++borderOpaque;
                if (alpha != 0 && alpha != 255) ++partial;
            }
        }
        const double coverage = static_cast<double>(opaque) / (std::size_t{t.width} * t.height);
        EXPECT_EQ(partial, 0u);
        EXPECT_EQ(borderOpaque, 0u);
        EXPECT_GT(coverage, 0.15);
        EXPECT_LT(coverage, 0.85);
    }
}

// Each picture is opaque at its own joint and at the joints of the segments
// it carries, so the figure has no gaps in any pose; the head is opaque in the
// middle of the face. Points are (along, across) in the picture's segment.
TEST(CommittedArtwork, SegmentsAreSolidWhereTheyMeet) {
    struct Spot {
        const char* fileName;
        double x, y;
    };
    const Spot spots[] = {
        {"torso.tga", 0.0, 0.0},
        {"torso.tga", 0.2, -0.7},
        {"torso.tga", 0.2, 0.7},
        {"torso.tga", 3.5, -0.4},
        {"torso.tga", 3.5, 0.4},
        {"rightUpperArm.tga", 0.0, 0.0},
        {"rightUpperArm.tga", 1.7, -0.1},
        {"leftUpperArm.tga", 0.0, 0.0},
        {"leftUpperArm.tga", 1.7, 0.1},
        {"rightLowerArm.tga", 0.0, 0.0},
        {"rightLowerArm.tga", 1.6, 0.0},
        {"leftLowerArm.tga", 0.0, 0.0},
        {"leftLowerArm.tga", 1.6, 0.0},
        {"rightHand.tga", 0.0, 0.0},
        {"leftHand.tga", 0.0, 0.0},
        {"rightUpperLeg.tga", 0.0, 0.0},
        {"rightUpperLeg.tga", 1.6, 0.0},
        {"leftUpperLeg.tga", 0.0, 0.0},
        {"leftUpperLeg.tga", 1.6, 0.0},
        {"rightLowerLeg.tga", 0.0, 0.0},
        {"rightLowerLeg.tga", 1.6, 0.0},
        {"leftLowerLeg.tga", 0.0, 0.0},
        {"leftLowerLeg.tga", 1.6, 0.0},
        {"rightFoot.tga", 0.0, 0.0},
        {"leftFoot.tga", 0.0, 0.0},
        // The head stands on the pivot: its point (x, y) is shown at
        // (-0.2 + y, 1.8 - x), so the face's middle (0, 0.9) is (0.9, 0.2).
        {"head2.tga", 0.9, 0.2},
    };
    for (const Spot& spot : spots) {
        SCOPED_TRACE(std::string(spot.fileName) + " at " + std::to_string(spot.x) + ", " + std::to_string(spot.y));
        const LoadedPicture loaded(spot.fileName);
        ASSERT_TRUE(loaded.loaded());
        EXPECT_EQ(loaded.texelAt(spot.x, spot.y)[3], 255);
    }
}

// A picture turned end for end, or lying across its quad, would still load;
// the figure's proportions tell. Points are distances along the segment.
TEST(CommittedArtwork, PicturesLieTheRightWayRoundOnTheirQuads) {
    const auto breadth = [](const std::string& fileName, double x) {
        const LoadedPicture loaded(fileName);
        return loaded.loaded() ? loaded.breadthAt(x) : 0.0;
    };
    // Broad shoulders at the pivot end, a narrow neck above them, narrower hips.
    EXPECT_GT(breadth("torso.tga", 0.2), 3 * breadth("torso.tga", -0.15));
    EXPECT_GT(breadth("torso.tga", 0.2), breadth("torso.tga", 3.6));

    // Limbs taper away from the body; hands and feet spread out from the wrist
    // and the ankle.
    struct Taper {
        const char* segment;
        double broadAt, narrowAt;
    };
    const Taper tapers[] = {{"UpperArm", 0.2, 1.5}, {"LowerArm", 0.6, 1.5}, {"Hand", 0.5, 0.05},
                            {"UpperLeg", 0.2, 1.5}, {"LowerLeg", 0.5, 1.2}, {"Foot", 0.6, 0.05}};
    for (const char* side : {"right", "left"}) {
        for (const Taper& taper : tapers) {
            const std::string name = std::string(side) + taper.segment + ".tga";
            EXPECT_GT(breadth(name, taper.broadAt), breadth(name, taper.narrowAt)) << name;
        }
    }

    // The head stands upright above the pivot: a head point (x, y) is shown at
    // (-0.2 + y, 1.8 - x). The face at height 0.9 is broader than the neck at
    // the pivot, and the hair at height 1.6 is darker than the face.
    const LoadedPicture head("head2.tga");
    ASSERT_TRUE(head.loaded());
    EXPECT_GT(head.breadthAt(1.8 - 0.9), 2 * head.breadthAt(1.8 - 0.0));
    const auto brightness = [](const unsigned char* texel) { return texel[0] + texel[1] + texel[2]; };
    EXPECT_EQ(head.texelAt(1.8 - 1.6, 0.2)[3], 255);
    EXPECT_LT(brightness(head.texelAt(1.8 - 1.6, 0.2)), brightness(head.texelAt(1.8 - 1.0, 0.2)));
}

}  // namespace
