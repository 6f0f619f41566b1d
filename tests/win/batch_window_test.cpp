// Batches from the main window: the question before, the batch window while it
// runs and after it ends, driven through their own controls, with the stand-in.
#include "batch_window_fixture.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "app/descrambler.h"
#include "batch/BatchConfirm.h"
#include "batch/BatchWindow.h"
#include "framework/files.h"
#include "jobs/batch_run.h"
#include "jobs/file_safety.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

TEST_F(WindowBatch, TheQuestionSaysWhatWillBeDoneAndTheWindowShowsEachFilesResult) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    TempDir folder(L"zf");
    const auto inside = Program(L"inside.exe", folder.Path());
    WriteBytes(folder / L"readme.txt", "not a program");
    UseStandin(*form);
    Drop({one, two, folder.Path()});
    ASSERT_TRUE(form->BatchRunning());
    ASSERT_EQ(Asked().size(), 1u);
    // The names go from the folder the files share, which the count line names.
    const std::wstring common = FolderPart(FolderPart(one)), from = common + L"\\";
    auto named = [&](const std::wstring& path) { return path.substr(from.size()); };
    EXPECT_EQ(Asked()[0], L"Compress at level 6 (-6), with backups|3 files in 2 folders under " + common + L"|" +
                              named(one) + L"\r\n" + named(two) + L"\r\n" + named(inside));
    ASSERT_TRUE(Window().Showing());
    ASSERT_TRUE(WaitForTheBatch());
    for (const auto& file : {one, two, inside}) EXPECT_TRUE(IsPacked(file)) << Narrow(file);
    EXPECT_EQ(ReadBytes(folder / L"readme.txt"), "not a program") << "the filter takes programs only";
    const auto sizeAfter = GroupedDigits(FileSizeOf(one));
    EXPECT_EQ(Row(0), L"one.exe|" + dir.Path() + L"|27|" + sizeAfter + L"|" + RatioText(27, FileSizeOf(one)) + L"|done|");
    EXPECT_EQ(Window().Cell(2, BatchColumn::Folder), folder.Path());
    EXPECT_EQ(Totals().substr(0, 24), L"3 files: 3 done; 81 byte") << Narrow(Totals());
    const auto output = OutputOfRow(1);
    EXPECT_NE(output.find(L"---- " + two), std::wstring::npos) << Narrow(output);
    EXPECT_NE(output.find(L"Packed 1 file"), std::wstring::npos) << "UPX's own output for that file";
    EXPECT_EQ(output.find(L"one.exe"), std::wstring::npos) << "and no other file's";
    EXPECT_TRUE(form->edSource.Text().empty()) << "a batch leaves the job panel alone";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(WindowBatch, EscapeOrEnterOnCancelCancelsTheQuestionAndNothingHappens) {
    const auto one = Program(L"one.exe");
    UseStandin(*form);
    Answer({[](TBatchConfirm& q) { PressKey(q.btnStart.Handle(), VK_ESCAPE); }});
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({one, dir.Path()})), 0);
    EXPECT_FALSE(form->BatchRunning());
    Answer({[](TBatchConfirm& q) {
        q.btnCancel.SetFocus();  // as Tab would move it
        PressKey(q.btnCancel.Handle(), VK_RETURN);
    }});
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({one, dir.Path()})), 0);
    EXPECT_FALSE(form->BatchRunning()) << "Enter on Cancel is Cancel";
    EXPECT_EQ(form->Batch(), nullptr);
    EXPECT_EQ(ReadBytes(one), "MZ a program of some length");
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "no backup, no copy";
    EXPECT_TRUE(IsWindowEnabled(form->Handle())) << "the main window is usable again";
}

TEST_F(WindowBatch, SubFoldersAndPackedFilesAreTheUsersChoice) {
    Program(L"top.exe");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    const auto deep = Program(L"deep.exe", dir / L"sub");
    WriteBytes(dir / L"packed.exe", standin::Pack("MZ packed", 6));
    UseStandin(*form);
    Answer({[](TBatchConfirm& q) { q.cbSubfolders.Click(); },  // and the count starts again
            [](TBatchConfirm& q) { q.cbSkipPacked.Click(); },
            [](TBatchConfirm& q) { q.cbSkipPacked.Click(); },
            [](TBatchConfirm& q) { PressKey(q.btnStart.Handle(), VK_RETURN); }});
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir.Path()})), 0);
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_EQ(Asked().size(), 1u);
    EXPECT_NE(Asked()[0].find(L"|1 file in " + dir.Path() + L"; 1 file packed already, left out|"), std::wstring::npos)
        << "asked first without sub-folders: " << Narrow(Asked()[0]);
    EXPECT_TRUE(IsPacked(deep)) << "the sub-folder's file, once asked for";
    EXPECT_EQ(Window().Rows().size(), 2u) << "the packed file left out: " << Narrow(Totals());
    EXPECT_EQ(ReadBytes(dir / L"packed.exe"), standin::Pack("MZ packed", 6));

    // Packed files kept: the batch shows them as already packed and leaves them alone.
    Answer({[](TBatchConfirm& q) { q.cbSkipPacked.Click(); },
            [](TBatchConfirm& q) { PressKey(q.btnStart.Handle(), VK_RETURN); }});
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir.Path()})), 0);
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_NE(Asked()[1].find(L"2 files packed already, left out"), std::wstring::npos)
        << "left out unless the user keeps them: " << Narrow(Asked()[1]);
    ASSERT_EQ(Window().Rows().size(), 2u) << "top.exe (packed by the first batch) and packed.exe";
    for (int row = 0; row < 2; ++row) EXPECT_EQ(Window().Cell(row, BatchColumn::Result), L"already packed");
    EXPECT_EQ(ReadBytes(dir / L"packed.exe"), standin::Pack("MZ packed", 6));
}

TEST_F(WindowBatch, RowsChangeAsFilesEndInWhateverOrderAndStopKeepsTheResults) {
    const auto first = Program(L"first.exe"), second = Program(L"second.exe");
    std::vector<std::wstring> rest;
    for (int i = 0; i < 3; ++i) rest.push_back(Program(L"rest" + std::to_wstring(i) + L".exe"));
    TempDir signals(L"zs");
    UseStandin(*form);
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@first,opened@second");
    EnvSwitch signal(L"STANDIN_SIGNAL", signals.Path() + L"\\");
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"2");
    std::vector<std::wstring> files{first, second};
    files.insert(files.end(), rest.begin(), rest.end());
    Drop(files);
    ASSERT_TRUE(form->BatchRunning());
    const auto firstSignal = signals / L"first.exe.signal", secondSignal = signals / L"second.exe.signal";
    const ULONGLONG end = GetTickCount64() + 30000;
    // The window follows by itself (no refresh asked for here).
    auto pumpUntil = [&](const std::function<bool()>& done) {
        while (!done() && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
        }
        return done();
    };
    ASSERT_TRUE(pumpUntil([&] { return Exists(firstSignal) && Exists(secondSignal); }));
    EXPECT_TRUE(pumpUntil([&] { return Window().Cell(1, BatchColumn::Result) == L"working"; }))
        << "a file shows as working before any file ends";
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"working");
    EXPECT_EQ(Window().Cell(2, BatchColumn::Result), L"waiting");
    EXPECT_EQ(Window().Cell(2, BatchColumn::SizeBefore), L"27") << "a waiting file shows its size as counted";
    EXPECT_EQ(Window().lblProgress.Text(), L"0 of 5 done, 2 working");
    const auto button = Application::Instance().Handle();
    EXPECT_EQ(taskbar.Last().button, button) << "the program's task bar button";
    EXPECT_EQ(taskbar.Last().state, TaskbarState::Working);
    EXPECT_EQ(taskbar.Last().total, 5u);
    EXPECT_EQ(taskbar.Last().done, 0u);
    DeleteFileW(secondSignal.c_str());
    EXPECT_TRUE(pumpUntil([&] {
        DeleteFileW(secondSignal.c_str());  // its test passes the point too
        return Window().Cell(1, BatchColumn::Result) == L"done";
    })) << "the second ends first";
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"working") << "the first file is still held by its UPX";
    Window().btnStop.Click();
    EXPECT_FALSE(Window().btnStop.Enabled());
    EXPECT_EQ(taskbar.Last().state, TaskbarState::Pausing) << "yellow while the files at work finish";
    std::size_t finished = 0;
    for (int row = 0; row < 5; ++row) {
        const auto result = Window().Cell(row, BatchColumn::Result);
        finished += result != L"waiting" && result != L"working";
    }
    EXPECT_EQ(taskbar.Last().done, finished) << "the button shows the table's count";
    // Every file at work may finish (its check too); nothing new starts.
    while (form->BatchRunning() && GetTickCount64() < end) {
        DeleteFileW(firstSignal.c_str());
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_TRUE(Window().Showing()) << "the window and its results stay";
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"done") << "a file at work is finished, never ended half-way";
    EXPECT_EQ(Window().Cell(4, BatchColumn::Result), L"not done");
    EXPECT_EQ(ReadBytes(rest[2]), "MZ a program of some length");
    EXPECT_NE(Totals().find(L"not done"), std::wstring::npos) << Narrow(Totals());
    EXPECT_EQ(taskbar.Last().state, TaskbarState::None) << "no progress left on the button after the end";
    EXPECT_FALSE(taskbar.Saw(TaskbarState::Failing)) << "nothing failed";
}

TEST_F(WindowBatch, TheTaskbarButtonTurnsRedOnceAFileFailedWhileTheOthersGoOn) {
    const auto locked = Program(L"a_locked.exe");
    Program(L"b.exe");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"700");
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    Drop({dir.Path()});
    const ULONGLONG end = GetTickCount64() + 20000;
    while (form->BatchRunning() && Window().Cell(0, BatchColumn::Result) != L"failed" && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
        Window().Refresh();
    }
    ASSERT_TRUE(form->BatchRunning()) << "b.exe is still at work";
    EXPECT_EQ(taskbar.Last().state, TaskbarState::Failing);
    EXPECT_EQ(taskbar.Last().done, 1u);
    ASSERT_TRUE(WaitForTheBatch());
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(taskbar.Last().state, TaskbarState::None) << "cleared at the end, the table keeps the failure";
}

TEST_F(WindowBatch, SortingCopyCsvAndFailuresFirst) {
    const auto big = dir / L"big.exe";
    WriteBytes(big, std::string(3000, 'x').replace(0, 2, "MZ"));
    Program(L"alpha.exe");
    const auto locked = Program(L"locked.exe");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    UseStandin(*form);
    Drop({dir.Path()});
    ASSERT_TRUE(WaitForTheBatch());
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(Window().Rows().size(), 3u);
    EXPECT_EQ(Window().Cell(0, BatchColumn::File), L"alpha.exe") << "the listing's order first";
    ClickHeading(BatchColumn::SizeBefore);
    ClickHeading(BatchColumn::SizeBefore);
    EXPECT_EQ(Window().Cell(0, BatchColumn::File), L"big.exe") << "a second click sorts the other way";
    // The selection and the focus stay with their file as the rows move.
    const HWND table = Window().lvFiles.Handle();
    const auto rowOf = [&](const std::wstring& name) {
        for (int row = 0; row < 3; ++row)
            if (Window().Cell(row, BatchColumn::File) == name) return row;
        return -1;
    };
    ListView_SetItemState(table, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(table, rowOf(L"alpha.exe"), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Window().cbFailuresFirst.Click();
    EXPECT_EQ(Window().Cell(0, BatchColumn::File), L"locked.exe");
    EXPECT_EQ(ListView_GetNextItem(table, -1, LVNI_SELECTED), rowOf(L"alpha.exe"));
    EXPECT_EQ(ListView_GetNextItem(table, -1, LVNI_FOCUSED), rowOf(L"alpha.exe"));
    EXPECT_EQ(ListView_GetSelectedCount(table), 1u);
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"failed");
    EXPECT_FALSE(Window().Cell(0, BatchColumn::Reason).empty());

    // Copy: the selected rows as a spreadsheet takes them.
    const HWND list = Window().lvFiles.Handle();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    {
        HeldKeys control({VK_CONTROL});
        SendMessageW(list, WM_KEYDOWN, 'C', 0);
    }
    const std::wstring clip = ClipboardText();
    const std::wstring bigAfter = std::to_wstring(FileSizeOf(big));
    EXPECT_EQ(clip, L"File\tFolder\tBefore\tAfter\tRatio\tResult\tReason\r\nbig.exe\t" + dir.Path() + L"\t3000\t" +
                        bigAfter + L"\t" + RatioText(3000, FileSizeOf(big)) + L"\tdone\t\r\n");

    // Save as CSV: the whole table as shown, into the file chosen.
    const auto csv = dir / L"results.csv";
    dialogs.files.push_back(dir / L"results");
    Window().btnSave.Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_TRUE(dialogs.fileRequests[0].save);
    std::string folder;
    for (const wchar_t c : dir.Path()) folder.push_back(static_cast<char>(c));  // an ASCII path
    const std::string lockedReason = Narrow(Window().Cell(0, BatchColumn::Reason));
    const std::string quoted = lockedReason.find_first_of(",\"") == std::string::npos ? lockedReason : "\"" + lockedReason + "\"";
    EXPECT_EQ(ReadBytes(csv), "\xEF\xBB\xBF" "File,Folder,Before,After,Ratio,Result,Reason\r\n"
                              "locked.exe," + folder + ",27,27,,failed," + quoted + "\r\n"
                              "big.exe," + folder + ",3000," + Narrow(bigAfter) + "," +
                              Narrow(RatioText(3000, FileSizeOf(big))) + ",done,\r\n"
                              "alpha.exe," + folder + ",27," + std::to_string(FileSizeOf(dir / L"alpha.exe")) + "," +
                              Narrow(RatioText(27, FileSizeOf(dir / L"alpha.exe"))) + ",done,\r\n")
        << "the whole table, in the table's order";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(WindowBatch, UndoPutsTheOriginalsBackFromTheirBackupsAfterAQuestion) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    UseStandin(*form);
    Drop({one, two});
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_TRUE(IsPacked(one));
    ASSERT_TRUE(Window().btnUndo.Enabled());
    WriteBytes(two, "MZ changed by the user after the batch");
    dialogs.answers.push_back(BoxAnswer::No);
    Window().btnUndo.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"of 1 file "), std::wstring::npos)
        << "the file changed since is not counted: " << Narrow(dialogs.boxes[0].text);
    EXPECT_TRUE(IsPacked(one)) << "No leaves every file as it is";
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    EXPECT_EQ(ReadBytes(one), "MZ a program of some length") << "back byte for byte";
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"put back");
    EXPECT_EQ(ReadBytes(two), "MZ changed by the user after the batch") << "a file changed since is left alone";
    EXPECT_NE(Window().Cell(1, BatchColumn::Reason).find(L"changed"), std::wstring::npos);
    EXPECT_TRUE(IsExistingFile(BackupName(one))) << "the backup stays a backup";
    EXPECT_FALSE(Window().btnUndo.Enabled()) << "nothing left to put back";
}

// Undo is offered without a look at every file; asked, it looks, and says when nothing can go back.
TEST_F(WindowBatch, UndoWhenEveryFileChangedSinceSaysSoAndTouchesNothing) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    UseStandin(*form);
    Drop({one, two});
    ASSERT_TRUE(WaitForTheBatch());
    WriteBytes(one, "MZ one changed by the user");
    WriteBytes(two, "MZ two changed by the user");
    Window().Refresh();
    ASSERT_TRUE(Window().btnUndo.Enabled()) << "offered until asked";
    Window().btnUndo.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Information);
    EXPECT_EQ(dialogs.boxes[0].buttons, BoxButtons::Ok) << "nothing to confirm: " << Narrow(dialogs.boxes[0].text);
    EXPECT_NE(dialogs.boxes[0].text.find(L"Nothing can be put back"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(one), "MZ one changed by the user");
    EXPECT_EQ(ReadBytes(two), "MZ two changed by the user");
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"done");
    EXPECT_FALSE(Window().btnUndo.Enabled()) << "not offered again for nothing";
}

// Without Backup the private copies go once UPX's test passes: there is nothing to put back,
// so Undo is not offered for a box that would say so.
TEST_F(WindowBatch, WithoutBackupUndoIsNotOfferedAndNoCopyIsLeft) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    UseStandin(*form);
    if (form->chkBackup.Checked()) form->chkBackup.Click();
    Drop({one, two});
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_TRUE(IsPacked(one));
    ASSERT_TRUE(IsPacked(two));
    EXPECT_EQ(Listing(dir.Path()).size(), 2u) << "no backup, no private copy";
    EXPECT_FALSE(Window().btnUndo.Enabled());
    EXPECT_NE(Totals().find(L"2 done"), std::wstring::npos) << Narrow(Totals());
}

// At a refresh the row of a changed file is painted again, and while the order stays the
// other rows are not (the whole table cost 8 ms a refresh under Wine).
TEST_F(WindowBatch, ARefreshPaintsTheRowOfAChangedFileAgainAndOnlyThat) {
    const auto a = Program(L"a.exe"), b = Program(L"b.exe"), c = Program(L"c.exe");
    UseStandin(*form);
    Drop({a, b, c});
    ASSERT_TRUE(WaitForTheBatch());
    const HWND list = Window().lvFiles.Handle();
    const auto& rows = Window().Rows();
    ASSERT_EQ(rows.size(), 3u);
    const int changedRow = static_cast<int>(std::find(rows.begin(), rows.end(), std::size_t{2}) - rows.begin());
    const int otherRow = changedRow == 0 ? 1 : 0;
    UpdateWindow(list);
    ValidateRect(list, nullptr);
    Window().FileChanged(2);
    // Only the refresh's timer is handled: painting would clear what is looked at here.
    bool refreshed = false;
    for (const ULONGLONG end = GetTickCount64() + 3000; !refreshed && GetTickCount64() < end; Sleep(5))
        for (MSG msg; PeekMessageW(&msg, Window().Handle(), WM_TIMER, WM_TIMER, PM_REMOVE);)
            DispatchMessageW(&msg), refreshed = true;
    ASSERT_TRUE(refreshed);
    RECT changed{}, other{}, update{}, overlap{};
    ListView_GetItemRect(list, changedRow, &changed, LVIR_BOUNDS);
    ListView_GetItemRect(list, otherRow, &other, LVIR_BOUNDS);
    ASSERT_TRUE(GetUpdateRect(list, &update, FALSE)) << "nothing is to be painted again";
    EXPECT_TRUE(IntersectRect(&overlap, &update, &changed)) << "the changed file's row";
    EXPECT_FALSE(IntersectRect(&overlap, &update, &other)) << "a row whose file did not change";
    Window().Refresh();
    GetUpdateRect(list, &update, FALSE);
    EXPECT_TRUE(IntersectRect(&overlap, &update, &other)) << "a refresh asked for paints the whole table";
}

// A file chosen in the table while UPX works on it: the pane shows what UPX writes as it
// writes it, not only once the file's turn ends.
TEST_F(WindowBatch, ThePaneFollowsTheOutputOfAFileAtWork) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    UseStandin(*form);
    EnvSwitch ticks(L"STANDIN_TICKS", L"12");  // a line every 150 ms for 1.8 s, then the job
    Drop({one, two});
    ASSERT_TRUE(form->BatchRunning());
    for (const ULONGLONG end = GetTickCount64() + 1000; Window().Cell(0, BatchColumn::Result) != L"working" &&
                                                        GetTickCount64() < end;)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), PumpMessages();
    OutputOfRow(0);
    bool seen = false;
    for (const ULONGLONG end = GetTickCount64() + 1600; !seen && GetTickCount64() < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
        seen = Window().edOutput.Text().find(L"tick 2 ") != std::wstring::npos;
    }
    EXPECT_TRUE(seen) << Narrow(Window().edOutput.Text());
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"working") << "seen while UPX still works on it";
    ASSERT_TRUE(WaitForTheBatch());
}

TEST_F(WindowBatch, ClosingTheWindowDuringARunAsksAndStopsAfterwardsItForgetsTheBatch) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    const auto first = Program(L"first.exe"), second = Program(L"second.exe");
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"600");
    Drop({first, second});
    ASSERT_TRUE(form->BatchRunning());
    dialogs.answers.push_back(BoxAnswer::No);
    SendMessageW(Window().lvFiles.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"still running"), std::wstring::npos);
    EXPECT_TRUE(Window().Showing() && form->BatchRunning()) << "No: it goes on";
    dialogs.answers.push_back(BoxAnswer::Yes);
    SendMessageW(Window().Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(Window().Showing());
    ASSERT_TRUE(WaitForTheBatch());
    PumpMessages();
    EXPECT_EQ(form->Batch(), nullptr) << "closed and ended: forgotten";
    EXPECT_TRUE(IsPacked(first)) << "the file at work was finished";
    EXPECT_EQ(ReadBytes(second), "MZ a program of some length") << "and no other started";
}

TEST_F(WindowBatch, WhileABatchRunsAnotherAndAStartOnItsFilesAreRefusedButTheConsoleIsFree) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    std::vector<std::wstring> files;
    for (DWORD i = 0; i <= info.dwNumberOfProcessors; ++i) files.push_back(Program(L"p" + std::to_wstring(i) + L".exe"));
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"800");
    Drop(files);
    ASSERT_TRUE(form->BatchRunning());
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({files[0], files[1]})), 0);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"A batch is running"), std::wstring::npos);
    std::wstring upper = files.back();
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    form->edSource.SetText(upper);  // the same file in another spelling
    form->btnStart.Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_NE(dialogs.boxes[1].text.find(L"part of the batch"), std::wstring::npos);
    const auto dll = dir / L"p0.dll";  // UPX names its work files as those of p0.exe at work
    WriteBytes(dll, "MZ a library");
    form->edSource.SetText(dll);
    form->btnStart.Click();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_NE(dialogs.boxes[2].text.find(L"a file of the same name in this folder"), std::wstring::npos);
    EXPECT_TRUE(runner.calls.empty()) << "Start did not run";
    form->btnUPXVersion.Click();
    EXPECT_EQ(dialogs.boxes.size(), 3u) << "the console window is not the batch's any more";
    ASSERT_TRUE(WaitForTheBatch());
}

// Ctrl+Enter runs the form's own job on the list's selection and leaves the job panel
// alone; afterwards the list shows the new sizes with its selection kept, a double click
// shows a row's output, Copy with no row chosen copies the table, and Close forgets it.
TEST_F(WindowBatch, CtrlEnterPacksTheSelectionThenTheWindowIsReadAndClosed) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe"), left = Program(L"left.exe");
    UseStandin(*form);
    list->SetPath(dir.Path());
    list->SetSelected(Find(L"one.exe"), true);
    list->SetSelected(Find(L"two.exe"), true);
    Answer();
    KeyUp(VK_RETURN, {VK_CONTROL});
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_EQ(Asked()[0].substr(0, 9), L"Compress ") << Narrow(Asked()[0]);
    EXPECT_TRUE(IsPacked(one) && IsPacked(two));
    EXPECT_EQ(ReadBytes(left), "MZ a program of some length") << "not selected, not touched";
    EXPECT_TRUE(form->edSource.Text().empty());
    for (const auto* name : {L"one.exe", L"two.exe"}) {
        const int i = Find(name);
        ASSERT_GE(i, 0);
        EXPECT_TRUE(list->IsSelected(i)) << "the selection is kept: " << Narrow(name);
        EXPECT_EQ(list->Item(i)->Size, FileSizeOf(dir / name)) << "the new size: " << Narrow(name);
    }
    EXPECT_FALSE(list->IsSelected(Find(L"left.exe")));

    const HWND table = Window().lvFiles.Handle();
    RECT second{};
    ListView_GetItemRect(table, 1, &second, LVIR_LABEL);
    const LPARAM at = MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2);
    SendMessageW(table, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(table, WM_LBUTTONUP, 0, at);
    SendMessageW(table, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(table, WM_LBUTTONUP, 0, at);
    PumpMessages();
    const std::wstring secondFile = dir / Window().Cell(1, BatchColumn::File);
    EXPECT_NE(Window().edOutput.Text().find(L"---- " + secondFile), std::wstring::npos)
        << "a double click shows that row's output: " << Narrow(Window().edOutput.Text());
    // Tab leaves the output pane as it leaves any other control (a read-only pane hands it on).
    Window().edOutput.SetFocus();
    PressKey(Window().edOutput.Handle(), VK_TAB);
    Application::Instance().ProcessMessages();
    const HWND afterPane = GetFocus();
    EXPECT_NE(afterPane, Window().edOutput.Handle()) << "Tab was stuck in the output pane";
    EXPECT_EQ(afterPane, GetNextDlgTabItem(Window().Handle(), Window().edOutput.Handle(), FALSE));

    ListView_SetItemState(table, -1, 0, LVIS_SELECTED);
    Window().btnCopy.Click();
    const std::wstring clip = ClipboardText();
    EXPECT_EQ(clip.substr(0, 13), L"File\tFolder\tB");
    EXPECT_NE(clip.find(L"\r\none.exe\t"), std::wstring::npos) << Narrow(clip);
    EXPECT_NE(clip.find(L"\r\ntwo.exe\t"), std::wstring::npos) << "no row chosen: the whole table";

    Window().btnClose.Click();
    PumpMessages();
    EXPECT_FALSE(Window().Showing());
    EXPECT_EQ(form->Batch(), nullptr) << "closed after its end, the batch is forgotten";
    EXPECT_TRUE(IsPacked(one)) << "and its files stay as they are";
}

TEST_F(WindowBatch, CtrlShiftEnterTestsAndCtrlAltEnterListsTheListsSelection) {
    WriteBytes(dir / L"packed.exe", standin::Pack("MZ packed", 6));
    Program(L"plain.exe");
    UseStandin(*form);
    list->SetPath(dir.Path());
    for (int i = 0; i < list->Count(); ++i) list->SetSelected(i, !list->Item(i)->IsParentDir);
    Answer();
    KeyUp(VK_RETURN, {VK_CONTROL, VK_SHIFT});
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_EQ(Asked()[0].substr(0, 14), L"Test (-t)|2 fi") << Narrow(Asked()[0]);
    EXPECT_EQ(Totals().substr(0, 40), L"2 files: 1 done, 1 with a warning.") << Narrow(Totals());
    EXPECT_EQ(Listing(dir.Path()).size(), 2u) << "a test makes no backup and changes nothing";
    EXPECT_FALSE(Window().btnUndo.Enabled()) << "nothing to put back";
    Answer();
    KeyUp(VK_RETURN, {VK_CONTROL, VK_MENU});
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_EQ(Asked()[1].substr(0, 14), L"List (-l)|2 fi") << Narrow(Asked()[1]);
    const int packedRow = Window().Cell(0, BatchColumn::File) == L"packed.exe" ? 0 : 1;
    EXPECT_NE(OutputOfRow(packedRow).find(L"level 6  win64/pe"), std::wstring::npos) << "UPX's list";
    EXPECT_EQ(Window().Cell(packedRow, BatchColumn::Result), L"done");
    EXPECT_EQ(Window().Cell(packedRow, BatchColumn::Ratio), L"-") << "a list shrinks nothing";
    EXPECT_EQ(ReadBytes(dir / L"packed.exe"), standin::Pack("MZ packed", 6)) << "a list changes nothing";
    EXPECT_EQ(ReadBytes(dir / L"plain.exe"), "MZ a program of some length");
    EXPECT_EQ(Listing(dir.Path()).size(), 2u);
}

TEST_F(WindowBatch, ClosingTheProgramDuringABatchFinishesTheFilesAtWork) {
    const auto first = Program(L"first.exe"), second = Program(L"second.exe"), third = Program(L"third.exe");
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"500");
    Drop({first, second, third});
    ASSERT_TRUE(form->BatchRunning());
    answers->Forget();
    Window().Refresh();
    ASSERT_EQ(taskbar.Last().state, TaskbarState::Working);
    form.reset();  // the window goes while UPX works
    EXPECT_EQ(taskbar.Last().state, TaskbarState::None) << "no progress is left behind on the button";
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "no UPX is left running";
    for (const auto& file : {first, second, third}) {
        const std::string bytes = ReadBytes(file);
        EXPECT_TRUE(standin::IsPacked(bytes) || bytes == "MZ a program of some length")
            << "packed or untouched, never half-written: " << Narrow(file);
    }
    const auto left = Listing(dir.Path());
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const auto& n) {
        return n.find(L"~zandrel") == 0 || n.find(L".tmp") != std::wstring::npos;
    })) << "no temporary is left";
    EXPECT_TRUE(IsPacked(first)) << "the file at work was finished";
}

}  // namespace
}  // namespace zandrel::test
