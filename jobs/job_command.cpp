#include "jobs/job_command.h"

#include "app/descrambler.h"
#include "jobs/file_safety.h"
#include "jobs/upx_program.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

std::wstring Text(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace

std::wstring CommandProgram(const std::wstring& shortPath) {
    // A long path left unshortened must not let "C:\Program Files\x" run C:\Program.exe.
    if (shortPath.find(L' ') != std::wstring::npos) return Quoted(shortPath);
    return shortPath;
}

std::wstring JobSwitches(const JobForm& form) {
    std::wstring args;
    if (form.listFlag)
        args = L"-l";
    else if (form.testFlag)
        args = L"-t";
    else if (form.decompress)
        args = L"-d";
    else if (form.level == L"best")
        args = L"--best";
    else
        args = L"-" + form.level;

    if (form.q)
        args += L" -q";
    else if (form.qq)
        args += L" -qq";
    else if (form.qqq)
        args += L" -qqq";
    // Decompress, test and list take none of them: UPX reads what a packed file says.
    const bool compress = !form.listFlag && !form.testFlag && !form.decompress;
    if (const auto advanced = UpxOptionSwitchText(form.advanced); compress && !advanced.empty()) args += L" " + advanced;
    return args;
}

namespace {

// Where the target is the source in another spelling (case, short name, relative
// path, \\?\ prefix) it is the in-place case, never a file to delete; where the
// system cannot tell, nothing is done.
std::optional<bool> InPlace(const JobForm& form, bool infoJob, IJobDisk& disk) {
    if (infoJob || form.target == form.source) return true;
    if (!disk.FileExists(form.target)) return false;
    switch (disk.CompareFiles(form.source, form.target)) {
        case Sameness::Same: return true;
        case Sameness::Different: return false;
        case Sameness::Unknown: break;
    }
    return std::nullopt;
}

// The notes a plan keeps so that its end can tell what UPX did to the files.
void NoteWhatUpxWrites(JobPlan& plan, bool inPlace, bool infoJob, IJobDisk& disk) {
    const auto& files = plan.files;
    plan.upxWritesInPlace = !infoJob && inPlace && files.resultFrom.empty();
    if (plan.upxWritesInPlace) plan.upxWorkFilesBefore = UpxWorkFiles(plan.source, disk);
    // A target UPX writes itself is new: the way was cleared for it.
    if (!infoJob && !inPlace && files.resultFrom.empty()) plan.targetWritten = files.output;
    plan.resultReplacesSource = !infoJob && inPlace && !files.resultFrom.empty();
    if (plan.upxWritesInPlace || plan.resultReplacesSource) plan.sourceStamp = disk.Stamp(plan.source);
}

// The old target goes before UPX writes the new one. A read-only (hidden, system) one goes
// without its attributes, and gets them back when it cannot go all the same (held by another program).
bool RemoveOldTarget(const std::wstring& target, IJobDisk& disk) {
    if (disk.RemoveFile(target)) return true;
    const std::uint32_t attributes = disk.Attributes(target);
    if (!disk.SetArchiveAttributeOnly(target)) return false;
    if (disk.RemoveFile(target)) return true;
    if (attributes != kNoFile) disk.SetAttributes(target, attributes);
    return false;
}

// The form's fields in their fixed order: the first that is missing or wrong, or nothing.
std::wstring FieldRefusal(const JobForm& form, bool infoJob, IJobDisk& disk) {
    if (!disk.FileExists(form.upx)) return Text(texts::MsgNoUpx);
    if (!disk.FileExists(form.source)) return Text(texts::MsgNoSource);
    if (!infoJob) {
        if (form.target.empty()) return Text(texts::MsgNoTarget);
        const auto folder = FolderPart(form.target);
        if (folder.empty() || !disk.FolderExists(folder)) return Text(texts::MsgNoTargetDir);
        if (FileNamePart(form.target).empty()) return Text(texts::MsgNoTargetName);
    }
    if (form.level.empty()) return Text(texts::MsgNoLevel);
    return {};
}

}  // namespace

JobPlan PrepareJob(const JobForm& form, IJobDisk& disk, IJobQuestions& questions) {
    const bool infoJob = form.testFlag || form.listFlag;
    auto fail = [&questions](const std::wstring& message) {
        questions.ShowError(message);
        return JobPlan{};
    };

    if (const auto refusal = FieldRefusal(form, infoJob, disk); !refusal.empty()) return fail(refusal);

    const auto inPlace = InPlace(form, infoJob, disk);
    if (!inPlace)
        return fail(L"Zandrel cannot tell whether the target " + form.target +
                    L" is the source file itself. Nothing was changed; please choose another target.");
    // UPX itself as the target would be removed before it could start: the job fails, the program is gone.
    if (!infoJob && !*inPlace && disk.FileExists(form.target) &&
        disk.CompareFiles(form.upx, form.target) != Sameness::Different)
        return fail(L"The target " + form.target +
                    L" is the UPX program itself. Nothing was changed; please choose another target.");
    // UPX would refuse it anyway, after the backup had been made: nothing is touched.
    if (!infoJob && !form.decompress && PackedByUpx(form.source, disk)) {
        JobPlan refused = fail(form.source + L" is already packed by UPX. Nothing was changed.");
        refused.alreadyPacked = true;
        return refused;
    }
    // How the files reach UPX is known before anything is touched, so a job UPX
    // cannot be given stops here.
    JobPlan plan;
    plan.source = form.source;
    plan.files = ReachFilesForUpx(form.source, form.target, *inPlace, infoJob, disk);
    if (plan.files.unreachable)
        return fail(Text(texts::MsgNoUpxFolder1) + plan.files.unreachableFolder + Text(texts::MsgNoUpxFolder2));
    if (plan.files.noWorkingName) return fail(Text(texts::MsgNoWorkCopy));

    if (form.backup && !infoJob) {
        plan.original = MakeBackup(form.source, disk, &plan.backupMade);
        if (plan.original.empty() && !questions.AskGoOnWithoutBackup(Text(texts::AskNoBackup))) return {};
    } else if (form.keepOriginal && !infoJob && *inPlace) {
        // No backup was asked for, but the caller puts the file back if the result fails.
        plan.privateCopy = plan.original = CopyToTemporary(form.source, FolderPart(form.source), disk);
        if (plan.original.empty())
            return fail(L"A safety copy of " + form.source +
                        L" could not be made (the disk may be full). Nothing was changed.");
    }
    NoteWhatUpxWrites(plan, *inPlace, infoJob, disk);
    // A job that stops from here on leaves no copy of its own behind.
    const auto giveUp = [&](const std::wstring& message) {
        if (!plan.privateCopy.empty()) disk.RemoveFile(plan.privateCopy);
        if (!message.empty()) questions.ShowError(message);
        return JobPlan{};
    };

    // A result UPX writes under a plain name replaces the target only once it is
    // finished (the source then needs a working copy too, or UPX cannot spell the
    // target); otherwise UPX needs the way cleared, as it will not overwrite.
    const bool replacedAtTheEnd = !plan.files.resultTo.empty();
    if (!*inPlace && disk.FileExists(form.target)) {
        if (!questions.AskReplace(Text(texts::AskReplace))) return giveUp({});
        if (!replacedAtTheEnd && !RemoveOldTarget(form.target, disk))
            return giveUp(Text(texts::MsgDeleteFailed1) + form.target + Text(texts::MsgDeleteFailed2) +
                          Text(texts::MsgDeleteFailed3));
        plan.targetRemoved = !replacedAtTheEnd;
    }
    if (!plan.files.copyFrom.empty() && disk.CopyFileNew(plan.files.copyFrom, plan.files.copyTo) != CopyResult::Copied)
        return giveUp(Text(texts::MsgNoWorkCopy));

    std::wstring args = JobSwitches(form);
    args += L" " + Quoted(plan.files.source);
    if (!plan.files.output.empty()) args += L" -o " + Quoted(plan.files.output);

    plan.commandLine = CommandProgram(disk.ShortPath(form.upx)) + L" " + args;
    plan.way = infoJob ? RunWay::Console : form.dosBox ? RunWay::Visible : RunWay::Hidden;
    return plan;
}

bool UpxEndedNormally(std::uint32_t exitCode) { return exitCode <= 2; }

std::wstring ExitCodeText(std::uint32_t exitCode) {
    if (exitCode < 0x10000) return std::to_wstring(exitCode);
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(exitCode >> shift) & 0xF];
    return text;
}

std::wstring UpxReasonOf(const JobPlan& plan, const RunOutcome& outcome) {
    std::wstring reason = UpxReason(outcome.output);
    for (const auto& [real, given] : plan.files.renamed) {
        // The full plain path first, then its bare name (UPX started in its folder).
        for (const std::wstring& name : {given, FileNamePart(given)})
            for (auto at = reason.find(name); !name.empty() && at != std::wstring::npos; at = reason.find(name, at + real.size()))
                reason.replace(at, name.size(), real);
    }
    return reason;
}

void ReportOutcome(RunWay, const RunOutcome& outcome, IJobQuestions& questions, const std::wstring& reason) {
    if (outcome.startResult != 0) {
        questions.ShowError(Text(texts::MsgStartFailed));
        return;
    }
    // Also after a visible run: UPX's console closes the moment UPX ends, so
    // the user could not have read its message. UPX's own reason follows where
    // it was caught (a hidden run).
    const std::wstring upxSaid = reason.empty() ? std::wstring() : L"\n\nUPX: " + reason;
    if (outcome.exitCode == 1)
        questions.ShowError(Text(texts::MsgJobError) + upxSaid);
    else if (outcome.exitCode == 2)
        questions.ShowError(Text(texts::MsgJobWarning) + upxSaid);
    else if (!UpxEndedNormally(outcome.exitCode))
        questions.ShowError(L"UPX did not end normally (exit code " + ExitCodeText(outcome.exitCode) +
                            L"): the file was not processed.");
}

namespace {

// A result UPX wrote under a plain name goes onto the wanted file. A file in the
// way that is read-only, hidden or system is made replaceable for the move, and
// gets its attributes back when the move fails all the same.
bool PutResult(const UpxFiles& files, IJobDisk& disk) {
    if (disk.MoveReplacing(files.resultFrom, files.resultTo)) return true;
    const std::uint32_t attributes = disk.Attributes(files.resultTo);
    constexpr std::uint32_t guarded = kReadOnly | kHidden | kSystem;
    if (attributes == kNoFile || !(attributes & guarded)) return false;
    if (!disk.SetAttributes(files.resultTo, (attributes & ~guarded) | kArchive)) return false;
    if (disk.MoveReplacing(files.resultFrom, files.resultTo)) return true;
    disk.SetAttributes(files.resultTo, attributes);
    return false;
}

}  // namespace

JobEnd FinishJob(const JobPlan& plan, const RunOutcome& outcome, IJobDisk& disk, IJobQuestions& questions) {
    const auto& files = plan.files;
    if (outcome.startResult == 0 && !UpxEndedNormally(outcome.exitCode)) {
        const std::wstring said = MakeWholeAfterUpx(plan.source, plan, disk);
        questions.ShowError(L"UPX did not end normally (exit code " + ExitCodeText(outcome.exitCode) + L"). " +
                            (said.empty() ? std::wstring(L"Nothing was changed.") : said));
        return JobEnd::MadeWhole;
    }
    // UPX removes the file just before it renames its new one: a rename that failed
    // (the new file taken by a scanner) leaves it missing, whatever UPX then says.
    if (outcome.startResult == 0 && plan.upxWritesInPlace && !disk.FileExists(plan.source)) {
        questions.ShowError(L"UPX ended (exit code " + ExitCodeText(outcome.exitCode) +
                            L") without the file in its place. " + MakeWholeAfterUpx(plan.source, plan, disk));
        return JobEnd::MadeWhole;
    }
    // An error's exit code, but a file UPX removes before such an end is there: UPX was ended
    // from outside. Its work file is the job's own; a target may be another program's, made
    // meanwhile (UPX then refused to write it), so it stays, with a word.
    if (outcome.startResult == 0 && outcome.exitCode != 0 && UpxLeftItsWorkFile(plan.source, plan, disk)) {
        questions.ShowError(L"UPX ended (exit code " + ExitCodeText(outcome.exitCode) +
                            L") without finishing its work. " + MakeWholeAfterUpx(plan.source, plan, disk));
        return JobEnd::Unfinished;
    }
    if (outcome.startResult == 0 && outcome.exitCode != 0 && !plan.targetWritten.empty() &&
        disk.FileExists(plan.targetWritten)) {
        questions.ShowError(L"UPX ended (exit code " + ExitCodeText(outcome.exitCode) + L"), yet " + plan.targetWritten +
                            L" is there: UPX may have been ended before it finished it. Check it before you use it.");
        return JobEnd::Unfinished;
    }
    if (outcome.startResult == 0 && outcome.exitCode == 0 && !files.resultFrom.empty()) {
        // A source changed while UPX worked on its copy keeps the change.
        if (plan.resultReplacesSource && plan.sourceStamp && disk.Stamp(files.resultTo) != plan.sourceStamp) {
            questions.ShowError(files.resultTo +
                                L" was changed while UPX worked on a copy of it. The changed file was kept; UPX's "
                                L"result was not put in its place.");
            return JobEnd::ResultNotPut;
        }
        if (!PutResult(files, disk)) {
            questions.ShowError(Text(texts::MsgResultNotPut1) + files.resultTo + Text(texts::MsgResultNotPut2));
            return JobEnd::ResultNotPut;
        }
    }
    ReportOutcome(plan.way, outcome, questions, UpxReasonOf(plan, outcome));
    return JobEnd::AsUpxSaid;
}

std::vector<std::wstring> RenamedNotes(const UpxFiles& files) {
    std::vector<std::wstring> notes;
    for (const auto& [real, given] : files.renamed)
        notes.push_back(Text(texts::NoteUpxName1) + real + Text(texts::NoteUpxName2) + given + L".");
    return notes;
}

}  // namespace zandrel
