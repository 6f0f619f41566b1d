#pragma once
#include "jobs/runners.h"

namespace zandrel {

// Runs UPX in a console of its own and waits on its process handle, so the
// CPU stays idle and window messages keep flowing.
class ProcessRunAndWait : public IRunAndWait {
public:
    RunOutcome RunAndWait(const RunRequest& request) override;

private:
    UniqueHandle job_;  // kills the UPX of a run on working copies when the program ends
};

}  // namespace zandrel
