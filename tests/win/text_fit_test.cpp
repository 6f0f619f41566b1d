// Every text of every window can be read whole, at the DPI of the session: 96 in the usual
// run, 120 and 144 in sessions of their own (see CMakeLists.txt). The measuring is in
// text_room.cpp; the first test makes sure it finds cut texts of each kind.
#include "test_support.h"
#include "text_room.h"

#include <commctrl.h>

#include <algorithm>

#include "app/AdvancedOptions.h"
#include "batch/BatchConfirm.h"
#include "batch/batch_plan.h"
#include "batch/BatchWindow.h"
#include "framework/application.h"
#include "jobs/Back.h"
#include "jobs/hrglass.h"
#include "widgets/About.h"
#include "widgets/Label3D.h"

namespace zandrel::test {
namespace {

class TextFit : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // A session of another DPI names it (see CMakeLists.txt): the measures are taken at it.
        wchar_t wanted[16] = {};
        if (GetEnvironmentVariableW(L"ZANDREL_DPI", wanted, 16)) {
            ASSERT_EQ(GetDpiForSystem(), static_cast<UINT>(_wtoi(wanted))) << "the session's DPI";
        }
    }
};

bool Mentions(const std::vector<std::wstring>& cut, const std::wstring& text, const std::wstring& why = L"") {
    return std::any_of(cut.begin(), cut.end(), [&](const std::wstring& line) {
        return line.find(L"'" + text + L"'") == 0 && line.find(why) != std::wstring::npos;
    });
}

// A window of controls too small for their texts: each must be found, and only those.
class CrampedWindow : public Window {
public:
    CrampedWindow() {
        RegisterClassOnce(L"ZandrelTestCramped");
        const Scaler s(GetDpiForSystem());
        CreateHandle(L"ZandrelTestCramped", 0, WS_POPUP | WS_CAPTION | WS_SYSMENU,
                     L"A title far too long for so narrow a window", 0, 0, s(160), s(330), nullptr);
        font_ = MakeFont(s, L"MS Sans Serif", 13);
        auto add = [&](const wchar_t* kind, const wchar_t* text, DWORD style, DesignRect r) {
            controls_.push_back(std::make_unique<Control>());
            controls_.back()->Create(Handle(), kind, text, style, r, s);
            controls_.back()->Place(s, font_.get());
        };
        add(L"STATIC", L"Wrapped words that need three lines", 0, {0, 0, 120, 18});
        add(L"STATIC", L"One line that is cut", SS_LEFTNOWORDWRAP, {0, 20, 40, 18});
        add(L"BUTTON", L"A push button", BS_PUSHBUTTON, {0, 40, 40, 25});
        add(L"BUTTON", L"A check box", BS_AUTOCHECKBOX, {0, 70, 60, 21});
        add(L"BUTTON", L"A radio button", BS_AUTORADIOBUTTON, {0, 92, 70, 21});
        add(L"BUTTON", L" A group box ", BS_GROUPBOX, {0, 115, 50, 40});
        add(L"BUTTON", L"Under the caption", BS_AUTOCHECKBOX, {4, 117, 120, 18});
        add(L"STATIC", L"Fits well", 0, {0, 160, 100, 18});
        add(L"STATIC", L"Past the edge", SS_LEFTNOWORDWRAP, {100, 180, 100, 18});
        add(L"STATIC", L"Below me", SS_LEFTNOWORDWRAP, {0, 200, 100, 18});
        add(L"STATIC", L"Over me", SS_LEFTNOWORDWRAP, {10, 210, 100, 18});
        add(L"STATIC", L"C:\\a path\\shortened on purpose\\by the control", SS_PATHELLIPSIS, {0, 230, 40, 18});
        label_.Create(Handle(), {0, 250, 60, 21}, s);
        label_.SetAutoSize(false);
        label_.Place(s);
        label_.SetFont(L"Comic Sans MS", 15, true);
        label_.SetCaption(L"A 3D label");
    }

private:
    UniqueFont font_;
    std::vector<std::unique_ptr<Control>> controls_;
    TLabel3D label_;
};

TEST_F(TextFit, TheMeasureFindsEveryKindOfCutText) {
    CrampedWindow window;
    const auto cut = CutTexts(window.Handle());
    EXPECT_TRUE(std::any_of(cut.begin(), cut.end(), [](const std::wstring& l) { return l.find(L"title") == 0; }));
    for (const auto* text : {L"Wrapped words that need three lines", L"One line that is cut", L"A push button",
                             L"A check box", L"A radio button", L" A group box ", L"A 3D label"})
        EXPECT_TRUE(Mentions(cut, text, L"needs")) << Narrow(text);
    EXPECT_TRUE(Mentions(cut, L" A group box ", L"covered by a Button 'Under the caption'"));
    EXPECT_TRUE(Mentions(cut, L"Past the edge", L"reaches past its parent"));
    EXPECT_TRUE(Mentions(cut, L"Below me", L"covered by a Static 'Over me'"));
    EXPECT_FALSE(Mentions(cut, L"Fits well"));
    EXPECT_FALSE(Mentions(cut, L"C:\\a path\\shortened on purpose\\by the control")) << "an ellipsis is no cut";
}

TEST_F(TextFit, TheMainWindow) {
    MakeWindow();
    form->SetCurDirLabel(L"C:\\windows\\system32");
    EXPECT_TRUE(CutTexts(form->Handle()).empty()) << CutTextsReport(form->Handle(), "the main window");
}

TEST_F(TextFit, TheAboutBox) {
    MakeWindow();
    TAboutBox box(form->Handle());
    EXPECT_TRUE(CutTexts(box.Handle()).empty()) << CutTextsReport(box.Handle(), "the About box");
}

TEST_F(TextFit, TheWaitWindow) {
    MakeWindow();
    Thourglass wait(form->Handle());
    EXPECT_TRUE(CutTexts(wait.Handle()).empty()) << CutTextsReport(wait.Handle(), "the wait window");
}

TEST_F(TextFit, TheConsoleWindowAndTheBackground) {
    MakeWindow();
    const HWND console = form->MessageOutput->Handle();
    EXPECT_TRUE(CutTexts(console).empty()) << CutTextsReport(console, "the console window");
    TDosBoxBack back(form->Handle());
    back.ShowCovering(form->Handle());
    EXPECT_TRUE(CutTexts(back.Handle()).empty()) << CutTextsReport(back.Handle(), "the background window");
}

TEST_F(TextFit, TheBatchQuestionAndTheBatchWindow) {
    MakeWindow();
    BatchSource source;
    source.isFolder = [](const std::wstring&) { return true; };
    TBatchConfirm question(form->Handle(), L"Compress at level best (--best), without backups",
                           {L"C:\\windows"}, source, true);
    question.lblCount.SetText(L"12,345 files in 1,234 folders; 1,234 files packed already, left out");
    // Eight names as long as a line gets before it is cut in the middle, in wide letters.
    std::vector<std::wstring> names;
    for (int i = 0; i < 9; ++i)
        names.push_back(L"C:\\Programs " + std::to_wstring(i) + L"\\" + std::wstring(28, L'W') +
                        L"\\Windows Media Manager (64-bit).exe");
    question.lblNames.SetText(FirstNames(names, 8, TBatchConfirm::kLongestName));
    ASSERT_NE(question.lblNames.Text().find(L"W...W"), std::wstring::npos) << "the lines are cut, as long as they get";
    EXPECT_TRUE(CutTexts(question.Handle()).empty()) << CutTextsReport(question.Handle(), "the batch question");
    // A job with every advanced option takes more lines; nothing under it is covered.
    TBatchConfirm many(form->Handle(),
                       L"Compress at the best level (--best -qqq --ultra-brute -f --overlay=strip --compress-exports=0 "
                       L"--compress-icons=3 --keep-resource=2/MYBITMAP,5,6/12345 --strip-relocs=0), without backups",
                       {L"C:\\windows"}, source, true);
    many.lblCount.SetText(L"12,345 files in 1,234 folders; 1,234 files packed already, left out");
    EXPECT_TRUE(CutTexts(many.Handle()).empty()) << CutTextsReport(many.Handle(), "the batch question, many options");
    TBatchWindow window(Application::Instance().Dialogs());
    window.lblProgress.SetText(L"12345 of 12345 done, 1234 with a warning, 1234 failed, 16 working; stopping: the files at "
                               L"work are finished first");
    EXPECT_TRUE(CutTexts(window.Handle()).empty()) << CutTextsReport(window.Handle(), "the batch window");
}

TEST_F(TextFit, TheAdvancedOptionsAndTheirSignOnTheMainWindow) {
    StoreSetting(L"AdvancedForce", L"1");
    MakeWindow();
    EXPECT_TRUE(form->AdvancedSignShown());
    EXPECT_TRUE(CutTexts(form->Handle()).empty()) << CutTextsReport(form->Handle(), "the main window, options on");
    UpxOptions options;
    options.compressIcons = 2;  // the longest entry of the icons' list
    TAdvancedOptions dialog(form->Handle(), options, nullptr);
    dialog.edCommand.SetText(L"upx.exe --best -qqq --ultra-brute -f --overlay=strip --compress-exports=0 "
                             L"--compress-icons=3 --keep-resource=2/MYBITMAP,5,6/12345 --strip-relocs=0 "
                             L"\"program.exe\" -o \"packed.exe\"");
    EXPECT_TRUE(CutTexts(dialog.Handle()).empty()) << CutTextsReport(dialog.Handle(), "the advanced options");
    // Its reasons, where the syntax note stands.
    for (const wchar_t* bad : {L"ICON 5", L"ICON\"", L"5,,6", L"ICON;", L"\u00C4", L"2/", L"0"}) {
        SetWindowTextW(dialog.edKeep.Handle(), bad);
        EXPECT_TRUE(CutTexts(dialog.Handle()).empty()) << CutTextsReport(dialog.Handle(), "the advanced options' reason");
    }
}

TEST_F(TextFit, TheSplash) {
    TfrmBanner splash;
    EXPECT_TRUE(CutTexts(splash.Handle()).empty()) << CutTextsReport(splash.Handle(), "the splash");
}

}  // namespace
}  // namespace zandrel::test
