#include "widgets/label3d_geometry.h"

#include <cmath>
#include <cstdlib>

namespace zandrel {
namespace {

constexpr double kPi = 3.14159265358979323846;
double R(double degrees) { return degrees * kPi / 180.0; }
int T(double x) { return static_cast<int>(std::trunc(x)); }

}  // namespace

int NormaliseEscapement(int degrees) {
    while (degrees < 0) degrees += 360;
    while (degrees > 360) degrees -= 360;
    return degrees;
}

Offset TurnedTextOffset(int a, int w, int h) {
    const double W = w, H = h;
    if (a <= 90) return {0, T(std::sin(R(a)) * W)};
    if (a <= 180) return {T(-std::cos(R(a)) * W), T(std::sin(R(a)) * W + std::cos(R(180 - a)) * H)};
    if (a <= 270) return {T(-std::cos(R(a)) * W + std::sin(R(a - 180)) * H), T(std::sin(R(270 - a)) * H)};
    return {T(std::sin(R(360 - a)) * H), 0};
}

Offset TurnedTextExtent(int a, int w, int h) {
    const double W = w, H = h;
    return {std::abs(T(std::cos(R(a)) * W)) + std::abs(T(std::sin(R(a)) * H)),
            std::abs(T(std::sin(R(a)) * W)) + std::abs(T(std::cos(R(a)) * H))};
}

unsigned DrawFlags(const DrawFlagsInput& in) {
    constexpr unsigned kCenter = 0x1, kRight = 0x2, kWordBreak = 0x10, kExpandTabs = 0x40, kNoPrefix = 0x800,
                       kPathEllipsis = 0x4000, kEndEllipsis = 0x8000, kVCenterSingle = 0x24, kBottomSingle = 0x28;
    unsigned flags = in.alignment == TAlignment::taRightJustify ? kRight
                     : in.alignment == TAlignment::taCenter     ? kCenter
                                                                : 0u;
    if (in.wordWrap) flags |= kWordBreak;
    flags |= kExpandTabs;
    if (!in.showAccelChar) flags |= kNoPrefix;
    if (in.ellipses == TEllipsesStyle::esEnd) flags |= kEndEllipsis;
    if (in.ellipses == TEllipsesStyle::esPath) flags |= kPathEllipsis;
    if (in.escapement == 0) {
        if (in.layout == TTextLayout::tlCenter) flags |= kVCenterSingle;
        if (in.layout == TTextLayout::tlBottom) flags |= kBottomSingle;
    }
    return flags;
}

std::vector<TextCopy> TextCopies(TTextStyle style, int shift) {
    using C = CopyColour;
    switch (style) {
        case TTextStyle::tsNone: return {};
        case TTextStyle::tsRaised: return {{{1, 1}, C::Shadow}};
        case TTextStyle::tsLightRaised: return {{{1, 1}, C::Shadow}, {{-1, -1}, C::Highlight}};
        case TTextStyle::tsRecessed: return {{{1, 1}, C::Highlight}};
        case TTextStyle::tsHeavyRecessed: return {{{1, 1}, C::Highlight}, {{-1, -1}, C::Shadow}};
        case TTextStyle::tsShadow: return {{{shift, shift}, C::Shadow}};
    }
    return {};
}

}  // namespace zandrel
