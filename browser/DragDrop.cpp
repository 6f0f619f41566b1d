#include "browser/DragDrop.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "browser/DirView.h"
#include "browser/drop_logic.h"
#include "framework/application.h"

namespace zandrel {

std::vector<std::wstring> DroppedFileNames(IDataObject* data) {
    std::vector<std::wstring> names;
    if (!data) return names;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return names;
    if (const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring name(length + 1, L'\0');
            name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
            names.push_back(name);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return names;
}

// ---------------------------------------------------------------------------
// Drop target

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

// ---------------------------------------------------------------------------
// A plain file list

namespace {

class FileListData : public IDataObject {
public:
    explicit FileListData(const std::vector<std::wstring>& names) {
        // DROPFILES, then the names, each ending with a zero, and one more zero.
        std::wstring joined;
        for (const auto& n : names) joined += n, joined += L'\0';
        joined += L'\0';
        bytes_.resize(sizeof(DROPFILES) + joined.size() * sizeof(wchar_t));
        DROPFILES header{};
        header.pFiles = sizeof(DROPFILES);
        header.fWide = TRUE;
        memcpy(bytes_.data(), &header, sizeof header);
        memcpy(bytes_.data() + sizeof header, joined.data(), joined.size() * sizeof(wchar_t));
    }
    virtual ~FileListData() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
        if (!memory) return E_OUTOFMEMORY;
        memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(1, &format, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG references_ = 1;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

IDataObject* MakeFileListData(const std::vector<std::wstring>& names) { return new FileListData(names); }

// ---------------------------------------------------------------------------
// Drop source

HRESULT TDropSource::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDropSource) {
        *object = static_cast<IDropSource*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
    HRESULT result = escape ? DRAGDROP_S_CANCEL : !(keys & Button) ? DRAGDROP_S_DROP : S_OK;
    if (List && List->OnDDQueryContinueDrag) List->OnDDQueryContinueDrag(List, escape != FALSE, keys, result);
    return result;
}

HRESULT TDropSource::GiveFeedback(DWORD effect) {
    HRESULT result = DRAGDROP_S_USEDEFAULTCURSORS;
    if (List && List->OnDDGiveFeedback) List->OnDDGiveFeedback(List, effect, result);
    return result;
}

}  // namespace zandrel
