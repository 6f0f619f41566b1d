// The About box, its links and keys; the splash; the logos through libjpeg and the GIF decoder.
#include "test_support.h"
#include "zandrel_version.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/application.h"
#include "framework/images.h"
#include "widgets/About.h"

namespace zandrel::test {
namespace {

class About : public MainWindowTest {};

std::array<int, 3> Pixel(const RgbImage& image, int x, int y) {
    const auto* p = &image.rgb[static_cast<std::size_t>((y * image.width + x) * 3)];
    return {p[0], p[1], p[2]};
}

TEST(Logos, TheJpegAndTheGifDecodeToTheDrawnLogo) {
    for (const auto& image : {DecodeJpeg(ResourceBytes(L"ORVOJPG")), DecodeGif(ResourceBytes(L"ORVOGIF"))}) {
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 178);
        EXPECT_EQ(image->height, 71);
        const auto letter = Pixel(*image, 25, 10), ground = Pixel(*image, 3, 3), band = Pixel(*image, 90, 60);
        EXPECT_GT(letter[0], 200);
        EXPECT_GT(letter[2], 200) << "white letters";
        EXPECT_GT(ground[2], ground[0] + 80) << "on blue";
        EXPECT_GT(band[0], band[2] + 80) << "over an orange band";
    }
    const std::vector<std::uint8_t> junk = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_FALSE(DecodeJpeg(junk)) << "a broken file is refused, nothing crashes";
    EXPECT_FALSE(DecodeJpeg(ResourceBytes(L"ORVOGIF")));
    EXPECT_EQ(MakeBitmap(std::nullopt), nullptr);
}

TEST_F(About, TheBoxBeepsShowsItsTextsAndLogo) {
    MakeWindow();
    TAboutBox box(form->Handle());
    EXPECT_EQ(dialogs.beeps, 1);
    const auto caption = WindowText(box.Handle());
    EXPECT_EQ(caption, L"Zandrel version " ZANDREL_VERSION_SHORT_W L" - About");
    EXPECT_EQ(box.lblProgNameVer.Text(), L"Zandrel version " ZANDREL_VERSION_SHORT_W);
    EXPECT_FALSE(box.lblWare.Text().empty());
    EXPECT_FALSE(box.lblNotice.Text().empty());
    EXPECT_EQ(box.lblEmail.Text(), L"zandrel@orvo.example");
    EXPECT_EQ(box.lblHomePage.Text(), L"https://www.orvo.example/zandrel");
    EXPECT_EQ(box.OKButton.Text(), L"&OK");
    const auto logo = reinterpret_cast<HBITMAP>(SendMessageW(box.imgOrvo.Handle(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(logo, nullptr);
    BITMAP bm{};
    GetObjectW(logo, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 178);
    EXPECT_NE(SendMessageW(box.imgMainIcon.Handle(), STM_GETICON, 0, 0), 0) << "the program's icon";
}

TEST_F(About, LinksOpenThroughTheShellAndSayWhenNoProgramIsThere) {
    MakeWindow();
    TAboutBox box(form->Handle());
    dialogs.shellAnswer = 31;  // no program for the link
    box.lblEmail.OnClick();
    ASSERT_EQ(dialogs.opened, (std::vector<std::wstring>{L"mailto:zandrel@orvo.example"}));
    ASSERT_EQ(dialogs.Texts(), (std::vector<std::wstring>{L"Failing to open e-mail client application."}));
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.beeps, 2);
    box.lblHomePageClick();
    EXPECT_EQ(dialogs.opened.back(), L"https://www.orvo.example/zandrel");
    EXPECT_EQ(dialogs.Texts().back(), L"Failing to open browser and connect to internet.");
    dialogs.shellAnswer = 42;  // opened
    box.lblHomePageClick();
    EXPECT_EQ(dialogs.boxes.size(), 2u) << "no message when the shell opened it";
    EXPECT_TRUE(IsWindow(box.Handle())) << "the box stays open";
}

TEST_F(About, EscapeAndEnterCloseTheBoxAndTheOwnerWaitsMeanwhile) {
    MakeWindow();
    for (const WPARAM key : {WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) {
        TAboutBox box(form->Handle());
        bool ownerDisabled = false;
        // Pressed once the box is up; the box's own loop takes them.
        PostMessageW(box.OKButton.Handle(), WM_KEYDOWN, key, 0);
        PostMessageW(box.OKButton.Handle(), WM_KEYUP, key, 0);
        std::thread watch([&] {
            for (int i = 0; i < 100 && !ownerDisabled; ++i) {
                ownerDisabled = !IsWindowEnabled(form->Handle());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        box.ShowModal();
        watch.join();
        EXPECT_FALSE(IsWindowVisible(box.Handle())) << key;
        EXPECT_TRUE(IsWindowEnabled(form->Handle()));
    }
    // From the main window's button.
    const int beeps = dialogs.beeps;
    PostMessageW(form->Handle(), WM_NULL, 0, 0);
    std::thread closer([] {
        HWND box = nullptr;
        for (int i = 0; i < 400 && !box; ++i) {
            box = FindWindowW(L"ZandrelAbout", nullptr);
            if (!box || !IsWindowVisible(box)) box = nullptr, std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (box) PostMessageW(box, WM_CLOSE, 0, 0);
    });
    form->btnAbout.Click();
    closer.join();
    EXPECT_EQ(dialogs.beeps, beeps + 1);
    EXPECT_EQ(FindWindowW(L"ZandrelAbout", nullptr), nullptr) << "destroyed when closed";
}

TEST_F(About, TheSplashShowsWhileTheMainWindowIsPreparedAndGoes) {
    std::atomic<bool> stop{false}, topmost{false};
    std::atomic<int> width{0};
    std::thread watch([&] {
        while (!stop) {
            const HWND banner = FindWindowW(L"ZandrelBanner", nullptr);
            if (banner && IsWindowVisible(banner)) {
                RECT r;
                GetWindowRect(banner, &r);
                width = r.right - r.left;
                topmost = (GetWindowLongW(banner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    splash = true;
    WindowLifetimes windows;
    MakeWindow();
    stop = true;
    watch.join();
    EXPECT_TRUE(topmost) << "a top-most splash was up";
    EXPECT_EQ(width, MulDiv(335, static_cast<int>(GetDpiForSystem()), 120));
    const ULONGLONG shown = windows.First(L"ZandrelBanner", true), gone = windows.First(L"ZandrelBanner", false);
    const ULONGLONG mainMade = windows.First(L"ZandrelMain", true);
    ASSERT_NE(shown, 0u);
    ASSERT_NE(gone, 0u);
    ASSERT_NE(mainMade, 0u);
    EXPECT_LE(shown, mainMade) << "the splash shows first; the window is prepared behind it";
    EXPECT_GE(gone - shown, 1900u - 16) << "held for its moment from when it showed (tick granularity aside)";
    EXPECT_EQ(FindWindowW(L"ZandrelBanner", nullptr), nullptr) << "gone once the window is prepared";
}

}  // namespace
}  // namespace zandrel::test
