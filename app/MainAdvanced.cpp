// The main window's advanced options: the dialog, their storage with the other
// settings, and the sign that they are on.
#include "app/AdvancedOptions.h"
#include "app/Main.h"
#include "app/globals.h"
#include "app/settings.h"
#include "jobs/job_command.h"

namespace zandrel {

void TfrmMain::LoadAdvancedOptions() {
    Advanced = UpxOptionsFromStored([](const std::wstring& name) {
        // A value of the wrong kind is as bad as a wrong text: UPX's default, not an error
        // that would stop the window's preparation.
        try {
            return ReadIniFromReg(SettingsKey, name);
        } catch (const std::exception&) {
            return std::wstring();
        }
    });
    ShowAdvancedSign();
}

void TfrmMain::ShowAdvancedSign() {
    const std::wstring switches = UpxOptionSwitchText(Advanced);
    // Pressed in while they are on: no room in the bar for a longer caption, and nothing may move.
    SendMessageW(btnAdvanced.Handle(), BM_SETCHECK, switches.empty() ? BST_UNCHECKED : BST_CHECKED, 0);
    advancedHint_.Set(btnAdvanced.Handle(),
                      switches.empty() ? L"UPX's method, overlay and options for Windows programs: all at UPX's defaults"
                                       : L"Advanced options on; a compress adds: " + switches);
}

std::wstring TfrmMain::CommandLinePreview(const UpxOptions& options) const {
    JobForm form = ReadForm();
    form.testFlag = form.listFlag = false;
    form.advanced = options;
    const std::wstring upx = form.upx.empty() ? L"upx.exe" : FileNamePart(form.upx);
    const std::wstring source = form.source.empty() ? L"program.exe" : FileNamePart(form.source);
    std::wstring line = upx + L" " + JobSwitches(form) + L" \"" + source + L"\"";
    if (!form.target.empty() && form.target != form.source) line += L" -o \"" + FileNamePart(form.target) + L"\"";
    if (form.decompress) line += L"\r\n(Decompress, Test and List take none of the advanced options.)";
    return line;
}

void TfrmMain::btnAdvancedClick() {
    TAdvancedOptions dialog(Handle(), Advanced, [this](const UpxOptions& o) { return CommandLinePreview(o); });
    struct Shown {
        TAdvancedOptions*& slot;
        ~Shown() { slot = nullptr; }
    } shown{advancedDialog_ = &dialog};
    const auto chosen = dialog.Ask();
    if (!chosen) return;
    Advanced = *chosen;
    // The sign first: it tells what a Start will do even when storing fails below.
    ShowAdvancedSign();
    // Stored at once, as the UPX program is when chosen: the next start has them too.
    for (const auto& [name, text] : StoredFormOf(Advanced)) WriteIniToReg(SettingsKey, name, text);
    const std::wstring switches = UpxOptionSwitchText(Advanced);
    SetStatus(switches.empty() ? L"Advanced options: all at UPX's defaults."
                               : L"Advanced options on: a compress adds " + switches);
}

}  // namespace zandrel
