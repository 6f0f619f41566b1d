#pragma once
// The small wait window over the disabled main window during a hidden run.
#include "framework/controls.h"
#include "framework/window.h"
#include "widgets/Label3D.h"

namespace zandrel {

class Thourglass : public Window {
public:
    static constexpr int kClientWidth = 253, kClientHeight = 162;

    // Made hidden, centred over `over`.
    explicit Thourglass(HWND over);
    void FormCreate();
    // Starts the animation when it holds a clip; false when there is none.
    bool Play() const;
    bool HasAnimation() const { return hasAnimation_; }

    Panel Panel1;
    TLabel3D Label3D1;
    Control Animate1;

private:
    bool hasAnimation_ = false;
};

}  // namespace zandrel
