// The job panel's file dialogs: the target's is a Save dialog titled for the target, which
// asks nothing about an existing file (Start asks, once); the source's and the target's open
// in the folder of the path their field holds, else in their stored folder.
#include "test_support.h"

#include <commdlg.h>
#include <dlgs.h>

#include "app/descrambler.h"
#include "app/globals.h"
#include "framework/application.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }
std::wstring Name(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr4(stored)); }

class FileDialogs : public MainWindowTest {};

TEST_F(FileDialogs, TheTargetsButtonOpensASaveDialogForTheTarget) {
    TempDir dir, out;
    MakeWindow();
    form->edSource.SetText(dir / L"app.exe");
    form->edTarget.SetText(out / L"packed.exe");  // a new file
    dialogs.files.push_back(out / L"renamed.exe");
    form->btnTarget.Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const auto& shown = dialogs.fileRequests[0];
    EXPECT_TRUE(shown.save) << "a Save dialog, not an Open dialog";
    EXPECT_EQ(shown.title, L"Save the target file as");
    EXPECT_EQ(shown.initialFolder, out.Path()) << "the folder of the target the field holds";
    EXPECT_EQ(shown.fileName, L"packed.exe") << "offering the target's name";
    EXPECT_EQ(shown.filter, Message(texts::FilterTarget));
    EXPECT_EQ(form->edTarget.Text(), out / L"renamed.exe");
    EXPECT_EQ(form->edSource.Text(), dir / L"app.exe");
    EXPECT_EQ(StoredSetting(Name(texts::ValTargetDir)), out.Path());
    EXPECT_TRUE(dialogs.boxes.empty()) << "choosing a name asks nothing";
}

TEST_F(FileDialogs, SourceAndTargetOpenInTheirFieldsFolderElseInTheirStoredOne) {
    TempDir field, stored;
    MakeWindow();
    StoreSetting(Name(texts::ValSourceDir), stored.Path());
    StoreSetting(Name(texts::ValTargetDir), stored.Path());
    StoreSetting(Name(texts::ValUpxDir), stored.Path());
    form->edUPX.SetText(field / L"upx.exe");
    form->edSource.SetText(field / L"app.exe");  // the target follows
    form->btnSource.Click();
    form->btnTarget.Click();
    form->btnUPX.Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_FALSE(dialogs.fileRequests[0].save);
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, field.Path()) << "the source's folder";
    EXPECT_EQ(dialogs.fileRequests[0].title, L"") << "the source's dialog keeps its own title";
    EXPECT_EQ(dialogs.fileRequests[1].initialFolder, field.Path()) << "the target's folder";
    EXPECT_EQ(dialogs.fileRequests[2].initialFolder, stored.Path()) << "UPX's dialog: its stored folder, as before";

    // A field whose folder is gone, a relative name, an empty field: the stored folder.
    for (const std::wstring& text : {field / L"gone\\app.exe", std::wstring(L"app.exe"), std::wstring()}) {
        form->edSource.SetText(text);
        form->btnSource.Click();
        form->btnTarget.Click();
        EXPECT_EQ(dialogs.fileRequests[dialogs.fileRequests.size() - 2].initialFolder, stored.Path()) << Narrow(text);
        EXPECT_EQ(dialogs.fileRequests.back().initialFolder, stored.Path()) << Narrow(text);
    }
    // No stored folder either: the dialog's own choice.
    StoreSetting(Name(texts::ValSourceDir), stored / L"gone");
    form->btnSource.Click();
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, L"");
    EXPECT_TRUE(dialogs.boxes.empty());
}

// Watches from a timer of this thread, which fires inside the dialog's own message loop:
// notes what the file dialog shows, types a name and presses Save; a second box over it (a
// question about replacing the file) is noted and answered Yes.
struct DialogWatch {
    std::wstring nameToType;
    std::wstring title, okText, folder, offeredName;
    std::vector<std::wstring> boxesAfterOk;
    HWND fileDialog = nullptr;
    ULONGLONG pressed = 0;

    static inline DialogWatch* current = nullptr;
    UINT_PTR timer = 0;
    explicit DialogWatch(std::wstring name) : nameToType(std::move(name)) {
        current = this;
        timer = SetTimer(nullptr, 0, 100, Tick);
    }
    ~DialogWatch() {
        KillTimer(nullptr, timer);
        current = nullptr;
    }

    static std::wstring Text(HWND dialog, UINT message) {
        wchar_t text[MAX_PATH * 2] = {};
        SendMessageW(dialog, message, MAX_PATH * 2, reinterpret_cast<LPARAM>(text));
        return text;
    }
    static BOOL CALLBACK Look(HWND h, LPARAM) {
        wchar_t name[16] = {};
        GetClassNameW(h, name, 16);
        if (wcscmp(name, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
        auto& w = *current;
        if (!w.fileDialog) {
            w.fileDialog = h;
            w.title = WindowText(h);
            w.okText = WindowText(GetDlgItem(h, IDOK));
            w.folder = Text(h, CDM_GETFOLDERPATH);
            w.offeredName = Text(h, CDM_GETSPEC);
            for (const int field : {edt1, cmb13})
                SendMessageW(h, CDM_SETCONTROLTEXT, field, reinterpret_cast<LPARAM>(w.nameToType.c_str()));
            PostMessageW(h, WM_COMMAND, IDOK, 0);
            w.pressed = GetTickCount64();
        } else if (h != w.fileDialog) {
            w.boxesAfterOk.push_back(WindowText(h));
            PostMessageW(h, WM_COMMAND, IDYES, 0);
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (!current) return;
        EnumThreadWindows(GetCurrentThreadId(), Look, 0);
        // A dialog that does not take the name would hold the test for ever.
        if (current->fileDialog && IsWindow(current->fileDialog) && GetTickCount64() - current->pressed > 10000)
            PostMessageW(current->fileDialog, WM_COMMAND, IDCANCEL, 0);
    }
};

TEST_F(FileDialogs, TheRealSaveDialogIsTitledForTheTargetAndLeavesTheReplaceQuestionToStart) {
    TempDir dir, out;
    WriteBytes(dir / L"app.exe", "MZ a program");
    WriteBytes(out / L"existing.exe", "an older result");
    MakeWindow();
    UseStandin(*form);
    form->edSource.SetText(dir / L"app.exe");
    form->edTarget.SetText(out / L"packed.exe");
    SystemDialogs real;
    Application::Instance().SetDialogs(&real);
    {
        DialogWatch watch(L"existing.exe");
        form->btnTarget.Click();
        Application::Instance().SetDialogs(&dialogs);
        ASSERT_TRUE(watch.fileDialog) << "a file dialog showed";
        EXPECT_EQ(watch.title, L"Save the target file as");
        EXPECT_EQ(watch.okText, L"&Save") << "a Save dialog, not an Open dialog";
        EXPECT_EQ(watch.folder, out.Path()) << "in the target's folder";
        EXPECT_EQ(watch.offeredName, L"packed.exe");
        EXPECT_TRUE(watch.boxesAfterOk.empty()) << "the dialog asked about replacing: " << Narrow(watch.boxesAfterOk[0]);
    }
    EXPECT_EQ(form->edTarget.Text(), out / L"existing.exe");
    EXPECT_EQ(ReadBytes(out / L"existing.exe"), "an older result") << "choosing a name writes nothing";

    // Start asks once; Cancel keeps the file.
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::AskReplace)});
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(ReadBytes(out / L"existing.exe"), "an older result");
}

}  // namespace
}  // namespace zandrel::test
