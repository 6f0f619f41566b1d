#pragma once
// The progress on the program's task bar button (the shell's task bar list).
// Where the shell offers none, nothing shows and nothing breaks: the windows
// keep their own progress bars. Tests put a recorder in its place.
#include "framework/win.h"

struct ITaskbarList3;

namespace zandrel {

enum class TaskbarState {
    None,     // no progress on the button
    Working,  // green: done of total
    Failing,  // red: done of total, something went wrong on the way
    Pausing,  // yellow: done of total, the work is winding down
};

class ITaskbarProgress {
public:
    virtual ~ITaskbarProgress() = default;
    virtual void Show(HWND button, TaskbarState state, unsigned long long done, unsigned long long total) = 0;
};

// The shell's own, asked for at the first progress shown.
class ShellTaskbar : public ITaskbarProgress {
public:
    ShellTaskbar() = default;
    ShellTaskbar(const ShellTaskbar&) = delete;
    ShellTaskbar& operator=(const ShellTaskbar&) = delete;
    ~ShellTaskbar() override;
    void Show(HWND button, TaskbarState state, unsigned long long done, unsigned long long total) override;

private:
    ITaskbarList3* list_ = nullptr;
    bool asked_ = false;
};

}  // namespace zandrel
