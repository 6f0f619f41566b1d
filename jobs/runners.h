#pragma once
// What Start hands a job to: the synchronous runner for compress and
// decompress, and the console runner for test and list.
#include <functional>
#include <memory>
#include <string>

#include "framework/win.h"
#include "jobs/job_command.h"

namespace zandrel {

struct RunRequest {
    std::wstring commandLine;
    WORD showCommand = SW_HIDE;
    DWORD lingerMs = 0;
    std::wstring currentFolder;  // UPX's current folder; empty: the program's own
    // UPX's standard output and error go to a file Zandrel reads after the run (a hidden
    // run: nobody sees UPX's console, so its reasons would be lost otherwise).
    bool captureOutput = false;
    // UPX writes no file of the user's (only the job's own plain-named files, or
    // none): it then ends with the program, however the program ends, and a quit
    // request during the run ends it. Otherwise UPX is always let finish.
    bool mayEnd = false;
    // Called on a quit request during the run, before the program ends (the job's
    // temporary files go; those UPX still holds stay noted for the next start).
    std::function<void()> beforeQuit;
    // Called on a quit request during the run, just before the program ends (after beforeQuit).
    std::function<void()> atQuit;
};

class IRunAndWait {
public:
    virtual ~IRunAndWait() = default;
    // Starts the command line and waits for its end while messages flow;
    // then holds for the linger time. startResult is the system's error code of a failed start.
    virtual RunOutcome RunAndWait(const RunRequest& request) = 0;
};

// The console runner as Start sees it (DosCommand1).
class IConsoleCommand {
public:
    virtual ~IConsoleCommand() = default;
    virtual void SetCommandLine(const std::wstring& commandLine) = 0;
    virtual void SetCurrentFolder(const std::wstring& folder) = 0;  // empty: the program's own
    // Held by the next run until its child has ended (the job's temporary files).
    virtual void KeepUntilEnded(std::shared_ptr<void> resource) = 0;
    virtual void Execute() = 0;  // starts the run and returns at once
};

}  // namespace zandrel
