#pragma once
// The synchronous call into the GUI thread: another thread hands over work and
// waits until the GUI thread has run it, or until its cancel event is set.
#include <functional>

#include "framework/win.h"

namespace zandrel {

class GuiCall {
public:
    // In the GUI thread, before any other thread calls Run.
    static void Initialize();
    // From any other thread. False when `cancel` came first: the work then never runs.
    // `done` is the caller's auto-reset event for its calls one after another (a call
    // given up never sets it later); without it each call makes one, a server call
    // under Wine.
    static bool Run(std::function<void()> work, HANDLE cancel, HANDLE done = nullptr);
};

}  // namespace zandrel
