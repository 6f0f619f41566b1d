#include "framework/gif_decoder.h"

#include <array>
#include <cstring>

namespace zandrel {
namespace {

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
    bool Has(std::size_t n) const { return pos_ + n <= b_.size(); }
    std::uint8_t U8() { return Has(1) ? b_[pos_++] : (ok_ = false, 0); }
    int U16() {
        const int lo = U8();
        return lo | (U8() << 8);
    }
    void Skip(std::size_t n) { Has(n) ? void(pos_ += n) : void(ok_ = false); }
    bool Ok() const { return ok_; }

private:
    std::span<const std::uint8_t> b_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Reads the image's data sub-blocks into one run of bytes.
std::vector<std::uint8_t> SubBlocks(Reader& r) {
    std::vector<std::uint8_t> data;
    for (int n = r.U8(); n > 0 && r.Ok(); n = r.U8())
        for (int i = 0; i < n; ++i) data.push_back(r.U8());
    return data;
}

// LZW codes to colour indexes; false on a broken stream.
bool Lzw(const std::vector<std::uint8_t>& data, int minCode, std::size_t pixels, std::vector<std::uint8_t>& out) {
    if (minCode < 2 || minCode > 8) return false;
    const int clear = 1 << minCode, end = clear + 1;
    std::array<std::uint16_t, 4096> prefix{};
    std::array<std::uint8_t, 4096> suffix{}, first{};
    std::array<std::uint16_t, 4096> length{};
    for (int i = 0; i < clear; ++i) suffix[static_cast<std::size_t>(i)] = first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i), length[static_cast<std::size_t>(i)] = 1;
    int width = minCode + 1, next = end + 1, previous = -1;
    std::uint32_t bits = 0;
    int count = 0;
    std::size_t at = 0;
    std::vector<std::uint8_t> run;
    while (out.size() < pixels) {
        while (count < width) {
            if (at >= data.size()) return out.size() == pixels;
            bits |= static_cast<std::uint32_t>(data[at++]) << count;
            count += 8;
        }
        const int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        count -= width;
        if (code == clear) {
            width = minCode + 1, next = end + 1, previous = -1;
            continue;
        }
        if (code == end) break;
        int entry = code;
        std::uint8_t firstOfCode;
        if (code < next && (code < clear || code > end)) {
            firstOfCode = first[static_cast<std::size_t>(code)];
        } else if (code == next && previous >= 0) {
            firstOfCode = first[static_cast<std::size_t>(previous)];
        } else {
            return false;
        }
        if (previous >= 0 && next < 4096) {
            prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(previous);
            suffix[static_cast<std::size_t>(next)] = firstOfCode;
            first[static_cast<std::size_t>(next)] = first[static_cast<std::size_t>(previous)];
            length[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(length[static_cast<std::size_t>(previous)] + 1);
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
        // Write the entry's string.
        run.resize(length[static_cast<std::size_t>(entry)]);
        for (std::size_t i = run.size(); i-- > 0;) {
            run[i] = suffix[static_cast<std::size_t>(entry)];
            entry = prefix[static_cast<std::size_t>(entry)];
        }
        for (std::uint8_t v : run)
            if (out.size() < pixels) out.push_back(v);
        previous = code;
    }
    return out.size() == pixels;
}

}  // namespace

std::optional<RgbImage> DecodeGif(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 13 || (std::memcmp(bytes.data(), "GIF87a", 6) != 0 && std::memcmp(bytes.data(), "GIF89a", 6) != 0))
        return std::nullopt;
    Reader r(bytes);
    r.Skip(6);
    r.U16(), r.U16();
    const int flags = r.U8();
    r.U8(), r.U8();
    std::vector<std::uint8_t> palette;
    if (flags & 0x80) {
        const std::size_t n = 3u << ((flags & 7) + 1);
        for (std::size_t i = 0; i < n; ++i) palette.push_back(r.U8());
    }
    while (r.Ok()) {
        const int kind = r.U8();
        if (kind == '!') {  // an extension: its label, then sub-blocks
            r.U8();
            SubBlocks(r);
            continue;
        }
        if (kind != ',') return std::nullopt;
        r.U16(), r.U16();
        RgbImage image;
        image.width = r.U16();
        image.height = r.U16();
        const int imageFlags = r.U8();
        if (imageFlags & 0x80) {
            palette.clear();
            const std::size_t n = 3u << ((imageFlags & 7) + 1);
            for (std::size_t i = 0; i < n; ++i) palette.push_back(r.U8());
        }
        const int minCode = r.U8();
        const auto data = SubBlocks(r);
        if (!r.Ok() || image.width <= 0 || image.height <= 0 || image.width > 16384 || image.height > 16384)
            return std::nullopt;
        const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
        std::vector<std::uint8_t> indexes;
        if (!Lzw(data, minCode, pixels, indexes)) return std::nullopt;
        // Interlaced images come in four passes of rows.
        std::vector<int> rows;
        if (imageFlags & 0x40) {
            for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                for (int y = start; y < image.height; y += step) rows.push_back(y);
        } else {
            for (int y = 0; y < image.height; ++y) rows.push_back(y);
        }
        image.rgb.assign(pixels * 3, 0);
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::size_t row = static_cast<std::size_t>(rows[i / static_cast<std::size_t>(image.width)]);
            const std::size_t at = (row * static_cast<std::size_t>(image.width) + i % static_cast<std::size_t>(image.width)) * 3;
            const std::size_t p = static_cast<std::size_t>(indexes[i]) * 3;
            if (p + 2 < palette.size()) {
                image.rgb[at] = palette[p], image.rgb[at + 1] = palette[p + 1], image.rgb[at + 2] = palette[p + 2];
            }
        }
        return image;
    }
    return std::nullopt;
}

}  // namespace zandrel
