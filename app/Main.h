#pragma once
// The main window: layout, wiring, start-up preparation and the handlers.
#include <cstdint>
#include <functional>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "framework/win.h"

#include <shellapi.h>

#include "framework/controls.h"
#include "framework/dialogs.h"
#include "browser/DirView.h"
#include "browser/IEComboBox.h"
#include "console/DosCommand.h"
#include "framework/window.h"
#include "jobs/job_report.h"
#include "jobs/runners.h"
#include "jobs/upx_check.h"
#include "jobs/upx_options.h"
#include "widgets/ArrowButton.h"

namespace zandrel {

class BatchCollector;

class TMessageOutput;
class TfrmBanner;
class TBatchRun;
class TBatchWindow;
class TBatchConfirm;
class TAdvancedOptions;
struct BatchScan;

// What the main window works with; tests put their own in.
struct MainDeps {
    IRunAndWait* runner = nullptr;        // nullptr: the real process runner
    IConsoleCommand* console = nullptr;   // nullptr: DosCommand1, the real console runner
    std::wstring settingsKeyOverride;     // tests keep their settings in a key of their own
    bool splash = true;                   // tests skip the splash's pause
    bool shortNames = true;               // false: as on a volume without 8.3 names (tests)
    TDriveInfo* drives = nullptr;         // the drive selector's table; nullptr: the program's
    std::wstring programPath;             // the program Explorer's menus start; empty: this one
};

class TfrmMain : public Window {
public:
    static constexpr int kDesignLeft = 119, kDesignTop = 33;
    static constexpr int kClientWidth = 644, kClientHeight = 504, kBorderWidth = 7;
    static constexpr int kStatusHeight = 22;  // the status line under the button bar

    // Creates the window (hidden) and runs its preparation, FormCreate.
    explicit TfrmMain(MainDeps deps = {});
    ~TfrmMain() override;

    void Show() const;
    TMessageOutput* MessageOutput = nullptr;  // made right after the main window

    // The stored-text decoders (see app/descrambler.h).
    std::string BytsToEncStr2(std::span<const std::uint8_t> bytes) const;
    std::string BytsToEncStr4(std::span<const std::uint8_t> bytes) const;

    // ---- Layout: left pane ----
    Panel PanMiddleLeft, pnShell;
    CoolBar CoolBar1;
    TIEDriveComboBox cbShellDrive1;
    ComboBox FilterComboBox1;
    ToolBar ToolBar1;
    ToolButton btnUp1, btnRefresh1, btnHome, btnViewStyle;
    TJvArrowButton btnFavoriteDir;
    TDirView ShellDir1;
    // ---- Right panel ----
    Panel pnRight, pnListTop;
    Control imgCurDir;
    Label lblCurDir;
    Label lblUPX, lblSource, lblTarget;
    Edit edUPX, edSource, edTarget;
    Button btnUPX, btnSource, btnTarget;
    Control gbCommands, gbOptions;
    RadioButton rbCompress, rbDecompress;
    Button btnTest, btnList;
    Label lblCompressRatio, lblQ;
    ComboBox cbCompressRatio;
    CheckBox chkBackup, chkDosBox, chkQ, chkQQ, chkQQQ;
    Button btnKeepSettings;
    // ---- Button bar ----
    Panel pnBottom;
    Button btnAbout, btnHelp, btnUPXHelp, btnUPXVersion, btnStart, btnExit;
    Button btnAdvanced;  // opens the advanced options; pressed in while they are on
    // ---- Status line: what the last job did, or what the UPX program is ----
    Label lblStatus;
    // ---- Non-visual ----
    HMENU pmFavoriteDir = nullptr;                       // the favourite folders' pop-up menu
    std::array<std::wstring, 3> FavoriteItems;            // its entries, by index
    static constexpr UINT kFavoriteItemId = 40000;       // menu command of entry 0
    TDosCommand DosCommand1;                             // runs Test, List, Version and Help
    TUpxCheck UpxCheck;                                  // tells UPX from any other program
    UpxOptions Advanced;  // the advanced options in force: stored per user, taken by every compress

    // ---- Handlers ----
    void FormCreate();
    void btnExitClick();
    void btnAboutClick();
    void btnHelpClick();
    void btnStartClick();
    void btnTestClick();
    void btnListClick();
    void chkQClick();
    void chkQQClick();
    void chkQQQClick();
    void btnUPXClick();
    void btnSourceClick();
    void btnTargetClick();
    void edSourceChange();
    void btnKeepSettingsClick();
    void btnAdvancedClick();  // the advanced options dialog; OK stores its choice
    // The advanced options dialog, while it is shown (tests work its controls).
    TAdvancedOptions* AdvancedDialog() const { return advancedDialog_; }
    const std::wstring& AdvancedHint() const { return advancedHint_.Text(); }
    bool AdvancedSignShown() const { return SendMessageW(btnAdvanced.Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void btnUPXHelpClick();
    void btnUPXVersionClick();
    void DosCommand1NewLine(TDosCommand* sender, const std::string& newLine, TOutputType outputType);
    void DosCommand1Terminated(TDosCommand* sender, DWORD exitCode);
    void edUPXChange();       // the UPX program is asked what it is, a moment after typing stops
    void UpxCheckAnswered();  // its version (or why it is not UPX) in the status line and the field's hint
    void WMDropFiles(HDROP drop);
    void cbShellDrive1Change();
    void cbShellDrive1KeyUp(WORD key);
    void FilterComboBox1Click();
    void ShellDir1AddFile(TDirView* sender, TSearchRec& searchRec, bool& addFile);
    void ShellDir1ExecFile(TDirView* sender, int item, bool& allowExec);
    void ShellDir1DblClick();
    void ShellDir1Changing(TDirView* sender, int item, TItemChange change, bool& allowChange);
    void ShellDir1KeyUp(WORD key, bool shift, bool ctrl, bool alt);
    void ShellDir1DDFileOperationExecuted();
    void SetCurDirLabel(const std::wstring& path);
    void btnUp1Click();
    void btnRefresh1Click();
    void btnHomeClick();
    void btnViewStyleClick();
    void btnFavoriteDirClick();
    void FavoriteDirItemClick(int index);

    // ---- Batch jobs: several dropped files, or the list's selection ----
    enum class BatchKind { FormJob, Test, List };  // compress or decompress as the form says; -t; -l
    // Runs one batch over the files and the files directly inside the folders (those the
    // filter takes); refused, with a message, while one runs or when the form's UPX or level fails.
    // `late`: files of later starts join the question while it is up.
    void StartBatch(const std::vector<std::wstring>& dropped, BatchKind kind, BatchCollector* late = nullptr);
    void StopBatch();    // the files UPX is working on finish; no other starts
    void FinishBatch();  // stops the batch and waits (messages flowing) until its UPX have ended
    bool BatchRunning() const;
    const TBatchRun* Batch() const { return batch_.get(); }
    TBatchWindow* BatchWindow() const { return batchWindow_.get(); }
    // The question before a batch, while it is asked (tests answer it through its controls).
    TBatchConfirm* BatchQuestion() const { return batchQuestion_; }

    // ---- Explorer's menus: two items of the system menu (app/MainExplorer.cpp) ----
    static constexpr UINT kAddExplorerMenus = 0x0100, kRemoveExplorerMenus = 0x0110;
    void ExplorerMenuOpening();            // the item that applies is enabled, the other greyed
    bool ExplorerMenuChosen(UINT item);    // false when the item is none of the two

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void CreateBrowserPane();
    void CreateJobPanel();
    void CreateButtonBar();
    void LoadAdvancedOptions();  // from the settings; a missing or bad value is UPX's default
    void ShowAdvancedSign();     // the Advanced button's look and hint follow the options
    // The command line a Start would run now with these options, as the dialog shows it.
    std::wstring CommandLinePreview(const UpxOptions& options) const;
    void AddExplorerMenuItems();
    std::wstring ExplorerProgram() const;
    void WireHandlers();
    void ApplyLayout();
    void DecodeStoredNames();         // the settings key and value names, from their stored form
    bool StoredSettingsRead() const;  // every stored setting the preparation applies can be read
    void ApplyStoredSettings();
    void LoadFavorites();
    void SaveFavorites();
    std::vector<std::wstring> FavoriteCaptions() const;
    void SetFavoriteCaptions(const std::vector<std::wstring>& captions);
    void LayoutBrowser();
    // Runs a file dialog of the job panel (an Open dialog, or the target's Save dialog) in the
    // folder of the path its field holds, else in its stored folder; gives the file on OK.
    std::optional<std::wstring> ChooseFile(std::span<const std::uint8_t> filter, const std::wstring& folderName,
                                           const std::wstring& fieldPath, bool save);
    void StoreFolderOf(const std::wstring& valueName, const std::wstring& file) const;
    void ShowError(const std::wstring& text) const;
    JobForm ReadForm() const;  // the job panel as Start reads it
    bool FilterTakes(const std::wstring& name) const;  // the browser pane's filter takes this file name
    // The filter as it is now, safe to use on another thread.
    std::function<bool(const std::wstring& name)> FilterNow() const;
    // Clears and shows the console window, then starts the captured run.
    void StartCaptured(const std::wstring& commandLine, const std::wstring& currentFolder = {},
                       const std::vector<std::wstring>& notes = {}, std::shared_ptr<void> keep = {});
    RunOutcome RunVisible(RunRequest request);  // UPX's console in front of the background window
    RunOutcome RunHidden(RunRequest request);   // behind the wait window, the main window disabled
    bool StartWorksOn(const std::wstring& path) const;  // a Start running now works on this file
    // The UPX program is UPX (asked and waited for if need be); otherwise says why, and false.
    // A program that is not there is left to the checks that say so.
    bool UpxAccepted(const std::wstring& upx);
    void SetStatus(const std::wstring& text);
    // After a compress or decompress: the status line says what it did.
    void ReportRun(const JobForm& form, const JobPlan& plan, const RunOutcome& outcome, std::int64_t sizeBefore,
                   JobEnd end);
    // The list shows a folder a job wrote into: it reloads, keeping its selection and view.
    void FollowTheDisk(const std::vector<std::wstring>& files);
    void RunUpxInformation(const std::wstring& option, std::span<const std::uint8_t> noUpx,
                           std::span<const std::uint8_t> upxGone);

    MainDeps deps_;
    HWND mnemonicFrom_ = nullptr;  // the label whose mnemonic was pressed
    LineGrowth consoleGrowth_;  // the memo's last line may still grow
    // What the captured run now showing is, for the status line at its end.
    struct CapturedJob {
        bool active = false;
        Verdict kind = Verdict::Test;
        std::wstring file;
    } captured_;
    static constexpr UINT_PTR kUpxCheckTimer = 0x5A01;
    ToolTip edUPXHint_, statusHint_, advancedHint_;
    TAdvancedOptions* advancedDialog_ = nullptr;
    bool answeringUpx_ = false;   // a job waits for the UPX check's answer
    bool statusTellsUpx_ = false;  // the status line shows the check's answer
    std::unique_ptr<IRunAndWait> ownRunner_;
    std::unique_ptr<TfrmBanner> splash_;  // shown while the window is prepared
    // Runs `files` as one batch, shown in the batch window; the last batch goes first.
    void RunBatch(const BatchScan& scan, const JobForm& form, std::unique_ptr<IJobHost> host);
    std::vector<std::size_t> UndoBatch();  // the files left as the batch made them
    void ForgetBatch();  // the batch ended and its window was closed: its results go
    std::vector<std::wstring> BatchPaths() const;
    TBatchConfirm* batchQuestion_ = nullptr;
    std::unique_ptr<TBatchWindow> batchWindow_;  // made at the first batch; outlives the batches it shows
    std::unique_ptr<IJobHost> batchHost_;
    std::vector<std::wstring> filesAtWork_;  // the sources and targets of the Starts running now
    std::unique_ptr<TBatchRun> batch_;  // the last batch; destroyed (after its UPX ended) before the window
    bool closing_ = false;              // being destroyed: no batch starts any more
    ULONGLONG splashShownAt_ = 0;
    Scaler scale_;
    UniqueFont font_;
    UniqueIcon openIcon_, folderIcon_, appIcon_, appIconSmall_;
    int favoritePlace_ = 0;  // the tool bar's room for btnFavoriteDir
    FocusMemory focus_;
};

}  // namespace zandrel
