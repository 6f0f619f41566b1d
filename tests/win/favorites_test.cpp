// The favourite folders on the real registry (test key), and the drop-down
// arrow button that carries them: clicks, the menu, painting into bitmaps.
#include "browser_fixture.h"

#include <commctrl.h>

#include "app/globals.h"
#include "framework/application.h"
#include "framework/registry.h"

namespace zandrel::test {
namespace {

// A folder on another drive than C: (the test program's own, on Z:).
std::wstring ExeDirectoryOnOtherDrive() {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring dir(path, n);
    return dir.substr(0, dir.rfind(L'\\'));
}

std::wstring FavoritesKey() { return kTestKey + L"\\FavoriteFolders"; }

void StoreFavorite(const std::wstring& name, const std::wstring& folder) {
    RegistryKey::Open(HKEY_CURRENT_USER, FavoritesKey(), true)->WriteString(name, folder);
}

// What the favourites key holds, "0", "1", ... up to the first missing name (and one more, to see gaps).
std::vector<std::wstring> StoredFavorites() {
    std::vector<std::wstring> stored;
    auto key = RegistryKey::Open(HKEY_CURRENT_USER, FavoritesKey(), false);
    if (!key) return stored;
    for (int i = 0; i < 5; ++i)
        if (auto v = key->ReadString(std::to_wstring(i))) stored.push_back(*v);
    return stored;
}

// While a pop-up menu is open: where it stands, then closes it.
struct MenuWatch {
    static inline POINT where{-1, -1};
    static inline int items = -1;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        if (!menu || !IsWindowVisible(menu)) return;
        RECT r;
        GetWindowRect(menu, &r);
        where = {r.left, r.top};
        items = GetMenuItemCount(reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0)));
        KillTimer(nullptr, id);
        EndMenu();
    }
    MenuWatch() {
        where = {-1, -1};
        items = -1;
        timer = SetTimer(nullptr, 0, 50, Tick);
    }
    ~MenuWatch() { KillTimer(nullptr, timer); }
    UINT_PTR timer;
};

class Favorites : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        RegistryKey::DeleteKey(HKEY_CURRENT_USER, FavoritesKey());
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        RegistryKey::DeleteKey(HKEY_CURRENT_USER, FavoritesKey());
    }
    std::vector<std::wstring> Menu() const {
        std::vector<std::wstring> captions;
        for (int i = 0; i < GetMenuItemCount(form->pmFavoriteDir); ++i) {
            wchar_t text[MAX_PATH * 2]{};
            GetMenuStringW(form->pmFavoriteDir, static_cast<UINT>(i), text, MAX_PATH * 2, MF_BYPOSITION);
            captions.push_back(text);
        }
        return captions;
    }
    void Add(const std::wstring& folder) {
        form->ShellDir1.SetPath(folder);
        form->btnFavoriteDir.Click();
    }
    // Chooses the menu's item at `position` as the menu does: a command to the main window.
    void Choose(int position) {
        SendMessageW(form->Handle(), WM_COMMAND, TfrmMain::kFavoriteItemId + static_cast<UINT>(position), 0);
    }
};

// Ctrl+F in the list as the user presses it.
void CtrlF(TfrmMain& form) {
    HeldKeys ctrl({VK_CONTROL});
    SendMessageW(form.ShellDir1.Handle(), WM_KEYUP, 'F', 0);
}

TEST_F(Favorites, NewestFirstAtMostThreeAndStoredFromZero) {
    MakeWindow();
    EXPECT_TRUE(Menu().empty());
    // With no folder in the list, Ctrl+F and the button add nothing and store nothing.
    ASSERT_EQ(form->ShellDir1.Path(), L"");
    CtrlF(*form);
    form->btnFavoriteDir.Click();
    EXPECT_TRUE(Menu().empty());
    EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, FavoritesKey(), false)) << "nothing stored";
    TempDir a, b, c, d;
    Add(a.Path());
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{a.Path()}));
    EXPECT_EQ(StoredFavorites(), (std::vector<std::wstring>{a.Path()}));
    Add(b.Path());
    Add(c.Path());
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{c.Path(), b.Path(), a.Path()}));
    Add(d.Path());
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{d.Path(), c.Path(), b.Path()}));
    EXPECT_EQ(StoredFavorites(), (std::vector<std::wstring>{d.Path(), c.Path(), b.Path()}));

    // Already there in another letter case: nothing changes.
    std::wstring lower = c.Path();
    for (auto& ch : lower)
        if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch - L'A' + L'a');
    Add(lower);
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{d.Path(), c.Path(), b.Path()}));

    // Ctrl+F in the list adds too.
    TempDir e;
    form->ShellDir1.SetPath(e.Path());
    CtrlF(*form);
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{e.Path(), d.Path(), c.Path()}));
}

TEST_F(Favorites, GoingToAFavoriteAndToOneThatHasGone) {
    TempDir keep, gone;
    const std::wstring other = ExeDirectoryOnOtherDrive();
    StoreFavorite(L"0", gone.Path());
    StoreFavorite(L"1", keep.Path());
    StoreFavorite(L"2", other);
    MakeWindow();
    ASSERT_EQ(Menu(), (std::vector<std::wstring>{gone.Path(), keep.Path(), other}));

    Choose(1);
    EXPECT_EQ(form->ShellDir1.Path(), keep.Path());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(GetMenuState(form->pmFavoriteDir, 1, MF_BYPOSITION) & MF_CHECKED) << "the mark is taken off";

    Choose(2);
    EXPECT_EQ(form->ShellDir1.Path(), other);
    EXPECT_EQ(form->cbShellDrive1.Drive(), L'C') << "the drive selector stays";

    RemoveDirectoryW(gone.Path().c_str());
    Choose(0);
    ASSERT_EQ(dialogs.Texts(), (std::vector<std::wstring>{L"Directory does not exist."}));
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{keep.Path(), other, L""}));
    EXPECT_EQ(StoredFavorites(), (std::vector<std::wstring>{keep.Path(), other}));

    // The empty place: the no-folder message, nothing else.
    Choose(2);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, L"There is no favourite folder in this place of the menu. Add one with the "
                                     L"favourites button first.");
    EXPECT_EQ(dialogs.boxes[1].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.beeps, 2);
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{keep.Path(), other, L""}));

    // The next addition fills it.
    TempDir fresh;
    Add(fresh.Path());
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{fresh.Path(), keep.Path(), other}));
}

// A favourite on a stick that is not plugged in is looked for without the system's box
// asking for the disk; it has gone as far as the list can tell.
TEST_F(Favorites, AFavouriteOnADriveThatIsNotThereAsksForNoDisk) {
    TempDir keep;
    StoreFavorite(L"0", L"Q:\\Stick\\Tools");
    StoreFavorite(L"1", keep.Path());
    MakeWindow();
    {
        DriveProbes probes(L'Q');
        Choose(0);
        EXPECT_FALSE(probes.All().empty()) << "the folder was looked for";
        EXPECT_EQ(probes.Unguarded(), "") << "looked for while the system would ask for the disk";
    }
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::wstring>{L"Directory does not exist."}));
    EXPECT_EQ(form->ShellDir1.Path(), L"");
    EXPECT_EQ(StoredFavorites(), (std::vector<std::wstring>{keep.Path()}));
}

TEST_F(Favorites, AGapEndsTheStoredList) {
    StoreFavorite(L"0", L"C:\\windows");
    StoreFavorite(L"2", L"C:\\users");
    MakeWindow();
    EXPECT_EQ(Menu(), (std::vector<std::wstring>{L"C:\\windows"}));
}

TEST_F(Favorites, TheArrowDropsTheMenuAndTheMainPartClicks) {
    StoreFavorite(L"0", L"C:\\windows");
    MakeWindow();
    auto& button = form->btnFavoriteDir;
    RECT r;
    GetClientRect(button.Handle(), &r);
    int drops = 0;
    button.OnDrop = [&] { ++drops; };
    const std::wstring before = form->ShellDir1.Path();

    // A press on the arrow: the menu opens under the button's left edge; no click.
    {
        MenuWatch watch;
        SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right - 3, r.bottom / 2));
    }
    POINT corner{0, r.bottom};
    ClientToScreen(button.Handle(), &corner);
    EXPECT_EQ(MenuWatch::items, 1);
    EXPECT_EQ(MenuWatch::where.x, corner.x);
    EXPECT_EQ(MenuWatch::where.y, corner.y);
    EXPECT_EQ(drops, 1);
    SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.right - 3, r.bottom / 2));
    EXPECT_TRUE(Menu().size() == 1) << "no favourite added by the arrow";
    EXPECT_EQ(form->ShellDir1.Path(), before);

    // The right button opens it as well.
    {
        MenuWatch watch;
        SendMessageW(button.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.right - 3, 2));
    }
    EXPECT_EQ(MenuWatch::items, 1);
    EXPECT_EQ(drops, 2);

    // Ctrl+Right in the list: at the button's bottom-right corner.
    {
        MenuWatch watch;
        BYTE saved[256], state[256];
        GetKeyboardState(saved);
        std::copy(std::begin(saved), std::end(saved), state);
        state[VK_CONTROL] = 0x80;
        SetKeyboardState(state);
        SendMessageW(form->ShellDir1.Handle(), WM_KEYUP, VK_RIGHT, 0);
        SetKeyboardState(saved);
    }
    POINT bottomRight{r.right, r.bottom};
    ClientToScreen(button.Handle(), &bottomRight);
    EXPECT_EQ(MenuWatch::where.x, bottomRight.x);
    EXPECT_EQ(MenuWatch::where.y, bottomRight.y);

    // The main part: press and release inside is a click (here: add the list's folder).
    TempDir dir;
    form->ShellDir1.SetPath(dir.Path());
    SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_EQ(button.Face(), TJvArrowButton::fsDown);
    SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(40, 4));  // released outside
    EXPECT_EQ(Menu().size(), 1u);
    EXPECT_EQ(button.Face(), TJvArrowButton::fsUp);
    SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Menu().front(), dir.Path());
    EXPECT_EQ(drops, 2);
}

// ---------------------------------------------------------------------------
// Painting

// Real input, sent while the menu is open: the menu eats the release, yet the button comes up.
struct MenuCloser {
    static inline std::vector<INPUT> inputs;
    static inline bool sent = false;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        if (!menu || !IsWindowVisible(menu) || sent) return;
        sent = true;
        KillTimer(nullptr, id);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    explicit MenuCloser(std::vector<INPUT> in) {
        inputs = std::move(in);
        sent = false;
        timer = SetTimer(nullptr, 0, 50, Tick);
    }
    ~MenuCloser() { KillTimer(nullptr, timer); }
    UINT_PTR timer;
};

INPUT MouseInput(DWORD flags, int x = 0, int y = 0) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    return in;
}

INPUT KeyInput(WORD key, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

TEST_F(Favorites, TheButtonComesUpWhenItsMenuCloses) {
    StoreFavorite(L"0", L"C:\\windows");
    MakeWindow();
    auto& button = form->btnFavoriteDir;
    SetForegroundWindow(form->Handle());
    RECT r;
    GetWindowRect(button.Handle(), &r);
    auto send = [](const std::vector<INPUT>& in) {
        SendInput(static_cast<UINT>(in.size()), const_cast<INPUT*>(in.data()), sizeof(INPUT));
        for (int i = 0; i < 20; ++i) PumpMessages(), Sleep(10);
    };
    const POINT arrow{r.right - 4, (r.top + r.bottom) / 2};
    for (const bool byEscape : {true, false}) {
        // The press on the arrow opens the menu; the release and the closing come while it is open.
        std::vector<INPUT> closing{MouseInput(MOUSEEVENTF_LEFTUP)};
        if (byEscape) {
            closing.push_back(KeyInput(VK_ESCAPE, false));
            closing.push_back(KeyInput(VK_ESCAPE, true));
        } else {
            // A click elsewhere, away from the menu and the button.
            closing.push_back(MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, r.left + 300, r.bottom + 250));
            closing.push_back(MouseInput(MOUSEEVENTF_LEFTDOWN));
            closing.push_back(MouseInput(MOUSEEVENTF_LEFTUP));
        }
        send({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, arrow.x, arrow.y)});
        {
            MenuCloser closer(closing);
            send({MouseInput(MOUSEEVENTF_LEFTDOWN)});
            EXPECT_TRUE(MenuCloser::sent) << "the menu opened";
        }
        for (int i = 0; i < 20; ++i) PumpMessages(), Sleep(10);
        EXPECT_FALSE(FindWindowW(L"#32768", nullptr) && IsWindowVisible(FindWindowW(L"#32768", nullptr)));
        EXPECT_EQ(button.Face(), TJvArrowButton::fsUp) << (byEscape ? "after Escape" : "after a click elsewhere");
        const auto picture = PaintOf(button.Handle());
        EXPECT_NE(picture.At(1, 1), GetSysColor(COLOR_BTNSHADOW)) << "no sunken frame";
    }
}

// Controls hear of new system colours through their window, the only one the system tells.
TEST_F(Favorites, TheButtonsStuckDownPatternFollowsTheSystemColours) {
    MakeWindow();
    auto& button = form->btnFavoriteDir;
    button.SetGroupIndex(1);
    button.SetAllowAllUp(true);
    button.SetDown(true);  // stuck down: a checkerboard of face and highlight colours
    const COLORREF green = RGB(0, 160, 0);
    const int highlight = COLOR_BTNHIGHLIGHT;
    const COLORREF before = GetSysColor(highlight);
    const auto old = PaintOf(button.Handle());  // the pattern is made and kept
    SetSysColors(1, &highlight, &green);
    SendMessageW(form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
    const auto now = PaintOf(button.Handle());
    SetSysColors(1, &highlight, &before);
    SendMessageW(form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
    button.SetDown(false);
    button.SetGroupIndex(0);
    // The checkerboard's highlight squares, inside the frame: now in the new colour.
    int squares = 0, followed = 0;
    for (int y = 4; y < old.h - 4; ++y)
        for (int x = 4; x < 8; ++x)
            if (old.At(x, y) == before) ++squares, followed += now.At(x, y) == green;
    ASSERT_GT(squares, 4);
    EXPECT_EQ(followed, squares);
}

TEST_F(Favorites, TheButtonPaintsItsArrowFramesOnHoverAndEmbossesWhenDisabled) {
    MakeWindow();
    auto& button = form->btnFavoriteDir;
    const auto idle = PaintOf(button.Handle());
    const COLORREF face = GetSysColor(COLOR_BTNFACE), dark = GetSysColor(COLOR_3DDKSHADOW);
    const auto lines = ArrowLines(idle.w - 13, 0, idle.w, idle.h, false, true);
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines)
        for (int x = line.x0; x < line.x1; ++x) EXPECT_EQ(idle.At(x, line.y), dark) << x << "," << line.y;
    EXPECT_EQ(idle.At(lines[0].x0, lines[0].y - 1), face) << "nothing above the arrow";
    EXPECT_EQ(idle.At(0, idle.h / 2), face) << "flat: no frame while the mouse is away";

    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(button.MouseInside());
    const auto hover = PaintOf(button.Handle());
    EXPECT_EQ(hover.At(0, hover.h / 2), GetSysColor(COLOR_BTNHIGHLIGHT)) << "a raised frame under the mouse";
    SendMessageW(button.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(button.MouseInside());

    // The glyph: a yellow folder when enabled; an embossed grey picture when disabled.
    auto hasColour = [](const Picture& p, COLORREF c) {
        return std::find(p.pixels.begin(), p.pixels.end(), c) != p.pixels.end();
    };
    EXPECT_TRUE(hasColour(idle, RGB(255, 216, 96)));
    button.SetEnabled(false);
    const auto disabled = PaintOf(button.Handle());
    EXPECT_FALSE(hasColour(disabled, RGB(255, 216, 96)));
    EXPECT_TRUE(hasColour(disabled, GetSysColor(COLOR_BTNSHADOW)));
    for (const auto& line : ArrowLines(disabled.w - 13, 0, disabled.w, disabled.h, false, true))
        EXPECT_EQ(disabled.At(line.x0, line.y), GetSysColor(COLOR_BTNSHADOW)) << "a grey arrow";
    button.SetEnabled(true);

    // Stuck down in a group, with PressBoth the arrow is drawn pressed (moved one right and down).
    button.SetGroupIndex(1);
    button.SetAllowAllUp(true);
    button.SetDown(true);
    EXPECT_EQ(button.Face(), TJvArrowButton::fsExclusive);
    const auto down = PaintOf(button.Handle());
    const auto pressed = ArrowLines(down.w - 13, 0, down.w, down.h, true, true);
    EXPECT_EQ(down.At(pressed[0].x0, pressed[0].y), dark);
    button.SetDown(false);
    button.SetGroupIndex(0);
    EXPECT_FALSE(button.Down());
}

}  // namespace
}  // namespace zandrel::test
