#pragma once
// The plain maximised window behind UPX's own console during a visible run.
#include "framework/window.h"

namespace zandrel {

class TDosBoxBack : public Window {
public:
    explicit TDosBoxBack(HWND owner);
    void FormCreate();
    // Shows it maximised over the work area of the monitor `over` is on.
    void ShowCovering(HWND over) const;
};

}  // namespace zandrel
