#include "app/program.h"

#include "framework/files.h"

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
    if (arguments.size() > 1) return false;
    if (arguments.size() == 1 && IsExistingFile(arguments[0])) {
        main_->Show();
        main_->edSource.SetText(FullPathOf(arguments[0]));
    }
    return true;
}

}  // namespace zandrel
