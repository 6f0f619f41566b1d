// The main window's batch jobs: several files dropped on the window, or the
// file list's selection with Ctrl+Enter (Ctrl+Shift+Enter tests, Ctrl+Alt+Enter
// lists), each file done in place with the form's choices. Their output and the
// summary go to the console message window; closing it stops the batch.
#include "app/Main.h"

#include "app/descrambler.h"
#include "app/globals.h"
#include "app/settings.h"
#include "app/stored_values.h"
#include "jobs/batch_run.h"
#include "console/MsgOut.h"
#include "framework/application.h"
#include "framework/files.h"
#include "jobs/job_host.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(ApiPath(folder + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return entries;
}

// One UPX per processor (UPX itself uses one); the stored setting may ask for fewer.
int JobsAtOnce(const std::wstring& settingsKey) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const int processors = static_cast<int>(info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1);
    int wanted = 0;
    try {
        const auto stored = ReadIniFromReg(settingsKey, Widen8(BytsToEncStr4(texts::ValBatchJobs)));
        if (!stored.empty()) wanted = ParseStoredInteger(stored);
    } catch (const std::exception&) {
        wanted = 0;  // unreadable or not a number: as if not set
    }
    return wanted >= 1 && wanted < processors ? wanted : processors;
}

// The console window shows a batch's blocks once a second (an edit of it costs about
// the same however much it adds), and goes back to its usual pace at the batch's end.
constexpr unsigned kBatchEditPaceMs = 1000, kUsualEditPaceMs = 40;

}  // namespace

bool TfrmMain::BatchRunning() const { return batch_ && batch_->Running(); }

void TfrmMain::StartBatch(const std::vector<std::wstring>& dropped, BatchKind kind) {
    if (closing_) return;
    if (BatchRunning())
        return ShowError(L"A batch is running. Wait for its end, or stop it by closing the console window.");
    // The console window belongs to one job at a time.
    if (DosCommand1.Running())
        return ShowError(L"UPX's output is still coming into the console window. Wait for its end, or close "
                         L"the console window, then start the batch again.");
    JobForm form = ReadForm();
    if (!UpxAccepted(form.upx)) return;
    form.testFlag = kind == BatchKind::Test;
    form.listFlag = kind == BatchKind::List;
    auto host = std::make_unique<WinJobHost>(Application::Instance().Dialogs(), Handle(), deps_.shortNames);
    host->NoteCopiesUnder(SettingsKey + WorkingCopiesSubKey);
    if (const auto refusal = BatchRefusal(form, *host); !refusal.empty()) return ShowError(refusal);
    const auto files = BatchFiles(
        dropped, [](const std::wstring& path) { return IsExistingFolder(path); }, ListFolder,
        [this](const std::wstring& name) { return FilterTakes(name); }, FileIdentity);
    if (files.empty()) return;

    batch_.reset();
    batchHost_ = std::move(host);
    batch_ = std::make_unique<TBatchRun>(*batchHost_, SettingsKey + WorkingCopiesSubKey);
    batch_->BusyElsewhere = [this](const std::wstring& path) { return StartWorksOn(path); };
    batch_->OnFileShown = [this, first = true](const std::vector<std::wstring>& lines) mutable {
        if (!MessageOutput) return;
        if (!first) MessageOutput->AppendLine(L"");  // a blank line between files
        first = false;
        for (const auto& line : lines) MessageOutput->AppendLine(line);
    };
    batch_->OnFinished = [this](const std::vector<BatchFileOutcome>& outcomes) {
        std::vector<std::wstring> files;
        for (const auto& outcome : outcomes) files.push_back(outcome.path);
        FollowTheDisk(files);
        if (!MessageOutput) return;
        MessageOutput->AppendLine(L"");
        for (const auto& line : SummaryLines(outcomes)) MessageOutput->AppendLine(line);
        MessageOutput->SetEditPace(kUsualEditPaceMs);
    };
    if (MessageOutput) {
        MessageOutput->Clear();
        MessageOutput->SetEditPace(kBatchEditPaceMs);
        MessageOutput->OnClosed = [this] { StopBatch(); };
        MessageOutput->ShowNonModal();
    }
    batch_->Start(files, form, JobsAtOnce(SettingsKey));
}

void TfrmMain::StopBatch() {
    if (batch_) batch_->Stop();
}

void TfrmMain::FinishBatch() {
    StopBatch();
    while (BatchRunning()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Application::Instance().ProcessMessages();
    }
}

}  // namespace zandrel
