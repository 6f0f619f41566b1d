// Attacks on what a batch does with a user's file and its backup after UPX: a Stop in the
// pause before the test's second try, a read-only file UPX refuses, a second batch over the
// files of a first one whose undo is still offered.
#include "packed_format.h"
#include "batch_run_fixture.h"

#include <memory>

#include "framework/files.h"
#include "jobs/batch_run.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"

namespace zandrel::test {
namespace {

bool IsPacked(const std::wstring& path) { return standin::IsPacked(ReadBytes(path)); }

class BatchBackupAttack : public BatchRunFixture {
protected:
    TempDir tools{L"zbkt"};
    std::wstring upx = tools / L"upx.exe";

    void SetUp() override {
        BatchRunFixture::SetUp();
        PutUpxInPlace();
    }
    JobForm Form(bool backup, bool decompress = false) const {
        JobForm form = FormFor(upx, backup);
        form.decompress = decompress;
        return form;
    }
    void PutUpxInPlace() { ASSERT_TRUE(CopyFileW(StandinPath().c_str(), upx.c_str(), FALSE)); }
    // Runs a batch to its end; its outcomes.
    std::vector<BatchFileOutcome> RunToEnd(TBatchRun& batch, const std::vector<std::wstring>& files, const JobForm& form) {
        std::vector<BatchFileOutcome> finished;
        bool done = false;
        batch.OnFinished = [&](const std::vector<BatchFileOutcome>& files) {
            finished = files;
            done = true;
        };
        batch.Start(files, form, 1);
        EXPECT_TRUE(PumpUntil([&] { return done; }));
        batch.OnFinished = nullptr;
        return finished;
    }
    // Starts a compress of `file` whose test cannot be started at once (UPX is swapped for
    // no program while it packs); true once the batch waits for the test's second try.
    bool StartUntilTheTestWaits(TBatchRun& batch, const std::wstring& file, const JobForm& form) {
        {
            EnvSwitch slow(L"STANDIN_SLEEP_MS", L"1500");
            batch.Start({file}, form, 1);
            if (!PumpUntil([] { return !ChildProcesses(L"upx.exe").empty(); }, 10000)) return false;
        }
        if (!MoveFileW(upx.c_str(), (tools / L"upx-was.exe").c_str())) return false;
        WriteBytes(upx, "not a program any more");
        return PumpUntil([&] {
            for (const auto& line : batch.Output(0))
                if (line.find(L"tried once more") != std::wstring::npos) return true;
            return false;
        });
    }
};

// A Stop in the pause before the second try of UPX's test: no test is run, the file goes
// back to its original, and it counts as not done (nothing was changed), not as a failure.
// With Backup the backup the batch made goes again; without, the private copy.
class BatchStopBeforeTheTest : public BatchBackupAttack, public ::testing::WithParamInterface<bool> {};

TEST_P(BatchStopBeforeTheTest, TheFileIsPutBackAndCountsAsNotDone) {
    const bool backup = GetParam();
    const auto file = Program(L"app.exe");
    const std::string original = ReadBytes(file);
    TBatchRun batch(host, L"");
    std::vector<BatchFileOutcome> finished;
    bool done = false;
    batch.OnFinished = [&](const std::vector<BatchFileOutcome>& files) {
        finished = files;
        done = true;
    };
    ASSERT_TRUE(StartUntilTheTestWaits(batch, file, Form(backup))) << "the test's start did not fail";
    batch.Stop();
    PutUpxInPlace();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_TRUE(ReadBytes(file) == original);
    EXPECT_EQ(finished[0].result, BatchResult::NotDone) << Narrow(finished[0].reason);
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "a copy of an unchanged file is left";
}

INSTANTIATE_TEST_SUITE_P(Backup, BatchStopBeforeTheTest, ::testing::Bool());

// UPX refuses a read-only file: the file ends as it was, and the backup the batch made
// of it (read-only too, as copies are) goes again like any other needless backup.
TEST_F(BatchBackupAttack, AReadOnlyFileUpxRefusesLeavesNoBackup) {
    const auto file = Program(L"locked.exe");
    const std::string original = ReadBytes(file);
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    TBatchRun batch(host, L"");
    const auto finished = RunToEnd(batch, {file}, Form(true));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_TRUE(ReadBytes(file) == original);
    const auto left = Listing(dir.Path());
    for (const auto& name : left) SetFileAttributesW((dir / name).c_str(), FILE_ATTRIBUTE_NORMAL);  // for the clean-up
    EXPECT_EQ(left.size(), 1u) << "the needless backup of a refused read-only file is left";
}

// A first batch packs a file and keeps its backup; a second batch over the same file fails
// (a decompress UPX cannot write) and removes only the backup it made itself: the first
// batch's undo still finds its own and puts the original back.
TEST_F(BatchBackupAttack, ASecondBatchThatFailsLeavesTheFirstBatchsUndoWhole) {
    const auto file = Program(L"app.exe");
    const std::string original = ReadBytes(file);
    TBatchRun first(host, L"");
    ASSERT_EQ(RunToEnd(first, {file}, Form(true))[0].result, BatchResult::Done);
    ASSERT_TRUE(IsPacked(file));
    const std::string packed = ReadBytes(file);
    TBatchRun second(host, L"");
    {
        EnvSwitch failWrite(L"STANDIN_FAIL_WRITE", L"1");
        const auto finished = RunToEnd(second, {file}, Form(true, true));
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, BatchResult::Error) << Narrow(finished[0].reason);
    }
    EXPECT_TRUE(ReadBytes(file) == packed);
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"}))
        << "the second batch's own backup goes, the first batch's stays";
    ASSERT_EQ(first.Undoable(), 1u) << "the first batch's undo was lost";
    EXPECT_TRUE(first.Undo().empty());
    EXPECT_TRUE(ReadBytes(file) == original);
}

}  // namespace
}  // namespace zandrel::test
