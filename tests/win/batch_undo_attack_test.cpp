// A batch's undo against what a user meets afterwards: a file another program
// holds open, a disk that is full, a stop before the end; a CSV over a read-only
// file; and the question before a batch met by a second drop.
#include "batch_window_fixture.h"

#include <algorithm>

#include "app/descrambler.h"
#include "jobs/file_safety.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

using BatchUndoAttack = WindowBatch;

const std::string kOriginal = "MZ a program of some length";

bool PlainName(const std::wstring& name) { return name.rfind(L"~zandrel", 0) == 0; }

// Another program holds one file open while the undo runs: that file stays as the
// batch made it, the other goes back, and the user is told which could not go back
// (the question promised both). Once the file is free, a second undo takes it.
TEST_F(BatchUndoAttack, AFileInUseDuringTheUndoIsLeftWholeAndTheUserIsTold) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    ASSERT_TRUE(PackByADrop({one, two}));
    const auto packed = ReadBytes(one);
    UniqueHandle held(CreateFileW(one.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    held.reset();
    EXPECT_EQ(ReadBytes(one), packed) << "the file in use is whole, as the batch made it";
    EXPECT_EQ(ReadBytes(two), kOriginal);
    EXPECT_NE(Window().Cell(0, BatchColumn::Reason).find(L"could not be put back"), std::wstring::npos)
        << Narrow(Window().Cell(0, BatchColumn::Reason));
    const auto left = Listing(dir.Path());
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), PlainName)) << "no copy left beside the file";
    ASSERT_EQ(dialogs.boxes.size(), 2u) << "the question, then what the undo did";
    EXPECT_NE(dialogs.boxes[1].text.find(L"1 file could not be put back"), std::wstring::npos)
        << Narrow(dialogs.boxes[1].text);
    EXPECT_NE(dialogs.boxes[1].text.find(L"one.exe"), std::wstring::npos) << Narrow(dialogs.boxes[1].text);

    ASSERT_TRUE(Window().btnUndo.Enabled()) << "the file left behind may still go back";
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    ASSERT_GE(dialogs.boxes.size(), 3u);
    EXPECT_NE(dialogs.boxes[2].text.find(L"of 1 file "), std::wstring::npos) << Narrow(dialogs.boxes[2].text);
    EXPECT_EQ(ReadBytes(one), kOriginal);
    EXPECT_EQ(Window().Cell(0, BatchColumn::Result), L"put back");
    EXPECT_EQ(dialogs.boxes.size(), 3u) << "everything went back: nothing more to say";
}

// The backup goes back through a copy beside the file; on a full disk that copy
// cannot be made, and the packed file must stay whole, with nothing left beside it.
TEST_F(BatchUndoAttack, AnUndoOnAFullDiskLeavesEachFileAsTheBatchMadeIt) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir place(L"zu", small);
    std::string big = "MZ";
    big.resize(300 * 1024, 'x');  // packs to far less: its backup needs room to come back
    WriteBytes(place / L"big.exe", big);
    WriteBytes(place / L"other.exe", big);
    UseStandin(*form);
    Drop({place / L"big.exe", place / L"other.exe"});
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_TRUE(IsPacked(place / L"big.exe"));
    const auto packed = ReadBytes(place / L"big.exe");
    {
        DiskFiller filler(small, 0);
        dialogs.answers.push_back(BoxAnswer::Yes);
        Window().btnUndo.Click();
    }
    EXPECT_EQ(ReadBytes(place / L"big.exe"), packed);
    EXPECT_EQ(ReadBytes(BackupName(place / L"big.exe")), big) << "the backup stays";
    const auto left = Listing(place.Path());
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), PlainName)) << "no part of a copy left";
    EXPECT_NE(Window().Cell(0, BatchColumn::Result), L"put back");
    ASSERT_EQ(dialogs.boxes.size(), 2u) << "the question, then what the undo did";
    EXPECT_NE(dialogs.boxes[1].text.find(L"2 files could not be put back"), std::wstring::npos)
        << Narrow(dialogs.boxes[1].text);
}

// Stop during the run, then Undo: the file finished before the stop goes back, the
// files never started are not touched and not counted.
TEST_F(BatchUndoAttack, StopThenUndoPutsBackOnlyWhatWasDone) {
    StoreSetting(Widen8(BytsToEncStr4(texts::ValBatchJobs)), L"1");
    std::vector<std::wstring> files;
    for (int i = 0; i < 4; ++i) files.push_back(Program(L"f" + std::to_wstring(i) + L".exe"));
    UseStandin(*form);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"300");
    Drop(files);
    ASSERT_TRUE(form->BatchRunning());
    Window().btnStop.Click();
    ASSERT_TRUE(WaitForTheBatch());
    std::size_t packed = 0;
    for (const auto& file : files) packed += IsPacked(file);
    ASSERT_GE(packed, 1u);
    ASSERT_LT(packed, files.size()) << "the stop left files undone";
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnUndo.Click();
    ASSERT_GE(dialogs.boxes.size(), 1u);
    const std::wstring count = std::to_wstring(packed) + (packed == 1 ? L" file " : L" files ");
    EXPECT_NE(dialogs.boxes[0].text.find(L"of " + count), std::wstring::npos) << Narrow(dialogs.boxes[0].text);
    for (const auto& file : files) EXPECT_EQ(ReadBytes(file), kOriginal) << Narrow(file);
    EXPECT_EQ(dialogs.boxes.size(), 1u) << "everything went back: nothing more to say";
}

// The question is modal, but a drop can still reach the main window (a message
// the shell sends): it must not open a second question inside the first, whose
// batch would then stop and forget the second's when it starts.
TEST_F(BatchUndoAttack, ADropWhileTheQuestionIsOpenAsksNothingMore) {
    const auto a = Program(L"a.exe"), b = Program(L"b.exe"), c = Program(L"c.exe"), d = Program(L"d.exe");
    UseStandin(*form);
    std::vector<TBatchConfirm*> seen;
    bool nested = false;
    Answer({[&](TBatchConfirm& first) {
                seen.push_back(&first);
                SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({c, d})), 0);
                PressKey(first.btnStart.Handle(), VK_RETURN);  // whatever the drop did, the first is answered
            },
            [&](TBatchConfirm& q) {
                if (std::find(seen.begin(), seen.end(), &q) == seen.end()) {
                    nested = true;
                    PressKey(q.btnStart.Handle(), VK_RETURN);
                }
            }});
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a, b})), 0);
    ASSERT_TRUE(WaitForTheBatch());
    EXPECT_FALSE(nested) << "a second question opened inside the first";
    EXPECT_TRUE(IsPacked(a) && IsPacked(b));
    EXPECT_EQ(ReadBytes(c), kOriginal);
    EXPECT_EQ(ReadBytes(d), kOriginal);
    ASSERT_NE(form->Batch(), nullptr);
    EXPECT_EQ(Window().Rows().size(), 2u);
}

// The user answers Replace for a read-only table: it is either replaced, or the box
// says it was not saved and the old one is as it was; no part is left beside it.
TEST_F(BatchUndoAttack, ACsvOverAReadOnlyFileIsSavedOrSaysItWasNot) {
    const auto one = Program(L"one.exe"), two = Program(L"two.exe");
    UseStandin(*form);
    Drop({one, two});
    ASSERT_TRUE(WaitForTheBatch());
    TempDir tables(L"zct");
    const auto csv = tables / L"results.csv";
    const std::string old = "an older table\r\n";
    WriteBytes(csv, old);
    SetFileAttributesW(csv.c_str(), FILE_ATTRIBUTE_READONLY);
    dialogs.files.push_back(csv);
    dialogs.answers.push_back(BoxAnswer::Yes);
    Window().btnSave.Click();
    SetFileAttributesW(csv.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_GE(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find(L"Replace"), std::wstring::npos);
    const std::string now = ReadBytes(csv);
    if (dialogs.boxes.size() == 2) {
        EXPECT_NE(dialogs.boxes[1].text.find(L"could not be saved"), std::wstring::npos) << Narrow(dialogs.boxes[1].text);
        EXPECT_EQ(now, old) << "said not saved, but the file changed";
    } else {
        EXPECT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_NE(now.find("one.exe"), std::string::npos) << "no failure said, yet the table is not there";
    }
    EXPECT_EQ(Listing(tables.Path()), std::set<std::wstring>{L"results.csv"}) << "no part left behind";
}

}  // namespace
}  // namespace zandrel::test
