// Batch jobs' portable side: the files a drop makes, UPX's reasons, the summary.
#include "batch/batch_plan.h"
#include "batch/batch_table.h"
#include "framework/names.h"
#include "jobs/batch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "fake_job_host.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

struct FakeDisk {
    std::map<std::wstring, std::vector<FolderEntry>> folders;
    std::set<std::wstring> packed;
    BatchSource Source(const std::wstring& wanted = L".exe") {
        BatchSource source;
        source.isFolder = [this](const std::wstring& p) { return folders.count(p) > 0; };
        source.list = [this](const std::wstring& p) { return folders.at(p); };
        source.accept = [wanted](const std::wstring& name) {
            return name.size() >= wanted.size() && name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0;
        };
        source.packed = [this](const std::wstring& p) { return packed.count(p) > 0; };
        return source;
    }
    std::vector<std::wstring> Files(const std::vector<std::wstring>& dropped, BatchChoice choice = {}) {
        return ScanBatch(dropped, choice, Source()).files;
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

TEST(BatchFiles, SubFoldersWhenAskedDepthFirstWithoutLinksAndPackedFilesLeftOutWhenAsked) {
    FakeDisk disk;
    disk.folders[L"C:\\r"] = {{L"b", true}, {L"a.exe", false}, {L"loop", true, true}, {L"c", true}};
    disk.folders[L"C:\\r\\b"] = {{L"b1.exe", false}, {L"bb", true}};
    disk.folders[L"C:\\r\\b\\bb"] = {{L"deep.exe", false}};
    disk.folders[L"C:\\r\\c"] = {{L"c1.exe", false}};
    disk.folders[L"C:\\r\\loop"] = {{L"never.exe", false}};
    EXPECT_EQ(disk.Files({L"C:\\r"}), (std::vector<std::wstring>{L"C:\\r\\a.exe"}));
    const std::vector<std::wstring> all{L"C:\\r\\a.exe", L"C:\\r\\b\\b1.exe", L"C:\\r\\b\\bb\\deep.exe", L"C:\\r\\c\\c1.exe"};
    EXPECT_EQ(disk.Files({L"C:\\r"}, {true, false}), all) << "a folder's files, then its sub-folders in order";
    disk.packed = {L"C:\\r\\b\\b1.exe", L"C:\\r\\c\\c1.exe"};
    const auto scan = ScanBatch({L"C:\\r"}, {true, true}, disk.Source());
    EXPECT_EQ(scan.files, (std::vector<std::wstring>{L"C:\\r\\a.exe", L"C:\\r\\b\\bb\\deep.exe"}));
    EXPECT_EQ(scan.packedSkipped, 2u);
    EXPECT_EQ(scan.folders, 2u);
    EXPECT_EQ(scan.sizes.size(), scan.files.size()) << "a size for every file, the skipped ones left out";
    EXPECT_EQ(disk.Files({L"C:\\r"}, {true, false}), all) << "packed files stay unless asked";
}

TEST(BatchFiles, EachFilesSizeComesFromItsListingOrForADroppedFileFromTheDisk) {
    FakeDisk disk;
    disk.folders[L"C:\\f"] = {{L"gone.exe", false, false}, {L"big.exe", false, false, 5'000'000'000}};
    auto source = disk.Source();
    std::vector<std::wstring> asked;
    source.size = [&](const std::wstring& path) {
        asked.push_back(path);
        return path == L"C:\\given.exe" ? 700 : -1;
    };
    const auto scan = ScanBatch({L"C:\\given.exe", L"C:\\f", L"C:\\missing.exe"}, {}, source);
    EXPECT_EQ(scan.sizes, (std::vector<std::int64_t>{700, -1, 5'000'000'000, -1}));
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\given.exe", L"C:\\f\\gone.exe", L"C:\\missing.exe"}))
        << "the disk is asked only for what no listing told";
}

TEST(BatchFiles, AStopEndsTheScanAndSaysItIsNotWhole) {
    FakeDisk disk;
    for (int i = 0; i < 1000; ++i) disk.folders[L"C:\\big"].push_back({L"f" + std::to_wstring(i) + L".exe", false});
    auto source = disk.Source();
    int asked = 0;
    source.stop = [&] { return ++asked > 100; };
    std::size_t heard = 0;
    const auto scan = ScanBatch({L"C:\\big"}, {}, source, [&](std::size_t found) { heard = found; });
    EXPECT_TRUE(scan.stopped);
    EXPECT_LT(scan.files.size(), 1000u);
    const auto whole = ScanBatch({L"C:\\big"}, {}, disk.Source(), [&](std::size_t found) { heard = found; });
    EXPECT_FALSE(whole.stopped);
    EXPECT_EQ(whole.files.size(), 1000u);
    EXPECT_EQ(heard, 768u) << "the count is heard now and then on the way";
}

TEST(BatchPlan, TheQuestionNamesTheJobTheCountTheFolderAndTheFirstNames) {
    auto form = test::Form();
    form.level = L"best";
    form.backup = false;
    EXPECT_EQ(JobDescription(form), L"Compress at the best level (--best), without backups");
    form.level = L"9";
    form.decompress = true;
    EXPECT_EQ(JobDescription(form), L"Decompress (-d), without backups");
    form.testFlag = true;
    form.q = true;
    EXPECT_EQ(JobDescription(form), L"Test (-t -q)") << "no backups for a job that changes nothing";
    BatchScan scan;
    scan.files = {L"C:\\a\\x.exe", L"C:\\a\\y.exe"};
    scan.folders = 1;
    EXPECT_EQ(CountLine(scan, false), L"2 files in C:\\a");
    scan.folders = 2;
    scan.packedSkipped = 1;
    EXPECT_EQ(CountLine(scan, false), L"2 files in 2 folders under C:\\a; 1 file packed already, left out");
    scan.files.resize(1500);
    EXPECT_EQ(CountLine(scan, true), L"1,500 files so far...");
    scan.files = {L"C:\\a\\b\\x.exe", L"C:\\a\\c\\y.exe"};
    EXPECT_EQ(CountLine(scan, false), L"2 files in 2 folders under C:\\a; 1 file packed already, left out");
    scan.files = {L"C:\\a\\x.exe", L"D:\\y.exe"};
    EXPECT_EQ(CountLine(scan, false), L"2 files in 2 folders; 1 file packed already, left out") << "no folder in common";
}

TEST(BatchPlan, TheFirstNamesGoFromTheFilesCommonFolderAndLongOnesKeepTheirEnd) {
    EXPECT_EQ(FirstNames({L"C:\\a\\x.exe", L"C:\\a\\sub\\y.exe", L"C:\\a\\z.exe"}, 2, 64),
              L"x.exe\r\nsub\\y.exe\r\n... and 1 more");
    EXPECT_EQ(FirstNames({L"C:\\x.exe", L"C:\\y.dll"}, 8, 64), L"x.exe\r\ny.dll") << "the root is common too";
    EXPECT_EQ(FirstNames({L"C:\\a\\x.exe", L"D:\\b\\y.exe"}, 8, 64), L"C:\\a\\x.exe\r\nD:\\b\\y.exe")
        << "nothing in common: whole paths";
    EXPECT_EQ(CommonFolder({L"C:\\ab\\x.exe", L"C:\\abc\\y.exe"}), L"C:\\") << "a folder is not the start of another";
    const std::wstring deep = L"C:\\a\\" + std::wstring(80, L'd') + L"\\the program.exe";
    const std::wstring line = FirstNames({deep, L"C:\\a\\x.exe"}, 1, 30);
    EXPECT_EQ(line.size(), 30u + std::wstring(L"\r\n... and 1 more").size());
    EXPECT_EQ(line.substr(0, 30), L"ddddddd...dddd\\the program.exe") << line;
}

TEST(BatchFiles, OneFileInTwoSpellingsIsTakenOnce) {
    FakeDisk disk;
    auto source = disk.Source();
    source.accept = [](const std::wstring&) { return true; };
    source.identity = [](const std::wstring& path) {
        return path == L"C:\\PROGRA~1\\app.exe" || path == L"C:\\Program Files\\app.exe" ? std::wstring(L"volume1:file7")
                                                                                           : std::wstring();
    };
    const auto files =
        ScanBatch({L"C:\\Program Files\\app.exe", L"C:\\PROGRA~1\\app.exe", L"C:\\other.exe"}, {}, source).files;
    EXPECT_EQ(files, (std::vector<std::wstring>{L"C:\\Program Files\\app.exe", L"C:\\other.exe"}));
    // Where the disk cannot tell, names that differ in case only are one file, in any script.
    source.identity = [](const std::wstring&) { return std::wstring(); };
    const auto byName = ScanBatch({L"C:\\\u00c4rger\\\u0424\u0430\u0439\u043b.exe", L"C:\\\u00e4rger\\\u0444\u0430\u0439\u041b.EXE",
                                   L"C:\\\u00e4rger\\\u0444\u0430\u0439\u043b2.exe"},
                                  {}, source).files;
    EXPECT_EQ(byName.size(), 2u);
}

TEST(Names, CaseAsideInTheScriptsFileNamesAreWrittenIn) {
    const std::pair<const wchar_t*, const wchar_t*> same[] = {
        {L"setup.exe", L"SETUP.EXE"},
        {L"\u00e9t\u00e9 \u00ff", L"\u00c9T\u00c9 \u0178"},                          // Latin-1, y with diaeresis
        {L"\u0142\u00f3d\u017a", L"\u0141\u00d3D\u0179"},                            // Latin Extended-A both ways round
        {L"\u03c3\u03bf\u03c6\u03cc\u03c2", L"\u03a3\u039f\u03a6\u038c\u03a3"},  // Greek, final sigma, tonos
        {L"\u0451\u0436\u0438\u043a", L"\u0401\u0416\u0418\u041a"},                // Cyrillic
        {L"\u0561\u0586", L"\u0531\u0556"},                                            // Armenian
        {L"\uff41\uff5a", L"\uff21\uff3a"},                                            // full-width Latin
    };
    for (std::size_t i = 0; i < std::size(same); ++i) EXPECT_TRUE(SameName(same[i].first, same[i].second)) << "pair " << i;
    EXPECT_FALSE(SameName(L"a.exe", L"b.exe"));
    EXPECT_FALSE(SameName(L"\u00df", L"SS")) << "no letter becomes two";
    EXPECT_FALSE(SameName(L"\u00f7", L"\u00d7")) << "signs that sit among the letters have no case";
    EXPECT_EQ(FoldedName(L"\u4e2d\u6587.exe"), L"\u4e2d\u6587.EXE") << "letters without a case stay";
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

namespace {

const std::vector<BatchFileOutcome> kFiles{
    {L"C:\\b\\a.exe", 1'234'567, 600'000, BatchResult::Done, L""},
    {L"C:\\b\\B.exe", 2000, 2000, BatchResult::Warning, L"NotCompressibleException"},
    {L"C:\\b\\c, \"odd\".exe", 1000, 1000, BatchResult::Error, L"IOException: file is\ttoo small"},
    {L"C:\\b\\d.exe", 4000, -1, BatchResult::NotDone, L""},
    {L"C:\\b\\e.exe", 765'433, 400'000, BatchResult::Done, L""},
    {L"C:\\b\\f.exe", 5000, 5000, BatchResult::AlreadyPacked, L"nothing was changed"},
};

}  // namespace

TEST(BatchTable, ProgressAndTotalsCountByResult) {
    std::vector<BatchFileOutcome> running = kFiles;
    running[3].result = BatchResult::Working;
    running[4].result = BatchResult::Waiting;
    EXPECT_EQ(ProgressLine(running), L"4 of 6 done, 1 with a warning, 1 failed, 1 working");
    EXPECT_EQ(ProgressLine({}), L"0 of 0 done");
    std::vector<BatchFileOutcome> many(1234, kFiles[0]);
    std::fill(many.begin() + 1000, many.end(), BatchFileOutcome{L"C:\\w.exe", -1, -1, BatchResult::Waiting, {}});
    EXPECT_EQ(ProgressLine(many), L"1,000 of 1,234 done") << "counts grouped as the question's";
    EXPECT_EQ(TotalsLine(many, false), L"1,234 files: 1,000 done.");
    EXPECT_EQ(TotalsLine(kFiles),
              L"6 files: 2 done, 1 already packed, 1 with a warning, 1 failed, 1 not done; "
              L"2,000,000 bytes to 1,000,000 (50.0%).");
    EXPECT_EQ(TotalsLine({kFiles[3]}), L"1 file: 0 done, 1 not done.") << "no sizes without a file done";
    EXPECT_EQ(TotalsLine({kFiles[0]}, false), L"1 file: 1 done.") << "no sizes for a test or a list";
    EXPECT_EQ(CellText(running[3], BatchColumn::SizeAfter), L"") << "no size after while it works";
    EXPECT_EQ(CellText(kFiles[3], BatchColumn::SizeAfter), L"-");
    EXPECT_EQ(CellText(kFiles[0], BatchColumn::Ratio), L"48.6%");
    EXPECT_EQ(CellText(kFiles[5], BatchColumn::Ratio), L"") << "no ratio for a file left as it was";
}

TEST(BatchTable, SortsByAnyColumnKeepingTiesInOrderAndBringsFailuresFirst) {
    using V = std::vector<std::size_t>;
    EXPECT_EQ(RowOrder(kFiles, {}), (V{0, 1, 2, 3, 4, 5})) << "the batch's own order";
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::File, false, false}), (V{5, 4, 3, 2, 1, 0})) << "names case aside";
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::SizeBefore, true, false}), (V{2, 1, 3, 5, 4, 0}));
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::Ratio, true, false}), (V{0, 4, 1, 2, 3, 5}))
        << "only the ratios the table shows (files done) sort; the blank ones last, in order";
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::Ratio, false, false}), (V{4, 0, 1, 2, 3, 5})) << "last the other way too";
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::SizeAfter, true, false}), (V{2, 1, 5, 4, 0, 3})) << "\"-\" last";
    EXPECT_EQ(RowOrder(kFiles, {std::nullopt, true, true}), (V{1, 2, 3, 0, 4, 5}));
    EXPECT_EQ(RowOrder(kFiles, {BatchColumn::SizeBefore, false, true}), (V{3, 1, 2, 0, 4, 5}))
        << "failures first, each group sorted";
}

TEST(BatchTable, CopiedRowsAndTheCsvFileKeepEveryCellWhole) {
    const auto tab = RowsAsTabText(kFiles, {2, 0});
    EXPECT_EQ(tab,
              L"File\tFolder\tBefore\tAfter\tRatio\tResult\tReason\r\n"
              L"c, \"odd\".exe\tC:\\b\t1000\t1000\t\tfailed\tIOException: file is too small\r\n"
              L"a.exe\tC:\\b\t1234567\t600000\t48.6%\tdone\t\r\n")
        << "a tab inside a cell would split it";
    std::vector<BatchFileOutcome> named{kFiles[2]};
    named[0].path = L"C:\\b\\\u00e9\U0001F600.exe";
    const auto csv = RowsAsCsv(kFiles, {2});
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF" "File,Folder,Before,After,Ratio,Result,Reason\r\n"
              "\"c, \"\"odd\"\".exe\",C:\\b,1000,1000,,failed,IOException: file is too small\r\n");
    const auto utf8 = RowsAsCsv(named, {0});
    named[0].path = L"C:\\b\\=cmd.exe";
    EXPECT_NE(RowsAsCsv(named, {0}).find("\n'=cmd.exe,"), std::string::npos) << "a name is never taken for a formula";
    EXPECT_NE(utf8.find("\xC3\xA9\xF0\x9F\x98\x80.exe"), std::string::npos) << "names in UTF-8, astral ones too";
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

// The short names asked, by path.
struct CountingHost : test::FakeHost {
    std::map<std::wstring, int> asked;
    std::wstring ShortPath(const std::wstring& p) override {
        ++asked[p];
        return FakeHost::ShortPath(p);
    }
};

TEST(BatchJobs, UpxsShortNameIsAskedOncePerBatchAndEverythingElseEveryTime) {
    CountingHost host;
    host.shortUpx = L"C:\\UPX~1\\UPX.EXE";
    host.files.insert(L"C:\\src\\b.exe");
    auto form = test::Form();
    form.backup = false;
    BatchDisk disk(host, form.upx);
    std::vector<JobPlan> plans;
    for (const auto* file : {L"C:\\src\\app.exe", L"C:\\src\\b.exe"}) {
        plans.push_back(PrepareBatchJob(form, file, disk).plan);
        plans.push_back(PrepareBatchJob(CheckForm(form), file, disk).plan);
        host.shortUpx = L"C:\\UPX~2\\UPX.EXE";  // asked again, it would say so
    }
    for (const auto& plan : plans) {
        ASSERT_NE(plan.way, RunWay::None);
        EXPECT_EQ(plan.commandLine.find(L"C:\\UPX~1\\UPX.EXE"), 0u) << "the short name the batch began with";
    }
    EXPECT_EQ(host.asked[form.upx], 1);

    // Other names are asked every time; file changes reach the disk.
    host.shortForms[L"C:\\src\\long name.exe"] = L"C:\\src\\LONGNA~1.EXE";
    EXPECT_EQ(disk.ShortPath(L"C:\\src\\long name.exe"), L"C:\\src\\LONGNA~1.EXE");
    host.shortForms[L"C:\\src\\long name.exe"] = L"C:\\src\\LONGNA~2.EXE";
    EXPECT_EQ(disk.ShortPath(L"C:\\src\\long name.exe"), L"C:\\src\\LONGNA~2.EXE");
    EXPECT_EQ(disk.CopyFileNew(L"C:\\src\\b.exe", L"C:\\src\\c.exe"), CopyResult::Copied);
    EXPECT_TRUE(host.FileExists(L"C:\\src\\c.exe"));
    EXPECT_TRUE(disk.RemoveFile(L"C:\\src\\c.exe"));
    EXPECT_FALSE(host.FileExists(L"C:\\src\\c.exe"));

    // The next batch asks anew.
    BatchDisk next(host, form.upx);
    EXPECT_EQ(next.ShortPath(form.upx), L"C:\\UPX~2\\UPX.EXE");
    EXPECT_EQ(host.asked[form.upx], 2);
}

// A batch asks a folder's long form once and each file's own long name every time:
// together they are the long form the disk itself would give.
TEST(BatchJobs, LongFormsAreTheDisksWithEachFolderAskedOnce) {
    struct LongCounting : test::FakeHost {
        std::map<std::wstring, int> asked;
        std::wstring LongPath(const std::wstring& p) override {
            ++asked[p];
            return FakeHost::LongPath(p);
        }
    } host;
    host.folders.insert(L"C:\\LONGFO~1");
    host.longForms[L"C:\\LONGFO~1"] = L"C:\\Long folder";
    host.longForms[L"C:\\LONGFO~1\\APPLIC~1.EXE"] = L"C:\\Long folder\\application.exe";
    host.files.insert(L"C:\\LONGFO~1\\APPLIC~1.EXE");
    host.files.insert(L"C:\\LONGFO~1\\b.exe");
    host.files.insert(L"C:\\top.exe");
    BatchDisk disk(host, test::Form().upx);
    EXPECT_EQ(disk.LongPath(L"C:\\LONGFO~1\\APPLIC~1.EXE"), L"C:\\Long folder\\application.exe");
    EXPECT_EQ(disk.LongPath(L"C:\\LONGFO~1\\b.exe"), L"C:\\Long folder\\b.exe");
    EXPECT_EQ(host.asked[L"C:\\LONGFO~1"], 1);
    EXPECT_EQ(disk.LongPath(L"C:\\top.exe"), L"C:\\top.exe");
    // A file that is not there keeps its path, as the disk's long form of it does.
    EXPECT_EQ(disk.LongPath(L"C:\\LONGFO~1\\gone.exe"), L"C:\\LONGFO~1\\gone.exe");
    // An alias in place is still told apart from its long name (so UPX never renames the file).
    auto form = test::Form();
    const auto plan = PrepareBatchJob(form, L"C:\\LONGFO~1\\APPLIC~1.EXE", disk).plan;
    EXPECT_EQ(plan.files.resultTo, L"C:\\Long folder\\application.exe");
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
