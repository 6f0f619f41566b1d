#pragma once
// The application object: title, dialog service, message loop, and the
// standard error report for exceptions that reach a window procedure.
#include <string>
#include <vector>

#include "framework/dialogs.h"
#include "framework/taskbar.h"
#include "framework/win.h"

namespace zandrel {

class Application {
public:
    static Application& Instance();

    // Common controls, DLL search path. Call once before any window is made.
    void Initialize();
    HINSTANCE Module() const { return module_; }

    void SetTitle(std::wstring title);
    const std::wstring& Title() const { return title_; }

    // The application's own window: a window of no size that carries
    // the title and the icon on the task bar and owns the program's windows,
    // so that each of them can come to the front and they go and come back
    // together when the program is minimised. Made at the first call.
    HWND Handle();
    // Shown with the main window: before that, nothing of the program is seen.
    void ShowTaskBarEntry();
    void SetIcons(HICON big, HICON smallIcon);
    void SetMainWindow(HWND hwnd) { mainWindow_ = hwnd; }
    void Minimize();
    void Restore();

    IDialogService& Dialogs() { return *dialogs_; }
    // Tests put a recorder here; nullptr restores the system dialogs.
    void SetDialogs(IDialogService* dialogs) { dialogs_ = dialogs ? dialogs : &systemDialogs_; }
    // The progress on the task bar button; tests put a recorder here, nullptr restores the shell's.
    ITaskbarProgress& Taskbar() { return *taskbar_; }
    void SetTaskbar(ITaskbarProgress* taskbar) { taskbar_ = taskbar ? taskbar : &shellTaskbar_; }

    // Windows whose keyboard navigation (Tab, mnemonics) the loop handles.
    void AddDialogWindow(HWND hwnd);
    void RemoveDialogWindow(HWND hwnd);

    int Run();         // message loop until WM_QUIT; returns its exit code
    void Terminate();  // ask the loop to end
    bool Terminated() const { return terminated_; }
    // Handles the messages waiting now; false when WM_QUIT was among them.
    bool ProcessMessages();

    void ShowException(const std::exception& e);

    // True while a BusyCursor lives: the program's windows then show the wait cursor.
    bool Busy() const { return busy_ > 0; }

private:
    Application() = default;
    bool Dispatch(MSG& msg);
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HINSTANCE module_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND mainWindow_ = nullptr;
    std::vector<HWND> hiddenByMinimize_;
    std::wstring title_;
    SystemDialogs systemDialogs_;
    IDialogService* dialogs_ = &systemDialogs_;
    ShellTaskbar shellTaskbar_;
    ITaskbarProgress* taskbar_ = &shellTaskbar_;
    std::vector<HWND> dialogWindows_;
    bool terminated_ = false;
    int busy_ = 0;
    HCURSOR cursorBeforeBusy_ = nullptr;
    friend class BusyCursor;
};

// The wait cursor for as long as it lives, also while messages are handled
// meanwhile and the mouse moves: the program's windows answer WM_SETCURSOR with it.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace zandrel
