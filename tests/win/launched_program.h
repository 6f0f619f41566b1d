// A real zandrel.exe started as a separate process, and its windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

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

inline std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

inline HWND ChildWithText(HWND parent, const std::wstring& text) {
    for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(parent, child, nullptr, nullptr)) {
        if (TextOf(child) == text) return child;
        if (const HWND inner = ChildWithText(child, text)) return inner;
    }
    return nullptr;
}

inline HWND WaitForWindowTitled(DWORD pid, const std::wstring& title, int waitMs = 10000) {
    for (int waited = 0; waited < waitMs; waited += 50) {
        for (const HWND w : VisibleWindows(pid, nullptr))
            if (TextOf(w) == title) return w;
        Sleep(50);
    }
    return nullptr;
}

// The program's visible windows of a class, waited for.
inline HWND WaitForWindowOfClass(DWORD pid, const wchar_t* windowClass, int waitMs = 10000) {
    for (int waited = 0; waited < waitMs; waited += 50) {
        const auto found = VisibleWindows(pid, windowClass);
        if (!found.empty()) return found.front();
        Sleep(50);
    }
    return nullptr;
}

// The main window's three file fields, top to bottom: UPX, source, target.
inline std::vector<HWND> FileFields(HWND main) {
    std::vector<HWND> edits;
    EnumChildWindows(
        main,
        [](HWND child, LPARAM param) {
            wchar_t cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (_wcsicmp(cls, L"Edit") == 0 && IsWindowVisible(child))
                reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&edits));
    std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return edits;
}

// The started program packs a small program with the stand-in in a hidden run (no
// backup), behind its wait window. Start the program with STANDIN_SLEEP_MS set (a
// second) so that the window shows: the stand-in takes the program's environment.
inline void PacksAFileInAHiddenRun(const Launched& run, HWND main, const TempDir& work) {
    const std::string program = std::string("MZ\0\1\2 a program", 16);
    WriteBytes(work / L"app.exe", program);
    const auto fields = FileFields(main);
    ASSERT_EQ(fields.size(), 3u);
    const std::wstring texts[] = {StandinPath(), work / L"app.exe", work / L"app.exe"};
    for (int i = 0; i < 3; ++i)
        SendMessageTimeoutW(fields[i], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(texts[i].c_str()), SMTO_BLOCK, 5000,
                            nullptr);
    const HWND dosBox = ChildWithText(main, L"D&os box");
    const HWND backup = ChildWithText(main, L"&Backup");
    ASSERT_TRUE(dosBox && backup);
    if (SendMessageW(dosBox, BM_GETCHECK, 0, 0) == BST_CHECKED) SendMessageW(dosBox, BM_CLICK, 0, 0);
    if (SendMessageW(backup, BM_GETCHECK, 0, 0) == BST_CHECKED) SendMessageW(backup, BM_CLICK, 0, 0);
    PostMessageW(ChildWithText(main, L"&Start"), BM_CLICK, 0, 0);

    const HWND wait = WaitForWindowOfClass(run.pi.dwProcessId, L"ZandrelHourglass");
    ASSERT_TRUE(wait) << "a hidden run shows the wait window";
    for (int waited = 0; waited < 20000 && IsWindow(wait) && IsWindowVisible(wait); waited += 100) Sleep(100);
    EXPECT_NE(ReadBytes(work / L"app.exe"), program) << "the run packed the file";
}

}  // namespace zandrel::test
