// The main window's batch jobs: several files dropped on the window, or the
// file list's selection with Ctrl+Enter (Ctrl+Shift+Enter tests, Ctrl+Alt+Enter
// lists), each file done in place with the form's choices. The batch window
// shows them as they go, and keeps the results until it is closed.
#include "app/Main.h"
#include "shell/BatchHandOver.h"

#include "app/descrambler.h"
#include "app/globals.h"
#include "app/settings.h"
#include "app/stored_values.h"
#include "jobs/batch_run.h"
#include "batch/BatchConfirm.h"
#include "batch/BatchWindow.h"
#include "batch/batch_plan.h"
#include "framework/application.h"
#include "framework/files.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(ApiPath(JoinPath(folder, L"*")).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                           static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow)});
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

}  // namespace

bool TfrmMain::BatchRunning() const { return batch_ && batch_->Running(); }

void TfrmMain::StartBatch(const std::vector<std::wstring>& dropped, BatchKind kind, BatchCollector* late) {
    if (closing_) return;
    // A drop can reach the window while the question is up: one question at a time.
    if (batchQuestion_) return (void)SetForegroundWindow(batchQuestion_->Handle());
    if (BatchRunning()) {
        if (batchWindow_) batchWindow_->BringBack();
        return ShowError(L"A batch is running. Wait for its end, or stop it in the batch window.");
    }
    JobForm form = ReadForm();
    if (!UpxAccepted(form.upx)) return;
    form.testFlag = kind == BatchKind::Test;
    form.listFlag = kind == BatchKind::List;
    auto host = std::make_unique<WinJobHost>(Application::Instance().Dialogs(), Handle(), deps_.shortNames);
    host->NoteCopiesUnder(SettingsKey + WorkingCopiesSubKey);
    if (const auto refusal = BatchRefusal(form, *host); !refusal.empty()) return ShowError(refusal);
    // Every function of the source runs on the counting thread: nothing of the window's.
    BatchSource source;
    source.isFolder = [](const std::wstring& path) { return IsExistingFolder(path); };
    source.list = ListFolder;
    source.accept = FilterNow();
    source.identity = FileIdentity;
    source.size = FileSizeOf;
    source.packed = [](const std::wstring& path) {
        return LooksPackedByUpx([&](std::uint64_t at, std::size_t count) { return ReadFileBytes(path, at, count); });
    };
    const bool compresses = !form.decompress && !form.testFlag && !form.listFlag;
    TBatchConfirm question(Handle(), JobDescription(form), dropped, std::move(source), compresses);
    batchQuestion_ = &question;
    if (late) late->PassLateFilesTo([&question](const std::vector<std::wstring>& files) { return question.AddFiles(files); });
    const struct Asked {
        TBatchConfirm*& asked;
        BatchCollector* late;
        ~Asked() {
            asked = nullptr;
            if (late) late->PassLateFilesTo(nullptr);  // answered: a later start asks on its own
        }
    } asked{batchQuestion_, late};
    const auto scan = question.Ask();
    if (!scan || scan->files.empty() || closing_) return;
    RunBatch(*scan, form, std::move(host));
}

void TfrmMain::RunBatch(const BatchScan& scan, const JobForm& form, std::unique_ptr<IJobHost> host) {
    ForgetBatch();
    batchHost_ = std::move(host);
    batch_ = std::make_unique<TBatchRun>(*batchHost_, SettingsKey + WorkingCopiesSubKey);
    if (!batchWindow_) {
        batchWindow_ = std::make_unique<TBatchWindow>(Application::Instance().Dialogs());
        batchWindow_->OnStop = [this] { StopBatch(); };
        batchWindow_->OnUndo = [this] { return UndoBatch(); };
        batchWindow_->OnForgetUndo = [this] {
            if (batch_) batch_->ForgetWhatCannotGoBack();
        };
        batchWindow_->OnForget = [this] { ForgetBatch(); };
    }
    batch_->BusyElsewhere = [this](const std::wstring& path) { return StartWorksOn(path); };
    batch_->OnFileChanged = [this](std::size_t index) {
        if (batchWindow_) batchWindow_->FileChanged(index);
    };
    batch_->OnOutput = [this](std::size_t index) {
        if (batchWindow_) batchWindow_->OutputCame(index);
    };
    batch_->OnFinished = [this](const std::vector<BatchFileOutcome>&) {
        FollowTheDisk(BatchPaths());
        if (batchWindow_) batchWindow_->BatchEnded();
    };
    batchWindow_->ShowBatch(*batch_, JobDescription(form) + L", " + FilesCounted(scan.files.size()));
    batch_->Start(scan.files, form, JobsAtOnce(SettingsKey), scan.sizes);
}

std::vector<std::wstring> TfrmMain::BatchPaths() const {
    std::vector<std::wstring> paths;
    if (batch_)
        for (const auto& outcome : batch_->Outcomes()) paths.push_back(outcome.path);
    return paths;
}

std::vector<std::size_t> TfrmMain::UndoBatch() {
    if (!batch_ || batch_->Running()) return {};
    auto left = batch_->Undo();
    FollowTheDisk(BatchPaths());
    return left;
}

void TfrmMain::ForgetBatch() {
    FinishBatch();
    if (batchWindow_) batchWindow_->LetGo();
    batch_.reset();
    batchHost_.reset();
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
