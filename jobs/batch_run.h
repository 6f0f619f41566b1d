#pragma once
// A batch job: every file done in place as Start does it, with up to
// `parallel` UPX at once, each captured on its own (a file's output is kept
// with the file, never mixed with another's). A compressed file counts as done
// only after UPX's own test of the result; one that fails it is put back from
// its backup, or from a private copy kept until the test passes.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jobs/batch.h"

namespace zandrel {

// The folder of `path` by its identity on disk, however it is spelled (else as the
// system spells it), and UPX's work stem: files with one key get work files UPX names
// alike. `folderKeys` (where given) keeps each spelling's folder identity.
std::wstring UpxWorkFilesKey(const std::wstring& path, std::map<std::wstring, std::wstring>* folderKeys = nullptr);

class TBatchRun {
public:
    // `host` does Start's file work and must outlive the run; `recordKey` is where
    // working copies are noted while they exist (empty: nowhere).
    TBatchRun(IJobHost& host, std::wstring recordKey);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // A file began or ended its turn, or was put back (its outcome changed), in any order.
    std::function<void(std::size_t index)> OnFileChanged;
    // UPX wrote more for a file at work (its outcome is the same).
    std::function<void(std::size_t index)> OnOutput;
    // Once every file is done or left undone; the summary's rows.
    std::function<void(const std::vector<BatchFileOutcome>& files)> OnFinished;
    // Asked as each file's turn comes, and before an undo puts a file back: another job
    // (a Start) works on this file, so the batch leaves it.
    std::function<bool(const std::wstring& path)> BusyElsewhere;

    // Starts the batch (nothing happens for an empty list or while one runs).
    // `sizes` (where given) are the files' sizes as counted: shown until each file's turn.
    void Start(const std::vector<std::wstring>& files, const JobForm& form, int parallel,
               const std::vector<std::int64_t>& sizes = {});
    // Files UPX is working on finish (UPX is never ended half-way through writing
    // a file); the others are not started and count as not done.
    void Stop();
    bool Running() const;
    // A compress or decompress (a test or a list changes no file).
    bool ChangesFiles() const { return !form_.testFlag && !form_.listFlag; }
    // True when `path` names a file of the running batch, in any spelling.
    bool Holds(const std::wstring& path) const;
    // True when UPX works now on a file whose work files it names as those of `path`.
    bool SharesWorkFilesWithWork(const std::wstring& path) const;
    const std::vector<BatchFileOutcome>& Outcomes() const { return outcomes_; }
    // A file's lines so far: a heading naming it, Zandrel's notes, then UPX's output of each step.
    const std::vector<std::wstring>& Output(std::size_t index) const;

    // The files an undo would put back: done by a compress or decompress, with their
    // backup (or the batch's private copy) still there. None while the batch runs.
    // Files that can no longer go back (changed since, backup gone) are no longer offered.
    void ForgetWhatCannotGoBack();
    std::size_t Undoable() const;
    // Whether an undo may find files to put back, without a look at the disk (Undoable
    // looks at every file): files done by a compress or decompress, not put back since
    // and not found changed. False while the batch runs.
    bool MayUndo() const;
    // Puts those files back as they were before the batch, each whole or not at all;
    // a file changed since the batch ended, one whose backup changed, and one another
    // job works on now are left alone, with the reason. Returns the files it was to put
    // back that are still as the batch made them (in use, no room, another job on them).
    std::vector<std::size_t> Undo();

private:
    struct Slot;
    struct FileWork;
    void StartMore();
    void Launch(Slot& slot, std::size_t index, bool check, std::uint32_t delayMs = 0);
    bool StartAgain(Slot& slot, std::uint32_t error);
    void GiveUpSecondTries();
    void Ended(Slot& slot, std::uint32_t exitCode, bool started);
    void Complete(std::size_t index);
    void Changed(std::size_t index);
    bool CanUndo(std::size_t index) const;
    bool BackupUnchanged(const FileWork& work) const;
    // The file's original (backup or private copy) back in its place; false when it could not be.
    bool PutBack(std::size_t index);
    // After a failed test: PutBack, unless the file changed since UPX packed it; the reason's ending.
    std::wstring PutBackUnlessChanged(std::size_t index);
    void DropNeedlessBackup(std::size_t index);
    std::wstring WorkFilesKey(const std::wstring& path) const;  // UpxWorkFilesKey, folders kept
    // The private copy goes once the file is good or the original again; else it is kept
    // under a backup name, which the returned reason's ending names.
    std::wstring SettleOriginal(std::size_t index, bool fileIsGood);

    IJobHost& host_;
    std::unique_ptr<BatchDisk> disk_;  // host_ as the files are prepared and finished on it
    std::wstring recordKey_;
    JobForm form_;
    int parallel_ = 1;
    bool running_ = false, stopping_ = false;
    bool triedInVain_ = false;  // a second start failed too: no more second tries
    std::size_t next_ = 0;
    std::vector<BatchFileOutcome> outcomes_;
    std::vector<std::unique_ptr<FileWork>> work_;
    std::vector<std::unique_ptr<Slot>> slots_;
    mutable std::map<std::wstring, std::wstring> folderIdentities_;  // by the folder's spelling
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zandrel
