// How the program's ends treat UPX and the job's files, and what a child
// inherits from whatever started the program. Each case runs one of the
// DISABLED_ tests below in a child process of this test program, which the
// parent then watches from outside.
#include <gtest/gtest.h>

#include <cstring>

#include "packed_format.h"
#include "app/descrambler.h"
#include "console/DosCommand.h"
#include "framework/files.h"
#include "jobs/run_and_wait.h"
#include "test_support.h"
#include "batch_question.h"

namespace zandrel::test {
namespace {

constexpr const wchar_t* kDirVariable = L"ZANDREL_CHILD_DIR";
const std::string kPacked = standin::Pack("MZ packed bytes", 6);

std::wstring ChildDir() {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(kDirVariable, buffer, 1024);
    return n && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// A child of this test program running one test of the suite InAChild.
struct Child {
    PROCESS_INFORMATION pi{};
    ~Child() {
        if (!pi.hProcess) return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 9);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    DWORD Wait(DWORD ms) const {
        if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

void StartChild(Child& child, const std::string& test, const std::wstring& dir, STARTUPINFOW si = {},
                bool inherit = false) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=InAChild." +
                        std::wstring(test.begin(), test.end());
    si.cb = sizeof si;
    SetEnvironmentVariableW(kDirVariable, dir.c_str());
    const BOOL made = CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &si, &child.pi);
    SetEnvironmentVariableW(kDirVariable, nullptr);
    ASSERT_TRUE(made);
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

// A UPX the child runs now (not one that has ended, such as the check of the
// UPX program), once `alsoWaitFor` holds too; 0 when none came.
DWORD UpxOf(const Child& child, const std::function<bool()>& alsoWaitFor = [] { return true; }) {
    DWORD upx = 0;
    WaitFor(
        [&] {
            upx = 0;
            for (const DWORD id : ChildProcesses(L"upx.exe", child.pi.dwProcessId)) {
                UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
                if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) upx = id;
            }
            return upx != 0 && alsoWaitFor();
        },
        20000);
    return upx;
}

// ---- The parent's side ----

TEST(ProgramEnd, ClosingDuringACapturedRunEndsUpxAndRemovesItsWorkingCopy) {
    TempDir dir(L"ze");
    WriteBytes(dir / L"\u03a9mega.exe", kPacked);
    Child child;
    StartChild(child, "DISABLED_ClosesDuringACapturedRun", dir.Path());
    EXPECT_EQ(child.Wait(30000), 0u);
    EXPECT_TRUE(ChildProcesses(L"upx.exe", child.pi.dwProcessId).empty()) << "UPX outlived the program";
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"\u03a9mega.exe"}) << "a working copy was left behind";
}

TEST(ProgramEnd, ACapturedUpxEndsWhenTheProgramIsEndedFromOutside) {
    TempDir dir(L"ze");
    Child child;
    StartChild(child, "DISABLED_RunsACapturedUpx", dir.Path());
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, UpxOf(child)));
    ASSERT_TRUE(process);
    TerminateProcess(child.pi.hProcess, 9);
    EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << "UPX outlived the program";
}

TEST(ProgramEnd, AQuitDuringAHiddenRunOnAWorkingCopyEndsUpxAndRemovesTheCopy) {
    TempDir dir(L"ze");
    const std::string original = "MZ the user's program";
    WriteBytes(dir / L"\u03a9mega.exe", original);
    Child child;
    StartChild(child, "DISABLED_QuitsDuringAHiddenRun", dir.Path());
    EXPECT_EQ(child.Wait(30000), 77u) << "the program ends with the quit request's code";
    EXPECT_TRUE(ChildProcesses(L"upx.exe", child.pi.dwProcessId).empty()) << "UPX outlived the program";
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"\u03a9mega.exe"}) << "a working copy was left behind";
    EXPECT_EQ(ReadBytes(dir / L"\u03a9mega.exe"), original);
}

// Killed from outside during a hidden run on a working copy: UPX ends with the
// program, and the copy it could not remove goes at the program's next start.
class ProgramKilled : public MainWindowTest {};

TEST_F(ProgramKilled, TheWorkingCopyLeftBehindGoesAtTheNextStart) {
    TempDir dir(L"ze");
    const std::string original = "MZ the user's program";
    WriteBytes(dir / L"\u03a9mega.exe", original);
    Child child;
    // The stand-in notes its command line once it runs (a UPX is let go only once it is in
    // the job that ends it with the program).
    TempDir logs(L"zl");
    const auto log = logs / L"standin.log";
    EnvSwitch logged(L"STANDIN_LOG", log);
    StartChild(child, "DISABLED_RunsAHiddenJobOnACopy", dir.Path());
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, UpxOf(child, [&] {
        return Listing(dir.Path()).size() == 2 && ReadBytes(log).find(" -6 ") != std::string::npos;
    })));
    ASSERT_TRUE(process);
    TerminateProcess(child.pi.hProcess, 9);
    EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << "UPX outlived the program";
    ASSERT_EQ(Listing(dir.Path()).size(), 2u) << "nothing could remove the copy yet";
    EXPECT_EQ(ReadBytes(dir / L"\u03a9mega.exe"), original);
    // The next start of the program.
    MakeWindow();
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"\u03a9mega.exe"});
    EXPECT_EQ(ReadBytes(dir / L"\u03a9mega.exe"), original);
}

// Zandrel ended from outside while UPX writes a file of the user's: UPX is let
// finish (ending it half-way could lose the file), and what the job kept goes
// or becomes a backup at the next start.
class EndedAtAChosenPoint : public MainWindowTest {
protected:
    TempDir dir{L"ze"};
    TempDir signals{L"zs"};
    std::wstring signal = signals / L"signal";
    std::string original = std::string("MZ") + std::string(150 * 1024, 'u');

    // Starts the child at `test`, waits until its UPX stops at `point`, ends the
    // child from outside, checks that UPX lives on, lets it go on and waits for it.
    void EndTheProgramAt(const std::string& test, const wchar_t* point) {
        EnvSwitch pause(L"STANDIN_PAUSE_AT", point), file(L"STANDIN_SIGNAL", signal);
        Child child;
        StartChild(child, test, dir.Path());
        const DWORD upxId = UpxOf(child, [&] { return Exists(signal); });
        ASSERT_NE(upxId, 0u);
        UniqueHandle upx(OpenProcess(SYNCHRONIZE, FALSE, upxId));
        ASSERT_TRUE(upx);
        TerminateProcess(child.pi.hProcess, 9);
        ASSERT_NE(child.Wait(10000), STILL_ACTIVE);
        EXPECT_EQ(WaitForSingleObject(upx.get(), 300), static_cast<DWORD>(WAIT_TIMEOUT)) << "UPX was ended with the program";
        DeleteFileW(signal.c_str());
        EXPECT_EQ(WaitForSingleObject(upx.get(), 20000), WAIT_OBJECT_0);
    }
};

TEST_F(EndedAtAChosenPoint, DuringABatchUpxFinishesAndThePrivateCopyBecomesABackup) {
    WriteBytes(dir / L"app.exe", original);
    EndTheProgramAt("DISABLED_RunsABatchWithoutBackup", L"written");
    EXPECT_EQ(standin::Unpack(ReadBytes(dir / L"app.exe")), original) << "UPX finished the file";
    EXPECT_FALSE(Exists(dir / L"app.upx")) << "no half-written work file";
    MakeWindow();  // the next start
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"}));
    EXPECT_EQ(ReadBytes(dir / L"app_zandrel_bak.exe"), original) << "the only original left is kept";
}

TEST_F(EndedAtAChosenPoint, DuringAStartInPlaceUpxFinishesTheFile) {
    WriteBytes(dir / L"app.exe", original);
    EndTheProgramAt("DISABLED_RunsAHiddenJobInPlace", L"written");
    EXPECT_EQ(standin::Unpack(ReadBytes(dir / L"app.exe")), original);
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"app.exe"});
}

// The source reaches UPX through a working copy, the target is written by UPX itself.
TEST_F(EndedAtAChosenPoint, DuringAStartToANamedTargetUpxFinishesTheTarget) {
    WriteBytes(dir / L"\u03a9mega.exe", original);
    EndTheProgramAt("DISABLED_RunsAHiddenJobToATarget", L"half");
    EXPECT_EQ(standin::Unpack(ReadBytes(dir / L"out.exe")), original) << "the target is whole";
    EXPECT_EQ(ReadBytes(dir / L"\u03a9mega.exe"), original);
    MakeWindow();  // the next start removes the working copy
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"\u03a9mega.exe", L"out.exe"}));
}

// The window is closed while a Start waits for the UPX check's answer: no job runs after it.
TEST(ProgramEnd, AQuitWhileAStartWaitsForTheUpxCheckRunsNoJob) {
    TempDir dir(L"ze");
    WriteBytes(dir / L"app.exe", "MZ the user's program");
    Child child;
    StartChild(child, "DISABLED_QuitsWhileTheUpxCheckRuns", dir.Path());
    EXPECT_EQ(child.Wait(30000), 0u) << "1: a job ran after the quit";
    EXPECT_EQ(ReadBytes(dir / L"app.exe"), "MZ the user's program");
}

// A parent that hands its C runtime's handles over (as a program started by
// another C program is given them) must not take UPX's output away from the pipes.
TEST(ProgramEnd, UpxWritesIntoThePipesWhateverStartedTheProgram) {
    TempDir dir(L"ze");
    const auto elsewhere = dir / L"elsewhere.txt";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    UniqueHandle file(CreateFileW(elsewhere.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                  CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    // The C runtime's block: a count, a flag byte per descriptor, then the handles.
    constexpr int kCount = 3;
    unsigned char block[sizeof(int) + kCount + kCount * sizeof(HANDLE)] = {};
    const int count = kCount;
    std::memcpy(block, &count, sizeof count);
    const HANDLE handles[kCount] = {INVALID_HANDLE_VALUE, file.get(), file.get()};
    block[sizeof(int) + 1] = block[sizeof(int) + 2] = 0x01;  // open
    std::memcpy(block + sizeof(int) + kCount, handles, sizeof handles);
    STARTUPINFOW si{};
    si.cbReserved2 = sizeof block;
    si.lpReserved2 = block;
    Child child;
    StartChild(child, "DISABLED_CapturesTheStandin", dir.Path(), si, true);
    const DWORD code = child.Wait(30000);
    file.reset();
    const auto written = ReadBytes(elsewhere);
    EXPECT_NE(written.find("InAChild"), std::string::npos) << "the child's own output went there, as meant";
    EXPECT_EQ(written.find("upx 4.2.4"), std::string::npos) << "UPX's output went there instead of the pipe";
    EXPECT_EQ(code, 0u) << written;
}

// ---- The children ----

class InAChild : public MainWindowTest {
protected:
    std::wstring dir = ChildDir();
};

TEST_F(InAChild, DISABLED_ClosesDuringACapturedRun) {
    realConsole = true;
    shortNames = false;  // no short form: UPX reads a working copy
    MakeWindow();
    UseStandin(*form);
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"60000");
    form->edSource.SetText(dir + L"\\\u03a9mega.exe");
    form->btnTest.Click();
    ASSERT_TRUE(WaitFor([&] { return !ChildProcesses(L"upx.exe").empty() && Listing(dir).size() == 2; }, 10000));
    // As the program ends: Exit, then its windows and runner go, then the process.
    form->btnExit.Click();
    form->MessageOutput = nullptr;
    messageOutput.reset();
    form.reset();
    ExitProcess(0);
}

TEST_F(InAChild, DISABLED_RunsACapturedUpx) {
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"60000");
    TDosCommand runner;
    runner.CommandLine = L"\"" + StandinPath() + L"\" --version";
    runner.Execute();
    Sleep(60000);  // ended from outside long before
}

TEST_F(InAChild, DISABLED_QuitsDuringAHiddenRun) {
    ProcessRunAndWait real;
    shortNames = false;  // UPX works on a working copy
    MakeWindow(&real);
    UseStandin(*form);
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"60000");
    form->edSource.SetText(dir + L"\\\u03a9mega.exe");
    form->chkDosBox.Click();
    form->chkBackup.Click();
    // A quit request arrives while UPX runs, as when the window is closed meanwhile.
    SetTimer(nullptr, 0, 1500, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(77); });
    form->btnStart.Click();
    ADD_FAILURE() << "the run returned instead of ending the program";
}

TEST_F(InAChild, DISABLED_RunsAHiddenJobOnACopy) {
    ProcessRunAndWait real;
    shortNames = false;
    MakeWindow(&real);
    UseStandin(*form);
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"60000");
    form->edSource.SetText(dir + L"\\\u03a9mega.exe");
    form->chkDosBox.Click();
    form->chkBackup.Click();
    form->btnStart.Click();  // ended from outside long before UPX is done
}

TEST_F(InAChild, DISABLED_RunsABatchWithoutBackup) {
    MakeWindow();
    UseStandin(*form);
    form->chkBackup.Click();
    BatchQuestionAnswers answers(*form);
    answers.Next();
    form->StartBatch({dir + L"\\app.exe"}, TfrmMain::BatchKind::FormJob);
    for (;;) PumpMessages(), Sleep(20);  // ended from outside
}

TEST_F(InAChild, DISABLED_RunsAHiddenJobInPlace) {
    ProcessRunAndWait real;
    MakeWindow(&real);
    UseStandin(*form);
    form->edSource.SetText(dir + L"\\app.exe");
    form->chkDosBox.Click();
    form->chkBackup.Click();
    form->btnStart.Click();  // ended from outside before UPX is done
}

TEST_F(InAChild, DISABLED_RunsAHiddenJobToATarget) {
    ProcessRunAndWait real;
    shortNames = false;  // the source goes through a working copy
    MakeWindow(&real);
    UseStandin(*form);
    form->edSource.SetText(dir + L"\\\u03a9mega.exe");
    form->edTarget.SetText(dir + L"\\out.exe");
    form->chkDosBox.Click();
    form->chkBackup.Click();
    form->btnStart.Click();
}

TEST_F(InAChild, DISABLED_QuitsWhileTheUpxCheckRuns) {
    MakeWindow();  // the recording runner: a job would be seen
    const std::wstring copy = dir + L"\\upx.exe";
    ASSERT_TRUE(CopyFileW(StandinPath().c_str(), copy.c_str(), FALSE));
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"3000");  // its answer takes a while
    form->edUPX.SetText(copy);
    form->edSource.SetText(dir + L"\\app.exe");
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        PostQuitMessage(0);
    });
    form->btnStart.Click();
    ExitProcess(runner.calls.empty() && dialogs.boxes.empty() ? 0 : 1);
}

TEST_F(InAChild, DISABLED_CapturesTheStandin) {
    TDosCommand runner;
    runner.CommandLine = L"\"" + StandinPath() + L"\" --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_EQ(runner.CapturedLines,
              (std::vector<std::string>{"upx 4.2.4", "A stand-in for UPX used by Zandrel's tests."}));
}

}  // namespace
}  // namespace zandrel::test
