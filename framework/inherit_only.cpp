#include "framework/inherit_only.h"

#include <algorithm>

namespace zandrel {

InheritOnly::InheritOnly(std::initializer_list<HANDLE> handles) {
    for (const HANDLE handle : handles)
        if (handle && handle != INVALID_HANDLE_VALUE && std::find(handles_.begin(), handles_.end(), handle) == handles_.end())
            handles_.push_back(handle);
    if (handles_.empty()) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    buffer_.resize(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return;
    // The list keeps a pointer to the handles: they live as long as this object.
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                  handles_.size() * sizeof(HANDLE), nullptr, nullptr))
        list_ = attributes;
    else
        DeleteProcThreadAttributeList(attributes);
}

InheritOnly::~InheritOnly() {
    if (list_) DeleteProcThreadAttributeList(list_);
}

DWORD InheritOnly::Apply(STARTUPINFOEXW& startup) const {
    if (!list_) return 0;
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list_;
    return EXTENDED_STARTUPINFO_PRESENT;
}

}  // namespace zandrel
