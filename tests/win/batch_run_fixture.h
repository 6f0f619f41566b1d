#pragma once
// A batch over real files, outside the main window, with the stand-in as UPX: the set-up
// the batch's fault and attack tests share.
#include "test_support.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/files.h"
#include "jobs/batch_run.h"
#include "jobs/job_host.h"

namespace zandrel::test {

// A program's bytes: a header, then `size` bytes in all that differ by `seed`.
inline std::string ProgramBytes(std::size_t size, char seed = 'p') {
    std::string bytes = "MZ";
    for (std::size_t i = 2; i < size; ++i) bytes.push_back(static_cast<char>(seed + i * 5));
    return bytes;
}

class BatchRunFixture : public ::testing::Test {
protected:
    RecordingDialogs dialogs;
    WinJobHost host{dialogs, nullptr};
    std::unique_ptr<TBatchRun> batch = std::make_unique<TBatchRun>(host, L"");
    std::vector<BatchFileOutcome> finished;  // as the batch's end gave them
    bool done = false;
    TempDir dir{L"zb"};

    void SetUp() override { Listen(); }
    void Listen() {
        batch->OnFinished = [this](const std::vector<BatchFileOutcome>& files) {
            finished = files;
            done = true;
        };
    }
    // Compress at level 6 with `upx`, with or without backups.
    static JobForm FormFor(const std::wstring& upx, bool backup) {
        JobForm form;
        form.upx = upx;
        form.level = L"6";
        form.backup = backup;
        return form;
    }
    // A program of `size` bytes: a header, then bytes that do not repeat soon.
    std::wstring Program(const std::wstring& name, std::size_t size = 2500) const {
        std::string bytes = "MZ";
        for (std::size_t i = 2; i < size; ++i) bytes.push_back(static_cast<char>(i * 7));
        WriteBytes(dir / name, bytes);
        return dir / name;
    }
    // Pumps until `ready`; false when time ran out first.
    static bool PumpUntil(const std::function<bool()>& ready, int ms = 30000) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
        while (!ready() && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            PumpMessages();
        }
        return ready();
    }
    // Runs the batch to its end; `step` is called while it runs, until it says it is done.
    bool Run(const std::vector<std::wstring>& files, const JobForm& form, int atOnce, std::function<bool()> step = {}) {
        done = false;
        batch->Start(files, form, atOnce);
        const ULONGLONG end = GetTickCount64() + 60000;
        while (!done && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
            if (step && step()) step = nullptr;
        }
        return done;
    }
};

}  // namespace zandrel::test
