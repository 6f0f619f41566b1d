#pragma once
// Pictures from the program's resources: JPEG (through libjpeg) and GIF files
// turned into bitmaps.
#include <cstdint>
#include <optional>
#include <span>

#include "framework/gif_decoder.h"
#include "framework/win.h"

namespace zandrel {

// The bytes of a resource of type RCDATA; empty when it is missing.
std::span<const std::uint8_t> ResourceBytes(const wchar_t* name);
// Nothing when the bytes are not a JPEG file libjpeg can read.
std::optional<RgbImage> DecodeJpeg(std::span<const std::uint8_t> bytes);
// A 24-bit bitmap of the picture (the caller deletes it); nullptr for no picture.
HBITMAP MakeBitmap(const std::optional<RgbImage>& image);

}  // namespace zandrel
