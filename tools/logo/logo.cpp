// Build-time tool: draws the maker's logo (178 x 71) and writes it as a JPEG
// file (the About box) and as a GIF file (the splash).
// Usage: logo OUT.jpg OUT.gif
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kW = 178, kH = 71;

struct Rgb {
    std::uint8_t r, g, b;
};

// 5 x 7 letters, one string per row, '#' set.
const std::array<const char*, 7> kO = {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "};
const std::array<const char*, 7> kR = {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"};
const std::array<const char*, 7> kV = {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "};

std::vector<Rgb> Draw() {
    std::vector<Rgb> img(kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            // A deep blue to light blue gradient, with an orange band below the letters.
            const double t = static_cast<double>(x) / kW;
            Rgb c{static_cast<std::uint8_t>(20 + 40 * t), static_cast<std::uint8_t>(60 + 80 * t),
                  static_cast<std::uint8_t>(150 + 90 * t)};
            if (y >= 58 && y < 62) c = {240, 140, 30};
            img[static_cast<std::size_t>(y * kW + x)] = c;
        }
    const std::array<const std::array<const char*, 7>*, 4> word = {&kO, &kR, &kV, &kO};
    constexpr int cell = 6, left = 17, top = 8;
    for (std::size_t l = 0; l < word.size(); ++l)
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if ((*word[l])[static_cast<std::size_t>(row)][col] != '#') continue;
                for (int dy = 0; dy < cell; ++dy)
                    for (int dx = 0; dx < cell; ++dx) {
                        const int x = left + static_cast<int>(l) * 38 + col * cell + dx, y = top + row * cell + dy;
                        img[static_cast<std::size_t>(y * kW + x)] = {255, 255, 255};
                    }
            }
    return img;
}

bool WriteJpeg(const char* path, const std::vector<Rgb>& img) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kW;
    c.image_height = kH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 92, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(&img[c.next_scanline * kW]));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

// GIF with a 6x6x6 colour cube. The codes are written without growing their width:
// a clear code comes before the table would need wider codes. Plain, and valid.
bool WriteGif(const char* path, const std::vector<Rgb>& img) {
    std::vector<std::uint8_t> o = {'G', 'I', 'F', '8', '9', 'a'};
    auto u16 = [&](int v) { o.push_back(static_cast<std::uint8_t>(v)), o.push_back(static_cast<std::uint8_t>(v >> 8)); };
    u16(kW), u16(kH);
    o.push_back(0xF7), o.push_back(0), o.push_back(0);  // global table of 256 colours
    for (int i = 0; i < 256; ++i) {
        const int r = i / 36 % 6, g = i / 6 % 6, b = i % 6;
        o.push_back(static_cast<std::uint8_t>(i < 216 ? r * 51 : 0));
        o.push_back(static_cast<std::uint8_t>(i < 216 ? g * 51 : 0));
        o.push_back(static_cast<std::uint8_t>(i < 216 ? b * 51 : 0));
    }
    o.push_back(','), u16(0), u16(0), u16(kW), u16(kH), o.push_back(0);
    constexpr int minCode = 8, clear = 256, end = 257, width = 9;
    o.push_back(minCode);
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) data.push_back(static_cast<std::uint8_t>(bits)), bits >>= 8, count -= 8;
    };
    int sinceClear = 0;
    put(clear);
    for (const Rgb& p : img) {
        const int index = (p.r * 5 + 127) / 255 * 36 + (p.g * 5 + 127) / 255 * 6 + (p.b * 5 + 127) / 255;
        put(index);
        // Each symbol adds a table entry; 254 more would need 10-bit codes.
        if (++sinceClear == 254) put(clear), sinceClear = 0;
    }
    put(end);
    if (count > 0) data.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        o.push_back(static_cast<std::uint8_t>(n));
        o.insert(o.end(), data.begin() + static_cast<std::ptrdiff_t>(i), data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    o.push_back(0), o.push_back(';');
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    std::fwrite(o.data(), 1, o.size(), f);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: logo OUT.jpg OUT.gif\n";
        return 2;
    }
    const auto img = Draw();
    return WriteJpeg(argv[1], img) && WriteGif(argv[2], img) ? 0 : 1;
}
