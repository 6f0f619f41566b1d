// Explorer's menus from the main window's system menu: "Add to Explorer's menus"
// and "Remove from Explorer's menus", the one that applies enabled. They do what
// the installer's option does (/register-shell, /unregister-shell): shell/ExplorerEntries.
#include "app/Main.h"

#include "framework/application.h"
#include "framework/files.h"
#include "shell/ExplorerEntries.h"

namespace zandrel {

std::wstring TfrmMain::ExplorerProgram() const {
    return deps_.programPath.empty() ? ProgramPath() : deps_.programPath;
}

void TfrmMain::AddExplorerMenuItems() {
    const HMENU menu = GetSystemMenu(Handle(), FALSE);
    if (!menu) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAddExplorerMenus, L"Add to Explorer's menus");
    AppendMenuW(menu, MF_STRING, kRemoveExplorerMenus, L"Remove from Explorer's menus");
}

void TfrmMain::ExplorerMenuOpening() {
    const HMENU menu = GetSystemMenu(Handle(), FALSE);
    if (!menu) return;
    const EntriesState state = ExplorerEntriesState(ExplorerProgram());
    EnableMenuItem(menu, kAddExplorerMenus, MF_BYCOMMAND | (state == EntriesState::Ours ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, kRemoveExplorerMenus, MF_BYCOMMAND | (state == EntriesState::None ? MF_GRAYED : MF_ENABLED));
}

bool TfrmMain::ExplorerMenuChosen(UINT item) {
    if (item != kAddExplorerMenus && item != kRemoveExplorerMenus) return false;
    auto& dialogs = Application::Instance().Dialogs();
    if (item == kAddExplorerMenus) {
        const ShellOutcome outcome = AddExplorerEntries(ExplorerProgram());
        if (!outcome.done) {
            ShowError(L"Zandrel could not be added to Explorer's menus. " + outcome.reason);
            return true;
        }
        dialogs.Box(Handle(),
                    L"Explorer's menus now offer Zandrel: \"Open in Zandrel\" and \"Compress with Zandrel\" for "
                    L"programs and libraries, \"Compress with Zandrel\" for folders, and \"Zandrel\" in Send To.",
                    BoxKind::Information, BoxButtons::Ok);
        return true;
    }
    const ShellOutcome outcome = RemoveExplorerEntries();
    if (!outcome.done) {
        ShowError(L"Zandrel could not be removed from Explorer's menus. " + outcome.reason);
        return true;
    }
    dialogs.Box(Handle(), L"Zandrel is no longer in Explorer's menus.", BoxKind::Information, BoxButtons::Ok);
    return true;
}

}  // namespace zandrel
