#pragma once
// The file list's part in the platform's drag-and-drop: it takes dropped file
// lists (and the clipboard's, for its paste) and copies, moves or links them
// into its folder or a sub-folder; it offers its selection to a drag out.
// The drop target itself is TDragDropFilesEx (DragDropFilesEx.h); the list's
// own steps (TDirView's drops, pastes and drags out) are in DragDrop.cpp.
#include <optional>
#include <string>
#include <vector>

#include "framework/win.h"

#include <ole2.h>

namespace zandrel {

class TDirView;

// A drop's file names and, when the source gives them (files dragged out of
// the recycle bin), the names the files are to arrive under, one per name.
struct TDroppedFiles {
    std::vector<std::wstring> names;
    std::vector<std::wstring> mapped;
};
TDroppedFiles ReadDroppedFiles(IDataObject* data);
// The file names an object carries in the shell's file-list format.
std::vector<std::wstring> DroppedFileNames(IDataObject* data);
// The shell's format of mapped names.
CLIPFORMAT NameMapFormat();
// The effect the source of the data prefers (the shell's "Preferred DropEffect": a cut
// says move); none when it says nothing.
std::optional<DWORD> PreferredDropEffect(IDataObject* data);

// A plain file list in the shell's file-list format (no item identifiers): quick to make
// for big selections and for drives the shell should not be asked about.
// With `mapped`, it also carries the names the files are to arrive under.
IDataObject* MakeFileListData(const std::vector<std::wstring>& names, const std::vector<std::wstring>& mapped = {});

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
