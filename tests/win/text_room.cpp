#include "text_room.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>

#include "test_support.h"
#include "widgets/Label3D.h"

namespace zandrel::test {
namespace {

struct Extent {
    int cx = 0, cy = 0;
};

// A text and the room its control gives it, in the control's client coordinates.
struct TextNeed {
    std::wstring text;
    Extent needed, room;
    RECT band{};            // where the text stands (a group box's caption); empty: the whole control
    bool widthFree = false;  // shortened on purpose (an ellipsis style): only its height counts
};

std::wstring ClassOf(HWND h) {
    wchar_t name[64]{};
    GetClassNameW(h, name, 64);
    return name;
}

LONG Style(HWND h) { return GetWindowLongW(h, GWL_STYLE); }

// Visible once `top` shows: the control and each parent below `top` carry WS_VISIBLE.
bool ShownWith(HWND h, HWND top) {
    for (; h && h != top; h = GetParent(h))
        if (!(Style(h) & WS_VISIBLE)) return false;
    return h == top;
}

HFONT FontOf(HWND control) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

// What DrawText takes for `text` in `font`; with DT_WORDBREAK it wraps at `wrapWidth`
// (a word wider than that makes the answer wider).
Extent Measure(HFONT font, const std::wstring& text, UINT flags, int wrapWidth = 0) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, wrapWidth, 0};
    DrawTextW(dc, text.c_str(), -1, &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
}

int AverageCharWidth(HFONT font) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmAveCharWidth;
}

Extent ClientExtent(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    return {r.right, r.bottom};
}

std::optional<TextNeed> StaticNeed(HWND h) {
    const LONG style = Style(h);
    const LONG type = style & SS_TYPEMASK;
    const bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
    if (!wraps && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE) return std::nullopt;  // pictures, frames
    TextNeed need;
    need.text = WindowText(h);
    // A text shortened with an ellipsis stays on one line.
    need.widthFree = (style & SS_ELLIPSISMASK) != 0;
    const UINT flags = DT_EXPANDTABS | (style & SS_NOPREFIX ? DT_NOPREFIX : 0u) |
                       (wraps && !need.widthFree ? DT_WORDBREAK : 0u);
    need.room = ClientExtent(h);
    need.needed = Measure(FontOf(h), need.text, flags, need.room.cx);
    return need;
}

std::optional<TextNeed> ButtonNeed(HWND h) {
    const LONG style = Style(h);
    if (style & (BS_ICON | BS_BITMAP)) return std::nullopt;
    const LONG type = style & BS_TYPEMASK;
    const HFONT font = FontOf(h);
    const UINT dpi = GetDpiForWindow(h);
    TextNeed need;
    need.text = WindowText(h);
    const UINT flags = BS_MULTILINE & style ? DT_WORDBREAK : DT_SINGLELINE;
    const Extent client = ClientExtent(h);
    switch (type) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: {
            // The frame and the focus rectangle inside it.
            const int inset = GetSystemMetricsForDpi(SM_CXEDGE, dpi) + 1;
            need.room = {client.cx - 2 * inset, client.cy - 2 * inset};
            break;
        }
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: {
            if (style & BS_PUSHLIKE) {
                const int inset = GetSystemMetricsForDpi(SM_CXEDGE, dpi) + 1;
                need.room = {client.cx - 2 * inset, client.cy - 2 * inset};
                break;
            }
            // The box or circle, then a gap of half a character.
            const int mark = GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi);
            need.room = {client.cx - mark - AverageCharWidth(font) / 2 - 1, client.cy};
            break;
        }
        case BS_GROUPBOX: {
            // The caption stands on the frame's top line, indented from both ends.
            const int indent = AverageCharWidth(font);
            need.room = {client.cx - 2 * indent, client.cy};
            need.needed = Measure(font, need.text, flags);
            need.band = {indent, 0, indent + need.needed.cx, need.needed.cy};
            return need;
        }
        default:
            return std::nullopt;  // drawn by its owner
    }
    need.needed = Measure(font, need.text, flags, need.room.cx);
    return need;
}

std::optional<TextNeed> Label3DNeed(HWND h) {
    auto* label = dynamic_cast<TLabel3D*>(reinterpret_cast<Window*>(GetWindowLongPtrW(h, GWLP_USERDATA)));
    if (!label) return std::nullopt;
    TextNeed need;
    need.text = label->Caption();
    need.room = ClientExtent(h);
    const UINT flags = DT_EXPANDTABS | (label->ShowAccelChar() ? 0u : DT_NOPREFIX) |
                       (label->WordWrap() ? DT_WORDBREAK : 0u);
    Extent text = Measure(FontOf(h), need.text, flags, need.room.cx);
    if (label->Escapement() != 0) {
        const Offset turned = TurnedTextExtent(label->Escapement(), text.cx, text.cy);
        text = {turned.dx, turned.dy};
    }
    // The raised, recessed or shadow copies reach past the text by their offsets.
    int right = 0, below = 0, left = 0, above = 0;
    for (const auto& copy : TextCopies(label->TextStyle(), label->Shift())) {
        right = std::max(right, copy.offset.dx), below = std::max(below, copy.offset.dy);
        left = std::max(left, -copy.offset.dx), above = std::max(above, -copy.offset.dy);
    }
    need.needed = {text.cx + left + right, text.cy + above + below};
    need.widthFree = label->EllipsesStyle() != TEllipsesStyle::esNone;
    return need;
}

// The closed field of a drop-down list shows the chosen entry: the widest must fit.
std::optional<TextNeed> ComboNeed(HWND h) {
    const LONG style = Style(h);
    if ((style & 3) != CBS_DROPDOWNLIST || (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE))) return std::nullopt;
    const UINT dpi = GetDpiForWindow(h);
    const Extent client = ClientExtent(h);
    TextNeed need;
    need.room = {client.cx - GetSystemMetricsForDpi(SM_CXVSCROLL, dpi) - 2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi) - 2,
                 client.cy};
    const int count = static_cast<int>(SendMessageW(h, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(h, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(SendMessageW(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        const Extent e = Measure(FontOf(h), item, DT_SINGLELINE | DT_NOPREFIX);
        if (e.cx > need.needed.cx) need.text = item, need.needed = e;
    }
    return need;
}

std::optional<TextNeed> NeedOf(HWND h) {
    const auto kind = ClassOf(h);
    std::optional<TextNeed> need;
    if (_wcsicmp(kind.c_str(), L"Static") == 0) need = StaticNeed(h);
    else if (_wcsicmp(kind.c_str(), L"Button") == 0) need = ButtonNeed(h);
    else if (_wcsicmp(kind.c_str(), L"ComboBox") == 0) need = ComboNeed(h);
    else if (kind == L"ZandrelLabel3D") need = Label3DNeed(h);
    if (!need || need->text.empty()) return std::nullopt;
    return need;
}

// The title against the caption bar: the window's width less its frame, its icon and its buttons.
std::optional<TextNeed> TitleNeed(HWND top) {
    const LONG style = Style(top), ex = GetWindowLongW(top, GWL_EXSTYLE);
    if ((style & WS_CAPTION) != WS_CAPTION) return std::nullopt;
    TextNeed need;
    need.text = WindowText(top);
    if (need.text.empty()) return std::nullopt;
    const UINT dpi = GetDpiForWindow(top);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    const bool tool = (ex & WS_EX_TOOLWINDOW) != 0;
    const UniqueFont font(CreateFontIndirectW(tool ? &metrics.lfSmCaptionFont : &metrics.lfCaptionFont));
    need.needed = Measure(font.get(), need.text, DT_SINGLELINE | DT_NOPREFIX);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectExForDpi(&frame, style, FALSE, ex, dpi);
    RECT window;
    GetWindowRect(top, &window);
    const int button = tool ? metrics.iSmCaptionWidth : metrics.iCaptionWidth;
    int buttons = style & WS_SYSMENU ? 1 : 0;
    if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) buttons += 2;
    const bool icon = (style & WS_SYSMENU) && !tool;
    const int edges = 2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    need.room = {(window.right - window.left) + frame.left - frame.right - (buttons + (icon ? 1 : 0)) * button - edges,
                 tool ? metrics.iSmCaptionHeight : metrics.iCaptionHeight};
    return need;
}

std::wstring Describe(HWND h, const TextNeed& need) {
    return L"'" + need.text + L"' (" + ClassOf(h) + L") needs " + std::to_wstring(need.needed.cx) + L"x" +
           std::to_wstring(need.needed.cy) + L", has " + std::to_wstring(need.room.cx) + L"x" +
           std::to_wstring(need.room.cy);
}

RECT RectInParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool IsGroupBox(HWND h) {
    return _wcsicmp(ClassOf(h).c_str(), L"Button") == 0 && (Style(h) & BS_TYPEMASK) == BS_GROUPBOX;
}

// Where the text of `h` must not be covered: the caption band of a group box, else the control.
RECT TextArea(HWND h, const TextNeed& need) {
    RECT area = RectInParent(h);
    if (!IsRectEmpty(&need.band)) {
        RECT band = need.band;
        OffsetRect(&band, area.left, area.top);
        area = band;
    }
    return area;
}

struct Walk {
    HWND top;
    std::vector<HWND> shown;
};

BOOL CALLBACK Collect(HWND h, LPARAM data) {
    auto* walk = reinterpret_cast<Walk*>(data);
    if (ShownWith(h, walk->top)) walk->shown.push_back(h);
    return TRUE;
}

void CheckPlace(HWND h, const TextNeed& need, const std::vector<HWND>& shown, std::vector<std::wstring>& cut) {
    const RECT area = TextArea(h, need);
    RECT parent;
    GetClientRect(GetParent(h), &parent);
    RECT inside;
    IntersectRect(&inside, &area, &parent);
    if (!EqualRect(&inside, &area)) cut.push_back(Describe(h, need) + L": reaches past its parent");
    for (const HWND other : shown) {
        // Group boxes enclose their controls; their captions are checked as texts of their own.
        if (other == h || GetParent(other) != GetParent(h) || IsGroupBox(other)) continue;
        RECT otherArea = RectInParent(other), overlap;
        if (IntersectRect(&overlap, &area, &otherArea))
            cut.push_back(Describe(h, need) + L": covered by a " + ClassOf(other) + L" '" + WindowText(other) + L"'");
    }
}

}  // namespace

std::vector<std::wstring> CutTexts(HWND top) {
    std::vector<std::wstring> cut;
    if (const auto title = TitleNeed(top); title && title->needed.cx > title->room.cx)
        cut.push_back(L"title " + Describe(top, *title));
    Walk walk{top, {}};
    EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&walk));
    for (const HWND h : walk.shown) {
        const auto need = NeedOf(h);
        if (!need) continue;
        if ((!need->widthFree && need->needed.cx > need->room.cx) || need->needed.cy > need->room.cy)
            cut.push_back(Describe(h, *need));
        CheckPlace(h, *need, walk.shown, cut);
    }
    return cut;
}

std::string CutTextsReport(HWND top, const char* window) {
    std::string report = std::string(window) + " at " + std::to_string(GetDpiForWindow(top)) + " dpi:";
    for (const auto& line : CutTexts(top)) report += "\n  " + Narrow(line);
    return report;
}

}  // namespace zandrel::test
