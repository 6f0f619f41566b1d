// Where drops go besides folders: files with a drop handler, the recycle bin,
// names given by the source; what a drag out offers when the shell cannot;
// the drag's picture over the list; the watch after a move.
#include "dragdrop_fixture.h"

#include "framework/application.h"
#include "framework/files.h"

#include <cstring>

namespace zandrel::test {
namespace {

// A drop target that records what reaches it and answers with its own effect.
struct RecordingTarget : IDropTarget {
    std::vector<std::string> calls;
    DWORD answer = DROPEFFECT_LINK;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *out = static_cast<IDropTarget*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* e) override {
        calls.push_back("enter");
        *e = answer;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* e) override {
        calls.push_back("over");
        *e = answer;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        calls.push_back("leave");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* e) override {
        calls.push_back("drop");
        *e = answer;
        return S_OK;
    }
};

// The shell's drag-image helper, as the list uses it: what reaches it.
struct RecordingHelper : IDropTargetHelper {
    std::vector<std::string> calls;
    HWND window = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDropTargetHelper) {
            *out = static_cast<IDropTargetHelper*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(HWND target, IDataObject*, POINT*, DWORD) override {
        window = target;
        calls.push_back("enter");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        calls.push_back("leave");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(POINT*, DWORD) override {
        calls.push_back("over");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, POINT*, DWORD) override {
        calls.push_back("drop");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(BOOL) override { return S_OK; }
};

TEST_F(DragDrop, AFileWithADropHandlerIsHighlightedAndTakesTheDropItself) {
    TempDir dir, from;
    WriteBytes(dir / L"archive.zip", "PK");
    WriteBytes(dir / L"plain.txt", "text");
    WriteBytes(from / L"x.txt", "x");
    list->SetPath(dir.Path());
    RecordingTarget handler;
    list->DropHandlerOf = [&](int item) -> IDropTarget* {
        return list->Item(item)->FileName == L"archive.zip" ? &handler : nullptr;
    };
    int processed = 0;
    list->OnDDProcessDropped = [&](TDirView*, DWORD, POINT, DWORD&) { ++processed; };
    IDataObject* data = FilesData(from.Path(), {L"x.txt"});
    auto* target = list->DragDropTarget();
    const POINTL over = Over(Find(L"archive.zip"));
    DWORD effect = 7;
    target->DragEnter(data, MK_LBUTTON, over, &effect);
    EXPECT_EQ(list->DropTarget(), Find(L"archive.zip")) << "highlighted";
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_LINK)) << "the handler decides the effect";
    effect = 7;
    target->Drop(data, 0, over, &effect);
    ASSERT_FALSE(handler.calls.empty());
    EXPECT_EQ(handler.calls.back(), "drop") << "the handler takes the drop";
    EXPECT_EQ(processed, 0) << "the list does not carry it out";
    EXPECT_FALSE(Exists(dir / L"x.txt"));
    // A file without a handler is no target: the drop goes into the list's folder.
    effect = 7;
    EXPECT_EQ(DropAt(data, Over(Find(L"plain.txt"))), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(list->DropTarget(), -1);
    EXPECT_TRUE(Exists(dir / L"x.txt"));
    data->Release();
}

// The drop handler of a program, a shortcut or a script runs it with the dropped files as
// its arguments; the pane never runs a file, so these take no drop: it goes to the folder.
// (Wine's shell gives files no real drop handlers; here every file is given one.)
TEST_F(DragDrop, ProgramsShortcutsAndScriptsTakeNoDrop) {
    TempDir dir, from;
    const std::vector<std::wstring> runners{L"program.exe", L"shortcut.lnk", L"batch.bat", L"command.CMD",
                                            L"script.vbs",  L"script.js",    L"shell.ps1", L"screen.scr"};
    for (const auto& name : runners) WriteBytes(dir / name, "x");
    list->SetPath(dir.Path());
    RecordingTarget handler;
    list->DropHandlerOf = [&](int) -> IDropTarget* { return &handler; };
    for (const auto& name : runners) {
        WriteBytes(from / L"x.txt", "x");
        IDataObject* data = FilesData(from.Path(), {L"x.txt"});
        auto* target = list->DragDropTarget();
        const POINTL over = Over(Find(name));
        DWORD effect = 7;
        target->DragEnter(data, MK_LBUTTON, over, &effect);
        effect = 7;
        target->DragOver(MK_LBUTTON, over, &effect);
        EXPECT_EQ(list->DropTarget(), -1) << "not highlighted: " << Narrow(name);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "the list's own effect: " << Narrow(name);
        effect = 7;
        target->Drop(data, 0, over, &effect);
        data->Release();
        EXPECT_TRUE(handler.calls.empty()) << "its handler was asked: " << Narrow(name);
        EXPECT_EQ(ReadBytes(dir / L"x.txt"), "x") << "into the folder: " << Narrow(name);
        DeleteFileW((dir / L"x.txt").c_str());
        handler.calls.clear();
    }
}

TEST_F(DragDrop, DroppedOntoTheRecycleBinFilesAreDeletedNotMovedIntoItsFolder) {
    const std::wstring recycled = L"C:\\RECYCLED";
    CreateDirectoryW(recycled.c_str(), nullptr);
    SetFileAttributesW(recycled.c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    struct Remove {
        std::wstring p;
        ~Remove() {
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            std::error_code ec;
            std::filesystem::remove_all(p, ec);
        }
    } remove{recycled};
    TempDir from;
    WriteBytes(from / L"trash.txt", "t");
    list->ConfirmDelete = false;  // no question of the shell's to answer here
    list->SetPath(L"C:");
    const int bin = Find(L"RECYCLED");
    ASSERT_GE(bin, 0);
    ASSERT_TRUE(list->Item(bin)->IsRecycleBin);
    IDataObject* data = FilesData(from.Path(), {L"trash.txt"});
    EXPECT_EQ(DropAt(data, Over(bin), MK_LBUTTON | MK_CONTROL), static_cast<DWORD>(DROPEFFECT_MOVE))
        << "onto the recycle bin even a copy is a move";
    data->Release();
    EXPECT_FALSE(Exists(from / L"trash.txt")) << "gone from its folder";
    EXPECT_FALSE(Exists(recycled + L"\\trash.txt")) << "deleted, not moved into the folder";

    // The right-drag menu offers only the move there.
    WriteBytes(from / L"more.txt", "m");
    std::vector<std::wstring> offered;
    list->ChooseFromDropMenu = [&](HMENU menu) -> UINT {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64]{};
            if (GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION) > 0) offered.push_back(text);
        }
        return 0;  // cancelled
    };
    data = FilesData(from.Path(), {L"more.txt"});
    DWORD effect = 7;
    list->DragDropTarget()->DragEnter(data, MK_RBUTTON, Over(bin), &effect);
    effect = 7;
    list->DragDropTarget()->Drop(data, 0, Over(bin), &effect);
    data->Release();
    EXPECT_EQ(offered.size(), 2u) << "move and cancel";
    EXPECT_TRUE(Exists(from / L"more.txt"));

    // In the recycle bin's own view a copy is a move as well.
    list->SetPath(recycled);
    ASSERT_TRUE(list->IsRecycleBinView());
    data = FilesData(from.Path(), {L"more.txt"});
    EXPECT_EQ(DropAt(data, Empty(), MK_LBUTTON | MK_CONTROL), static_cast<DWORD>(DROPEFFECT_MOVE));
    data->Release();
    EXPECT_FALSE(Exists(from / L"more.txt"));
    EXPECT_FALSE(Exists(recycled + L"\\more.txt"));
    list->SetPath(L"C:");
}

// A data object made here, byte by byte, as the shell's formats lay them out.
struct HandMadeDrop : IDataObject {
    std::vector<std::uint8_t> files, map;
    HandMadeDrop(const std::vector<std::wstring>& names, const std::vector<std::wstring>& mapped) {
        std::wstring joined, mapText;
        for (const auto& n : names) joined += n + L'\0';
        for (const auto& n : mapped) mapText += n + L'\0';
        joined += L'\0', mapText += L'\0';
        DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
        files.resize(sizeof header + joined.size() * 2);
        std::memcpy(files.data(), &header, sizeof header);
        std::memcpy(files.data() + sizeof header, joined.data(), joined.size() * 2);
        map.resize(mapText.size() * 2);
        std::memcpy(map.data(), mapText.data(), map.size());
    }
    static CLIPFORMAT MapFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileNameMapW")); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_IDataObject ? static_cast<IDataObject*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (QueryGetData(f) != S_OK) return DV_E_FORMATETC;
        const auto& bytes = f->cfFormat == CF_HDROP ? files : map;
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(m->hGlobal), bytes.data(), bytes.size());
        GlobalUnlock(m->hGlobal);
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
        return f && (f->cfFormat == CF_HDROP || f->cfFormat == MapFormat()) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

TEST_F(DragDrop, FilesThatCarryANameMapArriveUnderTheirRealNames) {
    TempDir bin, dir;
    // As the recycle bin offers its files: stored names, and the names they had.
    WriteBytes(bin / L"DC1.txt", "one");
    WriteBytes(bin / L"DC2.exe", "two");
    HandMadeDrop made({bin / L"DC1.txt", bin / L"DC2.exe"}, {L"notes.txt", L"tool.exe"});
    IDataObject* data = &made;
    data->AddRef();
    // The list's own plain list carries such a map the same way.
    IDataObject* own = MakeFileListData({bin / L"DC1.txt"}, {L"notes.txt"});
    EXPECT_EQ(ReadDroppedFiles(own).mapped, std::vector<std::wstring>{L"notes.txt"});
    own->Release();
    list->SetPath(dir.Path());
    DropAt(data, Empty(), MK_LBUTTON | MK_CONTROL);
    data->Release();
    EXPECT_EQ(ReadBytes(dir / L"notes.txt"), "one");
    EXPECT_EQ(ReadBytes(dir / L"tool.exe"), "two");
    EXPECT_FALSE(Exists(dir / L"DC1.txt"));
    EXPECT_GE(Find(L"notes.txt"), 0);
}

TEST_F(DragDrop, TheDragsPictureIsDrawnOverTheListToo) {
    TempDir dir, from;
    WriteBytes(from / L"x.txt", "x");
    list->SetPath(dir.Path());
    RecordingHelper helper;
    list->DragDropTarget()->SetHelper(&helper);
    IDataObject* data = FilesData(from.Path(), {L"x.txt"});
    DropAt(data, Empty());
    auto* target = list->DragDropTarget();
    DWORD effect = 7;
    target->DragEnter(data, MK_LBUTTON, Empty(), &effect);
    target->DragLeave();
    data->Release();
    list->DragDropTarget()->SetHelper(nullptr);
    EXPECT_EQ(helper.calls, (std::vector<std::string>{"enter", "over", "drop", "enter", "leave"}));
    EXPECT_EQ(helper.window, list->Handle());
}

// A drop's file operation lets messages through (the shell's progress): the wait cursor stays.
TEST_F(DragDrop, ADropKeepsItsWaitCursorWhileTheShellWorks) {
    TempDir dir, from;
    WriteBytes(from / L"x.txt", "x");
    list->SetPath(dir.Path());
    bool waiting = false;
    list->OnDDFileOperation = [&](TDirView*, DWORD, const std::wstring&, const std::wstring&, bool&) {
        SendMessageW(list->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(list->Handle()),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        waiting = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
    };
    IDataObject* data = FilesData(from.Path(), {L"x.txt"});
    DropAt(data, Empty());
    data->Release();
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(Exists(dir / L"x.txt"));
    EXPECT_FALSE(Application::Instance().Busy());
}

// A real drag loop out of a folder deeper than the shell can name: the plain file list goes.
TEST_F(DragDrop, ADragOutOfAFolderTooLongForTheShellStillGoes) {
    TempDir dir;
    std::wstring deep = dir.Path();
    while (deep.size() < 280) {
        deep += L"\\a-long-folder-name-for-a-deep-path";
        ASSERT_TRUE(CreateDirectoryW(ApiPath(deep).c_str(), nullptr));
    }
    ASSERT_TRUE(CreateDirectoryW(ApiPath(deep + L"\\sub").c_str(), nullptr));
    WriteBytes(ApiPath(deep + L"\\deep.txt"), "d");
    list->SetPath(deep);
    SetForegroundWindow(form->Handle());
    const POINTL over = Over(Find(L"sub"));
    SetCursorPos(over.x, over.y);
    list->SetSelected(Find(L"deep.txt"), true);
    int processed = 0;
    std::vector<std::wstring> offered;
    list->OnDDProcessDropped = [&](TDirView*, DWORD, POINT, DWORD&) { ++processed; };
    list->OnDDFileOperation = [&](TDirView*, DWORD, const std::wstring&, const std::wstring&, bool& go) {
        offered = list->FileOperator.OperandFrom;
        go = false;  // the shell's file operation itself cannot reach such a path
    };
    NMLISTVIEW begin{};
    begin.hdr = {list->Handle(), static_cast<UINT_PTR>(list->Id()), LVN_BEGINDRAG};
    begin.iItem = Find(L"deep.txt");
    SendMessageW(form->Handle(), WM_NOTIFY, begin.hdr.idFrom, reinterpret_cast<LPARAM>(&begin));
    EXPECT_EQ(processed, 1) << "the drag took place";
    EXPECT_EQ(offered, std::vector<std::wstring>{deep + L"\\deep.txt"}) << "with the file's whole name";
}

}  // namespace
}  // namespace zandrel::test
