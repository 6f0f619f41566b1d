#pragma once
// The advanced options dialog: UPX's method, force, overlay and the options for
// Windows programs, a preset, UPX's defaults, and the command line they make,
// shown as the user chooses. A --keep-resource list UPX could not read is
// refused where it is typed: its reason shows under it and OK waits.
#include <functional>
#include <optional>
#include <string>

#include "framework/controls.h"
#include "jobs/upx_options.h"

namespace zandrel {

class TAdvancedOptions : public Window {
public:
    // `commandLine` gives the command line Start would run with these options.
    TAdvancedOptions(HWND owner, const UpxOptions& options,
                     std::function<std::wstring(const UpxOptions&)> commandLine);
    ~TAdvancedOptions() override;

    // Shows the dialog until OK or Cancel; the chosen options, or nothing when cancelled.
    std::optional<UpxOptions> Ask();
    // The options as the controls show them now (a refused keep list included as typed).
    UpxOptions Chosen() const;
    bool KeepListRefused() const { return !KeepResourceProblem(edKeep.Text()).empty(); }

    Control gbMethod, gbOverlay, gbWindows;
    RadioButton rbMethodDefault, rbLzma, rbBrute, rbUltraBrute;
    CheckBox chkForce;
    RadioButton rbOverlayCopy, rbOverlayStrip, rbOverlaySkip;
    CheckBox chkExports, chkResources;
    Label lblIcons, lblKeep, lblKeepNote, lblRelocs, lblPreset, lblCommand;
    ComboBox cbIcons, cbRelocs;
    Edit edKeep, edCommand;
    Button btnPreset, btnDefaults, btnOK, btnCancel;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateMethodAndOverlay();
    void CreateWindowsOptions();
    void CreateButtons();
    void Layout();
    void Show(const UpxOptions& options);  // the controls say these options
    void Changed();                        // a choice changed: what depends on it follows
    void Close(bool accepted);

    HWND owner_;
    std::function<std::wstring(const UpxOptions&)> commandLine_;
    bool closed_ = false, accepted_ = false, showing_ = false;
    Scaler scale_;
    UniqueFont font_;
};

}  // namespace zandrel
