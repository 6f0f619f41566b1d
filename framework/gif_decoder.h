#pragma once
// A GIF decoder for the program's pictures: the first image of a GIF file as
// RGB pixels. Portable.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zandrel {

struct RgbImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
};

// Nothing when the bytes are not a GIF this decoder can read.
std::optional<RgbImage> DecodeGif(std::span<const std::uint8_t> bytes);

}  // namespace zandrel
