#include "framework/taskbar.h"

#include <shobjidl.h>

namespace zandrel {

ShellTaskbar::~ShellTaskbar() {
    if (list_) list_->Release();
}

void ShellTaskbar::Show(HWND button, TaskbarState state, unsigned long long done, unsigned long long total) {
    if (!asked_) {
        asked_ = true;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                       reinterpret_cast<void**>(&list_))) &&
            FAILED(list_->HrInit())) {
            list_->Release();
            list_ = nullptr;
        }
    }
    if (!list_ || !button) return;
    static constexpr TBPFLAG kFlags[] = {TBPF_NOPROGRESS, TBPF_NORMAL, TBPF_ERROR, TBPF_PAUSED};
    list_->SetProgressState(button, kFlags[static_cast<int>(state)]);
    if (state != TaskbarState::None) list_->SetProgressValue(button, done, total ? total : 1);
}

}  // namespace zandrel
