#pragma once
// Work that blocks for a long time (a child's whole run) on a thread of its own.
#include <functional>

namespace zandrel {

// Runs `work` on a thread of the system's pool, told that it may run long, so the pool
// keeps other work going beside it; a new thread of its own where the pool refuses.
// A thread made for every run cost its caller 0.5 ms under Wine (two per batch file).
void RunOnPoolThread(std::function<void()> work);

}  // namespace zandrel
