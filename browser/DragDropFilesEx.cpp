#include "browser/DragDropFilesEx.h"

#include "browser/DirView.h"
#include "browser/DragDrop.h"
#include "browser/drop_logic.h"
#include "framework/application.h"

#include <shlwapi.h>

namespace zandrel {

TDragDropFilesEx::~TDragDropFilesEx() {
    LeaveHandler();
    if (data_) data_->Release();
    if (helper_) helper_->Release();
}

void TDragDropFilesEx::SetHelper(IDropTargetHelper* helper) {
    if (helper) helper->AddRef();
    if (helper_) helper_->Release();
    helper_ = helper;
    helperAsked_ = true;
}

IDropTargetHelper* TDragDropFilesEx::Helper() {
    if (!helperAsked_) {
        helperAsked_ = true;
        CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                         reinterpret_cast<void**>(&helper_));
    }
    return helper_;
}

void TDragDropFilesEx::LeaveHandler() {
    if (handler_) {
        handler_->DragLeave();
        handler_->Release();
    }
    handler_ = nullptr;
    handlerItem_ = {};
}

namespace {

// A program, a shortcut or a script: its drop handler would run it with the dropped
// files as its arguments, and the pane never runs a file.
bool RunsWhenDroppedOn(const std::wstring& fileName) {
    const DWORD need = GetEnvironmentVariableW(L"PATHEXT", nullptr, 0);
    std::wstring pathExt(need, L'\0');
    pathExt.resize(need ? GetEnvironmentVariableW(L"PATHEXT", pathExt.data(), need) : 0);
    if (RunsDroppedFiles(fileName, pathExt)) return true;
    // The types the system itself counts as unsafe to open (it knows more of them).
    const auto dot = fileName.rfind(L'.');
    return dot != std::wstring::npos && AssocIsDangerous(fileName.substr(dot).c_str());
}

}  // namespace

IDropTarget* TDragDropFilesEx::HandlerFor(int item, DWORD keys, POINTL pt, DWORD allowed) {
    TDirView::HeldItem held = list_.Hold(item);
    if (held.record == handlerItem_.record) return handler_;
    LeaveHandler();
    const TFileRec* rec = held.record.get();
    if (!rec || rec->IsDirectory || !data_ || RunsWhenDroppedOn(rec->FileName)) return nullptr;
    IDropTarget* handler = nullptr;
    if (list_.DropHandlerOf)
        handler = list_.DropHandlerOf(item);
    else if (!RunningOnWine())  // Wine's shell hands out, for any file, a drop target that takes no drop
        handler = static_cast<IDropTarget*>(list_.ShellObjectOf({item}, IID_IDropTarget, list_.Handle()));
    if (!handler) return nullptr;
    DWORD effect = allowed;
    if (FAILED(handler->DragEnter(data_, keys, pt, &effect))) {
        handler->Release();
        return nullptr;
    }
    handler_ = handler;
    handlerItem_ = std::move(held);
    return handler_;
}

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
    if (data) data->AddRef();
    if (data_) data_->Release();
    data_ = data;
    files_ = ReadDroppedFiles(data);
    accepted_ = AcceptDrop(list_.DirOK(), files_.names);
    sourceDrive_ = accepted_ ? files_.names.front()[0] : 0;
    linkExecutables_ =
        accepted_ && list_.DDLinkOnExeDrag && (*effect & DROPEFFECT_LINK) && AllExecutables(files_.names);
    if (list_.OnDDDragEnter) list_.OnDDDragEnter(&list_, accepted_);
    const DWORD allowed = *effect;
    *effect = accepted_ ? Decide(keys, pt, allowed) : DROPEFFECT_NONE;
    if (IDropTargetHelper* helper = Helper()) {
        POINT at{pt.x, pt.y};
        helper->DragEnter(list_.Handle(), data, &at, *effect);
    }
    return S_OK;
}

HRESULT TDragDropFilesEx::DragOver(DWORD keys, POINTL pt, DWORD* effect) {
    *effect = accepted_ ? Decide(keys, pt, *effect) : DROPEFFECT_NONE;
    if (IDropTargetHelper* helper = Helper()) {
        POINT at{pt.x, pt.y};
        helper->DragOver(&at, *effect);
    }
    return S_OK;
}

HRESULT TDragDropFilesEx::DragLeave() {
    LeaveHandler();
    list_.SetDropTarget(-1);
    if (IDropTargetHelper* helper = Helper()) helper->DragLeave();
    accepted_ = false;
    files_ = {};
    if (data_) data_->Release();
    data_ = nullptr;
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
    // A file with a drop handler of the shell's takes the drop itself: it decides.
    if (IDropTarget* handler = HandlerFor(item, keys, pt, allowed)) {
        list_.SetDropTarget(item);
        DWORD effect = allowed;
        if (FAILED(handler->DragOver(keys, pt, &effect))) effect = DROPEFFECT_NONE;
        return effect;
    }
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
    // Into the recycle bin (its folder, or its view) only a move goes: files are deleted there.
    intoRecycleBin_ = highlighted ? rec->IsRecycleBin : list_.IsRecycleBinView();
    return FinalEffect(effect, FromThisList, highlighted, intoRecycleBin_) & allowed;
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
        if (IDropTargetHelper* helper = Helper()) {
            POINT at{pt.x, pt.y};
            helper->Drop(data, &at, *effect);
        }
        files_ = ReadDroppedFiles(data);  // read again, as it is now
        if (!accepted_ || files_.names.empty()) {
            *effect = DROPEFFECT_NONE;
            LeaveHandler();
            list_.SetDropTarget(-1);
        } else {
            const DWORD allowed = *effect;
            *effect = Decide(keys | (lastKeys_ & (MK_LBUTTON | MK_RBUTTON)), pt, allowed);
            if (handler_ && list_.DropTarget() >= 0 && list_.IndexOf(handlerItem_) == list_.DropTarget()) {
                // The handler of the file under the mouse carries the drop out, its menu included.
                IDropTarget* handler = handler_;
                handler_ = nullptr;
                handlerItem_ = {};
                *effect = allowed;
                handler->Drop(data, keys, pt, effect);
                handler->Release();
                list_.SetDropTarget(-1);
                list_.Refresh();
            } else {
                if (*effect == DROPEFFECT_NONE) list_.SetDropTarget(-1);
                if ((lastKeys_ & MK_RBUTTON) && *effect != DROPEFFECT_NONE && list_.TargetPopUpMenu)
                    *effect = list_.AskDropEffect(intoRecycleBin_ ? allowed & DROPEFFECT_MOVE : allowed, *effect,
                                                  POINT{pt.x, pt.y});
                if (list_.DirOK() && list_.OnDDProcessDropped)
                    list_.OnDDProcessDropped(&list_, keys, POINT{pt.x, pt.y}, *effect);
                list_.ProcessDropped(files_, *effect, FromThisList);
            }
        }
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);  // nothing may pass into the drag loop
    }
    LeaveHandler();
    accepted_ = false;
    files_ = {};
    if (data_) data_->Release();
    data_ = nullptr;
    return S_OK;
}

}  // namespace zandrel
