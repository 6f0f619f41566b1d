#pragma once
// The plain maximised window behind UPX's own console during a visible run.
#include "framework/window.h"

namespace zandrel {

class TDosBoxBack : public Window {
public:
    explicit TDosBoxBack(HWND owner);
    void FormCreate();
};

}  // namespace zandrel
