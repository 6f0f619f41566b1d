// Build-time tool: writes Process.avi, the wait window's animation: a ring of
// eight dots with a bright one going round. Uncompressed 8-bit frames with a
// palette, no sound: the kind of clip the animation control plays.
// Usage: avi_writer OUT.avi
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 48, kFrames = 8, kFps = 8;

struct Out {
    std::vector<std::uint8_t> bytes;
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v)), bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void Tag(const char* t) { bytes.insert(bytes.end(), t, t + 4); }
    std::size_t Begin(const char* tag) {  // a chunk whose size is filled in by End
        Tag(tag);
        U32(0);
        return bytes.size();
    }
    void End(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(bytes.size() - start);
        for (int i = 0; i < 4; ++i) bytes[start - 4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        if (bytes.size() % 2) bytes.push_back(0);
    }
};

std::vector<std::uint8_t> Frame(int n) {
    std::vector<std::uint8_t> pixels(kSize * kSize, 0);  // colour 0: the background (transparent)
    for (int dot = 0; dot < 8; ++dot) {
        const double angle = dot * 3.14159265358979 / 4;
        const double cx = kSize / 2.0 + std::cos(angle) * 16, cy = kSize / 2.0 - std::sin(angle) * 16;
        const int age = (n - dot + 8) % 8;  // 0: the bright dot, then fading
        const std::uint8_t colour = static_cast<std::uint8_t>(age == 0 ? 1 : age == 1 ? 2 : age == 2 ? 3 : 4);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= 4.6 * 4.6)
                    pixels[static_cast<std::size_t>((kSize - 1 - y) * kSize + x)] = colour;  // bottom-up rows
    }
    return pixels;
}

// The header list: the clip's header, then its one video stream's header and format.
void WriteHeaders(Out& o) {
    const std::uint32_t frameBytes = kSize * kSize;
    const auto hdrl = o.Begin("LIST");
    o.Tag("hdrl");
    const auto avih = o.Begin("avih");
    o.U32(1000000 / kFps);       // microseconds per frame
    o.U32(frameBytes * kFps);    // max bytes per second
    o.U32(0);                    // padding granularity
    o.U32(0x10);                 // has an index
    o.U32(kFrames);
    o.U32(0);                    // initial frames
    o.U32(1);                    // streams
    o.U32(frameBytes);           // suggested buffer size
    o.U32(kSize), o.U32(kSize);
    for (int i = 0; i < 4; ++i) o.U32(0);
    o.End(avih);
    const auto strl = o.Begin("LIST");
    o.Tag("strl");
    const auto strh = o.Begin("strh");
    o.Tag("vids");
    o.Tag("DIB ");
    o.U32(0);                    // flags
    o.U16(0), o.U16(0);          // priority, language
    o.U32(0);                    // initial frames
    o.U32(1), o.U32(kFps);       // scale, rate
    o.U32(0), o.U32(kFrames);    // start, length
    o.U32(frameBytes);           // suggested buffer size
    o.U32(0xFFFFFFFF);           // quality
    o.U32(0);                    // sample size
    o.U16(0), o.U16(0), o.U16(kSize), o.U16(kSize);
    o.End(strh);
    const auto strf = o.Begin("strf");
    o.U32(40), o.U32(kSize), o.U32(kSize);
    o.U16(1), o.U16(8);          // planes, bits
    o.U32(0);                    // BI_RGB
    o.U32(frameBytes);
    o.U32(0), o.U32(0);
    o.U32(256), o.U32(5);        // colours used, important
    const std::uint8_t palette[5][3] = {{0xF0, 0xF0, 0xF0}, {0x1D, 0x5F, 0xAE}, {0x5B, 0x8C, 0xC8},
                                        {0x9C, 0xB9, 0xDD}, {0xC8, 0xC8, 0xC8}};  // RGB
    for (int i = 0; i < 256; ++i) {
        const auto* c = palette[i < 5 ? i : 0];
        o.bytes.push_back(c[2]), o.bytes.push_back(c[1]), o.bytes.push_back(c[0]), o.bytes.push_back(0);  // BGRX
    }
    o.End(strf);
    o.End(strl);
    o.End(hdrl);
}

// The frames, then the index of where each begins within the frame list.
void WriteFramesAndIndex(Out& o) {
    const auto movi = o.Begin("LIST");
    const std::size_t moviTag = o.bytes.size();
    o.Tag("movi");
    std::vector<std::uint32_t> offsets;
    for (int n = 0; n < kFrames; ++n) {
        offsets.push_back(static_cast<std::uint32_t>(o.bytes.size() - moviTag));
        const auto chunk = o.Begin("00db");
        const auto pixels = Frame(n);
        o.bytes.insert(o.bytes.end(), pixels.begin(), pixels.end());
        o.End(chunk);
    }
    o.End(movi);
    const auto idx = o.Begin("idx1");
    for (const auto offset : offsets) {
        o.Tag("00db");
        o.U32(0x10);  // key frame
        o.U32(offset);
        o.U32(kSize * kSize);
    }
    o.End(idx);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: avi_writer OUT.avi\n";
        return 2;
    }
    Out o;
    const auto riff = o.Begin("RIFF");
    o.Tag("AVI ");
    WriteHeaders(o);
    WriteFramesAndIndex(o);
    o.End(riff);

    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(o.bytes.data()), static_cast<std::streamsize>(o.bytes.size()));
    if (!out) {
        std::cerr << "avi_writer: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
