// The file list: keys, mouse, type-ahead and renaming in place.
#include "browser/DirView.h"

#include "browser/FileSearch.h"
#include "framework/application.h"
#include "framework/error.h"
#include "framework/files.h"

namespace zandrel {
namespace {

constexpr const wchar_t* kForbidden = L"\\/:*?\"<>|";
const UINT kReEdit = RegisterWindowMessageW(L"ZandrelDirViewReEdit");

struct RenameTexts {
    const wchar_t *invalid, *cannot, *exists;
};
RenameTexts RenameMessages(int language) {
    if (language == 7)
        return {L"Dateiname enthält ungültige Zeichen:", L"Datei oder Verzeichnis kann nicht umbenannt werden: ",
                L"Datei oder Verzeichnis ist bereits vorhanden: "};
    if (language == 12)
        return {L"Le nom de fichier contient des caractères invalides:", L"Ne peux renommer le fichier: ",
                L"File allready exists: "};
    return {L"Filename contains invalid characters:", L"Can't rename file or directory: ", L"File allready exists: "};
}

}  // namespace

void TDirView::EditCaption(int index) {
    if (index < 0 || index >= Count()) return;
    ::SetFocus(hwnd_);
    ListView_EditLabel(hwnd_, index);
}

bool TDirView::BeginEdit(int index) {
    const bool again = static_cast<bool>(reEdit_);
    reEdit_ = {};
    const TFileRec* rec = Item(index);
    if (!rec || ReadOnly || isRecycleBinView_ || rec->IsParentDir) return false;
    SetLoadEnabled(false);  // the list stays as it is while a name is typed
    // By its record: items may leave the list while the name is typed (the watch of
    // files moved away), and the control's position would then be another item's.
    editing_ = Hold(index);
    if (const HWND edit = ListView_GetEditControl(hwnd_)) {
        SetWindowSubclass(edit, EditProc, 4, reinterpret_cast<DWORD_PTR>(this));
        if (again && !reEditName_.empty()) {
            SetWindowTextW(edit, reEditName_.c_str());
            SendMessageW(edit, EM_SETSEL, 0, -1);
        }
    }
    return true;
}

LRESULT CALLBACK TDirView::EditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_CHAR && wParam && std::wstring(kForbidden).find(static_cast<wchar_t>(wParam)) != std::wstring::npos) {
        Application::Instance().Dialogs().Beep();  // a name may not hold it
        return 0;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(edit, EditProc, 4);
    return DefSubclassProc(edit, msg, wParam, lParam);
}

void TDirView::EndEdit(const wchar_t* text) {
    struct Allow {
        TDirView& v;
        ~Allow() { v.SetLoadEnabled(true); }  // and a load asked for meanwhile runs now
    } allow{*this};
    const HeldItem edited = std::move(editing_);
    editing_ = {};
    const int index = IndexOf(edited);
    // Cancelled, or the item has left the list meanwhile (its file was moved away).
    if (!text || !*text || index < 0) return;
    TFileRec* rec = edited.record.get();
    const std::wstring newName = text;
    const auto texts = RenameMessages(primaryLanguage_);
    if (newName.find_first_of(kForbidden) != std::wstring::npos) {
        std::wstring message = std::wstring(texts.invalid) + L" ";
        for (const wchar_t* c = kForbidden; *c; ++c) message += L' ', message += *c;
        Application::Instance().ShowException(Error(message));
        return;
    }
    if (OnBeginRename) OnBeginRename(this, index, newName);
    const std::wstring target = JoinPath(edited.folder, newName);  // the folder the item is in
    FileOperator.Operation = TFileOperation::foRename;
    FileOperator.Flags = foAllowUndo | foNoConfirmation;
    FileOperator.Owner = GetAncestor(hwnd_, GA_ROOT);
    FileOperator.OperandFrom = {edited.FullName()};
    FileOperator.OperandTo = {target};
    if (FileOperator.Execute()) {
        rec->FileName = newName;
        rec->DisplayName = newName;
        rec->FileExt = Extension3(newName);
        rec->TypeName.clear();
        rec->PIDL.reset();
        rec->Empty = rec->IconEmpty = true;
        FetchDisplayData(*rec, true);
        ListView_RedrawItems(hwnd_, index, index);
        if (OnEndRename) OnEndRename(this, index, newName);
        return;
    }
    ListView_RedrawItems(hwnd_, index, index);  // the old caption again
    auto& dialogs = Application::Instance().Dialogs();
    MessageBeep(MB_ICONHAND);
    const bool exists = GetFileAttributesW(ApiPath(target).c_str()) != INVALID_FILE_ATTRIBUTES;
    const auto answer = dialogs.Box(GetAncestor(hwnd_, GA_ROOT),
                                    std::wstring(exists ? texts.exists : texts.cannot) + newName, BoxKind::Error,
                                    BoxButtons::OkAbort);
    if (answer == BoxAnswer::Ok) {
        // Type the name again: the editor opens on the same item once this edit has ended.
        reEdit_ = edited;
        reEditName_ = newName;
        PostMessageW(hwnd_, kReEdit, 0, 0);
    }
}

void TDirView::EnterPressed() {
    const int focused = FocusedItem();
    if (Selected() < 0 && focused >= 0 && items_[static_cast<std::size_t>(focused)]->IsDirectory)
        SetSelected(focused, true);
    if (FocusedItem() < 0) return;
    DoubleClicked();
}

void TDirView::DoubleClicked() {
    if (OnDblClick) OnDblClick();
    ExecuteCurrentFile();
}

bool TDirView::ItemChanged(const NMLISTVIEW& change) {
    // Some list controls announce no coming change for virtual lists: tell the owner now.
    if (!changingSeen_ && OnChanging && (change.uChanged & LVIF_STATE)) {
        bool allow = true;
        OnChanging(this, change.iItem, TItemChange::ctState, allow);
    }
    changingSeen_ = false;
    if (!(change.uChanged & LVIF_STATE)) return false;
    const bool nowSelected = (change.uNewState & LVIS_SELECTED) != 0;
    const bool wasSelected = (change.uOldState & LVIS_SELECTED) != 0;
    if (nowSelected == wasSelected) return false;
    if (change.iItem >= 0 && change.iItem < Count() && nowSelected &&
        items_[static_cast<std::size_t>(change.iItem)]->IsParentDir) {
        SetSelected(change.iItem, false);  // the parent entry is never selected
        return true;
    }
    if (nowSelected && change.iItem < 0 && hasParentDir_) {
        // "Select all" takes in the parent entry too; give it back.
        for (int i = 0; i < Count(); ++i)
            if (items_[static_cast<std::size_t>(i)]->IsParentDir) SetSelected(i, false);
    }
    if (OnSelectItemNew && !loading_) OnSelectItemNew(this, change.iItem, nowSelected);
    return false;
}

int TDirView::FindTypedName(const NMLVFINDITEMW& find) const {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || Count() == 0) return -1;
    const std::wstring wanted = Upper(find.lvfi.psz);
    for (int n = 0; n < Count(); ++n) {
        const int i = (find.iStart + n) % Count();
        const auto& name = items_[static_cast<std::size_t>(i)]->DisplayName;
        if (name.size() >= wanted.size() && Upper(name.substr(0, wanted.size())) == wanted) return i;
    }
    return -1;
}

bool TDirView::InputNotify(const NMHDR& header, LRESULT& result) {
    switch (header.code) {
        case LVN_ITEMCHANGING: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            bool allow = true;
            changingSeen_ = true;
            if (OnChanging) {
                const TItemChange kind = (change.uChanged & LVIF_STATE)  ? TItemChange::ctState
                                         : (change.uChanged & LVIF_TEXT) ? TItemChange::ctText
                                                                         : TItemChange::ctImage;
                OnChanging(this, change.iItem, kind, allow);
            }
            result = allow ? FALSE : TRUE;
            return true;
        }
        case LVN_ITEMCHANGED:
            return ItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
        case LVN_ODSTATECHANGED: {
            const auto& change = reinterpret_cast<const NMLVODSTATECHANGE&>(header);
            if ((change.uNewState & LVIS_SELECTED) && hasParentDir_)
                for (int i = change.iFrom; i <= change.iTo && i < Count(); ++i)
                    if (i >= 0 && items_[static_cast<std::size_t>(i)]->IsParentDir) SetSelected(i, false);
            return false;
        }
        case LVN_ODFINDITEMW:
            // Typing a name's first letters finds it.
            result = FindTypedName(reinterpret_cast<const NMLVFINDITEMW&>(header));
            return true;
        case LVN_COLUMNCLICK: {
            if (!ColumnClick) return false;
            const auto& click = reinterpret_cast<const NMLISTVIEW&>(header);
            const bool hadSelection = Selected() >= 0;
            sort_ = ColumnClicked(sort_, click.iSubItem);
            SortItems();
            UpdateHeaderSortImages();
            if (OnColumnClick) OnColumnClick();
            if (hadSelection && Selected() >= 0) ListView_EnsureVisible(hwnd_, Selected(), FALSE);
            result = 0;
            return true;
        }
        case NM_DBLCLK:
            DoubleClicked();
            return true;
        case LVN_BEGINDRAG:
            StartDrag(MK_LBUTTON);
            return true;
        case LVN_BEGINRDRAG:
            StartDrag(MK_RBUTTON);
            return true;
        case LVN_BEGINLABELEDITW: {
            const auto& edit = reinterpret_cast<const NMLVDISPINFOW&>(header);
            result = BeginEdit(edit.item.iItem) ? FALSE : TRUE;
            return true;
        }
        case LVN_ENDLABELEDITW: {
            const auto& edit = reinterpret_cast<const NMLVDISPINFOW&>(header);
            EndEdit(edit.item.pszText);
            result = FALSE;  // the caption comes from the record
            return true;
        }
        default:
            return false;
    }
}


LRESULT CALLBACK TDirView::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data) {
    auto* self = reinterpret_cast<TDirView*>(data);
    bool handled = false;
    try {
        const LRESULT result = self->ListMessage(msg, wParam, lParam, handled);
        if (handled) return result;
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

LRESULT TDirView::ListMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (msg == kReEdit) {
        handled = true;
        if (const int item = IndexOf(reEdit_); item >= 0)
            EditCaption(item);
        else
            reEdit_ = {};
        return 0;
    }
    switch (msg) {
        case WM_GETDLGCODE: {
            // Enter belongs to the list (it opens folders), not to the dialog manager.
            const auto* m = reinterpret_cast<const MSG*>(lParam);
            if (m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) && m->wParam == VK_RETURN) {
                handled = true;
                return DefSubclassProc(hwnd_, msg, wParam, lParam) | DLGC_WANTMESSAGE;
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
                handled = true;
                EnterPressed();
                return 0;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_RETURN) {
                handled = true;
                ShowProperties();
                return 0;
            }
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (wParam == L'\r') handled = true;  // no beep for the Enter handled above
            return 0;
        case WM_CONTEXTMENU:
            handled = true;
            ContextMenuKeyOrClick(lParam);
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (OnKeyUp)
                OnKeyUp(static_cast<WORD>(wParam), GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                        GetKeyState(VK_MENU) < 0);
            return 0;
        case WM_NOTIFY: {
            const auto& hdr = *reinterpret_cast<const NMHDR*>(lParam);
            if (hdr.hwndFrom != ListView_GetHeader(hwnd_)) return 0;
            if (hdr.code == HDN_ENDTRACKW || hdr.code == HDN_ENDTRACKA) {
                handled = true;
                const LRESULT r = DefSubclassProc(hwnd_, msg, wParam, lParam);
                int* widths[] = {&ColWidthName, &ColWidthSize, &ColWidthType, &ColWidthDate, &ColWidthAttr};
                for (int i = 0; i < 5; ++i) *widths[i] = ListView_GetColumnWidth(hwnd_, i);
                UpdateHeaderSortImages();
                return r;
            }
            if (hdr.code == HDN_ENDDRAG) {
                handled = true;
                const LRESULT r = DefSubclassProc(hwnd_, msg, wParam, lParam);
                if (OnHeaderEndDrag) OnHeaderEndDrag();
                return r;
            }
            return 0;
        }
        case WM_DESTROY:
            RevokeDragDrop(hwnd_);
            ClearSelection();
            DeleteAllItems();
            return 0;
        default:
            return 0;
    }
}

}  // namespace zandrel
