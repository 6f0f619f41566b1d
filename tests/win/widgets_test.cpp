// The 3D label drawn into bitmaps, and the wait window with its animation.
#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>

#include "app/globals.h"
#include "framework/application.h"
#include "jobs/hrglass.h"
#include "test_support.h"
#include "widgets/Label3D.h"

namespace zandrel::test {
namespace {

// A top-level window to hold controls under test.
class Host : public Window {
public:
    Host() {
        RegisterClassOnce(L"ZandrelTestHost");
        CreateHandle(L"ZandrelTestHost", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"host", 50, 50, 400, 200, nullptr);
    }
};

// The label painted into a bitmap of its size.
Picture Paint(TLabel3D& label) {
    RECT r;
    GetClientRect(label.Handle(), &r);
    return PaintInto(r.right, r.bottom, [&](HDC dc) { label.PaintTo(dc); });
}

class Label3D : public ::testing::Test {
protected:
    void SetUp() override {
        Application::Instance().SetDialogs(&dialogs);
        label.Create(host.Handle(), {10, 10, 200, 40}, Scaler(GetDpiForWindow(host.Handle())));
        label.SetFont(L"Tahoma", 20, true);
        label.SetCaption(L"Raised text");
        label.SetFontColor(RGB(0, 0, 0));
        label.SetColor(RGB(192, 192, 192));
    }
    void TearDown() override { Application::Instance().SetDialogs(nullptr); }

    // Every pixel the style adds is the copy's colour, `by` pixels right and down of a text pixel.
    void ExpectCopy(TTextStyle style, int by, COLORREF colour) {
        label.SetTextStyle(TTextStyle::tsNone);
        const auto plain = Paint(label);
        label.SetTextStyle(style);
        const auto styled = Paint(label);
        int added = 0;
        for (int y = 0; y < plain.h; ++y)
            for (int x = 0; x < plain.w; ++x) {
                if (plain.At(x, y) == styled.At(x, y)) continue;
                ++added;
                EXPECT_EQ(styled.At(x, y), colour) << x << "," << y;
                ASSERT_TRUE(x >= by && y >= by);
                EXPECT_EQ(plain.At(x - by, y - by), RGB(0, 0, 0)) << "a copy of a text pixel";
            }
        EXPECT_GT(added, 20);
    }

    RecordingDialogs dialogs;
    Host host;
    TLabel3D label;
};

TEST_F(Label3D, RaisedAndShadowCopiesSitRightAndDownOfTheText) {
    ExpectCopy(TTextStyle::tsRaised, 1, GetSysColor(COLOR_BTNSHADOW));
    label.SetShift(3);
    ExpectCopy(TTextStyle::tsShadow, 3, GetSysColor(COLOR_BTNSHADOW));
    ExpectCopy(TTextStyle::tsRecessed, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(Label3D, DisabledCaptionIsGreyOverUnchangedCopies) {
    const auto enabled = Paint(label);
    EnableWindow(label.Handle(), FALSE);
    const auto disabled = Paint(label);
    bool grey = false, black = false;
    for (const auto c : disabled.pixels) grey |= c == GetSysColor(COLOR_GRAYTEXT), black |= c == RGB(0, 0, 0);
    EXPECT_TRUE(grey);
    EXPECT_FALSE(black);
    int shadows = 0;
    for (std::size_t i = 0; i < enabled.pixels.size(); ++i)
        if (enabled.pixels[i] == GetSysColor(COLOR_BTNSHADOW)) shadows += disabled.pixels[i] == enabled.pixels[i];
    EXPECT_GT(shadows, 0);
}

TEST_F(Label3D, BordersSitOnTheOuterEdge) {
    label.SetTextStyle(TTextStyle::tsNone);
    // Room around the text, so the corners show only the frame.
    label.SetAutoSize(false);
    SetWindowPos(label.Handle(), nullptr, 0, 0, 300, 80, SWP_NOMOVE | SWP_NOZORDER);
    label.SetBorder(true);
    label.SetBorderType(TBorderType::btRecessed);
    auto p = Paint(label);
    EXPECT_EQ(p.At(0, 0), RGB(128, 128, 128));
    EXPECT_EQ(p.At(p.w - 1, p.h - 1), RGB(255, 255, 255));
    label.SetBorderType(TBorderType::btRaised);
    p = Paint(label);
    EXPECT_EQ(p.At(0, p.h / 2), RGB(255, 255, 255));
    EXPECT_EQ(p.At(p.w - 1, p.h / 2), RGB(128, 128, 128));
    label.SetBorderType(TBorderType::btDefault);
    p = Paint(label);
    EXPECT_EQ(p.At(p.w / 2, 0), RGB(255, 0, 0)) << "red by default";
}

TEST_F(Label3D, TurnedTextResizesTheLabel) {
    RECT before;
    GetClientRect(label.Handle(), &before);
    label.SetEscapement(90);
    Paint(label);
    RECT after;
    GetClientRect(label.Handle(), &after);
    EXPECT_NEAR(after.right, before.bottom, 3) << "as wide as the text is high";
    EXPECT_NEAR(after.bottom, before.right, 3) << "as high as the text is wide";
    label.SetEscapement(-30);
    EXPECT_EQ(label.Escapement(), 330);
}

TEST_F(Label3D, EllipsesTurnAutoSizeOff) {
    EXPECT_TRUE(label.AutoSize());
    label.SetEllipsesStyle(TEllipsesStyle::esEnd);
    EXPECT_FALSE(label.AutoSize());
    label.SetEllipsesStyle(TEllipsesStyle::esNone);
    EXPECT_FALSE(label.AutoSize());
}

TEST_F(Label3D, LinksChangeOnHoverAndOpenTheirAddress) {
    int clicks = 0, enters = 0, exits = 0;
    label.OnClick = [&] { ++clicks; };
    label.OnMouseEnter = [&] { ++enters; };
    label.OnMouseExit = [&] { ++exits; };
    label.SetLabelStyle(TLabelStyle::lsWWWAddress);
    label.SetAddress(L"https://zandrel.example/");
    label.MouseEnter();
    EXPECT_EQ(label.FontColor(), RGB(255, 0, 0));
    EXPECT_TRUE(label.Underlined());
    label.MouseLeave();
    EXPECT_EQ(label.FontColor(), RGB(0, 0, 0));
    EXPECT_FALSE(label.Underlined());
    label.Click();
    EXPECT_EQ(dialogs.opened, std::vector<std::wstring>{L"https://zandrel.example/"});

    label.SetLabelStyle(TLabelStyle::lsEMailAddress);
    label.SetAddress(L"help@zandrel.example");
    label.Click();
    EXPECT_EQ(dialogs.opened.back(), L"mailto:help@zandrel.example");
    label.SetAddress(L"");
    label.Click();
    EXPECT_EQ(dialogs.opened.size(), 2u) << "no address: only the click event";
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 1);

    label.SetLabelStyle(TLabelStyle::lsDefault);
    label.MouseEnter();
    EXPECT_EQ(label.FontColor(), RGB(0, 0, 0)) << "a plain label does not change";
    EXPECT_EQ(enters, 2);
}

// A click is a press and a release both over the label, as the mouse really sends them.
TEST_F(Label3D, ALinkOpensOnlyForAPressAndAReleaseOverIt) {
    label.SetLabelStyle(TLabelStyle::lsWWWAddress);
    label.SetAddress(L"https://zandrel.example/");
    const HWND h = label.Handle();
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCapture(), h) << "the release comes here wherever it happens";
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));  // released beside it
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(dialogs.opened.empty());
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // a release over it after a press elsewhere
    EXPECT_TRUE(dialogs.opened.empty());
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
    EXPECT_EQ(dialogs.opened, std::vector<std::wstring>{L"https://zandrel.example/"});
}

// Sets system colours for as long as it lives, telling the test's windows as the system does.
struct SystemColours {
    std::vector<int> which;
    std::vector<COLORREF> before;
    std::vector<HWND> told;
    SystemColours(std::vector<std::pair<int, COLORREF>> colours, std::vector<HWND> windows) : told(std::move(windows)) {
        std::vector<COLORREF> now;
        for (const auto& [element, colour] : colours) {
            which.push_back(element);
            before.push_back(GetSysColor(element));
            now.push_back(colour);
        }
        Set(now);
    }
    ~SystemColours() { Set(before); }
    void Set(const std::vector<COLORREF>& colours) {
        SetSysColors(static_cast<int>(which.size()), which.data(), colours.data());
        for (const HWND w : told) SendMessageW(w, WM_SYSCOLORCHANGE, 0, 0);
        PumpMessages();
    }
};

TEST_F(Label3D, ItsSystemColoursFollowTheSystem) {
    const COLORREF green = RGB(0, 160, 0);
    SystemColours change({{COLOR_BTNSHADOW, green}}, {host.Handle()});
    ExpectCopy(TTextStyle::tsRaised, 1, green);
}

TEST(WaitWindow, PlaysTheBuiltAnimationAndShowsWithoutIt) {
    Host host;
    const auto clip = ExeDir.empty() ? std::wstring() : ExeDir + L"Process.avi";
    ExeDir = std::filesystem::path(ZandrelPath()).parent_path().wstring() + L"\\";
    {
        Thourglass wait(host.Handle());
        EXPECT_TRUE(wait.HasAnimation()) << "Process.avi is made at build time beside the program";
        EXPECT_TRUE(wait.Play());
        EXPECT_EQ(wait.Label3D1.Caption(), L"Processing...Please wait!");
        EXPECT_EQ(wait.Label3D1.TextStyle(), TTextStyle::tsRaised);
        // The caption really shows: black text with its shadow copy.
        const auto picture = Paint(wait.Label3D1);
        const auto black = std::count(picture.pixels.begin(), picture.pixels.end(), RGB(0, 0, 0));
        const auto shadow = std::count(picture.pixels.begin(), picture.pixels.end(), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_GT(black, 50) << picture.w << "x" << picture.h;
        EXPECT_GT(shadow, 20);
        RECT lr;
        GetWindowRect(wait.Label3D1.Handle(), &lr);
        EXPECT_TRUE(IsWindowVisible(wait.Label3D1.Handle()) || !IsWindowVisible(wait.Handle()));
        EXPECT_GT(lr.right - lr.left, 100);
        RECT r, h;
        GetWindowRect(wait.Handle(), &r);
        GetWindowRect(host.Handle(), &h);
        EXPECT_NEAR((r.left + r.right) / 2, (h.left + h.right) / 2, 1) << "centred over the main window";
        EXPECT_TRUE(GetWindowLongW(wait.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_FALSE(GetWindowLongW(wait.Handle(), GWL_STYLE) & WS_CAPTION);
    }
    TempDir empty;
    ExeDir = empty.Path() + L"\\";
    Thourglass bare(host.Handle());
    EXPECT_FALSE(bare.HasAnimation());
    EXPECT_FALSE(bare.Play());
    ExeDir = clip.empty() ? ExeDir : clip.substr(0, clip.size() - 11);
}

}  // namespace
}  // namespace zandrel::test
