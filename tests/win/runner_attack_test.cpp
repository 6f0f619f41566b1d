// The runner under load and at its edges: input a child reads slowly, many runs at once,
// a child's input held by a program it left behind, output gathered around a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "console/DosCommand.h"
#include "framework/application.h"
#include "test_support.h"

namespace zandrel::test {
namespace {

std::wstring Standin() { return L"\"" + StandinPath() + L"\""; }

// The runner's pipes (named by this process's id and a serial number) that still exist:
// a pipe's name goes once Zandrel's end of it is closed.
int OpenRunnerPipes() {
    int open = 0;
    for (int serial = 1; serial <= 3000; ++serial)
        for (const wchar_t* kind : {L"input-", L"output-"}) {
            const std::wstring name = L"\\\\.\\pipe\\zandrel-" + std::wstring(kind) +
                                      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial);
            open += !WaitNamedPipeW(name.c_str(), 1) && GetLastError() != ERROR_FILE_NOT_FOUND;
        }
    return open;
}

class RunnerEdges : public ::testing::Test {
protected:
    void SetUp() override {
        Application::Instance().SetDialogs(&dialogs);
        runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType) { lines.push_back(line); };
        runner.OnTerminated = [this](TDosCommand*, DWORD code) { terminated.push_back(code); };
    }
    void TearDown() override { Application::Instance().SetDialogs(nullptr); }
    void PumpUntil(const std::function<bool()>& done, int ms) {
        for (const ULONGLONG end = GetTickCount64() + ms; !done() && GetTickCount64() < end;) PumpMessages(), Sleep(5);
    }
    RecordingDialogs dialogs;
    TDosCommand runner;
    std::vector<std::string> lines;
    std::vector<DWORD> terminated;
};

// Entries larger than the pipe, written in parts to a child that reads in small bites,
// reach it whole and in order (it writes back what it read).
TEST_F(RunnerEdges, InputReachesASlowReaderWholeAndInOrder) {
    std::string sent;
    std::vector<std::string> entries;
    for (int i = 0; i < 12; ++i) {
        std::string entry = "entry " + std::to_string(i) + ":";
        entry += std::string(i % 3 == 0 ? 9000 : 50, static_cast<char>('a' + i));
        entry += "\r\n";
        entries.push_back(entry);
        sent += entry;
    }
    runner.CommandLine = L"\"" + ThisProgram() + L"\" " + kEchoInputSlowly + L" " + std::to_wstring(sent.size());
    std::vector<std::string> shown;  // a line that grows replaces its beginning here
    runner.OutputTarget = &shown;
    runner.Execute();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        runner.AddInput(entries[i]);
        if (i % 4 == 0) PumpMessages(), Sleep(20);  // some queued while a write is in progress
    }
    ASSERT_TRUE(WaitIdle(runner, 30000));
    EXPECT_EQ(runner.ExitCode(), 0u) << "the child did not get every byte";
    std::string echoed;
    for (const auto& line : shown) echoed += line + "\r\n";
    EXPECT_EQ(echoed.size(), sent.size());
    EXPECT_TRUE(echoed == sent) << "input lost, doubled or reordered";
}

// Many runs at once each get a reader of their own: none waits for another to end.
TEST_F(RunnerEdges, ManyRunsAtOnceGoSideBySide) {
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"1500");
    constexpr int kRuns = 24;
    std::vector<std::unique_ptr<TDosCommand>> many;
    int ended = 0;
    const ULONGLONG begin = GetTickCount64();
    for (int i = 0; i < kRuns; ++i) {
        many.push_back(std::make_unique<TDosCommand>());
        many.back()->CreationFlag = TCreationFlag::fDETACHED_PROCESS;
        many.back()->OnTerminated = [&ended](TDosCommand*, DWORD) { ++ended; };
        many.back()->CommandLine = Standin() + L" --version";
        many.back()->Execute();
    }
    PumpUntil([&] { return ended == kRuns; }, 60000);
    EXPECT_EQ(ended, kRuns);
    EXPECT_LT(GetTickCount64() - begin, 12000u) << "the runs waited for each other (each child takes 1.5 s)";
}

// The child ends while a write to its input is in progress and a program it started
// still holds that input without reading: the run ends, and its reader lets go of
// everything (the write is called off rather than waited for).
TEST_F(RunnerEdges, InputPendingWhenTheChildEndsAndAGrandchildHoldsItsInput) {
    const int before = OpenRunnerPipes();
    EnvSwitch sleep(L"STANDIN_SLEEP_MS", L"8000");
    runner.CommandLine = L"\"" + ThisProgram() + L"\" " + kStartAndLeave + L" " + Standin() + L" --version";
    runner.Execute();
    runner.AddInput(std::string(1 << 20, 'z'));
    ASSERT_TRUE(WaitIdle(runner, 5000)) << "the run waited for its grandchild";
    EXPECT_EQ(terminated, std::vector<DWORD>{5});
    for (int i = 0; i < 50; ++i) PumpMessages(), Sleep(10);
    const int after = OpenRunnerPipes();
    EXPECT_EQ(after, before) << "the ended run still holds its pipes";
}

// A child that writes a line every 150 ms for 1.8 s is never idle for a second: gathered
// hand-overs must not make it look so. Its redrawn progress line, written as the child
// lingers, shows before the child ends, at its last state.
TEST_F(RunnerEdges, GatheredOutputKeepsTheLastOutputTimeAndShowsProgressEarly) {
    {
        EnvSwitch ticks(L"STANDIN_TICKS", L"12");
        runner.MaxTimeAfterLastOutput = 1;
        runner.CommandLine = Standin() + L" --version";
        runner.Execute();
        ASSERT_TRUE(WaitIdle(runner, 10000));
        EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded) << "timed out although output kept coming";
        EXPECT_GE(lines.size(), 12u);
    }
    runner.MaxTimeAfterLastOutput = 0;
    EnvSwitch progress(L"STANDIN_LONE_CR", L"1");
    EnvSwitch linger(L"STANDIN_LINGER_MS", L"3000");
    std::vector<std::string> shown;
    runner.OutputTarget = &shown;
    runner.Execute();
    PumpUntil([&] { return !shown.empty() && shown.back() == "progress 100%"; }, 2500);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "progress 100%") << "the progress line waited for the child's end";
    EXPECT_TRUE(runner.Running());
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "progress 100%"), 1);
    runner.Stop();
    PumpUntil([&] { return terminated.size() == 2; }, 5000);
}

// A start put off (a batch's second try) is given up at once by a Stop or by the runner's
// end meanwhile (a closing program waits for its runners): no child is started, and no
// failure is told.
TEST_F(RunnerEdges, AStartPutOffIsGivenUpAtOnceByAStopOrTheRunnersEnd) {
    runner.CommandLine = Standin() + L" --version";
    runner.StartDelayMs = 3000;
    runner.Execute();
    PumpUntil([] { return false; }, 100);
    ULONGLONG asked = GetTickCount64();
    runner.Stop();
    PumpUntil([&] { return !terminated.empty(); }, 8000);
    EXPECT_LT(GetTickCount64() - asked, 1000u) << "the stopped run waited out its delay";
    EXPECT_LE(terminated.size(), 1u) << "the stopped run's end, told once";
    {
        TDosCommand ending;
        ending.CommandLine = Standin() + L" --version";
        ending.StartDelayMs = 3000;
        ending.Execute();
        PumpUntil([] { return false; }, 100);
        asked = GetTickCount64();
    }
    EXPECT_LT(GetTickCount64() - asked, 1000u) << "the runner's end waited for the delay";
    EXPECT_TRUE(ChildProcesses(L"upx.exe").empty());
    EXPECT_TRUE(dialogs.boxes.empty()) << "a start given up is no failure to tell";
    // The delay is for one start only: the next runs at once.
    terminated.clear();
    runner.Execute();
    const ULONGLONG began = GetTickCount64();
    PumpUntil([&] { return !terminated.empty(); }, 10000);
    ASSERT_EQ(terminated.size(), 1u);
    EXPECT_LT(GetTickCount64() - began, 2000u);
    EXPECT_FALSE(lines.empty()) << "the stand-in's version";
}

// Giving up a put-off start ends only a run still waiting: a child already made (the
// batch's second try at work on a file) runs to its end, and a run without a delay is
// never given up.
TEST_F(RunnerEdges, GivingUpAPutOffStartNeverEndsAChildAtWork) {
    runner.CommandLine = Standin() + L" --version";
    runner.StartDelayMs = 3000;
    runner.Execute();
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(runner.GiveUpPutOffStart());
    PumpUntil([&] { return !terminated.empty(); }, 2000);
    ASSERT_EQ(terminated.size(), 1u) << "the given-up run ends at once";
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsStartFailed);
    EXPECT_TRUE(lines.empty()) << "no child ran";
    EXPECT_TRUE(dialogs.boxes.empty());

    terminated.clear();
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"800");
    runner.StartDelayMs = 100;
    runner.Execute();
    PumpUntil([] { return false; }, 400);
    EXPECT_FALSE(runner.GiveUpPutOffStart()) << "the child was at work";
    PumpUntil([&] { return !terminated.empty(); }, 10000);
    ASSERT_EQ(terminated.size(), 1u);
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
    EXPECT_EQ(terminated[0], 0u);
    EXPECT_FALSE(lines.empty()) << "the stand-in's version";

    terminated.clear();
    runner.Execute();
    EXPECT_FALSE(runner.GiveUpPutOffStart()) << "a start not put off";
    PumpUntil([&] { return !terminated.empty(); }, 10000);
    EXPECT_EQ(runner.RunStatus(), TRunStatus::rsProcessEnded);
}

}  // namespace
}  // namespace zandrel::test
