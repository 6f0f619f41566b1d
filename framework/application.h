#pragma once
// The application object: title, dialog service, message loop, and the
// standard error report for exceptions that reach a window procedure.
#include <string>
#include <vector>

#include "framework/dialogs.h"
#include "framework/win.h"

namespace zandrel {

class Application {
public:
    static Application& Instance();

    // Common controls, DLL search path. Call once before any window is made.
    void Initialize();
    HINSTANCE Module() const { return module_; }

    void SetTitle(std::wstring title) { title_ = std::move(title); }
    const std::wstring& Title() const { return title_; }

    IDialogService& Dialogs() { return *dialogs_; }
    // Tests put a recorder here; nullptr restores the system dialogs.
    void SetDialogs(IDialogService* dialogs) { dialogs_ = dialogs ? dialogs : &systemDialogs_; }

    // Windows whose keyboard navigation (Tab, mnemonics) the loop handles.
    void AddDialogWindow(HWND hwnd);
    void RemoveDialogWindow(HWND hwnd);

    int Run();         // message loop until WM_QUIT; returns its exit code
    void Terminate();  // ask the loop to end
    bool Terminated() const { return terminated_; }
    // Handles the messages waiting now; false when WM_QUIT was among them.
    bool ProcessMessages();

    void ShowException(const std::exception& e);

private:
    Application() = default;
    bool Dispatch(MSG& msg);

    HINSTANCE module_ = nullptr;
    std::wstring title_;
    SystemDialogs systemDialogs_;
    IDialogService* dialogs_ = &systemDialogs_;
    std::vector<HWND> dialogWindows_;
    bool terminated_ = false;
};

}  // namespace zandrel
