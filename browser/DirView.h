#pragma once
// The file list of the browser pane: TDirView lists one folder of the file
// system with the shell's icons and type names, on TIEListView (IEListView.h).
//
// The control is a virtual (owner-data) list: the records are the items, held
// here in list order, and the control asks for texts and icons as it paints.
// A folder of 100,000 files thus loads without 100,000 item insertions.
//
// Its duties live in files of their own: DirView.cpp (the control, its
// properties and items), DirViewLoad.cpp (loading, reloading, refreshing and
// validating a folder), DirViewDisplay.cpp (display data, icons, sorting and
// custom drawing), DirViewInput.cpp (keys, mouse, type-ahead and renaming in
// place), DirViewShell.cpp (executing items, the property sheet and the
// shell's context menu) and DragDrop.cpp (drops, pastes and drags out).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "browser/DragDrop.h"
#include "browser/FileOperator.h"
#include "browser/IEDriveInfo.h"
#include "browser/IEListView.h"
#include "browser/list_logic.h"
#include "framework/controls.h"
#include "framework/names.h"

#include <commctrl.h>
#include <shlobj.h>

namespace zandrel {

enum class TFileNameDisplay : std::uint8_t { fndStored, fndCap, fndNoCap, fndNice };
enum class TSelAttr : std::uint8_t { SelDontCare, SelYes, SelNo };
enum class TItemChange : std::uint8_t { ctText, ctImage, ctState };
// What the context menu's "cut" and "copy" left for a paste; one for the whole program.
enum class TClipboardMark : std::uint8_t { None, Cut, Copy };
inline TClipboardMark PendingClipboardMark = TClipboardMark::None;
// What a cut left on the clipboard: a paste moves only these files, and only
// while the clipboard still holds the cut (its sequence number unchanged, or its
// data still saying move); anything else on the clipboard is copied.
inline std::vector<std::wstring> PendingCutNames;
inline DWORD PendingCutSequence = 0;

// One list item's record. The fields the sort reads come from ListEntry
// (DisplayName, TypeName, FileExt, IsDirectory, IsParentDir, Size, FileTime, Attr).
struct TFileRec : ListEntry {
    bool Empty = true;      // type name (and maybe icon) not fetched yet
    bool IconEmpty = true;  // icon not fetched yet
    bool IsRecycleBin = false;
    std::wstring FileName;
    int ImageIndex = 0;
    std::uint8_t OverlayIndex = 0;  // the system image list's overlay: 1 shared, 2 shortcut
    bool Cut = false;               // marked by the context menu's "cut": shown dimmed
    UniquePidl PIDL;
    bool marked_ = false;  // scratch flag of sorts and reloads
};

// What OnAddFile sees of a folder entry.
struct TSearchRec {
    std::uint32_t Time = 0;  // packed local date (high word) and time (low word); 0 before 1980
    std::int64_t Size = 0;
    std::uint32_t Attr = 0;
    std::wstring Name;
    WIN32_FIND_DATAW FindData{};
};

class TDirView : public TIEListView {
public:
    TDirView();
    ~TDirView() override;

    void Create(HWND parent, DesignRect rect, const Scaler& scale);

    // ---- Properties ----
    void SetMask(const std::wstring& mask) override;
    void SetViewStyle(TViewStyle style) override;
    bool ShowDirectories = true;
    bool DirsOnTop = false;
    bool SortByExtension = false;
    TFileNameDisplay FileNameDisplay = TFileNameDisplay::fndStored;
    std::wstring AttrSpace;
    bool SingleClickToExec = false;
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool multi);
    COLORREF CompressedColor = RGB(0, 0, 255);
    bool ReadOnly = false;  // no renaming in place
    bool DDLinkOnExeDrag = true, UseDragImages = true, TargetPopUpMenu = true;
    bool ConfirmDelete = true, ConfirmOverwrite = true;
    bool UseSystemContextMenu = true;
    TFileOperator FileOperator;  // renames (and file operations of drops)
    TDriveInfo* Drives = nullptr;  // the drive table; unset, the program's
    TSelAttr SelArchive = TSelAttr::SelDontCare, SelHidden = TSelAttr::SelDontCare,
             SelSysFile = TSelAttr::SelDontCare, SelReadOnly = TSelAttr::SelDontCare;
    // Sizes are 64-bit, so the full range lists files of any size.
    std::int64_t SelFileSizeFrom = 0, SelFileSizeTo = INT64_MAX;
    std::uint16_t SelFileDateFrom = 33, SelFileDateTo = 61343;
    std::uint16_t SelFileTimeFrom = 0, SelFileTimeTo = 49152;
    int ColWidthName = 110, ColWidthSize = 80, ColWidthType = 110, ColWidthDate = 130, ColWidthAttr = 35;

    // ---- State ----
    const std::wstring& Path() const { return path_; }
    const std::wstring& LastPath() const { return lastPath_; }
    bool DirOK() const { return dirOK_; }
    bool Loading() const { return loading_; }
    bool LoadEnabled() const { return loadEnabled_; }
    bool HasParentDir() const { return hasParentDir_; }
    bool IsRecycleBinView() const { return isRecycleBinView_; }
    std::int64_t FilesSize() const { return filesSize_; }
    std::int64_t FilesSelSize() const;
    UINT PathDriveType() const { return pathDriveType_; }

    // ---- Operations ----
    virtual void SetPath(std::wstring path);
    void Reload(bool cacheIcons);
    // Reload, keeping where the list stands too: the item at its top stays at its top.
    void ReloadKeepingView();
    void Refresh();
    void SetLoadEnabled(bool enabled);
    void ValidateSelectedFiles();
    void ExecuteCurrentFile();
    // Opens the caption editor on an item, as a slow second click does.
    void EditCaption(int index);
    // The shell's context menu of the selection at a screen point.
    void ShowContextMenu(POINT screen);
    // The shell's object (context menu, data object, drop handler) for items of the list's
    // folder; nullptr when the shell cannot name them. The caller releases it.
    void* ShellObjectOf(const std::vector<int>& items, REFIID kind, HWND owner) const;
    // The context menu of the selected items; unset, the shell's. The caller releases it (tests).
    std::function<IContextMenu*(const std::vector<int>& items)> ContextMenuFor;
    // Chooses from the context menu instead of the user (tests); 0 chooses nothing.
    std::function<UINT(HMENU menu, IContextMenu* shellMenu)> ChooseFromMenu;

    // ---- Drag-and-drop ----
    int DropTarget() const { return IndexOf(dropTarget_); }
    void SetDropTarget(int index);  // the highlighted folder under a drag; -1 for none
    // The right-drag menu: move, copy, link (as allowed), cancel; gives the effect chosen.
    DWORD AskDropEffect(DWORD allowed, DWORD proposed, POINT screen);
    std::function<UINT(HMENU menu)> ChooseFromDropMenu;  // tests choose instead of the user
    // The drop handler of a file item (a program's, a compressed folder's); nullptr for none.
    // Unset, the shell is asked; tests give their own. The caller releases it.
    std::function<IDropTarget*(int item)> DropHandlerOf;
    // Copies, moves or links dropped files into the highlighted folder or the list's own.
    // Into the recycle bin (its view, or its folder highlighted) files are deleted with undo.
    void ProcessDropped(const TDroppedFiles& files, DWORD effect, bool fromThisList);
    // Pastes the clipboard's files into a folder, by the cut or copy mark.
    void PasteInto(const std::wstring& targetFolder);
    class TDragDropFilesEx* DragDropTarget() const { return dragDrop_.get(); }
    // The picture that follows the mouse in a drag of the selection: the item itself, or for
    // several items the "DRAGFILES" picture with their count beside it. The caller owns it.
    struct DragPicture {
        HBITMAP bitmap = nullptr;
        SIZE size{};
        POINT hotSpot{};
        COLORREF transparent = 0;
    };
    DragPicture MakeDragPicture(const std::vector<int>& selected) const;

    // Items are positions in list order; -1 is none.
    int Count() const { return static_cast<int>(items_.size()); }
    // An item held while messages are handled (a name being typed, a menu): its record and
    // the folder it was listed in. Positions change when items leave the list meanwhile (the
    // watch of files moved away, a refresh, a sort); the record stays the item's.
    struct HeldItem {
        std::shared_ptr<TFileRec> record;
        std::wstring folder;
        explicit operator bool() const { return record != nullptr; }
        std::wstring FullName() const { return record ? JoinPath(folder, record->FileName) : std::wstring(); }
    };
    HeldItem Hold(int index) const;  // empty for no item
    int IndexOf(const HeldItem& held) const;  // where it stands now; -1 once it has left the list
    const TFileRec* Item(int index) const;
    int Selected() const;
    int FocusedItem() const;
    bool IsSelected(int index) const;
    void SetSelected(int index, bool selected);
    void SetFocusedItem(int index);
    std::vector<int> SelectedItems() const;
    std::wstring ItemFullFileName(int index) const;
    int FindFileItem(const std::wstring& fileName) const;
    // The text of a column as the report view shows it; fetches the type name if needed.
    std::wstring ColumnText(int index, int column);
    // Completes an item's type name, and its icon with fetchIcon.
    void FetchDisplayData(TFileRec& rec, bool fetchIcon);
    void SortItems() override;

    // ---- Events ----
    std::function<void(TDirView*, TSearchRec&, bool& addFile)> OnAddFile;
    std::function<void(TDirView*, int item, bool& allowExec)> OnExecFile;
    std::function<void(TDirView*)> OnStartLoading, OnLoaded, OnDirUpdated;
    std::function<void(TDirView*, int item, TItemChange change, bool& allowChange)> OnChanging;
    std::function<void(TDirView*, int item, bool selected)> OnSelectItemNew;
    std::function<void(TDirView*, int item)> OnFileSizeChanged;
    std::function<void(TDirView*, int item, const std::wstring& newName)> OnBeginRename, OnEndRename;
    // Drag-and-drop (effects: 1 copy, 2 move, 4 link).
    std::function<void(TDirView*, bool& accept)> OnDDDragEnter;
    std::function<void(TDirView*, DWORD keys, DWORD& effect)> OnDDDragOver;
    std::function<void(TDirView*, DWORD effect)> OnDDExecuted;
    std::function<void(TDirView*, DWORD keys, POINT pt, DWORD& effect)> OnDDProcessDropped;
    std::function<void(TDirView*, DWORD keys)> OnDDDragDetect;
    std::function<void(TDirView*, bool escapePressed, DWORD keys, HRESULT& result)> OnDDQueryContinueDrag;
    std::function<void(TDirView*, DWORD effect, HRESULT& result)> OnDDGiveFeedback;
    std::function<void(TDirView*, int errorNo)> OnDDError;
    std::function<void(TDirView*, DWORD effect, const std::wstring& sourcePath, const std::wstring& targetPath,
                       bool& doOperation)>
        OnDDFileOperation;
    std::function<void(TDirView*, DWORD effect, const std::wstring& sourcePath, const std::wstring& targetPath)>
        OnDDFileOperationExecuted;
    std::function<void()> OnDblClick;
    std::function<void(WORD key, bool shift, bool ctrl, bool alt)> OnKeyUp;

protected:
    bool OwnNotify(const NMHDR& header, LRESULT& result) override;
    bool DisplayNotify(const NMHDR& header, LRESULT& result);
    bool InputNotify(const NMHDR& header, LRESULT& result);
    bool ItemChanged(const NMLISTVIEW& change);
    int FindTypedName(const NMLVFINDITEMW& find) const;  // the first item from the start whose name begins so, or -1
    void CreateColumns() override;

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT ListMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    void Load(const std::wstring& path);
    // The drive is ready and the path a folder (the drive's type noted on the way).
    bool IsListableFolder(const std::wstring& path);
    // The folder's files, then its ".." and folders; false when the window went meanwhile.
    bool AddFolderEntries(const std::wstring& path);
    void EndLoad(bool windowGone);
    // The entry takes the size, attributes and time found on the disk; true when any changed.
    bool UpdateEntry(std::size_t index, const WIN32_FIND_DATAW& data);
    void AddEntry(const WIN32_FIND_DATAW& data);
    void AddParentEntry(const std::wstring& path);
    bool PassesFilters(const WIN32_FIND_DATAW& data) const;
    bool AskAddFile(const WIN32_FIND_DATAW& data);
    std::wstring MakeDisplayName(const std::wstring& fileName) const;
    void SyncCount();
    void DeleteAllItems();
    void ClearSelection();
    void ApplyViewStyle();
    void ApplyPendingView();
    void EnterPressed();
    void DoubleClicked();
    void ShowProperties();
    bool PumpMessages();
    TDriveInfo& DriveTable() const { return Drives ? *Drives : TDriveInfo::Instance(); }
    int CompareNames(const std::wstring& a, const std::wstring& b) const;
    void DrawParentArrow(const NMLVCUSTOMDRAW& draw);
    std::wstring FullName(const TFileRec& rec) const;
    bool OnScreen(int index) const;
    bool BeginEdit(int index);
    void EndEdit(const wchar_t* text);
    static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void ContextMenuKeyOrClick(LPARAM at);
    void CarryOut(const TDroppedFiles& files, DWORD effect, const std::wstring& target, bool renameOnCollision,
                  bool toRecycleBin);
    // A shortcut to a dropped name in a folder; false when it cannot (or may not) be made.
    bool MakeShortcut(const std::wstring& dropped, const std::wstring& folder);
    // What the list itself does after its context menu: rename, mark a cut or copy, paste.
    void AfterMenuCommand(const std::wstring& verb, const std::vector<HeldItem>& held, bool listPastes);
    void ReportDropError(int number);
    void StartDrag(DWORD button);
    void WatchMovedAway(std::vector<std::wstring> names);
    // Takes the items of these full names out of the list, keeping selection and focus.
    void RemoveItems(const std::vector<std::wstring>& fullNames);
    std::wstring TypeNameOnly(const TFileRec& rec, const std::wstring& full);
    std::wstring FormatDateTime(const SYSTEMTIME& st) const;
    std::wstring ShortcutTarget(const std::wstring& link) const;

    std::vector<std::shared_ptr<TFileRec>> items_;
    std::wstring path_, lastPath_;
    std::wstring listedPath_;                // the folder the items belong to
    std::optional<TViewStyle> pendingView_;  // asked for during a load
    bool dirOK_ = false, isRecycleBinView_ = false, loading_ = false, loadEnabled_ = true;
    bool loadPending_ = false, abortLoading_ = false, hasParentDir_ = false, answerDisplay_ = true;
    bool switchingView_ = false, multiSelect_ = false, changingSeen_ = false;
    HeldItem editing_;           // the item whose name is being typed
    HeldItem reEdit_;            // open the editor again on it after a failed rename
    std::wstring reEditName_;    // with the name that was tried
    std::int64_t filesSize_ = 0;
    UINT pathDriveType_ = 0;
    int primaryLanguage_ = 9;
    std::wstring textBuffer_;  // the text handed to the control for one display request
    // The parent entry's arrow, small and large, made for the icons' size (it grows with the DPI).
    struct ParentArrow {
        HIMAGELIST images = nullptr;
        int size = 0;
    };
    ParentArrow parentArrows_[2];
    HIMAGELIST ParentArrowFor(bool large, int size);
    std::unordered_map<std::wstring, std::wstring>* typeNames_ = nullptr;  // type names by extension, during a sort
    HeldItem dropTarget_;  // the highlighted item under a drag
    std::unique_ptr<class TDragDropFilesEx> dragDrop_;
    HANDLE stopWatching_ = nullptr;  // ends the checks of files moved away by a drag
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // false once the list is gone
};

}  // namespace zandrel
