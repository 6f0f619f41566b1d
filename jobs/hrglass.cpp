#include "jobs/hrglass.h"

#include <commctrl.h>

#include "app/globals.h"
#include "framework/files.h"

namespace zandrel {

Thourglass::Thourglass(HWND over) {
    RegisterClassOnce(L"ZandrelHourglass");
    const Scaler scale(GetDpiForWindow(over));
    const int w = scale(kClientWidth), h = scale(kClientHeight);
    RECT around;
    GetWindowRect(over, &around);
    const int x = around.left + (around.right - around.left - w) / 2;
    const int y = around.top + (around.bottom - around.top - h) / 2;
    CreateHandle(L"ZandrelHourglass", WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP, L"", x, y, w, h, over);

    Panel1.Create(Handle(), {0, 0, kClientWidth, kClientHeight}, scale, Panel::Bevel::RaisedOuter);
    // Wider than designed, to the panel's right edge: the caption in its font is wider than
    // 177 pixels at every DPI. Its left edge stays, so the text still stands over the middle.
    Label3D1.Create(Panel1.Handle(), {32, 24, kClientWidth - 32 - 4, 21}, scale);
    Label3D1.SetAutoSize(false);
    Label3D1.Place(scale);  // back to its designed size
    Label3D1.SetFont(L"Comic Sans MS", 15, true);
    Label3D1.SetTextStyle(TTextStyle::tsRaised);
    Label3D1.SetShift(1);
    Label3D1.SetBorder(false);
    Label3D1.SetEscapement(0);
    Label3D1.SetCaption(L"Processing...Please wait!");
    Animate1.Create(Panel1.Handle(), ANIMATE_CLASSW, L"", ACS_CENTER | ACS_TRANSPARENT, {104, 80, 57, 49}, scale);
    FormCreate();
}

void Thourglass::FormCreate() {
    const auto clip = ExeDir + L"Process.avi";
    if (IsExistingFile(clip))
        hasAnimation_ = SendMessageW(Animate1.Handle(), ACM_OPENW, 0, reinterpret_cast<LPARAM>(clip.c_str())) != 0;
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool Thourglass::Play() const {
    if (!hasAnimation_) return false;
    return SendMessageW(Animate1.Handle(), ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)) != 0;
}

}  // namespace zandrel
