// The console runner and the console message window, as the program uses them:
// - 1 MB of output (20,000 lines) shown in the window, against the same output
//   into a plain list of strings (the runner alone), in the same run;
// - Zandrel's own CPU while a captured run's UPX is silent for 5 s;
// - the delay from UPX writing a line to the line reaching the window's memo.
// Usage: bench_capture STANDIN.exe   prints "name value unit" lines.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Main.h"
#include "bench_support.h"
#include "console/MsgOut.h"
#include "framework/application.h"

namespace {

using zandrel::bench::Now;
using zandrel::bench::OwnCpuMs;

using namespace zandrel;

unsigned long long PreciseTime() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Runs the message loop until the runner is idle (and the memo has its text).
void RunUntilIdle(TDosCommand& runner) {
    auto& app = Application::Instance();
    while (runner.Running()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        app.ProcessMessages();
    }
    app.ProcessMessages();
}

// Delays of the "tick I T" lines, seen as they enter the memo (the memo puts a
// line break before each new line, so the newest line has none after it).
std::vector<double> delays;
long lastTick = 0;
double inMemoMs = 0;
int memoEdits = 0;

// Time the memo itself takes for its edits, apart from the rest of the way.
LRESULT CALLBACK TimeMemo(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const double t0 = Now();
    const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
    if (msg == EM_REPLACESEL) inMemoMs += Now() - t0, ++memoEdits;
    return result;
}

LRESULT CALLBACK WatchMemo(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
    if (msg == EM_REPLACESEL || msg == WM_SETTEXT) {
        const unsigned long long now = PreciseTime();
        const int length = GetWindowTextLengthW(hwnd);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(hwnd, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        for (std::size_t at = text.find(L"tick "); at != std::wstring::npos; at = text.find(L"tick ", at + 1)) {
            wchar_t* rest = nullptr;
            const long tick = wcstol(text.c_str() + at + 5, &rest, 10);
            if (tick <= lastTick) continue;
            lastTick = tick;
            const unsigned long long written = _wcstoui64(rest, nullptr, 10);
            delays.push_back(static_cast<double>(now - written) / 1e4);
        }
    }
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    auto& app = Application::Instance();
    app.Initialize();
    TfrmMain form(bench::Deps());
    TMessageOutput messageOutput;
    form.MessageOutput = &messageOutput;
    form.Show();
    app.ProcessMessages();
    form.edUPX.SetText(argv[1]);
    const std::wstring help = L"\"" + std::wstring(argv[1]) + L"\" --help";

    // 1 MB into the window (the Help button's way), then into a plain list.
    SetEnvironmentVariableW(L"STANDIN_FLOOD", L"20000");
    SetWindowSubclass(messageOutput.memOutput.Handle(), TimeMemo, 2, 0);
    double t0 = Now();
    form.btnUPXHelp.Click();
    RunUntilIdle(form.DosCommand1);
    messageOutput.Flush();
    const double windowMs = Now() - t0;
    RemoveWindowSubclass(messageOutput.memOutput.Handle(), TimeMemo, 2);
    const int shownLines = static_cast<int>(SendMessageW(messageOutput.memOutput.Handle(), EM_GETLINECOUNT, 0, 0));
    TDosCommand plain;
    std::vector<std::string> list;
    plain.OutputTarget = &list;
    plain.CommandLine = help;
    t0 = Now();
    plain.Execute();
    RunUntilIdle(plain);
    const double plainMs = Now() - t0;
    SetEnvironmentVariableW(L"STANDIN_FLOOD", nullptr);
    std::printf("capture_1mb_into_console_window %.0f ms (%d lines shown)\n", windowMs, shownLines);
    std::printf("capture_1mb_into_plain_list %.0f ms (%zu lines)\n", plainMs, list.size());
    std::printf("capture_ratio_window_to_plain %.2f x\n", windowMs / plainMs);
    std::printf("capture_1mb_time_in_the_memos_edits %.0f ms (%d edits)\n", inMemoMs, memoEdits);

    // A captured Test whose UPX is silent for 5 s: what Zandrel spends meanwhile.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tested = std::wstring(temp) + L"zandrel-bench-tested.exe";
    const HANDLE file = CreateFileW(tested.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    form.edSource.SetText(tested);
    SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"5000");
    const double cpu0 = OwnCpuMs();
    t0 = Now();
    form.btnTest.Click();
    RunUntilIdle(form.DosCommand1);
    const double silentWall = Now() - t0;
    const double silentCpu = OwnCpuMs() - cpu0;
    SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", nullptr);
    DeleteFileW(tested.c_str());
    std::printf("capture_silent_5s_own_cpu %.2f %% of one core (%.0f ms over %.0f ms)\n",
                100.0 * silentCpu / silentWall, silentCpu, silentWall);

    // Lines 150 ms apart: from the write to the memo.
    SetWindowSubclass(messageOutput.memOutput.Handle(), WatchMemo, 1, 0);
    SetEnvironmentVariableW(L"STANDIN_TICKS", L"40");
    form.btnUPXVersion.Click();
    RunUntilIdle(form.DosCommand1);
    for (const double end = Now() + 200; Now() < end;) app.ProcessMessages(), Sleep(5);  // the last batch
    SetEnvironmentVariableW(L"STANDIN_TICKS", nullptr);
    RemoveWindowSubclass(messageOutput.memOutput.Handle(), WatchMemo, 1);
    std::sort(delays.begin(), delays.end());
    if (!delays.empty()) {
        std::printf("line_delay_median %.1f ms (%zu of 40 lines)\n", delays[delays.size() / 2], delays.size());
        std::printf("line_delay_max %.1f ms\n", delays.back());
    } else {
        std::printf("line_delay_median nan ms (no line seen)\n");
    }
    form.MessageOutput = nullptr;
    return 0;
}
