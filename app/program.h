#pragma once
// The program's two long-lived windows and its command line. The main window
// is made first and goes first: it holds the console message window and still
// reaches it while it is destroyed (a batch's last lines, its handlers let go).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/command_line.h"
#include "console/MsgOut.h"
#include "shell/BatchHandOver.h"

namespace zandrel {

class ProgramWindows {
public:
    explicit ProgramWindows(MainDeps deps = {});
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TfrmMain& Main() { return *main_; }
    TMessageOutput& Console() { return *console_; }

    // The arguments after the program's name: one naming an existing file fills
    // the source field (a relative name made whole); more than one ends the
    // program before any window shows; /batch FILE... shows the window and asks
    // the batch question. False when the program is to end.
    bool TreatArguments(const std::vector<std::wstring>& arguments);
    // `late` (a /batch start's collector) hands files from later starts to the batch question.
    bool TreatRequest(const StartRequest& request, BatchCollector* late = nullptr);

private:
    std::unique_ptr<TfrmMain> main_;
    std::unique_ptr<TMessageOutput> console_;
};

// What the command line asks before any window is made: Explorer's menus added or
// removed (the exit code: 0 done, 1 not), or a batch's files gathered from the other
// starts (nothing to give: this start's files went to another Zandrel, exit code 0).
// Nothing when the program goes on to its windows with `request`; a batch's collector,
// still taking files from later starts, is then left in `collector`.
std::optional<int> TreatSwitches(StartRequest& request, std::unique_ptr<BatchCollector>* collector = nullptr);

}  // namespace zandrel
