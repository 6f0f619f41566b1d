#pragma once
// Start's view of the real disk and the real message boxes.
#include "framework/dialogs.h"
#include "framework/text.h"
#include "jobs/job_command.h"

namespace zandrel {

class WinJobHost : public IJobHost {
public:
    // `shortNames` false behaves as a volume without 8.3 names (tests use it).
    WinJobHost(IDialogService& dialogs, HWND owner, bool shortNames = true)
        : dialogs_(dialogs), owner_(owner), shortNames_(shortNames) {}
    // Where the plain-named copies it makes are noted while they exist, so that a
    // program ended in the middle of a copy leaves nothing the next start cannot clear.
    void NoteCopiesUnder(std::wstring recordKey) { recordKey_ = std::move(recordKey); }

    bool FileExists(const std::wstring& path) override;
    bool FolderExists(const std::wstring& path) override;
    Sameness CompareFiles(const std::wstring& a, const std::wstring& b) override;
    bool SameContent(const std::wstring& a, const std::wstring& b) override;
    std::string ReadBytes(const std::wstring& path, std::uint64_t offset, std::size_t count) override;
    std::optional<FileStamp> Stamp(const std::wstring& path) override;
    std::uint32_t Attributes(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override;
    bool RemoveFile(const std::wstring& path) override;
    bool SetArchiveAttributeOnly(const std::wstring& path) override;
    std::wstring ShortPath(const std::wstring& path) override;
    std::wstring FullPath(const std::wstring& path) override;
    std::wstring LongPath(const std::wstring& path) override;
    std::wstring LongName(const std::wstring& path) override;
    bool SurvivesAnsiCodePage(const std::wstring& text) override;
    std::wstring FreeTempName(const std::wstring& folder, const std::wstring& sourceName) override;
    std::wstring NewTempName(const std::wstring& folder, const std::wstring& sourceName) override;
    CopyResult CopyFileNew(const std::wstring& from, const std::wstring& to) override;
    bool MoveReplacing(const std::wstring& from, const std::wstring& to) override;
    bool MoveNew(const std::wstring& from, const std::wstring& to) override;
    void ShowError(const std::wstring& text) override;
    bool AskGoOnWithoutBackup(const std::wstring& text) override;
    bool AskReplace(const std::wstring& text) override;

private:
    IDialogService& dialogs_;
    HWND owner_;
    bool shortNames_;
    std::wstring recordKey_;
};

}  // namespace zandrel
