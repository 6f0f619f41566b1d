#include "browser/DragDropFilesEx.h"

#include "browser/DirView.h"
#include "browser/DragDrop.h"
#include "browser/drop_logic.h"
#include "framework/application.h"

namespace zandrel {

HRESULT TDragDropFilesEx::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TDragDropFilesEx::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

// The list owns the object; the count only keeps the drag loop's references honest.
ULONG TDragDropFilesEx::Release() { return static_cast<ULONG>(InterlockedDecrement(&references_)); }

HRESULT TDragDropFilesEx::DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) {
    names_ = DroppedFileNames(data);
    accepted_ = AcceptDrop(list_.DirOK(), names_);
    sourceDrive_ = accepted_ ? names_.front()[0] : 0;
    linkExecutables_ = accepted_ && list_.DDLinkOnExeDrag && (*effect & DROPEFFECT_LINK) && AllExecutables(names_);
    if (list_.OnDDDragEnter) list_.OnDDDragEnter(&list_, accepted_);
    if (!accepted_) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    *effect = Decide(keys, pt, *effect);
    return S_OK;
}

HRESULT TDragDropFilesEx::DragOver(DWORD keys, POINTL pt, DWORD* effect) {
    if (!accepted_) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    *effect = Decide(keys, pt, *effect);
    return S_OK;
}

HRESULT TDragDropFilesEx::DragLeave() {
    list_.SetDropTarget(-1);
    accepted_ = false;
    names_.clear();
    return S_OK;
}

DWORD TDragDropFilesEx::Decide(DWORD keys, POINTL pt, DWORD allowed) {
    lastKeys_ = keys;
    POINT p{pt.x, pt.y};
    ScreenToClient(list_.Handle(), &p);
    LVHITTESTINFO hit{};
    hit.pt = p;
    AutoScroll(p);
    const int item = ListView_HitTest(list_.Handle(), &hit);
    const TFileRec* rec = list_.Item(item);
    list_.SetDropTarget(rec && rec->IsDirectory ? item : -1);
    const bool highlighted = list_.DropTarget() >= 0;
    EffectInput in;
    in.shift = (keys & MK_SHIFT) != 0;
    in.ctrl = (keys & MK_CONTROL) != 0;
    in.allowed = allowed;
    in.proposed = KeyEffect(in.shift, in.ctrl, allowed);
    in.linkExecutables = linkExecutables_;
    in.listDrive = list_.Path().empty() ? L'\0' : list_.Path()[0];
    in.sourceDrive = sourceDrive_;
    in.recycleBinView = list_.IsRecycleBinView();
    DWORD effect = ProposeEffect(in) & allowed;
    if (list_.OnDDDragOver) list_.OnDDDragOver(&list_, keys, effect);
    return FinalEffect(effect, FromThisList, highlighted);
}

// In the details view a drag near the top or the bottom scrolls the list a line at a time:
// every 200 ms, or every 50 ms once it has gone on for more than three lines.
void TDragDropFilesEx::AutoScroll(POINT client) {
    if (list_.ViewStyle() != TViewStyle::vsReport) return;
    const HWND hwnd = list_.Handle();
    RECT r;
    GetClientRect(hwnd, &r);
    TEXTMETRICW tm{};
    const HDC dc = GetDC(hwnd);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    const int zone = 3 * tm.tmHeight;
    RECT top{};
    const int first = ListView_GetTopIndex(hwnd);
    const bool overTop = ListView_GetItemRect(hwnd, first, &top, LVIR_BOUNDS) && client.y < top.bottom;
    int direction = 0;
    if (overTop || client.y < r.top + zone) direction = -1;
    else if (client.y > r.bottom - zone) direction = 1;
    if (direction == 0) {
        scrollsInARow_ = 0;
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (now - lastScroll_ < (scrollsInARow_ > 3 ? 50u : 200u)) return;
    lastScroll_ = now;
    ++scrollsInARow_;
    RECT line{};
    ListView_GetItemRect(hwnd, first, &line, LVIR_BOUNDS);
    ListView_Scroll(hwnd, 0, direction * (line.bottom - line.top));
}

HRESULT TDragDropFilesEx::Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) {
    try {
        names_ = DroppedFileNames(data);  // read again, as it is now
        if (!accepted_ || names_.empty()) {
            *effect = DROPEFFECT_NONE;
            list_.SetDropTarget(-1);
            return S_OK;
        }
        const DWORD allowed = *effect;
        *effect = Decide(keys | (lastKeys_ & (MK_LBUTTON | MK_RBUTTON)), pt, allowed);
        if (*effect == DROPEFFECT_NONE) list_.SetDropTarget(-1);
        if ((lastKeys_ & MK_RBUTTON) && *effect != DROPEFFECT_NONE && list_.TargetPopUpMenu)
            *effect = list_.AskDropEffect(allowed, *effect, POINT{pt.x, pt.y});
        if (list_.DirOK() && list_.OnDDProcessDropped) list_.OnDDProcessDropped(&list_, keys, POINT{pt.x, pt.y}, *effect);
        list_.ProcessDropped(names_, *effect, FromThisList);
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);  // nothing may pass into the drag loop
    }
    accepted_ = false;
    names_.clear();
    return S_OK;
}

}  // namespace zandrel
