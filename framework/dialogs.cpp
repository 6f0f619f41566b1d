#include "framework/dialogs.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "framework/application.h"

namespace zandrel {
namespace {

LRESULT CALLBACK HideNoButton(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        const HWND no = GetDlgItem(box, IDNO);
        const HWND cancel = GetDlgItem(box, IDCANCEL);
        if (no && cancel) {
            RECT r;
            GetWindowRect(no, &r);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
            ShowWindow(no, SW_HIDE);
            SetWindowPos(cancel, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system has no OK/Abort box: an OK/Cancel box whose Cancel says Abort.
LRESULT CALLBACK CancelSaysAbort(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE)
        if (const HWND cancel = GetDlgItem(reinterpret_cast<HWND>(wParam), IDCANCEL)) SetWindowTextW(cancel, L"&Abort");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void SystemDialogs::Beep() { MessageBeep(MB_OK); }

BoxAnswer SystemDialogs::Box(HWND owner, const std::wstring& text, BoxKind kind, BoxButtons buttons) {
    UINT flags = MB_TASKMODAL;
    const wchar_t* title = L"Error";
    switch (kind) {
        case BoxKind::Error: flags |= MB_ICONERROR; break;
        case BoxKind::Information: flags |= MB_ICONINFORMATION, title = L"Information"; break;
        case BoxKind::Confirm: flags |= MB_ICONQUESTION, title = L"Confirm"; break;
    }
    switch (buttons) {
        case BoxButtons::Ok: flags |= MB_OK; break;
        case BoxButtons::YesNo: flags |= MB_YESNO; break;
        case BoxButtons::YesCancel: flags |= MB_YESNOCANCEL; break;
        case BoxButtons::OkAbort: flags |= MB_OKCANCEL; break;
    }
    // The system has no Yes/Cancel box: a Yes/No/Cancel box loses its No button.
    const HOOKPROC adjust = buttons == BoxButtons::YesCancel ? HideNoButton
                            : buttons == BoxButtons::OkAbort ? CancelSaysAbort
                                                             : nullptr;
    const HHOOK hook = adjust ? SetWindowsHookExW(WH_CBT, adjust, nullptr, GetCurrentThreadId()) : nullptr;
    const int answer = MessageBoxW(owner, text.c_str(), title, flags);
    if (hook) UnhookWindowsHookEx(hook);
    switch (answer) {
        case IDYES: return BoxAnswer::Yes;
        case IDNO: return BoxAnswer::No;
        case IDCANCEL: return buttons == BoxButtons::OkAbort ? BoxAnswer::Abort : BoxAnswer::Cancel;
        default: return BoxAnswer::Ok;
    }
}
void SystemDialogs::ReportException(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), Application::Instance().Title().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

namespace {

std::optional<std::wstring> RunFileDialog(HWND owner, const FileDialogRequest& request, bool save) {
    std::wstring filter = request.filter;
    for (auto& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    std::vector<wchar_t> name(32768, L'\0');  // long paths fit
    request.fileName.copy(name.data(), std::min(request.fileName.size(), name.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    // The program's current folder stays where it is (a removable drive is not held).
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (save)
        ofn.Flags |= OFN_NOTESTFILECREATE;  // nothing is written until the job runs
    else if (request.mustExist)
        ofn.Flags |= OFN_FILEMUSTEXIST;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
    return std::wstring(name.data());
}

}  // namespace

std::optional<std::wstring> SystemDialogs::OpenFile(HWND owner, const FileDialogRequest& request) {
    return RunFileDialog(owner, request, false);
}

std::optional<std::wstring> SystemDialogs::SaveFile(HWND owner, const FileDialogRequest& request) {
    return RunFileDialog(owner, request, true);
}

INT_PTR SystemDialogs::ShellOpen(HWND owner, const std::wstring& path) {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", path.c_str(), L"", L"", SW_SHOWNORMAL));
}

bool SystemDialogs::ShellRun(HWND owner, const std::wstring& path, const std::wstring& folder) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = nullptr;  // the item's default command, whatever it is called
    info.lpFile = path.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

void ShowErrorBox(IDialogService& dialogs, HWND owner, const std::wstring& text) {
    dialogs.Beep();
    dialogs.Box(owner, text, BoxKind::Error, BoxButtons::Ok);
}

}  // namespace zandrel
