#pragma once
// Runs one console command line with its standard streams on pipes and hands
// its output over as text lines, in the GUI thread, while it runs.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console/line_splitter.h"
#include "framework/error.h"
#include "jobs/runners.h"

namespace zandrel {

class TDosCommand;

enum class TShowWindow : std::uint8_t {
    swHIDE, swMAXIMIZE, swMINIMIZE, swRESTORE, swSHOW, swSHOWDEFAULT, swSHOWMAXIMIZED,
    swSHOWMINIMIZED, swSHOWMINNOACTIVE, swSHOWNA, swSHOWNOACTIVATE, swSHOWNORMAL
};
enum class TCreationFlag : std::uint8_t {
    fCREATE_DEFAULT_ERROR_MODE, fCREATE_NEW_CONSOLE, fCREATE_NEW_PROCESS_GROUP, fCREATE_SEPARATE_WOW_VDM,
    fCREATE_SHARED_WOW_VDM, fCREATE_SUSPENDED, fCREATE_UNICODE_ENVIRONMENT, fDEBUG_PROCESS,
    fDEBUG_ONLY_THIS_PROCESS, fDETACHED_PROCESS
};
enum class TRunStatus : std::uint8_t {
    rsStarting, rsStartFailed, rsCreatingPipes, rsPipesFailed, rsCreatingProcess, rsProcessFailed,
    rsRunning, rsRunFailed, rsProcessEnded, rsStopped, rsTimedOut
};

WORD ShowCommandOf(TShowWindow value);
DWORD CreationFlagOf(TCreationFlag value);

using TNewLineEvent = std::function<void(TDosCommand* sender, const std::string& newLine, TOutputType outputType)>;
using TTerminateEvent = std::function<void(TDosCommand* sender, DWORD exitCode)>;

class TCreatePipeError : public Error {
public:
    using Error::Error;
};
class TCreateProcessError : public Error {
public:
    using Error::Error;
};

struct DosRun;  // the state one run shares between the runner and its reader thread

class TDosCommand : public IConsoleCommand {
public:
    TDosCommand();
    ~TDosCommand() override;
    TDosCommand(const TDosCommand&) = delete;
    TDosCommand& operator=(const TDosCommand&) = delete;

    // Settings; a run works with the values they had when it started.
    std::wstring CommandLine;
    TNewLineEvent OnNewLine;
    TTerminateEvent OnTerminated;  // raised in the GUI thread at the end of each run
    bool InputToOutput = false;
    int MaxTimeAfterBeginning = 0;   // seconds; 0 or less: no limit
    int MaxTimeAfterLastOutput = 0;  // seconds; 0 or less: no limit
    TShowWindow ShowWindow = TShowWindow::swHIDE;
    TCreationFlag CreationFlag = TCreationFlag::fCREATE_NEW_CONSOLE;
    TReturnCode ReturnCode = TReturnCode::rcCRLF;
    DWORD PriorityClass = NORMAL_PRIORITY_CLASS;
    std::wstring CurrentDirectory;  // the child's current folder; empty: the program's own
    bool ReportStartFailure = true;  // a child that cannot start shows the standard error box
    // The child ends with the program, however the program ends (a kill-on-close job).
    // Off for a child that writes a user's file: ending it half-way could lose the file.
    bool EndWithProgram = true;
    // Output that follows a hand-over to the GUI thread within this time waits for the
    // next one. With GatherFromStart the start counts as a hand-over: a run shorter than
    // GatherMs hands its output over once, with its end (a batch shows output only on refresh).
    DWORD GatherMs = 100;
    bool GatherFromStart = false;
    // The next Execute's child is started after so long (a Stop meanwhile starts none).
    DWORD StartDelayMs = 0;
    std::vector<std::string>* OutputTarget = nullptr;  // not owned

    std::vector<std::string> CapturedLines;  // every handed-over text of the current run
    void AddInput(std::string entry);        // queued for the child's standard input (not empty)

    TReturnCode OutputReturnCode() const;
    TRunStatus RunStatus() const;
    DWORD ExitCode() const;
    bool Running() const;

    void SetCommandLine(const std::wstring& commandLine) override { CommandLine = commandLine; }
    void SetCurrentFolder(const std::wstring& folder) override { CurrentDirectory = folder; }
    // Given to the next run, which lets go of it once its child has ended.
    void KeepUntilEnded(std::shared_ptr<void> resource) override { kept_ = std::move(resource); }
    void Execute() override;  // stops a run in progress, starts a new one, returns at once
    void Stop();              // asks the run to end; does not wait
    // Gives up a start still waiting out its StartDelayMs (the run ends, OnTerminated is
    // told, no child is made); false, and nothing done, once the child is being made.
    bool GiveUpPutOffStart();

private:
    friend struct DosRun;
    std::shared_ptr<DosRun> current_;  // the run in progress, if any
    std::shared_ptr<DosRun> last_;     // the newest run, for its status
    std::vector<std::shared_ptr<DosRun>> runs_;  // runs whose thread may still reach us
    DWORD exitCode_ = 0;
    std::shared_ptr<void> kept_;
    UniqueHandle job_;  // kills the children when its last handle closes, with the program
    std::shared_ptr<std::mutex> inputLock_ = std::make_shared<std::mutex>();
    std::shared_ptr<std::deque<std::string>> input_ = std::make_shared<std::deque<std::string>>();
};

}  // namespace zandrel
