#include "app/program.h"

#include "framework/files.h"
#include "shell/BatchHandOver.h"
#include "shell/ExplorerEntries.h"

namespace zandrel {

ProgramWindows::ProgramWindows(MainDeps deps)
    : main_(std::make_unique<TfrmMain>(std::move(deps))), console_(std::make_unique<TMessageOutput>()) {
    main_->MessageOutput = console_.get();
}

ProgramWindows::~ProgramWindows() {
    main_.reset();
    console_.reset();
}

bool ProgramWindows::TreatArguments(const std::vector<std::wstring>& arguments) {
    return TreatRequest(ReadCommandLine(arguments));
}

bool ProgramWindows::TreatRequest(const StartRequest& request, BatchCollector* late) {
    switch (request.kind) {
        case StartKind::OpenFile:
            if (IsExistingFile(request.files[0])) {
                main_->Show();
                main_->edSource.SetText(FullPathOf(request.files[0]));
            }
            return true;
        case StartKind::Batch: {
            std::vector<std::wstring> files;
            for (const auto& file : request.files) files.push_back(FullPathOf(file));
            main_->Show();
            main_->StartBatch(files, TfrmMain::BatchKind::FormJob, late);
            return true;
        }
        case StartKind::Window:
            return true;
        default:
            return false;  // nothing to show
    }
}

std::optional<int> TreatSwitches(StartRequest& request, std::unique_ptr<BatchCollector>* collector) {
    switch (request.kind) {
        case StartKind::RegisterShell:
            return AddExplorerEntries(ProgramPath()).done ? 0 : 1;
        case StartKind::UnregisterShell:
            return RemoveExplorerEntries().done ? 0 : 1;
        case StartKind::Refused:
            return 1;
        case StartKind::Batch: {
            // Made whole here: the collector's current folder is not this start's.
            for (auto& file : request.files) file = FullPathOf(file);
            auto batch = CollectBatchFiles(request.files);
            if (!batch) return 0;
            request.files = std::move(batch->files);
            if (collector) *collector = std::move(batch->collector);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace zandrel
