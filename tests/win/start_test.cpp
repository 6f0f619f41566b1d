// Start, Test and List on real files, with the runners recorded or real.
#include <gtest/gtest.h>

#include "app/descrambler.h"
#include "app/globals.h"
#include "framework/files.h"
#include "jobs/job_command.h"
#include "jobs/run_and_wait.h"
#include "jobs/upx_program.h"
#include "test_support.h"
#include "batch_question.h"

#include "jobs/batch_run.h"
#include "jobs/work_claim.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

std::wstring ShortOf(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

class Start : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow();
        WriteBytes(dir / L"app.exe", original);
        UseStandin(*form);
        form->edSource.SetText(dir / L"app.exe");
    }
    // What reached the runner, after the program path.
    std::wstring Arguments() const {
        if (runner.calls.empty()) return L"<no run>";
        const auto& line = runner.calls.back().commandLine;
        return line.substr(line.find(L' ') + 1);
    }
    TempDir dir;
    std::string original = std::string("MZ\x90\0\x03 a program", 17);
};

TEST_F(Start, CompressInPlaceMakesTheBackupAndRunsInTheVisibleConsole) {
    form->btnStart.Click();
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].commandLine, ShortOf(StandinPath()) + L" -6 \"" + (dir / L"app.exe") + L"\"");
    EXPECT_EQ(runner.calls[0].show, 5) << "UPX's console shows (show command 5)";
    EXPECT_EQ(runner.calls[0].linger, 5000u);
    EXPECT_TRUE(runner.calls[0].mainEnabled);
    EXPECT_TRUE(runner.calls[0].backMaximised) << "the background window stands behind UPX's console";
    EXPECT_FALSE(runner.calls[0].captured) << "UPX's own console shows what it writes";
    // It covers the work area of the main window's monitor, not a default-sized part of it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(form->Handle(), MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT back = runner.calls[0].backRect;
    EXPECT_LE(back.left, monitor.rcWork.left);
    EXPECT_LE(back.top, monitor.rcWork.top);
    EXPECT_GE(back.right, monitor.rcWork.right);
    EXPECT_GE(back.bottom, monitor.rcWork.bottom);
    EXPECT_FALSE(runner.calls[0].waitShown);
    EXPECT_FALSE(FindWindowW(L"ZandrelDosBoxBack", nullptr)) << "and is gone afterwards";
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak.exe"), original);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(Start, HiddenRunDisablesTheWindowAndReportsExitCodes) {
    form->chkDosBox.Click();
    form->chkBackup.Click();
    messageOutput->ShowNonModal();
    const std::pair<DWORD, std::vector<std::wstring>> cases[] = {
        {0, {}},
        {1, {Message(texts::MsgJobError)}},
        {2, {Message(texts::MsgJobWarning)}},
        {3, {L"UPX did not end normally (exit code 3). The file is unchanged."}},
        {0xC0000005, {L"UPX did not end normally (exit code 0xC0000005). The file is unchanged."}}};
    for (const auto& [code, expected] : cases) {
        dialogs.boxes.clear();
        runner.answer = {0, code, {}};
        form->btnStart.Click();
        EXPECT_EQ(runner.calls.back().show, SW_HIDE);
        EXPECT_EQ(runner.calls.back().linger, 0u);
        EXPECT_FALSE(runner.calls.back().mainEnabled) << "disabled during the run";
        EXPECT_TRUE(runner.calls.back().waitShown) << "the wait window shows during the run";
        EXPECT_TRUE(runner.calls.back().captured) << "nobody sees UPX's console: its reasons are caught";
        EXPECT_FALSE(runner.calls.back().backMaximised);
        EXPECT_FALSE(FindWindowW(L"ZandrelHourglass", nullptr)) << "and is gone afterwards";
        EXPECT_TRUE(IsWindowEnabled(form->Handle())) << "enabled again after it";
        EXPECT_FALSE(messageOutput->Showing()) << "the message window is hidden first";
        EXPECT_EQ(dialogs.Texts(), expected) << "exit code " << code;
    }
    EXPECT_FALSE(Exists(dir / L"app_zandrel_bak.exe"));
    // Disabling the window takes the keyboard away (on Windows; Wine keeps a
    // child's focus, so the run takes it here); it comes back to where it was.
    SetForegroundWindow(form->Handle());
    runner.during = [] { SetFocus(nullptr); };
    form->btnStart.Click();
    EXPECT_EQ(GetFocus(), form->btnStart.Handle());
}

// UPX's own console closes the moment UPX ends: its failures are reported
// after a visible run too, or a failed job would look like success.
TEST_F(Start, VisibleRunReportsFailuresAndWarningsToo) {
    const std::pair<RunOutcome, std::vector<std::wstring>> cases[] = {
        {{0, 0, {}}, {}},
        {{0, 1, {}}, {Message(texts::MsgJobError)}},
        {{0, 2, {}}, {Message(texts::MsgJobWarning)}},
        {{ERROR_BAD_EXE_FORMAT, 0, {}}, {Message(texts::MsgStartFailed)}}};
    for (const auto& [answer, expected] : cases) {
        dialogs.boxes.clear();
        runner.answer = answer;
        form->btnStart.Click();
        EXPECT_EQ(runner.calls.back().show, 5);
        EXPECT_EQ(runner.calls.back().linger, 5000u) << "the linger time stays";
        EXPECT_EQ(dialogs.Texts(), expected) << answer.startResult << " " << answer.exitCode;
    }
}

TEST_F(Start, TestAndListGoToTheConsoleRunnerAndResetTheirFlags) {
    form->edTarget.SetText(L"");
    form->chkQQQ.Click();
    form->btnTest.Click();
    ASSERT_EQ(console.executed.size(), 1u);
    EXPECT_EQ(console.executed[0], ShortOf(StandinPath()) + L" -t -qqq \"" + (dir / L"app.exe") + L"\"");
    EXPECT_TRUE(messageOutput->Showing());
    EXPECT_FALSE(TestFlag);
    form->btnList.Click();
    ASSERT_EQ(console.executed.size(), 2u);
    EXPECT_EQ(console.executed[1], ShortOf(StandinPath()) + L" -l -qqq \"" + (dir / L"app.exe") + L"\"");
    EXPECT_FALSE(ListFlag);
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_FALSE(Exists(dir / L"app_zandrel_bak.exe")) << "test and list make no backup";

    // A failing check also leaves the flag down.
    form->edUPX.SetText(L"");
    form->btnTest.Click();
    EXPECT_FALSE(TestFlag);
    EXPECT_EQ(console.executed.size(), 2u);
}

TEST_F(Start, BadInputLeavesTheDiskUntouched) {
    struct Case {
        const char* what;
        std::wstring upx, source, target;
        int level;
        std::wstring message;
    };
    WriteBytes(dir / L"keep.exe", "old target");
    const Case cases[] = {
        {"empty upx", L"", dir / L"app.exe", dir / L"app.exe", 4, Message(texts::MsgNoUpx)},
        {"upx is a folder", dir.Path(), dir / L"app.exe", dir / L"app.exe", 4, Message(texts::MsgNoUpx)},
        {"missing source", StandinPath(), dir / L"none.exe", dir / L"x.exe", 4, Message(texts::MsgNoSource)},
        {"source is a folder", StandinPath(), dir.Path(), dir / L"x.exe", 4, Message(texts::MsgNoSource)},
        {"empty target", StandinPath(), dir / L"app.exe", L"", 4, Message(texts::MsgNoTarget)},
        {"missing target folder", StandinPath(), dir / L"app.exe", dir / L"no\\x.exe", 4,
         Message(texts::MsgNoTargetDir)},
        {"bare target name", StandinPath(), dir / L"app.exe", L"x.exe", 4, Message(texts::MsgNoTargetDir)},
        {"target ends in separator", StandinPath(), dir / L"app.exe", dir.Path() + L"\\", 4,
         Message(texts::MsgNoTargetName)},
        {"no level", StandinPath(), dir / L"app.exe", dir / L"keep.exe", -1, Message(texts::MsgNoLevel)},
    };
    for (const auto& c : cases) {
        dialogs.boxes.clear();
        form->edUPX.SetText(c.upx);
        form->edSource.SetText(c.source);
        form->edTarget.SetText(c.target);
        form->cbCompressRatio.SetItemIndex(c.level);
        form->btnStart.Click();
        EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{c.message}) << c.what;
        EXPECT_EQ(dialogs.boxes.at(0).kind, BoxKind::Error) << c.what;
        EXPECT_TRUE(runner.calls.empty()) << c.what;
        EXPECT_FALSE(Exists(dir / L"app_zandrel_bak.exe")) << c.what;
        EXPECT_EQ(ReadBytes(dir / L"keep.exe"), "old target") << c.what;
    }
}

// A backup that cannot be made (the disk is full) leaves nothing behind and asks.
TEST_F(Start, FailedBackupAsksWhetherToGoOn) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zf", small);
    const auto source = full / L"app.exe";
    WriteBytes(source, std::string(600 * 1024, 'p'));
    DiskFiller filler(small, 200 * 1024);
    form->edSource.SetText(source);
    dialogs.answers = {BoxAnswer::No};
    form->btnStart.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, Message(texts::AskNoBackup));
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.boxes[0].buttons, BoxButtons::YesNo);
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"app.exe"}) << "no half-written backup, no copy";

    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    EXPECT_EQ(runner.calls.size(), 1u);
}

// A visible run leaves the window usable: neither a second Start nor a batch
// may take the file meanwhile (pressed twice, the backup of the original went),
// whatever spelling they use, nor a file UPX names its work files alike for.
TEST_F(Start, AFileAtWorkIsNotTakenByASecondStartOrABatch) {
    WriteBytes(dir / L"app.dll", original);
    WriteBytes(dir / L"app.ocx", original);  // given with its folder spelled otherwise
    std::wstring upper = dir / L"APP.EXE", shortName(MAX_PATH, L'\0');
    shortName.resize(GetShortPathNameW((dir / L"app.exe").c_str(), shortName.data(), MAX_PATH));
    std::vector<std::wstring> seenDuring;
    BatchQuestionAnswers answers(*form);
    answers.Next();
    runner.during = [&] {
        form->edSource.SetText(upper);
        form->btnStart.Click();
        seenDuring = dialogs.Texts();
        form->edSource.SetText(dir / L"app.exe");
        form->StartBatch({shortName, dir / L"app.dll", L"\\\\?\\" + dir / L"app.ocx"}, TfrmMain::BatchKind::FormJob);
    };
    form->btnStart.Click();
    runner.during = nullptr;
    EXPECT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(seenDuring, std::vector<std::wstring>{L"A job is still working on this file (or on one of the same name in "
                                                    L"its folder). Wait until UPX has ended, then start again."});
    ASSERT_NE(form->Batch(), nullptr);
    for (int i = 0; i < 200 && form->BatchRunning(); ++i) PumpMessages(), Sleep(10);
    ASSERT_EQ(form->Batch()->Outcomes().size(), 3u);
    for (const auto& outcome : form->Batch()->Outcomes()) {
        EXPECT_EQ(outcome.result, BatchResult::Error) << Narrow(outcome.path);
        EXPECT_EQ(outcome.reason.rfind(L"another job is working on this file", 0), 0u) << Narrow(outcome.reason);
    }
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), original);
    EXPECT_EQ(ReadBytes(dir / L"app.dll"), original);
    EXPECT_EQ(ReadBytes(dir / L"app.ocx"), original);
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak.exe"), original);
    // Once the run is over the file is free again.
    dialogs.boxes.clear();
    form->btnStart.Click();
    EXPECT_EQ(runner.calls.size(), 2u);
}

// Another Zandrel at work on a file of this stem (its claim is seen, however it spelled the
// folder): Start leaves the file alone, and takes it once that job is over.
TEST_F(Start, AFileAnotherZandrelWorksOnIsNotTaken) {
    auto claim = WorkClaim::Take(UpxWorkFilesKey(L"\\\\?\\" + dir / L"APP.dll"));
    ASSERT_NE(claim, nullptr);
    form->btnStart.Click();
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{L"A job is still working on this file (or on one of the same name "
                                                         L"in its folder). Wait until UPX has ended, then start again."});
    EXPECT_FALSE(Exists(dir / L"app_zandrel_bak.exe")) << "no backup either";
    claim.reset();
    dialogs.boxes.clear();
    form->btnStart.Click();
    EXPECT_EQ(runner.calls.size(), 1u);
    EXPECT_NE(WorkClaim::Take(UpxWorkFilesKey(dir / L"app.exe")), nullptr) << "Start's own claim went with its run";
}

// UPX says "error", but it had removed the file before its rename failed: the status
// line agrees with the box that the file was changed, not "not processed".
TEST_F(Start, TheStatusLineAgreesWithTheBoxWhenUpxRemovedTheFile) {
    form->chkBackup.Click();  // off: UPX's finished work file is all there is
    form->chkDosBox.Click();  // hidden
    runner.during = [&] {
        WriteBytes(dir / L"app.upx", "packed by UPX");
        DeleteFileW((dir / L"app.exe").c_str());
    };
    runner.answer = {0, 1, {}};
    form->btnStart.Click();
    runner.during = nullptr;
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), "packed by UPX");
    EXPECT_EQ(form->lblStatus.Text(), L"app.exe: UPX ended (exit code 1) without the file in its place; see the message "
                                      L"for what was done.");
}

TEST_F(Start, ExistingTargetIsReplacedOnlyOnYes) {
    const auto target = dir / L"packed.exe";
    WriteBytes(target, "old");
    form->edTarget.SetText(target);
    form->chkBackup.Click();

    dialogs.answers = {BoxAnswer::Cancel};
    form->btnStart.Click();
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_TRUE(runner.calls.empty());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Confirm);
    EXPECT_EQ(dialogs.boxes[0].buttons, BoxButtons::YesCancel);

    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    EXPECT_FALSE(Exists(target)) << "a read-only target is made deletable and removed";
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(Arguments(), L"-6 \"" + (dir / L"app.exe") + L"\" -o \"" + target + L"\"");
}

TEST_F(Start, LockedTargetIsNamedAndNothingRuns) {
    const auto target = dir / L"locked.exe";
    WriteBytes(target, "in use");
    form->edTarget.SetText(target);
    UniqueHandle lock(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, L"Failing to delete " + target + L". Please manually delete the file first.");
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(Exists(dir / L"app_zandrel_bak.exe")) << "the backup was made before the question";
}

// A read-only, hidden target that another program holds: the removal is tried without the
// attributes too, and when it fails all the same the file keeps them.
TEST_F(Start, ALockedReadOnlyTargetKeepsItsAttributes) {
    const auto target = dir / L"locked.exe";
    WriteBytes(target, "in use");
    constexpr DWORD guarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), guarded));
    form->edTarget.SetText(target);
    UniqueHandle lock(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    lock.reset();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, L"Failing to delete " + target + L". Please manually delete the file first.");
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & guarded, guarded);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(target), "in use");
}

// UPX as the target: the old file would go before UPX could even start, and the job fails.
TEST_F(Start, TheUpxProgramIsNeverTakenForTheTarget) {
    const auto upx = dir / L"upx.exe";
    ASSERT_TRUE(CopyFileW(StandinPath().c_str(), upx.c_str(), FALSE));
    const std::string program = ReadBytes(upx);
    form->edUPX.SetText(upx);
    ASSERT_EQ(form->UpxCheck.Answer(upx), UpxVerdict::Upx);
    std::wstring upper = upx;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    for (const std::wstring& target : {upx, upper, ShortOf(upx)}) {
        form->edTarget.SetText(target);
        dialogs.boxes.clear();
        dialogs.answers = {BoxAnswer::Yes};
        form->btnStart.Click();
        EXPECT_TRUE(ReadBytes(upx) == program) << "UPX itself was removed or changed: " << Narrow(target);
        EXPECT_TRUE(runner.calls.empty()) << Narrow(target);
        EXPECT_FALSE(Exists(dir / L"app_zandrel_bak.exe")) << "refused before anything is touched";
        ASSERT_EQ(dialogs.boxes.size(), 1u) << Narrow(target);
        EXPECT_EQ(dialogs.boxes[0].text,
                  L"The target " + target + L" is the UPX program itself. Nothing was changed; please choose another target.");
    }
}

TEST_F(Start, TheSourceSurvivesEveryOtherSpellingOfItsName) {
    const auto source = dir / L"app.exe";
    wchar_t shortName[MAX_PATH];
    GetShortPathNameW(source.c_str(), shortName, MAX_PATH);
    std::wstring upper = source;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    std::wstring slashes = source;
    for (auto& c : slashes)
        if (c == L'\\') c = L'/';
    const auto folderName = dir.Path().substr(dir.Path().find_last_of(L'\\') + 1);
    SetCurrentDirectoryW(dir.Path().c_str());
    const std::wstring forms[] = {upper,
                                  shortName,
                                  slashes,
                                  L"\\\\?\\" + source,
                                  dir.Path() + L"\\.\\..\\" + folderName + L"\\app.exe",
                                  L".\\app.exe",
                                  L"..\\" + folderName + L"\\app.exe"};
    form->chkBackup.Click();
    dialogs.answers.assign(20, BoxAnswer::Yes);  // would say Yes to any replacement
    for (const auto& other : forms) {
        runner.calls.clear();
        form->edTarget.SetText(other);
        form->btnStart.Click();
        EXPECT_EQ(ReadBytes(source), original) << Narrow(other);
        EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(other);
        ASSERT_EQ(runner.calls.size(), 1u) << Narrow(other);
        EXPECT_EQ(Arguments(), L"-6 \"" + source + L"\"") << Narrow(other);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
}

// The real runner and the stand-in: what UPX writes is what comes back.
class RealRun : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow(&real);
        UseStandin(*form);
        form->chkDosBox.Click();  // hidden: no linger
        form->chkBackup.Click();
    }
    void RoundTrip(const std::wstring& source) {
        WriteBytes(source, content);
        form->edSource.SetText(source);
        form->btnStart.Click();
        const auto packed = ReadBytes(source);
        EXPECT_NE(packed, content) << "compress changed the file";
        EXPECT_TRUE(dialogs.boxes.empty());
        form->rbDecompress.Click();
        form->btnStart.Click();
        EXPECT_EQ(ReadBytes(source), content) << "decompress gave back the original bytes";
        EXPECT_TRUE(dialogs.boxes.empty());
        form->rbCompress.Click();
    }
    ProcessRunAndWait real;
    TempDir dir;
    std::string content = std::string("MZ\0\1\2 real bytes \xff\xfe end", 24);
};

TEST_F(RealRun, CompressThenDecompressGivesBackTheOriginal) {
    RoundTrip(dir / L"app.exe");
    // Compressed twice, then decompressed, with Backup on: the second compress touches
    // nothing, and the backup of the original survives both.
    form->chkBackup.Click();
    form->btnStart.Click();
    const auto packed = ReadBytes(dir / L"app.exe");
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{dir / L"app.exe" + L" is already packed by UPX. Nothing was changed."});
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), packed);
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak.exe"), content);
    dialogs.boxes.clear();
    form->rbDecompress.Click();
    form->btnStart.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), content);
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak.exe"), content) << "the backup of the original is kept";
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak2.exe"), packed) << "the packed file's backup beside it";
}

TEST_F(RealRun, ToAnotherTargetLeavesTheSourceAlone) {
    WriteBytes(dir / L"app.exe", content);
    form->edSource.SetText(dir / L"app.exe");
    form->edTarget.SetText(dir / L"out.exe");
    form->btnStart.Click();
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), content);
    EXPECT_NE(ReadBytes(dir / L"out.exe"), content);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(RealRun, NonAsciiAndLongPaths) {
    TempDir unicode(L"z\u00fcndel-\u65e5\u672c");
    RoundTrip(unicode / L"pr\u00f6gr\u00e4mm \u0436.exe");

    std::wstring deep = dir.Path();
    while (deep.size() < 300) {
        deep += L"\\a-rather-long-folder-name-for-testing";
        ASSERT_TRUE(CreateDirectoryW(ApiPath(deep).c_str(), nullptr)) << deep.size();
    }
    const auto source = deep + L"\\app.exe";
    UniqueHandle f(CreateFileW(ApiPath(source).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(f.get(), INVALID_HANDLE_VALUE);
    f.reset();
    form->edSource.SetText(source);
    form->chkBackup.Click();  // on: the backup copy must work on a long path too
    form->btnStart.Click();
    EXPECT_TRUE(IsExistingFile(deep + L"\\app_zandrel_bak.exe"));
    EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(dialogs.Texts().empty() ? L"" : dialogs.Texts()[0]);
}

// A file that is no program, or a program with windows, is not taken as UPX:
// nothing is started with a job's arguments, in either way of running.
TEST_F(RealRun, AProgramThatIsNotUpxIsNeverStartedWithAJob) {
    WriteBytes(dir / L"notaprogram.exe", "this is text, not a program");
    WriteBytes(dir / L"app.exe", content);
    form->edSource.SetText(dir / L"app.exe");
    const std::wstring notepad = L"C:\\windows\\notepad.exe";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {dir / L"notaprogram.exe", L"it is not a program."},
        {notepad, L"it is a program with windows, and UPX is a console program."}};
    for (const bool visible : {false, true}) {
        if (visible) form->chkDosBox.Click();
        for (const auto& [program, why] : cases) {
            dialogs.boxes.clear();
            form->edUPX.SetText(program);
            form->btnStart.Click();
            EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{program + L" is not UPX: " + why + L" Choose upx.exe instead."});
            EXPECT_TRUE(ChildProcesses(L"notepad.exe").empty()) << "Notepad was started";
            EXPECT_FALSE(FindWindowW(L"ZandrelDosBoxBack", nullptr));
            EXPECT_EQ(ReadBytes(dir / L"app.exe"), content);
        }
    }
}

}  // namespace
}  // namespace zandrel::test
