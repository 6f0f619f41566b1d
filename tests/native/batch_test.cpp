// Batch jobs' portable side: the files a drop makes, UPX's reasons, the summary.
#include "jobs/batch.h"

#include <gtest/gtest.h>

#include <map>

#include "fake_job_host.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

struct FakeDisk {
    std::map<std::wstring, std::vector<FolderEntry>> folders;
    std::vector<std::wstring> Files(const std::vector<std::wstring>& dropped, const std::wstring& wanted = L".exe") {
        return BatchFiles(
            dropped, [&](const std::wstring& p) { return folders.count(p) > 0; },
            [&](const std::wstring& p) { return folders.at(p); },
            [&](const std::wstring& name) {
                return name.size() >= wanted.size() && name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0;
            });
    }
};

TEST(BatchFiles, FoldersGiveTheFilesDirectlyInsideThatTheFilterTakesAndNothingComesTwice) {
    FakeDisk disk;
    disk.folders[L"C:\\rel"] = {{L"a.exe", false},         {L"readme.txt", false}, {L"sub", true},
                                {L"a_zandrel_bak.exe", false}, {L"b.exe", false},      {L"B_ZANDREL_BAK.EXE", false},
                                {L"b_zandrel_bak2.exe", false}, {L"~zandrel-7-3.exe", false}};
    disk.folders[L"C:\\rel\\sub"] = {{L"deep.exe", false}};
    disk.folders[L"D:\\"] = {{L"root.exe", false}};
    const auto files = disk.Files({L"C:\\x.exe", L"C:\\rel", L"c:\\REL\\A.EXE", L"C:\\x.exe", L"D:\\", L"C:\\notes.txt",
                                   L"C:\\x_zandrel_bak.exe"});
    EXPECT_EQ(files, (std::vector<std::wstring>{L"C:\\x.exe", L"C:\\rel\\a.exe", L"C:\\rel\\b.exe", L"D:\\root.exe",
                                                L"C:\\notes.txt"}))
        << "a dropped file is taken whatever its type; a folder's sub-folders, any backup and Zandrel's own "
           "copies are not";
}

TEST(BatchFiles, OneFileInTwoSpellingsIsTakenOnce) {
    FakeDisk disk;
    const auto identity = [](const std::wstring& path) {
        return path == L"C:\\PROGRA~1\\app.exe" ? std::wstring(L"volume1:file7") : path == L"C:\\Program Files\\app.exe" ? std::wstring(L"volume1:file7") : std::wstring();
    };
    const auto files = BatchFiles(
        {L"C:\\Program Files\\app.exe", L"C:\\PROGRA~1\\app.exe", L"C:\\other.exe"}, [](const std::wstring&) { return false; },
        [](const std::wstring&) { return std::vector<FolderEntry>{}; }, [](const std::wstring&) { return true; }, identity);
    EXPECT_EQ(files, (std::vector<std::wstring>{L"C:\\Program Files\\app.exe", L"C:\\other.exe"}));
}

TEST(UpxReason, TheLastErrorLineWithoutItsFileName) {
    EXPECT_EQ(UpxReason({L"Ultimate Packer", L"upx: C:\\a: b\\x.exe: NotCompressibleException", L"done"}),
              L"NotCompressibleException");
    EXPECT_EQ(UpxReason({L"upx: first.exe: IOException: first", L"upx: C:\\x.exe: AlreadyPackedException: already packed by UPX"}),
              L"AlreadyPackedException: already packed by UPX");
    EXPECT_EQ(UpxReason({L"upx: x.exe: something odd"}), L"something odd");
    EXPECT_EQ(UpxReason({L"Packed 1 file."}), L"");
}

TEST(BatchResults, ExitCodesAndRatios) {
    EXPECT_EQ(ResultOfExitCode(0), BatchResult::Done);
    EXPECT_EQ(ResultOfExitCode(2), BatchResult::Warning);
    EXPECT_EQ(ResultOfExitCode(1), BatchResult::Error);
    EXPECT_EQ(ResultOfExitCode(259), BatchResult::Error);
    EXPECT_EQ(RatioText(1000, 573), L"57.3%");
    EXPECT_EQ(RatioText(3, 2), L"66.7%") << "rounded";
    EXPECT_EQ(RatioText(100, 100), L"100.0%");
    EXPECT_EQ(RatioText(5'000'000'000'000, 2'500'000'000'000), L"50.0%") << "no overflow for big files";
    EXPECT_EQ(RatioText(0, 10), L"");
    EXPECT_EQ(RatioText(10, -1), L"");
}

TEST(BatchSummary, RowsPerFileAndTotalsOverTheFilesDone) {
    const std::vector<BatchFileOutcome> files{
        {L"C:\\a.exe", 1'234'567, 600'000, BatchResult::Done, L""},
        {L"C:\\b.exe", 2000, 2000, BatchResult::Warning, L"AlreadyPackedException: already packed by UPX"},
        {L"C:\\c.exe", 1000, 1000, BatchResult::Error, L"NotCompressibleException"},
        {L"C:\\d.exe", 4000, -1, BatchResult::NotDone, L""},
        {L"C:\\e.exe", 765'433, 400'000, BatchResult::Done, L""},
    };
    const auto lines = SummaryLines(files);
    ASSERT_EQ(lines.size(), 2 + files.size() + 2);
    EXPECT_EQ(lines[2], L"1,234,567\t600,000\t48.6%\tdone\tC:\\a.exe");
    EXPECT_EQ(lines[3], L"2,000\t2,000\t100.0%\twarning\tC:\\b.exe: AlreadyPackedException: already packed by UPX");
    EXPECT_EQ(lines[4], L"1,000\t1,000\t100.0%\terror\tC:\\c.exe: NotCompressibleException");
    EXPECT_EQ(lines[5], L"4,000\t-\t-\tnot done\tC:\\d.exe");
    EXPECT_EQ(lines[7], L"2,000,000\t1,000,000\t50.0%\t\tTotal of the files done");
    EXPECT_EQ(lines[8], L"5 files: 2 done, 1 with a warning, 1 with an error, 1 not done.");
}

TEST(BatchJobs, EachFileIsPreparedInPlaceAsStartPreparesIt) {
    test::FakeHost alone, batch;
    auto form = test::Form();
    form.source = form.target = L"C:\\other.exe";  // the batch names its own file
    const auto job = PrepareBatchJob(form, L"C:\\src\\app.exe", batch);
    const auto start = PrepareJob(test::Form(), alone);
    EXPECT_EQ(job.plan.commandLine, start.commandLine);
    EXPECT_EQ(batch.log, alone.log) << "the same backup copy";
    EXPECT_TRUE(job.refusal.empty());
}

TEST(BatchJobs, AFailedCheckOrBackupRefusesTheFileWithStartsMessageAndAsksNothing) {
    test::FakeHost noUpx;
    auto form = test::Form();
    form.upx.clear();
    auto job = PrepareBatchJob(form, L"C:\\src\\app.exe", noUpx);
    EXPECT_EQ(job.plan.way, RunWay::None);
    EXPECT_FALSE(job.refusal.empty());
    EXPECT_TRUE(noUpx.errors.empty()) << "no box";

    test::FakeHost noBackup;
    noBackup.copyFails = true;
    noBackup.answerBackup = true;  // Start would go on after a Yes; a batch never asks
    job = PrepareBatchJob(test::Form(), L"C:\\src\\app.exe", noBackup);
    EXPECT_EQ(job.plan.way, RunWay::None);
    EXPECT_EQ(job.refusal, test::T(texts::AskNoBackup));
    EXPECT_TRUE(noBackup.questions.empty());

    test::FakeHost gone;
    job = PrepareBatchJob(test::Form(), L"C:\\src\\vanished.exe", gone);
    EXPECT_EQ(job.plan.way, RunWay::None) << "a file that vanished before its turn";
    EXPECT_FALSE(job.refusal.empty());
}

TEST(BatchJobs, FinishingPutsTheResultInPlaceAndSaysWhatStartWouldHaveShown) {
    test::FakeHost host;
    host.files.insert(L"C:\\src\\\u03a9.exe");
    auto form = test::Form();
    form.backup = false;
    const auto job = PrepareBatchJob(form, L"C:\\src\\\u03a9.exe", host);  // a name UPX cannot spell
    ASSERT_FALSE(job.plan.files.resultFrom.empty());
    EXPECT_EQ(FinishBatchJob(job.plan, {0, 0}, host), L"");
    EXPECT_TRUE(host.files.count(L"C:\\src\\\u03a9.exe"));
    EXPECT_EQ(host.log.back(), L"move " + job.plan.files.resultFrom + L" C:\\src\\\u03a9.exe");
    EXPECT_EQ(FinishBatchJob(job.plan, {0, 1}, host), test::T(texts::MsgJobError));
    EXPECT_EQ(FinishBatchJob(job.plan, {0, 2}, host), test::T(texts::MsgJobWarning));
    EXPECT_EQ(FinishBatchJob(job.plan, {2, 0}, host), test::T(texts::MsgStartFailed));
    EXPECT_TRUE(host.errors.empty()) << "no box";
}

TEST(BatchJobs, TheUpxProgramThenTheLevelAreCheckedOnceForTheWholeBatch) {
    test::FakeHost host;
    auto form = test::Form();
    EXPECT_EQ(BatchRefusal(form, host), L"");
    form.level.clear();
    EXPECT_EQ(BatchRefusal(form, host), test::T(texts::MsgNoLevel));
    form.upx = L"C:\\nowhere\\upx.exe";
    EXPECT_EQ(BatchRefusal(form, host), test::T(texts::MsgNoUpx)) << "the UPX program first";
}

TEST(BatchJobs, TheCheckOfACompressedFileIsUpxsTest) {
    auto form = test::Form();
    form.decompress = true;
    const auto check = CheckForm(form);
    EXPECT_TRUE(check.testFlag);
    EXPECT_FALSE(check.decompress);
    EXPECT_EQ(JobSwitches(check).find(L"-t"), 0u);
}

}  // namespace
}  // namespace zandrel
