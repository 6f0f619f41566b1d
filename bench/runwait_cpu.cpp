// CPU time of Zandrel's own process while UPX (the stand-in, sleeping 5 s)
// runs: the real runner, hidden and visible, against a polling loop that
// checks the exit code between messages without waiting (the baseline).
// Usage: bench_runwait_cpu STANDIN.exe   prints "name percent" lines.
#include <windows.h>

#include <cstdio>
#include <string>

#include "jobs/run_and_wait.h"

namespace {

double Seconds(const FILETIME& f) {
    return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
}

double OwnCpu() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

template <typename Run>
double Percent(Run run) {
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    const double cpu0 = OwnCpu();
    QueryPerformanceCounter(&t0);
    run();
    QueryPerformanceCounter(&t1);
    const double wall = static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
    return 100.0 * (OwnCpu() - cpu0) / wall;
}

void PollingBaseline(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si,
                        &pi))
        return;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        if (code != STILL_ACTIVE) break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"5000");
    const std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" --version";
    zandrel::ProcessRunAndWait runner;
    zandrel::RunRequest hidden, visible;
    hidden.commandLine = visible.commandLine = command;
    hidden.showCommand = SW_HIDE;
    visible.showCommand = SW_SHOW;
    std::printf("runandwait_cpu_hidden %.2f\n", Percent([&] { runner.RunAndWait(hidden); }));
    std::printf("runandwait_cpu_visible %.2f\n", Percent([&] { runner.RunAndWait(visible); }));
    std::printf("polling_baseline_cpu %.2f\n", Percent([&] { PollingBaseline(command); }));
    return 0;
}
