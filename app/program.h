#pragma once
// The program's two long-lived windows and its command line. The main window
// is made first and goes first: it holds the console message window and still
// reaches it while it is destroyed (a batch's last lines, its handlers let go).
#include <memory>
#include <string>
#include <vector>

#include "app/Main.h"
#include "console/MsgOut.h"

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
    // program before any window shows. False when the program is to end.
    bool TreatArguments(const std::vector<std::wstring>& arguments);

private:
    std::unique_ptr<TfrmMain> main_;
    std::unique_ptr<TMessageOutput> console_;
};

}  // namespace zandrel
