#pragma once
// How the UPX stand-in marks a file it packed, shared with the tests that make
// or check such files. A packed file begins like a Windows program whose first
// section carries UPX's own name ("UPX0"), which is how UPX recognises a file
// it packed already; the stand-in's mark, the level and the mixed bytes follow.
#include <cstdint>
#include <string>

namespace standin {

inline constexpr std::size_t kSectionTable = 0x58;  // the one section header
inline constexpr std::size_t kMarkAt = 0x80;        // the stand-in's mark
inline constexpr char kMark[8] = {'Z', 'S', 'T', 'N', 'D', 'P', 'K', 0x1A};
inline constexpr std::size_t kLevelAt = kMarkAt + sizeof kMark;
inline constexpr std::size_t kPayloadAt = kLevelAt + 1;

// A program header with one section named "UPX0": "MZ", the new header's
// offset at 0x3C, "PE\0\0", a file header for one section without an optional
// header, then the section header.
inline std::string PackedHeader() {
    std::string head(kMarkAt, '\0');
    head[0] = 'M', head[1] = 'Z';
    head[0x3C] = 0x40;
    head.replace(0x40, 4, std::string("PE\0\0", 4));
    head[0x44] = static_cast<char>(0x64), head[0x45] = static_cast<char>(0x86);  // x64
    head[0x46] = 1;                                                               // one section
    head[0x56] = 2;                                                               // executable
    head.replace(kSectionTable, 4, "UPX0");
    return head + std::string(kMark, sizeof kMark);
}

// Reversible, and never the identity.
inline char Mixed(char byte, std::size_t i, std::uint8_t level) {
    return static_cast<char>(static_cast<std::uint8_t>(byte) ^ static_cast<std::uint8_t>((i * 31 + 7) ^ (level * 17)));
}

inline std::string Pack(const std::string& plain, std::uint8_t level) {
    std::string out = PackedHeader();
    out.push_back(static_cast<char>(level));
    for (std::size_t i = 0; i < plain.size(); ++i) out.push_back(Mixed(plain[i], i, level));
    return out;
}

// Packed as UPX sees it: the first section's name begins with "UPX".
inline bool IsPacked(const std::string& bytes) {
    return bytes.size() >= kPayloadAt && bytes.compare(0, 2, "MZ") == 0 &&
           bytes.compare(kSectionTable, 3, "UPX") == 0;
}

// Only for what IsPacked accepts with the stand-in's own mark; else empty.
inline std::string Unpack(const std::string& packed) {
    if (!IsPacked(packed) || packed.compare(kMarkAt, sizeof kMark, std::string(kMark, sizeof kMark)) != 0) return {};
    const auto level = static_cast<std::uint8_t>(packed[kLevelAt]);
    std::string out;
    for (std::size_t i = kPayloadAt; i < packed.size(); ++i) out.push_back(Mixed(packed[i], i - kPayloadAt, level));
    return out;
}

}  // namespace standin
