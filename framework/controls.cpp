#include "framework/controls.h"

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

void CheckBox::SetChecked(bool checked) {
    if (checked == Checked()) return;
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick) OnClick();
}

void Label::Place(const Scaler& scale, HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    const auto text = Text();
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int width = design_.w > 0 ? scale(design_.w) : r.right + 2;
    SetWindowPos(hwnd_, nullptr, scale(design_.x), scale(design_.y), width, r.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
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
            if (bevel_ != Bevel::None) {
                RECT r;
                GetClientRect(Handle(), &r);
                DrawEdge(dc, &r, bevel_ == Bevel::RaisedInner ? BDR_RAISEDINNER : BDR_RAISEDOUTER, BF_RECT);
            }
            EndPaint(Handle(), &ps);
            return 0;
        }
        default:
            return Default(msg, wParam, lParam);
    }
}

}  // namespace zandrel
