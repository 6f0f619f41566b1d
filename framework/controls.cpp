#include "framework/controls.h"

#include <commctrl.h>

#include <algorithm>

namespace zandrel {
namespace {

int g_nextControlId = 1000;

}  // namespace

UniqueFont MakeFont(const Scaler& scale, const wchar_t* face, int designHeight, bool bold) {
    return UniqueFont(CreateFontW(-scale(designHeight), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_SWISS, face));
}

void Control::Create(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style,
                     DesignRect rect, const Scaler& scale, DWORD exStyle) {
    design_ = rect;
    id_ = g_nextControlId++;
    const RECT r = scale.Rect(rect.x, rect.y, rect.w, rect.h);
    hwnd_ = CreateWindowExW(exStyle, windowClass, text.c_str(), style | WS_CHILD | WS_VISIBLE, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Control::Place(const Scaler& scale, HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const RECT r = scale.Rect(design_.x, design_.y, design_.w, design_.h);
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Control::Notify(HWND control, WORD code) {
    auto* self = reinterpret_cast<Control*>(GetWindowLongPtrW(control, GWLP_USERDATA));
    if (!self || self->hwnd_ != control) return false;
    if (self->OwnNotify(code)) return true;
    if (code == BN_CLICKED && self->OnClick) {
        self->OnClick();
        return true;
    }
    if ((code == EN_CHANGE || code == CBN_SELCHANGE) && self->OnChange) {
        self->OnChange();
        return true;
    }
    return false;
}

bool Control::DrawItemOf(const DRAWITEMSTRUCT& item) {
    auto* self = reinterpret_cast<Control*>(GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA));
    return self && self->hwnd_ == item.hwndItem && self->DrawItem(item);
}

namespace {

// Marks a control's own tool tip window with the control, whose notifications they are. An
// atom added once: a property named by it costs no atom per window.
const wchar_t* TipsOwner() {
    static const ATOM atom = GlobalAddAtomW(L"ZandrelTipsOwner");
    return MAKEINTATOM(atom);
}

}  // namespace

bool Control::NotifyOf(const NMHDR& header, LRESULT& result) {
    HWND from = header.hwndFrom;
    if (const auto owner = static_cast<HWND>(GetPropW(from, TipsOwner()))) from = owner;
    auto* self = reinterpret_cast<Control*>(GetWindowLongPtrW(from, GWLP_USERDATA));
    return self && self->hwnd_ == from && self->OwnNotify(header, result);
}

namespace {

LRESULT CALLBACK KeyUpProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    if (msg == WM_KEYUP) {
        auto* self = reinterpret_cast<std::function<void(WORD)>*>(data);
        if (*self) (*self)(static_cast<WORD>(wParam));
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, KeyUpProc, 2);
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// Children of a band bar report to it; the form wants to hear them.
LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (msg) {
        case WM_COMMAND:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->hwndFrom != hwnd)
                return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ForwardProc, 3);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void Control::SetOnKeyUp(std::function<void(WORD key)> handler) {
    onKeyUp_ = std::move(handler);
    SetWindowSubclass(hwnd_, KeyUpProc, 2, reinterpret_cast<DWORD_PTR>(&onKeyUp_));
}

void ToolBar::Create(HWND parent, DesignRect rect, const Scaler& scale, int buttonSize) {
    Control::Create(parent, TOOLBARCLASSNAMEW, L"",
                    TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN |
                        WS_CLIPSIBLINGS,
                    rect, scale);
    SendMessageW(hwnd_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // The tool bar asks its parent for a button's hint (TBN_GETINFOTIP), or its tool tip asks
    // directly (TTN_GETDISPINFO): either way the question comes back here.
    if (const auto tips = reinterpret_cast<HWND>(SendMessageW(hwnd_, TB_GETTOOLTIPS, 0, 0)))
        SetPropW(tips, TipsOwner(), hwnd_);
    images_ = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 4);
    SendMessageW(hwnd_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    SendMessageW(hwnd_, TB_SETBUTTONSIZE, 0, MAKELPARAM(scale(buttonSize), scale(buttonSize)));
}

int ToolBar::AddButton(const wchar_t* pictureResource, bool check) {
    const auto picture = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), pictureResource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    const int image = ImageList_AddMasked(images_, picture, RGB(255, 0, 255));
    if (picture) DeleteObject(picture);
    const int id = kFirstId + static_cast<int>(Handlers.size());
    Handlers.emplace_back();
    hints_.emplace_back();
    TBBUTTON button{};
    button.iBitmap = image;
    button.idCommand = id;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = static_cast<BYTE>(check ? BTNS_CHECK : BTNS_BUTTON);
    SendMessageW(hwnd_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
    return id;
}

void ToolBar::AddSeparator(int width) {
    TBBUTTON separator{};
    separator.iBitmap = width;
    separator.fsStyle = BTNS_SEP;
    SendMessageW(hwnd_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&separator));
}

int ToolBar::AddPlaceholder(int width) {
    const int id = kFirstId + static_cast<int>(Handlers.size());
    Handlers.emplace_back();
    hints_.emplace_back();
    TBBUTTON separator{};
    separator.iBitmap = width;
    separator.idCommand = id;
    separator.fsStyle = BTNS_SEP;
    SendMessageW(hwnd_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&separator));
    return id;
}

void ToolBar::SetHint(int id, std::wstring hint) {
    const int index = id - kFirstId;
    if (index >= 0 && index < static_cast<int>(hints_.size())) hints_[static_cast<std::size_t>(index)] = std::move(hint);
}

bool ToolBar::OwnNotify(const NMHDR& header, LRESULT& result) {
    if (header.code != TBN_GETINFOTIPW && header.code != TTN_GETDISPINFOW) return false;
    const bool asked = header.code == TBN_GETINFOTIPW;
    const int id = asked ? reinterpret_cast<const NMTBGETINFOTIPW&>(header).iItem : static_cast<int>(header.idFrom);
    const int index = id - kFirstId;
    if (index < 0 || index >= static_cast<int>(hints_.size())) return false;
    const std::wstring& hint = hints_[static_cast<std::size_t>(index)];
    if (asked) {
        auto& tip = const_cast<NMTBGETINFOTIPW&>(reinterpret_cast<const NMTBGETINFOTIPW&>(header));
        if (tip.pszText && tip.cchTextMax > 0) lstrcpynW(tip.pszText, hint.c_str(), tip.cchTextMax);
    } else {
        // The text stays where the tool tip can read it while the tool bar lives.
        const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header)).lpszText =
            const_cast<wchar_t*>(hint.c_str());
    }
    result = 0;
    return true;
}

bool ToolBar::Command(int id) const {
    const int index = id - kFirstId;
    if (index < 0 || index >= static_cast<int>(Handlers.size())) return false;
    if (Handlers[static_cast<std::size_t>(index)]) Handlers[static_cast<std::size_t>(index)]();
    return true;
}

bool ToolBar::Down(int id) const { return SendMessageW(hwnd_, TB_ISBUTTONCHECKED, static_cast<WPARAM>(id), 0) != 0; }

void ToolBar::SetDown(int id, bool down) const {
    SendMessageW(hwnd_, TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(down ? TRUE : FALSE, 0));
}

RECT ToolBar::ButtonRect(int id) const {
    RECT r{};
    SendMessageW(hwnd_, TB_GETRECT, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&r));
    return r;
}

int ToolBar::Width() const {
    SIZE size{};
    SendMessageW(hwnd_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    return size.cx;
}

void ToolButton::Attach(ToolBar& bar, int id) {
    bar_ = &bar;
    id_ = id;
    bar.Handlers[static_cast<std::size_t>(id - ToolBar::kFirstId)] = [this] { Click(); };
}

void CoolBar::Create(HWND parent, DesignRect rect, const Scaler& scale) {
    Control::Create(parent, REBARCLASSNAMEW, L"",
                    RBS_VARHEIGHT | RBS_BANDBORDERS | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE |
                        WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                    rect, scale, WS_EX_CONTROLPARENT);
    SetWindowSubclass(hwnd_, ForwardProc, 3, 0);
}

void CoolBar::AddBand(HWND child, int height) {
    RECT r;
    GetWindowRect(child, &r);
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE;
    band.fStyle = RBBS_BREAK | RBBS_NOGRIPPER | RBBS_CHILDEDGE;
    band.hwndChild = child;
    band.cxMinChild = 0;
    band.cyMinChild = static_cast<UINT>(height);
    SendMessageW(hwnd_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    // The band takes its child anew, which may put it first among its siblings:
    // the tab order follows the rows from the top only if each goes last.
    SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CoolBar::SetBandHeight(int index, int height) const {
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILDSIZE;
    band.cyMinChild = static_cast<UINT>(height);
    SendMessageW(hwnd_, RB_SETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
}

int CoolBar::Height() const { return static_cast<int>(SendMessageW(hwnd_, RB_GETBARHEIGHT, 0, 0)); }

void CheckBox::SetChecked(bool checked) {
    if (checked == Checked()) return;
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick) OnClick();
}

void Label::Place(const Scaler& scale, HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
    const LONG type = style & SS_TYPEMASK;
    const bool wraps = design_.w > 0 && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) &&
                       !(style & SS_ELLIPSISMASK);
    const UINT prefix = style & SS_NOPREFIX ? DT_NOPREFIX : 0u;
    const auto text = Text();
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT line{0, 0, 0, 0};
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | prefix);
    const int width = design_.w > 0 ? scale(design_.w) : line.right + 2;
    RECT lines{0, 0, width, 0};
    if (wraps) DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &lines, DT_CALCRECT | DT_WORDBREAK | prefix);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int designed = design_.h > 0 ? scale(design_.y + design_.h) - scale(design_.y) : line.bottom;
    const int height = std::max(designed, wraps ? static_cast<int>(lines.bottom) : static_cast<int>(line.bottom));
    const int top = scale(design_.y) - (growsUp_ ? height - designed : 0);
    SetWindowPos(hwnd_, nullptr, scale(design_.x), top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ComboBox::AddItem(const std::wstring& text) const {
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring ComboBox::ItemText(int index) const {
    const auto length = SendMessageW(hwnd_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(hwnd_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::vector<std::wstring> ComboBox::Items() const {
    std::vector<std::wstring> items;
    for (int i = 0; i < Count(); ++i) items.push_back(ItemText(i));
    return items;
}

void Panel::Create(HWND parent, DesignRect rect, const Scaler& scale, Bevel bevel) {
    RegisterClassOnce(L"ZandrelPanel", 0);
    design_ = rect;
    bevel_ = bevel;
    const RECT r = scale.Rect(rect.x, rect.y, rect.w, rect.h);
    CreateHandle(L"ZandrelPanel", WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE, L"", r.left, r.top, r.right - r.left,
                 r.bottom - r.top, parent);
}

void Panel::SetColor(COLORREF color) {
    if (brush_) DeleteObject(brush_);
    brush_ = CreateSolidBrush(color);
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

Panel::~Panel() {
    Destroy();
    if (brush_) DeleteObject(brush_);
}

void Panel::Place(const Scaler& scale) const {
    const RECT r = scale.Rect(design_.x, design_.y, design_.w, design_.h);
    SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Panel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
            return SendMessageW(GetParent(Handle()), msg, wParam, lParam);
        case WM_PAINT: {
            PAINTSTRUCT ps;
            const HDC dc = BeginPaint(Handle(), &ps);
            RECT r;
            GetClientRect(Handle(), &r);
            if (brush_) FillRect(dc, &r, brush_);
            if (bevel_ != Bevel::None) {
                const UINT edge = bevel_ == Bevel::RaisedInner   ? BDR_RAISEDINNER
                                  : bevel_ == Bevel::LoweredInner ? BDR_SUNKENINNER
                                                                  : BDR_RAISEDOUTER;
                DrawEdge(dc, &r, edge, BF_RECT);
            }
            EndPaint(Handle(), &ps);
            return 0;
        }
        default:
            return Default(msg, wParam, lParam);
    }
}

ToolTip::~ToolTip() {
    // The tool's window takes its tip along when it goes first.
    if (tip_ && IsWindow(tip_)) DestroyWindow(tip_);
}

void ToolTip::Set(HWND tool, const std::wstring& text) {
    text_ = text;
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = tool;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = text_.data();
    if (tip_ && tool_ == tool) {
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
        return;
    }
    if (tip_) DestroyWindow(tip_);
    tool_ = tool;
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tool, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void ToolTip::SetFont(HFONT font) const {
    if (tip_) SendMessageW(tip_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

bool ClickFocusedPushButton(HWND window) {
    const HWND focus = GetFocus();
    if (!focus || !IsChild(window, focus)) return false;
    wchar_t kind[16] = {};
    GetClassNameW(focus, kind, 16);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(focus, GWL_STYLE)) & BS_TYPEMASK;
    if (lstrcmpiW(kind, L"Button") != 0 || (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON)) return false;
    SendMessageW(focus, BM_CLICK, 0, 0);
    return true;
}

bool AnswerDialogKey(HWND window, WPARAM wParam, LPARAM lParam, const std::function<void(bool yes)>& answer) {
    if (lParam) return false;  // a control's notification, not the dialog navigation
    if (LOWORD(wParam) == IDCANCEL) return answer(false), true;
    if (LOWORD(wParam) != IDOK) return false;
    if (!ClickFocusedPushButton(window)) answer(true);
    return true;
}

}  // namespace zandrel
