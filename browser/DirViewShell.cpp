// The file list and the shell: executing items, the property sheet, the context menu.
#include "browser/DirView.h"

#include <shellapi.h>

#include "browser/FileSearch.h"
#include "framework/names.h"
#include "framework/application.h"
#include "framework/files.h"

namespace zandrel {

void TDirView::ShowProperties() {
    // Nothing selected: the folder's own sheet; one item: its sheet; several: none.
    const auto selected = SelectedItems();
    if (selected.size() > 1) return;
    const std::wstring name = selected.empty() ? FolderForSystem(listedPath_)
                                               : ItemFullFileName(selected[0]);
    if (name.empty()) return;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = GetAncestor(hwnd_, GA_ROOT);
    info.lpVerb = L"properties";
    info.lpFile = name.c_str();
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

void TDirView::ExecuteCurrentFile() {
    if (GetKeyState(VK_MENU) < 0) return ShowProperties();
    int target = Selected();
    if (target < 0) {
        const int focused = FocusedItem();
        if (focused >= 0 && items_[static_cast<std::size_t>(focused)]->IsParentDir) target = focused;
    }
    if (target < 0) return;
    const TFileRec& rec = *items_[static_cast<std::size_t>(target)];
    if (rec.IsParentDir) {
        if (!loading_) SetPath(path_.substr(0, path_.rfind(L'\\') + 1));
        return;
    }
    if (isRecycleBinView_) return ShowProperties();
    bool allow = true;
    if (OnExecFile) OnExecFile(this, target, allow);
    if (!allow) return;
    const std::wstring full = ItemFullFileName(target);
    if (rec.IsDirectory || rec.FileExt == L"LNK") {
        QuietDriveProbes quiet;
        std::wstring destination = full;
        if (!rec.IsDirectory) destination = ShortcutTarget(full);
        if (rec.IsDirectory && !IsExistingFolder(full)) return Refresh();
        if (IsExistingFolder(destination)) return SetPath(destination);
        if (!IsExistingFile(destination)) return;
    }
    // The item's default command, from the list's folder.
    Application::Instance().Dialogs().ShellRun(GetAncestor(hwnd_, GA_ROOT), full,
                                               FolderForSystem(listedPath_));
}

std::wstring TDirView::ShortcutTarget(const std::wstring& link) const {
    std::wstring result;
    IShellLinkW* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell))))
        return result;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t target[MAX_PATH + 1]{};
        // Resolved (a target that moved is looked for) without asking and without
        // rewriting the link; the path with its environment variables expanded.
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
            shell->Resolve(GetAncestor(hwnd_, GA_ROOT), SLR_NO_UI | SLR_NOUPDATE | (1000u << 16));
            if (SUCCEEDED(shell->GetPath(target, MAX_PATH, nullptr, 0))) result = target;
        }
        file->Release();
    }
    shell->Release();
    return result;
}

void TDirView::ContextMenuKeyOrClick(LPARAM at) {
    const int first = Selected();
    if (first < 0 || !UseSystemContextMenu) return;  // no menu of its own
    POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: by the first selected item's label.
        RECT label{LVIR_LABEL, 0, 0, 0};
        ListView_GetItemRect(hwnd_, first, &label, LVIR_LABEL);
        p = {label.left + 20, label.top + 20};
        ClientToScreen(hwnd_, &p);
    }
    ShowContextMenu(p);
}

namespace {

// Serves the owner-drawn submenus of the shell's second menu interface.
struct MenuCallback {
    IContextMenu2* menu = nullptr;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<MenuCallback*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && self->menu &&
            (msg == WM_INITMENUPOPUP || msg == WM_DRAWITEM || msg == WM_MEASUREITEM)) {
            self->menu->HandleMenuMsg(msg, wParam, lParam);
            return msg == WM_INITMENUPOPUP ? 0 : TRUE;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

}  // namespace

// The shell's object (context menu, data object) for items of the list's folder; nullptr when
// the shell cannot name them. The caller releases it.
void* TDirView::ShellObjectOf(const std::vector<int>& items, REFIID kind, HWND owner) const {
    const std::wstring folder = FolderForSystem(listedPath_);
    IShellFolder* desktop = nullptr;
    IShellFolder* shellFolder = nullptr;
    PIDLIST_ABSOLUTE folderPidl = nullptr;
    std::vector<PITEMID_CHILD> children;
    void* object = nullptr;
    QuietDriveProbes quiet;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(SHParseDisplayName(folder.c_str(), nullptr, &folderPidl, 0, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(folderPidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder)))) {
        for (int i : items) {
            PIDLIST_RELATIVE child = nullptr;
            std::wstring name = items_[static_cast<std::size_t>(i)]->FileName;
            if (SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child, nullptr)))
                children.push_back(reinterpret_cast<PITEMID_CHILD>(child));
        }
        if (!children.empty())
            shellFolder->GetUIObjectOf(owner, static_cast<UINT>(children.size()),
                                       const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), kind, nullptr, &object);
    }
    for (auto child : children) CoTaskMemFree(const_cast<ITEMID_CHILD*>(child));
    if (shellFolder) shellFolder->Release();
    if (folderPidl) CoTaskMemFree(folderPidl);
    if (desktop) desktop->Release();
    return object;
}

void TDirView::ShowContextMenu(POINT screen) {
    const auto selected = SelectedItems();
    if (selected.empty() || listedPath_.empty()) return;
    // The shell works from the list's folder while its menu is up.
    const DWORD need = GetCurrentDirectoryW(0, nullptr);
    std::wstring saved(need, L'\0');
    saved.resize(GetCurrentDirectoryW(need, saved.data()));
    const std::wstring folder = FolderForSystem(listedPath_);
    SetCurrentDirectoryW(ApiPath(folder).c_str());
    struct Restore {
        const std::wstring& dir;
        ~Restore() { SetCurrentDirectoryW(dir.c_str()); }
    } restore{saved};

    // The selection by its records: while the menu is up (and while the shell carries out a
    // command) the watch of files moved away may take items out, and positions would then
    // name other items, or none.
    std::vector<HeldItem> held;
    for (int i : selected) held.push_back(Hold(i));
    bool canRename = false;
    if (selected.size() == 1) {
        canRename = BeginEdit(selected[0]);
        if (canRename) SetLoadEnabled(true), editing_ = {};  // only asked; no edit runs yet
    }
    // A paste onto a folder or onto several items is the list's own.
    const bool listPastes = held.size() > 1 || held[0].record->IsDirectory;
    auto* menu = ContextMenuFor ? ContextMenuFor(selected)
                                : static_cast<IContextMenu*>(
                                      ShellObjectOf(selected, IID_IContextMenu, GetAncestor(hwnd_, GA_ROOT)));
    std::wstring verb;
    UINT chosen = 0;
    if (menu) {
        IContextMenu2* menu2 = nullptr;
        menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2));
        const UINT last = menu2 ? 1000 : 32767;
        const HMENU popup = CreatePopupMenu();
        menu->QueryContextMenu(popup, 0, 1, last, CMF_EXPLORE | (canRename ? CMF_CANRENAME : 0));
        HWND owner = GetAncestor(hwnd_, GA_ROOT);
        MenuCallback callback{menu2};
        HWND callbackWindow = nullptr;
        if (menu2) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = MenuCallback::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"ShellDialogsCallBack";
            RegisterClassW(&wc);
            callbackWindow = CreateWindowExW(0, L"ShellDialogsCallBack", L"ShellDialogsCallBackProcessor", WS_POPUP,
                                             0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            SetWindowLongPtrW(callbackWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&callback));
            owner = callbackWindow;
        }
        chosen = ChooseFromMenu ? ChooseFromMenu(popup, menu)
                                : static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x,
                                                                   screen.y, 0, owner, nullptr));
        if (chosen > 0) {
            wchar_t name[256]{};
            if (SUCCEEDED(menu->GetCommandString(chosen - 1, GCS_VERBW, nullptr, reinterpret_cast<char*>(name), 256)))
                verb = Lower(name);
            // Rename is the list's own (its caption editor), and so is a paste onto a folder or
            // onto several items.
            if (verb != L"rename" && !(verb == L"paste" && listPastes)) {
                CMINVOKECOMMANDINFO invoke{};
                invoke.cbSize = sizeof invoke;
                invoke.hwnd = GetAncestor(hwnd_, GA_ROOT);
                invoke.lpVerb = MAKEINTRESOURCEA(chosen - 1);
                invoke.nShow = SW_SHOWNORMAL;
                menu->InvokeCommand(&invoke);
            }
        }
        if (callbackWindow) DestroyWindow(callbackWindow);
        DestroyMenu(popup);
        if (menu2) menu2->Release();
        menu->Release();
    }

    AfterMenuCommand(verb, held, listPastes);
    Sleep(250);  // the shell may still be at work on the files
    ValidateSelectedFiles();
}

void TDirView::AfterMenuCommand(const std::wstring& verb, const std::vector<HeldItem>& held, bool listPastes) {
    if (verb == L"rename") {
        if (const int item = IndexOf(held[0]); item >= 0) EditCaption(item);
    } else if (verb == L"cut") {
        PendingClipboardMark = TClipboardMark::Cut;
        PendingCutSequence = GetClipboardSequenceNumber();
        PendingCutNames.clear();
        for (auto& rec : items_) rec->Cut = false;
        for (const auto& item : held) {
            item.record->Cut = true;
            PendingCutNames.push_back(item.FullName());
        }
        InvalidateRect(hwnd_, nullptr, FALSE);
    } else if (verb == L"copy") {
        PendingClipboardMark = TClipboardMark::Copy;
    } else if (verb == L"paste" && listPastes) {
        // Into the (first) selected item, which must be a folder.
        const TFileRec& first = *held[0].record;
        if (!first.IsDirectory)
            ReportDropError(1);
        else
            PasteInto(first.IsParentDir ? held[0].folder.substr(0, held[0].folder.rfind(L'\\')) : held[0].FullName());
    } else {
        Refresh();
    }
}

}  // namespace zandrel
