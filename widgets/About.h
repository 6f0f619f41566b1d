#pragma once
// The About box (modal, from the main window's About button) and the splash
// window shown while the main window is prepared.
#include <string>

#include "framework/controls.h"

namespace zandrel {

class TAboutBox : public Window {
public:
    explicit TAboutBox(HWND owner);
    ~TAboutBox() override;

    // Shows the box and returns when it closes (OK, Enter, Escape or the close box).
    void ShowModal();

    Control imgOrvo, imgMainIcon;
    Label lblProgNameVer, lblCpyRightAuthor;
    Label lblWare;
    Control GroupBox1;
    Label lblNotice;
    Label lblEmail, lblHomePage;
    Button OKButton;

    void FormCreate();
    void OKButtonClick();
    void lblEmailClick();
    void lblHomePageClick();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OpenLink(const std::wstring& target, const wchar_t* emptyText, const wchar_t* noProgramText);
    HWND owner_;
    bool closed_ = false;
    Scaler scale_;
    UniqueFont font_, nameFont_, rightFont_, emailFont_, pageFont_;
    HBITMAP logo_ = nullptr;
    UniqueIcon icon_;
};

class TfrmBanner : public Window {
public:
    TfrmBanner();
    ~TfrmBanner() override;

    Panel pnBanner;
    Control imgBanner;
    Label lblSoftwareName, lblUrl;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    Scaler scale_;
    UniqueFont nameFont_, urlFont_;
    HBITMAP logo_ = nullptr;
    HBRUSH white_ = nullptr;
};

}  // namespace zandrel
