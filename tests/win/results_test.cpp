// What the window says after a job (its status line), the file list following
// the disk, and the check that the chosen program is UPX. Real runs with the
// stand-in, read back through the window's own controls.
#include "packed_format.h"
#include "test_support.h"
#include "batch_question.h"

#include <commctrl.h>

#include "app/descrambler.h"
#include "browser/DirView.h"
#include "jobs/run_and_wait.h"
#include "jobs/upx_program.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

std::string Program(std::size_t size) {
    std::string bytes = "MZ";
    for (std::size_t i = 2; i < size; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    return bytes;
}

// The text of the tool tip that hangs on a control, as the tool tip itself has it.
std::wstring HintOf(HWND control) {
    struct Search {
        HWND control;
        std::wstring text;
    } search{control, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(p);
            wchar_t cls[64] = {};
            GetClassNameW(w, cls, 64);
            if (std::wstring(cls) != TOOLTIPS_CLASSW) return TRUE;
            wchar_t text[512] = {};
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = s.control;
            tool.uId = reinterpret_cast<UINT_PTR>(s.control);
            tool.lpszText = text;
            if (SendMessageW(w, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool)), text[0]) s.text = text;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.text;
}

class Results : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        realConsole = true;
        MakeWindow(&real);
        UseStandin(*form);
        form->chkDosBox.Click();  // hidden
        WriteBytes(app, Program(40000));
        form->edSource.SetText(app);
    }
    std::wstring Status() const { return form->lblStatus.Text(); }
    bool WaitForStatus(const std::function<bool(const std::wstring&)>& wanted, int ms = 10000) {
        for (const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms); GetTickCount64() < end;) {
            if (wanted(Status())) return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
        }
        return wanted(Status());
    }
    ProcessRunAndWait real;
    TempDir dir{L"zr"};
    std::wstring app = dir / L"app.exe";
};

TEST_F(Results, EveryJobSaysWhatItDidWithoutABoxToClick) {
    form->btnStart.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    // The stand-in's packed file is its mark and header (137 bytes) longer.
    EXPECT_EQ(Status(), L"app.exe packed: 40,000 to 40,137 bytes (100.3%).");

    form->btnTest.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    EXPECT_EQ(Status(), L"app.exe passed UPX's test.");
    {
        EnvSwitch damaged(L"STANDIN_FAIL_TEST", L"1");
        form->btnTest.Click();
        ASSERT_TRUE(WaitIdle(form->DosCommand1));
        EXPECT_EQ(Status(), L"app.exe failed UPX's test: CantUnpackException: file is damaged");
    }
    form->btnList.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    EXPECT_EQ(Status(), L"app.exe is packed by UPX; its details are in the console window.");

    form->rbDecompress.Click();
    form->btnStart.Click();
    EXPECT_EQ(Status(), L"app.exe unpacked: 40,137 to 40,000 bytes (99.7%).");
    form->btnTest.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    EXPECT_EQ(Status(), L"app.exe is not packed by UPX: NotPackedException: not packed by UPX");
    form->btnUPXVersion.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    EXPECT_EQ(Status(), L"upx 4.2.4");
}

TEST_F(Results, AFailureSaysUpxsReasonInTheStatusLineAndTheBox) {
    SetFileAttributesW(app.c_str(), FILE_ATTRIBUTE_READONLY);
    form->btnStart.Click();
    SetFileAttributesW(app.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Status(), L"app.exe was not processed: IOException: file is write protected -- skipped");
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::MsgJobError) +
                                                         L"\n\nUPX: IOException: file is write protected -- skipped"});
    // After a visible run UPX's words are not caught (its console shows them), the code is.
    runner.answer = {0, 2, {}};
    MakeWindow();  // the recording runner
    UseStandin(*form);
    form->edSource.SetText(app);
    form->btnStart.Click();
    EXPECT_EQ(Status(), L"app.exe: UPX finished with a warning");
}

TEST_F(Results, TheListFollowsTheDiskKeepingItsSelectionAndItsPlace) {
    for (int i = 0; i < 80; ++i) WriteBytes(dir / (L"f" + std::to_wstring(100 + i) + L".exe"), "MZ");
    TDirView& list = form->ShellDir1;
    list.SetViewStyle(TViewStyle::vsReport);
    list.SetPath(dir.Path());
    const auto indexOf = [&](const std::wstring& name) {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Item(i)->FileName == name) return i;
        return -1;
    };
    const int appAt = indexOf(L"app.exe");
    ASSERT_GE(appAt, 0);
    list.SetSelected(appAt, true);
    list.SetFocusedItem(appAt);
    ListView_EnsureVisible(list.Handle(), list.Count() - 1, FALSE);
    const int top = ListView_GetTopIndex(list.Handle());
    ASSERT_GT(top, 0) << "the list is scrolled";
    const std::wstring topName = list.Item(top)->FileName;
    ASSERT_TRUE(form->chkBackup.Checked()) << "a new file appears beside app.exe";
    form->btnStart.Click();
    const int backupAt = indexOf(L"app_zandrel_bak.exe");
    ASSERT_GE(backupAt, 0) << "the new backup is listed";
    EXPECT_EQ(list.Item(indexOf(L"app.exe"))->Size, 40137) << "the new size is shown";
    EXPECT_EQ(list.Item(ListView_GetTopIndex(list.Handle()))->FileName, topName) << "the list stays where it was";
    EXPECT_TRUE(list.Item(list.FocusedItem()) && list.Item(list.FocusedItem())->FileName == L"app.exe");
    EXPECT_EQ(list.SelectedItems().size(), 1u);
}

TEST_F(Results, OnlyUpxIsTakenAsUpxAndItsVersionIsShown) {
    // Answered behind the window, a moment after the field changes.
    form->edUPX.SetText(L"C:\\windows\\system32\\hostname.exe");
    EXPECT_TRUE(WaitForStatus([](const std::wstring& s) { return s.find(L"hostname.exe is not UPX") != std::wstring::npos; }))
        << Narrow(Status());
    EXPECT_EQ(Status(), L"C:\\windows\\system32\\hostname.exe is not UPX: asked for its version, it answered \"Error: "
                        L"Invalid option '-'.\". Choose upx.exe instead.");
    form->btnStart.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u) << "a job is refused, with the reason";
    EXPECT_EQ(dialogs.boxes[0].text, Status());
    EXPECT_EQ(ReadBytes(app), Program(40000));

    form->edUPX.SetText(StandinPath());
    EXPECT_TRUE(WaitForStatus([](const std::wstring& s) { return s == L"UPX 4.2.4 is ready: " + StandinPath(); }))
        << Narrow(Status());
    EXPECT_EQ(HintOf(form->edUPX.Handle()), L"UPX 4.2.4");
}

// Every way to UPX asks first: UPX Version and Help, a batch from a drop.
TEST_F(Results, NoWayToUpxTakesAProgramThatIsNotUpx) {
    const std::wstring other = L"C:\\windows\\system32\\hostname.exe";
    form->edUPX.SetText(other);
    form->btnUPXVersion.Click();
    form->btnUPXHelp.Click();
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({app, dir.Path()})), 0);
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    for (const auto& box : dialogs.boxes) EXPECT_EQ(box.text.rfind(other + L" is not UPX: ", 0), 0u) << Narrow(box.text);
    EXPECT_FALSE(form->DosCommand1.Running());
    EXPECT_FALSE(form->BatchRunning());
    EXPECT_TRUE(ChildProcesses(L"hostname.exe").empty());
    EXPECT_EQ(ReadBytes(app), Program(40000));
}

// The user changes the field, or presses Start again, while a job waits for the check.
TEST_F(Results, WhileAJobWaitsForTheCheckNothingElseRunsAndOnlyTheProgramAskedIsTaken) {
    static TfrmMain* window = nullptr;
    window = form.get();
    const std::wstring find = L"C:\\windows\\system32\\find.exe";
    form->edUPX.SetText(find);  // asked for 5 seconds: it waits for input
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        window->btnStart.Click();               // a second Start meanwhile
        window->edUPX.SetText(StandinPath());   // and UPX chosen meanwhile
    });
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{UpxProblemText(UpxVerdict::NoAnswer, find, L"")})
        << "the program the job was to run was refused, once";
    EXPECT_EQ(ReadBytes(app), Program(40000));
    EXPECT_TRUE(ChildProcesses(L"find.exe").empty());
    // Not answering in time is not held against a program: it is asked again.
    dialogs.boxes.clear();
    form->btnStart.Click();
    EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(dialogs.Texts().empty() ? L"" : dialogs.Texts()[0]);
    EXPECT_TRUE(standin::IsPacked(ReadBytes(app))) << "the stand-in, now in the field, did the job";
}

// A UPX that once answers late (a scanner held it, a cold start) is asked again
// next time, not refused for the rest of the session.
TEST_F(Results, ALateAnswerIsNotHeldAgainstUpx) {
    const std::wstring copy = dir / L"upx.exe";
    ASSERT_TRUE(CopyFileW(StandinPath().c_str(), copy.c_str(), FALSE));
    {
        EnvSwitch slow(L"STANDIN_SLEEP_MS", L"7000");
        form->edUPX.SetText(copy);
        form->btnStart.Click();
    }
    ASSERT_EQ(dialogs.Texts(), std::vector<std::wstring>{UpxProblemText(UpxVerdict::NoAnswer, copy, L"")});
    dialogs.boxes.clear();
    form->btnStart.Click();
    EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(dialogs.Texts().empty() ? L"" : dialogs.Texts()[0]);
    EXPECT_TRUE(standin::IsPacked(ReadBytes(app)));
}

TEST_F(Results, AfterABatchTheListShowsTheNewSizes) {
    TDirView& list = form->ShellDir1;
    list.SetViewStyle(TViewStyle::vsReport);
    list.SetPath(dir.Path());
    const auto second = dir / L"second.exe";
    WriteBytes(second, Program(3000));
    BatchQuestionAnswers answers(*form);
    answers.Next();
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({app, second})), 0);
    for (const ULONGLONG end = GetTickCount64() + 20000; form->BatchRunning() && GetTickCount64() < end;)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), PumpMessages();
    ASSERT_FALSE(form->BatchRunning());
    bool seen = false;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i)->FileName == L"second.exe") {
            seen = true;
            EXPECT_EQ(list.Item(i)->Size, 3137);
        }
    EXPECT_TRUE(seen) << "a file the batch made the list read again";
}

// A console program that never answers is ended after the time limit.
TEST_F(Results, AProgramThatDoesNotAnswerIsRefusedAfterTheTimeLimit) {
    const ULONGLONG began = GetTickCount64();
    form->edUPX.SetText(L"C:\\windows\\system32\\find.exe");
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{UpxProblemText(UpxVerdict::NoAnswer, L"C:\\windows\\system32\\find.exe", L"")});
    EXPECT_LT(GetTickCount64() - began, 9000u);
    EXPECT_TRUE(ChildProcesses(L"find.exe").empty()) << "it was ended";
    EXPECT_EQ(ReadBytes(app), Program(40000));
}

// The stored UPX program is asked after the window shows, not before.
TEST_F(MainWindowTest, TheStoredUpxIsCheckedWithoutHoldingTheStart) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValUpxPath)), StandinPath());
    MakeWindow();
    EXPECT_FALSE(form->UpxCheck.Known()) << "asked during the start";
    for (const ULONGLONG end = GetTickCount64() + 5000; !form->UpxCheck.Known() && GetTickCount64() < end;)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), PumpMessages();
    ASSERT_TRUE(form->UpxCheck.Known());
    EXPECT_EQ(*form->UpxCheck.Known(), UpxVerdict::Upx);
    EXPECT_EQ(form->lblStatus.Text(), L"UPX 4.2.4 is ready: " + StandinPath());
}

}  // namespace
}  // namespace zandrel::test
