// The batch window against a user who does other things meanwhile: backups
// changed after the batch, a Start on a batch's file during an undo, a second
// batch started while a question about the first is still open, a CSV over an
// existing file on a full disk.
#include "batch_window_fixture.h"

#include <algorithm>

#include "app/descrambler.h"
#include "jobs/file_safety.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

using BatchAttack = WindowBatch;

const std::string kOriginal = "MZ a program of some length";

TEST_F(BatchAttack, UndoLeavesAFileWhoseBackupChangedAfterTheBatch) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    ASSERT_TRUE(PackByADrop({one, two}));
    const auto packed = ReadBytes(one);
    // Someone writes something else under the backup's name after the batch.
    WriteBytes(BackupName(one), "MZ another program that is no original of one.exe");
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    EXPECT_EQ(ReadBytes(one), packed) << "a backup that is not the batch's never replaces the file";
    EXPECT_NE(Window().Cell(0, BatchColumn::Result), L"put back");
    EXPECT_NE(Window().Cell(0, BatchColumn::Reason).find(L"backup"), std::wstring::npos)
        << Narrow(Window().Cell(0, BatchColumn::Reason));
    EXPECT_EQ(ReadBytes(two), kOriginal) << "the other file is put back";
    EXPECT_EQ(Window().Cell(1, BatchColumn::Result), L"put back");
}

TEST_F(BatchAttack, UndoLeavesAFileAStartWorksOnMeanwhile) {
    const auto one = Program(L"one.exe"), other = Program(L"other.exe");
    UseStandin(*form);
    Drop({one, other});  // one file dropped is the job panel's source, not a batch
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_TRUE(IsPacked(one));
    ASSERT_TRUE(Window().btnUndo.Enabled());
    // The batch window stays usable while a Start runs: an undo asked then must not
    // rewrite the file that Start's UPX is rewriting.
    form->rbDecompress.Click();
    form->edSource.SetText(one);
    bool undoneDuringTheRun = false, clicked = false;
    runner.during = [&] {
        dialogs.answers.push_back(BoxAnswer::Yes);
        Window().btnUndo.Click();
        clicked = true;
        undoneDuringTheRun = !IsPacked(one) || Window().Cell(0, BatchColumn::Result) == L"put back";
    };
    form->btnStart.Click();
    runner.during = nullptr;
    ASSERT_TRUE(clicked) << "the Start ran";
    EXPECT_FALSE(undoneDuringTheRun) << "the undo took a file a Start was working on";
    EXPECT_EQ(ReadBytes(other), kOriginal) << "a file no job works on is put back";
    EXPECT_NE(Window().Cell(0, BatchColumn::Reason).find(L"another job"), std::wstring::npos)
        << Narrow(Window().Cell(0, BatchColumn::Reason));
}

TEST_F(BatchAttack, AnUndoQuestionAnsweredAfterANewBatchStartedPutsNothingOfTheNewBatchBack) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    const auto three = Program(L"three.exe"), four = Program(L"four.exe");
    UseStandin(*form);
    Drop({one, two});
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_TRUE(Window().btnUndo.Enabled());
    // The question belongs to the batch window; the main window takes a drop meanwhile.
    dialogs.whileAsked = [&] {
        Drop({three, four});
        WaitForTheBatch();
    };
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"2 files "), std::wstring::npos) << Narrow(dialogs.boxes[0].text);
    EXPECT_TRUE(IsPacked(three) && IsPacked(four)) << "the new batch's files were put back without their own question";
    EXPECT_EQ(Window().Cell(0, BatchColumn::File), L"three.exe");
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"done");
}

TEST_F(BatchAttack, AStopQuestionAnsweredAfterANewBatchStartedLeavesTheNewBatchRunning) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    const auto first = Program(L"first.exe"), second = Program(L"second.exe");
    std::vector<std::wstring> next;
    for (int i = 0; i < 3; ++i) next.push_back(Program(L"next" + std::to_wstring(i) + L".exe"));
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"300");
    Drop({first, second});
    ASSERT_TRUE(form->BatchRunning());
    // "Stop it?" is up; the batch ends and another is started before the answer.
    dialogs.whileAsked = [&] {
        WaitForTheBatch();
        Drop(next);
    };
    dialogs.answers.push_back(BoxAnswer::Yes);
    SendMessageW(Window().Handle(), WM_CLOSE, 0, 0);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"still running"), std::wstring::npos);
    EXPECT_TRUE(Window().Showing()) << "the new batch's window stays";
    ASSERT_TRUE(WaitForTheBatch());
    for (const auto& file : next) EXPECT_TRUE(IsPacked(file)) << "the new batch was not stopped: " << Narrow(file);
    ASSERT_NE(form->Batch(), nullptr) << "and its results are kept";
    EXPECT_EQ(Window().Rows().size(), next.size());
}

TEST_F(BatchAttack, ACsvThatDoesNotFitLeavesTheFileItWouldReplace) {
    ZANDREL_NEED_VOLUME(small, 'R');
    std::vector<std::wstring> files;
    for (int i = 0; i < 12; ++i)
        files.push_back(Program(L"a-program-with-a-rather-long-name-to-fill-the-table-" + std::to_wstring(i) + L".exe"));
    UseStandin(*form);
    Drop(files);
    ASSERT_TRUE(WaitForTheBatch());
    TempDir full(L"zc", small);
    const auto csv = full / L"results.csv";
    const std::string old = "an older table the user keeps\r\n";
    WriteBytes(csv, old);
    DiskFiller filler(small, 0);
    dialogs.files.push_back(csv);
    dialogs.answers.push_back(BoxAnswer::Yes);  // replace it
    Window().btnSave.Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u) << "asked to replace, then told it failed";
    EXPECT_NE(dialogs.boxes[1].text.find(L"could not be saved"), std::wstring::npos) << Narrow(dialogs.boxes[1].text);
    EXPECT_EQ(ReadBytes(csv), old);
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"results.csv"}) << "no part left behind";
}

}  // namespace
}  // namespace zandrel::test
