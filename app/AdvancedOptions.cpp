#include "app/AdvancedOptions.h"

#include <commctrl.h>

#include <algorithm>

namespace zandrel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kWidth = 540, kHeight = 690, kMargin = 12;
constexpr int kInner = 490;  // the width of a choice inside a group

constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;

constexpr const wchar_t* kKeepSyntax = L"Types, or TYPE/NAME, with commas between them; for example 2/MYBITMAP,5,6/12345";
constexpr const wchar_t* kKeepNeedsResources =
    L"UPX treats icons and this list only while it compresses resources.";

// The command line wraps only between arguments: "--strip-" at a line's end would read as two.
int CALLBACK BreakAtBlanks(LPWSTR text, int at, int length, int action) {
    switch (action) {
        case WB_ISDELIMITER:
            return text[at] == L' ';
        case WB_LEFT:
            while (at > 0 && text[at - 1] == L' ') --at;
            while (at > 0 && text[at - 1] != L' ') --at;
            return at;
        default:  // WB_RIGHT
            while (at < length && text[at] != L' ') ++at;
            while (at < length && text[at] == L' ') ++at;
            return at;
    }
}

}  // namespace

TAdvancedOptions::TAdvancedOptions(HWND owner, const UpxOptions& options,
                                   std::function<std::wstring(const UpxOptions&)> commandLine)
    : owner_(owner), commandLine_(std::move(commandLine)) {
    RegisterClassOnce(L"ZandrelAdvanced", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    scale_ = Scaler(GetDpiForSystem());
    CreateHandle(L"ZandrelAdvanced", kExStyle, kStyle, L"Advanced options", CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                 owner);
    scale_ = Scaler(GetDpiForWindow(Handle()));
    CreateMethodAndOverlay();
    CreateWindowsOptions();
    CreateButtons();
    Show(options);
    Layout();
}

TAdvancedOptions::~TAdvancedOptions() { Destroy(); }

void TAdvancedOptions::CreateMethodAndOverlay() {
    const HWND self = Handle();
    const auto& s = scale_;
    gbMethod.Create(self, L"BUTTON", L" Method ", BS_GROUPBOX, {kMargin, 8, kWidth - 2 * kMargin, 116}, s);
    rbMethodDefault.Create(self, L"BUTTON", L"UPX's &default method", kRadio | WS_GROUP | WS_TABSTOP,
                           {24, 30, kInner, 21}, s);
    rbLzma.Create(self, L"BUTTON", L"&LZMA: tighter, slower (--lzma)", kRadio, {24, 52, kInner, 21}, s);
    rbBrute.Create(self, L"BUTTON", L"&Brute: every method at the best level, slow (--brute)", kRadio, {24, 74, kInner, 21}, s);
    rbUltraBrute.Create(self, L"BUTTON", L"&Ultra brute: even more, very slow (--ultra-brute)", kRadio,
                        {24, 96, kInner, 21}, s);
    chkForce.Create(self, L"BUTTON", L"&Force: pack files UPX finds suspicious (-f)", kCheck | WS_GROUP,
                    {24, 130, kInner, 21}, s);
    gbOverlay.Create(self, L"BUTTON", L" Overlay: data after the program's end ", BS_GROUPBOX,
                     {kMargin, 156, kWidth - 2 * kMargin, 94}, s);
    rbOverlayCopy.Create(self, L"BUTTON", L"&Copy it into the packed file (UPX's default)",
                         kRadio | WS_GROUP | WS_TABSTOP, {24, 178, kInner, 21}, s);
    rbOverlayStrip.Create(self, L"BUTTON", L"&Strip it: DANGEROUS, the data is lost (--overlay=strip)", kRadio,
                          {24, 200, kInner, 21}, s);
    rbOverlaySkip.Create(self, L"BUTTON", L"S&kip files that have one (--overlay=skip)", kRadio,
                         {24, 222, kInner, 21}, s);
    for (RadioButton* r : {&rbMethodDefault, &rbLzma, &rbBrute, &rbUltraBrute, &rbOverlayCopy, &rbOverlayStrip,
                           &rbOverlaySkip})
        r->OnClick = [this] { Changed(); };
    chkForce.OnClick = [this] { Changed(); };
}

void TAdvancedOptions::CreateWindowsOptions() {
    const HWND self = Handle();
    const auto& s = scale_;
    gbWindows.Create(self, L"BUTTON", L" Windows programs ", BS_GROUPBOX, {kMargin, 258, kWidth - 2 * kMargin, 202},
                     s);
    chkExports.Create(self, L"BUTTON", L"Compress e&xports (cleared: --compress-exports=0)", kCheck | WS_GROUP,
                      {24, 280, kInner, 21}, s);
    chkResources.Create(self, L"BUTTON", L"Compress &resources (cleared: --compress-resources=0)", kCheck,
                        {24, 304, kInner, 21}, s);
    // Icons and the keep list belong to compressed resources: indented under them.
    lblIcons.Create(self, L"STATIC", L"&Icons:", 0, {44, 334, 0, 0}, s);
    cbIcons.Create(self, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {190, 330, 326, 200}, s);
    for (const auto* item : {L"0: no icons (--compress-icons=0)", L"1: all but the first icon (--compress-icons=1)",
                             L"2: all but the first icon directory (UPX's default)",
                             L"3: all icons (--compress-icons=3)"})
        cbIcons.AddItem(item);
    lblKeep.Create(self, L"STATIC", L"Kee&p uncompressed:", 0, {44, 364, 0, 0}, s);
    edKeep.Create(self, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, {190, 360, 326, 23}, s, WS_EX_CLIENTEDGE);
    lblKeepNote.Create(self, L"STATIC", kKeepSyntax, SS_NOPREFIX, {190, 386, 326, 46}, s);
    lblRelocs.Create(self, L"STATIC", L"Relocati&ons:", 0, {24, 438, 0, 0}, s);
    cbRelocs.Create(self, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {190, 434, 326, 200}, s);
    // In the order of UpxRelocs.
    for (const auto* item : {L"UPX decides: a program's stripped, a DLL's kept", L"Keep them (--strip-relocs=0)",
                             L"Strip them (--strip-relocs=1)"})
        cbRelocs.AddItem(item);
    for (CheckBox* c : {&chkExports, &chkResources}) c->OnClick = [this] { Changed(); };
    cbIcons.OnChange = [this] { Changed(); };
    cbRelocs.OnChange = [this] { Changed(); };
    edKeep.OnChange = [this] { Changed(); };
}

void TAdvancedOptions::CreateButtons() {
    const HWND self = Handle();
    const auto& s = scale_;
    btnPreset.Create(self, L"BUTTON", L"Pr&eset: keep resources, exports, relocations", kPush | WS_GROUP,
                     {kMargin, 470, 330, 28}, s);
    btnDefaults.Create(self, L"BUTTON", L"Back to UPX's defaul&ts", kPush, {350, 470, kWidth - kMargin - 350, 28}, s);
    lblPreset.Create(self, L"STATIC",
                     L"The preset leaves resources, exports and relocations uncompressed: the packed file is bigger, "
                     L"and more programs keep working with their icons, exports and resources. It promises nothing "
                     L"about virus scanners.",
                     SS_NOPREFIX, {kMargin, 506, kWidth - 2 * kMargin, 56}, s);
    lblCommand.Create(self, L"STATIC", L"Co&mmand line of a Start:", 0, {kMargin, 568, 0, 0}, s);
    edCommand.Create(self, L"EDIT", L"", ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_TABSTOP,
                    {kMargin, 586, kWidth - 2 * kMargin, 56},
                     s, WS_EX_CLIENTEDGE);
    btnOK.Create(self, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {kWidth - kMargin - 2 * 90 - 8, 652, 90, 28},
                 s);
    btnCancel.Create(self, L"BUTTON", L"Cancel", kPush, {kWidth - kMargin - 90, 652, 90, 28}, s);
    btnPreset.OnClick = [this] { Show(KeepPartsUncompressedPreset()); };
    btnDefaults.OnClick = [this] { Show(UpxOptions{}); };
    btnOK.OnClick = [this] { Close(true); };
    btnCancel.OnClick = [this] { Close(false); };
}

void TAdvancedOptions::Layout() {
    font_ = MakeFont(scale_, L"MS Sans Serif", 13);
    for (Control* c : std::initializer_list<Control*>{
             &gbMethod, &rbMethodDefault, &rbLzma, &rbBrute, &rbUltraBrute, &chkForce, &gbOverlay, &rbOverlayCopy,
             &rbOverlayStrip, &rbOverlaySkip, &gbWindows, &chkExports, &chkResources, &lblIcons, &cbIcons, &lblKeep,
             &edKeep, &lblKeepNote, &lblRelocs, &cbRelocs, &btnPreset, &btnDefaults, &lblPreset, &lblCommand, &edCommand,
             &btnOK, &btnCancel})
        c->Place(scale_, font_.get());
    SendMessageW(cbIcons.Handle(), CB_SETMINVISIBLE, 4, 0);
    SendMessageW(cbRelocs.Handle(), CB_SETMINVISIBLE, 3, 0);
    SendMessageW(edCommand.Handle(), EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&BreakAtBlanks));
    RECT r{0, 0, scale_(kWidth), scale_(kHeight)};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, scale_.Dpi());
    // Centred over the window it belongs to, within the screen.
    RECT owner{}, work{};
    GetWindowRect(owner_ ? owner_ : GetDesktopWindow(), &owner);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int x = std::max<int>(work.left, std::min<int>((owner.left + owner.right - width) / 2, work.right - width));
    const int y = std::max<int>(work.top, std::min<int>((owner.top + owner.bottom - height) / 2, work.bottom - height));
    SetWindowPos(Handle(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TAdvancedOptions::Show(const UpxOptions& o) {
    showing_ = true;  // one update at the end, not one per control
    const UpxMethod method = o.method;
    rbMethodDefault.SetChecked(method == UpxMethod::Default);
    rbLzma.SetChecked(method == UpxMethod::Lzma);
    rbBrute.SetChecked(method == UpxMethod::Brute);
    rbUltraBrute.SetChecked(method == UpxMethod::UltraBrute);
    chkForce.SetChecked(o.force);
    rbOverlayCopy.SetChecked(o.overlay == UpxOverlay::Copy);
    rbOverlayStrip.SetChecked(o.overlay == UpxOverlay::Strip);
    rbOverlaySkip.SetChecked(o.overlay == UpxOverlay::Skip);
    chkExports.SetChecked(o.compressExports);
    chkResources.SetChecked(o.compressResources);
    cbIcons.SetItemIndex(o.compressIcons >= 0 && o.compressIcons <= 3 ? o.compressIcons : UpxOptions::kDefaultIcons);
    edKeep.SetText(o.keepResource);
    cbRelocs.SetItemIndex(static_cast<int>(o.relocs));
    showing_ = false;
    Changed();
}

UpxOptions TAdvancedOptions::Chosen() const {
    UpxOptions o;
    o.method = rbLzma.Checked()         ? UpxMethod::Lzma
               : rbBrute.Checked()      ? UpxMethod::Brute
               : rbUltraBrute.Checked() ? UpxMethod::UltraBrute
                                        : UpxMethod::Default;
    o.force = chkForce.Checked();
    o.overlay = rbOverlayStrip.Checked() ? UpxOverlay::Strip : rbOverlaySkip.Checked() ? UpxOverlay::Skip : UpxOverlay::Copy;
    o.compressExports = chkExports.Checked();
    o.compressResources = chkResources.Checked();
    o.compressIcons = cbIcons.ItemIndex() >= 0 ? cbIcons.ItemIndex() : UpxOptions::kDefaultIcons;
    o.keepResource = edKeep.Text();
    o.relocs = cbRelocs.ItemIndex() > 0 ? static_cast<UpxRelocs>(cbRelocs.ItemIndex()) : UpxRelocs::Auto;
    return o;
}

void TAdvancedOptions::Changed() {
    if (showing_) return;
    const UpxOptions chosen = Chosen();
    // UPX treats icons and the keep list only with compressed resources.
    for (const Control* c : std::initializer_list<const Control*>{&lblIcons, &cbIcons, &lblKeep, &edKeep})
        EnableWindow(c->Handle(), chosen.compressResources);
    const std::wstring problem = KeepResourceProblem(chosen.keepResource);
    const std::wstring note = !chosen.compressResources ? kKeepNeedsResources : problem.empty() ? kKeepSyntax : problem;
    if (lblKeepNote.Text() != note) lblKeepNote.SetText(note);
    // A refused list is never taken: OK waits until it is mended (or resources are off again).
    const bool acceptable = !chosen.compressResources || problem.empty();
    if (!acceptable && GetFocus() == btnOK.Handle()) edKeep.SetFocus();
    EnableWindow(btnOK.Handle(), acceptable);
    edCommand.SetText(commandLine_ ? commandLine_(chosen) : UpxOptionSwitchText(chosen));
}

void TAdvancedOptions::Close(bool accepted) {
    // A refused list stays in its field, with its reason, until it is mended.
    if (accepted && !btnOK.Enabled()) {
        MessageBeep(MB_OK);
        edKeep.SetFocus();
        return;
    }
    accepted_ = accepted;
    closed_ = true;
}

std::optional<UpxOptions> TAdvancedOptions::Ask() {
    closed_ = accepted_ = false;
    // The keyboard starts on the method chosen (the arrows then move within its group).
    HWND first = rbMethodDefault.Handle();
    for (const RadioButton* r : {&rbLzma, &rbBrute, &rbUltraBrute})
        if (r->Checked()) first = r->Handle();
    RunModal(Handle(), owner_, first, [this] { return closed_; });
    if (!accepted_) return std::nullopt;
    UpxOptions chosen = Chosen();
    // A list typed while resources were off is not passed on; it is kept only when sound.
    if (!KeepResourceProblem(chosen.keepResource).empty()) chosen.keepResource.clear();
    return chosen;
}

LRESULT TAdvancedOptions::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (AnswerDialogKey(Handle(), wParam, lParam, [this](bool yes) { Close(yes); })) return 0;
            if (lParam && Control::Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            break;
        case WM_CLOSE:
            Close(false);
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
