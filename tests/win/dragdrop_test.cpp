// Drops onto the file list with the shell's own data objects, the right-drag
// menu, pastes from the clipboard, and a real drag out of the list.
#include "dragdrop_fixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include "browser/DragDrop.h"
#include "browser/DragDropFilesEx.h"
#include "browser/FileOperator.h"
#include "browser/drop_logic.h"
#include "framework/application.h"

#include <cstring>

namespace zandrel::test {
namespace {

TEST_F(DragDrop, FromAnotherDriveACopyWithinOneAMoveAndTheListReloads) {
    ZDir z;
    WriteBytes(z / L"far.txt", "far");
    TempDir here, closeBy;
    WriteBytes(closeBy / L"near.txt", "near");
    list->SetPath(here.Path());
    int executed = 0, loads = 0;
    list->OnDDExecuted = [&](TDirView*, DWORD) { ++executed; };
    // The list's own refresh after a drop loads nothing: a load is the program's reload.
    list->OnStartLoading = [&](TDirView*) { ++loads; };

    IDataObject* farData = FilesData(z.path, {L"far.txt"});
    ASSERT_NE(farData, nullptr);
    EXPECT_EQ(DropAt(farData, Empty()), static_cast<DWORD>(DROPEFFECT_COPY));
    farData->Release();
    EXPECT_EQ(ReadBytes(here / L"far.txt"), "far");
    EXPECT_TRUE(Exists(z / L"far.txt")) << "copied, not moved";
    EXPECT_GE(Find(L"far.txt"), 0) << "the list shows it";
    EXPECT_EQ(loads, 1) << "the program reloaded the list";

    IDataObject* closeData = FilesData(closeBy.Path(), {L"near.txt"});
    EXPECT_EQ(DropAt(closeData, Empty()), static_cast<DWORD>(DROPEFFECT_MOVE));
    closeData->Release();
    EXPECT_TRUE(Exists(here / L"near.txt"));
    EXPECT_FALSE(Exists(closeBy / L"near.txt")) << "moved within the drive";
    EXPECT_EQ(loads, 2) << "the program reloaded the list";
    EXPECT_EQ(executed, 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(DragDrop, TheListsOwnFilesOntoItselfAndOntoASubFolder) {
    TempDir dir;
    WriteBytes(dir / L"mine.txt", "mine");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(dir.Path());
    IDataObject* data = FilesData(dir.Path(), {L"mine.txt"});
    list->DragDropTarget()->FromThisList = true;
    EXPECT_EQ(DropAt(data, Empty()), static_cast<DWORD>(DROPEFFECT_NONE)) << "onto its own folder: nothing";
    EXPECT_TRUE(Exists(dir / L"mine.txt"));
    const int sub = Find(L"sub");
    ASSERT_GE(sub, 0);
    EXPECT_EQ(DropAt(data, Over(sub)), static_cast<DWORD>(DROPEFFECT_MOVE)) << "onto a sub-folder: a move";
    list->DragDropTarget()->FromThisList = false;
    data->Release();
    EXPECT_TRUE(Exists(dir / L"sub\\mine.txt"));
    EXPECT_FALSE(Exists(dir / L"mine.txt"));
    EXPECT_EQ(Find(L"mine.txt"), -1);
    EXPECT_EQ(list->DropTarget(), -1) << "no highlight left";
}

TEST_F(DragDrop, ProgramsFromAnotherDriveBecomeShortcutsAndTheRightDragMenuAsks) {
    ZDir z;
    WriteBytes(z / L"setup.exe", "MZ");
    TempDir here;
    list->SetPath(here.Path());
    IDataObject* data = FilesData(z.path, {L"setup.exe"});
    EXPECT_EQ(DropAt(data, Empty()), static_cast<DWORD>(DROPEFFECT_LINK));
    EXPECT_TRUE(Exists(here / L"setup.lnk"));
    EXPECT_FALSE(Exists(here / L"setup.exe"));

    // With the right button: the menu, in its order, with the proposed effect first in bold.
    std::vector<std::wstring> entries;
    UINT byDefault = 0;
    list->ChooseFromDropMenu = [&](HMENU menu) -> UINT {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64]{};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            entries.push_back(text);
        }
        byDefault = GetMenuDefaultItem(menu, FALSE, 0);
        return DROPEFFECT_COPY;
    };
    EXPECT_EQ(DropAt(data, Empty(), MK_RBUTTON), static_cast<DWORD>(DROPEFFECT_COPY));
    data->Release();
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"&Move Here", L"&Copy Here", L"&Shortcut(s) Create Here", L"",
                                                  L"&Abort"}));
    EXPECT_EQ(byDefault, static_cast<UINT>(DROPEFFECT_LINK));
    EXPECT_EQ(ReadBytes(here / L"setup.exe"), "MZ");
}

// A shortcut takes the place of nothing: a taken name gives "name (2).lnk" and so on, and a
// shortcut dropped as a link onto its own folder (which would point at itself) is refused.
TEST_F(DragDrop, ANewShortcutReplacesNoFileAndNeverPointsAtItself) {
    ZDir z;
    WriteBytes(z / L"setup.exe", "MZ");
    TempDir here;
    WriteBytes(here / L"setup.lnk", "the user's own file");
    list->SetPath(here.Path());
    IDataObject* data = FilesData(z.path, {L"setup.exe"});
    EXPECT_EQ(DropAt(data, Empty()), static_cast<DWORD>(DROPEFFECT_LINK));
    EXPECT_EQ(ReadBytes(here / L"setup.lnk"), "the user's own file") << "left as it was";
    EXPECT_TRUE(Exists(here / L"setup (2).lnk")) << "the new shortcut beside it";
    EXPECT_EQ(DropAt(data, Empty()), static_cast<DWORD>(DROPEFFECT_LINK));
    data->Release();
    EXPECT_TRUE(Exists(here / L"setup (3).lnk"));
    EXPECT_EQ(ReadBytes(here / L"setup.lnk"), "the user's own file");
    EXPECT_TRUE(errors.empty());

    // The shortcut itself, dropped as a link (Shift and Ctrl) onto its own folder.
    const std::string shortcut = ReadBytes(here / L"setup (2).lnk");
    ASSERT_FALSE(shortcut.empty());
    data = FilesData(here.Path(), {L"setup (2).lnk"});
    list->DragDropTarget()->FromThisList = true;
    EXPECT_EQ(DropAt(data, Empty(), MK_LBUTTON | MK_SHIFT | MK_CONTROL), static_cast<DWORD>(DROPEFFECT_LINK));
    list->DragDropTarget()->FromThisList = false;
    data->Release();
    EXPECT_EQ(ReadBytes(here / L"setup (2).lnk"), shortcut) << "it still points at the program";
    EXPECT_EQ(errors, std::vector<int>{0}) << "refused: a shortcut that cannot be made";
    EXPECT_EQ(Listing(here.Path()), (std::set<std::wstring>{L"setup.lnk", L"setup (2).lnk", L"setup (3).lnk"}))
        << "no shortcut made";
}

TEST_F(DragDrop, RefusedDropsAndAVanishedTarget) {
    TempDir here;
    WriteBytes(here / L"x.txt", "x");
    IDataObject* data = FilesData(here.Path(), {L"x.txt"});
    DWORD effect = 7;
    list->DragDropTarget()->DragEnter(data, MK_LBUTTON, Empty(), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE)) << "a list without a folder takes nothing";

    TempDir dir;
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(dir.Path());
    const POINTL over = Over(Find(L"sub"));
    effect = 7;
    list->DragDropTarget()->DragEnter(data, MK_LBUTTON, over, &effect);
    effect = 7;
    list->DragDropTarget()->DragOver(MK_LBUTTON, over, &effect);
    RemoveDirectoryW((dir / L"sub").c_str());
    effect = 7;
    list->DragDropTarget()->Drop(data, 0, over, &effect);
    data->Release();
    EXPECT_EQ(errors, (std::vector<int>{1}));
    EXPECT_EQ(Find(L"sub"), -1) << "reloaded";
    EXPECT_TRUE(Exists(here / L"x.txt"));
}

// The shell's context menu of one item, choosing a verb.
void MenuCommand(TDirView& list, int item, const std::wstring& wanted) {
    list.ChooseFromMenu = [&](HMENU menu, IContextMenu* shell) -> UINT {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT id = GetMenuItemID(menu, i);
            if (id == 0 || id == static_cast<UINT>(-1)) continue;
            wchar_t verb[256]{};
            if (SUCCEEDED(shell->GetCommandString(id - 1, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), 256)) &&
                _wcsicmp(verb, wanted.c_str()) == 0)
                return id;
        }
        return 0;
    };
    for (int i : list.SelectedItems()) list.SetSelected(i, false);
    list.SetSelected(item, true);
    list.SetFocusedItem(item);
    SendMessageW(list.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list.Handle()), -1);
    PumpMessages();
    list.ChooseFromMenu = nullptr;
}

TEST_F(DragDrop, PasteMovesCutFilesAndCopiesCopiedOnes) {
    TempDir dir, from;
    WriteBytes(from / L"a.txt", "a");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(from.Path());
    MenuCommand(*list, Find(L"a.txt"), L"copy");
    ASSERT_EQ(PendingClipboardMark, TClipboardMark::Copy);
    list->SetPath(dir.Path());
    list->PasteInto(dir / L"sub");
    EXPECT_EQ(ReadBytes(dir / L"sub\\a.txt"), "a");
    EXPECT_TRUE(Exists(from / L"a.txt"));
    list->SetPath(from.Path());
    MenuCommand(*list, Find(L"a.txt"), L"cut");
    ASSERT_EQ(PendingClipboardMark, TClipboardMark::Cut);
    list->SetPath(dir.Path());
    list->PasteInto(L"");
    EXPECT_TRUE(Exists(dir / L"a.txt"));
    EXPECT_FALSE(Exists(from / L"a.txt")) << "cut files move";
    EXPECT_EQ(PendingClipboardMark, TClipboardMark::None);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP)) << "the clipboard is emptied";
    EXPECT_GE(Find(L"a.txt"), 0);
}

// A cut the clipboard no longer holds moves nothing: what was copied to it since is copied.
TEST_F(DragDrop, FilesCopiedToTheClipboardAfterACutAreCopiedNotMoved) {
    TempDir dir, from, elsewhere;
    WriteBytes(from / L"cut.txt", "c");
    WriteBytes(elsewhere / L"other.txt", "o");
    list->SetPath(from.Path());
    MenuCommand(*list, Find(L"cut.txt"), L"cut");
    ASSERT_EQ(PendingClipboardMark, TClipboardMark::Cut);
    // Other files are copied to the clipboard elsewhere.
    IDataObject* data = FilesData(elsewhere.Path(), {L"other.txt"});
    ASSERT_TRUE(SUCCEEDED(OleSetClipboard(data)));
    OleFlushClipboard();
    data->Release();
    list->SetPath(dir.Path());
    list->PasteInto(L"");
    EXPECT_EQ(ReadBytes(dir / L"other.txt"), "o");
    EXPECT_TRUE(Exists(elsewhere / L"other.txt")) << "copied, not moved";
    EXPECT_TRUE(Exists(from / L"cut.txt"));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP)) << "the clipboard keeps what it holds";
    EXPECT_EQ(PendingClipboardMark, TClipboardMark::None);

    // The very file that was cut, copied to the clipboard again elsewhere: copied too.
    list->SetPath(from.Path());
    MenuCommand(*list, Find(L"cut.txt"), L"cut");
    data = FilesData(from.Path(), {L"cut.txt"});
    ASSERT_TRUE(SUCCEEDED(OleSetClipboard(data)));
    OleFlushClipboard();
    data->Release();
    list->SetPath(dir.Path());
    list->PasteInto(L"");
    EXPECT_EQ(ReadBytes(dir / L"cut.txt"), "c");
    EXPECT_TRUE(Exists(from / L"cut.txt")) << "the later copy wins over the earlier cut";
}

// Files on the clipboard as the shell puts them there, with the effect it prefers (a cut: move).
void PutOnClipboard(HWND owner, const std::vector<std::wstring>& names, DWORD preferredEffect) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    SetClipboardData(CF_HDROP, MakeDrop(names));
    const HGLOBAL effect = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
    *static_cast<DWORD*>(GlobalLock(effect)) = preferredEffect;
    GlobalUnlock(effect);
    SetClipboardData(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT), effect);
    CloseClipboard();
}

// What a clipboard manager does: takes what the clipboard holds and puts it back, every format.
void RenderClipboardAgain(HWND owner) {
    ASSERT_TRUE(OpenClipboard(owner));
    std::vector<std::pair<UINT, std::string>> held;
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        const HANDLE data = GetClipboardData(format);
        const SIZE_T size = data ? GlobalSize(data) : 0;
        if (!size) continue;  // not memory (a bitmap, a synthesized format)
        held.push_back({format, std::string(static_cast<const char*>(GlobalLock(data)), size)});
        GlobalUnlock(data);
    }
    const DWORD before = GetClipboardSequenceNumber();
    EmptyClipboard();
    for (const auto& [format, bytes] : held) {
        const HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(copy), bytes.data(), bytes.size());
        GlobalUnlock(copy);
        SetClipboardData(format, copy);
    }
    CloseClipboard();
    EXPECT_NE(GetClipboardSequenceNumber(), before) << "the clipboard has changed for everyone watching it";
}

// A clipboard manager renders the clipboard again after the cut: it is still the cut.
TEST_F(DragDrop, ACutStaysACutWhenTheClipboardIsRenderedAgain) {
    TempDir dir, from;
    WriteBytes(from / L"cut.txt", "c");
    WriteBytes(from / L"copied.txt", "k");
    list->SetPath(from.Path());
    FakeContextMenu menu;
    menu.verbs = {L"cut"};
    DWORD effect = DROPEFFECT_MOVE;
    std::wstring file;
    menu.carryOut = [&](const std::wstring&) { PutOnClipboard(form->Handle(), {from / file}, effect); };
    list->ContextMenuFor = [&](const std::vector<int>&) -> IContextMenu* { return &menu; };
    list->ChooseFromMenu = [&](HMENU, IContextMenu*) -> UINT { return menu.first; };
    auto cut = [&](const std::wstring& name) {
        file = name;
        for (int i : list->SelectedItems()) list->SetSelected(i, false);
        list->SetSelected(Find(name), true);
        SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
        PumpMessages();
    };
    cut(L"cut.txt");
    ASSERT_EQ(PendingClipboardMark, TClipboardMark::Cut);
    RenderClipboardAgain(form->Handle());
    list->SetPath(dir.Path());
    list->PasteInto(L"");
    EXPECT_EQ(ReadBytes(dir / L"cut.txt"), "c");
    EXPECT_FALSE(Exists(from / L"cut.txt")) << "moved: the clipboard still held the cut";
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP)) << "a pasted cut empties the clipboard";

    // The same file copied to the clipboard after the cut (the shell's copy prefers copy or link):
    // a copy, however often it is rendered.
    list->SetPath(from.Path());
    cut(L"copied.txt");
    ASSERT_EQ(PendingClipboardMark, TClipboardMark::Cut);
    PutOnClipboard(form->Handle(), {from / L"copied.txt"}, DROPEFFECT_COPY | DROPEFFECT_LINK);
    RenderClipboardAgain(form->Handle());
    list->SetPath(dir.Path());
    list->PasteInto(L"");
    list->ContextMenuFor = nullptr;
    list->ChooseFromMenu = nullptr;
    EXPECT_EQ(ReadBytes(dir / L"copied.txt"), "k");
    EXPECT_TRUE(Exists(from / L"copied.txt")) << "copied, not moved";
}

// A real drag loop: the mouse rests over a sub-folder of the list with no button
// held, so the drag drops there at once and the list carries out the move. (The
// watch for files moved by another program is FilesMovedIntoAnotherListLeaveThisOne.)
TEST_F(DragDrop, DraggingOntoItsOwnSubFolderMovesTheFile) {
    TempDir dir;
    WriteBytes(dir / L"moving.txt", "m");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(dir.Path());
    SetForegroundWindow(form->Handle());
    const POINTL over = Over(Find(L"sub"));
    SetCursorPos(over.x, over.y);
    list->SetSelected(Find(L"moving.txt"), true);
    int detected = 0, asked = 0, processed = 0;
    list->OnDDDragDetect = [&](TDirView*, DWORD) { ++detected; };
    list->OnDDQueryContinueDrag = [&](TDirView*, bool, DWORD, HRESULT& r) {
        ++asked;
        EXPECT_EQ(r, DRAGDROP_S_DROP) << "no button held: drop here";
    };
    list->OnDDProcessDropped = [&](TDirView*, DWORD, POINT, DWORD& effect) {
        ++processed;
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    };
    OfferedFormats offered;
    list->DragDropTarget()->SetHelper(&offered);
    NMLISTVIEW begin{};
    begin.hdr = {list->Handle(), static_cast<UINT_PTR>(list->Id()), LVN_BEGINDRAG};
    begin.iItem = Find(L"moving.txt");
    SendMessageW(form->Handle(), WM_NOTIFY, begin.hdr.idFrom, reinterpret_cast<LPARAM>(&begin));
    list->DragDropTarget()->SetHelper(nullptr);
    EXPECT_EQ(offered.drags, 1);
    EXPECT_TRUE(offered.identifiers && offered.fileList) << "a small selection goes as the shell's own object";
    EXPECT_EQ(detected, 1);
    EXPECT_GE(asked, 1);
    EXPECT_EQ(processed, 1);
    EXPECT_TRUE(Exists(dir / L"sub\\moving.txt")) << "dropped onto the sub-folder: moved";
    EXPECT_FALSE(Exists(dir / L"moving.txt"));
    for (int i = 0; i < 40 && Find(L"moving.txt") >= 0; ++i) {
        Application::Instance().ProcessMessages();
        Sleep(50);
    }
    EXPECT_EQ(Find(L"moving.txt"), -1) << "the moved file left the list";
}

TEST_F(DragDrop, ThePictureOfADrag) {
    TempDir dir;
    WriteBytes(dir / L"a.txt", "");
    WriteBytes(dir / L"b.txt", "");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(dir.Path());
    const auto several = list->MakeDragPicture({Find(L"a.txt"), Find(L"b.txt"), Find(L"sub")});
    ASSERT_NE(several.bitmap, nullptr);
    EXPECT_EQ(several.size.cy, 32);
    EXPECT_GT(several.size.cx, 33 + 40) << "the pages and the words \"2 Files, 1 Directories\"";
    EXPECT_EQ(several.hotSpot.x, 25);
    EXPECT_EQ(several.hotSpot.y, 20);
    EXPECT_EQ(several.transparent, RGB(255, 0, 255)) << "the picture's top-left colour";
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, several.bitmap);
    int text = 0;
    for (int x = 34; x < several.size.cx; ++x)
        for (int y = 0; y < 32; ++y) text += GetPixel(dc, x, y) != RGB(255, 0, 255);
    EXPECT_GT(text, 30) << "words beside the pages";
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(several.bitmap);
    const auto one = list->MakeDragPicture({Find(L"a.txt")});
    ASSERT_NE(one.bitmap, nullptr) << "the item's own picture";
    EXPECT_GT(one.size.cx, 16);
    DeleteObject(one.bitmap);
}

TEST_F(DragDrop, ADragNearTheBottomOfTheDetailsViewScrolls) {
    TempDir dir;
    for (int i = 0; i < 60; ++i) WriteBytes(dir / (L"f" + std::to_wstring(100 + i) + L".txt"), "");
    list->SetPath(dir.Path());
    form->btnViewStyle.SetDown(true);
    form->btnViewStyle.Click();
    IDataObject* data = FilesData(dir.Path(), {L"f100.txt"});
    RECT r;
    GetClientRect(list->Handle(), &r);
    POINT bottom{r.right / 2, r.bottom - 4};
    ClientToScreen(list->Handle(), &bottom);
    DWORD effect = 7;
    list->DragDropTarget()->DragEnter(data, MK_LBUTTON, {bottom.x, bottom.y}, &effect);
    const int before = ListView_GetTopIndex(list->Handle());
    for (int i = 0; i < 3; ++i) {
        Sleep(210);
        effect = 7;
        list->DragDropTarget()->DragOver(MK_LBUTTON, {bottom.x, bottom.y}, &effect);
    }
    EXPECT_GE(ListView_GetTopIndex(list->Handle()), before + 2) << "a line every 200 ms";
    list->DragDropTarget()->DragLeave();
    data->Release();
}

TEST_F(DragDrop, APlainFileListForBigSelections) {
    ZDir z;
    std::vector<std::wstring> names;
    for (int i = 0; i < 3; ++i) {
        WriteBytes(z / (L"p" + std::to_wstring(i) + L".txt"), "p");
        names.push_back(z / (L"p" + std::to_wstring(i) + L".txt"));
    }
    IDataObject* data = MakeFileListData(names);
    EXPECT_EQ(DroppedFileNames(data), names) << "the names come back as given";
    TempDir here;
    list->SetPath(here.Path());
    EXPECT_EQ(DropAt(data, Empty()), static_cast<DWORD>(DROPEFFECT_COPY));
    data->Release();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Exists(here / (L"p" + std::to_wstring(i) + L".txt")));

    // A drag of more than 100 items goes out as such a plain list, through a real drag loop.
    TempDir dir;
    for (int i = 0; i < 101; ++i) WriteBytes(dir / (L"m" + std::to_wstring(1000 + i) + L".txt"), "");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    list->SetPath(dir.Path());
    for (int i = 0; i < list->Count(); ++i)
        if (!list->Item(i)->IsDirectory) list->SetSelected(i, true);
    ASSERT_EQ(list->SelectedItems().size(), 101u);
    SetForegroundWindow(form->Handle());
    const POINTL over = Over(Find(L"sub"));
    SetCursorPos(over.x, over.y);
    int asked = 0, processed = 0, detected = 0;
    bool entered = false;
    list->OnDDDragDetect = [&](TDirView*, DWORD) { ++detected; };
    list->OnDDQueryContinueDrag = [&](TDirView*, bool, DWORD, HRESULT&) { ++asked; };
    DWORD dropEffect = 99;
    list->OnDDProcessDropped = [&](TDirView*, DWORD, POINT, DWORD& e) { ++processed, dropEffect = e; };
    list->OnDDDragEnter = [&](TDirView*, bool& accept) { entered = accept; };
    OfferedFormats offered;
    list->DragDropTarget()->SetHelper(&offered);
    NMLISTVIEW begin{};
    begin.hdr = {list->Handle(), static_cast<UINT_PTR>(list->Id()), LVN_BEGINDRAG};
    SendMessageW(form->Handle(), WM_NOTIFY, begin.hdr.idFrom, reinterpret_cast<LPARAM>(&begin));
    list->DragDropTarget()->SetHelper(nullptr);
    EXPECT_EQ(offered.drags, 1);
    EXPECT_TRUE(offered.fileList);
    EXPECT_FALSE(offered.identifiers) << "more than 100 items go as a plain file list";
    EXPECT_EQ(detected, 1);
    EXPECT_GE(asked, 1);
    EXPECT_TRUE(entered);
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(dropEffect, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_TRUE(Exists(dir / L"sub\\m1000.txt"));
    EXPECT_TRUE(Exists(dir / L"sub\\m1100.txt"));
    EXPECT_FALSE(Exists(dir / L"m1050.txt"));
}

TEST(FileOperator, MovesSeveralFilesAndUndoesTheMove) {
    TempDir from, to;
    std::vector<std::wstring> names;
    for (const auto* n : {L"a.txt", L"b.txt", L"c.txt"}) {
        WriteBytes(from / n, "x");
        names.push_back(from / n);
    }
    TFileOperator op;
    op.Operation = TFileOperation::foMove;
    op.Flags = foAllowUndo | foNoConfirmMkDir | foNoConfirmation;
    op.OperandFrom = names;
    op.OperandTo = {to.Path()};
    EXPECT_TRUE(op.Execute());
    EXPECT_TRUE(op.OperandFrom.empty()) << "the lists are cleared";
    for (const auto* n : {L"a.txt", L"b.txt", L"c.txt"}) EXPECT_TRUE(Exists(to / n));
    ASSERT_TRUE(op.CanUndo());
    EXPECT_TRUE(op.UndoExecute());
    for (const auto* n : {L"a.txt", L"b.txt", L"c.txt"}) {
        EXPECT_TRUE(Exists(from / n)) << "moved back";
        EXPECT_FALSE(Exists(to / n));
    }
    EXPECT_EQ(JoinForShell({L"a", L"b"}), std::wstring(L"a\0b\0\0", 5));
}

// Into another list (another window): this list learns of the move by watching the disk.
TEST_F(DragDrop, FilesMovedIntoAnotherListLeaveThisOne) {
    TempDir dir, other, elsewhere;
    WriteBytes(dir / L"going.txt", "g");
    WriteBytes(dir / L"staying.txt", "s");
    WriteBytes(dir / L"leaving.txt", "l");
    WriteBytes(elsewhere / L"leaving.txt", "a namesake in another folder");
    list->SetPath(dir.Path());
    const auto second = SecondWindow(other.Path());
    DragOutTo(*second, L"going.txt");
    EXPECT_TRUE(Exists(other / L"going.txt")) << "moved within the drive into the other list's folder";
    EXPECT_GE(second->ShellDir1.FindFileItem(L"going.txt"), 0);
    EXPECT_GE(Find(L"going.txt"), 0) << "this list has not looked yet";
    // The user selects something else meanwhile; the watch leaves that alone.
    for (int i : list->SelectedItems()) list->SetSelected(i, false);
    list->SetSelected(Find(L"staying.txt"), true);
    EXPECT_TRUE(WaitUntilGone(L"going.txt", 2000)) << "gone within about half a second of the file";
    EXPECT_EQ(list->SelectedItems(), std::vector<int>{Find(L"staying.txt")}) << "the selection stays";

    // The list shows another folder by the time the watch sees the file gone:
    // a namesake there stays.
    DragOutTo(*second, L"leaving.txt");
    ASSERT_TRUE(Exists(other / L"leaving.txt"));
    list->SetPath(elsewhere.Path());
    EXPECT_FALSE(WaitUntilGone(L"leaving.txt", 1500)) << "only the watched folder's items are taken out";
}

// While a name is typed, or a menu is up, the watch may take items out of the list: what
// was held for later is the item itself, not its place in the list.
TEST_F(DragDrop, ANameTypedWhileItemsLeaveTheListRenamesItsOwnFile) {
    TempDir dir, other;
    WriteBytes(dir / L"a-going.txt", "going");
    WriteBytes(dir / L"b-typed.txt", "typed");
    WriteBytes(dir / L"c-neighbour.txt", "neighbour");
    list->SetPath(dir.Path());
    const auto second = SecondWindow(other.Path());
    DragOutTo(*second, L"a-going.txt");
    ASSERT_TRUE(Exists(other / L"a-going.txt"));
    list->EditCaption(Find(L"b-typed.txt"));
    const HWND edit = ListView_GetEditControl(list->Handle());
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(WaitUntilGone(L"a-going.txt")) << "the watch took the moved file out";
    ASSERT_EQ(ListView_GetEditControl(list->Handle()), edit) << "the name is still being typed";
    SetWindowTextW(edit, L"renamed.txt");
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages();
    EXPECT_EQ(ReadBytes(dir / L"renamed.txt"), "typed") << "the file whose name was typed";
    EXPECT_FALSE(Exists(dir / L"b-typed.txt"));
    EXPECT_EQ(ReadBytes(dir / L"c-neighbour.txt"), "neighbour") << "its neighbour keeps its name";
    EXPECT_GE(Find(L"renamed.txt"), 0);
}

TEST_F(DragDrop, TheRightDragMenusChoiceGoesToTheFolderThatWasUnderTheMouse) {
    TempDir dir, other, from;
    MakeDir(dir / L"a-going");
    MakeDir(dir / L"b-target");
    MakeDir(dir / L"c-neighbour");
    WriteBytes(from / L"x.txt", "x");
    list->SetPath(dir.Path());
    const auto second = SecondWindow(other.Path());
    DragOutTo(*second, L"a-going");
    ASSERT_TRUE(Exists(other / L"a-going"));
    bool leftDuringMenu = false;
    list->ChooseFromDropMenu = [&](HMENU) -> UINT {
        const bool there = Find(L"a-going") >= 0;
        leftDuringMenu = there && WaitUntilGone(L"a-going");  // the menu is up meanwhile
        return DROPEFFECT_COPY;
    };
    IDataObject* data = FilesData(from.Path(), {L"x.txt"});
    DropAt(data, Over(Find(L"b-target")), MK_RBUTTON);
    data->Release();
    ASSERT_TRUE(leftDuringMenu) << "the moved folder left the list while the menu was up";
    EXPECT_EQ(ReadBytes(dir / L"b-target\\x.txt"), "x");
    EXPECT_FALSE(Exists(dir / L"c-neighbour\\x.txt")) << "not into the folder now in its place";
    EXPECT_TRUE(errors.empty());

    // A highlighted folder that itself leaves during the menu is no target: nothing goes anywhere.
    DragOutTo(*second, L"b-target");
    ASSERT_TRUE(Exists(other / L"b-target"));
    WriteBytes(from / L"y.txt", "y");
    list->ChooseFromDropMenu = [&](HMENU) -> UINT {
        WaitUntilGone(L"b-target");
        return DROPEFFECT_COPY;
    };
    data = FilesData(from.Path(), {L"y.txt"});
    DropAt(data, Over(Find(L"b-target")), MK_RBUTTON);
    data->Release();
    EXPECT_EQ(errors, std::vector<int>{1}) << "the target folder has gone";
    EXPECT_FALSE(Exists(dir / L"y.txt"));
    EXPECT_FALSE(Exists(dir / L"c-neighbour\\y.txt"));
}

TEST_F(DragDrop, APasteFromTheContextMenuGoesIntoTheFolderThatWasSelected) {
    TempDir dir, other, from;
    MakeDir(dir / L"a-going");
    MakeDir(dir / L"b-target");
    MakeDir(dir / L"c-neighbour");
    WriteBytes(from / L"x.txt", "x");
    IDataObject* data = FilesData(from.Path(), {L"x.txt"});
    ASSERT_TRUE(SUCCEEDED(OleSetClipboard(data)));
    OleFlushClipboard();
    data->Release();
    PendingClipboardMark = TClipboardMark::Copy;
    list->SetPath(dir.Path());
    const auto second = SecondWindow(other.Path());
    DragOutTo(*second, L"a-going");
    ASSERT_TRUE(Exists(other / L"a-going"));
    FakeContextMenu menu;
    menu.verbs = {L"paste"};
    bool leftDuringMenu = false;
    list->ContextMenuFor = [&](const std::vector<int>&) -> IContextMenu* { return &menu; };
    list->ChooseFromMenu = [&](HMENU, IContextMenu*) -> UINT {
        const bool there = Find(L"a-going") >= 0;
        leftDuringMenu = there && WaitUntilGone(L"a-going");
        return menu.first;
    };
    for (int i : list->SelectedItems()) list->SetSelected(i, false);
    list->SetSelected(Find(L"b-target"), true);
    SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
    PumpMessages();
    list->ContextMenuFor = nullptr;
    list->ChooseFromMenu = nullptr;
    PendingClipboardMark = TClipboardMark::None;
    ASSERT_TRUE(leftDuringMenu) << "the moved folder left the list while the menu was up";
    EXPECT_TRUE(menu.invoked.empty()) << "a paste onto a folder is the list's own";
    EXPECT_EQ(ReadBytes(dir / L"b-target\\x.txt"), "x");
    EXPECT_FALSE(Exists(dir / L"c-neighbour\\x.txt")) << "not into the folder now in its place";
}

}  // namespace
}  // namespace zandrel::test
