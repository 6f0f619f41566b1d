#pragma once
// What Start hands a job to: the synchronous runner for compress and
// decompress, and the console runner for test and list.
#include <string>

#include "framework/win.h"
#include "jobs/job_command.h"

namespace zandrel {

class IRunAndWait {
public:
    virtual ~IRunAndWait() = default;
    // Starts the command line and waits for its end while messages flow;
    // then holds for `lingerMs`. startResult is the system's error code of a failed start.
    virtual RunOutcome RunAndWait(const std::wstring& commandLine, WORD showCommand, DWORD lingerMs) = 0;
};

// The console runner as Start sees it (DosCommand1).
class IConsoleCommand {
public:
    virtual ~IConsoleCommand() = default;
    virtual void SetCommandLine(const std::wstring& commandLine) = 0;
    virtual void Execute() = 0;  // starts the run and returns at once
};

}  // namespace zandrel
