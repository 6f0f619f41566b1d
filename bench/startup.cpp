// Start-up to first paint: starts a GUI program, waits until its main window is
// visible and its message loop answers (the window has painted; a splash shown
// meanwhile does not count), then closes it.
// Usage: bench_startup RUNS PROGRAM...   prints one median in ms per program.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

static BOOL CALLBACK CloseOwn(HWND hwnd, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == static_cast<DWORD>(pid)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

struct Search {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FindMain(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    wchar_t name[64]{};
    GetClassNameW(hwnd, name, 64);
    // The program's main window, or the baselines' only one (not a splash or a task-bar window).
    const bool main = lstrcmpW(name, L"ZandrelMain") == 0 || lstrcmpW(name, L"BenchHello") == 0;
    if (owner != search.pid || !IsWindowVisible(hwnd) || !main) return TRUE;
    search.found = hwnd;
    return FALSE;
}

static double OneStart(const std::wstring& program) {
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    Search search{pi.dwProcessId, nullptr};
    for (int waited = 0; waited < 30000 && !search.found; ++waited) {
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(1);
    }
    // Shown with its first paint done in the same step; the answer comes from its message loop.
    DWORD_PTR answer = 0;
    if (search.found) SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
    QueryPerformanceCounter(&t1);
    EnumWindows(CloseOwn, static_cast<LPARAM>(pi.dwProcessId));
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const int runs = _wtoi(argv[1]);
    for (int p = 2; p < argc; ++p) {
        OneStart(argv[p]);  // warm the file cache
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) times.push_back(OneStart(argv[p]));
        std::sort(times.begin(), times.end());
        std::printf("%.1f\n", times[times.size() / 2]);
    }
    return 0;
}
