#include "widgets/Label3D.h"

#include "framework/application.h"

namespace zandrel {

void TLabel3D::Create(HWND parent, DesignRect rect, const Scaler& scale) {
    RegisterClassOnce(L"ZandrelLabel3D", CS_DBLCLKS);
    design_ = rect;
    scale_ = scale;
    const RECT r = scale.Rect(rect.x, rect.y, rect.w, rect.h);
    CreateHandle(L"ZandrelLabel3D", 0, WS_CHILD | WS_VISIBLE, L"", r.left, r.top, r.right - r.left, r.bottom - r.top,
                 parent);
    RemakeFont();
}

void TLabel3D::Place(const Scaler& scale) {
    scale_ = scale;
    const RECT r = scale.Rect(design_.x, design_.y, design_.w, design_.h);
    SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RemakeFont();
}

void TLabel3D::RepaintNow() const {
    if (!Handle()) return;
    InvalidateRect(Handle(), nullptr, FALSE);
    UpdateWindow(Handle());
}

void TLabel3D::Invalidate() const {
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void TLabel3D::SetBorderType(TBorderType t) {
    if (t == borderType_) return;
    borderType_ = t;
    RepaintNow();
}

void TLabel3D::SetEscapement(int degrees) {
    if (degrees == escapement_) return;
    escapement_ = NormaliseEscapement(degrees);
    Invalidate();
}

void TLabel3D::SetTextStyle(TTextStyle s) {
    if (s == textStyle_) return;
    textStyle_ = s;
    Invalidate();
}

void TLabel3D::SetEllipsesStyle(TEllipsesStyle s) {
    if (s == ellipses_) return;
    if (s != TEllipsesStyle::esNone) autoSize_ = false;
    ellipses_ = s;
    Invalidate();
}

void TLabel3D::SetShift(int pixels) {
    if (pixels == shift_) return;
    shift_ = pixels;
    RepaintNow();
}

void TLabel3D::SetCaption(const std::wstring& caption) {
    SetWindowTextW(Handle(), caption.c_str());
    FitToText();
    Invalidate();
}

void TLabel3D::SetFont(const std::wstring& face, int designHeight, bool bold) {
    fontFace_ = face;
    fontHeight_ = designHeight;
    bold_ = bold;
    RemakeFont();
}

void TLabel3D::SetAutoSize(bool on) {
    autoSize_ = on;
    FitToText();
}

void TLabel3D::RemakeFont() {
    font_.reset(CreateFontW(-scale_(fontHeight_), 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, FALSE, underline_, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, fontFace_.c_str()));
    FitToText();
    Invalidate();
}

// The label base's automatic size, for text that is not turned.
void TLabel3D::FitToText() {
    if (!Handle() || !autoSize_ || escapement_ != 0) return;
    const HDC dc = GetDC(Handle());
    const HGDIOBJ old = SelectObject(dc, font_.get());
    RECT r{0, 0, 0, 0};
    const auto caption = Caption();
    DrawTextW(dc, caption.empty() ? L" " : caption.c_str(), -1, &r,
              DT_CALCRECT | DT_EXPANDTABS | (showAccelChar_ ? 0u : static_cast<unsigned>(DT_NOPREFIX)));
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    SetWindowPos(Handle(), nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLabel3D::PaintTo(HDC dc) {
    RECT client;
    GetClientRect(Handle(), &client);
    if (!transparent_) {
        const HBRUSH brush = CreateSolidBrush(color_);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    SetBkMode(dc, TRANSPARENT);
    if (border_ && borderWidth_ > 0) {
        const int w = client.right, h = client.bottom;
        if (borderType_ == TBorderType::btDefault) {
            const HPEN pen = CreatePen(borderPenStyle_, borderWidth_, borderColor_);
            const HGDIOBJ oldPen = SelectObject(dc, pen);
            const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
            Rectangle(dc, 0, 0, w, h);
            SelectObject(dc, oldBrush);
            DeleteObject(SelectObject(dc, oldPen));
        } else {
            const bool recessed = borderType_ == TBorderType::btRecessed;
            const HPEN grey = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
            const HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
            const HGDIOBJ oldPen = SelectObject(dc, recessed ? grey : white);
            MoveToEx(dc, 0, 0, nullptr), LineTo(dc, w - 1, 0);  // top
            MoveToEx(dc, 0, 0, nullptr), LineTo(dc, 0, h - 1);  // left
            SelectObject(dc, recessed ? white : grey);
            MoveToEx(dc, w - 1, h - 1, nullptr), LineTo(dc, w - 1, 0);  // right
            MoveToEx(dc, w - 1, h - 1, nullptr), LineTo(dc, 0, h - 1);  // bottom
            SelectObject(dc, oldPen);
            DeleteObject(grey);
            DeleteObject(white);
        }
    }
    DrawFlagsInput in;
    in.alignment = alignment_;
    in.wordWrap = wordWrap_;
    in.showAccelChar = showAccelChar_;
    in.ellipses = ellipses_;
    in.layout = layout_;
    in.escapement = escapement_;
    const unsigned flags = DrawFlags(in);
    const auto caption = Caption();
    const HGDIOBJ oldFont = SelectObject(dc, font_.get());
    for (const auto& copy : TextCopies(textStyle_, shift_)) {
        SetTextColor(dc, copy.colour == CopyColour::Shadow ? shadowColor_ : highlightColor_);
        RECT moved = client;
        OffsetRect(&moved, copy.offset.dx, copy.offset.dy);
        DrawCaption(dc, moved, flags, caption);
    }
    SetTextColor(dc, IsWindowEnabled(Handle()) ? fontColor_ : GetSysColor(COLOR_GRAYTEXT));
    DrawCaption(dc, client, flags, caption);
    SelectObject(dc, oldFont);
}

void TLabel3D::DrawCaption(HDC dc, RECT rect, unsigned flags, const std::wstring& caption) {
    if (escapement_ == 0) {
        DrawTextW(dc, caption.c_str(), -1, &rect, flags);
        return;
    }
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(screen, font_.get());
    SIZE size{};
    GetTextExtentPoint32W(screen, caption.c_str(), static_cast<int>(caption.size()), &size);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);

    const Offset start = TurnedTextOffset(escapement_, size.cx, size.cy);
    rect.left += start.dx;
    rect.top += start.dy;
    const Offset extent = TurnedTextExtent(escapement_, size.cx, size.cy);
    if (autoSize_) {
        RECT now;
        GetClientRect(Handle(), &now);
        if (now.right != extent.dx || now.bottom != extent.dy)
            SetWindowPos(Handle(), nullptr, 0, 0, extent.dx, extent.dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        RECT now;
        GetClientRect(Handle(), &now);
        if (alignment_ == TAlignment::taCenter) rect.left += (now.right - extent.dx) / 2;
        if (alignment_ == TAlignment::taRightJustify) rect.left += now.right - extent.dx;
    }
    LOGFONTW lf{};
    GetObjectW(font_.get(), sizeof lf, &lf);
    lf.lfEscapement = escapement_ * 10;
    const HFONT turned = CreateFontIndirectW(&lf);
    const HGDIOBJ previous = SelectObject(dc, turned);
    TextOutW(dc, rect.left, rect.top, caption.c_str(), static_cast<int>(caption.size()));
    SelectObject(dc, previous);
    DeleteObject(turned);
}

void TLabel3D::MouseEnter() {
    if (IsLink()) {
        rememberedColor_ = fontColor_;
        underline_ = true;
        RemakeFont();
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        Application::Instance().ProcessMessages();
        fontColor_ = hoverColor_;  // for the moment: not the owner's choice
        Invalidate();
    }
    if (OnMouseEnter) OnMouseEnter();
}

void TLabel3D::MouseLeave() {
    if (IsLink()) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        underline_ = false;
        RemakeFont();
        Application::Instance().ProcessMessages();
        fontColor_ = rememberedColor_;
        Invalidate();
    }
    if (OnMouseExit) OnMouseExit();
}

void TLabel3D::Click() {
    if (IsLink() && !address_.empty()) {
        try {
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            Application::Instance().ProcessMessages();
            const std::wstring target =
                labelStyle_ == TLabelStyle::lsEMailAddress ? L"mailto:" + address_ : address_;
            Application::Instance().Dialogs().ShellOpen(nullptr, target);
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
        } catch (...) {
            // A link that cannot be opened changes nothing; the click still counts.
        }
    }
    if (OnClick) OnClick();
}

LRESULT TLabel3D::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            const HDC dc = BeginPaint(Handle(), &ps);
            PaintTo(dc);
            EndPaint(Handle(), &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_GETFONT:  // as any control answers: what its text is drawn with
            return reinterpret_cast<LRESULT>(font_.get());
        case WM_MOUSEMOVE:
            if (!hovering_) {
                hovering_ = true;
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
                TrackMouseEvent(&track);
                MouseEnter();
            }
            return 0;
        case WM_MOUSELEAVE:
            hovering_ = false;
            MouseLeave();
            return 0;
        case WM_SETCURSOR:
            if (IsLink() && hovering_) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            // The release then comes here wherever it happens: a click is a press and a
            // release both over the label.
            pressed_ = true;
            SetCapture(Handle());
            return 0;
        case WM_LBUTTONUP: {
            const bool wasPressed = pressed_;
            pressed_ = false;
            if (GetCapture() == Handle()) ReleaseCapture();
            RECT r;
            GetClientRect(Handle(), &r);
            const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (wasPressed && PtInRect(&r, at)) Click();
            return 0;
        }
        case WM_CAPTURECHANGED:
            pressed_ = false;
            break;
        case WM_SYSCOLORCHANGE:
            // The colours taken from the system follow it.
            shadowColor_ = GetSysColor(COLOR_BTNSHADOW);
            highlightColor_ = GetSysColor(COLOR_BTNHIGHLIGHT);
            if (colorFromSystem_) color_ = GetSysColor(COLOR_BTNFACE);
            if (fontColorFromSystem_) {
                // Over a link the colour to come back to follows; the hover colour stays.
                if (hovering_ && IsLink())
                    rememberedColor_ = GetSysColor(COLOR_WINDOWTEXT);
                else
                    fontColor_ = GetSysColor(COLOR_WINDOWTEXT);
            }
            Invalidate();
            return 0;
        case WM_ENABLE:
            Invalidate();
            break;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
