#pragma once
// Drag-and-drop tests' fixture: a main window's file list, the shell's data
// objects for files, a folder on another drive, and drops onto the list.
#include "browser_fixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include "browser/DragDrop.h"
#include "browser/DragDropFilesEx.h"
#include "framework/application.h"

namespace zandrel::test {

// The shell's data object for files of one folder, as Explorer would drag them.
inline IDataObject* FilesData(const std::wstring& folder, const std::vector<std::wstring>& names) {
    IShellFolder* desktop = nullptr;
    IShellFolder* shellFolder = nullptr;
    PIDLIST_ABSOLUTE pidl = nullptr;
    IDataObject* data = nullptr;
    std::vector<PITEMID_CHILD> children;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && SUCCEEDED(SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder)))) {
        for (auto name : names) {
            PIDLIST_RELATIVE child = nullptr;
            if (SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child, nullptr)))
                children.push_back(reinterpret_cast<PITEMID_CHILD>(child));
        }
        shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                   const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), IID_IDataObject, nullptr,
                                   reinterpret_cast<void**>(&data));
    }
    for (auto c : children) CoTaskMemFree(const_cast<ITEMID_CHILD*>(c));
    if (shellFolder) shellFolder->Release();
    if (pidl) CoTaskMemFree(pidl);
    if (desktop) desktop->Release();
    return data;
}

// A temp folder on drive Z: (Wine's view of the whole Linux tree).
struct ZDir {
    std::wstring path;
    ZDir() {
        path = L"Z:\\tmp\\zandrel-drop-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~ZDir() {
        WIN32_FIND_DATAW d;
        const HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do DeleteFileW((path + L"\\" + d.cFileName).c_str());
            while (FindNextFileW(h, &d));
            FindClose(h);
        }
        RemoveDirectoryW(path.c_str());
    }
    std::wstring operator/(const std::wstring& n) const { return path + L"\\" + n; }
};

class DragDrop : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow();
        list = &form->ShellDir1;
        form->FilterComboBox1.SetItemIndex(2);
        list->OnDDError = [this](TDirView*, int n) { errors.push_back(n); };
    }
    POINTL Over(int item) const {
        RECT r{LVIR_ICON, 0, 0, 0};
        ListView_GetItemRect(list->Handle(), item, &r, LVIR_ICON);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(list->Handle(), &p);
        return {p.x, p.y};
    }
    POINTL Empty() const {
        RECT r;
        GetClientRect(list->Handle(), &r);
        POINT p{r.right - 3, r.bottom - 3};
        ClientToScreen(list->Handle(), &p);
        return {p.x, p.y};
    }
    // Enter, move over `at` and drop; gives the effect of the drop.
    DWORD DropAt(IDataObject* data, POINTL at, DWORD keys = MK_LBUTTON, DWORD allowed = 7) {
        auto* target = list->DragDropTarget();
        DWORD effect = allowed;
        target->DragEnter(data, keys, at, &effect);
        effect = allowed;
        target->DragOver(keys, at, &effect);
        const DWORD over = effect;
        effect = allowed;
        target->Drop(data, keys & ~(MK_LBUTTON | MK_RBUTTON), at, &effect);
        lastOver = over;
        return effect;
    }
    int Find(const std::wstring& n) const { return list->FindFileItem(n); }
    // A second main window, over to the right, whose list shows `folder`.
    std::unique_ptr<TfrmMain> SecondWindow(const std::wstring& folder) {
        MainDeps deps;
        deps.runner = &runner;
        deps.console = &console;
        deps.settingsKeyOverride = kTestKey;
        deps.splash = false;
        auto second = std::make_unique<TfrmMain>(deps);
        second->FilterComboBox1.SetItemIndex(2);
        second->ShellDir1.SetPath(folder);
        SetWindowPos(second->Handle(), HWND_TOPMOST, 600, 300, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        UpdateWindow(second->Handle());
        return second;
    }
    // A real drag of one item of the list onto the other window's list, which moves it there
    // (one drive); the list's watch then takes it out within about half a second.
    void DragOutTo(const TfrmMain& other, const std::wstring& name) {
        RECT r;
        GetWindowRect(other.ShellDir1.Handle(), &r);
        SetCursorPos(r.right - 10, r.bottom - 10);
        for (int i : list->SelectedItems()) list->SetSelected(i, false);
        list->SetSelected(Find(name), true);
        NMLISTVIEW begin{};
        begin.hdr = {list->Handle(), static_cast<UINT_PTR>(list->Id()), LVN_BEGINDRAG};
        begin.iItem = Find(name);
        SendMessageW(form->Handle(), WM_NOTIFY, begin.hdr.idFrom, reinterpret_cast<LPARAM>(&begin));
    }
    // Lets messages through until the item has left the list or `ms` have passed.
    bool WaitUntilGone(const std::wstring& name, int ms = 3000) {
        for (int waited = 0; waited < ms && Find(name) >= 0; waited += 50) {
            Application::Instance().ProcessMessages();
            Sleep(50);
        }
        return Find(name) < 0;
    }
    TDirView* list = nullptr;
    std::vector<int> errors;
    DWORD lastOver = 0;
};

// Set as the list's drag-image helper, it notes what a drag onto the list offers:
// the shell's object carries item identifiers, a plain file list does not.
struct OfferedFormats : IDropTargetHelper {
    int drags = 0;
    bool identifiers = false, fileList = false;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_IDropTargetHelper ? static_cast<IDropTargetHelper*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(HWND, IDataObject* data, POINT*, DWORD) override {
        ++drags;
        FORMATETC ids{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array")), nullptr, DVASPECT_CONTENT,
                      -1, TYMED_HGLOBAL};
        FORMATETC files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        identifiers = data->QueryGetData(&ids) == S_OK;
        fileList = data->QueryGetData(&files) == S_OK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DragOver(POINT*, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, POINT*, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Show(BOOL) override { return S_OK; }
};

}  // namespace zandrel::test
