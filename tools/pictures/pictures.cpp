// Build-time tool: turns the text drawings of resources/pictures.txt into
// 24-bit BMP files, one per picture, named after it.
// Usage: pictures IN.txt OUTDIR
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

const std::map<char, Rgb> kColours = {
    {'m', {255, 0, 255}}, {'.', {192, 192, 192}}, {'-', {128, 128, 128}}, {'w', {255, 255, 255}},
    {'k', {0, 0, 0}},     {'y', {255, 216, 96}},  {'o', {192, 144, 32}},  {'G', {0, 176, 0}},
    {'g', {0, 96, 0}},    {'b', {0, 64, 192}},    {'B', {0, 32, 128}},
};

void Put16(std::vector<std::uint8_t>& o, std::uint32_t v) {
    o.push_back(static_cast<std::uint8_t>(v));
    o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

bool Write(const std::string& path, int w, int h, const std::vector<std::string>& rows) {
    const int stride = (w * 3 + 3) / 4 * 4;
    const auto imageSize = static_cast<std::uint32_t>(stride * h);
    std::vector<std::uint8_t> o;
    o.push_back('B'), o.push_back('M');
    Put32(o, 54 + imageSize), Put32(o, 0), Put32(o, 54);
    Put32(o, 40), Put32(o, static_cast<std::uint32_t>(w)), Put32(o, static_cast<std::uint32_t>(h));
    Put16(o, 1), Put16(o, 24), Put32(o, 0), Put32(o, imageSize);
    Put32(o, 3780), Put32(o, 3780), Put32(o, 0), Put32(o, 0);
    for (int y = h - 1; y >= 0; --y) {  // bottom-up rows
        for (int x = 0; x < w; ++x) {
            const auto c = kColours.find(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
            if (c == kColours.end()) return false;
            o.push_back(c->second.b), o.push_back(c->second.g), o.push_back(c->second.r);
        }
        for (int pad = w * 3; pad < stride; ++pad) o.push_back(0);
    }
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(o.data()), static_cast<std::streamsize>(o.size()));
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: pictures IN.txt OUTDIR\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::string line, name;
    int w = 0, h = 0, count = 0;
    std::vector<std::string> rows;
    auto finish = [&]() -> bool {
        if (name.empty()) return true;
        if (static_cast<int>(rows.size()) != h) {
            std::cerr << name << ": " << rows.size() << " rows, expected " << h << "\n";
            return false;
        }
        if (!Write(std::string(argv[2]) + "/" + name + ".bmp", w, h, rows)) {
            std::cerr << name << ": unknown colour letter or write failure\n";
            return false;
        }
        ++count;
        return true;
    };
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("picture ", 0) == 0) {
            if (!finish()) return 1;
            std::istringstream words(line.substr(8));
            words >> name >> w >> h;
            rows.clear();
            continue;
        }
        if (static_cast<int>(line.size()) != w) {
            std::cerr << name << ": row of " << line.size() << " letters, expected " << w << "\n";
            return 1;
        }
        rows.push_back(line);
    }
    if (!finish()) return 1;
    return count > 0 ? 0 : 1;
}
