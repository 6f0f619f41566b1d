#include "jobs/job_command.h"

#include "app/descrambler.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

std::wstring Text(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace

std::wstring FolderPart(const std::wstring& path) {
    const auto sep = path.find_last_of(L"\\/");
    if (sep == std::wstring::npos) return {};
    // "C:\file" -> "C:\" and "\\file" -> "\": a root keeps its separator.
    const bool root = sep == 0 || (sep == 2 && path[1] == L':');
    return path.substr(0, root ? sep + 1 : sep);
}

std::wstring FileNamePart(const std::wstring& path) {
    const auto sep = path.find_last_of(L"\\/:");
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

std::wstring BackupName(const std::wstring& source) {
    const auto name = source.find_last_of(L"\\/:");
    const auto dot = source.find_last_of(L'.');
    const bool hasExt = dot != std::wstring::npos && (name == std::wstring::npos || dot > name);
    if (!hasExt) return source + L"_zandrel_bak";
    return source.substr(0, dot) + L"_zandrel_bak" + source.substr(dot);
}

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
    return args;
}

JobPlan PrepareJob(const JobForm& form, IJobHost& host) {
    const bool infoJob = form.testFlag || form.listFlag;
    auto fail = [&host](std::span<const std::uint8_t> message) {
        host.ShowError(Text(message));
        return JobPlan{};
    };

    if (!host.FileExists(form.upx)) return fail(texts::MsgNoUpx);
    if (!host.FileExists(form.source)) return fail(texts::MsgNoSource);
    if (!infoJob) {
        if (form.target.empty()) return fail(texts::MsgNoTarget);
        const auto folder = FolderPart(form.target);
        if (folder.empty() || !host.FolderExists(folder)) return fail(texts::MsgNoTargetDir);
        if (FileNamePart(form.target).empty()) return fail(texts::MsgNoTargetName);
    }
    if (form.level.empty()) return fail(texts::MsgNoLevel);

    // The target may name the source in another spelling (case, short name,
    // relative path, \\?\ prefix): then it is the in-place case, never a
    // file to delete.
    const bool inPlace = infoJob || form.target == form.source ||
                         (host.FileExists(form.target) && host.SameFile(form.source, form.target));
    // How the files reach UPX is known before anything is touched, so a job UPX
    // cannot be given stops here.
    JobPlan plan;
    plan.files = ReachFilesForUpx(form.source, form.target, inPlace, infoJob, host);
    if (plan.files.unreachable) {
        host.ShowError(Text(texts::MsgNoUpxFolder1) + plan.files.unreachableFolder + Text(texts::MsgNoUpxFolder2));
        return {};
    }
    if (plan.files.noWorkingName) {
        host.ShowError(Text(texts::MsgNoWorkCopy));
        return {};
    }

    if (form.backup && !infoJob) {
        if (!host.CopyFileReplacing(form.source, BackupName(form.source)) &&
            !host.AskGoOnWithoutBackup(Text(texts::AskNoBackup)))
            return {};
    }

    // A result UPX writes under a plain name replaces the target only once it is
    // finished; otherwise UPX needs the way cleared, as it will not overwrite.
    const bool replacedAtTheEnd = !plan.files.resultTo.empty();
    if (!inPlace && host.FileExists(form.target)) {
        if (!host.AskReplace(Text(texts::AskReplace))) return {};
        if (!replacedAtTheEnd && !host.RemoveFile(form.target) &&
            !(host.SetArchiveAttributeOnly(form.target) && host.RemoveFile(form.target))) {
            host.ShowError(Text(texts::MsgDeleteFailed1) + form.target + Text(texts::MsgDeleteFailed2) +
                           Text(texts::MsgDeleteFailed3));
            return {};
        }
    }

    if (!plan.files.copyFrom.empty() && !host.CopyFileNew(plan.files.copyFrom, plan.files.copyTo)) {
        host.ShowError(Text(texts::MsgNoWorkCopy));
        return {};
    }
    std::wstring args = JobSwitches(form);
    args += L" " + Quoted(plan.files.source);
    if (!plan.files.output.empty()) args += L" -o " + Quoted(plan.files.output);

    plan.commandLine = CommandProgram(host.ShortPath(form.upx)) + L" " + args;
    plan.way = infoJob ? RunWay::Console : form.dosBox ? RunWay::Visible : RunWay::Hidden;
    return plan;
}

void ReportOutcome(RunWay, const RunOutcome& outcome, IJobHost& host) {
    if (outcome.startResult != 0) {
        host.ShowError(Text(texts::MsgStartFailed));
        return;
    }
    // Also after a visible run: UPX's console closes the moment UPX ends, so
    // the user could not have read its message.
    if (outcome.exitCode == 1)
        host.ShowError(Text(texts::MsgJobError));
    else if (outcome.exitCode == 2)
        host.ShowError(Text(texts::MsgJobWarning));
}

void FinishJob(const JobPlan& plan, const RunOutcome& outcome, IJobHost& host) {
    const auto& files = plan.files;
    if (outcome.startResult == 0 && outcome.exitCode == 0 && !files.resultFrom.empty()) {
        // A read-only file in the way is made replaceable, as Start does with a target.
        const bool put = host.MoveReplacing(files.resultFrom, files.resultTo) ||
                         (host.FileExists(files.resultTo) && host.SetArchiveAttributeOnly(files.resultTo) &&
                          host.MoveReplacing(files.resultFrom, files.resultTo));
        if (!put) {
            host.ShowError(Text(texts::MsgResultNotPut1) + files.resultTo + Text(texts::MsgResultNotPut2));
            return;
        }
    }
    ReportOutcome(plan.way, outcome, host);
}

std::vector<std::wstring> RenamedNotes(const UpxFiles& files) {
    std::vector<std::wstring> notes;
    for (const auto& [real, given] : files.renamed)
        notes.push_back(Text(texts::NoteUpxName1) + real + Text(texts::NoteUpxName2) + given + L".");
    return notes;
}

}  // namespace zandrel
