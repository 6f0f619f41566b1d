#pragma once
// Thin wrappers over the standard controls. Each control keeps its design
// rectangle (pixels at 120 dpi) so the whole layout can be scaled to any DPI.
#include <functional>
#include <string>
#include <vector>

#include "framework/window.h"

struct _IMAGELIST;

namespace zandrel {

// Design coordinates are pixels at 120 dpi; this scales them to the window's DPI.
class Scaler {
public:
    static constexpr int kDesignDpi = 120;
    explicit Scaler(UINT dpi = kDesignDpi) : dpi_(static_cast<int>(dpi)) {}
    int operator()(int v) const { return MulDiv(v, dpi_, kDesignDpi); }
    // A design rectangle in real pixels; edges are scaled, so neighbours stay flush.
    RECT Rect(int x, int y, int w, int h) const { return {(*this)(x), (*this)(y), (*this)(x + w), (*this)(y + h)}; }
    UINT Dpi() const { return static_cast<UINT>(dpi_); }

private:
    int dpi_;
};

struct DesignRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// A font given by face and design height in pixels, made anew for each DPI.
UniqueFont MakeFont(const Scaler& scale, const wchar_t* face, int designHeight, bool bold = false);

// A tool tip over one window: shown when the mouse rests on it.
class ToolTip {
public:
    ToolTip() = default;
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;
    ~ToolTip();
    void Set(HWND tool, const std::wstring& text);
    const std::wstring& Text() const { return text_; }
    void SetFont(HFONT font) const;

private:
    HWND tip_ = nullptr;
    HWND tool_ = nullptr;
    std::wstring text_;
};

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    // Creates the control as a child of `parent`; the control with the lowest
    // number comes first in the tab order (creation order).
    void Create(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style, DesignRect rect,
                const Scaler& scale, DWORD exStyle = 0);
    // Moves to the scaled design rectangle and takes the font.
    virtual void Place(const Scaler& scale, HFONT font);

    HWND Handle() const { return hwnd_; }
    int Id() const { return id_; }
    const DesignRect& Design() const { return design_; }
    std::wstring Text() const { return WindowText(hwnd_); }
    void SetText(const std::wstring& text) const { SetWindowTextW(hwnd_, text.c_str()); }
    bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void SetFocus() const { ::SetFocus(hwnd_); }

    // Handlers the owning window wires (click for buttons, change for edits and lists).
    std::function<void()> OnClick;
    std::function<void()> OnChange;
    // A key released in the control (key code); set after Create.
    void SetOnKeyUp(std::function<void(WORD key)> handler);

    // Routes a WM_COMMAND notification to the control it came from.
    static bool Notify(HWND control, WORD code);
    // Routes WM_DRAWITEM to an owner-drawn control.
    static bool DrawItemOf(const DRAWITEMSTRUCT& item);
    // Routes WM_NOTIFY to the control it came from; true when handled, with `result`.
    static bool NotifyOf(const NMHDR& header, LRESULT& result);

protected:
    // Notifications a control handles itself first; true when handled.
    virtual bool OwnNotify(WORD) { return false; }
    virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }
    virtual bool OwnNotify(const NMHDR&, LRESULT&) { return false; }

public:

protected:
    HWND hwnd_ = nullptr;
    int id_ = 0;
    DesignRect design_;
    std::function<void(WORD)> onKeyUp_;
};

// A flat tool bar of picture buttons (16 x 16 pictures with a magenta background).
class ToolBar : public Control {
public:
    void Create(HWND parent, DesignRect rect, const Scaler& scale, int buttonSize);
    // Adds a button; `check` makes it a toggle. Gives the button's command id.
    int AddButton(const wchar_t* pictureResource, bool check);
    // The tool tip shown while the mouse rests on a button.
    void SetHint(int id, std::wstring hint);
    void AddSeparator(int width);
    // A separator that keeps room for a window of another kind; gives its id.
    int AddPlaceholder(int width);
    // Runs the handler of a button's command; true when the id is one of ours.
    bool Command(int id) const;
    bool Down(int id) const;
    void SetDown(int id, bool down) const;
    RECT ButtonRect(int id) const;  // in the tool bar's client coordinates
    int Width() const;
    std::vector<std::function<void()>> Handlers;  // by id - kFirstId

    static constexpr int kFirstId = 100;

protected:
    bool OwnNotify(const NMHDR& header, LRESULT& result) override;

private:
    ::_IMAGELIST* images_ = nullptr;
    std::vector<std::wstring> hints_;  // by id - kFirstId
};

// One button of a ToolBar, used like a control: Click runs what a mouse click runs.
class ToolButton {
public:
    void Attach(ToolBar& bar, int id);
    std::function<void()> OnClick;
    void Click() const {
        if (OnClick) OnClick();
    }
    void SetHint(std::wstring hint) const { bar_->SetHint(id_, std::move(hint)); }
    bool Down() const { return bar_->Down(id_); }
    void SetDown(bool down) const { bar_->SetDown(id_, down); }
    int Id() const { return id_; }
    ToolBar* Bar() const { return bar_; }
    RECT Rect() const { return bar_->ButtonRect(id_); }

private:
    ToolBar* bar_ = nullptr;
    int id_ = 0;
};

// A band bar (rebar) whose bands hold controls, one band per row. It passes its
// children's notifications on to its parent, like a Panel.
class CoolBar : public Control {
public:
    void Create(HWND parent, DesignRect rect, const Scaler& scale);
    void AddBand(HWND child, int height);
    void SetBandHeight(int index, int height) const;
    int Height() const;
};

class Button : public Control {
public:
    // As a mouse click: the button takes the focus.
    void Click() const { SendMessageW(hwnd_, BM_CLICK, 0, 0); }
    // As the program presses it: the handler runs and the focus stays where it is.
    void Press() const {
        if (OnClick) OnClick();
    }
    void SetIcon(HICON icon) const { SendMessageW(hwnd_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)); }
};

// Enter in a window of our own that the dialog manager navigates arrives as IDOK: it
// means the focused push button when one has the focus. Clicks it; false when none has.
bool ClickFocusedPushButton(HWND window);
// Enter and Escape in such a modal window, as WM_COMMAND brings them: Escape answers no,
// Enter clicks the focused push button or else answers yes. True when the command was one.
bool AnswerDialogKey(HWND window, WPARAM wParam, LPARAM lParam, const std::function<void(bool yes)>& answer);

class CheckBox : public Button {
public:
    bool Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // Like a click, a change of state runs the click handler.
    void SetChecked(bool checked);
};

using RadioButton = CheckBox;

class Edit : public Control {};

// A label that sizes itself to its text. Without a design width it is one line as wide as
// its text. With one, a wrapping label (no ellipsis) wraps its text at that width and grows
// by what its lines need beyond its design height (one line when none is given): downwards,
// or upwards when it must leave the control below it in place.
class Label : public Control {
public:
    void Place(const Scaler& scale, HFONT font) override;
    void SetGrowsUp(bool up) { growsUp_ = up; }

private:
    bool growsUp_ = false;
};

class ComboBox : public Control {
public:
    void AddItem(const std::wstring& text) const;
    int Count() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)); }
    int ItemIndex() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }
    void SetItemIndex(int index) const { SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    std::wstring ItemText(int index) const;
    std::vector<std::wstring> Items() const;
};

// A plain container with an optional bevel. It passes its children's
// notifications on to its parent, so the form sees them all.
class Panel : public Window {
public:
    enum class Bevel { None, RaisedInner, RaisedOuter, LoweredInner };
    void Create(HWND parent, DesignRect rect, const Scaler& scale, Bevel bevel = Bevel::None);
    void Place(const Scaler& scale) const;
    const DesignRect& Design() const { return design_; }
    // A colour of its own instead of the parent's background.
    void SetColor(COLORREF color);
    ~Panel() override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    DesignRect design_;
    Bevel bevel_ = Bevel::None;
    HBRUSH brush_ = nullptr;
};

}  // namespace zandrel
