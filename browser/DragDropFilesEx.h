#pragma once
// The file list's drop target: takes the shell's file lists dragged over the
// list, highlights the folder under the mouse, decides the effect by the
// list's rules and hands the drop to the list.
#include <string>
#include <vector>

#include "framework/win.h"

#include <ole2.h>

namespace zandrel {

class TDirView;

// The list's drop target, registered for its window.
class TDragDropFilesEx : public IDropTarget {
public:
    explicit TDragDropFilesEx(TDirView& list) : list_(list) {}
    virtual ~TDragDropFilesEx() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

    bool Accepted() const { return accepted_; }
    bool FromThisList = false;  // the drag started in this list

private:
    DWORD Decide(DWORD keys, POINTL pt, DWORD allowed);

    TDirView& list_;
    LONG references_ = 1;
    bool accepted_ = false, linkExecutables_ = false;
    wchar_t sourceDrive_ = 0;
    DWORD lastKeys_ = 0;
    ULONGLONG lastScroll_ = 0;
    int scrollsInARow_ = 0;
    void AutoScroll(POINT client);
    std::vector<std::wstring> names_;
};

}  // namespace zandrel
