#pragma once
// A batch job: every file done in place as Start does it, with up to
// `parallel` UPX at once, each captured on its own. A file's output is handed
// over whole, under a heading naming the file, once that file and every file
// before it are done, so outputs keep the files' order and never mix. A
// compressed file counts as done only after UPX's own test of the result; one
// that fails it is put back from its backup when there is one.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jobs/batch.h"

namespace zandrel {

class TBatchRun {
public:
    // `host` does Start's file work and must outlive the run; `recordKey` is where
    // working copies are noted while they exist (empty: nowhere).
    TBatchRun(IJobHost& host, std::wstring recordKey);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // A finished file's lines, in the files' order: a heading naming it, then UPX's output.
    std::function<void(const std::vector<std::wstring>& lines)> OnFileShown;
    // Once every file is done or left undone; the summary's rows.
    std::function<void(const std::vector<BatchFileOutcome>& files)> OnFinished;
    // Asked as each file's turn comes: another job (a Start) works on this file, so the batch leaves it.
    std::function<bool(const std::wstring& path)> BusyElsewhere;

    // Starts the batch (nothing happens for an empty list or while one runs).
    void Start(const std::vector<std::wstring>& files, const JobForm& form, int parallel);
    // Files UPX is working on finish (UPX is never ended half-way through writing
    // a file); the others are not started and count as not done.
    void Stop();
    bool Running() const;
    // True when `path` names a file of the running batch, in any spelling.
    bool Holds(const std::wstring& path) const;
    // True when UPX works now on a file whose work files it names as those of `path`.
    bool SharesWorkFilesWithWork(const std::wstring& path) const;
    const std::vector<BatchFileOutcome>& Outcomes() const { return outcomes_; }

private:
    struct Slot;
    struct FileWork;
    void StartMore();
    void Launch(Slot& slot, std::size_t index, bool check);
    void Ended(Slot& slot, std::uint32_t exitCode, bool started);
    void Complete(std::size_t index);
    // The file's original (backup or private copy) back in its place; the reason's ending.
    std::wstring PutBack(std::size_t index);
    // The private copy goes once the file is good or the original again; else it is kept
    // under a backup name, which the returned reason's ending names.
    std::wstring SettleOriginal(std::size_t index, bool fileIsGood);
    void ShowReady();

    IJobHost& host_;
    std::wstring recordKey_;
    JobForm form_;
    int parallel_ = 1;
    bool running_ = false, stopping_ = false;
    std::size_t next_ = 0, shown_ = 0;
    std::vector<BatchFileOutcome> outcomes_;
    std::vector<std::unique_ptr<FileWork>> work_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zandrel
