// What the main window says after a job, and what it knows of the UPX program:
// the status line, the check that the chosen program is UPX (its version in
// the field's hint), and the file list following the disk after a job wrote
// into the folder it shows.
#include "app/Main.h"

#include <unordered_set>

#include "console/MsgOut.h"
#include "framework/application.h"
#include "framework/files.h"
#include "framework/names.h"
#include "framework/text.h"
#include "jobs/upx_program.h"

namespace zandrel {
namespace {

// Full, without a trailing separator, for comparing folders case aside.
std::wstring FolderKey(const std::wstring& path) {
    std::wstring folder = FullPathOf(path);
    while (folder.size() > 2 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

}  // namespace

void TfrmMain::edUPXChange() {
    // What was said of the program before holds no more.
    edUPXHint_.Set(edUPX.Handle(), L"");
    if (statusTellsUpx_) SetStatus(L"");
    // Asked once typing has stopped for a moment; a job asks at once if it comes first.
    SetTimer(Handle(), kUpxCheckTimer, 400, nullptr);
}

void TfrmMain::UpxCheckAnswered() {
    if (UpxCheck.Program() != edUPX.Text() || !UpxCheck.Known()) return;
    const UpxVerdict verdict = *UpxCheck.Known();
    if (verdict == UpxVerdict::Missing) {
        edUPXHint_.Set(edUPX.Handle(), L"");
        return;
    }
    const std::wstring said = verdict == UpxVerdict::Upx
                                  ? L"UPX " + FromAnsi(UpxCheck.Version())
                                  : UpxProblemText(verdict, UpxCheck.Program(), FromAnsi(UpxCheck.FirstLine()));
    edUPXHint_.Set(edUPX.Handle(), said);
    SetStatus(verdict == UpxVerdict::Upx ? said + L" is ready: " + UpxCheck.Program() : said);
    statusTellsUpx_ = true;
}

void TfrmMain::SetStatus(const std::wstring& text) {
    lblStatus.SetText(text);
    statusHint_.Set(lblStatus.Handle(), text);  // the whole line, where it is cut
    statusTellsUpx_ = false;
}

bool TfrmMain::UpxAccepted(const std::wstring& upx) {
    if (upx.empty() || !IsExistingFile(upx)) return true;  // the checks that say so follow
    // While the answer is awaited messages flow: a second job waits for its own turn,
    // and a window closed meanwhile runs nothing.
    if (answeringUpx_) return false;
    answeringUpx_ = true;
    KillTimer(Handle(), kUpxCheckTimer);
    const UpxVerdict verdict = UpxCheck.Answer(upx);
    answeringUpx_ = false;
    if (closing_ || !Handle() || !IsWindow(Handle()) || Application::Instance().Terminated()) return false;
    if (verdict == UpxVerdict::Upx) return true;
    ShowError(UpxProblemText(verdict, upx, FromAnsi(UpxCheck.FirstLine())));
    return false;
}

void TfrmMain::ReportRun(const JobForm& form, const JobPlan& plan, const RunOutcome& outcome, std::int64_t sizeBefore,
                         JobEnd end) {
    RunReport report;
    report.file = FileNamePart(form.source);
    report.decompress = form.decompress;
    report.sizeBefore = sizeBefore;
    report.sizeAfter = FileSizeOf(plan.upxWritesInPlace || plan.resultReplacesSource ? form.source : form.target);
    report.outcome = outcome;
    report.reason = UpxReasonOf(plan, outcome);
    report.end = end;
    SetStatus(StatusOfRun(report));
}

void TfrmMain::DosCommand1Terminated(TDosCommand* sender, DWORD exitCode) {
    // Only the end of the run the window shows.
    if (sender->Running() || sender->RunStatus() != TRunStatus::rsProcessEnded) return;
    if (captured_.active) {
        std::vector<std::wstring> lines;
        for (const auto& line : sender->CapturedLines) lines.push_back(FromAnsi(line));
        SetStatus(StatusOfVerdict(captured_.kind, captured_.file, exitCode, UpxReason(lines),
                                  lines.empty() ? std::wstring() : lines.front()));
        captured_.active = false;
    }
    if (UpxEndedNormally(exitCode)) return;
    const std::wstring text = L"UPX did not end normally (exit code " + ExitCodeText(exitCode) +
                              L"): what it wrote above may be incomplete.";
    if (MessageOutput) MessageOutput->AppendLine(text);
    ShowError(text);
}

void TfrmMain::FollowTheDisk(const std::vector<std::wstring>& files) {
    if (ShellDir1.Path().empty()) return;
    const std::wstring shown = FolderKey(ShellDir1.Path());
    const std::wstring shownId = FileIdentity(FolderForSystem(shown));
    std::unordered_set<std::wstring> looked;  // a batch's thousand files are often in one folder: opened once
    for (const auto& file : files) {
        if (file.empty()) continue;
        const std::wstring folder = FolderKey(FolderPart(FullPathOf(file)));
        if (!looked.insert(FoldedName(folder)).second) continue;
        // One folder in any spelling: a short name, another case, a share's path.
        const bool same = SameName(folder, shown) ||
                          (!shownId.empty() && FileIdentity(FolderForSystem(folder)) == shownId);
        if (same) return ShellDir1.ReloadKeepingView();
    }
}

}  // namespace zandrel
