#include "console/DosCommand.h"

#include <algorithm>
#include <thread>

#include "framework/application.h"
#include "framework/gui_call.h"

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
    std::atomic<TRunStatus> status{TRunStatus::rsStarting};
    std::atomic<DWORD> exitCode{0};
    std::atomic<TReturnCode> outputReturnCode{TReturnCode::rcCRLF};
    std::atomic<ULONGLONG> beginTick{0}, lastOutputTick{0};

    struct Text {
        std::string text;
        TOutputType type;
        TReturnCode returnCode;
    };
    // Hands the texts of one read over to the GUI thread in one call and waits
    // until all are delivered, one by one and in order.
    void HandOver(const std::shared_ptr<DosRun>& self, std::vector<Text>& texts);
    static void Body(std::shared_ptr<DosRun> self);
};

void DosRun::HandOver(const std::shared_ptr<DosRun>& self, std::vector<Text>& texts) {
    if (texts.empty()) return;
    lastOutputTick = GetTickCount64();
    GuiCall::Run(
        [self, &texts] {
            for (const auto& [text, type, returnCode] : texts) {
                // Checked for every text: a handler may stop the run or destroy the runner.
                TDosCommand* r = self->runner;
                if (!r || self->stopped) return;
                self->outputReturnCode = returnCode;
                r->CapturedLines.push_back(text);
                try {
                    const bool replaces = self->growth.ReplacesLast(type);
                    if (auto* target = r->OutputTarget) {
                        if (replaces && !target->empty())
                            target->back() = text;
                        else
                            target->push_back(text);
                    }
                    if (self->onNewLine) self->onNewLine(r, text, type);
                } catch (...) {
                    // A failing hand-over loses that text only; reading goes on.
                }
            }
        },
        cancel.get());
    texts.clear();
}

void DosRun::Body(std::shared_ptr<DosRun> self) {
    DosRun& run = *self;
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    PROCESS_INFORMATION pi{};
    DWORD sampled = STILL_ACTIVE;
    bool processEnded = false;
    bool looped = false;
    LineSplitter splitter;
    std::wstring failure;
    bool showFailure = false;
    std::vector<Text> batch;
    auto handOver = [&](const std::string& t, TOutputType type) {
        batch.push_back({t, type, splitter.OutputReturnCode()});
    };
    try {
        run.status = TRunStatus::rsStarting;
        // The default security descriptor; only the child's ends are inherited.
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        std::vector<std::uint8_t> buffer(1024, 0);
        run.status = TRunStatus::rsCreatingPipes;
        if (!CreatePipe(&inRead, &inWrite, &sa, 0))
            throw TCreatePipeError(L"The input pipe cannot be created.");
        if (!CreatePipe(&outRead, &outWrite, &sa, 0))
            throw TCreatePipeError(L"The output pipe cannot be created.");
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

        run.status = TRunStatus::rsCreatingProcess;
        STARTUPINFOW si{};
        GetStartupInfoW(&si);
        si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        si.wShowWindow = run.showCommand;
        si.hStdInput = inRead;
        si.hStdOutput = outWrite;
        si.hStdError = outWrite;
        // The C runtime's inherited-handle block of whatever started us would
        // take the child's standard streams away from the pipes.
        si.cbReserved2 = 0;
        si.lpReserved2 = nullptr;
        std::vector<wchar_t> line(run.commandLine.begin(), run.commandLine.end());
        line.push_back(L'\0');
        // Held until it is in the runner's job, so it cannot outlive the program.
        const bool holdBack = !(run.creationFlags & CREATE_SUSPENDED) && run.job;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                            run.creationFlags | (holdBack ? CREATE_SUSPENDED : 0), nullptr,
                            run.currentFolder.empty() ? nullptr : run.currentFolder.c_str(), &si, &pi))
            throw TCreateProcessError(run.commandLine + L" doesn't exist.");
        if (run.job) AssignProcessToJobObject(run.job, pi.hProcess);
        if (holdBack) ResumeThread(pi.hThread);
        run.beginTick = run.lastOutputTick = GetTickCount64();
        run.status = TRunStatus::rsRunning;
        looped = true;

        DWORD pause = 1;  // ms between looks at the pipe
        for (;;) {
            // The process handle tells the end; an exit code of 259 is a code like any other.
            const bool ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
            GetExitCodeProcess(pi.hProcess, &sampled);
            if (ended) processEnded = true;
            DWORD peeked = 0, waiting = 0;
            PeekNamedPipe(outRead, buffer.data(), static_cast<DWORD>(buffer.size()), &peeked, &waiting, nullptr);
            if (peeked > 0) {
                if (buffer.size() < waiting) buffer.resize(waiting);
                std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
                DWORD got = 0;
                ReadFile(outRead, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
                splitter.Feed({buffer.data(), got}, handOver, [&run] { return run.terminate.load(); });
                run.HandOver(self, batch);
            } else {
                for (;;) {
                    std::string entry;
                    {
                        std::lock_guard lock(*run.inputLock);
                        if (run.input->empty() || run.terminate) break;
                        entry = run.input->front();
                        run.input->pop_front();
                    }
                    DWORD put = 0;
                    WriteFile(inWrite, entry.data(), static_cast<DWORD>(entry.size()), &put, nullptr);
                    if (run.inputToOutput) {
                        // The hand-over state lives in the GUI thread; ask it.
                        bool lastWasBeginning = false;
                        GuiCall::Run([&] { lastWasBeginning = self->growth.Growing(); }, run.cancel.get());
                        splitter.EchoInput(entry, lastWasBeginning, handOver);
                        run.HandOver(self, batch);
                    }
                }
            }
            if (!ended) {
                // While output flows the pipe is looked at every millisecond; a silent
                // child less and less often (up to 16 ms). Its end, new input or a stop
                // ends the wait at once.
                const HANDLE wakers[] = {pi.hProcess, run.wake.get()};
                WaitForMultipleObjects(2, wakers, FALSE, pause);
                pause = peeked > 0 ? 1 : std::min<DWORD>(pause * 2, 16);
            }
            if (ended) {
                run.status = TRunStatus::rsProcessEnded;
                run.exitCode = sampled;
                break;
            }
            if (run.terminate) {
                run.status = TRunStatus::rsStopped;
                break;
            }
            const ULONGLONG now = GetTickCount64();
            const auto sinceBegin = static_cast<long long>((now - run.beginTick) / 1000);
            const auto sinceOutput = static_cast<long long>((now - run.lastOutputTick) / 1000);
            if ((run.maxAfterBeginning > 0 && sinceBegin > run.maxAfterBeginning) ||
                (run.maxAfterLastOutput > 0 && sinceOutput > run.maxAfterLastOutput)) {
                run.status = TRunStatus::rsTimedOut;
                break;
            }
        }
    } catch (const TCreatePipeError& e) {
        failure = e.Message(), showFailure = run.reportStartFailure;
    } catch (const TCreateProcessError& e) {
        failure = e.Message(), showFailure = run.reportStartFailure;
    } catch (...) {
    }
    const DWORD lastError = GetLastError();

    // End of the run.
    if (looped && !run.terminate) {
        splitter.Finish(handOver);
        run.HandOver(self, batch);
    }
    if (pi.hProcess) {
        if (!processEnded) {
            TerminateProcess(pi.hProcess, 0);
            // Until it is gone: files it held open are free again afterwards.
            WaitForSingleObject(pi.hProcess, 5000);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    // What the run kept (temporary files of a job) goes once the child is gone.
    run.kept.reset();
    for (HANDLE h : {inRead, outWrite, outRead, inWrite})
        if (h) CloseHandle(h);
    const TRunStatus reached = run.status;
    if (reached == TRunStatus::rsStarting || reached == TRunStatus::rsCreatingPipes ||
        reached == TRunStatus::rsCreatingProcess || reached == TRunStatus::rsRunning) {
        run.status = static_cast<TRunStatus>(static_cast<int>(reached) + 1);
        run.exitCode = lastError;
    }
    GuiCall::Run(
        [self, sampled, failure, showFailure] {
            self->finished = true;
            TDosCommand* r = self->runner;
            if (r) {
                // A stopped or timed-out run keeps the earlier exit code.
                const TRunStatus status = self->status;
                if (status != TRunStatus::rsStopped && status != TRunStatus::rsTimedOut) r->exitCode_ = self->exitCode;
                if (r->current_ == self) r->current_.reset();
                std::erase(r->runs_, self);
                if (self->onTerminated) self->onTerminated(r, sampled);
            }
            if (showFailure) Application::Instance().ShowException(Error(failure));
        },
        run.cancel.get());
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
    std::thread(DosRun::Body, run).detach();
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
