// Batches of fresh copies of a real program from Wine's system folder, all in one
// folder as a user's folder would be, the UPX stand-in taking a fixed time per run.
//
// - Zandrel's batch (TBatchRun, wired to the batch window as the main window
//   wires it: its working copies noted in the settings, every file's change to
//   the window's table), compress then UPX's test per file, two at once, no backup;
//   against the way UPX's own command line runs the same work (`xargs -P2`: two
//   workers, each starting UPX on a file, then `-t` on it, one plain pipe read
//   until it closes, then a wait for the process), in the same run, on the same
//   copies. For 60 and for 1,000 files, so growth shows.
// - Meanwhile a thread posts a message to the batch's thread every 10 ms with
//   its time; the worst delay until it is handled is printed, and Zandrel's own
//   CPU (the process less that thread) as a share of one core. The baseline runs
//   with the same messages handled by its idle main thread: what they cost is the
//   probe's, not Zandrel's, and is printed apart.
// - One UPX per processor against one at a time (40 files).
//
// Usage: bench_batch STANDIN.exe [COUNT...]   (no counts: 60 and 1000, then the 40-file
// comparison). Prints "name value unit" lines.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/descrambler.h"
#include "app/globals.h"
#include "bench_support.h"
#include "batch/BatchWindow.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "jobs/batch_run.h"
#include "jobs/job_host.h"
#include "zandrel_texts.h"

namespace {

using namespace zandrel;
using zandrel::bench::Now;
using zandrel::bench::OwnCpuMs;

// Each UPX run sleeps this long before its work (the real UPX takes about as long
// on a 490 KB program under Wine, start included, with what the stand-in does).
constexpr const wchar_t* kRunMs = L"70";

std::wstring SystemProgram() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\notepad.exe";
}

std::wstring Numbered(int i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"prog%04d.exe", i);
    return name;
}

// `count` fresh copies in `folder`, replacing what a run before left there.
std::vector<std::wstring> FreshCopies(const std::wstring& folder, int count) {
    const std::wstring program = SystemProgram();
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder + L"\\" + Numbered(i));
        SetFileAttributesW(files.back().c_str(), FILE_ATTRIBUTE_NORMAL);
        CopyFileW(program.c_str(), files.back().c_str(), FALSE);
    }
    return files;
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + data.cFileName).c_str());
        while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

double ThreadCpuMs(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

// A message posted every 10 ms to a window of this thread, carrying the time it
// was posted; the worst delay until it is handled.
class ResponseProbe {
public:
    ResponseProbe() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Receive;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ZandrelBenchProbe";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    ~ResponseProbe() {
        Stop();
        DestroyWindow(window_);
    }
    void Start() {
        worst_ = 0;
        handled_ = late_ = 0;
        running_ = true;
        poster_ = CreateThread(nullptr, 0, Post, this, 0, nullptr);
    }
    // The poster's own CPU so far (it is not Zandrel's).
    double PosterCpuMs() const { return poster_ ? ThreadCpuMs(poster_) : 0; }
    void Stop() {
        running_ = false;
        if (!poster_) return;
        WaitForSingleObject(poster_, INFINITE);
        CloseHandle(poster_);
        poster_ = nullptr;
    }
    double WorstMs() const { return worst_; }
    long Handled() const { return handled_; }
    long Late() const { return late_; }

private:
    static DWORD WINAPI Post(void* self) {
        auto& probe = *static_cast<ResponseProbe*>(self);
        while (probe.running_) {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            PostMessageW(probe.window_, WM_APP + 7, static_cast<WPARAM>(now.QuadPart), 0);
            Sleep(10);
        }
        return 0;
    }
    static LRESULT CALLBACK Receive(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg != WM_APP + 7) return DefWindowProcW(hwnd, msg, wParam, lParam);
        LARGE_INTEGER frequency, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&now);
        const double delay = static_cast<double>(now.QuadPart - static_cast<LONGLONG>(wParam)) * 1000.0 /
                             static_cast<double>(frequency.QuadPart);
        worst_ = std::max(worst_, delay);
        late_ += delay > 100;
        ++handled_;
        return 0;
    }
    HWND window_ = nullptr;
    HANDLE poster_ = nullptr;
    std::atomic<bool> running_{false};
    static inline double worst_ = 0;
    static inline long handled_ = 0, late_ = 0;
};

// The longest handlings of a message on the batch's thread, with what they were: a
// late message is told apart so from a thread that was only not given a core.
class SlowestHandlings {
public:
    void Dispatch(MSG& msg) {
        const double t0 = Now();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        const double took = Now() - t0;
        total_ += took;
        ++count_;
        wchar_t name[64] = L"?";
        if (msg.hwnd) GetClassNameW(msg.hwnd, name, 64);
        auto& kind = kinds_[std::to_wstring(msg.message) + L" " + name];
        kind.first += took;
        ++kind.second;
        slowest_.push_back({took, msg.message, name});
        std::sort(slowest_.begin(), slowest_.end(), [](const auto& a, const auto& b) { return a.ms > b.ms; });
        if (slowest_.size() > 3) slowest_.pop_back();
    }
    void Print(const std::string& n) const {
        std::printf("batch_%s_files_gui_thread_busy %.0f ms (%ld messages handled)\n", n.c_str(), total_, count_);
        std::vector<std::pair<std::wstring, std::pair<double, long>>> kinds(kinds_.begin(), kinds_.end());
        std::sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) { return a.second.first > b.second.first; });
        for (std::size_t i = 0; i < kinds.size() && i < 5; ++i)
            std::printf("batch_%s_files_gui_thread_on %.0f ms (%ld of message %ls)\n", n.c_str(), kinds[i].second.first,
                        kinds[i].second.second, kinds[i].first.c_str());
        for (const auto& s : slowest_)
            std::printf("batch_%s_files_slow_handling %.1f ms (message 0x%04x to %ls)\n", n.c_str(), s.ms, s.message,
                        s.windowClass.c_str());
    }

private:
    struct Handling {
        double ms;
        UINT message;
        std::wstring windowClass;
    };
    std::vector<Handling> slowest_;
    std::map<std::wstring, std::pair<double, long>> kinds_;  // time and count by message and window class
    double total_ = 0;
    long count_ = 0;
};

struct Timed {
    double wallMs = 0, cpuPercent = 0, guiCpuPercent = 0, worstDelayMs = 0;  // gui: the thread that pumps messages
    int done = 0;
    SlowestHandlings handlings;
};

JobForm BatchForm(const std::wstring& upx) {
    JobForm form;
    form.upx = upx;
    form.level = L"9";
    form.backup = false;
    return form;
}

// Zandrel's batch, its changes going to the batch window as the main window sends them.
Timed RunBatch(const std::wstring& upx, const std::vector<std::wstring>& files, int parallel,
               TBatchWindow* window, ResponseProbe* probe) {
    auto& app = Application::Instance();
    WinJobHost host(app.Dialogs(), nullptr);
    host.NoteCopiesUnder(SettingsKey + WorkingCopiesSubKey);
    TBatchRun batch(host, SettingsKey + WorkingCopiesSubKey);
    bool finished = false;
    Timed timed;
    batch.OnFileChanged = [window](std::size_t index) {
        if (window) window->FileChanged(index);
    };
    batch.OnFinished = [&](const std::vector<BatchFileOutcome>& outcomes) {
        for (const auto& o : outcomes) {
            timed.done += o.result == BatchResult::Done;
            // A file not done is named with its reason: a stall or a failure is told apart so.
            if (o.result != BatchResult::Done) std::printf("batch_file_not_done %ls: %ls\n", o.path.c_str(), o.reason.c_str());
        }
        if (window) window->BatchEnded();
        finished = true;
    };
    if (window) window->ShowBatch(batch, L"Compress at level 9, " + std::to_wstring(files.size()) + L" files");
    if (probe) probe->Start();
    HANDLE gui = GetCurrentThread();
    const double cpu0 = OwnCpuMs() - (probe ? probe->PosterCpuMs() : 0), gui0 = ThreadCpuMs(gui), t0 = Now();
    batch.Start(files, BatchForm(upx), parallel);
    while (!finished) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) timed.handlings.Dispatch(msg);
    }
    timed.wallMs = Now() - t0;
    const double cpu = OwnCpuMs() - (probe ? probe->PosterCpuMs() : 0) - cpu0;
    timed.cpuPercent = 100.0 * cpu / timed.wallMs;
    timed.guiCpuPercent = 100.0 * (ThreadCpuMs(gui) - gui0) / timed.wallMs;
    if (probe) {
        probe->Stop();
        timed.worstDelayMs = probe->WorstMs();
    }
    if (window) window->LetGo();
    return timed;
}

// Held from making a pipe until its child's end is closed here: another worker's child
// must not inherit it, or the read below would wait for that child too (a shell's
// descriptors are closed on exec; here every inheritable handle goes to a new child).
std::mutex startingChild;

// One UPX run as a shell runs it: output on a plain pipe read until it closes, then the wait.
DWORD RunPlain(const std::wstring& commandLine) {
    std::unique_lock starting(startingChild);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &sa, 0)) return 1;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = write;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(write);
    starting.unlock();
    DWORD code = 1;
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        }
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(read);
    return code;
}

// `xargs -P2 sh -c 'upx -9 "$1" && upx -t "$1"'`: `parallel` workers, a file at a time each,
// while this thread only handles the probe's messages.
Timed RunBaseline(const std::wstring& upx, const std::vector<std::wstring>& files, int parallel,
                  ResponseProbe& probe) {
    std::atomic<std::size_t> next{0};
    std::atomic<int> done{0}, working{parallel};
    const HANDLE allDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    probe.Start();
    const HANDLE gui = GetCurrentThread();
    const double cpu0 = OwnCpuMs() - probe.PosterCpuMs(), gui0 = ThreadCpuMs(gui), t0 = Now();
    std::vector<std::thread> workers;
    for (int w = 0; w < parallel; ++w)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < files.size();) {
                const std::wstring file = L" \"" + files[i] + L"\"";
                const DWORD packed = RunPlain(L"\"" + upx + L"\" -9" + file);
                const DWORD tested = packed == 0 ? RunPlain(L"\"" + upx + L"\" -t" + file) : 1;
                if (packed == 0 && tested == 0)
                    ++done;
                else
                    std::printf("batch_baseline_file_not_done %ls: exit codes %lu, %lu\n", files[i].c_str(), packed, tested);
            }
            if (--working == 0) SetEvent(allDone);
        });
    while (MsgWaitForMultipleObjects(1, &allDone, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    Timed timed;
    timed.wallMs = Now() - t0;
    timed.cpuPercent = 100.0 * (OwnCpuMs() - probe.PosterCpuMs() - cpu0) / timed.wallMs;
    timed.guiCpuPercent = 100.0 * (ThreadCpuMs(gui) - gui0) / timed.wallMs;
    probe.Stop();
    for (auto& worker : workers) worker.join();
    CloseHandle(allDone);
    timed.done = done;
    return timed;
}

// The baseline runs before and after Zandrel's batch, and the ratio is taken against
// their mean: the machine's load drifts (its two cores are shared) by some per cent.
void CompareWithCommandLine(const std::wstring& upx, const std::wstring& temp, int count, TBatchWindow& window) {
    const std::wstring folder = temp + L"zandrel-bench-batch-" + std::to_wstring(count);
    RemoveFolder(folder);
    ResponseProbe probe;
    const Timed before = RunBaseline(upx, FreshCopies(folder, count), 2, probe);
    const Timed zandrel = RunBatch(upx, FreshCopies(folder, count), 2, &window, &probe);
    const long handled = probe.Handled(), late = probe.Late();
    const Timed after = RunBaseline(upx, FreshCopies(folder, count), 2, probe);
    RemoveFolder(folder);
    const double baseline = (before.wallMs + after.wallMs) / 2;
    const std::string n = std::to_string(count);
    std::printf("batch_%s_files_zandrel %.0f ms (compress and test, 2 at once, %d of %d done)\n", n.c_str(),
                zandrel.wallMs, zandrel.done, count);
    std::printf("batch_%s_files_command_line_baseline %.0f ms (2 workers, plain pipe read; %.0f before, %.0f after; "
                "%d and %d done)\n",
                n.c_str(), baseline, before.wallMs, after.wallMs, before.done, after.done);
    std::printf("batch_%s_files_ratio_to_command_line %.3f x\n", n.c_str(), zandrel.wallMs / baseline);
    std::printf("batch_%s_files_per_file_overhead %.1f ms (wall time more than the baseline's, per file)\n",
                n.c_str(), (zandrel.wallMs - baseline) / count);
    std::printf("batch_%s_files_worst_message_delay %.0f ms (%ld messages, one every 10 ms; %ld later than 100 ms)\n",
                n.c_str(), zandrel.worstDelayMs, handled, late);
    zandrel.handlings.Print(n);
    const double baselineCpu = (before.cpuPercent + after.cpuPercent) / 2;
    const double probeCpu = (before.guiCpuPercent + after.guiCpuPercent) / 2;
    std::printf("batch_%s_files_own_cpu %.2f %% of one core (the batch's thread %.2f %%; the baseline's own, starting "
                "the same processes: %.2f %%)\n",
                n.c_str(), zandrel.cpuPercent, zandrel.guiCpuPercent, baselineCpu);
    std::printf("batch_%s_files_probe_cpu %.2f %% of one core (the probe's messages, handled by the baseline's idle "
                "thread; in both figures above)\n",
                n.c_str(), probeCpu);
    std::printf("batch_%s_files_own_cpu_less_probe %.2f %% of one core (%.2f %% more than the baseline's)\n", n.c_str(),
                zandrel.cpuPercent - probeCpu, zandrel.cpuPercent - baselineCpu);
    std::fflush(stdout);
}

void CompareAtOnceWithOneByOne(const std::wstring& upx, const std::wstring& temp) {
    const std::wstring folder = temp + L"zandrel-bench-batch-40";
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const int processors = static_cast<int>(info.dwNumberOfProcessors);
    SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"400");
    const Timed parallel = RunBatch(upx, FreshCopies(folder, 40), processors, nullptr, nullptr);
    const Timed serial = RunBatch(upx, FreshCopies(folder, 40), 1, nullptr, nullptr);
    RemoveFolder(folder);
    std::printf("batch_40_files_at_once %.0f ms (%d UPX at once, %d done)\n", parallel.wallMs, processors,
                parallel.done);
    std::printf("batch_40_files_one_by_one %.0f ms (%d done)\n", serial.wallMs, serial.done);
    std::printf("batch_ratio_at_once_to_one_by_one %.2f x\n", parallel.wallMs / serial.wallMs);
    std::printf("batch_own_cpu_while_waiting %.2f %% of one core\n", serial.cpuPercent);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    auto& app = Application::Instance();
    app.Initialize();
    SettingsKey = L"Software\\Orvo\\ZandrelBench";
    WorkingCopiesSubKey = Widen8(BytsToEncStr4(texts::WorkingCopiesSubKey));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring upx = argv[1];
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(_wtoi(argv[i]));
    const bool all = counts.empty();
    if (all) counts = {60, 1000};
    {
        TBatchWindow window(app.Dialogs());
        SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", kRunMs);
        std::printf("batch_stand_in_run_time %ls ms (each UPX run sleeps so long, then does its work)\n", kRunMs);
        for (const int count : counts) CompareWithCommandLine(upx, temp, count, window);
        ShowWindow(window.Handle(), SW_HIDE);
    }
    if (all) CompareAtOnceWithOneByOne(upx, temp);
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, SettingsKey);
    return 0;
}
