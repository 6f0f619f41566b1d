#pragma once
// The file list's drop target: takes the shell's file lists dragged over the
// list, highlights the folder under the mouse, decides the effect by the
// list's rules and hands the drop to the list. A file under the mouse that
// has a drop handler of the shell's (a compressed folder) is highlighted too,
// and that handler decides and takes the drop. Programs, shortcuts and scripts
// take none (their handler would run them with the dropped files): the drop
// goes to the folder. The shell's drop-target helper draws the drag's picture
// over the list.
#include <string>
#include <vector>

#include "browser/DirView.h"
#include "browser/DragDrop.h"
#include "framework/win.h"

#include <ole2.h>
#include <shlobj.h>

namespace zandrel {

// The list's drop target, registered for its window.
class TDragDropFilesEx : public IDropTarget {
public:
    explicit TDragDropFilesEx(TDirView& list) : list_(list) {}
    virtual ~TDragDropFilesEx();

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
    // The helper that draws the drag's picture; the shell's own unless one is given (tests).
    void SetHelper(IDropTargetHelper* helper);

private:
    DWORD Decide(DWORD keys, POINTL pt, DWORD allowed);
    // The drop handler of the file item under the mouse, made the current one; nullptr for none.
    IDropTarget* HandlerFor(int item, DWORD keys, POINTL pt, DWORD allowed);
    void LeaveHandler();
    IDropTargetHelper* Helper();

    TDirView& list_;
    LONG references_ = 1;
    bool accepted_ = false, linkExecutables_ = false, intoRecycleBin_ = false;
    wchar_t sourceDrive_ = 0;
    DWORD lastKeys_ = 0;
    ULONGLONG lastScroll_ = 0;
    int scrollsInARow_ = 0;
    void AutoScroll(POINT client);
    TDroppedFiles files_;
    IDataObject* data_ = nullptr;        // the data of the drag in progress
    IDropTarget* handler_ = nullptr;     // the drop handler of the file item under the mouse
    TDirView::HeldItem handlerItem_;     // that item
    IDropTargetHelper* helper_ = nullptr;
    bool helperAsked_ = false;
};

}  // namespace zandrel
