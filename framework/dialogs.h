#pragma once
// Every message box, beep and file dialog of the program goes through one
// service, so that tests can record what was shown and answer questions.
#include <optional>
#include <string>

#include "framework/win.h"

namespace zandrel {

enum class BoxKind { Error, Information, Confirm };  // the title follows the icon
enum class BoxButtons { Ok, YesNo, YesCancel, OkAbort };
enum class BoxAnswer { Ok, Yes, No, Cancel, Abort };

// What a file dialog (Open or Save) shows when it opens.
struct FileDialogRequest {
    std::wstring filter;         // "Name|*.ext|Name|*.ext", '|' between the parts
    std::wstring initialFolder;  // empty: the dialog's own choice
    std::wstring title;          // empty: the dialog's own ("Open", "Save As")
    std::wstring fileName;       // the name it offers (a name only: a folder in it would win)
    bool mustExist = true;       // an Open dialog takes only an existing file
};

class IDialogService {
public:
    virtual ~IDialogService() = default;
    virtual void Beep() = 0;
    virtual BoxAnswer Box(HWND owner, const std::wstring& text, BoxKind kind, BoxButtons buttons) = 0;
    // The standard error report: a box with the error's text, titled with the application's title.
    virtual void ReportException(const std::wstring& text) = 0;
    virtual std::optional<std::wstring> OpenFile(HWND owner, const FileDialogRequest& request) = 0;
    // A Save dialog: a name to write to, new or existing. It asks nothing about an existing
    // file; whoever writes it asks.
    virtual std::optional<std::wstring> SaveFile(HWND owner, const FileDialogRequest& request) = 0;
    // Opens a document with its associated program; the shell's answer (> 32 is success).
    virtual INT_PTR ShellOpen(HWND owner, const std::wstring& path) = 0;
    // Carries out an item's default command (what a double click in the shell does),
    // with `folder` as the started program's current folder; false when it failed.
    virtual bool ShellRun(HWND owner, const std::wstring& path, const std::wstring& folder) = 0;
};

// The real service: MessageBeep, MessageBoxW, GetOpenFileNameW, GetSaveFileNameW.
class SystemDialogs : public IDialogService {
public:
    void Beep() override;
    BoxAnswer Box(HWND owner, const std::wstring& text, BoxKind kind, BoxButtons buttons) override;
    void ReportException(const std::wstring& text) override;
    std::optional<std::wstring> OpenFile(HWND owner, const FileDialogRequest& request) override;
    std::optional<std::wstring> SaveFile(HWND owner, const FileDialogRequest& request) override;
    INT_PTR ShellOpen(HWND owner, const std::wstring& path) override;
    bool ShellRun(HWND owner, const std::wstring& path, const std::wstring& folder) override;
};

// Convenience for handlers: beep, then an error box with one OK button.
void ShowErrorBox(IDialogService& dialogs, HWND owner, const std::wstring& text);

}  // namespace zandrel
