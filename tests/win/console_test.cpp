// The console runner with the UPX stand-in, and the windows that show its output.
#include <gtest/gtest.h>

#include <cstdio>

#include "packed_format.h"
#include "app/descrambler.h"
#include "console/DosCommand.h"
#include "framework/application.h"
#include "test_support.h"
#include "zandrel_texts.h"

#include <tlhelp32.h>

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

std::wstring Standin() { return L"\"" + StandinPath() + L"\""; }

struct Recorded {
    std::vector<std::pair<std::string, TOutputType>> lines;
    std::vector<DWORD> terminated;
};

class Runner : public ::testing::Test {
protected:
    void SetUp() override {
        Application::Instance().SetDialogs(&dialogs);
        runner.OnNewLine = [this](TDosCommand* sender, const std::string& line, TOutputType type) {
            EXPECT_EQ(sender, &runner);
            got.lines.push_back({line, type});
        };
        runner.OnTerminated = [this](TDosCommand*, DWORD code) { got.terminated.push_back(code); };
    }
    void TearDown() override { Application::Instance().SetDialogs(nullptr); }
    RecordingDialogs dialogs;
    TDosCommand runner;
    Recorded got;
};

TEST_F(Runner, ProcessEndingByItselfGivesItsExitCode) {
    EnvSwitch exit(L"STANDIN_EXIT", L"3");
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(runner.ExitCode(), 3u);
    EXPECT_EQ(got.terminated, std::vector<DWORD>{3});
    ASSERT_EQ(got.lines.size(), 2u);
    EXPECT_EQ(got.lines[0].first, "upx 4.2.4");
    EXPECT_EQ(runner.CapturedLines.size(), 2u);
    EXPECT_EQ(runner.OutputReturnCode(), TReturnCode::rcCRLF);
}

// 259 is the code the system reports for a running process: the run must end all the same.
TEST_F(Runner, AnExitCodeOf259EndsTheRunToo) {
    EnvSwitch exit(L"STANDIN_EXIT", L"259");
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 10000)) << "the run never ended";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(runner.ExitCode(), 259u);
    EXPECT_EQ(got.terminated, std::vector<DWORD>{259});
    EXPECT_EQ(got.lines.size(), 2u) << "its output was read to the end";
}

TEST_F(Runner, LinesSplitAcrossWritesNulsAndLoneCRs) {
    EnvSwitch split(L"STANDIN_SPLIT", L"1");
    EnvSwitch nul(L"STANDIN_NUL", L"1");
    EnvSwitch cr(L"STANDIN_LONE_CR", L"1");
    EnvSwitch last(L"STANDIN_NO_NEWLINE", L"1");
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.CommandLine = Standin() + L" -qq -l \"C:\\nothing.exe\"";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    for (const auto& [line, type] : got.lines) EXPECT_EQ(line.find('\0'), std::string::npos);
    const auto has = [&](const std::string& text) { return std::find(target.begin(), target.end(), text) != target.end(); };
    EXPECT_TRUE(has("nulinsideline"));
    EXPECT_TRUE(has("progress 10%") && has("progress 50%") && has("progress 100%"));
    EXPECT_TRUE(has("first half, second half"));
    EXPECT_FALSE(has("first half, ")) << "the growing line was replaced in the target";
    EXPECT_EQ(target.back(), "last line without a break");
    EXPECT_TRUE(std::find(runner.CapturedLines.begin(), runner.CapturedLines.end(), "first half, ") !=
                runner.CapturedLines.end())
        << "the captured lines keep the beginning too";
    EXPECT_EQ(runner.ExitCode(), 1u) << "the stand-in's file-not-found error";
    EXPECT_TRUE(has("upx: C:\\nothing.exe: FileNotFoundException: C:\\nothing.exe: No such file or directory"))
        << "standard error arrives in the same stream";
}

TEST_F(Runner, TimeOutsEndTheRunAndKeepTheEarlierExitCode) {
    {
        EnvSwitch exit(L"STANDIN_EXIT", L"3");
        runner.CommandLine = Standin() + L" --version";
        runner.Execute();
        ASSERT_TRUE(WaitIdle(runner));
        ASSERT_EQ(runner.ExitCode(), 3u);
    }
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"30000");
    runner.MaxTimeAfterBeginning = 1;
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 6000));
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsTimedOut);
    EXPECT_EQ(got.terminated, (std::vector<DWORD>{3, STILL_ACTIVE}));
    EXPECT_EQ(runner.ExitCode(), 3u) << "a killed run keeps the earlier exit code";
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "the child was ended";

    runner.MaxTimeAfterBeginning = 0;
    runner.MaxTimeAfterLastOutput = 1;
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 6000));
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsTimedOut);
    EXPECT_EQ(runner.ExitCode(), 3u);
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty());
}

TEST_F(Runner, StopAndExecuteDuringARun) {
    {
        EnvSwitch exit(L"STANDIN_EXIT", L"7");
        runner.CommandLine = Standin() + L" --version";
        runner.Execute();
        ASSERT_TRUE(WaitIdle(runner));
        ASSERT_EQ(runner.ExitCode(), 7u);
    }
    got = {};
    // The child writes a line every 150 ms for half a minute: only a kill ends it in time.
    EnvSwitch ticks(L"STANDIN_TICKS", L"200");
    auto waitFor = [&](const std::function<bool()>& condition) {
        for (const ULONGLONG end = GetTickCount64() + 5000; !condition() && GetTickCount64() < end;)
            PumpMessages(), Sleep(10);
        return condition();
    };
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return !got.lines.empty(); })) << "the first run's lines came";
    runner.Execute();  // replaces the run
    ASSERT_TRUE(waitFor([&] { return got.terminated.size() == 1; })) << "the replaced run ended";
    const auto linesOfTheFirst = got.lines.size();
    ASSERT_TRUE(waitFor([&] { return got.lines.size() > linesOfTheFirst; })) << "the second run's lines came";
    EXPECT_TRUE(runner.Running());
    runner.Stop();
    runner.Stop();  // a second stop does nothing
    EXPECT_FALSE(runner.Running());
    ASSERT_TRUE(waitFor([&] { return got.terminated.size() == 2; }));
    EXPECT_EQ(got.terminated, (std::vector<DWORD>{STILL_ACTIVE, STILL_ACTIVE})) << "each run ends with its event";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsStopped);
    EXPECT_EQ(runner.ExitCode(), 7u) << "a stopped run keeps the earlier exit code";
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "both children were ended";
    runner.CommandLine.clear();
    runner.Execute();  // empty command line: nothing at all
    EXPECT_FALSE(runner.Running());
    EXPECT_EQ(got.terminated.size(), 2u);
}

// A handler that stops the run while a read's lines are handed over: the rest
// of that read is not delivered (a Test started over a running one would get them).
TEST_F(Runner, AStoppedRunDeliversNothingMore) {
    EnvSwitch flood(L"STANDIN_FLOOD", L"5000");
    runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
        got.lines.push_back({line, type});
        if (got.lines.size() == 10) runner.Stop();
    };
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    for (const ULONGLONG end = GetTickCount64() + 10000; got.terminated.empty() && GetTickCount64() < end;)
        PumpMessages(), Sleep(10);
    for (int i = 0; i < 30; ++i) PumpMessages(), Sleep(10);
    EXPECT_EQ(got.lines.size(), 10u) << "lines came after the stop";
    EXPECT_EQ(runner.CapturedLines.size(), 10u);
}

// The threads of this process, for checks that nothing is left running.
int ThreadCount() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    return count;
}

// The flood's lines, each once and in order: "line 000001 ..." up to `count`.
void ExpectEveryFloodLine(const std::vector<std::string>& lines, int count) {
    int next = 1;
    for (const auto& line : lines) {
        if (line.rfind("line ", 0) != 0) continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "line %06d of the stand-in flood output.......", next);
        ASSERT_EQ(line, expected) << "lost, doubled or out of order";
        ++next;
    }
    EXPECT_EQ(next - 1, count);
}

TEST_F(Runner, DestroyingTheRunnerDuringARunIsSafe) {
    // The child floods the pipe and blocks in its writes while nobody reads:
    // it is alive when its runner goes.
    EnvSwitch flood(L"STANDIN_FLOOD", L"50000");
    const int threadsBefore = ThreadCount();
    for (int round = 0; round < 3; ++round) {
        auto doomed = std::make_unique<TDosCommand>();
        int lines = 0;
        doomed->OnNewLine = [&lines](TDosCommand*, const std::string&, TOutputType) { ++lines; };
        doomed->CommandLine = Standin() + L" --version";
        doomed->Execute();
        // Wait until the child runs, then let a few hand-overs through.
        for (int i = 0; i < 500 && ChildProcesses(L"upx.exe").empty(); ++i) Sleep(10);
        ASSERT_FALSE(ChildProcesses(L"upx.exe").empty()) << "round " << round;
        for (int i = 0; i < 5 * round; ++i) PumpMessages(), Sleep(2);
        doomed.reset();  // the reader may be waiting in a hand-over right now
        EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "round " << round << ": the child outlived its runner";
        const int delivered = lines;
        for (int i = 0; i < 20; ++i) PumpMessages(), Sleep(5);
        EXPECT_EQ(lines, delivered) << "a destroyed runner delivers nothing more";
    }
    // Readers run on the system's pool, whose idle threads end after a few seconds
    // (five under Wine): a reader still at work never would.
    for (int i = 0; i < 700 && ThreadCount() > threadsBefore; ++i) Sleep(10);
    EXPECT_LE(ThreadCount(), threadsBefore) << "no reader thread is left running";
}

TEST_F(Runner, FloodedOutputIsCompleteAndInOrder) {
    EnvSwitch flood(L"STANDIN_FLOOD", L"20000");
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 120000));
    ASSERT_EQ(target.size(), 20002u);
    ExpectEveryFloodLine(target, 20000);
    EXPECT_EQ(target[20000], "upx 4.2.4");
}

// The run ends with its child, even while a program the child started still holds the
// child's output open: what the child wrote arrives, and nothing waits for the other.
TEST_F(Runner, AChildThatLeavesAGrandchildHoldingItsOutputEndsTheRun) {
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"4000");
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.CommandLine = L"\"" + ThisProgram() + L"\" " + kStartAndLeave + L" " + Standin() + L" --version";
    const ULONGLONG begin = GetTickCount64();
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 20000));
    const ULONGLONG took = GetTickCount64() - begin;
    EXPECT_LT(took, 3500u) << "the run waited for the grandchild (it writes after 4 s)";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(runner.ExitCode(), 5u);
    EXPECT_EQ(got.terminated, std::vector<DWORD>{5});
    EXPECT_EQ(target, std::vector<std::string>{"started and left, without a break"})
        << "the child's last text (no line break) arrived; the grandchild's output is not followed";
    // The grandchild is in the runner's job: it ends with the runner at the latest.
}

// The end of a run races with its last output: a flood whose last text has no break,
// run after run, arrives whole every time.
TEST_F(Runner, TheLastOutputBeforeTheEndIsNeverLost) {
    EnvSwitch flood(L"STANDIN_FLOOD", L"3000");
    EnvSwitch last(L"STANDIN_NO_NEWLINE", L"1");
    EnvSwitch exit(L"STANDIN_EXIT", L"2");
    runner.CommandLine = Standin() + L" --version";
    for (int round = 0; round < 4; ++round) {
        std::vector<std::string> target;
        runner.OutputTarget = &target;
        runner.Execute();
        ASSERT_TRUE(WaitIdle(runner, 60000)) << "round " << round;
        ASSERT_EQ(target.size(), 3003u) << "round " << round << ": the flood, UPX's two lines, the last text";
        ExpectEveryFloodLine(target, 3000);
        EXPECT_EQ(target.back(), "last line without a break") << "round " << round;
        EXPECT_EQ(runner.ExitCode(), 2u) << "round " << round;
    }
    EXPECT_EQ(got.terminated, (std::vector<DWORD>{2, 2, 2, 2}));
}

// A child killed from outside half-way ends the run at once with the code it was
// killed with, and the lines it wrote before are all there.
TEST_F(Runner, AChildKilledHalfWayEndsTheRunWithItsCode) {
    EnvSwitch ticks(L"STANDIN_TICKS", L"200");
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    for (const ULONGLONG end = GetTickCount64() + 10000; got.lines.size() < 3 && GetTickCount64() < end;)
        PumpMessages(), Sleep(10);
    ASSERT_GE(got.lines.size(), 3u) << "the child's first lines came";
    const auto children = ChildProcesses(L"upx.exe");
    ASSERT_EQ(children.size(), 1u);
    UniqueHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, children[0]));
    ASSERT_TRUE(child);
    ASSERT_TRUE(TerminateProcess(child.get(), 42));
    WaitForSingleObject(child.get(), 5000);
    const ULONGLONG killed = GetTickCount64();
    ASSERT_TRUE(WaitIdle(runner, 5000));
    EXPECT_LT(GetTickCount64() - killed, 1000u) << "the run's end waited";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(runner.ExitCode(), 42u);
    EXPECT_EQ(got.terminated, std::vector<DWORD>{42});
    for (std::size_t i = 0; i < got.lines.size(); ++i)
        EXPECT_EQ(got.lines[i].first.rfind("tick " + std::to_string(i + 1) + " ", 0), 0u) << "line " << i;
}

// CPU time this process has used, in ms: a reader that spins shows here.
ULONGLONG ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) { return ((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}

// A child that closes its output early and works on: what it wrote arrives, the run
// ends with the child (not at the close), and the reader sleeps meanwhile.
TEST_F(Runner, AChildThatClosesItsOutputEarlyEndsTheRunWhenItEnds) {
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.CommandLine = L"\"" + ThisProgram() + L"\" " + kCloseOutputAndStay;
    const ULONGLONG begin = GetTickCount64();
    runner.Execute();
    for (const ULONGLONG end = begin + 10000; target.empty() && GetTickCount64() < end;) PumpMessages(), Sleep(10);
    ASSERT_EQ(target, std::vector<std::string>{"written before the close"});
    const ULONGLONG cpuBefore = ProcessCpuMs();
    ASSERT_TRUE(WaitIdle(runner, 10000)) << "the run never ended";
    const ULONGLONG took = GetTickCount64() - begin;
    EXPECT_GE(took, 1400u) << "the run ended at the close, not with the child";
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 600u) << "the reader spun while the child worked on";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(runner.ExitCode(), 4u);
    EXPECT_EQ(got.terminated, std::vector<DWORD>{4});
}

// Input the child never reads fills the input pipe: a stop must still end the run and
// its child, and a child writing meanwhile must not wait for a reader stuck on input.
TEST_F(Runner, InputTheChildNeverReadsHoldsUpNeitherAStopNorTheOutput) {
    {
        EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"20000");
        runner.CommandLine = Standin() + L" --version";
        runner.Execute();
        for (int i = 0; i < 500 && ChildProcesses(L"upx.exe").empty(); ++i) Sleep(10);
        ASSERT_FALSE(ChildProcesses(L"upx.exe").empty());
        runner.AddInput(std::string(1 << 20, 'x'));
        for (int i = 0; i < 30; ++i) PumpMessages(), Sleep(10);
        const ULONGLONG stopped = GetTickCount64();
        runner.Stop();
        for (const ULONGLONG end = stopped + 5000; got.terminated.empty() && GetTickCount64() < end;)
            PumpMessages(), Sleep(10);
        EXPECT_EQ(got.terminated.size(), 1u) << "the stop never ended the run";
        EXPECT_LT(GetTickCount64() - stopped, 3000u);
        EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "the child was left running after the stop";
    }
    got = {};
    // The child floods its output without reading its input.
    EnvSwitch flood(L"STANDIN_FLOOD", L"20000");
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.Execute();
    runner.AddInput(std::string(1 << 20, 'y'));
    EXPECT_TRUE(WaitIdle(runner, 30000)) << "the child and the reader wait for each other";
    EXPECT_EQ(target.size(), 20002u);
    runner.Stop();
    for (int i = 0; i < 50 && got.terminated.empty(); ++i) PumpMessages(), Sleep(10);
}

// Runs one after another and side by side give every handle back.
TEST_F(Runner, TwoHundredRunsLeaveNoHandleBehind) {
    EnvSwitch flood(L"STANDIN_FLOOD", L"200");
    EnvSwitch last(L"STANDIN_NO_NEWLINE", L"1");
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    for (int i = 0; i < 20; ++i) PumpMessages(), Sleep(5);
    const std::size_t before = OpenHandleCount();
    ASSERT_GT(before, 0u) << "the handles cannot be counted";
    for (int round = 0; round < 150; ++round) {
        std::vector<std::string> target;
        runner.OutputTarget = &target;
        runner.Execute();
        ASSERT_TRUE(WaitIdle(runner)) << "round " << round;
        ASSERT_EQ(target.size(), 203u) << "round " << round;
        ASSERT_EQ(target.back(), "last line without a break") << "round " << round;
    }
    runner.OutputTarget = nullptr;
    // Four at once, ten times: their children start while the others' pipes are open.
    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<TDosCommand>> many;
        std::vector<std::vector<std::string>> targets(5);
        for (int i = 0; i < 5; ++i) {
            many.push_back(std::make_unique<TDosCommand>());
            many.back()->CreationFlag = TCreationFlag::fDETACHED_PROCESS;
            many.back()->OutputTarget = &targets[i];
            many.back()->CommandLine = Standin() + L" --version";
            many.back()->Execute();
        }
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(WaitIdle(*many[i])) << "round " << round << " runner " << i;
            EXPECT_EQ(targets[i].size(), 203u) << "round " << round << " runner " << i;
        }
    }
    for (int i = 0; i < 50; ++i) PumpMessages(), Sleep(5);
    const std::size_t after = OpenHandleCount();
    EXPECT_LE(after, before + 10) << "handles before " << before << ", after 200 runs " << after;
}

// Output that closely follows other output is gathered into one hand-over, yet never
// held back: a child that writes lines at once and then works on silently shows them soon.
TEST_F(Runner, LinesWrittenCloseTogetherArriveWhileTheChildWorksOn) {
    EnvSwitch pair(L"STANDIN_PAIR", L"1");
    EnvSwitch linger(L"STANDIN_LINGER_MS", L"5000");
    runner.CommandLine = Standin() + L" --version";
    const ULONGLONG begin = GetTickCount64();
    runner.Execute();
    for (const ULONGLONG end = begin + 4000; got.lines.size() < 4 && GetTickCount64() < end;) PumpMessages(), Sleep(10);
    ASSERT_EQ(got.lines.size(), 4u) << "gathered lines waited for the child's end";
    EXPECT_EQ(got.lines[0].first, "first of a pair");
    EXPECT_EQ(got.lines[1].first, "second of a pair");
    EXPECT_EQ(got.lines[2].first, "upx 4.2.4");
    EXPECT_TRUE(runner.Running());
    EXPECT_TRUE(got.terminated.empty());
    runner.Stop();
}

// A batch's runs gather from their start: no text goes over before GatherMs has
// passed, yet a child that keeps working shows its text then, not at its end.
TEST_F(Runner, GatheredFromTheStartTextWaitsItsTimeButNotTheEnd) {
    EnvSwitch ticks(L"STANDIN_TICKS", L"2");
    EnvSwitch linger(L"STANDIN_LINGER_MS", L"5000");
    runner.GatherMs = 700;
    runner.GatherFromStart = true;
    runner.CreationFlag = TCreationFlag::fDETACHED_PROCESS;
    ULONGLONG firstArrival = 0;
    runner.OnNewLine = [&](TDosCommand*, const std::string& line, TOutputType type) {
        if (!firstArrival) firstArrival = GetTickCount64();
        got.lines.push_back({line, type});
    };
    runner.CommandLine = Standin() + L" --version";
    const ULONGLONG executed = GetTickCount64();
    runner.Execute();
    for (const ULONGLONG end = executed + 4000; got.lines.size() < 3 && GetTickCount64() < end;) PumpMessages(), Sleep(10);
    ASSERT_GE(got.lines.size(), 3u) << "gathered text waited for the child's end";
    EXPECT_GE(firstArrival - executed, 700u) << "text went over before its time";
    EXPECT_TRUE(runner.Running());
    runner.Stop();
}

// Two runs at once (a batch's two UPX): each child gets its own pipe ends and no other
// handle the program holds for inheriting, such as the other run's pipes.
TEST_F(Runner, AChildGetsItsOwnPipesAndNoOtherHandle) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const UniqueHandle others(CreateEventW(&inheritable, TRUE, TRUE, nullptr));
    ASSERT_TRUE(others);
    std::vector<std::string> target;
    runner.OutputTarget = &target;
    runner.CreationFlag = TCreationFlag::fDETACHED_PROCESS;
    runner.CommandLine = L"\"" + ThisProgram() + L"\" " + kResetEvent + L" " +
                         std::to_wstring(reinterpret_cast<ULONG_PTR>(others.get()));
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner, 10000));
    EXPECT_EQ(target, std::vector<std::string>{"not reset"}) << "the child was given a handle that was not its own";
    EXPECT_EQ(WaitForSingleObject(others.get(), 0), WAIT_OBJECT_0);
}

TEST_F(Runner, QueuedInputIsWrittenAndEchoed) {
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"400");
    runner.InputToOutput = true;
    runner.CommandLine = Standin() + L" --version";
    runner.Execute();
    runner.AddInput("first ");
    runner.AddInput("entry\r\n");
    runner.AddInput("");  // refused: an entry is never empty
    ASSERT_TRUE(WaitIdle(runner));
    const auto& lines = runner.CapturedLines;
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "first ");
    EXPECT_EQ(lines[1], "first entry\r\n") << "a complete entry ends the echoed line";
    EXPECT_EQ(got.lines[1].second, TOutputType::otEntireLine);
    EXPECT_EQ(lines[2], "upx 4.2.4");
}

TEST_F(Runner, AHandlerThatThrowsDoesNotStopTheReading) {
    runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
        got.lines.push_back({line, type});
        throw std::runtime_error("handler failed");
    };
    runner.CommandLine = Standin() + L" --help";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_GT(got.lines.size(), 5u);
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
}

TEST_F(Runner, AProgramThatCannotStartIsReported) {
    runner.CommandLine = L"C:\\no\\such\\program.exe --version";
    runner.Execute();
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessFailed);
    EXPECT_EQ(dialogs.reports, std::vector<std::wstring>{L"C:\\no\\such\\program.exe --version doesn't exist."});
    EXPECT_NE(runner.ExitCode(), 0u);
}

using ConsoleWindow = MainWindowTest;

TEST_F(ConsoleWindow, TakesItsStoredPositionWithoutARangeCheck) {
    StoreSetting(L"MsgOutTop", L"-20");
    StoreSetting(L"MsgOutLeft", L"300");
    MakeWindow();
    RECT r;
    GetWindowRect(messageOutput->Handle(), &r);
    EXPECT_EQ(r.top, -20);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(WindowText(messageOutput->Handle()), L"Console Message");
    EXPECT_FALSE(messageOutput->Showing());
    EXPECT_TRUE(GetWindowLongW(messageOutput->memOutput.Handle(), GWL_STYLE) & ES_READONLY);
    // Closing hides it and stores where it is.
    messageOutput->ShowNonModal();
    SetWindowPos(messageOutput->Handle(), nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageW(messageOutput->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(messageOutput->Showing());
    EXPECT_TRUE(IsWindow(messageOutput->Handle()));
    EXPECT_EQ(StoredSetting(L"MsgOutTop"), L"50");
    EXPECT_EQ(StoredSetting(L"MsgOutLeft"), L"40");
}

TEST_F(ConsoleWindow, ATopThatIsNoIntegerSkipsTheLeftToo) {
    StoreSetting(L"MsgOutTop", L"high");
    StoreSetting(L"MsgOutLeft", L"300");
    MakeWindow();
    EXPECT_EQ(dialogs.reports, std::vector<std::wstring>{L"'high' is not a valid integer value"});
    RECT r;
    GetWindowRect(messageOutput->Handle(), &r);
    EXPECT_EQ(r.left, TMessageOutput::kDesignLeft);
    EXPECT_EQ(r.top, TMessageOutput::kDesignTop);
}


class RealConsole : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        realConsole = true;
        MakeWindow();
        UseStandin(*form);  // asked before a test's switches reach the stand-in
    }
    std::vector<std::wstring> MemoLines() {
        messageOutput->Flush();
        std::wstring text = messageOutput->memOutput.Text(), line;
        std::vector<std::wstring> lines;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == L'\r') {
                lines.push_back(line);
                line.clear();
                if (i < text.size()) ++i;  // the LF
            } else {
                line.push_back(text[i]);
            }
        }
        return lines;
    }
};

TEST_F(RealConsole, VersionFillsTheMemoWithEachLineOnce) {
    UseStandin(*form);
    form->btnUPXVersion.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    EXPECT_TRUE(messageOutput->Showing());
    EXPECT_EQ(MemoLines(), (std::vector<std::wstring>{L"upx 4.2.4", L"A stand-in for UPX used by Zandrel's tests."}));
}

TEST_F(RealConsole, SplitAndUnfinishedLinesShowOnce) {
    // The UPX check first: with these switches the stand-in's answer would not be UPX's.
    UseStandin(*form);
    EnvSwitch split(L"STANDIN_SPLIT", L"1");
    EnvSwitch last(L"STANDIN_NO_NEWLINE", L"1");
    TempDir dir;
    WriteBytes(dir / L"app.exe", "MZ");
    form->edSource.SetText(dir / L"app.exe");
    form->chkQQ.Click();
    form->btnTest.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    const auto lines = MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), L"first half, second half");
    EXPECT_EQ(lines.back(), L"last line without a break");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"last line without a break"), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.rfind(L"first half", 0) == 0; }), 1);
}

TEST_F(RealConsole, AMegabyteOfOutputArrivesCompleteAndInOrder) {
    UseStandin(*form);
    EnvSwitch flood(L"STANDIN_FLOOD", L"20000");
    form->btnUPXHelp.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1, 120000));
    const auto lines = MemoLines();
    std::vector<std::string> narrow;
    for (const auto& l : lines) narrow.push_back(Narrow(l));
    ExpectEveryFloodLine(narrow, 20000);
    EXPECT_EQ(lines.back().rfind(L"  -q", 0), 0u) << "the usage text follows the flood";
    EXPECT_EQ(lines[0].rfind(L"line 000001", 0), 0u) << "nothing before the flood";
}

// A line shows while UPX is quiet; it never waits for the next one to arrive.
TEST_F(RealConsole, ALineShowsBeforeTheNextIsWritten) {
    UseStandin(*form);
    EnvSwitch ticks(L"STANDIN_TICKS", L"2");  // two lines, 150 ms apart
    form->btnUPXVersion.Click();
    std::wstring seen;
    const ULONGLONG end = GetTickCount64() + 10000;
    while (GetTickCount64() < end && seen.find(L"tick 1 ") == std::wstring::npos) {
        PumpMessages();
        Sleep(2);
        seen = messageOutput->memOutput.Text();  // as shown, no batch forced out
    }
    ASSERT_NE(seen.find(L"tick 1 "), std::wstring::npos) << "the first line never showed on its own";
    EXPECT_EQ(seen.find(L"tick 2 "), std::wstring::npos) << "it showed only with the next one";
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
}

// UPX prints names in the ANSI code page; the OEM one would make \u00dcbung.exe read \u2584bung.exe.
TEST_F(RealConsole, UpxsOutputShowsTheLettersOfItsCodePage) {
    TempDir dir(L"zc");
    const auto file = dir / L"\u00dcbung \u00e9t\u00e9.exe";
    WriteBytes(file, standin::Pack("MZ packed", 6));
    UseStandin(*form);
    form->edSource.SetText(file);
    form->btnList.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    const auto lines = MemoLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.find(file) != l.npos; }))
        << Narrow(lines.empty() ? L"" : lines[0]);
    EXPECT_EQ(lines[0].find(Message(texts::NoteUpxName1)), std::wstring::npos) << "UPX can spell it: no note";
}

// Closing the program while UPX runs on a working copy: UPX is ended, the copy removed.
TEST_F(MainWindowTest, ClosingTheProgramDuringACapturedRunEndsUpxAndLeavesNothing) {
    realConsole = true;
    shortNames = false;  // a name UPX cannot spell and no short form: UPX reads a copy
    MakeWindow();
    TempDir dir(L"zc");
    const auto file = dir / L"\u03a9mega.exe";
    WriteBytes(file, standin::Pack("MZ packed", 6));
    UseStandin(*form);
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"30000");
    form->edSource.SetText(file);
    form->btnTest.Click();
    for (int i = 0; i < 20; ++i) PumpMessages(), Sleep(10);
    ASSERT_EQ(Listing(dir.Path()).size(), 2u) << "the working copy is there while UPX runs";
    ASSERT_EQ(ChildProcesses(L"upx.exe").size(), 1u);
    form->btnExit.Click();  // closes the console window and the main window
    form->MessageOutput = nullptr;
    messageOutput.reset();
    form.reset();
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty()) << "UPX ends with the program";
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"\u03a9mega.exe"}) << "no working copy left behind";
}

TEST_F(RealConsole, InformationButtonsCheckTheUpxField) {
    form->edUPX.SetText(L"");
    form->btnUPXVersion.Click();
    form->btnUPXHelp.Click();
    form->edUPX.SetText(L"C:\\gone\\upx.exe");
    form->btnUPXVersion.Click();
    form->btnUPXHelp.Click();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::wstring>{Message(texts::MsgVersionNoUpx), Message(texts::MsgUpxHelpNoUpx),
                                                         Message(texts::MsgVersionUpxGone),
                                                         Message(texts::MsgUpxHelpUpxGone)}));
    EXPECT_EQ(dialogs.beeps, 4);
    EXPECT_FALSE(messageOutput->Showing()) << "the window is neither cleared nor shown";
    EXPECT_FALSE(form->DosCommand1.Running());
}

}  // namespace
}  // namespace zandrel::test
