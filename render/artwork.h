// The figure's fourteen pictures, drawn from shapes (artwork.cpp says how).
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int artworkCount = 14;  // the head, the torso and the twelve limb segments

// The file name picture k goes by, e.g. "torso.tga"; "" for k outside 0..13.
const char* artworkFileName(int k);

// Picture k as a whole uncompressed 32-bit TGA file with alpha, the same
// bytes on every run and every target; empty for k outside 0..13.
std::vector<std::uint8_t> drawArtworkFile(int k);
