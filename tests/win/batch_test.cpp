// Batch jobs with the UPX stand-in: real files, real UPX processes, several at once.
#include "packed_format.h"
#include "browser_fixture.h"
#include "test_support.h"

#include <algorithm>

#include "batch/batch_table.h"
#include "jobs/batch_run.h"
#include "console/MsgOut.h"
#include "framework/files.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"
#include "app/descrambler.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

const std::string kPacked = standin::Pack("MZ packed program", 6);

bool IsPacked(const std::wstring& path) { return standin::IsPacked(ReadBytes(path)); }

std::int64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

class Batch : public ::testing::Test {
protected:
    RecordingDialogs dialogs;
    WinJobHost host{dialogs, nullptr};
    TBatchRun batch{host, L""};
    std::vector<std::vector<std::wstring>> shown;
    std::vector<BatchFileOutcome> finished;
    bool done = false;
    TempDir dir{L"zb"};

    void SetUp() override {
        batch.OnFinished = [this](const std::vector<BatchFileOutcome>& files) {
            finished = files;
            for (std::size_t i = 0; i < files.size(); ++i) shown.push_back(batch.Output(i));
            done = true;
        };
    }
    JobForm Form() const {
        JobForm form;
        form.upx = StandinPath();
        form.level = L"6";
        return form;
    }
    bool WaitDone(int ms = 60000) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
        while (!done && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
        }
        return done;
    }
    std::wstring Program(const std::wstring& name, std::size_t size) const {
        std::string bytes = "MZ";
        for (std::size_t i = 2; i < size; ++i) bytes.push_back(static_cast<char>(i * 7));
        WriteBytes(dir / name, bytes);
        return dir / name;
    }
};

TEST_F(Batch, MixedFilesAreDoneInPlaceWithTheirNumbersFromTheDisk) {
    const auto a = Program(L"apple.exe", 3000), omega = Program(L"\u03a9mega.exe", 2000), c = Program(L"c.exe", 1500);
    const auto packed = dir / L"packed.exe", gone = dir / L"gone.exe";
    WriteBytes(packed, kPacked);
    const std::string originalA = ReadBytes(a), originalOmega = ReadBytes(omega);
    auto form = Form();
    form.backup = true;
    batch.Start({a, packed, gone, omega, c}, form, 2);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(finished.size(), 5u);

    for (const auto& file : {a, omega, c}) {
        const auto& out = *std::find_if(finished.begin(), finished.end(), [&](const auto& o) { return o.path == file; });
        EXPECT_EQ(out.result, BatchResult::Done) << Narrow(file) << " " << Narrow(out.reason);
        EXPECT_TRUE(IsPacked(file)) << Narrow(file);
        EXPECT_EQ(out.sizeAfter, SizeOf(file)) << "the summary's size is the file's";
        EXPECT_TRUE(IsExistingFile(BackupName(file))) << "the backup the form asks for";
    }
    EXPECT_EQ(ReadBytes(BackupName(a)), originalA);
    EXPECT_EQ(ReadBytes(BackupName(omega)), originalOmega) << "a name UPX cannot spell, done through a copy";
    EXPECT_EQ(finished[0].sizeBefore, 3000);
    EXPECT_EQ(finished[1].result, BatchResult::AlreadyPacked);
    EXPECT_EQ(ReadBytes(packed), kPacked) << "an already packed file is not touched";
    EXPECT_FALSE(IsExistingFile(BackupName(packed))) << "not even backed up";
    EXPECT_EQ(finished[2].result, BatchResult::Error) << "a file that is not there";
    EXPECT_FALSE(finished[2].reason.empty());
    const auto left = Listing(dir.Path());
    EXPECT_EQ(left.size(), 7u) << "four files and the backups of the three done (made before each run)";
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const auto& n) { return n.find(L"~zandrel") == 0; }))
        << "no working copy is left";

    // Each file's output under its heading, kept with its file, none mixed with another's.
    ASSERT_EQ(shown.size(), 5u);
    const std::vector<std::wstring> names{L"apple.exe", L"packed.exe", L"gone.exe", L"mega.exe", L"c.exe"};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i][0], L"---- " + finished[i].path);
        for (std::size_t line = 1; line < shown[i].size(); ++line) {
            for (std::size_t other = 0; other < names.size(); ++other) {
                if (other == i) continue;
                EXPECT_EQ(shown[i][line].find(names[other]), std::wstring::npos)
                    << Narrow(shown[i][line]) << " in the block of " << Narrow(finished[i].path);
            }
        }
    }
    auto has = [&](std::size_t i, const std::wstring& text) {
        return std::any_of(shown[i].begin(), shown[i].end(), [&](const auto& l) { return l.find(text) != l.npos; });
    };
    for (std::size_t i : {0u, 3u, 4u}) {
        EXPECT_TRUE(has(i, L"Packed 1 file")) << "the whole output, once the file is done: " << i;
        EXPECT_TRUE(has(i, L"[OK]")) << "and UPX's test of the result: " << i;
    }
    // The totals add up the files done, as they are on disk now.
    ASSERT_EQ(SizeOf(a) + SizeOf(omega) + SizeOf(c), 6911) << "three packed files of 3000, 2000 and 1500 bytes";
    EXPECT_NE(TotalsLine(finished).find(L"6,500 bytes to 6,911"), std::wstring::npos) << Narrow(TotalsLine(finished));
    EXPECT_TRUE(dialogs.boxes.empty()) << "a batch shows no box for a file";
}

TEST_F(Batch, AResultThatFailsUpxsTestIsPutBackFromItsBackup) {
    const auto file = Program(L"app.exe", 2500);
    const std::string original = ReadBytes(file);
    EnvSwitch damaged(L"STANDIN_FAIL_TEST", L"1");
    auto form = Form();
    form.backup = true;
    batch.Start({file}, form, 1);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_NE(finished[0].reason.find(L"CantUnpackException"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_NE(finished[0].reason.find(L"put back as it was"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_EQ(ReadBytes(file), original) << "no broken program is left behind";
}

TEST_F(Batch, WithoutBackupAResultThatFailsItsTestIsPutBackFromAPrivateCopy) {
    const auto file = Program(L"app.exe", 2500), greek = Program(L"\u03a9mega.exe", 1800);
    const std::string original = ReadBytes(file), originalGreek = ReadBytes(greek);
    EnvSwitch damaged(L"STANDIN_FAIL_TEST", L"1");
    auto form = Form();
    form.backup = false;
    batch.Start({file, greek}, form, 2);
    ASSERT_TRUE(WaitDone());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(finished[i].result, BatchResult::Error);
        EXPECT_NE(finished[i].reason.find(L"put back as it was"), std::wstring::npos) << Narrow(finished[i].reason);
    }
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(ReadBytes(greek), originalGreek) << "also for a name UPX cannot spell";
    EXPECT_EQ(Listing(dir.Path()).size(), 2u) << "no backup, no private copy left";
}

// A UPX that cannot be started (here no program at all) is tried once more, then each file
// fails with the system's reason, at once after that first second try; the files and their
// folder stay as they were.
TEST_F(Batch, AUpxThatCannotBeStartedFailsEachFileWithTheSystemsReason) {
    const auto file = Program(L"app.exe", 2500), other = Program(L"other.exe", 2500);
    const std::string original = ReadBytes(file);
    TempDir tools(L"zbt");
    WriteBytes(tools / L"upx.exe", "not a program at all, only text");
    auto form = Form();
    form.upx = tools / L"upx.exe";
    form.backup = false;
    batch.Start({file, other}, form, 1);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    const std::wstring& reason = finished[0].reason;
    EXPECT_EQ(reason.rfind(L"UPX could not be started", 0), 0u) << Narrow(reason);
    EXPECT_NE(reason.find(L" ("), std::wstring::npos) << "the system's reason follows: " << Narrow(reason);
    EXPECT_NE(reason.find(L"upx.exe"), std::wstring::npos) << "not a program, it says, naming it: " << Narrow(reason);
    EXPECT_EQ(reason.find(L"%1"), std::wstring::npos) << Narrow(reason);
    auto triedAgain = [&](std::size_t i) {
        return std::any_of(shown[i].begin(), shown[i].end(),
                           [](const std::wstring& line) { return line.find(L"tried once more") != std::wstring::npos; });
    };
    EXPECT_TRUE(triedAgain(0));
    EXPECT_EQ(finished[1].result, BatchResult::Error);
    EXPECT_FALSE(triedAgain(1)) << "after a second try failed, no file waits for another";
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(Listing(dir.Path()).size(), 2u) << "no private copy left";
}

// A start that fails once (here UPX is put in place only after the first try) is tried
// again after a pause, with the working copy of a name UPX cannot spell, and the file is done.
TEST_F(Batch, AStartThatFailsOnceIsTriedAgainAndTheFileIsDone) {
    const auto file = Program(L"\u03a9mega.exe", 2500);
    TempDir tools(L"zbt");
    const auto upx = tools / L"upx.exe";
    WriteBytes(upx, "not a program yet");
    auto form = Form();
    form.upx = upx;
    form.backup = false;
    batch.Start({file}, form, 1);
    bool putInPlace = false;
    const ULONGLONG end = GetTickCount64() + 30000;
    while (!done && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
        const auto& lines = batch.Output(0);
        if (!putInPlace && !lines.empty() && lines.back().find(L"tried once more") != std::wstring::npos) {
            Sleep(300);  // well within the pause: a second try at once would fail again
            putInPlace = CopyFileW(StandinPath().c_str(), upx.c_str(), FALSE) != FALSE;
        }
    }
    ASSERT_TRUE(done);
    EXPECT_TRUE(putInPlace) << "the first start did not fail";
    EXPECT_EQ(finished[0].result, BatchResult::Done) << Narrow(finished[0].reason);
    EXPECT_TRUE(IsPacked(file));
    EXPECT_EQ(Listing(dir.Path()).size(), 1u) << "no working copy left";
}

TEST_F(Batch, AStopLetsTheRunningFileFinishAndStartsNoOther) {
    const auto first = Program(L"first.exe", 1000), second = Program(L"second.exe", 1000),
               third = Program(L"third.exe", 1000);
    const std::string untouched = ReadBytes(second);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"600");
    batch.Start({first, second, third}, Form(), 1);
    ASSERT_TRUE(batch.Running());
    EXPECT_TRUE(batch.Holds(second)) << "Start must not touch a file of the batch";
    std::wstring upper = second;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    EXPECT_TRUE(batch.Holds(upper)) << "in any spelling";
    EXPECT_TRUE(batch.SharesWorkFilesWithWork(dir / L"first.dll")) << "UPX is at work on first.exe";
    EXPECT_FALSE(batch.SharesWorkFilesWithWork(dir / L"second.dll")) << "second.exe waits, it is not at work";
    for (int i = 0; i < 10; ++i) PumpMessages(), Sleep(10);
    batch.Stop();
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(finished[0].result, BatchResult::Done) << Narrow(finished[0].reason);
    EXPECT_TRUE(IsPacked(first)) << "finished, not ended half-way";
    EXPECT_EQ(finished[1].result, BatchResult::NotDone);
    EXPECT_EQ(finished[2].result, BatchResult::NotDone);
    EXPECT_EQ(ReadBytes(second), untouched);
    EXPECT_EQ(shown.size(), 3u) << "the files not done are named too";
    EXPECT_FALSE(batch.Holds(second));
}

TEST_F(Batch, UpxErrorsReadOnlyFilesAndFilesGoneBeforeTheirTurnAreReportedAndLeftAsTheyWere) {
    const auto first = Program(L"first.exe", 1200), readOnly = Program(L"locked.exe", 1300),
               failing = Program(L"fails.exe", 1400), vanishing = Program(L"vanishing.exe", 1500);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string lockedBytes = ReadBytes(readOnly), failingBytes = ReadBytes(failing);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"300");
    EnvSwitch failWrite(L"STANDIN_FAIL_WRITE", L"fails.exe");  // UPX cannot write the third file
    batch.Start({first, readOnly, failing, vanishing}, Form(), 1);
    DeleteFileW(vanishing.c_str());  // while the first file is worked on
    ASSERT_TRUE(WaitDone());
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(finished[0].result, BatchResult::Done);
    EXPECT_EQ(finished[1].result, BatchResult::Error) << "a read-only file cannot be replaced in place";
    EXPECT_FALSE(finished[1].reason.empty());
    EXPECT_EQ(ReadBytes(readOnly), lockedBytes);
    EXPECT_EQ(finished[2].result, BatchResult::Error);
    EXPECT_NE(finished[2].reason.find(L"IOException"), std::wstring::npos) << "UPX's own reason: "
                                                                            << Narrow(finished[2].reason);
    EXPECT_EQ(ReadBytes(failing), failingBytes);
    EXPECT_EQ(finished[3].result, BatchResult::Error) << "gone before its turn";
    EXPECT_EQ(finished[3].sizeBefore, -1);
    const auto left = Listing(dir.Path());
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const auto& n) {
        return n.find(L"~zandrel") == 0 || n.find(L".tmp") != std::wstring::npos;
    })) << "no temporary is left";
}

TEST_F(Batch, ATestBatchChangesNoFile) {
    const auto packed = dir / L"packed.exe";
    WriteBytes(packed, kPacked);
    const auto plain = Program(L"plain.exe", 800);
    auto form = Form();
    form.testFlag = true;
    batch.Start({packed, plain}, form, 2);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(finished[0].result, BatchResult::Done);
    EXPECT_EQ(finished[1].result, BatchResult::Warning) << "not packed";
    EXPECT_EQ(CellText(finished[0], BatchColumn::Ratio), L"-") << "a test shrinks nothing: no ratio";
    EXPECT_EQ(ReadBytes(packed), kPacked);
    EXPECT_EQ(Listing(dir.Path()).size(), 2u) << "no backup for a test";
}

// Files given by their 8.3 aliases, in a folder given by its own: UPX would leave a file
// it rewrites under the name it was given, so each keeps its long name, in the long folder.
TEST_F(Batch, FilesNamedByTheirShortAliasesKeepTheirLongNames) {
    const std::wstring folder = dir / L"A folder with a long name";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::vector<std::wstring> longNames, given;
    for (const auto* name : {L"first program with a long name.exe", L"second program with a long name.exe"}) {
        longNames.push_back(folder + L"\\" + name);
        std::string bytes = "MZ";
        for (std::size_t i = 2; i < 2500; ++i) bytes.push_back(static_cast<char>(i * 5));
        WriteBytes(longNames.back(), bytes);
        wchar_t shortName[MAX_PATH];
        const DWORD n = GetShortPathNameW(longNames.back().c_str(), shortName, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        given.emplace_back(shortName, n);
        ASSERT_NE(given.back(), longNames.back()) << "the volume gives no 8.3 aliases";
        ASSERT_EQ(given.back().find(L"A folder"), std::wstring::npos) << "the folder's alias too";
    }
    // The file's own long name, however the path is spelled; never a file a wildcard finds.
    EXPECT_EQ(host.LongName(L"\\\\?\\" + given[0]), L"first program with a long name.exe");
    EXPECT_EQ(host.LongName(folder + L"\\*.exe"), L"");
    EXPECT_EQ(host.LongName(folder + L"\\gone.exe"), L"");
    const auto listed = Listing(folder);
    auto form = Form();
    form.backup = false;
    batch.Start(given, form, 2);
    ASSERT_TRUE(WaitDone());
    for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(finished[i].result, BatchResult::Done) << finished[i].reason;
        EXPECT_TRUE(IsPacked(longNames[i])) << Narrow(longNames[i]);
    }
    EXPECT_EQ(Listing(folder), listed) << "a file was renamed, or something was left behind";
}

// A console of its own would cost one more process per UPX run (Wine starts a
// console host for it); UPX's streams are the pipes, so it gets none, for either step.
TEST_F(Batch, UpxRunsWithoutAConsoleOfItsOwn) {
    const auto a = Program(L"a.exe", 900);
    EnvSwitch say(L"STANDIN_SAY_CONSOLE", L"1");
    batch.Start({a}, Form(), 1);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(finished[0].result, BatchResult::Done) << Narrow(finished[0].reason);
    ASSERT_EQ(shown.size(), 1u);
    const auto count = [&](const std::wstring& text) { return std::count(shown[0].begin(), shown[0].end(), text); };
    EXPECT_EQ(count(L"console: none"), 2) << "the compress and the test";
    EXPECT_EQ(count(L"console: yes"), 0);
}


// ---------------------------------------------------------------------------
}  // namespace
}  // namespace zandrel::test
