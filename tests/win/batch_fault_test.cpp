// Batches under real faults: a second run, a UPX that dies, a disk that fills
// up, a file in use or taken away between the compress and its test.
#include "packed_format.h"
#include "batch_run_fixture.h"

#include <algorithm>

#include "jobs/batch_run.h"
#include "framework/files.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"

namespace zandrel::test {
namespace {

bool Plain(const std::wstring& name) { return name.rfind(L"~zandrel", 0) == 0; }

class BatchFaults : public BatchRunFixture {
protected:
    TempDir signals{L"zbs"};

    static JobForm Form(bool backup) { return FormFor(StandinPath(), backup); }
    bool Run(const std::vector<std::wstring>& files, const JobForm& form, std::function<bool()> step = {}) {
        return BatchRunFixture::Run(files, form, 1, std::move(step));
    }
    using BatchRunFixture::Run;
    std::wstring File(const std::wstring& name, const std::string& bytes) const {
        WriteBytes(dir / name, bytes);
        return dir / name;
    }
};

// Seen with the real UPX: a second compress batch over a folder (Backup on)
// copied every packed file over its backup before UPX refused it.
TEST_F(BatchFaults, ASecondRunAndADecompressKeepTheOriginalsBackups) {
    const auto a = File(L"a.exe", ProgramBytes(3000, 'a')), b = File(L"b.dll", ProgramBytes(2000, 'b'));
    ASSERT_TRUE(Run({a, b}, Form(true)));
    const std::string packedA = ReadBytes(a);
    ASSERT_TRUE(standin::IsPacked(packedA));

    ASSERT_TRUE(Run({a, b}, Form(true)));
    for (const auto& file : finished) EXPECT_EQ(file.result, BatchResult::AlreadyPacked) << Narrow(file.path);
    EXPECT_EQ(ReadBytes(a), packedA) << "not touched";
    EXPECT_EQ(ReadBytes(BackupName(a)), ProgramBytes(3000, 'a'));
    EXPECT_EQ(ReadBytes(BackupName(b)), ProgramBytes(2000, 'b'));
    EXPECT_EQ(Listing(dir.Path()).size(), 4u) << "no new backup of a packed file";

    auto decompress = Form(true);
    decompress.decompress = true;
    ASSERT_TRUE(Run({a, b}, decompress));
    EXPECT_EQ(ReadBytes(a), ProgramBytes(3000, 'a'));
    EXPECT_EQ(ReadBytes(BackupName(a)), ProgramBytes(3000, 'a')) << "the original's backup stays";
    EXPECT_EQ(ReadBytes(BackupName(a, 2)), packedA) << "the packed file's backup goes beside it";
}

TEST_F(BatchFaults, AUpxThatDiesHalfWayLeavesEachFileAsItWas) {
    const auto a = File(L"a.exe", ProgramBytes(150 * 1024, 'a')), b = File(L"b.exe", ProgramBytes(90 * 1024, 'b'));
    EnvSwitch die(L"STANDIN_DIE_AT", L"removed");
    ASSERT_TRUE(Run({a, b}, Form(false)));
    for (const auto& file : finished) {
        EXPECT_EQ(file.result, BatchResult::Error);
        EXPECT_NE(file.reason.find(L"exit code 0xC0000005"), std::wstring::npos) << Narrow(file.reason);
    }
    EXPECT_EQ(ReadBytes(a), ProgramBytes(150 * 1024, 'a')) << "put back from the private copy";
    EXPECT_EQ(ReadBytes(b), ProgramBytes(90 * 1024, 'b'));
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"a.exe", L"b.exe"})) << "no work file, no copy";
}

TEST_F(BatchFaults, AnEndUpxDoesNotGiveIsAFailureEvenWhenTheFileWasWritten) {
    const auto a = File(L"a.exe", ProgramBytes(4000));
    EnvSwitch code(L"STANDIN_EXIT", L"3221225786");  // 0xC000013A: its console was closed
    ASSERT_TRUE(Run({a}, Form(true)));
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_NE(finished[0].reason.find(L"exit code 0xC000013A"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_EQ(ReadBytes(a), ProgramBytes(4000)) << "an unchecked result is not kept";
}

// UPX names the work files of app.exe and app.dll alike (app.upx, app.000): the
// end of one that dies must not take the other's work file away.
TEST_F(BatchFaults, FilesOfOneStemAreNeverAtWorkTogether) {
    const auto exe = File(L"app.exe", ProgramBytes(200 * 1024, 'e')), dll = File(L"app.dll", ProgramBytes(3000, 'd'));
    // The library's UPX takes the first work file name (app.upx) and stops there; the
    // program's stops before it writes, then dies after removing its file.
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@app.exe,written@app.dll"),
        signalFolder(L"STANDIN_SIGNAL", signals.Path() + L"\\");
    EnvSwitch die(L"STANDIN_DIE_AT", L"removed"), dieFile(L"STANDIN_DIE_FILE", L"app.exe");
    const auto exeSignal = signals / L"app.exe.signal", dllSignal = signals / L"app.dll.signal";
    ULONGLONG exeStopped = 0;
    ASSERT_TRUE(Run({exe, dll}, Form(false), 2, [&] {
        // The program's UPX goes on once the library's has stopped too, or after half a second.
        if (Exists(exeSignal) && !exeStopped) exeStopped = GetTickCount64();
        if (exeStopped && (Exists(dllSignal) || GetTickCount64() - exeStopped > 500)) DeleteFileW(exeSignal.c_str());
        // The library's goes on once the program's has ended.
        if (Finished(batch->Outcomes()[0].result) && Exists(dllSignal)) DeleteFileW(dllSignal.c_str());
        return false;
    }));
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_EQ(ReadBytes(exe), ProgramBytes(200 * 1024, 'e'));
    EXPECT_EQ(finished[1].result, BatchResult::Done) << Narrow(finished[1].reason);
    EXPECT_EQ(standin::Unpack(ReadBytes(dll)), ProgramBytes(3000, 'd'));
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app.dll"}));
}

// Another Zandrel (here a second batch, which knows nothing of the first) never puts UPX
// on a file of a stem that one is at work on; once that file is done, it may.
TEST_F(BatchFaults, ABatchOfAnotherZandrelLeavesTheFilesOfOneAtWork) {
    const auto exe = File(L"app.exe", ProgramBytes(3000, 'e')), dll = File(L"app.dll", ProgramBytes(3000, 'd'));
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@app.exe"), signalFolder(L"STANDIN_SIGNAL", signals.Path() + L"\\");
    const auto exeSignal = signals / L"app.exe.signal";
    batch->Start({exe}, Form(false), 1);
    ASSERT_TRUE(PumpUntil([&] { return Exists(exeSignal); })) << "the first Zandrel's UPX is at work";
    RecordingDialogs otherDialogs;
    WinJobHost otherHost{otherDialogs, nullptr};
    TBatchRun other(otherHost, L"");
    std::vector<BatchFileOutcome> otherEnd;
    other.OnFinished = [&](const std::vector<BatchFileOutcome>& files) { otherEnd = files; };
    other.Start({dll, L"\\\\?\\" + exe}, Form(false), 2);
    ASSERT_TRUE(PumpUntil([&] { return !otherEnd.empty(); }));
    for (const auto& file : otherEnd) {
        EXPECT_EQ(file.result, BatchResult::Error) << Narrow(file.path);
        EXPECT_EQ(file.reason.rfind(L"another job is working on this file", 0), 0u) << Narrow(file.reason);
    }
    EXPECT_EQ(ReadBytes(dll), ProgramBytes(3000, 'd')) << "not touched, no backup or copy beside it";
    ASSERT_TRUE(PumpUntil([&] {
        DeleteFileW(exeSignal.c_str());  // its test passes the point too
        return done;
    }));
    EXPECT_EQ(finished[0].result, BatchResult::Done);
    otherEnd.clear();
    other.Start({dll}, Form(false), 1);
    ASSERT_TRUE(PumpUntil([&] { return !otherEnd.empty(); }));
    EXPECT_EQ(otherEnd[0].result, BatchResult::Done) << "the claim went with the file's end: " << Narrow(otherEnd[0].reason);
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app.dll"}));
}

TEST_F(BatchFaults, APrivateCopyThatDoesNotFitRefusesTheFile) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zbd", small);
    const auto app = full / L"app.exe";
    WriteBytes(app, ProgramBytes(1500 * 1024));
    DiskFiller filler(small, 800 * 1024);
    ASSERT_TRUE(Run({app}, Form(false)));
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_NE(finished[0].reason.find(L"safety copy"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_EQ(ReadBytes(app), ProgramBytes(1500 * 1024));
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"app.exe"});
}

// Between the compress and its test the packed file is in use (another program
// holds it): it cannot be put back, so the private copy, the only original left,
// is kept under a backup name the summary gives. On a full disk it goes back by a
// rename, which needs no room.
TEST_F(BatchFaults, AnOriginalThatCannotBePutBackIsKeptAndNamed) {
    for (const bool inUse : {true, false}) {
        SCOPED_TRACE(inUse ? "the file in use" : "the disk full");
        std::wstring volume;
        if (!inUse) {
            volume = FaultVolume('R');
            if (volume.empty()) GTEST_SKIP() << "no small volume at R: (scripts/fault-volumes mounts it as root)";
        }
        TempDir place(L"zbp", volume);
        const auto app = place / L"app.exe";
        const std::string original = ProgramBytes(700 * 1024);
        WriteBytes(app, original);
        EnvSwitch damaged(L"STANDIN_FAIL_TEST", L"1");
        EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened");
        const auto signal = signals / L"signal";
        EnvSwitch signalFile(L"STANDIN_SIGNAL", signal);
        int pauses = 0;
        UniqueHandle held;
        std::unique_ptr<DiskFiller> filler;
        ASSERT_TRUE(Run({app}, Form(false), [&] {
            if (!Exists(signal)) return false;
            // The first stop is the compress, the second its test.
            if (++pauses == 2) {
                if (inUse)
                    held.reset(CreateFileW(app.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
                else
                    filler = std::make_unique<DiskFiller>(volume, 16 * 1024);
            }
            DeleteFileW(signal.c_str());
            return pauses == 2;
        }));
        held.reset();
        filler.reset();
        ASSERT_EQ(pauses, 2);
        EXPECT_EQ(finished[0].result, BatchResult::Error);
        const auto left = Listing(place.Path());
        EXPECT_TRUE(std::none_of(left.begin(), left.end(), Plain)) << "no copy left under a plain name";
        if (!inUse) {
            EXPECT_EQ(ReadBytes(app), original) << Narrow(finished[0].reason);
            EXPECT_EQ(left, std::set<std::wstring>{L"app.exe"});
            continue;
        }
        const std::wstring kept = place / L"app_zandrel_bak.exe";
        EXPECT_NE(finished[0].reason.find(L"the original is kept as " + kept), std::wstring::npos)
            << Narrow(finished[0].reason);
        EXPECT_EQ(ReadBytes(kept), original);
    }
}

// A scanner takes the packed file away before UPX can test it.
TEST_F(BatchFaults, AFileGoneBeforeItsTestIsPutBackFromThePrivateCopy) {
    const auto app = File(L"app.exe", ProgramBytes(5000));
    const auto signal = signals / L"signal";
    EnvSwitch pause(L"STANDIN_PAUSE_AT", L"done");
    EnvSwitch signalFile(L"STANDIN_SIGNAL", signal);
    ASSERT_TRUE(Run({app}, Form(false), [&] {
        if (!Exists(signal)) return false;
        MoveFileW(app.c_str(), (signals / L"quarantined.exe").c_str());
        DeleteFileW(signal.c_str());
        return true;
    }));
    EXPECT_EQ(finished[0].result, BatchResult::Error);
    EXPECT_NE(finished[0].reason.find(L"without the file in its place"), std::wstring::npos) << Narrow(finished[0].reason);
    EXPECT_EQ(ReadBytes(app), ProgramBytes(5000));
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"app.exe"}) << "the private copy went once it was put back";
}

TEST_F(BatchFaults, AFileAnotherJobWorksOnIsLeftAlone) {
    const auto a = File(L"a.exe", ProgramBytes(3000)), b = File(L"b.exe", ProgramBytes(2000));
    batch->BusyElsewhere = [&](const std::wstring& path) { return SameFileOnDisk(path, b).value_or(true); };
    ASSERT_TRUE(Run({a, b}, Form(true)));
    EXPECT_EQ(finished[0].result, BatchResult::Done);
    EXPECT_EQ(finished[1].result, BatchResult::Error);
    EXPECT_EQ(ReadBytes(b), ProgramBytes(2000));
    EXPECT_FALSE(Exists(BackupName(b))) << "not even a backup";
}

}  // namespace
}  // namespace zandrel::test
