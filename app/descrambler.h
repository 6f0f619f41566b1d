#pragma once
// Turns the program's stored byte arrays back into its texts. The arrays hold
// one byte per character in reverse order; see tools/scramble for the encoder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zandrel {

struct ScrambleVariant {
    std::uint32_t offset;
    std::uint32_t shift;
    std::uint8_t mask;
};

// Variant 2: the shift is the offset itself; the mask adds one more constant.
inline constexpr std::uint32_t kOffset2 = 1;
inline constexpr std::uint32_t kAddend2 = 0x35;
inline constexpr ScrambleVariant kVariant2{
    kOffset2, kOffset2, static_cast<std::uint8_t>(kOffset2 + kOffset2 + kAddend2)};

// Variant 4: the shift is the offset less a constant; the mask is their sum.
inline constexpr std::uint32_t kOffset4 = 9;
inline constexpr std::uint32_t kShiftLess4 = 9;
inline constexpr ScrambleVariant kVariant4{
    kOffset4, kOffset4 - kShiftLess4,
    static_cast<std::uint8_t>(kOffset4 + (kOffset4 - kShiftLess4))};

// One byte through the decoding steps (subtract with wrap-around, shift, mask).
constexpr char DescrambleByte(const ScrambleVariant& v, std::uint8_t b) {
    const std::uint32_t value = (static_cast<std::uint32_t>(b) - v.offset) >> v.shift;
    return static_cast<char>(static_cast<std::uint8_t>(value & 0xFFu) ^ v.mask);
}

std::string Descramble(const ScrambleVariant& v, std::span<const std::uint8_t> bytes);

inline std::string BytsToEncStr2(std::span<const std::uint8_t> bytes) {
    return Descramble(kVariant2, bytes);
}
inline std::string BytsToEncStr4(std::span<const std::uint8_t> bytes) {
    return Descramble(kVariant4, bytes);
}

// The decoded texts are 8-bit (Latin-1); the program works in UTF-16.
std::wstring Widen8(const std::string& text);

}  // namespace zandrel
