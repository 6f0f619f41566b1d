// Baselines for the start-up figure: the smallest window program that paints,
// and (HELLO_WITH_TEXT) the same with one captioned button.
#include <windows.h>

static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"BenchHello";
    RegisterClassW(&wc);
    HWND h = CreateWindowW(L"BenchHello", L"hello", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, nullptr, nullptr,
                           instance, nullptr);
#ifdef HELLO_WITH_TEXT
    // Text costs a font system start-up under Wine; this baseline includes it.
    CreateWindowW(L"BUTTON", L"&Start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 20, 100, 30, h, nullptr,
                  instance, nullptr);
#endif
    ShowWindow(h, SW_SHOWNORMAL);
    UpdateWindow(h);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
