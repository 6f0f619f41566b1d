#pragma once
// What the program's command line asks for. Besides the plain forms (no argument:
// the window; one: a file for the source field; more: end at once), three switches,
// each recognised only as the first argument, case aside. A switch starts with '/',
// which no Windows file name can hold, so a file is never taken for a switch.
#include <string>
#include <vector>

namespace zandrel {

enum class StartKind {
    Window,           // no argument, or /batch without files: the window as it is
    OpenFile,         // one argument: the file for the source field (when it exists)
    End,              // more than one plain argument: end before any window shows
    Batch,            // /batch FILE...: one batch of these files and folders, asked first
    RegisterShell,    // /register-shell: add Explorer's menus, no window
    UnregisterShell,  // /unregister-shell: remove them, no window
    Refused,          // a switch with arguments it does not take: ends with exit code 1
};

struct StartRequest {
    StartKind kind = StartKind::Window;
    std::vector<std::wstring> files;  // OpenFile: the one; Batch: all of them
};

StartRequest ReadCommandLine(const std::vector<std::wstring>& arguments);

}  // namespace zandrel
