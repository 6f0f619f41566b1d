#include "app/descrambler.h"

namespace zandrel {

std::string Descramble(const ScrambleVariant& v, std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = bytes.size(); i-- > 0;) text.push_back(DescrambleByte(v, bytes[i]));
    return text;
}

std::wstring Widen8(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace zandrel
