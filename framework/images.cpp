#include "framework/images.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace zandrel {
namespace {

// libjpeg reports a fatal error by calling error_exit; it must not return, and
// C++ exceptions cannot pass through the C library, so it jumps back.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf back;
};

void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1); }
void NoJpegMessage(j_common_ptr) {}

// Everything with a destructor lives outside the function that may jump.
bool ReadJpeg(std::span<const std::uint8_t> bytes, RgbImage& image) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnJpegError;
    error.mgr.output_message = NoJpegMessage;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width > 16384 || info.output_height > 16384) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.rgb.data() + static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(image.width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

std::span<const std::uint8_t> ResourceBytes(const wchar_t* name) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module, found)};
}

std::optional<RgbImage> DecodeJpeg(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4) return std::nullopt;
    RgbImage image;
    if (!ReadJpeg(bytes, image)) return std::nullopt;
    return image;
}

HBITMAP MakeBitmap(const std::optional<RgbImage>& image) {
    if (!image || image->width <= 0 || image->height <= 0) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), image->width, -image->height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    const std::size_t stride = (static_cast<std::size_t>(image->width) * 3 + 3) / 4 * 4;
    auto* out = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            const std::uint8_t* p = &image->rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image->width) + static_cast<std::size_t>(x)) * 3];
            std::uint8_t* q = out + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
            q[0] = p[2], q[1] = p[1], q[2] = p[0];  // the bitmap keeps blue first
        }
    return bitmap;
}

}  // namespace zandrel
