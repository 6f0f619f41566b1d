// The main window's jobs: Start, Test and List, the file fields and their
// buttons, the quiet boxes, Keep settings, UPX Version and UPX Help, and the
// console window's lines.
#include "app/Main.h"

#include <algorithm>

#include "app/descrambler.h"
#include "app/dialog_folders.h"
#include "app/globals.h"
#include "app/settings.h"
#include "browser/IEDriveInfo.h"
#include "batch/BatchWindow.h"
#include "jobs/batch_run.h"
#include "console/MsgOut.h"
#include "framework/application.h"
#include "framework/files.h"
#include "framework/names.h"
#include "framework/text.h"
#include "jobs/Back.h"
#include "jobs/hrglass.h"
#include "jobs/file_safety.h"
#include "jobs/job_command.h"
#include "jobs/job_host.h"
#include "jobs/temporary_files.h"
#include "jobs/work_claim.h"
#include "zandrel_texts.h"

namespace zandrel {

JobForm TfrmMain::ReadForm() const {
    JobForm form;
    form.upx = edUPX.Text();
    form.source = edSource.Text();
    form.target = edTarget.Text();
    const int level = cbCompressRatio.ItemIndex();
    if (level >= 0) form.level = cbCompressRatio.ItemText(level);
    form.decompress = rbDecompress.Checked();
    form.backup = chkBackup.Checked();
    form.dosBox = chkDosBox.Checked();
    form.q = chkQ.Checked();
    form.qq = chkQQ.Checked();
    form.qqq = chkQQQ.Checked();
    form.testFlag = TestFlag;
    form.listFlag = ListFlag;
    form.advanced = Advanced;
    return form;
}

namespace {

// One file by name or on disk; where the disk cannot tell, the same (the safe side).
bool SameFileOrName(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    const std::wstring fa = FullPathOf(a), fb = FullPathOf(b);
    if (SameName(fa, fb)) return true;
    return SameFileOnDisk(a, b).value_or(true);
}

// The files of a Start, noted while it runs.
struct AtWork {
    std::vector<std::wstring>& files;
    std::size_t count;
    AtWork(std::vector<std::wstring>& list, std::initializer_list<std::wstring> these) : files(list), count(these.size()) {
        files.insert(files.end(), these);
    }
    ~AtWork() { files.resize(files.size() - count); }
};

}  // namespace

bool TfrmMain::StartWorksOn(const std::wstring& path) const {
    // A file of the same stem counts too: UPX names the work files of app.exe and app.dll alike.
    return std::any_of(filesAtWork_.begin(), filesAtWork_.end(), [&](const std::wstring& file) {
        return SameFileOrName(file, path) || UpxWorkFilesKey(file) == UpxWorkFilesKey(path);
    });
}

void TfrmMain::btnStartClick() {
    const JobForm form = ReadForm();
    if (!UpxAccepted(form.upx)) return;
    SetStatus(L"");
    WinJobHost host(Application::Instance().Dialogs(), Handle(), deps_.shortNames);
    host.NoteCopiesUnder(SettingsKey + WorkingCopiesSubKey);
    // A file the running batch works on is left to it.
    if (BatchRunning() && ((!form.source.empty() && batch_->Holds(form.source)) ||
                           (!form.target.empty() && batch_->Holds(form.target))))
    {
        if (batchWindow_) batchWindow_->BringBack();
        return ShowError(L"This file is part of the batch that is running. Wait for its end, or stop it in the "
                         L"batch window.");
    }
    if (BatchRunning() && (batch_->SharesWorkFilesWithWork(FullPathOf(form.source)) ||
                           (!form.target.empty() && batch_->SharesWorkFilesWithWork(FullPathOf(form.target)))))
        return ShowError(L"UPX is working on a file of the same name in this folder for the batch. Wait until that "
                         L"file is done, then start again.");
    // A visible run leaves the window usable: a second Start on the same file waits for the first.
    // A job of another Zandrel on the file is seen by its claim, held here until the run's end.
    std::unique_ptr<WorkClaim> claim;
    if (!form.testFlag && !form.listFlag &&
        (StartWorksOn(form.source) || StartWorksOn(form.target) || !(claim = WorkClaim::Take(UpxWorkFilesKey(form.source)))))
        return ShowError(L"A job is still working on this file (or on one of the same name in its folder). Wait until "
                         L"UPX has ended, then start again.");
    const std::int64_t sizeBefore = FileSizeOf(form.source);
    const JobPlan plan = PrepareJob(form, host);
    if (plan.way == RunWay::None) return;
    // Copies and results UPX works on under plain names; they go when the run is over.
    auto temporaries = std::make_shared<TemporaryFiles>(plan.files.temporaries, SettingsKey + WorkingCopiesSubKey);
    if (plan.way == RunWay::Console) {
        StartCaptured(plan.commandLine, plan.files.currentFolder, RenamedNotes(plan.files), temporaries);
        captured_ = {true, form.listFlag ? Verdict::List : Verdict::Test, FileNamePart(form.source)};
        return;
    }
    const AtWork atWork(filesAtWork_, {form.source, form.target});
    RunRequest request;
    request.commandLine = plan.commandLine;
    request.currentFolder = plan.files.currentFolder;
    request.mayEnd = plan.files.writesOnlyTemporaries;
    if (!temporaries->Paths().empty()) request.beforeQuit = [temporaries] { temporaries->RemoveAll(); };
    // A quit during this run must not end a batch's UPX half-way through a file.
    request.atQuit = [this] { FinishBatch(); };
    // Nobody sees a hidden UPX's console: what it says goes to a file, for its reasons.
    request.captureOutput = plan.way == RunWay::Hidden;
    const RunOutcome outcome = plan.way == RunWay::Visible ? RunVisible(request) : RunHidden(request);
    const JobEnd end = FinishJob(plan, outcome, host);
    ReportRun(form, plan, outcome, sizeBefore, end);
    FollowTheDisk({form.source, form.target});
}

RunOutcome TfrmMain::RunVisible(RunRequest request) {
    // UPX's console in front of a plain background over the whole work area.
    TDosBoxBack back(Handle());
    back.ShowCovering(Handle());
    request.showCommand = SW_SHOW;
    request.lingerMs = 5000;
    return deps_.runner->RunAndWait(request);
}

RunOutcome TfrmMain::RunHidden(RunRequest request) {
    if (MessageOutput && MessageOutput->Showing()) MessageOutput->Hide();
    Thourglass wait(Handle());
    // Leaving this block closes the wait window, then enables the main window again,
    // also when the run fails.
    struct Enable {
        HWND main;
        Thourglass& wait;
        HWND focused;
        ~Enable() {
            wait.Destroy();
            EnableWindow(main, TRUE);
            // Disabling took the focus away, and no activation brings it back.
            if (focused && IsWindow(focused) && IsChild(main, focused)) ::SetFocus(focused);
        }
    } enable{Handle(), wait, GetFocus()};
    EnableWindow(Handle(), FALSE);
    ShowWindow(wait.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(wait.Handle());
    wait.Play();
    request.showCommand = SW_HIDE;
    request.lingerMs = 0;
    return deps_.runner->RunAndWait(request);
}

void TfrmMain::btnTestClick() {
    struct Reset {
        ~Reset() { TestFlag = false; }
    } reset;
    TestFlag = true;
    btnStart.Press();
}

void TfrmMain::btnListClick() {
    struct Reset {
        ~Reset() { ListFlag = false; }
    } reset;
    ListFlag = true;
    btnStart.Press();
}

void TfrmMain::chkQClick() {
    if (!chkQ.Checked()) return;
    chkQQ.SetChecked(false);
    chkQQQ.SetChecked(false);
}

void TfrmMain::chkQQClick() {
    if (!chkQQ.Checked()) return;
    chkQ.SetChecked(false);
    chkQQQ.SetChecked(false);
}

void TfrmMain::chkQQQClick() {
    if (!chkQQQ.Checked()) return;
    chkQ.SetChecked(false);
    chkQQ.SetChecked(false);
}

void TfrmMain::edSourceChange() { edTarget.SetText(edSource.Text()); }

std::optional<std::wstring> TfrmMain::ChooseFile(std::span<const std::uint8_t> filter, const std::wstring& folderName,
                                                 const std::wstring& fieldPath, bool save) {
    FileDialogRequest request;
    request.filter = Widen8(BytsToEncStr2(filter));
    {
        QuietDriveProbes quiet;  // a field naming a drive without its disk is passed over
        request.initialFolder = DialogStartFolder(fieldPath, ReadIniFromReg(SettingsKey, folderName),
                                                  [](const std::wstring& folder) { return IsExistingFolder(folder); });
    }
    auto& dialogs = Application::Instance().Dialogs();
    if (!save) return dialogs.OpenFile(Handle(), request);
    request.title = L"Save the target file as";
    request.fileName = FileNamePart(fieldPath);
    return dialogs.SaveFile(Handle(), request);
}

void TfrmMain::StoreFolderOf(const std::wstring& valueName, const std::wstring& file) const {
    WriteIniToReg(SettingsKey, valueName, FolderPart(file));
}

void TfrmMain::btnUPXClick() {
    const auto file = ChooseFile(texts::FilterUpx, Names.upxDir, {}, false);
    if (!file) return;
    edUPX.SetText(*file);
    WriteIniToReg(SettingsKey, Names.upxPath, edUPX.Text());
    StoreFolderOf(Names.upxDir, *file);
}

void TfrmMain::btnSourceClick() {
    const auto file = ChooseFile(texts::FilterSource, Names.sourceDir, edSource.Text(), false);
    if (!file) return;
    edSource.SetText(*file);
    StoreFolderOf(Names.sourceDir, *file);
}

void TfrmMain::btnTargetClick() {
    // A name to write to, new or existing: Start asks before it replaces a file.
    const auto file = ChooseFile(texts::FilterTarget, Names.targetDir, edTarget.Text(), true);
    if (!file) return;
    edTarget.SetText(*file);
    StoreFolderOf(Names.targetDir, *file);
}

void TfrmMain::btnKeepSettingsClick() {
    const int level = cbCompressRatio.ItemIndex();
    if (level >= 0) WriteIniToReg(SettingsKey, Names.level, cbCompressRatio.ItemText(level));
    auto flag = [](const CheckBox& box) { return std::wstring(box.Checked() ? L"1" : L"0"); };
    WriteIniToReg(SettingsKey, Names.backup, flag(chkBackup));
    WriteIniToReg(SettingsKey, Names.dosBox, flag(chkDosBox));
    WriteIniToReg(SettingsKey, Names.q, flag(chkQ));
    WriteIniToReg(SettingsKey, Names.qq, flag(chkQQ));
    WriteIniToReg(SettingsKey, Names.qqq, flag(chkQQQ));
}

void TfrmMain::StartCaptured(const std::wstring& commandLine, const std::wstring& currentFolder,
                             const std::vector<std::wstring>& notes, std::shared_ptr<void> keep) {
    if (MessageOutput) {
        MessageOutput->Clear();
        // Which file UPX's output is about, when UPX knows it by another name.
        for (const auto& note : notes) MessageOutput->AppendLine(note);
        MessageOutput->ShowNonModal();
    }
    consoleGrowth_.Reset();
    deps_.console->SetCommandLine(commandLine);
    deps_.console->SetCurrentFolder(currentFolder);
    deps_.console->KeepUntilEnded(std::move(keep));
    deps_.console->Execute();
}

void TfrmMain::DosCommand1NewLine(TDosCommand*, const std::string& newLine, TOutputType outputType) {
    if (!MessageOutput) return;
    const std::wstring text = FromAnsi(newLine);
    // A growing line is shown once: its newer, longer form takes its place.
    if (consoleGrowth_.ReplacesLast(outputType))
        MessageOutput->ReplaceLastLine(text);
    else
        MessageOutput->AppendLine(text);
}

void TfrmMain::RunUpxInformation(const std::wstring& option, std::span<const std::uint8_t> noUpx,
                                 std::span<const std::uint8_t> upxGone) {
    const auto upx = edUPX.Text();
    if (upx.empty()) return ShowError(Widen8(BytsToEncStr2(noUpx)));
    if (!IsExistingFile(upx)) return ShowError(Widen8(BytsToEncStr2(upxGone)));
    if (!UpxAccepted(upx)) return;
    WinJobHost host(Application::Instance().Dialogs(), Handle(), deps_.shortNames);
    StartCaptured(CommandProgram(host.ShortPath(upx)) + L" " + option);
    captured_ = {option == L"--version", Verdict::Version, {}};
}

void TfrmMain::btnUPXVersionClick() {
    RunUpxInformation(L"--version", texts::MsgVersionNoUpx, texts::MsgVersionUpxGone);
}

void TfrmMain::btnUPXHelpClick() {
    RunUpxInformation(Widen8(BytsToEncStr2(texts::UpxHelpOption)), texts::MsgUpxHelpNoUpx, texts::MsgUpxHelpUpxGone);
}

}  // namespace zandrel
