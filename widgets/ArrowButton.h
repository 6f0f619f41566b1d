#pragma once
// A speed button split in two: the main part clicks like a flat tool button,
// the narrow arrow part on the right drops down a pop-up menu. A small child
// window of its own (the framework has no windowless controls).
#include <functional>
#include <string>

#include "framework/controls.h"
#include "widgets/arrow_button_geometry.h"

namespace zandrel {

class TJvArrowButton : public Window {
public:
    enum FaceState { fsUp = 0, fsDisabled = 1, fsDown = 2, fsExclusive = 3 };

    TJvArrowButton() = default;
    ~TJvArrowButton() override;

    void Create(HWND parent, DesignRect rect, const Scaler& scale);
    void Place(const Scaler& scale, HFONT font);

    // ---- Properties ----
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value);
    int ArrowWidth() const { return arrowWidth_; }
    void SetArrowWidth(int value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool Down() const { return down_; }
    void SetDown(bool value);
    HMENU DropDown = nullptr;
    const std::wstring& Caption() const { return caption_; }
    void SetCaption(const std::wstring& caption);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    void SetFont(HFONT font);
    void SetFillFont(HFONT font);  // the caption's font while the mouse is over the button
    // The picture strip (up, disabled, down, exclusive side by side); the button keeps a copy.
    void SetGlyph(HBITMAP strip);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return margin_; }
    void SetMargin(int margin);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);
    bool PressBoth = true;
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    void SetHint(const std::wstring& hint);  // shown as a tool tip

    std::function<void()> OnClick, OnDblClick, OnDrop;

    void Click();
    int Face() const { return face_; }
    bool MouseInside() const { return mouseInside_; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void MouseDown(bool left, int x, int y);
    void MouseUp(int x, int y);
    void Paint(HDC dc);
    void DrawGlyphAndCaption(HDC dc, const RECT& r, int shift);
    void AnnounceToGroup();
    void ButtonPressed(int group, TJvArrowButton* sender);
    void CheckMouseInside();
    void RepaintNow();
    void Invalidate();
    void RebuildImages();
    int Width() const;
    int Height() const;

    bool allowAllUp_ = false, down_ = false, flat_ = false;
    int arrowWidth_ = 13, groupIndex_ = 0, margin_ = -1, numGlyphs_ = 1, spacing_ = 4;
    std::wstring caption_;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    HFONT font_ = nullptr, fillFont_ = nullptr;
    HBITMAP glyph_ = nullptr;
    ::_IMAGELIST* images_ = nullptr;
    int face_ = fsUp;
    bool arrowPressed_ = false, mouseInside_ = false, leftDown_ = false, wasDisabled_ = false;
    ToolTip hint_;
};

}  // namespace zandrel
