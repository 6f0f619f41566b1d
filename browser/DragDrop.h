#pragma once
// The file list's part in the platform's drag-and-drop: it takes dropped file
// lists (and the clipboard's, for its paste) and copies, moves or links them
// into its folder or a sub-folder; it offers its selection to a drag out.
#include <string>
#include <vector>

#include "framework/win.h"

#include <ole2.h>

namespace zandrel {

class TDirView;

// The file names an object carries in the shell's file-list format.
std::vector<std::wstring> DroppedFileNames(IDataObject* data);

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

// A plain file list in the shell's file-list format (no item identifiers): quick to make
// for big selections and for drives the shell should not be asked about.
IDataObject* MakeFileListData(const std::vector<std::wstring>& names);

// A drag out of the list: offers the files and tells the drag loop when to end.
class TDropSource : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;
    DWORD Button = MK_LBUTTON;  // the button that started the drag
    TDirView* List = nullptr;   // told of the drag's progress
};

}  // namespace zandrel
