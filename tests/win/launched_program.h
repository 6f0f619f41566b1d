// A real zandrel.exe started as a separate process, and its windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace zandrel::test {

struct Launched {
    PROCESS_INFORMATION pi{};
    ~Launched() {
        if (pi.hProcess) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 9);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
};

inline void Launch(Launched& run, const std::wstring& exe, const std::wstring& arguments,
                   const std::wstring& folder = {}) {
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.empty() ? nullptr : folder.c_str(), &si, &run.pi));
}

// The program's visible top-level windows of a class, by process.
inline std::vector<HWND> VisibleWindows(DWORD pid, const wchar_t* windowClass) {
    std::vector<HWND> found;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        wchar_t cls[64] = {};
        GetClassNameW(w, cls, 64);
        if (owner == pid && IsWindowVisible(w) && (!windowClass || wcscmp(cls, windowClass) == 0)) found.push_back(w);
    }
    return found;
}

inline HWND FindMainWindow(DWORD pid, int waitMs = 15000) {
    for (int waited = 0; waited < waitMs; waited += 50) {
        HWND found = nullptr;
        while ((found = FindWindowExW(nullptr, found, L"ZandrelMain", nullptr))) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == pid && IsWindowVisible(found)) return found;
        }
        Sleep(50);
    }
    return nullptr;
}

// The texts of a window's edit fields, in window order (the UPX, source and target fields).
inline std::vector<std::wstring> EditTexts(HWND main) {
    std::vector<std::wstring> texts;
    EnumChildWindows(
        main,
        [](HWND child, LPARAM param) {
            wchar_t cls[32];
            GetClassNameW(child, cls, 32);
            if (_wcsicmp(cls, L"Edit") == 0) {
                wchar_t text[1024] = {};
                SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                                    nullptr);
                reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Closes the main window as the user would and expects a clean exit.
inline void CloseAndWait(Launched& run, HWND main) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(run.pi.hProcess, 15000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(run.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace zandrel::test
