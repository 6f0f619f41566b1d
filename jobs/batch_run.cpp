#include "jobs/batch_run.h"

#include <algorithm>
#include <optional>

#include "console/DosCommand.h"
#include "framework/application.h"
#include "framework/files.h"
#include "framework/names.h"
#include "framework/text.h"
#include "jobs/file_safety.h"
#include "jobs/temporary_files.h"
#include "jobs/work_claim.h"

namespace zandrel {
namespace {

std::wstring PutBackSaid(bool putBack) {
    return putBack ? L" (the file was put back as it was)"
                   : L" (the file could not be put back: it is left as UPX made it)";
}

constexpr DWORD kStartAgainAfterMs = 1000;

bool Compresses(const JobForm& form) { return !form.decompress && !form.testFlag && !form.listFlag; }

// Why a run could not start, in the system's words: one file of many that fails so
// (no memory, no handles left) is not a wrong UPX path.
std::wstring StartFailure(std::uint32_t code, const std::wstring& program) {
    if (!code) return {};
    std::wstring text = SystemErrorText(code);
    for (auto at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at))
        text.replace(at, 2, FileNamePart(program));  // "%1 is not a valid Win32 application"
    while (!text.empty() && text.back() == L'.') text.pop_back();
    return L" (" + text + L")";
}

}  // namespace

// One folder has many spellings (\\?\C:\..., C:\a\..\b, a short form, a junction): by its
// text alone app.exe and app.dll would be packed at once, and a UPX that dies could take
// the other's work file. The folder's identity is asked once per spelling where kept.
std::wstring UpxWorkFilesKey(const std::wstring& path, std::map<std::wstring, std::wstring>* folderKeys) {
    const std::wstring folder = FolderForSystem(FolderPart(path));
    std::map<std::wstring, std::wstring> once;
    auto& keys = folderKeys ? *folderKeys : once;
    auto known = keys.find(folder);
    if (known == keys.end()) {
        std::wstring identity = FileIdentity(folder);
        if (identity.empty()) identity = FoldedName(FullPathOf(folder));  // as the system spells it
        known = keys.emplace(folder, std::move(identity)).first;
    }
    return known->second + L"|" + UpxWorkStem(path);
}

// One file's way through the batch.
struct TBatchRun::FileWork {
    JobPlan plan;                                // of the step running now
    std::shared_ptr<TemporaryFiles> temporaries;  // that step's working copies
    std::vector<std::wstring> lines;             // the heading, then UPX's output of every step
    // A compress without Backup: a private copy of the file until UPX's test passes.
    std::unique_ptr<TemporaryFiles> safety;
    bool complete = false;
    bool changesFile = false;              // a compress or decompress that ran
    std::optional<FileStamp> resultStamp;  // the file as the batch left it, once done
    std::optional<FileStamp> originalStamp;  // its backup then: an undo takes only that
    std::optional<FileStamp> packedStamp;    // the file as UPX packed it, until its test ends
    std::unique_ptr<WorkClaim> claim;        // while the file is at work: other Zandrels leave it alone
};

// One UPX at a time, captured.
struct TBatchRun::Slot {
    TDosCommand command;
    std::size_t index = 0;
    bool busy = false, check = false;
    bool triedAgain = false;  // this step's start failed once already
    LineGrowth growth;
    std::vector<std::wstring> output;  // this run's lines, for UPX's reason
};

TBatchRun::TBatchRun(IJobHost& host, std::wstring recordKey) : host_(host), recordKey_(std::move(recordKey)) {}

TBatchRun::~TBatchRun() {
    // A UPX working on a file is let finish, with the check and the restore that follow:
    // ending it could leave the file half-written (UPX replaces a file by removing it and
    // renaming its new one). Nothing else starts, and the owner hears no more.
    OnFileChanged = nullptr;
    OnOutput = nullptr;
    OnFinished = nullptr;
    stopping_ = true;
    GiveUpSecondTries();
    for (auto& slot : slots_)
        while (slot->busy) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Application::Instance().ProcessMessages();
        }
    *alive_ = false;
}

void TBatchRun::Start(const std::vector<std::wstring>& files, const JobForm& form, int parallel,
                      const std::vector<std::int64_t>& sizes) {
    if (running_ || files.empty()) return;
    form_ = form;
    disk_ = std::make_unique<BatchDisk>(host_, form.upx);
    folderIdentities_.clear();
    parallel_ = std::max(1, parallel);
    running_ = true;
    stopping_ = false;
    next_ = 0;
    outcomes_.assign(files.size(), {});
    work_.clear();
    for (std::size_t i = 0; i < files.size(); ++i) {
        outcomes_[i].path = files[i];
        if (i < sizes.size()) outcomes_[i].sizeBefore = sizes[i];
        work_.push_back(std::make_unique<FileWork>());
    }
    while (slots_.size() < static_cast<std::size_t>(parallel_)) slots_.push_back(std::make_unique<Slot>());
    StartMore();
}

void TBatchRun::Stop() {
    if (!running_) return;
    stopping_ = true;
    GiveUpSecondTries();
    StartMore();
}

// A file waiting out the pause before its second try has no UPX at work: a stop (or the
// program closing) starts none for it, and the file ends as not started.
void TBatchRun::GiveUpSecondTries() {
    for (auto& slot : slots_)
        if (slot->busy && slot->triedAgain) slot->command.GiveUpPutOffStart();
}

bool TBatchRun::Running() const { return running_; }

bool TBatchRun::Holds(const std::wstring& path) const {
    if (!running_) return false;
    for (std::size_t i = 0; i < outcomes_.size(); ++i)
        if (!work_[i]->complete && host_.CompareFiles(path, outcomes_[i].path) != Sameness::Different) return true;
    return false;
}

bool TBatchRun::SharesWorkFilesWithWork(const std::wstring& path) const {
    const std::wstring key = WorkFilesKey(path);
    return std::any_of(slots_.begin(), slots_.end(), [&](const auto& slot) {
        return slot->busy && WorkFilesKey(outcomes_[slot->index].path) == key;
    });
}

std::wstring TBatchRun::WorkFilesKey(const std::wstring& path) const { return UpxWorkFilesKey(path, &folderIdentities_); }

void TBatchRun::StartMore() {
    for (auto& slot : slots_) {
        while (!slot->busy && !stopping_ && next_ < outcomes_.size()) {
            // app.dll waits while app.exe is at work: UPX would name their work files alike.
            if (SharesWorkFilesWithWork(outcomes_[next_].path)) break;
            const std::size_t index = next_++;
            BatchFileOutcome& outcome = outcomes_[index];
            FileWork& work = *work_[index];
            work.lines = {L"---- " + outcome.path};
            outcome.sizeBefore = FileSizeOf(outcome.path);
            // Another Zandrel's job on the file is seen by its claim; this batch's is held until the file's end.
            if (ChangesFiles()) work.claim = WorkClaim::Take(WorkFilesKey(outcome.path));
            if ((BusyElsewhere && BusyElsewhere(outcome.path)) || (ChangesFiles() && !work.claim)) {
                outcome.result = BatchResult::Error;
                outcome.reason = L"another job is working on this file, or on one whose UPX work files are named alike";
                Complete(index);
                continue;
            }
            JobForm form = form_;
            form.keepOriginal = Compresses(form_) && !form_.backup;
            BatchJob job = PrepareBatchJob(form, outcome.path, *disk_);
            if (job.plan.way == RunWay::None) {
                outcome.result = job.plan.alreadyPacked ? BatchResult::AlreadyPacked : BatchResult::Error;
                outcome.reason = job.plan.alreadyPacked ? std::wstring(L"nothing was changed") : job.refusal;
                if (job.plan.alreadyPacked) outcome.sizeAfter = outcome.sizeBefore;
                Complete(index);
                continue;
            }
            work.plan = std::move(job.plan);
            work.changesFile = !form_.testFlag && !form_.listFlag;
            outcome.result = BatchResult::Working;
            for (const auto& note : RenamedNotes(work.plan.files)) work.lines.push_back(note);
            // Without a backup, a result that fails its test is put back from this copy.
            if (!work.plan.privateCopy.empty())
                work.safety = std::make_unique<TemporaryFiles>(std::vector<std::wstring>{work.plan.privateCopy},
                                                               recordKey_, outcome.path);
            Launch(*slot, index, false);
            Changed(index);
        }
    }
    if (stopping_)
        for (; next_ < outcomes_.size(); ++next_) {
            outcomes_[next_].result = BatchResult::NotDone;  // never started
            Complete(next_);
        }
    if (running_ && std::none_of(slots_.begin(), slots_.end(), [](const auto& s) { return s->busy; }) &&
        next_ == outcomes_.size()) {
        running_ = false;
        if (OnFinished) OnFinished(outcomes_);
    }
}

void TBatchRun::Launch(Slot& slot, std::size_t index, bool check, std::uint32_t delayMs) {
    FileWork& work = *work_[index];
    // A second try keeps the step's working copies: they were made for it.
    if (!work.temporaries) work.temporaries = std::make_shared<TemporaryFiles>(work.plan.files.temporaries, recordKey_);
    slot.index = index;
    slot.check = check;
    slot.busy = true;
    slot.growth.Reset();
    slot.output.clear();
    TDosCommand& command = slot.command;
    command.CommandLine = work.plan.commandLine;
    command.CurrentDirectory = work.plan.files.currentFolder;
    command.ReportStartFailure = false;
    // No console of its own: UPX's streams are the pipes, and under Wine a console
    // is one more process (conhost) per run, about 45 ms each.
    command.CreationFlag = TCreationFlag::fDETACHED_PROCESS;
    // The window shows output a few times a second: a short run hands it over once, at its end.
    command.GatherMs = 250;
    command.GatherFromStart = true;
    command.StartDelayMs = delayMs;
    // A UPX writing the user's file is never ended half-way, not even with the program.
    command.EndWithProgram = work.plan.files.writesOnlyTemporaries;
    command.OnNewLine = [this, &slot, alive = alive_](TDosCommand*, const std::string& line, TOutputType type) {
        if (!*alive) return;
        auto& lines = work_[slot.index]->lines;
        const std::wstring text = FromAnsi(line);
        const bool replaces = slot.growth.ReplacesLast(type);
        KeepLine(lines, text, replaces);
        KeepLine(slot.output, text, replaces);
        if (OnOutput) OnOutput(slot.index);
    };
    command.OnTerminated = [this, &slot, alive = alive_](TDosCommand* sender, DWORD exitCode) {
        if (!*alive) return;
        const TRunStatus status = sender->RunStatus();
        // A run that never started has the system's reason as its code.
        const bool started = status == TRunStatus::rsProcessEnded;
        const bool notMade = status == TRunStatus::rsPipesFailed || status == TRunStatus::rsProcessFailed;
        if (notMade && StartAgain(slot, sender->ExitCode())) return;
        slot.triedAgain = false;
        Ended(slot, started ? exitCode : sender->ExitCode(), started);
    };
    command.Execute();
}

// A UPX whose process could not be made is tried once more after a pause: it has not
// touched the file, and such a failure may pass (under Wine about one start in two
// thousand fails in the child's own start-up). Once a second try failed too, the
// batch reports later failures at once: UPX is gone, or not a program.
bool TBatchRun::StartAgain(Slot& slot, std::uint32_t error) {
    if (slot.triedAgain) triedInVain_ = true;
    if (slot.triedAgain || triedInVain_ || stopping_) return false;
    slot.triedAgain = true;
    work_[slot.index]->lines.push_back(L"UPX could not be started" + StartFailure(error, form_.upx) +
                                       L"; it is tried once more.");
    if (OnOutput) OnOutput(slot.index);
    Launch(slot, slot.index, slot.check, kStartAgainAfterMs);
    return true;
}

void TBatchRun::Ended(Slot& slot, std::uint32_t exitCode, bool started) {
    const std::size_t index = slot.index;
    BatchFileOutcome& outcome = outcomes_[index];
    FileWork& work = *work_[index];
    slot.busy = false;
    const RunOutcome run{started ? 0u : 1u, exitCode, {}};
    const std::wstring upxSaid = UpxReason(slot.output);
    bool good = false;
    if (!slot.check) {
        const std::wstring said = FinishBatchJob(work.plan, run, *disk_);
        work.temporaries.reset();
        outcome.result = started ? ResultOfExitCode(exitCode) : BatchResult::Error;
        if (outcome.result == BatchResult::Done && !said.empty()) outcome.result = BatchResult::Error;
        // UPX's own words where it ended normally; what happened to the file where it did not.
        if (outcome.result != BatchResult::Done)
            outcome.reason = upxSaid.empty() || (started && !UpxEndedNormally(exitCode)) ? said : upxSaid;
        if (!started) outcome.reason += StartFailure(exitCode, form_.upx);
        if (!started && exitCode == ERROR_CANCELLED) {  // a stop came in the pause before a second try
            outcome.result = BatchResult::NotDone;
            outcome.reason = L"stopped before UPX's second try";
        }
        if (outcome.result == BatchResult::Done && Compresses(form_)) {
            // Done only once UPX's own test of the result passes.
            BatchJob check = PrepareBatchJob(CheckForm(form_), outcome.path, *disk_);
            if (check.plan.way != RunWay::None) {
                work.plan.way = check.plan.way;
                work.plan.commandLine = check.plan.commandLine;
                work.plan.files = check.plan.files;
                work.packedStamp = host_.Stamp(outcome.path);
                outcome.result = BatchResult::Working;  // done only once the test has passed
                Launch(slot, index, true);
                return;
            }
            outcome.result = BatchResult::Error;
            outcome.reason = L"the packed file could not be tested: " + check.refusal;
            outcome.reason += PutBackSaid(PutBack(index));
        }
        good = outcome.result == BatchResult::Done;
    } else {
        work.temporaries.reset();
        good = started && exitCode == 0;
        if (good) outcome.result = BatchResult::Done;
        // A stop in the pause before the test's second try: the packed file is never tested, it goes back.
        const bool stopped = !started && exitCode == ERROR_CANCELLED;
        if (!good) {
            outcome.result = stopped ? BatchResult::NotDone : BatchResult::Error;
            outcome.reason = stopped            ? L"stopped before UPX's second try at testing the packed file"
                             : !upxSaid.empty() ? upxSaid
                             : started          ? L"the packed file failed UPX's test (exit code " + ExitCodeText(exitCode) + L")"
                                                : L"UPX could not be started to test the packed file" + StartFailure(exitCode, form_.upx);
            outcome.reason += PutBackUnlessChanged(index);
        }
    }
    outcome.reason += SettleOriginal(index, good);
    if (!good) DropNeedlessBackup(index);
    // A test or a list leaves the file as it was: no size after, no ratio to show.
    if (ChangesFiles()) outcome.sizeAfter = FileSizeOf(outcome.path);
    Complete(index);
    StartMore();
}

// A backup this job made of a file that ends as it was (UPX refused it, or it went back)
// holds nothing the file does not: it goes, so a batch leaves no clutter beside files it
// did not change. One found with the same bytes was there before: it stays.
void TBatchRun::DropNeedlessBackup(std::size_t index) {
    FileWork& work = *work_[index];
    const std::wstring backup = work.plan.original, path = outcomes_[index].path;
    if (!work.plan.backupMade || backup.empty() || backup == work.plan.privateCopy) return;
    if (!host_.FileExists(path) || !host_.SameContent(path, backup)) return;
    // A copy of a read-only file is read-only too; this one is the batch's own.
    if (host_.RemoveFile(backup) || (host_.SetArchiveAttributeOnly(backup) && host_.RemoveFile(backup)))
        work.plan.original.clear();
}

// A file rewritten between UPX's packing and its test (the user saved a new version
// meanwhile) is no longer the batch's: it stays, and its original is kept beside it.
std::wstring TBatchRun::PutBackUnlessChanged(std::size_t index) {
    const FileWork& work = *work_[index];
    if (work.packedStamp && host_.FileExists(outcomes_[index].path) &&
        host_.Stamp(outcomes_[index].path) != work.packedStamp)
        return L" (the file changed after UPX packed it: it is left as it is now)";
    return PutBackSaid(PutBack(index));
}

bool TBatchRun::PutBack(std::size_t index) {
    const std::wstring& path = outcomes_[index].path;
    const JobPlan& plan = work_[index]->plan;
    // A private copy goes back by a rename (no room needed on the disk); a backup through a
    // copy moved into place (it stays a backup): the file is never half-written either way.
    bool putBack = false;
    if (!plan.privateCopy.empty() && host_.FileExists(plan.privateCopy))
        putBack = host_.MoveReplacing(plan.privateCopy, path);
    else if (!plan.original.empty() && host_.FileExists(plan.original))
        putBack = (host_.FileExists(path) && host_.SameContent(path, plan.original)) ||
                  CopyIntoPlace(plan.original, path, true, host_);
    return putBack;
}

std::wstring TBatchRun::SettleOriginal(std::size_t index, bool fileIsGood) {
    FileWork& work = *work_[index];
    if (!work.safety) return {};
    const std::wstring copy = work.plan.privateCopy, path = outcomes_[index].path;
    // The private copy may be the only original left: it goes only once the file
    // in place is known good or is the original again (or it went back itself).
    if (fileIsGood || !host_.FileExists(copy) || (host_.FileExists(path) && host_.SameContent(path, copy))) {
        work.safety.reset();
        return {};
    }
    if (!host_.FileExists(path) && host_.MoveNew(copy, path)) {
        work.safety.reset();
        return L"; the file was put back as it was";
    }
    for (unsigned n = 1; n <= 99; ++n) {
        const std::wstring name = BackupName(path, n);
        if (host_.FileExists(name) || host_.FolderExists(name) || !host_.MoveNew(copy, name)) continue;
        work.safety.reset();  // moved: nothing of it is removed, its note goes
        return L"; the original is kept as " + name;
    }
    work.safety->Keep();
    return L"; the original is kept as " + copy;
}

void TBatchRun::Complete(std::size_t index) {
    FileWork& work = *work_[index];
    work.complete = true;
    work.claim.reset();
    if (work.lines.empty()) work.lines.push_back(L"---- " + outcomes_[index].path);
    // Only a file with something to go back from may be undone: without a backup (the
    // original is then the private copy) that copy went once UPX's test passed.
    const bool backedUp = !work.plan.original.empty() && work.plan.original != work.plan.privateCopy;
    if (outcomes_[index].result == BatchResult::Done && work.changesFile && (backedUp || work.safety)) {
        work.resultStamp = host_.Stamp(outcomes_[index].path);
        if (!work.plan.original.empty()) work.originalStamp = host_.Stamp(work.plan.original);
    }
    Changed(index);
}

void TBatchRun::Changed(std::size_t index) {
    if (OnFileChanged) OnFileChanged(index);
}

const std::vector<std::wstring>& TBatchRun::Output(std::size_t index) const { return work_.at(index)->lines; }

bool TBatchRun::CanUndo(std::size_t index) const {
    const FileWork& work = *work_[index];
    if (outcomes_[index].result != BatchResult::Done || !work.changesFile || !work.resultStamp) return false;
    // A file changed since the batch is no longer the batch's to put back.
    if (host_.Stamp(outcomes_[index].path) != work.resultStamp) return false;
    const JobPlan& plan = work.plan;
    return (!plan.privateCopy.empty() && host_.FileExists(plan.privateCopy)) ||
           (!plan.original.empty() && host_.FileExists(plan.original) && BackupUnchanged(work));
}

bool TBatchRun::BackupUnchanged(const FileWork& work) const {
    // Only matters where the backup is what goes back (the private copy is gone).
    if (!work.plan.privateCopy.empty() && host_.FileExists(work.plan.privateCopy)) return true;
    return work.plan.original.empty() || host_.Stamp(work.plan.original) == work.originalStamp;
}

bool TBatchRun::MayUndo() const {
    if (running_) return false;
    for (std::size_t i = 0; i < outcomes_.size(); ++i)
        if (outcomes_[i].result == BatchResult::Done && work_[i]->changesFile && work_[i]->resultStamp) return true;
    return false;
}

void TBatchRun::ForgetWhatCannotGoBack() {
    if (running_) return;
    for (std::size_t i = 0; i < outcomes_.size(); ++i)
        if (!CanUndo(i)) work_[i]->resultStamp.reset();
}

std::size_t TBatchRun::Undoable() const {
    if (running_) return 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < outcomes_.size(); ++i) count += CanUndo(i);
    return count;
}

std::vector<std::size_t> TBatchRun::Undo() {
    std::vector<std::size_t> left;
    if (running_) return left;
    for (std::size_t i = 0; i < outcomes_.size(); ++i) {
        BatchFileOutcome& outcome = outcomes_[i];
        FileWork& work = *work_[i];
        if (outcome.result != BatchResult::Done || !work.changesFile || !work.resultStamp) continue;
        // A Start at work on the file (or its backup) would mix its result with this one.
        if (BusyElsewhere && (BusyElsewhere(outcome.path) ||
                              (!work.plan.original.empty() && BusyElsewhere(work.plan.original)))) {
            outcome.reason = L"not put back: another job is working on this file; undo again once it has ended";
            left.push_back(i);
            Changed(i);
            continue;
        }
        // Another program (or the user) changed the file since: the batch no longer owns it.
        if (host_.Stamp(outcome.path) != work.resultStamp) {
            outcome.reason = L"not put back: the file changed after the batch";
            work.resultStamp.reset();  // no longer the batch's result: never asked again
            Changed(i);
            continue;
        }
        // A backup rewritten since is no longer this file's original.
        if (!BackupUnchanged(work)) {
            outcome.reason = L"not put back: its backup changed after the batch";
            work.resultStamp.reset();
            Changed(i);
            continue;
        }
        if (!CanUndo(i)) continue;
        if (PutBack(i)) {
            outcome.result = BatchResult::PutBack;
            outcome.reason.clear();
            work.resultStamp.reset();
        } else {
            outcome.reason = L"could not be put back: it is left as the batch made it";
            left.push_back(i);
        }
        outcome.sizeAfter = FileSizeOf(outcome.path);
        Changed(i);
    }
    return left;
}

}  // namespace zandrel
