#include "browser/DragDrop.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "browser/DirView.h"
#include "browser/DragDropFilesEx.h"
#include "browser/FileSearch.h"
#include "framework/files.h"
#include "framework/error.h"
#include "framework/gui_call.h"
#include "browser/drop_logic.h"
#include "framework/application.h"
#include "framework/names.h"

namespace zandrel {

CLIPFORMAT NameMapFormat() {
    static const auto format = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileNameMapW"));
    return format;
}

std::vector<std::wstring> DroppedFileNames(IDataObject* data) { return ReadDroppedFiles(data).names; }

std::optional<DWORD> PreferredDropEffect(IDataObject* data) {
    static const auto format = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT));
    FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&wanted, &medium))) return std::nullopt;
    std::optional<DWORD> effect;
    if (GlobalSize(medium.hGlobal) >= sizeof(DWORD))
        if (const auto* value = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
            effect = *value;
            GlobalUnlock(medium.hGlobal);
        }
    ReleaseStgMedium(&medium);
    return effect;
}

TDroppedFiles ReadDroppedFiles(IDataObject* data) {
    TDroppedFiles files;
    if (!data) return files;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return files;
    if (const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring name(length + 1, L'\0');
            name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
            files.names.push_back(name);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    // Files dragged out of the recycle bin carry the names they had.
    FORMATETC mapFormat{NameMapFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (SUCCEEDED(data->GetData(&mapFormat, &medium))) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(medium.hGlobal))) {
            const SIZE_T chars = GlobalSize(medium.hGlobal) / sizeof(wchar_t);
            std::vector<std::wstring> mapped;
            for (SIZE_T at = 0; at < chars && text[at] && mapped.size() < files.names.size();) {
                const std::wstring name(text + at, wcsnlen(text + at, chars - at));
                mapped.push_back(name);
                at += name.size() + 1;
            }
            GlobalUnlock(medium.hGlobal);
            if (mapped.size() == files.names.size()) files.mapped = std::move(mapped);
        }
        ReleaseStgMedium(&medium);
    }
    return files;
}

// ---------------------------------------------------------------------------
// A plain file list

namespace {

class FileListData : public IDataObject {
public:
    FileListData(const std::vector<std::wstring>& names, const std::vector<std::wstring>& mapped) {
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
        if (!mapped.empty()) {
            // The names the files are to arrive under, in the same form without a header.
            std::wstring map;
            for (const auto& n : mapped) map += n, map += L'\0';
            map += L'\0';
            map_.resize(map.size() * sizeof(wchar_t));
            memcpy(map_.data(), map.data(), map_.size());
        }
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
        const auto& bytes = format->cfFormat == CF_HDROP ? bytes_ : map_;
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (!memory) return E_OUTOFMEMORY;
        memcpy(GlobalLock(memory), bytes.data(), bytes.size());
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        const bool known = format->cfFormat == CF_HDROP || (!map_.empty() && format->cfFormat == NameMapFormat());
        return known ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC formats[] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                               {NameMapFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
        return SHCreateStdEnumFmtEtc(map_.empty() ? 1 : 2, formats, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG references_ = 1;
    std::vector<std::uint8_t> bytes_, map_;
};

}  // namespace

IDataObject* MakeFileListData(const std::vector<std::wstring>& names, const std::vector<std::wstring>& mapped) {
    return new FileListData(names, mapped);
}

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

// ---------------------------------------------------------------------------
// The list's drops, pastes and drags out

void TDirView::SetDropTarget(int index) {
    HeldItem held = Hold(index);
    if (held.record == dropTarget_.record) return;
    const int old = IndexOf(dropTarget_);
    dropTarget_ = std::move(held);
    if (old >= 0) ListView_RedrawItems(hwnd_, old, old);
    if (index >= 0) ListView_RedrawItems(hwnd_, index, index);
}

DWORD TDirView::AskDropEffect(DWORD allowed, DWORD proposed, POINT screen) {
    const auto texts = DropMenu(primaryLanguage_);
    const HMENU menu = CreatePopupMenu();
    auto add = [&](DWORD effect, const std::wstring& text) {
        if (!(allowed & effect)) return;
        AppendMenuW(menu, MF_STRING, effect, text.c_str());
        if (effect == proposed) SetMenuDefaultItem(menu, effect, FALSE);
    };
    add(DROPEFFECT_MOVE, texts.move);
    add(DROPEFFECT_COPY, texts.copy);
    add(DROPEFFECT_LINK, texts.link);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    constexpr UINT kCancel = 100;
    AppendMenuW(menu, MF_STRING, kCancel, texts.cancel.c_str());
    const UINT chosen = ChooseFromDropMenu ? ChooseFromDropMenu(menu)
                                           : static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                                              screen.x, screen.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    return chosen == DROPEFFECT_MOVE || chosen == DROPEFFECT_COPY || chosen == DROPEFFECT_LINK ? chosen
                                                                                               : DROPEFFECT_NONE;
}

void TDirView::ReportDropError(int number) {
    if (OnDDError) return OnDDError(this, number);
    throw Error(L"DragDrop Error: " + std::to_wstring(number));
}

void TDirView::ProcessDropped(const TDroppedFiles& files, DWORD effect, bool fromThisList) {
    struct Clear {
        TDirView& v;
        ~Clear() { v.SetDropTarget(-1); }
    } clear{*this};
    if (!dirOK_ || effect == DROPEFFECT_NONE || files.names.empty()) return;
    const std::wstring root = FolderForSystem(listedPath_);
    std::wstring target = root;
    bool renameOnCollision = false;
    bool toRecycleBin = isRecycleBinView_;
    // The highlighted item by its record: a menu may have let the watch of moved files
    // take items out meanwhile, and its position would name another folder by now.
    // A folder that has gone is no target: the drop reports it and does nothing.
    if (const HeldItem highlighted = dropTarget_) {
        toRecycleBin = highlighted.record->IsRecycleBin;
        if (highlighted.record->IsParentDir) {
            target = highlighted.folder.substr(0, highlighted.folder.rfind(L'\\'));
            if (target.size() == 2) target += L'\\';
        } else {
            target = highlighted.FullName();
        }
    } else {
        renameOnCollision = effect == DROPEFFECT_COPY && fromThisList;
    }
    CarryOut(files, effect, target, renameOnCollision, toRecycleBin);
    if (OnDDExecuted) OnDDExecuted(this, effect);
}

void TDirView::CarryOut(const TDroppedFiles& files, DWORD effect, const std::wstring& target, bool renameOnCollision,
                        bool toRecycleBin) {
    const auto& names = files.names;
    QuietDriveProbes quiet;
    if (!IsExistingFolder(target)) {
        Reload(true);
        return ReportDropError(1);
    }
    // Files out of the recycle bin, dropped back into it: nothing to do. Only a move goes
    // into it (the files are deleted with undo): a copy there would delete them too.
    if (toRecycleBin && (!files.mapped.empty() || effect != DROPEFFECT_MOVE)) return;
    BusyCursor busy;
    std::wstring folder = target;
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (effect == DROPEFFECT_COPY || effect == DROPEFFECT_MOVE) {
        // Into the recycle bin a file is deleted (with undo, which is what puts it there).
        FileOperator.Operation = toRecycleBin                ? TFileOperation::foDelete
                                 : effect == DROPEFFECT_COPY ? TFileOperation::foCopy
                                                             : TFileOperation::foMove;
        FileOperator.Flags = foAllowUndo | foNoConfirmMkDir;
        if (renameOnCollision) FileOperator.Flags |= foRenameOnCollision;
        FileOperator.WantMappingHandle = renameOnCollision;
        if (toRecycleBin ? !ConfirmDelete : !ConfirmOverwrite) FileOperator.Flags |= foNoConfirmation;
        FileOperator.Owner = GetAncestor(hwnd_, GA_ROOT);
        FileOperator.OperandFrom = names;
        FileOperator.OperandTo.clear();
        if (toRecycleBin) {
        } else if (!files.mapped.empty()) {
            // Each file under the name its source gave it.
            for (const auto& mapped : files.mapped) FileOperator.OperandTo.push_back(JoinPath(folder, mapped));
            FileOperator.Flags |= foMultiDestFiles;
        } else {
            FileOperator.OperandTo = {folder};
        }
        const std::wstring& first = names.front();
        const std::wstring source = IsExistingFolder(first) ? first : first.substr(0, first.find_last_of(L"\\/"));
        bool doOperation = true;
        if (OnDDFileOperation) OnDDFileOperation(this, effect, source, folder, doOperation);
        if (!doOperation) {
            FileOperator.OperandFrom.clear(), FileOperator.OperandTo.clear();
            return;
        }
        FileOperator.Execute();
        Refresh();
        if (OnDDFileOperationExecuted) OnDDFileOperationExecuted(this, effect, source, folder);
        return;
    }
    if (effect == DROPEFFECT_LINK) {
        bool failed = false;
        for (const auto& name : names) failed = !MakeShortcut(name, folder) || failed;
        Refresh();
        if (failed) ReportDropError(0);
    }
}

bool TDirView::MakeShortcut(const std::wstring& dropped, const std::wstring& folder) {
    const std::wstring pretty =
        dropped.size() == 3 && dropped[1] == L':' ? DriveTable().GetPrettyName(dropped[0]) : std::wstring();
    const std::wstring wanted = ShortcutFileName(folder.size() == 3 ? folder.substr(0, 2) : folder, dropped, pretty);
    // A shortcut dropped as a link onto its own folder would become a link to itself.
    if (IsLinkToItself(wanted, dropped) || SameFileOnDisk(wanted, dropped).value_or(true)) return false;
    // Nothing that is there is replaced: the new shortcut takes a free name.
    const std::wstring file = FreeShortcutName(wanted, [](const std::wstring& name) {
        return GetFileAttributesW(ApiPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    });
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    bool ok = SUCCEEDED(
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link)));
    if (ok) {
        const auto slash = dropped.find_last_of(L"\\/");
        const std::wstring base = dropped.substr(slash + 1);
        link->SetPath(dropped.c_str());
        link->SetWorkingDirectory(dropped.substr(0, slash).c_str());
        link->SetDescription(base.substr(0, base.rfind(L'.')).c_str());
        ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
             SUCCEEDED(persist->Save(file.c_str(), TRUE));
    }
    if (persist) persist->Release();
    if (link) link->Release();
    return ok;
}

void TDirView::PasteInto(const std::wstring& targetFolder) {
    if (!dirOK_ || listedPath_.empty() || !IsClipboardFormatAvailable(CF_HDROP)) return;
    // Before the data is read: rendering it may change the clipboard's sequence number.
    const DWORD sequence = GetClipboardSequenceNumber();
    IDataObject* data = nullptr;
    if (FAILED(OleGetClipboard(&data))) return;
    const auto files = ReadDroppedFiles(data);
    const auto preferredEffect = PreferredDropEffect(data);
    data->Release();
    const auto& names = files.names;
    if (names.empty()) return;
    const std::wstring target =
        targetFolder.empty() ? FolderForSystem(listedPath_) : targetFolder;
    if (PendingClipboardMark == TClipboardMark::Cut) {
        // Only files that were cut move, and only while the clipboard still holds that cut
        // (the same data rendered again is still the cut): files copied to it since are
        // copied, whatever mark is pending.
        TDroppedFiles moved, copied;
        const bool sameCut = ClipboardHoldsCut(sequence == PendingCutSequence, preferredEffect);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const bool wasCut = sameCut && std::any_of(PendingCutNames.begin(), PendingCutNames.end(), [&](const auto& c) {
                                    return SameName(c, names[i]);
                                });
            auto& part = wasCut ? moved : copied;
            part.names.push_back(names[i]);
            if (!files.mapped.empty()) part.mapped.push_back(files.mapped[i]);
        }
        if (!moved.names.empty()) {
            CarryOut(moved, DROPEFFECT_MOVE, target, false, false);
            if (OpenClipboard(hwnd_)) {
                EmptyClipboard();
                CloseClipboard();
            }
        }
        if (!copied.names.empty()) CarryOut(copied, DROPEFFECT_COPY, target, false, false);
        // The cut is over, pasted or overtaken.
        for (auto& rec : items_) rec->Cut = false;
        PendingClipboardMark = TClipboardMark::None;
        PendingCutNames.clear();
        InvalidateRect(hwnd_, nullptr, FALSE);
        return;
    }
    if (PendingClipboardMark == TClipboardMark::Copy) {
        const std::wstring& first = names.front();
        const bool sameFolder =
            SameName(first.substr(0, first.find_last_of(L"\\/")), listedPath_);
        CarryOut(files, DROPEFFECT_COPY, target, sameFolder, false);
        return;
    }
    CarryOut(files, DROPEFFECT_COPY, target, false, false);
}

TDirView::DragPicture TDirView::MakeDragPicture(const std::vector<int>& selected) const {
    DragPicture picture;
    if (selected.empty()) return picture;
    if (selected.size() == 1) {
        // The control's own image of the item, held where the mouse took it.
        POINT origin{};
        const HIMAGELIST image = ListView_CreateDragImage(hwnd_, selected[0], &origin);
        if (!image) return picture;
        IMAGEINFO info{};
        ImageList_GetImageInfo(image, 0, &info);
        picture.size = {info.rcImage.right - info.rcImage.left, info.rcImage.bottom - info.rcImage.top};
        picture.bitmap = static_cast<HBITMAP>(CopyImage(info.hbmImage, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ImageList_Destroy(image);
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(hwnd_, &cursor);
        picture.hotSpot = {std::clamp<LONG>(cursor.x - origin.x, 0, picture.size.cx),
                           std::clamp<LONG>(cursor.y - origin.y, 0, picture.size.cy)};
        picture.transparent = GetSysColor(COLOR_WINDOW);
        return picture;
    }
    unsigned files = 0, folders = 0;
    for (int i : selected) (items_[static_cast<std::size_t>(i)]->IsDirectory ? folders : files)++;
    const auto text = DragFilesText(files, folders, primaryLanguage_);
    const auto pages = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), L"DRAGFILES", IMAGE_BITMAP, 0, 0,
                                                       LR_CREATEDIBSECTION));
    if (!pages) return picture;
    const HDC screen = GetDC(nullptr);
    const HDC source = CreateCompatibleDC(screen), dc = CreateCompatibleDC(screen);
    const HGDIOBJ oldSource = SelectObject(source, pages);
    picture.transparent = GetPixel(source, 0, 0);  // the top-left pixel's colour
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    picture.size = {33 + extent.cx + 2, 32};
    picture.bitmap = CreateCompatibleBitmap(screen, picture.size.cx, picture.size.cy);
    const HGDIOBJ oldBitmap = SelectObject(dc, picture.bitmap);
    RECT all{0, 0, picture.size.cx, picture.size.cy};
    const HBRUSH key = CreateSolidBrush(picture.transparent);
    FillRect(dc, &all, key);
    DeleteObject(key);
    BitBlt(dc, 0, 0, 32, 32, source, 0, 0, SRCCOPY);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TextOutW(dc, 33, (32 - extent.cy) / 2, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, oldBitmap);
    SelectObject(dc, oldFont);
    SelectObject(source, oldSource);
    DeleteDC(dc);
    DeleteDC(source);
    ReleaseDC(nullptr, screen);
    DeleteObject(pages);
    picture.hotSpot = {25, 20};
    return picture;
}

void TDirView::StartDrag(DWORD button) {
    const auto selected = SelectedItems();
    if (selected.empty() || listedPath_.empty()) return;
    if (OnDDDragDetect) OnDDDragDetect(this, button);
    std::vector<std::wstring> names;
    for (int i : selected) names.push_back(ItemFullFileName(i));
    IDataObject* data = nullptr;
    {
        BusyCursor busy;  // until the drag's own cursors take over
        // The shell's data object (file names and item identifiers) only where it comes quickly:
        // not for more than 100 items, the recycle folder or a removable drive.
        const bool complete = selected.size() <= 100 && !isRecycleBinView_ && pathDriveType_ != DRIVE_REMOVABLE;
        data = complete ? static_cast<IDataObject*>(ShellObjectOf(selected, IID_IDataObject, hwnd_)) : nullptr;
        // Where the shell cannot make its object (paths too long for it), the plain list still goes.
        if (!data) data = MakeFileListData(names);
    }
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = DRAGDROP_S_CANCEL;
    if (data && UseDragImages) {
        // The shell's helper draws the picture along with the mouse; it takes the bitmap.
        IDragSourceHelper* helper = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                       reinterpret_cast<void**>(&helper)))) {
            const DragPicture picture = MakeDragPicture(selected);
            SHDRAGIMAGE image{picture.size, picture.hotSpot, picture.bitmap, picture.transparent};
            if (!picture.bitmap || FAILED(helper->InitializeFromBitmap(&image, data))) {
                if (picture.bitmap) DeleteObject(picture.bitmap);
            }
            helper->Release();
        }
    }
    if (data) {
        TDropSource source;
        source.Button = button;
        source.List = this;
        dragDrop_->FromThisList = true;
        const DWORD allowed = isRecycleBinView_ ? DROPEFFECT_MOVE : DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        result = DoDragDrop(data, &source, allowed, &effect);
        dragDrop_->FromThisList = false;
        data->Release();
    }
    Application::Instance().ProcessMessages();
    SetDropTarget(-1);
    // A target that moved the files itself reports no effect.
    if (result == DRAGDROP_S_DROP && (effect == DROPEFFECT_MOVE || effect == DROPEFFECT_NONE))
        WatchMovedAway(std::move(names));
}

void TDirView::RemoveItems(const std::vector<std::wstring>& fullNames) {
    // The control keeps its selection by position: carry it by record past the removal.
    const auto selected = SelectedItems();
    for (int i : selected) items_[static_cast<std::size_t>(i)]->marked_ = true;
    const TFileRec* focusedRec = Item(FocusedItem());
    bool removed = false;
    for (const auto& n : fullNames) {
        const int i = FindFileItem(n.substr(n.find_last_of(L"\\/") + 1));
        if (i < 0) continue;
        if (items_[static_cast<std::size_t>(i)]->Size > 0) filesSize_ -= items_[static_cast<std::size_t>(i)]->Size;
        if (items_[static_cast<std::size_t>(i)].get() == focusedRec) focusedRec = nullptr;
        items_.erase(items_.begin() + i);
        removed = true;
    }
    if (!removed) {
        for (auto& rec : items_) rec->marked_ = false;
        return;
    }
    ClearSelection();
    SyncCount();
    for (int i = 0; i < Count(); ++i) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (rec.marked_) SetSelected(i, true), rec.marked_ = false;
        if (&rec == focusedRec) SetFocusedItem(i);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TDirView::WatchMovedAway(std::vector<std::wstring> names) {
    // For ten seconds, every half second: names gone from the disk leave the list too.
    // The thread keeps its own handle of the list's stop event: the list may go first.
    HANDLE stop = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), stopWatching_, GetCurrentProcess(), &stop, SYNCHRONIZE | EVENT_MODIFY_STATE,
                         FALSE, 0))
        return;
    TDirView* self = this;
    // Checked in the GUI thread, where the list is destroyed: a hand-over already on its
    // way when the list goes must not reach it.
    std::shared_ptr<bool> alive = alive_;
    std::thread([names = std::move(names), stop, self, alive]() mutable {
        struct Close {
            HANDLE h;
            ~Close() { CloseHandle(h); }
        } close{stop};
        for (int round = 0; round < 20 && !names.empty(); ++round) {
            if (WaitForSingleObject(stop, 500) == WAIT_OBJECT_0) return;
            std::vector<std::wstring> gone;
            std::erase_if(names, [&](const std::wstring& n) {
                if (GetFileAttributesW(ApiPath(n).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
                gone.push_back(n);
                return true;
            });
            if (gone.empty()) continue;
            const bool ran = GuiCall::Run(
                [self, gone, alive] {
                    // Only the folder the files left: the list may show another one by now.
                    const auto folder = gone.front().substr(0, gone.front().find_last_of(L"\\/"));
                    if (!*alive || !SameName(folder, self->listedPath_)) return;
                    self->RemoveItems(gone);
                },
                stop);
            if (!ran) return;
        }
    }).detach();
}

}  // namespace zandrel
