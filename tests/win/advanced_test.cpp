// The advanced options: the dialog worked through its own controls while its loop
// runs, what is stored, the sign on the main window, and what reaches the UPX
// stand-in (its argument vector, as it read it) from Start and from a batch.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/AdvancedOptions.h"
#include "app/descrambler.h"
#include "batch_window_fixture.h"
#include "framework/application.h"
#include "jobs/run_and_wait.h"
#include "test_support.h"

namespace zandrel::test {
namespace {

using Step = std::function<void(TAdvancedOptions&)>;

// Works the dialog from a timer while its own loop runs, one step a tick; the
// steps end with OK or Cancel.
class DialogSteps {
public:
    DialogSteps(TfrmMain& form, std::vector<Step> steps) : form_(form), steps_(std::move(steps)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~DialogSteps() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    std::size_t Left() const { return steps_.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogSteps* self = current_;
        TAdvancedOptions* dialog = self ? self->form_.AdvancedDialog() : nullptr;
        if (!dialog || self->steps_.empty()) return;
        auto step = std::move(self->steps_.front());
        self->steps_.erase(self->steps_.begin());
        step(*dialog);
    }
    static inline DialogSteps* current_ = nullptr;
    TfrmMain& form_;
    std::vector<Step> steps_;
    UINT_PTR timer_ = 0;
};

void Click(const Control& c) { SendMessageW(c.Handle(), BM_CLICK, 0, 0); }
// Typed as keys are typed: each character reaches the edit control.
void Type(const Control& c, const std::wstring& text) {
    SendMessageW(c.Handle(), EM_SETSEL, 0, -1);
    SendMessageW(c.Handle(), WM_CHAR, VK_BACK, 0);
    for (const wchar_t ch : text) SendMessageW(c.Handle(), WM_CHAR, ch, 0);
}
// The arrow keys in a drop-down list, as the user picks an entry.
void PickEntry(const ComboBox& list, int index) {
    while (list.ItemIndex() != index) {
        const int before = list.ItemIndex();
        SendMessageW(list.Handle(), WM_KEYDOWN, before < index ? VK_DOWN : VK_UP, 0);
        if (list.ItemIndex() == before) break;
    }
}
Step OK() {
    return [](TAdvancedOptions& d) { Click(d.btnOK); };
}

class Advanced : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteBytes(dir / L"app.exe", kProgram);
        Prepare();
    }
    // The main window as the tests use it: the stand-in for UPX, the program, a hidden run.
    void Prepare() {
        MakeWindow(&real);
        UseStandin(*form);
        form->edSource.SetText(dir / L"app.exe");
        form->chkDosBox.SetChecked(false);  // a hidden run: no console lingers
        form->chkBackup.SetChecked(false);
    }
    // The program started again: it reads the stored options anew.
    void StartAgain() {
        form.reset();
        Prepare();
    }
    // Opens the dialog from the main window and works it; true when every step ran.
    bool Work(std::vector<Step> steps) {
        DialogSteps working(*form, std::move(steps));
        form->btnAdvanced.Click();
        return working.Left() == 0 && !form->AdvancedDialog();
    }
    // The arguments the stand-in read in its last run, each in brackets.
    std::wstring ArgumentsOf(const std::function<void()>& run) {
        const std::wstring log = dir / L"args.txt";
        DeleteFileW(log.c_str());
        {
            EnvSwitch logged(L"STANDIN_ARGS", log);
            run();
        }
        std::string text = ReadBytes(log);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const auto last = text.rfind('\n');
        return Widen8(last == std::string::npos ? text : text.substr(last + 1));
    }
    // A Start on the unpacked program (a packed one is refused before UPX runs).
    std::wstring StartArguments() {
        WriteBytes(dir / L"app.exe", kProgram);
        return ArgumentsOf([this] { form->btnStart.Click(); });
    }
    std::wstring File() const { return L"[" + (dir / L"app.exe") + L"]"; }
    const std::string kProgram = "MZ a program" + std::string(2048, 'p');
    ProcessRunAndWait real;
    TempDir dir{L"za"};
};

TEST_F(Advanced, TheMethodGroupGivesEachMethodAndTheCommandLineFollowsLive) {
    std::vector<std::wstring> shown;
    ASSERT_TRUE(Work({[&](TAdvancedOptions& d) {
                          shown.push_back(d.edCommand.Text());
                          Click(d.rbBrute);
                          shown.push_back(d.edCommand.Text());
                          Click(d.rbUltraBrute);
                          shown.push_back(d.edCommand.Text());
                          EXPECT_FALSE(d.rbBrute.Checked()) << "one method at a time";
                          Click(d.rbLzma);
                          shown.push_back(d.edCommand.Text());
                      },
                      OK()}));
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"upx.exe -6 \"app.exe\"", L"upx.exe -6 --brute \"app.exe\"",
                                                L"upx.exe -6 --ultra-brute \"app.exe\"",
                                                L"upx.exe -6 --lzma \"app.exe\""}));
    EXPECT_EQ(form->Advanced.method, UpxMethod::Lzma);
    EXPECT_EQ(StartArguments(), L"[-6] [--lzma] " + File());
    EXPECT_TRUE(dialogs.Texts().empty()) << Narrow(dialogs.Texts().empty() ? L"" : dialogs.Texts()[0]);
}

TEST_F(Advanced, ForceAndTheOverlayGroup) {
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) {
                          Click(d.chkForce);
                          Click(d.rbOverlaySkip);
                          Click(d.rbOverlayStrip);
                          EXPECT_FALSE(d.rbOverlayCopy.Checked() || d.rbOverlaySkip.Checked());
                      },
                      OK()}));
    EXPECT_EQ(StartArguments(), L"[-6] [-f] [--overlay=strip] " + File());
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) { Click(d.rbOverlaySkip), Click(d.chkForce); }, OK()}));
    EXPECT_EQ(StartArguments(), L"[-6] [--overlay=skip] " + File());
}

TEST_F(Advanced, TheWindowsProgramsGroupAndWhatDependsOnCompressedResources) {
    bool iconsWhileOff = true, keepWhileOff = true;
    ASSERT_TRUE(Work({[&](TAdvancedOptions& d) {
                          Click(d.chkExports);
                          PickEntry(d.cbIcons, 0);
                          Type(d.edKeep, L"ICON,24/1");
                          PickEntry(d.cbRelocs, 1);
                          Click(d.chkResources);
                          iconsWhileOff = d.cbIcons.Enabled();
                          keepWhileOff = d.edKeep.Enabled();
                          // Without compressed resources UPX treats neither: they are not passed on.
                          EXPECT_EQ(d.edCommand.Text(),
                                    L"upx.exe -6 --compress-exports=0 --compress-resources=0 --strip-relocs=0 "
                                    L"\"app.exe\"");
                          Click(d.chkResources);
                      },
                      OK()}));
    EXPECT_FALSE(iconsWhileOff);
    EXPECT_FALSE(keepWhileOff);
    EXPECT_EQ(StartArguments(),
              L"[-6] [--compress-exports=0] [--compress-icons=0] [--keep-resource=ICON,24/1] [--strip-relocs=0] " +
                  File());
    EXPECT_EQ(StoredSetting(L"AdvancedKeepResource"), L"ICON,24/1");
    EXPECT_EQ(StoredSetting(L"AdvancedCompressIcons"), L"0");
}

TEST_F(Advanced, ThePresetAndBackToUpxsDefaults) {
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) {
                          Click(d.rbLzma);
                          Click(d.btnPreset);
                          EXPECT_FALSE(d.chkExports.Checked() || d.chkResources.Checked());
                          EXPECT_EQ(d.cbRelocs.ItemIndex(), 1) << "relocations kept";
                          EXPECT_TRUE(d.rbMethodDefault.Checked()) << "the preset is the whole choice";
                          // The command line wraps between arguments only, never inside a switch
                          // (with LZMA too it is long enough to wrap in the middle of one).
                          Click(d.rbLzma);
                          const HWND edit = d.edCommand.Handle();
                          const std::wstring text = d.edCommand.Text();
                          const auto lines = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
                          EXPECT_GT(lines, 1) << "long enough to wrap";
                          for (LRESULT line = 1; line < lines; ++line) {
                              const auto start = static_cast<std::size_t>(SendMessageW(edit, EM_LINEINDEX, line, 0));
                              ASSERT_GT(start, 0u);
                              EXPECT_EQ(text[start - 1], L' ') << "line " << line << " of " << Narrow(text);
                          }
                          Click(d.rbMethodDefault);
                      },
                      OK()}));
    EXPECT_TRUE(form->AdvancedSignShown());
    EXPECT_NE(form->AdvancedHint().find(L"--compress-exports=0 --compress-resources=0 --strip-relocs=0"),
              std::wstring::npos);
    EXPECT_EQ(StartArguments(), L"[-6] [--compress-exports=0] [--compress-resources=0] [--strip-relocs=0] " + File());

    ASSERT_TRUE(Work({[](TAdvancedOptions& d) { Click(d.btnDefaults); }, OK()}));
    EXPECT_FALSE(form->AdvancedSignShown());
    EXPECT_EQ(form->Advanced, UpxOptions{});
    EXPECT_EQ(StartArguments(), L"[-6] " + File()) << "at UPX's defaults the line is the form's alone";
}

TEST_F(Advanced, ABadKeepListIsRefusedWhereItIsTypedAndNeverTaken) {
    std::wstring reason;
    bool okWhileBad = true, stillOpen = false;
    ASSERT_TRUE(Work({[&](TAdvancedOptions& d) {
                          Type(d.edKeep, L"ICON \"C:\\x.exe");
                          reason = d.lblKeepNote.Text();
                          okWhileBad = d.btnOK.Enabled();
                          EXPECT_EQ(d.edCommand.Text(), L"upx.exe -6 \"app.exe\"") << "not in the command line";
                          PressKey(d.edKeep.Handle(), VK_RETURN);  // Enter is OK: it must wait too
                      },
                      [&](TAdvancedOptions& d) {
                          stillOpen = IsWindowVisible(d.Handle()) != FALSE;
                          Type(d.edKeep, L"5,,6");
                          EXPECT_NE(d.lblKeepNote.Text().find(L"An entry is empty"), std::wstring::npos);
                          Click(d.btnCancel);
                      }}));
    EXPECT_NE(reason.find(L"Blanks cannot be used"), std::wstring::npos) << Narrow(reason);
    EXPECT_FALSE(okWhileBad);
    EXPECT_TRUE(stillOpen) << "Enter does not take a refused list";
    EXPECT_EQ(form->Advanced, UpxOptions{}) << "Cancel keeps what was";
    EXPECT_EQ(StoredSetting(L"AdvancedKeepResource"), L"") << "nothing stored";
    EXPECT_EQ(StartArguments(), L"[-6] " + File());
}

TEST_F(Advanced, DecompressTestAndListTakeNoneOfThem) {
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) { Click(d.rbLzma), Click(d.chkForce), Click(d.chkExports); }, OK()}));
    EXPECT_EQ(StartArguments(), L"[-6] [--lzma] [-f] [--compress-exports=0] " + File());
    form->rbDecompress.Click();
    EXPECT_EQ(StartArguments(), L"[-d] " + File());
    EXPECT_EQ(ArgumentsOf([this] { form->btnTest.Click(); }), L"") << "Test goes to the console runner";
    EXPECT_EQ(console.executed.size(), 1u);
    EXPECT_EQ(console.executed.back().substr(console.executed.back().find(L' ') + 1),
              L"-t \"" + (dir / L"app.exe") + L"\"");
    form->btnList.Click();
    EXPECT_EQ(console.executed.back().substr(console.executed.back().find(L' ') + 1),
              L"-l \"" + (dir / L"app.exe") + L"\"");
}

TEST_F(Advanced, StoredWithTheOtherSettingsAndReadBackAtTheNextStart) {
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) {
                          Click(d.rbUltraBrute);
                          Click(d.rbOverlaySkip);
                          PickEntry(d.cbIcons, 3);
                          Type(d.edKeep, L"2/MYBITMAP");
                      },
                      OK()}));
    EXPECT_EQ(StoredSetting(L"AdvancedMethod"), L"ultra-brute");
    EXPECT_EQ(StoredSetting(L"AdvancedOverlay"), L"skip");
    form.reset();
    MakeWindow(&real);
    EXPECT_EQ(form->Advanced.method, UpxMethod::UltraBrute);
    EXPECT_EQ(form->Advanced.compressIcons, 3);
    EXPECT_EQ(form->Advanced.keepResource, L"2/MYBITMAP");
    EXPECT_TRUE(form->AdvancedSignShown()) << "the next start shows they are on";
    // The dialog opens on what is stored.
    ASSERT_TRUE(Work({[](TAdvancedOptions& d) {
                          EXPECT_TRUE(d.rbUltraBrute.Checked() && d.rbOverlaySkip.Checked());
                          EXPECT_EQ(d.edKeep.Text(), L"2/MYBITMAP");
                          EXPECT_EQ(GetFocus(), d.rbUltraBrute.Handle()) << "the keyboard on the chosen method";
                          Click(d.btnCancel);
                      }}));
}

TEST_F(Advanced, BadStoredValuesFallBackToUpxsDefaults) {
    StoreSetting(L"AdvancedMethod", L"turbo");
    StoreSetting(L"AdvancedKeepResource", L"ICON \"C:\\evil.exe\"");
    StoreSetting(L"AdvancedCompressIcons", L"9");
    // A value of the wrong registry kind is as bad as a bad text.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key, L"AdvancedForce", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
    StartAgain();
    EXPECT_EQ(form->Advanced, UpxOptions{});
    EXPECT_FALSE(form->AdvancedSignShown());
    EXPECT_TRUE(dialogs.reports.empty()) << "no error stops the window's preparation";
    EXPECT_EQ(StartArguments(), L"[-6] " + File()) << "the stored list is never passed on";
}

TEST_F(Advanced, TheStandInRefusesWhatUpxDoesNotKnow) {
    int runs = 0;
    const auto run = [&](const std::wstring& arguments) {
        const std::wstring out = dir / (L"out" + std::to_wstring(++runs) + L".txt");  // each run a file of its own
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = file;
        PROCESS_INFORMATION pi{};
        std::wstring line = L"\"" + StandinPath() + L"\" " + arguments;
        DWORD code = 99;
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
            WaitForSingleObject(pi.hProcess, 20000);
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        CloseHandle(file);
        return std::pair(code, ReadBytes(out));
    };
    const std::wstring file = L" \"" + (dir / L"app.exe") + L"\"";
    for (const wchar_t* bad : {L"--compress-icons=4", L"--overlay=delete", L"--strip-relocs=2", L"--keep-resource=",
                               L"--compress-resources", L"--lzma2"}) {
        const auto [code, said] = run(std::wstring(bad) + file);
        EXPECT_EQ(code, 1u) << Narrow(bad);
        const std::string expected = "upx: " + std::string(bad, bad + wcslen(bad)) + ": unknown option\r\n";
        EXPECT_NE(said.find(expected), std::string::npos) << said;
    }
    const auto [code, said] = run(L"-9 --lzma -f --overlay=copy --compress-exports=1 --compress-icons=2 "
                                  L"--compress-resources=1 --keep-resource=5 --strip-relocs=1" + file);
    EXPECT_EQ(code, 0u) << said;
}

TEST_F(Advanced, TheButtonTakesFreeRoomInTheBarAndAltNOpensTheDialog) {
    RECT mine{};
    GetWindowRect(form->btnAdvanced.Handle(), &mine);
    RECT bar{};
    GetWindowRect(form->pnBottom.Handle(), &bar);
    RECT inside{};
    EXPECT_TRUE(IntersectRect(&inside, &mine, &bar) && EqualRect(&inside, &mine)) << "within the button bar";
    for (const Button* other : {&form->btnAbout, &form->btnHelp, &form->btnUPXHelp, &form->btnUPXVersion,
                                &form->btnStart, &form->btnExit}) {
        RECT r{}, overlap{};
        GetWindowRect(other->Handle(), &r);
        EXPECT_FALSE(IntersectRect(&overlap, &mine, &r)) << Narrow(other->Text());
    }
    EXPECT_EQ(GetNextDlgTabItem(form->Handle(), form->btnAbout.Handle(), FALSE), form->btnAdvanced.Handle())
        << "last in the tab order, after the bar's buttons";
    bool opened = false;
    DialogSteps working(*form, {[&](TAdvancedOptions& d) {
        opened = IsWindowVisible(d.Handle()) && !IsWindowEnabled(form->Handle());
        PressKey(d.rbLzma.Handle(), VK_ESCAPE);
    }});
    SetForegroundWindow(form->Handle());
    form->btnExit.SetFocus();
    PostMessageW(GetFocus() ? GetFocus() : form->Handle(), WM_SYSCHAR, L'n', 1 << 29);
    Application::Instance().ProcessMessages();
    EXPECT_TRUE(opened) << "Alt+N opens it, modal over the main window";
    EXPECT_EQ(working.Left(), 0u);
    EXPECT_TRUE(IsWindowEnabled(form->Handle()));
    EXPECT_EQ(form->Advanced, UpxOptions{}) << "Escape cancels";
}

// A batch takes the options for its compress (its own check of each result does not),
// and its question says so.
class AdvancedBatch : public WindowBatch {};

TEST_F(AdvancedBatch, TheQuestionShowsTheSwitchesAndEachUpxGetsThem) {
    UseStandin(*form);
    DialogSteps working(*form, {[](TAdvancedOptions& d) { Click(d.rbLzma), PickEntry(d.cbRelocs, 1); }, OK()});
    form->btnAdvanced.Click();
    ASSERT_EQ(form->Advanced.method, UpxMethod::Lzma);
    const std::wstring log = dir / L"args.txt";
    const EnvSwitch logged(L"STANDIN_ARGS", log);
    Drop({Program(L"one.exe"), Program(L"two.exe")});
    ASSERT_TRUE(WaitForTheBatch());
    ASSERT_EQ(Asked().size(), 1u);
    EXPECT_NE(Asked()[0].find(L"(-6 --lzma --strip-relocs=0)"), std::wstring::npos) << Narrow(Asked()[0]);
    const std::string args = ReadBytes(log);
    for (const char* name : {"one.exe", "two.exe"})
        EXPECT_NE(args.find("[-6] [--lzma] [--strip-relocs=0] [" + Narrow(dir / Widen8(name)) + "]"),
                  std::string::npos)
            << args;
    EXPECT_TRUE(IsPacked(dir / L"one.exe") && IsPacked(dir / L"two.exe"));
}

}  // namespace
}  // namespace zandrel::test

namespace zandrel::test {
namespace {

// The keep list: pasted and typed text that would slip a switch or a file through.
TEST_F(Advanced, PastedOrUnusualTextNeverReachesTheCommandLine) {
    const std::vector<std::wstring> attacks = {
        L"5 -o C:\\x.exe", L"5\t--force", L"5\x00A0-o", L"5\x3000x", L"\xFF15,6",  // NBSP, ideographic space, full-width 5
        L"5\xFF0C-f",  L"-f",  L"@list.txt", L"5\r\n-f", L"5\x200B", L"5\"", L"5'",
        L"5,6/\x0130", L"5\x00A0", L"5\x3000", L"5 ", L"\xFF15", std::wstring(1001, L'5'), L"5\x2028-f", L"5/-f", L"0", L"65536"};
    std::vector<std::wstring> taken;
    std::vector<Step> steps;
    for (const auto& attack : attacks)
        steps.push_back([&, attack](TAdvancedOptions& d) {
            // Pasted, as from the clipboard.
            SendMessageW(d.edKeep.Handle(), EM_SETSEL, 0, -1);
            SendMessageW(d.edKeep.Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(attack.c_str()));
            if (d.btnOK.Enabled() || d.edCommand.Text() != L"upx.exe -6 \"app.exe\"")
                taken.push_back(d.edKeep.Text() + L" -> " + d.edCommand.Text());
        });
    steps.push_back([](TAdvancedOptions& d) { Click(d.btnOK); });
    steps.push_back([](TAdvancedOptions& d) { Click(d.btnCancel); });
    Work(std::move(steps));
    for (const auto& t : taken) ADD_FAILURE() << "taken: " << Narrow(t);
    EXPECT_EQ(form->Advanced, UpxOptions{});
    EXPECT_EQ(StartArguments(), L"[-6] " + File());
}

// Registry values edited by hand: huge, of other kinds, out of range, with a zero inside.
TEST_F(Advanced, StoredValuesEditedByHandGiveUpxsDefaultsOrTheirText) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring huge(200000, L'5');
    RegSetValueExW(key, L"AdvancedKeepResource", 0, REG_SZ, reinterpret_cast<const BYTE*>(huge.c_str()),
                   static_cast<DWORD>((huge.size() + 1) * sizeof(wchar_t)));
    const wchar_t zero[] = L"lzma\0 -o C:\\x.exe";
    RegSetValueExW(key, L"AdvancedMethod", 0, REG_SZ, reinterpret_cast<const BYTE*>(zero), sizeof zero);
    const BYTE bytes[] = {0x31, 0, 0, 0};
    RegSetValueExW(key, L"AdvancedRelocations", 0, REG_BINARY, bytes, sizeof bytes);
    const wchar_t multi[] = L"0\0-f\0";
    RegSetValueExW(key, L"AdvancedCompressExports", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
    RegSetValueExW(key, L"AdvancedCompressIcons", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"-1"), 6);
    RegSetValueExW(key, L"AdvancedOverlay", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(L"strip"), 12);
    RegCloseKey(key);
    StartAgain();
    EXPECT_TRUE(dialogs.reports.empty());
    EXPECT_TRUE(form->Advanced.keepResource.empty());
    // A text up to its first zero, an expandable text as a text; the rest UPX's defaults.
    EXPECT_EQ(StartArguments(), L"[-6] [--lzma] [--overlay=strip] " + File());
}

// The main window told to close (the task bar's Close) while the dialog is open.
class AdvancedClose : public Advanced, public ::testing::WithParamInterface<UINT> {};
TEST_P(AdvancedClose, TheMainWindowClosedWhileTheDialogIsOpenLeavesNothingHalfStored) {
    const UINT closeBy = GetParam();
    bool stillThere = false;
    (void)Work({[&](TAdvancedOptions& d) {
                               Click(d.rbLzma);
                               PostMessageW(form->Handle(), closeBy, closeBy == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
                           },
                           [&](TAdvancedOptions& d) {
                               stillThere = IsWindow(d.Handle()) && IsWindowVisible(d.Handle());
                               Click(d.btnOK);
                           }});
    // The task bar's Close leaves the modal dialog alone; a posted WM_CLOSE (taskkill without /F)
    // ends the main window and the dialog with it: the choice is dropped, nothing half stored.
    EXPECT_EQ(stillThere, closeBy == WM_SYSCOMMAND) << "the dialog stays up only for the task bar's Close";
    EXPECT_EQ(IsWindow(form->Handle()) != FALSE, closeBy == WM_SYSCOMMAND);
    EXPECT_EQ(form->Advanced.method, closeBy == WM_SYSCOMMAND ? UpxMethod::Lzma : UpxMethod::Default);
    EXPECT_EQ(StoredSetting(L"AdvancedMethod"), closeBy == WM_SYSCOMMAND ? L"lzma" : L"");
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the closed window's quit, not the test's
}
INSTANTIATE_TEST_SUITE_P(By, AdvancedClose, ::testing::Values(UINT{WM_SYSCOMMAND}, UINT{WM_CLOSE}));

}  // namespace
}  // namespace zandrel::test
