#pragma once
// Explorer's menus for Zandrel, per user (HKEY_CURRENT_USER\Software\Classes, no
// administrator): "Open in Zandrel" and "Compress with Zandrel" for programs and
// libraries, "Compress with Zandrel" for folders, and "Zandrel" in Send To.
// The program's system menu and its /register-shell and /unregister-shell
// switches (which the installer runs) both come here, so they do the same.
#include <optional>
#include <string>

namespace zandrel {

struct ShellOutcome {
    bool done = true;
    std::wstring reason;  // why not, when not done
};

// Writes every entry for the program at `exe` (a full path), replacing ours that
// point elsewhere. A failure takes back what was written and says why. Refused before
// anything is written: a verb of our name that starts another program, and a path
// holding '%' (the shell would read it as a placeholder in the verbs' commands).
ShellOutcome AddExplorerEntries(const std::wstring& exe);
// Takes away our verbs (only those whose command starts a Zandrel), the keys above
// them that are left empty, and a Send To shortcut that starts a Zandrel.
ShellOutcome RemoveExplorerEntries();

enum class EntriesState {
    None,     // nothing of ours
    Ours,     // all of them, exactly as AddExplorerEntries writes them for this program
    Partly,   // some, or for another Zandrel
};
EntriesState ExplorerEntriesState(const std::wstring& exe);

// The Send To shortcut's full path; empty when the user's Send To folder is unknown.
std::wstring SendToShortcutPath();
struct ShortcutFacts {
    std::wstring target, arguments;
};
std::optional<ShortcutFacts> ReadShortcut(const std::wstring& path);

}  // namespace zandrel
