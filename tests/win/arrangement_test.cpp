// The program's windows as the user arranges them: one task-bar entry, either
// window in front, the keyboard focus where the user left it.
#include <gtest/gtest.h>

#include "framework/application.h"
#include "test_support.h"

namespace zandrel::test {
namespace {

// True when `a` stands in front of `b` among the top-level windows.
bool InFront(HWND a, HWND b) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == a) return true;
        if (w == b) return false;
    }
    return false;
}

// Activates a window as a click on it would, and lets the messages through
// (under Wine the display server's answer comes a moment later).
void Activate(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    for (int i = 0; i < 50; ++i) {
        PumpMessages();
        if (GetForegroundWindow() == window) break;
        Sleep(10);
    }
    Sleep(50);
    PumpMessages();
}

class Arrangement : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow();
        Activate(form->Handle());
    }
};

TEST_F(Arrangement, OneTaskBarEntryTitledZandrelOwnsBothWindows) {
    const HWND app = Application::Instance().Handle();
    EXPECT_EQ(WindowText(app), L"Zandrel");
    EXPECT_TRUE(IsWindowVisible(app)) << "a hidden window gets no task-bar entry";
    EXPECT_FALSE(GetWindow(app, GW_OWNER));
    EXPECT_FALSE(GetWindowLongW(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    RECT r;
    GetWindowRect(app, &r);
    EXPECT_EQ(r.right - r.left, 0) << "nothing of it is seen but its entry";
    // Owned windows have no entry of their own.
    EXPECT_EQ(GetWindow(form->Handle(), GW_OWNER), app);
    EXPECT_EQ(GetWindow(messageOutput->Handle(), GW_OWNER), app);
}

TEST_F(Arrangement, EitherWindowComesToTheFront) {
    messageOutput->ShowNonModal();
    PumpMessages();
    EXPECT_TRUE(InFront(messageOutput->Handle(), form->Handle())) << "shown in front";
    Activate(messageOutput->Handle());
    Activate(form->Handle());
    EXPECT_TRUE(InFront(form->Handle(), messageOutput->Handle())) << "the main window comes to the front";
    Activate(messageOutput->Handle());
    EXPECT_TRUE(InFront(messageOutput->Handle(), form->Handle())) << "and the console window again";
}

TEST_F(Arrangement, TheFocusComesBackWhereTheUserLeftIt) {
    EXPECT_EQ(GetFocus(), form->cbShellDrive1.Handle()) << "at first, the first control in tab order: the drive";
    // The left pane's controls follow its rows from the top.
    EXPECT_EQ(GetNextDlgTabItem(form->Handle(), form->cbShellDrive1.Handle(), FALSE), form->FilterComboBox1.Handle());
    form->edTarget.SetFocus();
    messageOutput->ShowNonModal();
    Activate(messageOutput->Handle());
    EXPECT_EQ(GetFocus(), messageOutput->memOutput.Handle());
    Activate(form->Handle());
    EXPECT_EQ(GetFocus(), form->edTarget.Handle()) << "back in the target field";
    Activate(messageOutput->Handle());
    EXPECT_EQ(GetFocus(), messageOutput->memOutput.Handle());
}

TEST_F(Arrangement, TestAndListLeaveTheFocusOnTheirOwnButton) {
    TempDir dir;
    WriteBytes(dir / L"app.exe", "MZ");
    UseStandin(*form);
    form->edSource.SetText(dir / L"app.exe");
    for (Button* button : {&form->btnTest, &form->btnList}) {
        Activate(form->Handle());
        button->Click();
        PumpMessages();
        EXPECT_EQ(GetFocus(), button->Handle()) << Narrow(button->Text());
        EXPECT_EQ(GetForegroundWindow(), form->Handle());
        EXPECT_TRUE(messageOutput->Showing());
        EXPECT_TRUE(InFront(messageOutput->Handle(), form->Handle())) << "the output is seen";
    }
    EXPECT_EQ(console.executed.size(), 2u);
}

TEST_F(Arrangement, MinimisingTheMainWindowTakesTheWholeProgramToTheTaskBar) {
    messageOutput->ShowNonModal();
    SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PumpMessages();
    const HWND app = Application::Instance().Handle();
    EXPECT_TRUE(IsIconic(app));
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsWindowVisible(messageOutput->Handle()));
    // Restored from the task bar: both come back, the main window active.
    SendMessageW(app, WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpMessages();
    EXPECT_FALSE(IsIconic(app));
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(IsWindowVisible(messageOutput->Handle()));
    // Closing the task-bar entry closes the main window.
    SendMessageW(app, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(form->Handle()));
}

}  // namespace
}  // namespace zandrel::test
