#include "widgets/ArrowButton.h"

#include <commctrl.h>

#include <algorithm>

namespace zandrel {
namespace {

constexpr const wchar_t* kClass = L"ZandrelArrowButton";
// A button of a group tells the others of the same parent that it went down.
const UINT kButtonPressed = RegisterWindowMessageW(L"ZandrelArrowButtonPressed");

// The checkerboard of the stuck-down state, shared by every button.
int g_buttons = 0;
HBRUSH g_pattern = nullptr;
HBITMAP g_patternBitmap = nullptr;

HBRUSH Pattern() {
    if (!g_pattern) {
        const HDC screen = GetDC(nullptr);
        const HDC dc = CreateCompatibleDC(screen);
        g_patternBitmap = CreateCompatibleBitmap(screen, 8, 8);
        const HGDIOBJ old = SelectObject(dc, g_patternBitmap);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                SetPixel(dc, x, y, GetSysColor((x % 2) == (y % 2) ? COLOR_BTNHIGHLIGHT : COLOR_BTNFACE));
        SelectObject(dc, old);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        g_pattern = CreatePatternBrush(g_patternBitmap);
    }
    return g_pattern;
}

}  // namespace

TJvArrowButton::~TJvArrowButton() {
    Destroy();
    if (images_) ImageList_Destroy(images_);
    if (glyph_) DeleteObject(glyph_);
    if (g_buttons > 0 && --g_buttons == 0 && g_pattern) {
        DeleteObject(g_pattern);
        DeleteObject(g_patternBitmap);
        g_pattern = nullptr;
        g_patternBitmap = nullptr;
    }
}

void TJvArrowButton::Create(HWND parent, DesignRect rect, const Scaler& scale) {
    RegisterClassOnce(kClass, CS_DBLCLKS);
    const RECT r = scale.Rect(rect.x, rect.y, rect.w, rect.h);
    CreateHandle(kClass, 0, WS_CHILD | WS_VISIBLE, L"", r.left, r.top, r.right - r.left, r.bottom - r.top, parent);
    ++g_buttons;
}

void TJvArrowButton::Place(const Scaler&, HFONT font) {
    SetFont(font);
    hint_.SetFont(font);
}

int TJvArrowButton::Width() const {
    RECT r;
    GetClientRect(Handle(), &r);
    return r.right;
}

int TJvArrowButton::Height() const {
    RECT r;
    GetClientRect(Handle(), &r);
    return r.bottom;
}

void TJvArrowButton::RepaintNow() {
    if (!Handle()) return;
    InvalidateRect(Handle(), nullptr, TRUE);
    UpdateWindow(Handle());
}

void TJvArrowButton::Invalidate() {
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// Properties

void TJvArrowButton::SetAllowAllUp(bool value) {
    if (value == allowAllUp_) return;
    allowAllUp_ = value;
    AnnounceToGroup();
}

void TJvArrowButton::SetArrowWidth(int value) {
    if (value == arrowWidth_) return;
    arrowWidth_ = value;
    RepaintNow();
}

void TJvArrowButton::SetGroupIndex(int value) {
    if (value == groupIndex_) return;
    groupIndex_ = value;
    AnnounceToGroup();
}

void TJvArrowButton::SetDown(bool value) {
    if (groupIndex_ == 0) value = false;
    if (value == down_ || (down_ && !allowAllUp_)) return;
    down_ = value;
    if (value) {
        if (face_ == fsUp) Invalidate();
        face_ = fsExclusive;
        AnnounceToGroup();
    } else {
        face_ = fsUp;
        RepaintNow();
    }
}

void TJvArrowButton::SetCaption(const std::wstring& caption) {
    caption_ = caption;
    Invalidate();
}

bool TJvArrowButton::Enabled() const { return IsWindowEnabled(Handle()) != FALSE; }

void TJvArrowButton::SetEnabled(bool enabled) { EnableWindow(Handle(), enabled ? TRUE : FALSE); }

void TJvArrowButton::SetFlat(bool flat) {
    flat_ = flat;
    Invalidate();
}

void TJvArrowButton::SetFont(HFONT font) {
    font_ = font;
    if (!fillFont_) fillFont_ = font;
    Invalidate();
}

void TJvArrowButton::SetFillFont(HFONT font) {
    fillFont_ = font;
    RepaintNow();
}

void TJvArrowButton::SetGlyph(HBITMAP strip) {
    if (glyph_) DeleteObject(glyph_);
    glyph_ = strip ? static_cast<HBITMAP>(CopyImage(strip, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)) : nullptr;
    RebuildImages();
    Invalidate();
}

void TJvArrowButton::SetLayout(TButtonLayout layout) {
    layout_ = layout;
    Invalidate();
}

void TJvArrowButton::SetMargin(int margin) {
    const int accepted = AcceptMargin(margin_, margin);
    if (accepted == margin_) return;
    margin_ = accepted;
    Invalidate();
}

void TJvArrowButton::SetNumGlyphs(int count) {
    numGlyphs_ = ClampNumGlyphs(count);
    RebuildImages();
    Invalidate();
}

void TJvArrowButton::SetSpacing(int spacing) {
    spacing_ = spacing;
    Invalidate();
}

void TJvArrowButton::SetHint(const std::wstring& hint) { hint_.Set(Handle(), hint); }

// The strip's images by face state; a single image gets its disabled look when drawn.
void TJvArrowButton::RebuildImages() {
    if (images_) ImageList_Destroy(images_);
    images_ = nullptr;
    if (!glyph_) return;
    BITMAP bm{};
    GetObjectW(glyph_, sizeof bm, &bm);
    const int w = bm.bmWidth / numGlyphs_;
    if (w <= 0) return;
    // The strip's bottom-left pixel is the transparent colour.
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, glyph_);
    const COLORREF transparent = GetPixel(dc, 0, bm.bmHeight - 1);
    SelectObject(dc, old);
    DeleteDC(dc);
    images_ = ImageList_Create(w, bm.bmHeight, ILC_COLOR24 | ILC_MASK, numGlyphs_, 0);
    ImageList_AddMasked(images_, glyph_, transparent);
}

// ---------------------------------------------------------------------------
// Group

void TJvArrowButton::AnnounceToGroup() {
    if (groupIndex_ == 0 || !Handle()) return;
    const HWND parent = GetParent(Handle());
    if (!parent) return;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (child != Handle()) SendMessageW(child, kButtonPressed, static_cast<WPARAM>(groupIndex_),
                                            reinterpret_cast<LPARAM>(this));
}

void TJvArrowButton::ButtonPressed(int group, TJvArrowButton* sender) {
    if (group != groupIndex_ || sender == this) return;
    if (sender->down_ && down_) {
        down_ = false;
        face_ = fsUp;
        Invalidate();
    }
    allowAllUp_ = sender->allowAllUp_;
}

// ---------------------------------------------------------------------------
// Mouse

void TJvArrowButton::Click() {
    if (OnClick) OnClick();
}

void TJvArrowButton::MouseDown(bool left, int x, int y) {
    if (!Enabled()) return;
    if (left) {
        SetCapture(Handle());
        leftDown_ = true;
    }
    arrowPressed_ = OnArrowPart(x, y, Width(), Height(), arrowWidth_);
    if (left) {
        face_ = down_ ? fsExclusive : fsDown;
        RepaintNow();
    }
    const bool dropped = arrowPressed_;
    if (DropDown && arrowPressed_) {
        POINT at{0, Height()};
        ClientToScreen(Handle(), &at);
        TrackPopupMenu(DropDown, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, at.x, at.y, 0,
                       GetAncestor(Handle(), GA_ROOT), nullptr);
        // The menu ate the press and its release: forget the mouse's queued messages and any
        // capture, and end the press here (however the menu closed), so the button comes up.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        if (const HWND capture = GetCapture(); capture && capture != Handle())
            SendMessageW(capture, WM_CANCELMODE, 0, 0);
        if (leftDown_) {
            leftDown_ = false;
            if (GetCapture() == Handle()) ReleaseCapture();
            MouseUp(-1, -1);
        }
    }
    if (dropped && OnDrop) OnDrop();
    arrowPressed_ = false;
    RepaintNow();
}

void TJvArrowButton::MouseUp(int x, int y) {
    if (!Enabled()) {
        face_ = fsUp;
        RepaintNow();
    }
    const bool click = CountsAsClick(x, y, Width(), Height(), arrowWidth_);
    if (groupIndex_ == 0) {
        face_ = fsUp;
        mouseInside_ = false;
        if (click) Invalidate();
    } else if (click) {
        SetDown(!down_);
        if (down_) RepaintNow();
    } else {
        if (down_) face_ = fsExclusive;
        RepaintNow();
    }
    if (click) Click();
    if (flat_ && Enabled()) CheckMouseInside();
}

void TJvArrowButton::CheckMouseInside() {
    POINT p;
    GetCursorPos(&p);
    const bool inside = WindowFromPoint(p) == Handle();
    if (inside != mouseInside_) {
        mouseInside_ = inside;
        if (inside) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
            TrackMouseEvent(&track);
        }
    }
    RepaintNow();
}

// ---------------------------------------------------------------------------
// Paint

void TJvArrowButton::Paint(HDC dc) {
    const bool enabled = Enabled();
    if (!enabled) {
        face_ = fsDisabled;
        wasDisabled_ = true;
    } else if (wasDisabled_ || face_ == fsDisabled) {
        face_ = down_ && groupIndex_ != 0 ? fsExclusive : fsUp;
        wasDisabled_ = false;
    }
    RECT client;
    GetClientRect(Handle(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SelectObject(dc, mouseInside_ && fillFont_ ? fillFont_ : font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));

    // Main part.
    RECT main{0, 0, client.right - arrowWidth_, client.bottom};
    int face = face_;
    if (arrowPressed_ && !down_) face = fsUp;
    const bool pressedFace = face == fsDown || face == fsExclusive;
    if (!flat_) {
        DrawFrameControl(dc, &main, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (pressedFace ? DFCS_PUSHED : 0));
    } else {
        if (pressedFace || (mouseInside_ && face != fsDisabled))
            DrawEdge(dc, &main, pressedFace ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        InflateRect(&main, -1, -1);
    }
    if (face == fsExclusive && !(flat_ && mouseInside_)) FillRect(dc, &main, Pattern());
    DrawGlyphAndCaption(dc, main, pressedFace ? 1 : 0);

    // Arrow part.
    RECT arrow{client.right - arrowWidth_, 0, client.right, client.bottom};
    const bool arrowDown = arrowPressed_ || (PressBoth && pressedFace);
    if (!flat_)
        DrawFrameControl(dc, &arrow, DFC_BUTTON, DFCS_BUTTONPUSH | (arrowDown ? DFCS_PUSHED : 0));
    else if (mouseInside_ && enabled)
        DrawEdge(dc, &arrow, arrowDown ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    const HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(enabled ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW));
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    for (const auto& line : ArrowLines(arrow.left, arrow.top, arrow.right, arrow.bottom, arrowDown, flat_)) {
        MoveToEx(dc, line.x0, line.y, nullptr);
        LineTo(dc, line.x1, line.y);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

void TJvArrowButton::DrawGlyphAndCaption(HDC dc, const RECT& r, int shift) {
    int gw = 0, gh = 0;
    if (images_) ImageList_GetIconSize(images_, &gw, &gh);
    SIZE text{0, 0};
    RECT measured{0, 0, 0, 0};
    if (!caption_.empty()) {
        DrawTextW(dc, caption_.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
        text = {measured.right, measured.bottom};
    }
    const auto p = PlaceGlyphAndText(r.right - r.left, r.bottom - r.top, gw, gh, text.cx, text.cy, layout_, margin_,
                                     spacing_);
    const int ox = r.left + shift, oy = r.top + shift;
    if (images_) {
        const int count = ImageList_GetImageCount(images_);
        int image = face_ < count ? face_ : 0;
        if (face_ == fsDown && numGlyphs_ < 3) image = 0;
        if (face_ == fsDisabled && count < 2) {
            // A single picture: embossed, as the system draws disabled pictures.
            const HICON icon = ImageList_GetIcon(images_, 0, ILD_NORMAL);
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, ox + p.glyphX, oy + p.glyphY, gw, gh,
                       DST_ICON | DSS_DISABLED);
            DestroyIcon(icon);
        } else {
            const bool transparent = flat_ || face_ == fsExclusive;
            ImageList_DrawEx(images_, image, dc, ox + p.glyphX, oy + p.glyphY, 0, 0,
                             transparent ? CLR_NONE : GetSysColor(COLOR_BTNFACE), CLR_NONE, ILD_NORMAL);
        }
    }
    if (!caption_.empty()) {
        SetBkMode(dc, TRANSPARENT);
        RECT bounds{ox + p.textX, oy + p.textY, ox + p.textX + text.cx, oy + p.textY + text.cy};
        if (face_ == fsDisabled) {
            OffsetRect(&bounds, 1, 1);
            SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextW(dc, caption_.c_str(), -1, &bounds, 0);
            OffsetRect(&bounds, -1, -1);
            SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
            DrawTextW(dc, caption_.c_str(), -1, &bounds, 0);
        } else {
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextW(dc, caption_.c_str(), -1, &bounds, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
}

// ---------------------------------------------------------------------------

LRESULT TJvArrowButton::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kButtonPressed) {
        ButtonPressed(static_cast<int>(wParam), reinterpret_cast<TJvArrowButton*>(lParam));
        return 0;
    }
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            MouseDown(msg == WM_LBUTTONDOWN, x, y);
            return 0;
        case WM_LBUTTONDBLCLK:
            MouseDown(true, x, y);
            if (down_ && OnDblClick) OnDblClick();
            return 0;
        case WM_LBUTTONUP:
            if (!leftDown_) return 0;
            leftDown_ = false;
            if (GetCapture() == Handle()) ReleaseCapture();
            MouseUp(x, y);
            return 0;
        case WM_CANCELMODE:
            // Capture taken away (a menu opened): the press ends outside the button.
            if (leftDown_) {
                leftDown_ = false;
                if (GetCapture() == Handle()) ReleaseCapture();
                MouseUp(-1, -1);
            }
            return 0;
        case WM_MOUSEMOVE:
            if (flat_ && Enabled() && !mouseInside_) {
                mouseInside_ = true;
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
                TrackMouseEvent(&track);
                RepaintNow();
            }
            return 0;
        case WM_MOUSELEAVE:
            if (flat_ && Enabled() && mouseInside_) {
                mouseInside_ = false;
                Invalidate();
            }
            return 0;
        case WM_ENABLE:
            CheckMouseInside();
            return 0;
        case WM_SYSCOLORCHANGE:
            RebuildImages();
            if (g_pattern) {
                DeleteObject(g_pattern);
                DeleteObject(g_patternBitmap);
                g_pattern = nullptr;
                g_patternBitmap = nullptr;
            }
            Invalidate();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            const HDC dc = BeginPaint(Handle(), &ps);
            Paint(dc);
            EndPaint(Handle(), &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        default:
            return Default(msg, wParam, lParam);
    }
}

}  // namespace zandrel
