// The pane at 150 % (144 dpi), where the system's small icons are 24 pixels.
// These run in a Wine session of their own at that DPI (see CMakeLists.txt);
// in the usual session they are left out.
#include "browser_fixture.h"

#include "framework/application.h"

namespace zandrel::test {
namespace {

class HighDpi : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        ASSERT_EQ(GetDpiForSystem(), 144u) << "run in the 144-dpi session";
        int cx = 0, cy = 0;
        SHFILEINFOW info{};
        const auto small = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
            L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
        ImageList_GetIconSize(small, &cx, &cy);
        ASSERT_EQ(cx, 24);
    }
};

TEST_F(HighDpi, DISABLED_TheDriveSelectorMakesRoomForBiggerIcons) {
    const HWND drives = form->cbShellDrive1.Handle();
    EXPECT_GE(SendMessageW(drives, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), 26) << "the field holds the icon";
    EXPECT_GE(SendMessageW(drives, CB_GETITEMHEIGHT, 0, 0), 26) << "and so do the rows";
    // The open list: the widest name after the icon and its margins (3 + 24 + 6 pixels),
    // and the margin after the name, 8 pixels at 96 dpi, 12 here.
    int widest = 0;
    const HDC dc = GetDC(drives);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(drives, WM_GETFONT, 0, 0)));
    for (const auto& entry : form->cbShellDrive1.Items()) {
        SIZE size{};
        GetTextExtentPoint32W(dc, entry.c_str(), static_cast<int>(entry.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(drives, dc);
    // A selector narrower than its names: the open list is as wide as they need, not as the field.
    RECT field;
    GetWindowRect(drives, &field);
    SetWindowPos(drives, nullptr, 0, 0, widest / 2, field.bottom - field.top, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(drives, CB_SHOWDROPDOWN, TRUE, 0);
    PumpMessages();
    const auto width = SendMessageW(drives, CB_GETDROPPEDWIDTH, 0, 0);
    SendMessageW(drives, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(width, widest + 33 + 12);
}

TEST_F(HighDpi, DISABLED_TheParentEntrysArrowGrowsWithTheIcons) {
    TempDir dir;
    list->SetPath(dir.Path());
    ASSERT_TRUE(list->HasParentDir());
    RedrawWindow(list->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    PumpMessages();
    RECT icon{LVIR_ICON, 0, 0, 0};
    ASSERT_TRUE(ListView_GetItemRect(list->Handle(), 0, &icon, LVIR_ICON));
    const HDC dc = GetDC(list->Handle());
    int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
    for (int y = icon.top - 4; y < icon.top + 28; ++y)
        for (int x = icon.left - 4; x < icon.left + 28; ++x)
            if (GetPixel(dc, x, y) == RGB(0, 176, 0))
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    ReleaseDC(list->Handle(), dc);
    ASSERT_NE(left, INT_MAX) << "the arrow's green";
    // Its green shaft ends 7 pixels below the icon's top when drawn for 16 pixels;
    // over a 24-pixel icon, half as far again (the top-left corner is cut by the edge).
    EXPECT_GE(bottom - icon.top, 10);
    EXPECT_GE(right - icon.left, 6);
}

}  // namespace
}  // namespace zandrel::test
