#pragma once
// The 3D label's arithmetic: angle normalisation, where turned text starts and
// how much room it takes, the text-drawing flags, and the 3D copies. Portable.
#include <cstdint>
#include <vector>

namespace zandrel {

enum class TTextStyle : std::uint8_t { tsNone, tsRaised, tsLightRaised, tsRecessed, tsHeavyRecessed, tsShadow };
enum class TLabelStyle : std::uint8_t { lsDefault, lsWWWAddress, lsEMailAddress };
enum class TBorderType : std::uint8_t { btDefault, btRecessed, btRaised };
enum class TEllipsesStyle : std::uint8_t { esNone, esEnd, esPath };
enum class TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };

// Negative angles come up into 0..359, angles above 360 down into 1..360.
int NormaliseEscapement(int degrees);

struct Offset {
    int dx = 0, dy = 0;
    bool operator==(const Offset&) const = default;
};
// Where turned text of width w and height h starts, relative to the rectangle's corner.
Offset TurnedTextOffset(int angle, int width, int height);
// The room turned text takes: width and height.
Offset TurnedTextExtent(int angle, int width, int height);

struct DrawFlagsInput {
    TAlignment alignment = TAlignment::taLeftJustify;
    bool wordWrap = false;
    bool showAccelChar = true;
    TEllipsesStyle ellipses = TEllipsesStyle::esNone;
    TTextLayout layout = TTextLayout::tlTop;
    int escapement = 0;
};
// The DrawText flags (DT_ values) for the caption.
unsigned DrawFlags(const DrawFlagsInput& in);

enum class CopyColour : std::uint8_t { Shadow, Highlight };
struct TextCopy {
    Offset offset;
    CopyColour colour;
    bool operator==(const TextCopy&) const = default;
};
// The 3D copies drawn under the caption, in drawing order.
std::vector<TextCopy> TextCopies(TTextStyle style, int shift);

}  // namespace zandrel
