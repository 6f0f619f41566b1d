// The main window: its layout and wiring, start-up, Exit, About and Help, and
// its messages. The jobs are in MainJobs.cpp, the browser pane in MainBrowser.cpp.
#include "app/Main.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/descrambler.h"
#include "app/globals.h"
#include "app/settings.h"
#include "app/stored_values.h"
#include "browser/favorites.h"
#include "framework/registry.h"
#include "batch/BatchWindow.h"
#include "jobs/batch_run.h"
#include "console/MsgOut.h"
#include "framework/application.h"
#include "framework/files.h"
#include "jobs/job_command.h"
#include "jobs/Back.h"
#include "jobs/hrglass.h"
#include "jobs/job_host.h"
#include "jobs/run_and_wait.h"
#include "jobs/temporary_files.h"
#include "resources/resource.h"
#include "widgets/About.h"
#include "zandrel_texts.h"
#include "zandrel_version.h"

namespace zandrel {
namespace {

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr const wchar_t* kFontFace = L"MS Sans Serif";
constexpr int kFontHeight = 13;

constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;

// Children of a group box sit on the group box's parent, offset by its corner.
DesignRect In(const DesignRect& group, int x, int y, int w, int h) { return {group.x + x, group.y + y, w, h}; }

}  // namespace

TfrmMain::TfrmMain(MainDeps deps) : deps_(std::move(deps)) {
    DosCommand1.InputToOutput = false;
    DosCommand1.MaxTimeAfterBeginning = 0;
    DosCommand1.MaxTimeAfterLastOutput = 0;
    DosCommand1.ShowWindow = TShowWindow::swHIDE;
    DosCommand1.CreationFlag = TCreationFlag::fCREATE_NEW_CONSOLE;
    DosCommand1.ReturnCode = TReturnCode::rcCRLF;
    DosCommand1.OnNewLine = [this](TDosCommand* sender, const std::string& line, TOutputType type) {
        DosCommand1NewLine(sender, line, type);
    };
    DosCommand1.OnTerminated = [this](TDosCommand* sender, DWORD exitCode) { DosCommand1Terminated(sender, exitCode); };
    DecodeStoredNames();
    // The splash first: the window is prepared while it holds, not before it shows. A stored
    // setting that cannot be read ends the preparation before its splash (its error is shown
    // instead), so then there is none.
    if (deps_.splash && StoredSettingsRead()) {
        splash_ = std::make_unique<TfrmBanner>();
        ShowWindow(splash_->Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(splash_->Handle());
        RedrawWindow(splash_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        splashShownAt_ = GetTickCount64();
    }
    if (!deps_.console) deps_.console = &DosCommand1;
    if (!deps_.runner) {
        ownRunner_ = std::make_unique<ProcessRunAndWait>();
        deps_.runner = ownRunner_.get();
    }
    const HINSTANCE module = GetModuleHandleW(nullptr);
    appIcon_.reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_ZANDREL), IMAGE_ICON, 32, 32, 0)));
    appIconSmall_.reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_ZANDREL), IMAGE_ICON, 16, 16, 0)));
    RegisterClassOnce(L"ZandrelMain", CS_DBLCLKS, nullptr, appIcon_.get());
    scale_ = Scaler(GetDpiForSystem());
    // Owned by the application's window, whose task-bar entry is the program's.
    auto& app = Application::Instance();
    CreateHandle(L"ZandrelMain", kExStyle, kStyle, L"", kDesignLeft, kDesignTop, 200, 200, app.Handle());
    scale_ = Scaler(GetDpiForWindow(Handle()));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIconSmall_.get()));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_.get()));
    app.SetIcons(appIcon_.get(), appIconSmall_.get());
    app.SetMainWindow(Handle());
    CreateControls();
    AddExplorerMenuItems();
    WireHandlers();
    ApplyLayout();
    Application::Instance().AddDialogWindow(Handle());
    try {
        FormCreate();
    } catch (const std::exception& e) {
        splash_.reset();
        Application::Instance().ShowException(e);
    }
    splash_.reset();
}

TfrmMain::~TfrmMain() {
    closing_ = true;
    if (MessageOutput) MessageOutput->OnClosed = nullptr;
    FinishBatch();  // a UPX at work finishes its file (and its check) first
    ForgetBatch();
    Application::Instance().RemoveDialogWindow(Handle());
    Destroy();
    if (pmFavoriteDir) DestroyMenu(pmFavoriteDir);
}

void TfrmMain::Show() const {
    Application::Instance().ShowTaskBarEntry();
    ShowWindow(Handle(), SW_SHOWNORMAL);
    UpdateWindow(Handle());
}

std::string TfrmMain::BytsToEncStr2(std::span<const std::uint8_t> bytes) const { return zandrel::BytsToEncStr2(bytes); }

std::string TfrmMain::BytsToEncStr4(std::span<const std::uint8_t> bytes) const { return zandrel::BytsToEncStr4(bytes); }

void TfrmMain::CreateControls() {
    CreateBrowserPane();
    CreateJobPanel();
    CreateButtonBar();

    // Designed defaults.
    rbCompress.SetChecked(true);
    cbCompressRatio.SetItemIndex(4);
    chkBackup.SetChecked(true);
    chkDosBox.SetChecked(true);
}

void TfrmMain::CreateBrowserPane() {
    const HWND form = Handle();
    const auto& s = scale_;
    const int b = kBorderWidth;

    // Left pane: the file browser lives here.
    PanMiddleLeft.Create(form, {b, b, 225, 433}, s);
    pnShell.Create(PanMiddleLeft.Handle(), {0, 0, 225, 433}, s);
    // The band bar: drive selector, file-type filter and tool bar, one row each.
    CoolBar1.Create(pnShell.Handle(), {0, 0, 225, 96}, s);
    const HWND bar = CoolBar1.Handle();
    // Its types first: a drive of another type (a network drive that is away) is never touched.
    cbShellDrive1.SetDriveTypes(DriveTypeBit(TDriveType::dtFloppy) | DriveTypeBit(TDriveType::dtFixed) |
                                DriveTypeBit(TDriveType::dtCDROM));
    if (deps_.drives) cbShellDrive1.Table = deps_.drives;
    cbShellDrive1.Create(bar, {0, 0, 219, 230}, s);
    FilterComboBox1.Create(bar, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {0, 0, 219, 120}, s);
    // Entries are the descriptions of the filter text (its odd parts are the patterns).
    const auto filter = Widen8(BytsToEncStr2(texts::FilterBrowser));
    for (std::size_t start = 0, part = 0; start <= filter.size(); ++part) {
        const auto end = std::min(filter.find(L'|', start), filter.size());
        if (part % 2 == 0) FilterComboBox1.AddItem(filter.substr(start, end - start));
        start = end + 1;
    }
    ToolBar1.Create(bar, {0, 0, 219, 27}, s, 25);
    btnUp1.Attach(ToolBar1, ToolBar1.AddButton(L"BTNUP", false));
    ToolBar1.AddSeparator(2);
    btnRefresh1.Attach(ToolBar1, ToolBar1.AddButton(L"BTNREFRESH", false));
    ToolBar1.AddSeparator(2);
    btnHome.Attach(ToolBar1, ToolBar1.AddButton(L"BTNHOME", false));
    ToolBar1.AddSeparator(2);
    btnViewStyle.Attach(ToolBar1, ToolBar1.AddButton(L"BTNVIEW", true));
    favoritePlace_ = ToolBar1.AddPlaceholder(s(39));
    btnFavoriteDir.Create(ToolBar1.Handle(), {0, 0, 39, 25}, s);
    btnFavoriteDir.SetFlat(true);
    if (const auto glyph = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), L"BTNFAVORITE", IMAGE_BITMAP,
                                                           0, 0, LR_CREATEDIBSECTION))) {
        btnFavoriteDir.SetGlyph(glyph);
        DeleteObject(glyph);
    }
    btnFavoriteDir.SetHint(L"Add/Goto favorite folder");
    // The picture-only buttons say what they do, and their keys in the list.
    btnUp1.SetHint(L"Up one folder (Ctrl+U)");
    btnRefresh1.SetHint(L"Reload the list (Ctrl+Left arrow)");
    btnHome.SetHint(L"Root of the drive (Ctrl+Home)");
    btnViewStyle.SetHint(L"Small icons or details (Ctrl+S)");
    CoolBar1.AddBand(cbShellDrive1.Handle(), 24);
    CoolBar1.AddBand(FilterComboBox1.Handle(), 24);
    CoolBar1.AddBand(ToolBar1.Handle(), 27);

    // The file list fills the rest of the pane.
    ShellDir1.SetMultiSelect(true);
    ShellDir1.SetViewStyle(TViewStyle::vsSmallIcon);
    ShellDir1.ColWidthName = s(110), ShellDir1.ColWidthSize = s(80), ShellDir1.ColWidthType = s(110);
    ShellDir1.ColWidthDate = s(130), ShellDir1.ColWidthAttr = s(35);
    ShellDir1.Create(pnShell.Handle(), {0, 96, 225, 337}, s);
}

void TfrmMain::CreateJobPanel() {
    const HWND form = Handle();
    const auto& s = scale_;
    const int b = kBorderWidth;

    // Right panel, in tab order; each label comes right before the control it names.
    pnRight.Create(form, {b + 225, b, 419, 433}, s);
    const HWND r = pnRight.Handle();
    lblUPX.Create(r, L"STATIC", L"UPX progra&m:", 0, {24, 40, 0, 0}, s);
    edUPX.Create(r, L"EDIT", L"", kEdit | ES_READONLY, {24, 62, 337, 25}, s, WS_EX_CLIENTEDGE);
    btnUPX.Create(r, L"BUTTON", L"", kPush | BS_ICON, {366, 62, 27, 25}, s);
    lblSource.Create(r, L"STATIC", L"So&urce file:", 0, {24, 104, 0, 0}, s);
    edSource.Create(r, L"EDIT", L"", kEdit, {24, 126, 337, 25}, s, WS_EX_CLIENTEDGE);
    btnSource.Create(r, L"BUTTON", L"", kPush | BS_ICON, {366, 126, 27, 25}, s);
    lblTarget.Create(r, L"STATIC", L"Ta&rget file:", 0, {24, 162, 0, 0}, s);
    edTarget.Create(r, L"EDIT", L"", kEdit, {24, 182, 337, 25}, s, WS_EX_CLIENTEDGE);
    btnTarget.Create(r, L"BUTTON", L"", kPush | BS_ICON, {366, 182, 27, 25}, s);

    const DesignRect commands{24, 224, 377, 81};
    gbCommands.Create(r, L"BUTTON", L" Commands ", BS_GROUPBOX | WS_GROUP, commands, s);
    rbCompress.Create(r, L"BUTTON", L"&Compress", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
                      In(commands, 32, 24, 140, 21), s);
    rbDecompress.Create(r, L"BUTTON", L"&Decompress", BS_AUTORADIOBUTTON, In(commands, 32, 48, 140, 21), s);
    btnTest.Create(r, L"BUTTON", L"&Test", kPush | WS_GROUP, In(commands, 240, 20, 57, 25), s);
    btnList.Create(r, L"BUTTON", L"&List", kPush, In(commands, 240, 48, 57, 25), s);

    const DesignRect options{24, 312, 377, 121};
    gbOptions.Create(r, L"BUTTON", L" Options ", BS_GROUPBOX | WS_GROUP, options, s);
    lblCompressRatio.Create(r, L"STATIC", L"Compress&ion level :", 0, In(options, 16, 25, 0, 0), s);
    cbCompressRatio.Create(r, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                           In(options, 16, 49, 113, 230), s);
    for (const auto* level : {L"best", L"9", L"8", L"7", L"6", L"5", L"4", L"3", L"2", L"1"})
        cbCompressRatio.AddItem(level);
    SendMessageW(cbCompressRatio.Handle(), CB_SETMINVISIBLE, 10, 0);
    chkBackup.Create(r, L"BUTTON", L"&Backup", kCheck, In(options, 160, 24, 110, 21), s);
    chkDosBox.Create(r, L"BUTTON", L"D&os box", kCheck, In(options, 280, 24, 90, 21), s);
    // Where its line is too long for the room left of the group's edge (a big DPI), it wraps
    // upwards into the free room under Backup: the q boxes below keep their place.
    lblQ.Create(r, L"STATIC", L"Output warning or error messages:", 0, In(options, 160, 64, 214, 0), s);
    lblQ.SetGrowsUp(true);
    chkQ.Create(r, L"BUTTON", L"q", kCheck, In(options, 160, 88, 48, 21), s);
    chkQQ.Create(r, L"BUTTON", L"qq", kCheck, In(options, 216, 88, 56, 21), s);
    chkQQQ.Create(r, L"BUTTON", L"qqq", kCheck, In(options, 280, 88, 64, 21), s);
    btnKeepSettings.Create(r, L"BUTTON", L"&Keep settings", kPush | WS_GROUP, In(options, 16, 88, 113, 25), s);

    pnListTop.Create(r, {0, 0, 419, 25}, s, Panel::Bevel::RaisedInner);
    imgCurDir.Create(pnListTop.Handle(), L"STATIC", L"", SS_ICON | SS_REALSIZECONTROL | SS_CENTERIMAGE,
                     {8, 5, 18, 18}, s);
    lblCurDir.Create(pnListTop.Handle(), L"STATIC", L"", SS_NOPREFIX | SS_PATHELLIPSIS, {32, 5, 380, 0}, s);
}

void TfrmMain::CreateButtonBar() {
    const HWND form = Handle();
    const auto& s = scale_;
    const int b = kBorderWidth;

    // Button bar, created in its tab order.
    pnBottom.Create(form, {b, b + 446, 644, 58}, s);
    const HWND bottom = pnBottom.Handle();
    btnStart.Create(bottom, L"BUTTON", L"&Start", kPush, {456, 15, 81, 30}, s);
    btnExit.Create(bottom, L"BUTTON", L"E&xit", kPush, {552, 15, 75, 30}, s);
    btnUPXVersion.Create(bottom, L"BUTTON", L"UPX &Version", kPush, {352, 15, 89, 30}, s);
    btnUPXHelp.Create(bottom, L"BUTTON", L"UPX &Help", kPush, {272, 15, 75, 30}, s);
    btnHelp.Create(bottom, L"BUTTON", L"H&elp", kPush, {112, 15, 75, 30}, s);
    btnAbout.Create(bottom, L"BUTTON", L"&About", kPush, {24, 15, 75, 30}, s);
    // In the bar's free room between Help and UPX Help, last in the tab order: nothing moves.
    // It stays pressed in while advanced options are on, and its hint names them.
    btnAdvanced.Create(bottom, L"BUTTON", L"Adva&nced...", BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP, {191, 15, 77, 30},
                       s);
    // The status line: one line under the button bar; the window grows by it.
    lblStatus.Create(form, L"STATIC", L"", SS_NOPREFIX | SS_ENDELLIPSIS | SS_CENTERIMAGE | SS_SUNKEN | SS_NOTIFY,
                     {b, b + kClientHeight, kClientWidth, kStatusHeight}, s);
}

void TfrmMain::WireHandlers() {
    btnExit.OnClick = [this] { btnExitClick(); };
    btnAbout.OnClick = [this] { btnAboutClick(); };
    btnHelp.OnClick = [this] { btnHelpClick(); };
    btnStart.OnClick = [this] { btnStartClick(); };
    btnTest.OnClick = [this] { btnTestClick(); };
    btnList.OnClick = [this] { btnListClick(); };
    chkQ.OnClick = [this] { chkQClick(); };
    chkQQ.OnClick = [this] { chkQQClick(); };
    chkQQQ.OnClick = [this] { chkQQQClick(); };
    btnUPX.OnClick = [this] { btnUPXClick(); };
    btnSource.OnClick = [this] { btnSourceClick(); };
    btnTarget.OnClick = [this] { btnTargetClick(); };
    edSource.OnChange = [this] { edSourceChange(); };
    edUPX.OnChange = [this] { edUPXChange(); };
    UpxCheck.OnAnswer = [this] { UpxCheckAnswered(); };
    btnKeepSettings.OnClick = [this] { btnKeepSettingsClick(); };
    btnAdvanced.OnClick = [this] { btnAdvancedClick(); };
    btnUPXHelp.OnClick = [this] { btnUPXHelpClick(); };
    btnUPXVersion.OnClick = [this] { btnUPXVersionClick(); };
    FilterComboBox1.OnChange = [this] { FilterComboBox1Click(); };
    cbShellDrive1.OnChange = [this] { cbShellDrive1Change(); };
    cbShellDrive1.SetOnKeyUp([this](WORD key) { cbShellDrive1KeyUp(key); });
    ShellDir1.OnAddFile = [this](TDirView* v, TSearchRec& r, bool& add) { ShellDir1AddFile(v, r, add); };
    ShellDir1.OnExecFile = [this](TDirView* v, int item, bool& allow) { ShellDir1ExecFile(v, item, allow); };
    ShellDir1.OnChanging = [this](TDirView* v, int item, TItemChange c, bool& allow) {
        ShellDir1Changing(v, item, c, allow);
    };
    ShellDir1.OnDblClick = [this] { ShellDir1DblClick(); };
    ShellDir1.OnDDFileOperationExecuted = [this](TDirView*, DWORD, const std::wstring&, const std::wstring&) {
        ShellDir1DDFileOperationExecuted();
    };
    ShellDir1.OnKeyUp = [this](WORD key, bool shift, bool ctrl, bool alt) { ShellDir1KeyUp(key, shift, ctrl, alt); };
    btnUp1.OnClick = [this] { btnUp1Click(); };
    btnRefresh1.OnClick = [this] { btnRefresh1Click(); };
    btnHome.OnClick = [this] { btnHomeClick(); };
    btnViewStyle.OnClick = [this] { btnViewStyleClick(); };
    btnFavoriteDir.OnClick = [this] { btnFavoriteDirClick(); };
}

void TfrmMain::ApplyLayout() {
    const auto& s = scale_;
    font_ = MakeFont(s, kFontFace, kFontHeight);
    for (const Panel* p : {&PanMiddleLeft, &pnShell, &pnRight, &pnListTop, &pnBottom}) p->Place(s);
    Control* controls[] = {&imgCurDir, &lblCurDir, &lblUPX, &edUPX, &btnUPX, &lblSource,
                           &edSource, &btnSource, &lblTarget, &edTarget, &btnTarget, &gbCommands, &rbCompress,
                           &rbDecompress, &btnTest, &btnList, &gbOptions, &lblCompressRatio, &cbCompressRatio,
                           &chkBackup, &chkDosBox, &lblQ, &chkQ, &chkQQ, &chkQQQ, &btnKeepSettings, &btnStart,
                           &btnExit, &btnUPXVersion, &btnUPXHelp, &btnHelp, &btnAbout, &btnAdvanced, &lblStatus};
    for (Control* c : controls) c->Place(s, font_.get());
    LayoutBrowser();
    // The level list's and the drive selector's drop-downs show ten rows.
    SendMessageW(cbCompressRatio.Handle(), CB_SETMINVISIBLE, 10, 0);
    SendMessageW(cbShellDrive1.Handle(), CB_SETMINVISIBLE, 10, 0);

    const HINSTANCE module = GetModuleHandleW(nullptr);
    const int iconSize = s(16);
    openIcon_.reset(static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(IDI_OPENFILE), IMAGE_ICON, iconSize, iconSize, 0)));
    folderIcon_.reset(
        static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_FOLDER), IMAGE_ICON, iconSize, iconSize, 0)));
    for (const Button* button : {&btnUPX, &btnSource, &btnTarget}) button->SetIcon(openIcon_.get());
    SendMessageW(imgCurDir.Handle(), STM_SETICON, reinterpret_cast<WPARAM>(folderIcon_.get()), 0);

    RECT rect{0, 0, s(kClientWidth + 2 * kBorderWidth), s(kClientHeight + kStatusHeight + 2 * kBorderWidth)};
    AdjustWindowRectExForDpi(&rect, kStyle, FALSE, kExStyle, s.Dpi());
    SetWindowPos(Handle(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::LayoutBrowser() {
    const auto& s = scale_;
    CoolBar1.Place(s, font_.get());
    for (Control* c : std::initializer_list<Control*>{&cbShellDrive1, &FilterComboBox1, &ToolBar1})
        c->Place(s, font_.get());
    SendMessageW(ToolBar1.Handle(), TB_SETBUTTONSIZE, 0, MAKELPARAM(s(25), s(25)));
    {
        // The arrow button stands in the room the tool bar keeps for it.
        const RECT room = ToolBar1.ButtonRect(favoritePlace_);
        btnFavoriteDir.Place(s, font_.get());
        SetWindowPos(btnFavoriteDir.Handle(), nullptr, room.left, room.top, s(39), s(25),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    auto height = [](const Control& c) {
        RECT r;
        GetWindowRect(c.Handle(), &r);
        return static_cast<int>(r.bottom - r.top);
    };
    CoolBar1.SetBandHeight(0, height(cbShellDrive1));
    CoolBar1.SetBandHeight(1, height(FilterComboBox1));
    CoolBar1.SetBandHeight(2, s(27));
    // The bar is as high as its rows; the list takes the rest of the pane.
    const int barHeight = CoolBar1.Height();
    RECT pane;
    GetClientRect(pnShell.Handle(), &pane);
    SetWindowPos(CoolBar1.Handle(), nullptr, 0, 0, pane.right, barHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(ShellDir1.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SetWindowPos(ShellDir1.Handle(), nullptr, 0, barHeight, pane.right, pane.bottom - barHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// Start-up

void TfrmMain::FormCreate() {
    lblCurDir.SetText(L"");
    SetWindowTextW(Handle(), L"Orvo Zandrel v" ZANDREL_VERSION_SHORT_W);
    ExeDir = ProgramFolder();
    // The stored names were decoded before the splash, by the constructor.
    DragAcceptFiles(Handle(), TRUE);
    FilterComboBox1.SetItemIndex(1);
    LoadFavorites();
    // Working copies an earlier run could not remove (it was ended from outside).
    TemporaryFiles::RemoveLeftovers(SettingsKey + WorkingCopiesSubKey);
    ApplyStoredSettings();
    if (splash_) {
        // The splash stays for its moment from when it showed; it goes also when
        // something fails meanwhile.
        constexpr ULONGLONG kSplashMs = 1900;
        const ULONGLONG held = GetTickCount64() - splashShownAt_;
        if (held < kSplashMs) Sleep(static_cast<DWORD>(kSplashMs - held));
        splash_.reset();
    }
}

void TfrmMain::DecodeStoredNames() {
    auto name = [this](std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr4(stored)); };
    SettingsKey = name(texts::SettingsKey);
    FavoritesSubKey = name(texts::FavoritesSubKey);
    WorkingCopiesSubKey = name(texts::WorkingCopiesSubKey);
    Names.upxPath = name(texts::ValUpxPath);
    Names.upxDir = name(texts::ValUpxDir);
    Names.sourceDir = name(texts::ValSourceDir);
    Names.targetDir = name(texts::ValTargetDir);
    Names.level = name(texts::ValLevel);
    Names.backup = name(texts::ValBackup);
    Names.dosBox = name(texts::ValDosBox);
    Names.q = name(texts::ValQ);
    Names.qq = name(texts::ValQQ);
    Names.qqq = name(texts::ValQQQ);
    Names.top = name(texts::ValTop);
    Names.left = name(texts::ValLeft);
    if (!deps_.settingsKeyOverride.empty()) SettingsKey = deps_.settingsKeyOverride;
}

bool TfrmMain::StoredSettingsRead() const {
    try {
        for (const auto* value : {&Names.upxPath, &Names.level, &Names.backup, &Names.dosBox, &Names.q, &Names.qq,
                                  &Names.qqq})
            ReadIniFromReg(SettingsKey, *value);
        for (const auto* value : {&Names.top, &Names.left})
            if (const auto text = ReadIniFromReg(SettingsKey, *value); !text.empty()) ParseStoredInteger(text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void TfrmMain::ApplyStoredSettings() {
    edUPX.SetText(ReadIniFromReg(SettingsKey, Names.upxPath));

    const auto level = ReadIniFromReg(SettingsKey, Names.level);
    if (!level.empty()) cbCompressRatio.SetItemIndex(MatchEntry(cbCompressRatio.Items(), level));

    if (ReadIniFromReg(SettingsKey, Names.backup) == L"0") chkBackup.SetChecked(false);
    if (ReadIniFromReg(SettingsKey, Names.dosBox) == L"0") chkDosBox.SetChecked(false);

    const auto q = ReadIniFromReg(SettingsKey, Names.q);
    const auto qq = ReadIniFromReg(SettingsKey, Names.qq);
    const auto qqq = ReadIniFromReg(SettingsKey, Names.qqq);
    chkQ.SetChecked(q == L"1");
    chkQQ.SetChecked(qq == L"1");
    chkQQQ.SetChecked(qqq == L"1");
    LoadAdvancedOptions();

    RECT r;
    GetWindowRect(Handle(), &r);
    if (const auto top = StoredCoordinate(ReadIniFromReg(SettingsKey, Names.top), GetSystemMetrics(SM_CYSCREEN))) {
        r.top = *top;
        SetWindowPos(Handle(), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (const auto left = StoredCoordinate(ReadIniFromReg(SettingsKey, Names.left), GetSystemMetrics(SM_CXSCREEN))) {
        r.left = *left;
        SetWindowPos(Handle(), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// ---------------------------------------------------------------------------
// Exit, About, Help

void TfrmMain::btnExitClick() {
    if (MessageOutput) MessageOutput->Close();
    RECT r;
    GetWindowRect(Handle(), &r);
    WriteIniToReg(SettingsKey, Names.top, std::to_wstring(r.top));
    WriteIniToReg(SettingsKey, Names.left, std::to_wstring(r.left));
    SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfrmMain::btnAboutClick() {
    TAboutBox box(Handle());
    box.ShowModal();
}

void TfrmMain::btnHelpClick() {
    auto& dialogs = Application::Instance().Dialogs();
    const auto path = ExeDir + Widen8(BytsToEncStr2(texts::HelpFileName));
    // Every message names the file, so that the user can open it some other way.
    if (!IsExistingFile(path)) {
        dialogs.Beep();
        dialogs.Box(Handle(), Widen8(BytsToEncStr2(texts::MsgHelpMissing)) + L"\n" + path, BoxKind::Information,
                    BoxButtons::Ok);
        return;
    }
    const INT_PTR answer = dialogs.ShellOpen(Handle(), path);
    if (answer == SE_ERR_NOASSOC) return ShowError(Widen8(BytsToEncStr2(texts::MsgHelpNoProgram)) + L"\n" + path);
    // Any other failure of the shell is told too: without a word the user would wait for a help
    // that never comes.
    if (answer <= 32) {
        auto text = Widen8(BytsToEncStr2(texts::MsgHelpFailed));
        if (const auto at = text.find(L"%d"); at != std::wstring::npos) text.replace(at, 2, std::to_wstring(answer));
        ShowError(text + L"\n" + path);
    }
}

void TfrmMain::ShowError(const std::wstring& text) const {
    ShowErrorBox(Application::Instance().Dialogs(), Handle(), text);
}

// ---------------------------------------------------------------------------

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (lParam && reinterpret_cast<HWND>(lParam) == ToolBar1.Handle() && ToolBar1.Command(LOWORD(wParam)))
                return 0;
            if (lParam && Control::Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            if (!lParam && LOWORD(wParam) >= kFavoriteItemId && LOWORD(wParam) < kFavoriteItemId + MaxFavorites) {
                // Items check themselves when chosen; the handler looks for the checked one.
                CheckMenuItem(pmFavoriteDir, LOWORD(wParam), MF_BYCOMMAND | MF_CHECKED);
                FavoriteDirItemClick(LOWORD(wParam) - static_cast<int>(kFavoriteItemId));
                return 0;
            }
            break;
        case WM_NEXTDLGCTL: {
            // The dialog manager moves the focus with this message when a label's
            // mnemonic is pressed: to the label, then on to the next tab stop.
            if (LOWORD(lParam)) {
                mnemonicFrom_ = reinterpret_cast<HWND>(wParam);
                return 0;
            }
            const HWND from = mnemonicFrom_ ? mnemonicFrom_ : GetFocus();
            mnemonicFrom_ = nullptr;
            if (const HWND next = GetNextDlgTabItem(Handle(), from, wParam != 0)) ::SetFocus(next);
            return 0;
        }
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (Control::NotifyOf(*reinterpret_cast<const NMHDR*>(lParam), result)) return result;
            break;
        }
        case WM_DRAWITEM:
            if (Control::DrawItemOf(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_DROPFILES:
            WMDropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_TIMER:
            if (wParam != kUpxCheckTimer) break;
            KillTimer(Handle(), kUpxCheckTimer);
            // A job waiting for an answer is not disturbed; the field is asked after it.
            if (answeringUpx_) SetTimer(Handle(), kUpxCheckTimer, 400, nullptr);
            else if (!edUPX.Text().empty()) UpxCheck.Ask(edUPX.Text());
            return 0;
        case WM_DPICHANGED: {
            scale_ = Scaler(HIWORD(wParam));
            ApplyLayout();
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            return 0;
        }
        case WM_ACTIVATE:
            if (focus_.OnActivate(Handle(), wParam)) return 0;
            break;
        case WM_INITMENUPOPUP:
            if (HIWORD(lParam)) ExplorerMenuOpening();  // the system menu
            break;
        case WM_SYSCOMMAND:
            if (ExplorerMenuChosen(static_cast<UINT>(wParam & 0xFFF0))) return 0;
            // The program goes to the task bar as a whole, with all its windows.
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                Application::Instance().Minimize();
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
