// A batch against files that change between the count and their turn, a
// decompress over files of which only some are packed, an undo whose backups go
// while its question is up, and a table whose rows and selection belong to
// another batch.
#include "batch_window_fixture.h"

#include <algorithm>

#include "app/descrambler.h"
#include "jobs/file_safety.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

using BatchTurnAttack = WindowBatch;

const std::string kOriginal = "MZ a program of some length";

// Pumps the window's messages until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, int ms = 30000) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (!done() && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    return done();
}

// Counted one way, found another at their turn: a file that grew is done as it is
// then (its backup holds the new bytes, its row its new size), a file removed or
// replaced by a folder is refused, and nothing is made in its place.
TEST_F(BatchTurnAttack, FilesChangedBetweenTheCountAndTheirTurnAreTakenAsTheyAreThen) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    const auto first = Program(L"first.exe"), grown = Program(L"grown.exe");
    const auto gone = Program(L"gone.exe"), folder = Program(L"folder.exe");
    TempDir signals(L"zs");
    UseStandin(*form);
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@first");
    EnvSwitch signal(L"STANDIN_SIGNAL", signals.Path() + L"\\");
    Drop({first, grown, gone, folder});
    ASSERT_TRUE(form->BatchRunning());
    const auto firstSignal = signals / L"first.exe.signal";
    ASSERT_TRUE(PumpUntil([&] { return Exists(firstSignal); }));
    Window().Refresh();
    ASSERT_EQ(Window().Cell(1, BatchColumn::SizeBefore), L"27") << "as counted";
    const std::string longer = "MZ grown after it was counted, to a program of quite another length";
    WriteBytes(grown, longer);
    ASSERT_TRUE(DeleteFileW(gone.c_str()));
    ASSERT_TRUE(DeleteFileW(folder.c_str()));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WriteBytes(folder + L"\\inside.exe", kOriginal);
    ASSERT_TRUE(PumpUntil([&] {
        DeleteFileW(firstSignal.c_str());  // its test passes the point too
        return !form->BatchRunning();
    }));
    Window().Refresh();

    EXPECT_EQ(Window().Cell(1, BatchColumn::Result), L"done") << Narrow(Window().Cell(1, BatchColumn::Reason));
    EXPECT_EQ(standin::Unpack(ReadBytes(grown)), longer) << "packed as it was at its turn";
    EXPECT_EQ(ReadBytes(BackupName(grown)), longer) << "its backup is the file as it was at its turn";
    EXPECT_EQ(Window().Cell(1, BatchColumn::SizeBefore), std::to_wstring(longer.size())) << "its size then";
    for (int row : {2, 3}) {
        EXPECT_EQ(Window().Cell(row, BatchColumn::Result), L"failed") << row;
        EXPECT_FALSE(Window().Cell(row, BatchColumn::Reason).empty()) << row;
    }
    EXPECT_FALSE(Exists(gone)) << "nothing is made in a removed file's place";
    EXPECT_FALSE(Exists(BackupName(gone)));
    EXPECT_TRUE(IsExistingFolder(folder)) << "the folder is left as it is";
    EXPECT_EQ(ReadBytes(folder + L"\\inside.exe"), kOriginal);
    EXPECT_FALSE(Exists(BackupName(folder)));

    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_NE(dialogs.boxes[0].text.find(L"of 2 files "), std::wstring::npos) << Narrow(dialogs.boxes[0].text);
    EXPECT_EQ(ReadBytes(grown), longer) << "an undo gives back the file as the batch found it";
    EXPECT_EQ(ReadBytes(first), kOriginal);
}

// A decompress over a folder of packed and plain programs: the packed ones are
// decompressed, a plain one is left as it is and nothing is made beside it.
TEST_F(BatchTurnAttack, ADecompressOverPackedAndPlainFilesTouchesOnlyThePackedOnes) {
    const auto packed = dir / L"packed.exe";
    WriteBytes(packed, standin::Pack(kOriginal, 6));
    const auto plain = Program(L"plain.exe"), kept = Program(L"kept.exe");
    WriteBytes(BackupName(kept), ReadBytes(kept));  // the user's own backup, the same bytes
    UseStandin(*form);
    form->rbDecompress.Click();
    Drop({packed, plain, kept});
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_EQ(ReadBytes(packed), kOriginal);
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"done");
    EXPECT_EQ(ReadBytes(plain), kOriginal);
    EXPECT_NE(Window().Cell(1, BatchColumn::Result), L"done");
    EXPECT_NE(Window().Cell(1, BatchColumn::Result), L"failed") << "a file with nothing to undo is no failure";
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"packed.exe", L"plain.exe", L"packed_zandrel_bak.exe",
                                                           L"kept.exe", L"kept_zandrel_bak.exe"}))
        << "a plain program keeps no backup made for it: nothing of it changed; one there before stays";
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_NE(dialogs.boxes[0].text.find(L"of 1 file "), std::wstring::npos) << Narrow(dialogs.boxes[0].text);
    EXPECT_TRUE(IsPacked(packed)) << "the undo packs it again, from its backup";
    EXPECT_EQ(ReadBytes(plain), kOriginal);
}

// The question promised two files; one's backup is removed before the answer. That
// file cannot go back, and its row says why: it does not stay "done" as if nothing was asked.
TEST_F(BatchTurnAttack, ABackupRemovedWhileTheUndoQuestionIsUpIsNamedAsTheReason) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    ASSERT_TRUE(PackByADrop({one, two}));
    const auto packed = ReadBytes(one);
    dialogs.whileAsked = [&] { DeleteFileW(BackupName(one).c_str()); };
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    dialogs.whileAsked = nullptr;
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_NE(dialogs.boxes[0].text.find(L"of 2 files "), std::wstring::npos) << Narrow(dialogs.boxes[0].text);
    EXPECT_EQ(ReadBytes(one), packed) << "left whole, as the batch made it";
    EXPECT_EQ(ReadBytes(two), kOriginal);
    EXPECT_NE(Window().Cell(0, BatchColumn::Reason).find(L"backup"), std::wstring::npos)
        << "result '" << Narrow(Window().Cell(0, BatchColumn::Result)) << "', reason '"
        << Narrow(Window().Cell(0, BatchColumn::Reason)) << "'";
    EXPECT_FALSE(Window().btnUndo.Enabled()) << "nothing left that could go back";
}

// The rows chosen in one batch's table are no choice in the next batch's: Copy with
// nothing chosen gives the whole new table, never rows the user did not pick.
TEST_F(BatchTurnAttack, ASelectionInOneBatchIsNoSelectionInTheNext) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe"), three = Program(L"three.exe");
    ASSERT_TRUE(PackByADrop({one, two}));
    const HWND list = Window().lvFiles.Handle();
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    ASSERT_EQ(ListView_GetSelectedCount(list), 2u);
    const auto four = Program(L"four.exe");
    Drop({three, four});
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_EQ(Window().Cell(0, BatchColumn::File), L"three.exe");
    EXPECT_EQ(ListView_GetSelectedCount(list), 0u) << "rows of another batch were chosen";
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    EXPECT_TRUE(IsPacked(one) && IsPacked(two)) << "the first batch's files are no longer the window's";
    EXPECT_EQ(ReadBytes(three), kOriginal);
    EXPECT_EQ(ReadBytes(four), kOriginal);
}

// Failures first while files end: the rows move under the user, the selection and
// Copy stay with the file chosen.
TEST_F(BatchTurnAttack, WithFailuresFirstTheSelectionFollowsItsFileAsRowsMoveDuringTheRun) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    const auto first = Program(L"first.exe"), chosen = Program(L"chosen.exe");
    const auto locked = Program(L"locked.exe");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    TempDir signals(L"zs");
    UseStandin(*form);
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@first,opened@chosen");
    EnvSwitch signal(L"STANDIN_SIGNAL", signals.Path() + L"\\");
    Drop({first, chosen, locked});
    ASSERT_TRUE(form->BatchRunning());
    ASSERT_TRUE(PumpUntil([&] { return Exists(signals / L"first.exe.signal"); }));
    Window().cbFailuresFirst.Click();
    const HWND list = Window().lvFiles.Handle();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ(Window().Cell(1, BatchColumn::File), L"chosen.exe");
    DeleteFileW((signals / L"first.exe.signal").c_str());
    ASSERT_TRUE(PumpUntil([&] {
        DeleteFileW((signals / L"first.exe.signal").c_str());
        return Exists(signals / L"chosen.exe.signal");
    }));
    DeleteFileW((signals / L"chosen.exe.signal").c_str());
    ASSERT_TRUE(PumpUntil([&] {
        DeleteFileW((signals / L"chosen.exe.signal").c_str());
        return !form->BatchRunning();
    }));
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    Window().Refresh();
    ASSERT_EQ(Window().Cell(0, BatchColumn::File), L"locked.exe") << "the failure came first";
    const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(Window().Cell(selected, BatchColumn::File), L"chosen.exe");
    EXPECT_EQ(ListView_GetSelectedCount(list), 1u);
    Window().btnCopy.Click();
    const std::wstring clip = ClipboardText();
    EXPECT_NE(clip.find(L"\r\nchosen.exe\t"), std::wstring::npos) << Narrow(clip);
    EXPECT_EQ(clip.find(L"locked.exe"), std::wstring::npos) << Narrow(clip);
    EXPECT_EQ(clip.find(L"first.exe"), std::wstring::npos) << Narrow(clip);
}

}  // namespace
}  // namespace zandrel::test
