// Start-up to first paint: starts a GUI program, waits until its message loop
// is idle (it has painted and waits for input), then closes it.
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

static double OneStart(const std::wstring& program) {
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    WaitForInputIdle(pi.hProcess, 30000);
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
