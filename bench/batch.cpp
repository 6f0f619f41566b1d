// A batch of 40 copies of a real program from Wine's system folder, the UPX
// stand-in taking a fixed time per run: wall time with one UPX per processor
// against the same batch one file at a time, in the same run, and Zandrel's own
// CPU while it waits. Usage: bench_batch STANDIN.exe   prints "name value unit" lines.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "jobs/batch_run.h"
#include "framework/application.h"
#include "jobs/job_host.h"

namespace {

using namespace zandrel;
using zandrel::bench::Now;
using zandrel::bench::OwnCpuMs;

std::vector<std::wstring> FreshCopies(const std::wstring& folder, int count) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\notepad.exe";
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder + L"\\copy" + std::to_wstring(i) + L".exe");
        CopyFileW(program.c_str(), files.back().c_str(), FALSE);
    }
    return files;
}

struct Timed {
    double wallMs, cpuPercent;
    int done;
};

Timed RunBatch(IJobHost& host, const JobForm& form, const std::vector<std::wstring>& files, int parallel) {
    TBatchRun batch(host, L"");
    bool finished = false;
    int done = 0;
    batch.OnFinished = [&](const std::vector<BatchFileOutcome>& outcomes) {
        for (const auto& o : outcomes) done += o.result == BatchResult::Done;
        finished = true;
    };
    const double cpu0 = OwnCpuMs(), t0 = Now();
    batch.Start(files, form, parallel);
    while (!finished) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        Application::Instance().ProcessMessages();
    }
    const double wall = Now() - t0;
    return {wall, 100.0 * (OwnCpuMs() - cpu0) / wall, done};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    auto& app = Application::Instance();
    app.Initialize();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"zandrel-bench-batch";
    CreateDirectoryW(folder.c_str(), nullptr);
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const int processors = static_cast<int>(info.dwNumberOfProcessors);

    WinJobHost host(app.Dialogs(), nullptr);
    JobForm form;
    form.upx = argv[1];
    form.level = L"9";
    form.backup = false;
    SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"400");  // each UPX run takes this long, at least
    const Timed parallel = RunBatch(host, form, FreshCopies(folder, 40), processors);
    const Timed serial = RunBatch(host, form, FreshCopies(folder, 40), 1);
    for (const auto& file : FreshCopies(folder, 40)) DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());

    std::printf("batch_40_files_at_once %.0f ms (%d UPX at once, %d done)\n", parallel.wallMs, processors,
                parallel.done);
    std::printf("batch_40_files_one_by_one %.0f ms (%d done)\n", serial.wallMs, serial.done);
    std::printf("batch_ratio_at_once_to_one_by_one %.2f x\n", parallel.wallMs / serial.wallMs);
    std::printf("batch_own_cpu_while_waiting %.2f %% of one core\n", serial.cpuPercent);
    return 0;
}
