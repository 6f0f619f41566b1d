#pragma once
// The file browser pane's test fixture: a main window with its file list, and
// helpers for files, times, keys and the tool bar.
#include "test_support.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

namespace zandrel::test {

inline FILETIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                  static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), 0};
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

inline void SetTime(const std::wstring& path, const FILETIME& time) {
    const HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << Narrow(path);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

inline void SetSize(const std::wstring& path, std::int64_t size) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = size;
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

inline void MakeDir(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path); }

inline std::vector<std::wstring> Names(const TDirView& list) {
    std::vector<std::wstring> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Item(i)->FileName);
    return names;
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Holds keys down in the thread's keyboard state, as GetKeyState sees it.
struct HeldKeys {
    BYTE saved[256];
    explicit HeldKeys(std::initializer_list<int> keys) {
        GetKeyboardState(saved);
        BYTE state[256];
        std::copy(std::begin(saved), std::end(saved), state);
        for (int k : keys) state[k] = 0x80;
        SetKeyboardState(state);
    }
    ~HeldKeys() { SetKeyboardState(saved); }
};

class Browser : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow();
        list = &form->ShellDir1;
    }
    // Every file, as with the filter's "All files" entry, without raising its click.
    void AllFiles() { form->FilterComboBox1.SetItemIndex(2); }
    void KeyUp(WORD key, std::initializer_list<int> held) {
        HeldKeys keys(held);
        SendMessageW(list->Handle(), WM_KEYUP, key, 0);
    }
    void Enter() { SendMessageW(list->Handle(), WM_KEYDOWN, VK_RETURN, 0); }
    int Find(const std::wstring& name) const { return list->FindFileItem(name); }
    void Focus(const std::wstring& name) {
        const int i = Find(name);
        ASSERT_GE(i, 0) << Narrow(name);
        list->SetFocusedItem(i);
    }
    // A left click in the middle of a tool-bar button, the way the mouse sends it.
    void ClickTool(const ToolButton& button) {
        const RECT r = button.Rect();
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(button.Bar()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button.Bar()->Handle(), WM_LBUTTONUP, 0, at);
        PumpMessages();
    }

    TDirView* list = nullptr;
};

// A context menu with the commands a shell offers, by verb; it records what it is asked to carry out.
struct FakeContextMenu : IContextMenu {
    std::vector<std::wstring> verbs{L"rename", L"cut", L"copy"};
    std::vector<std::wstring> invoked;
    UINT first = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_IContextMenu ? static_cast<IContextMenu*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT idFirst, UINT, UINT) override {
        first = idFirst;
        for (UINT i = 0; i < verbs.size(); ++i) InsertMenuW(menu, index + i, MF_BYPOSITION, idFirst + i, verbs[i].c_str());
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(verbs.size()));
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        invoked.push_back(verbs[LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb))]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR id, UINT type, UINT*, CHAR* name, UINT size) override {
        if (type != GCS_VERBW || id >= verbs.size()) return E_INVALIDARG;
        lstrcpynW(reinterpret_cast<wchar_t*>(name), verbs[id].c_str(), static_cast<int>(size));
        return S_OK;
    }
};

}  // namespace zandrel::test
