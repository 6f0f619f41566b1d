#include "widgets/About.h"

#include <shellapi.h>

#include "app/descrambler.h"
#include "framework/application.h"
#include "framework/images.h"
#include "resources/resource.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

std::wstring Text(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

// Centres a window of the given outer size on the work area of the primary screen.
POINT Centred(int w, int h) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2};
}

}  // namespace

// ===========================================================================
// About box

TAboutBox::TAboutBox(HWND owner) : owner_(owner) {
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RegisterClassOnce(L"ZandrelAbout", CS_DBLCLKS, GetSysColorBrush(COLOR_BTNFACE));
    scale_ = Scaler(GetDpiForSystem());
    const auto& s = scale_;
    RECT frame{0, 0, s(353), s(451)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, s.Dpi());
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const POINT at = Centred(w, h);
    CreateHandle(L"ZandrelAbout", exStyle, style, L"", at.x, at.y, w, h, owner);

    font_ = MakeFont(s, L"MS Sans Serif", 14);
    nameFont_ = MakeFont(s, L"Comic Sans MS", 15);
    rightFont_ = MakeFont(s, L"MS Sans Serif", 15);
    emailFont_ = MakeFont(s, L"MS Sans Serif", 13);
    pageFont_ = MakeFont(s, L"MS Sans Serif", 14);
    const HWND me = Handle();
    imgOrvo.Create(me, L"STATIC", L"", SS_BITMAP | SS_REALSIZECONTROL, {49, 16, 178, 71}, s);
    imgMainIcon.Create(me, L"STATIC", L"", SS_ICON | SS_REALSIZECONTROL, {273, 32, 32, 33}, s);
    lblProgNameVer.Create(me, L"STATIC", L"", SS_NOPREFIX, {22, 102, 0, 0}, s);
    lblWare.Create(me, L"STATIC", L"", SS_NOPREFIX, {24, 136, 305, 33}, s);
    lblCpyRightAuthor.Create(me, L"STATIC", L"", SS_NOPREFIX | SS_RIGHT, {24, 175, 306, 0}, s);
    const DesignRect group{17, 300, 320, 97};
    GroupBox1.Create(me, L"BUTTON", L"", BS_GROUPBOX, group, s);
    lblNotice.Create(me, L"STATIC", L"", SS_NOPREFIX, {group.x + 10, group.y + 16, 295, 32}, s);
    lblEmail.Create(me, L"STATIC", L"", SS_NOPREFIX | SS_NOTIFY, {group.x + 12, group.y + 50, 0, 0}, s);
    lblHomePage.Create(me, L"STATIC", L"", SS_NOPREFIX | SS_NOTIFY, {group.x + 12, group.y + 72, 0, 0}, s);
    OKButton.Create(me, L"BUTTON", L"&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {259, 409, 70, 30}, s);
    OKButton.OnClick = [this] { OKButtonClick(); };
    lblEmail.OnClick = [this] { lblEmailClick(); };
    lblHomePage.OnClick = [this] { lblHomePageClick(); };
    for (Control* c : {&imgOrvo, &imgMainIcon, &GroupBox1, static_cast<Control*>(&OKButton)}) c->Place(s, font_.get());
    FormCreate();
    // The two wrapped texts take the lines they need: the first grows into the room above the
    // maker's line, the notice into the top of its caption-less group (the links stay below it).
    lblNotice.SetGrowsUp(true);
    lblWare.Place(s, font_.get());
    lblNotice.Place(s, font_.get());
    lblProgNameVer.Place(s, nameFont_.get());
    lblCpyRightAuthor.Place(s, rightFont_.get());
    lblEmail.Place(s, emailFont_.get());
    lblHomePage.Place(s, pageFont_.get());
}

TAboutBox::~TAboutBox() {
    Destroy();
    if (logo_) DeleteObject(logo_);
}

void TAboutBox::FormCreate() {
    Application::Instance().Dialogs().Beep();
    lblWare.SetText(Text(texts::AboutWare));
    lblNotice.SetText(Text(texts::AboutNotice));
    const auto name = Text(texts::AboutProgNameVer);
    const auto maker = Text(texts::AboutCopyright);
    const auto email = Text(texts::AboutEmail);
    const auto page = Text(texts::AboutHomePage);
    SetWindowTextW(Handle(), (name + L" - About").c_str());
    icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ZANDREL), IMAGE_ICON, scale_(32), scale_(32), 0)));
    SendMessageW(imgMainIcon.Handle(), STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
    lblProgNameVer.SetText(name);
    lblCpyRightAuthor.SetText(maker);
    lblEmail.SetText(email);
    lblHomePage.SetText(page);
    logo_ = MakeBitmap(DecodeJpeg(ResourceBytes(L"ORVOJPG")));
    SendMessageW(imgOrvo.Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));
}

void TAboutBox::ShowModal() {
    // The owner waits, disabled, while the box is up.
    RunModal(Handle(), owner_, OKButton.Handle(), [this] { return closed_; });
}

void TAboutBox::OKButtonClick() { closed_ = true; }

void TAboutBox::OpenLink(const std::wstring& target, const wchar_t* emptyText, const wchar_t* noProgramText) {
    auto& dialogs = Application::Instance().Dialogs();
    if (target.empty()) {
        dialogs.Beep();
        dialogs.Box(Handle(), emptyText, BoxKind::Information, BoxButtons::Ok);
        return;
    }
    if (dialogs.ShellOpen(Handle(), target) == SE_ERR_NOASSOC) ShowErrorBox(dialogs, Handle(), noProgramText);
}

void TAboutBox::lblEmailClick() {
    const auto address = Text(texts::AboutEmail);
    OpenLink(address.empty() ? address : L"mailto:" + address, L"Invalid e-mail address.",
             L"Failing to open e-mail client application.");
}

void TAboutBox::lblHomePageClick() {
    OpenLink(Text(texts::AboutHomePage), L"Invalid URL.", L"Failing to open browser and connect to internet.");
}

LRESULT TAboutBox::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            // Enter and Escape arrive as OK and Cancel from the dialog navigation.
            if (!lParam && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
                OKButtonClick();
                return 0;
            }
            if (lParam && Control::Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            break;
        case WM_CTLCOLORSTATIC: {
            const auto control = reinterpret_cast<HWND>(lParam);
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, TRANSPARENT);
            const bool link = control == lblEmail.Handle() || control == lblHomePage.Handle();
            SetTextColor(dc, link ? RGB(0, 0, 255) : RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR: {
            const auto over = reinterpret_cast<HWND>(wParam);
            if (over == lblEmail.Handle() || over == lblHomePage.Handle()) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        case WM_CLOSE:
            OKButtonClick();
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

// ===========================================================================
// Splash

TfrmBanner::TfrmBanner() {
    RegisterClassOnce(L"ZandrelBanner", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    scale_ = Scaler(GetDpiForSystem());
    const auto& s = scale_;
    const int w = s(335), h = s(221);
    const POINT at = Centred(w, h);
    CreateHandle(L"ZandrelBanner", WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP, L"", at.x, at.y, w, h, nullptr);
    white_ = CreateSolidBrush(RGB(255, 255, 255));
    nameFont_ = MakeFont(s, L"MS Sans Serif", 13, true);
    urlFont_ = MakeFont(s, L"Comic Sans MS", 15);
    pnBanner.Create(Handle(), {0, 0, 335, 221}, s, Panel::Bevel::LoweredInner);
    pnBanner.SetColor(RGB(255, 255, 255));
    const HWND panel = pnBanner.Handle();
    imgBanner.Create(panel, L"STATIC", L"", SS_BITMAP | SS_REALSIZECONTROL, {72, 16, 178, 71}, s);
    lblSoftwareName.Create(panel, L"STATIC", L"Orvo Zandrel", SS_NOPREFIX, {24, 112, 0, 0}, s);
    lblUrl.Create(panel, L"STATIC", Text(texts::AboutHomePage), SS_NOPREFIX, {72, 160, 0, 0}, s);
    imgBanner.Place(s, nullptr);
    lblSoftwareName.Place(s, nameFont_.get());
    lblUrl.Place(s, urlFont_.get());
    logo_ = MakeBitmap(DecodeGif(ResourceBytes(L"ORVOGIF")));
    SendMessageW(imgBanner.Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));
}

TfrmBanner::~TfrmBanner() {
    Destroy();
    if (logo_) DeleteObject(logo_);
    if (white_) DeleteObject(white_);
}

LRESULT TfrmBanner::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(white_);
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
