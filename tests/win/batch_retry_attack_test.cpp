// Attacks on a batch's second try at a UPX that could not be started: a Stop or the
// program's end during the pause, a second try of UPX's test of a packed file, many
// files with a UPX that never starts.
#include "packed_format.h"
#include "batch_run_fixture.h"

#include <algorithm>
#include <memory>

#include "framework/files.h"
#include "jobs/batch_run.h"
#include "jobs/job_host.h"

namespace zandrel::test {
namespace {

bool IsPacked(const std::wstring& path) { return standin::IsPacked(ReadBytes(path)); }

bool SaysTriedAgain(const std::vector<std::wstring>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::wstring& line) { return line.find(L"tried once more") != std::wstring::npos; });
}

class BatchRetryAttack : public BatchRunFixture {
protected:
    TempDir tools{L"zbrt"};
    std::wstring upx = tools / L"upx.exe";

    // The file is written in place; a private copy keeps the original.
    JobForm Form() const { return FormFor(upx, false); }
    // A batch of the file with UPX not a program yet: true once it waits for a second try.
    bool StartWithAUpxThatFailsOnce(const std::wstring& file) {
        WriteBytes(upx, "not a program yet");
        batch->Start({file}, Form(), 1);
        return PumpUntil([&] { return WaitingForSecondTry(0); });
    }
    bool WaitingForSecondTry(std::size_t index) { return !done && SaysTriedAgain(batch->Output(index)); }
    void PutUpxInPlace() { ASSERT_TRUE(CopyFileW(StandinPath().c_str(), upx.c_str(), FALSE)); }
};

// Stop while a file waits out the pause before its second try: a Stop starts no UPX
// that is not at work yet, so the file is left as it was (here a UPX that would work
// is put in place meanwhile), with no private or working copy behind.
TEST_F(BatchRetryAttack, AStopDuringThePauseStartsNoSecondTry) {
    const auto file = Program(L"\u03a9mega.exe");
    const std::string original = ReadBytes(file);
    ASSERT_TRUE(StartWithAUpxThatFailsOnce(file)) << "the first start did not fail";
    batch->Stop();
    PutUpxInPlace();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_EQ(finished[0].result, BatchResult::NotDone) << "a UPX was started after the Stop";
    EXPECT_EQ(finished[0].reason.find(L"could not be started"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_TRUE(ReadBytes(file) == original);
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "no private or working copy left";
}

// The program closing (the batch destroyed) during the pause: no second try is started
// for it to wait for, and the file stays whole with no copy behind.
TEST_F(BatchRetryAttack, TheBatchsEndDuringThePauseStartsNoSecondTry) {
    const auto file = Program(L"app.exe");
    const std::string original = ReadBytes(file);
    ASSERT_TRUE(StartWithAUpxThatFailsOnce(file)) << "the first start did not fail";
    PutUpxInPlace();
    batch.reset();
    EXPECT_TRUE(ReadBytes(file) == original) << "a UPX was started while the program was closing";
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "no private copy left";
}

// A compress without Backup passes, then UPX's test of it cannot be started (UPX was
// replaced while it packed): the test is tried once more; where that fails too the
// original goes back from the private copy, where it starts the file is done. Either
// way no private copy is left.
class BatchRetryOfTheTest : public BatchRetryAttack, public ::testing::WithParamInterface<bool> {};

TEST_P(BatchRetryOfTheTest, TheFileIsPutBackOrDoneAndNoCopyIsLeft) {
    const bool secondTryStarts = GetParam();
    const auto file = Program(L"app.exe");
    const std::string original = ReadBytes(file);
    PutUpxInPlace();
    {
        EnvSwitch slow(L"STANDIN_SLEEP_MS", L"1500");  // time to replace UPX while it works
        batch->Start({file}, Form(), 1);
        ASSERT_TRUE(PumpUntil([] { return !ChildProcesses(L"upx.exe").empty(); }, 10000)) << "UPX never ran";
    }
    // A running program may be renamed, not rewritten.
    ASSERT_TRUE(MoveFileW(upx.c_str(), (tools / L"upx-was.exe").c_str()));
    WriteBytes(upx, "not a program any more");
    ASSERT_TRUE(PumpUntil([&] { return WaitingForSecondTry(0); })) << "the test's start did not fail";
    if (secondTryStarts) PutUpxInPlace();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    if (secondTryStarts) {
        EXPECT_EQ(finished[0].result, BatchResult::Done) << Narrow(finished[0].reason);
        EXPECT_TRUE(IsPacked(file));
    } else {
        EXPECT_EQ(finished[0].result, BatchResult::Error);
        EXPECT_NE(finished[0].reason.find(L"to test the packed file"), std::wstring::npos) << Narrow(finished[0].reason);
        EXPECT_NE(finished[0].reason.find(L"put back as it was"), std::wstring::npos) << Narrow(finished[0].reason);
        EXPECT_TRUE(ReadBytes(file) == original);
    }
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "no private copy left";
}

INSTANTIATE_TEST_SUITE_P(SecondTry, BatchRetryOfTheTest, ::testing::Bool());

// The user saves a new version of the file while UPX's test of the packed one waits
// for its second try. That version is no result of the batch: whatever the test then
// says, it is never replaced by the original, and the original is kept beside it.
TEST_P(BatchRetryOfTheTest, AFileRewrittenBeforeItsTestIsNeverReplacedByTheOriginal) {
    const bool secondTryStarts = GetParam();
    const auto file = Program(L"app.exe");
    const std::string original = ReadBytes(file);
    PutUpxInPlace();
    {
        EnvSwitch slow(L"STANDIN_SLEEP_MS", L"1500");
        batch->Start({file}, Form(), 1);
        ASSERT_TRUE(PumpUntil([] { return !ChildProcesses(L"upx.exe").empty(); }, 10000)) << "UPX never ran";
    }
    ASSERT_TRUE(MoveFileW(upx.c_str(), (tools / L"upx-was.exe").c_str()));
    WriteBytes(upx, "not a program any more");
    ASSERT_TRUE(PumpUntil([&] { return WaitingForSecondTry(0); })) << "the test's start did not fail";
    const std::string users = "MZ the user's new version, saved while the batch waited";
    WriteBytes(file, users);
    if (secondTryStarts) PutUpxInPlace();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_TRUE(ReadBytes(file) == users) << "the user's new version was replaced: " << Narrow(finished[0].reason);
    EXPECT_NE(finished[0].result, BatchResult::Done);
    bool originalKept = false;
    for (const auto& name : Listing(dir.Path()))
        originalKept |= name != L"app.exe" && ReadBytes(dir / name) == original;
    EXPECT_TRUE(originalKept) << "the original is kept beside it: " << Narrow(finished[0].reason);
}

// Many files at once with a UPX that is no program: one pause per slot at most, then
// every file fails at once; the batch ends and leaves the folder as it was.
TEST_F(BatchRetryAttack, ManyFilesWithAUpxThatNeverStartsEndSoon) {
    WriteBytes(upx, "never a program");
    std::vector<std::wstring> files;
    for (int i = 0; i < 60; ++i) files.push_back(Program(L"f" + std::to_wstring(i) + L".exe", 600));
    batch->Start(files, Form(), 4);
    ASSERT_TRUE(PumpUntil([&] { return done; }, 60000));
    std::size_t triedAgain = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(finished[i].result, BatchResult::Error) << i;
        triedAgain += SaysTriedAgain(batch->Output(i));
    }
    EXPECT_LE(triedAgain, 4u) << "a second try per slot at most";
    EXPECT_EQ(Listing(dir.Path()).size(), files.size()) << "no private copy left";
}

}  // namespace
}  // namespace zandrel::test
