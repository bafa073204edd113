// make_artwork OUTPUT_DIR: draws the figure's fourteen pictures and writes
// them into OUTPUT_DIR as uncompressed 32-bit TGA files with alpha.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "artwork.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: make_artwork OUTPUT_DIR\n");
        std::fprintf(stderr, "make_artwork: expected exactly one output directory\n");
        return 2;
    }
    const std::string directory = argv[1];
    for (int k = 0; k < artworkCount; ++k) {
        const std::string path = directory + "/" + artworkFileName(k);
        const std::vector<std::uint8_t> file = drawArtworkFile(k);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "make_artwork: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
