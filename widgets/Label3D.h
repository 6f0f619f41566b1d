#pragma once
// A label that paints its caption raised, recessed or with a shadow, can turn
// it by any angle, frame itself, and act as a web or e-mail link.
#include <functional>
#include <string>

#include "framework/controls.h"
#include "framework/window.h"
#include "widgets/label3d_geometry.h"

namespace zandrel {

class TLabel3D : public Window {
public:
    void Create(HWND parent, DesignRect rect, const Scaler& scale);
    void Place(const Scaler& scale);

    // Properties of the 3D label.
    void SetBorderColor(COLORREF c) { borderColor_ = c, RepaintNow(); }
    void SetBorderPenStyle(int style) { borderPenStyle_ = style, RepaintNow(); }
    void SetBorderWidth(int w) { borderWidth_ = w, RepaintNow(); }
    void SetBorder(bool on) { border_ = on, RepaintNow(); }
    void SetBorderType(TBorderType t);
    void SetEscapement(int degrees);
    void SetTextStyle(TTextStyle s);
    void SetLabelStyle(TLabelStyle s) { labelStyle_ = s; }
    void SetAddress(std::wstring address) { address_ = std::move(address); }
    void SetEllipsesStyle(TEllipsesStyle s);
    void SetShift(int pixels);
    int Escapement() const { return escapement_; }
    TTextStyle TextStyle() const { return textStyle_; }
    int Shift() const { return shift_; }
    TEllipsesStyle EllipsesStyle() const { return ellipses_; }

    // What the label base offers.
    void SetCaption(const std::wstring& caption);
    std::wstring Caption() const { return WindowText(Handle()); }
    void SetFont(const std::wstring& face, int designHeight, bool bold);
    void SetFontColor(COLORREF c) { fontColor_ = c, fontColorFromSystem_ = false, Invalidate(); }
    COLORREF FontColor() const { return fontColor_; }
    bool Underlined() const { return underline_; }
    void SetColor(COLORREF c) { color_ = c, colorFromSystem_ = false, Invalidate(); }
    void SetTransparent(bool on) { transparent_ = on, Invalidate(); }
    void SetAlignment(TAlignment a) { alignment_ = a, Invalidate(); }
    void SetLayout(TTextLayout l) { layout_ = l, Invalidate(); }
    void SetWordWrap(bool on) { wordWrap_ = on, Invalidate(); }
    bool WordWrap() const { return wordWrap_; }
    void SetShowAccelChar(bool on) { showAccelChar_ = on, Invalidate(); }
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }

    std::function<void()> OnClick, OnMouseEnter, OnMouseExit;

    // The paint operation on any device context (the window's, or a bitmap's).
    void PaintTo(HDC dc);
    void Click();
    void MouseEnter();
    void MouseLeave();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool IsLink() const { return labelStyle_ != TLabelStyle::lsDefault; }
    void RepaintNow() const;
    void Invalidate() const;
    void RemakeFont();
    void FitToText();
    void DrawCaption(HDC dc, RECT rect, unsigned flags, const std::wstring& caption);

    DesignRect design_;
    Scaler scale_;
    COLORREF borderColor_ = RGB(255, 0, 0);
    int borderPenStyle_ = PS_SOLID;
    int borderWidth_ = 1;
    bool border_ = false;
    TBorderType borderType_ = TBorderType::btDefault;
    int escapement_ = 0;
    TTextStyle textStyle_ = TTextStyle::tsRaised;
    TLabelStyle labelStyle_ = TLabelStyle::lsDefault;
    std::wstring address_;
    TEllipsesStyle ellipses_ = TEllipsesStyle::esNone;
    int shift_ = 1;

    std::wstring fontFace_ = L"Arial";
    int fontHeight_ = 13;
    bool bold_ = false, underline_ = false;
    UniqueFont font_;
    COLORREF fontColor_ = GetSysColor(COLOR_WINDOWTEXT);
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    COLORREF shadowColor_ = GetSysColor(COLOR_BTNSHADOW);
    COLORREF highlightColor_ = GetSysColor(COLOR_BTNHIGHLIGHT);
    bool colorFromSystem_ = true, fontColorFromSystem_ = true;  // not set by the owner: they follow the system
    COLORREF hoverColor_ = RGB(255, 0, 0);
    COLORREF rememberedColor_ = 0;
    bool transparent_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    bool wordWrap_ = false, showAccelChar_ = true, autoSize_ = true;
    bool hovering_ = false, pressed_ = false;
};

}  // namespace zandrel
