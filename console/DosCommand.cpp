#include "console/DosCommand.h"

#include <algorithm>
#include <span>
#include <utility>

#include "framework/application.h"
#include "framework/gui_call.h"
#include "framework/inherit_only.h"
#include "framework/pool_thread.h"
#include "console/run_pipes.h"

namespace zandrel {

WORD ShowCommandOf(TShowWindow value) {
    static constexpr WORD kCommands[] = {SW_HIDE,          SW_MAXIMIZE,        SW_MINIMIZE,    SW_RESTORE,
                                         SW_SHOW,          SW_SHOWDEFAULT,     SW_SHOWMAXIMIZED, SW_SHOWMINIMIZED,
                                         SW_SHOWMINNOACTIVE, SW_SHOWNA,        SW_SHOWNOACTIVATE, SW_SHOWNORMAL};
    return kCommands[static_cast<int>(value)];
}

DWORD CreationFlagOf(TCreationFlag value) {
    static constexpr DWORD kFlags[] = {CREATE_DEFAULT_ERROR_MODE, CREATE_NEW_CONSOLE,      CREATE_NEW_PROCESS_GROUP,
                                       CREATE_SEPARATE_WOW_VDM,   CREATE_SHARED_WOW_VDM,   CREATE_SUSPENDED,
                                       CREATE_UNICODE_ENVIRONMENT, DEBUG_PROCESS,          DEBUG_ONLY_THIS_PROCESS,
                                       DETACHED_PROCESS};
    return kFlags[static_cast<int>(value)];
}

// Shared by the runner (GUI thread) and the reader thread of one run. The
// thread reaches the runner only through GUI calls, which check `runner`
// first: a destroyed runner sets it to null, so no freed object is touched.
struct DosRun {
    // Copies taken when the run starts.
    std::wstring commandLine;
    int maxAfterBeginning = 0, maxAfterLastOutput = 0;
    TNewLineEvent onNewLine;
    TTerminateEvent onTerminated;
    bool inputToOutput = false;
    WORD showCommand = SW_HIDE;
    DWORD creationFlags = 0;
    std::wstring currentFolder;     // empty: the runner's own
    bool reportStartFailure = true;
    ULONGLONG gatherMs = 100;
    bool gatherFromStart = false;
    DWORD startDelayMs = 0;
    // A put-off start: waiting, going (the child is being made) or given up. Only a
    // waiting start may be given up, so a child at work is never ended by it.
    enum : int { kWaiting, kGoing, kGivenUp };
    std::atomic<int> startGate{kWaiting};
    std::shared_ptr<void> kept;     // released once the child has ended
    HANDLE job = nullptr;           // the runner's job: its children end with the program
    std::shared_ptr<std::mutex> inputLock;
    std::shared_ptr<std::deque<std::string>> input;

    TDosCommand* runner = nullptr;         // GUI thread only
    bool stopped = false;                  // GUI thread only: Stop or a new Execute let go of this run
    LineGrowth growth;                     // GUI thread only (hand-over)
    std::atomic<bool> terminate{false};
    std::atomic<bool> finished{false};
    UniqueHandle cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // wakes a waiting hand-over
    UniqueHandle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};   // the reader thread is done
    UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};   // input queued, or a stop asked for
    UniqueHandle called{CreateEventW(nullptr, FALSE, FALSE, nullptr)}; // a GUI call of this run is done
    std::atomic<TRunStatus> status{TRunStatus::rsStarting};
    std::atomic<DWORD> exitCode{0};
    DWORD startError = 0;  // the system's code where the pipes or the child could not be made
    std::atomic<TReturnCode> outputReturnCode{TReturnCode::rcCRLF};
    std::atomic<ULONGLONG> beginTick{0}, lastOutputTick{0};

    struct Text {
        std::string text;
        TOutputType type;
        TReturnCode returnCode;
    };
    // Reader thread only.
    LineSplitter splitter;
    std::vector<Text> texts;  // split from the latest read, not handed over yet
    DWORD sampled = STILL_ACTIVE;  // the child's exit code as last seen
    bool processEnded = false;
    ULONGLONG lastHandOver = 0;    // when texts last went to the GUI thread

    static void Body(std::shared_ptr<DosRun> self);

private:
    bool WaitBeforeStart();
    PROCESS_INFORMATION StartChild(RunPipes& pipes);
    void Watch(const std::shared_ptr<DosRun>& self, RunPipes& pipes, HANDLE process);
    bool TimedOut() const;
    void Feed(const std::shared_ptr<DosRun>& self, std::span<const std::uint8_t> bytes);
    // Queued input into the pipe while no write is in progress there.
    void WriteInput(const std::shared_ptr<DosRun>& self, InputPipe& in);
    void AddText(const std::string& text, TOutputType type) { texts.push_back({text, type, splitter.OutputReturnCode()}); }
    // In the GUI thread: the texts one by one, in order, while the run is still wanted.
    void Deliver(const std::vector<Text>& delivered);
    // Hands `texts` over to the GUI thread in one call and waits until all are delivered.
    void HandOver(const std::shared_ptr<DosRun>& self);
    // Output that follows a hand-over closely waits for the next one: a UPX run then
    // costs one or two calls into the GUI thread instead of one per write.
    void HandOverIfDue(const std::shared_ptr<DosRun>& self);
    // How long the reader may sleep: `longest`, or less while gathered texts wait.
    DWORD SleepMs(DWORD longest) const;
    // The end of the run in one GUI call: the last texts, then OnTerminated.
    void Report(const std::shared_ptr<DosRun>& self, bool deliverRest, const std::wstring& failure, bool showFailure);
};

void DosRun::Deliver(const std::vector<Text>& delivered) {
    for (const auto& [text, type, returnCode] : delivered) {
        // Checked for every text: a handler may stop the run or destroy the runner.
        TDosCommand* r = runner;
        if (!r || stopped) return;
        outputReturnCode = returnCode;
        r->CapturedLines.push_back(text);
        try {
            const bool replaces = growth.ReplacesLast(type);
            if (auto* target = r->OutputTarget) KeepLine(*target, text, replaces);
            if (onNewLine) onNewLine(r, text, type);
        } catch (...) {
            // A failing hand-over loses that text only; reading goes on.
        }
    }
}

void DosRun::HandOver(const std::shared_ptr<DosRun>& self) {
    if (texts.empty()) return;
    GuiCall::Run([self] { self->Deliver(self->texts); }, cancel.get(), called.get());
    texts.clear();
    lastHandOver = GetTickCount64();
}

void DosRun::HandOverIfDue(const std::shared_ptr<DosRun>& self) {
    if (!texts.empty() && GetTickCount64() - lastHandOver >= gatherMs) HandOver(self);
}

DWORD DosRun::SleepMs(DWORD longest) const {
    if (texts.empty()) return longest;
    const ULONGLONG since = GetTickCount64() - lastHandOver;
    const auto left = static_cast<DWORD>(since >= gatherMs ? 0 : gatherMs - since);
    return std::min(longest, left);
}

void DosRun::Feed(const std::shared_ptr<DosRun>& self, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    const std::size_t before = texts.size();
    splitter.Feed(bytes, [this](const std::string& t, TOutputType type) { AddText(t, type); },
                  [this] { return terminate.load(); });
    if (texts.size() > before) lastOutputTick = GetTickCount64();
    HandOverIfDue(self);
}

PROCESS_INFORMATION DosRun::StartChild(RunPipes& pipes) {
    STARTUPINFOEXW six{};
    STARTUPINFOW& si = six.StartupInfo;
    GetStartupInfoW(&si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = showCommand;
    si.hStdInput = pipes.inRead.get();
    si.hStdOutput = pipes.outWrite.get();
    si.hStdError = pipes.outWrite.get();
    // The C runtime's inherited-handle block of whatever started us would
    // take the child's standard streams away from the pipes.
    si.cbReserved2 = 0;
    si.lpReserved2 = nullptr;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    // Held until it is in the runner's job, so it cannot outlive the program.
    const bool holdBack = !(creationFlags & CREATE_SUSPENDED) && job;
    // Its own pipe ends only: another run's, held by this child, would stay open with it.
    const InheritOnly inherited{pipes.inRead.get(), pipes.outWrite.get()};
    const DWORD extended = inherited.Apply(six);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                        creationFlags | extended | (holdBack ? CREATE_SUSPENDED : 0), nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &si, &pi)) {
        startError = GetLastError();  // before the exception's unwinding may change it
        throw TCreateProcessError(commandLine + L" doesn't exist.");
    }
    if (job) AssignProcessToJobObject(job, pi.hProcess);
    if (holdBack) ResumeThread(pi.hThread);
    // The child has its ends now: once it (and whatever it starts) is done, writes to
    // its input fail instead of waiting for a reader that will never come.
    pipes.inRead.reset();
    pipes.outWrite.reset();
    return pi;
}

bool DosRun::TimedOut() const {
    const ULONGLONG now = GetTickCount64();
    const auto sinceBegin = static_cast<long long>((now - beginTick) / 1000);
    const auto sinceOutput = static_cast<long long>((now - lastOutputTick) / 1000);
    return (maxAfterBeginning > 0 && sinceBegin > maxAfterBeginning) ||
           (maxAfterLastOutput > 0 && sinceOutput > maxAfterLastOutput);
}

void DosRun::WriteInput(const std::shared_ptr<DosRun>& self, InputPipe& in) {
    while (!in.Pending()) {
        std::string entry;
        {
            std::lock_guard lock(*inputLock);
            if (input->empty() || terminate) return;
            entry = input->front();
            input->pop_front();
        }
        in.Begin(entry);
        if (inputToOutput) {
            // The hand-over state lives in the GUI thread; ask it, once it has every text.
            HandOver(self);
            bool lastWasBeginning = false;
            GuiCall::Run([&] { lastWasBeginning = self->growth.Growing(); }, cancel.get(), called.get());
            splitter.EchoInput(entry, lastWasBeginning, [this](const std::string& t, TOutputType type) { AddText(t, type); });
            lastOutputTick = GetTickCount64();
            HandOver(self);
        }
    }
}

// Until the child ends (the process handle tells; an exit code of 259 is a code like
// any other), a stop is asked for or a time limit passes; output and input meanwhile.
void DosRun::Watch(const std::shared_ptr<DosRun>& self, RunPipes& pipes, HANDLE process) {
    // Time limits are counted in whole seconds: a look every 100 ms is soon enough.
    const DWORD timeout = maxAfterBeginning > 0 || maxAfterLastOutput > 0 ? 100 : INFINITE;
    for (;;) {
        pipes.output.Begin();
        // The process first; a finished read or write only while one is in progress.
        HANDLE events[4] = {process, wake.get()};
        DWORD count = 2;
        constexpr DWORD kNotWaited = MAXIMUM_WAIT_OBJECTS;  // never a wait's answer here
        const DWORD readAt = pipes.output.Pending() ? count++ : kNotWaited;
        if (readAt != kNotWaited) events[readAt] = pipes.output.ReadDone();
        const DWORD writeAt = pipes.input.Pending() ? count++ : kNotWaited;
        if (writeAt != kNotWaited) events[writeAt] = pipes.input.WriteDone();
        const DWORD woke = WaitForMultipleObjects(count, events, FALSE, SleepMs(timeout));
        if (woke == WAIT_OBJECT_0 + readAt) Feed(self, pipes.output.Take(false));
        if (woke == WAIT_OBJECT_0 + writeAt) pipes.input.Take();
        if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_OBJECT_0 + writeAt) WriteInput(self, pipes.input);
        HandOverIfDue(self);
        // The process comes first in the wait, so an ended child always wakes it as such
        // (a read that completed with it is taken on the next round, or in the drain).
        const bool ended =
            woke == WAIT_OBJECT_0 || (woke == WAIT_FAILED && WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
        if (ended) {
            GetExitCodeProcess(process, &sampled);
            processEnded = true;
            pipes.output.Drain([&](std::span<const std::uint8_t> bytes) { Feed(self, bytes); });
            status = TRunStatus::rsProcessEnded;
            exitCode = sampled;
            return;
        }
        if (terminate) {
            status = TRunStatus::rsStopped;
            return;
        }
        if (TimedOut()) {
            status = TRunStatus::rsTimedOut;
            return;
        }
    }
}

void DosRun::Report(const std::shared_ptr<DosRun>& self, bool deliverRest, const std::wstring& failure,
                    bool showFailure) {
    if (deliverRest) splitter.Finish([this](const std::string& t, TOutputType type) { AddText(t, type); });
    GuiCall::Run(
        [self, rest = std::move(texts), code = sampled, failure, showFailure] {
            self->Deliver(rest);
            self->finished = true;
            TDosCommand* r = self->runner;
            if (r) {
                // A stopped or timed-out run keeps the earlier exit code.
                const TRunStatus status = self->status;
                if (status != TRunStatus::rsStopped && status != TRunStatus::rsTimedOut) r->exitCode_ = self->exitCode;
                if (r->current_ == self) r->current_.reset();
                std::erase(r->runs_, self);
                if (self->onTerminated) self->onTerminated(r, code);
            }
            if (showFailure) Application::Instance().ShowException(Error(failure));
        },
        cancel.get(), called.get());
    texts.clear();
}

// The start's delay: false when a Stop or the runner's end (both set `terminate`, then
// `wake`), or GiveUpPutOffStart, came first. A wake for queued input is passed on to the run.
bool DosRun::WaitBeforeStart() {
    bool woken = false;
    const ULONGLONG until = GetTickCount64() + startDelayMs;
    for (ULONGLONG now = GetTickCount64(); now < until && !terminate && startGate != kGivenUp; now = GetTickCount64())
        woken = WaitForSingleObject(wake.get(), static_cast<DWORD>(until - now)) == WAIT_OBJECT_0 || woken;
    int waiting = kWaiting;
    if (terminate || !startGate.compare_exchange_strong(waiting, kGoing)) {
        startError = ERROR_CANCELLED;  // the row says why nothing ran
        return false;
    }
    if (woken) SetEvent(wake.get());
    return true;
}

void DosRun::Body(std::shared_ptr<DosRun> self) {
    DosRun& run = *self;
    RunPipes pipes;
    PROCESS_INFORMATION pi{};
    std::wstring failure;
    bool showFailure = false, started = false;
    try {
        struct StoppedBeforeStart {};  // nothing to report: the run was let go
        if (run.startDelayMs && !run.WaitBeforeStart()) throw StoppedBeforeStart{};
        run.status = TRunStatus::rsCreatingPipes;
        if (const std::wstring failed = MakePipes(pipes); !failed.empty()) {
            run.startError = GetLastError();
            throw TCreatePipeError(failed);
        }
        run.status = TRunStatus::rsCreatingProcess;
        pi = run.StartChild(pipes);
        run.beginTick = run.lastOutputTick = GetTickCount64();
        if (run.gatherFromStart) run.lastHandOver = run.beginTick;
        run.status = TRunStatus::rsRunning;
        started = true;
        run.Watch(self, pipes, pi.hProcess);
    } catch (const TCreatePipeError& e) {
        failure = e.Message(), showFailure = run.reportStartFailure;
    } catch (const TCreateProcessError& e) {
        failure = e.Message(), showFailure = run.reportStartFailure;
    } catch (...) {
    }
    const DWORD lastError = GetLastError();

    if (pi.hProcess) {
        if (!run.processEnded) {
            TerminateProcess(pi.hProcess, 0);
            // Until it is gone: files it held open are free again afterwards.
            WaitForSingleObject(pi.hProcess, 5000);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    // What the run kept (temporary files of a job) goes once the child is gone.
    run.kept.reset();
    const TRunStatus reached = run.status;
    if (reached == TRunStatus::rsStarting || reached == TRunStatus::rsCreatingPipes ||
        reached == TRunStatus::rsCreatingProcess || reached == TRunStatus::rsRunning) {
        run.status = static_cast<TRunStatus>(static_cast<int>(reached) + 1);
        run.exitCode = run.startError ? run.startError : lastError;
    }
    run.Report(self, started && !run.terminate, failure, showFailure);
    run.finished = true;
    SetEvent(run.ended.get());
}

TDosCommand::TDosCommand() = default;

TDosCommand::~TDosCommand() {
    Stop();
    // Reader threads of earlier runs may still be ending: they must not reach us.
    std::vector<HANDLE> ending;
    for (const auto& run : runs_) {
        run->runner = nullptr;
        run->terminate = true;
        SetEvent(run->cancel.get());
        SetEvent(run->wake.get());
        ending.push_back(run->ended.get());
    }
    // They end their children and drop what they kept (temporary files) at
    // once; waiting for that keeps a closing program from leaving them behind.
    for (std::size_t i = 0; i < ending.size(); i += MAXIMUM_WAIT_OBJECTS)
        WaitForMultipleObjects(static_cast<DWORD>(std::min<std::size_t>(ending.size() - i, MAXIMUM_WAIT_OBJECTS)),
                               ending.data() + i, TRUE, 10000);
}

void TDosCommand::AddInput(std::string entry) {
    if (entry.empty()) return;
    {
        std::lock_guard lock(*inputLock_);
        input_->push_back(std::move(entry));
    }
    if (current_) SetEvent(current_->wake.get());
}

TReturnCode TDosCommand::OutputReturnCode() const { return last_ ? last_->outputReturnCode.load() : TReturnCode::rcCRLF; }

TRunStatus TDosCommand::RunStatus() const { return last_ ? last_->status.load() : TRunStatus::rsStarting; }

DWORD TDosCommand::ExitCode() const { return exitCode_; }

bool TDosCommand::Running() const { return current_ && !current_->finished; }

void TDosCommand::Execute() {
    if (CommandLine.empty()) return;
    Stop();
    CapturedLines.clear();
    auto run = std::make_shared<DosRun>();
    run->commandLine = CommandLine;
    run->maxAfterBeginning = MaxTimeAfterBeginning;
    run->maxAfterLastOutput = MaxTimeAfterLastOutput;
    run->onNewLine = OnNewLine;
    run->onTerminated = OnTerminated;
    run->inputToOutput = InputToOutput;
    run->showCommand = ShowCommandOf(ShowWindow);
    run->creationFlags = CreationFlagOf(CreationFlag) | PriorityClass;
    run->currentFolder = CurrentDirectory;
    run->reportStartFailure = ReportStartFailure;
    run->gatherMs = GatherMs;
    run->gatherFromStart = GatherFromStart;
    run->startDelayMs = std::exchange(StartDelayMs, 0);
    run->kept = std::move(kept_);
    kept_.reset();
    if (!job_) {
        // Every captured child ends with the program, however the program ends.
        job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job_ && !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            job_.reset();
    }
    run->job = EndWithProgram ? job_.get() : nullptr;
    run->inputLock = inputLock_;
    run->input = input_;
    run->runner = this;
    {
        std::lock_guard lock(*inputLock_);
        input_->clear();
    }
    std::erase_if(runs_, [](const auto& r) { return r->finished && !r->runner; });
    runs_.push_back(run);
    current_ = last_ = run;
    RunOnPoolThread([run] { DosRun::Body(run); });
}

bool TDosCommand::GiveUpPutOffStart() {
    if (!current_ || current_->finished || !current_->startDelayMs) return false;
    int waiting = DosRun::kWaiting;
    if (!current_->startGate.compare_exchange_strong(waiting, DosRun::kGivenUp)) return false;
    SetEvent(current_->wake.get());
    return true;
}

void TDosCommand::Stop() {
    if (!current_) return;
    if (!current_->finished) {
        current_->stopped = true;
        current_->terminate = true;
        SetEvent(current_->wake.get());
    }
    current_.reset();
}

}  // namespace zandrel
