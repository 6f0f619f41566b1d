#pragma once
// Start's view of the real disk and the real message boxes.
#include "framework/dialogs.h"
#include "jobs/job_command.h"

namespace zandrel {

class WinJobHost : public IJobHost {
public:
    WinJobHost(IDialogService& dialogs, HWND owner) : dialogs_(dialogs), owner_(owner) {}

    bool FileExists(const std::wstring& path) override;
    bool FolderExists(const std::wstring& path) override;
    bool SameFile(const std::wstring& a, const std::wstring& b) override;
    bool CopyFileReplacing(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    bool SetArchiveAttributeOnly(const std::wstring& path) override;
    std::wstring ShortPath(const std::wstring& path) override;
    void ShowError(const std::wstring& text) override;
    bool AskGoOnWithoutBackup(const std::wstring& text) override;
    bool AskReplace(const std::wstring& text) override;

private:
    IDialogService& dialogs_;
    HWND owner_;
};

}  // namespace zandrel
