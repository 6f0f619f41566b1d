#pragma once
// Start's view of a disk, in memory: files, folders, other spellings of names,
// short forms, and the dialogs and file changes recorded.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/descrambler.h"
#include "jobs/job_command.h"

namespace zandrel::test {

inline std::wstring T(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

// An in-memory disk with recorded dialogs and file changes.
class FakeHost : public IJobHost {
public:
    std::set<std::wstring> files{L"C:\\upx\\upx.exe", L"C:\\src\\app.exe"};
    std::set<std::wstring> folders{L"C:\\", L"C:\\src", L"C:\\out", L"C:\\upx"};
    std::map<std::wstring, std::wstring> identity;  // other spellings -> real name
    std::set<std::wstring> undeletable, readOnly;
    bool copyFails = false;
    bool answerBackup = false, answerReplace = false;
    std::wstring shortUpx = L"C:\\upx\\upx.exe";

    std::vector<std::wstring> errors, questions, log;

    std::wstring Real(const std::wstring& p) const {
        auto it = identity.find(p);
        return it == identity.end() ? p : it->second;
    }
    bool FileExists(const std::wstring& p) override { return files.count(Real(p)) > 0; }
    bool FolderExists(const std::wstring& p) override { return folders.count(p) > 0; }
    bool SameFile(const std::wstring& a, const std::wstring& b) override {
        return FileExists(a) && Real(a) == Real(b);
    }
    bool CopyFileReplacing(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"copy " + from + L" " + to);
        if (copyFails) return false;
        files.insert(to);
        return true;
    }
    bool RemoveFile(const std::wstring& p) override {
        log.push_back(L"delete " + p);
        if (undeletable.count(p) || readOnly.count(p)) return false;
        files.erase(Real(p));
        return true;
    }
    bool SetArchiveAttributeOnly(const std::wstring& p) override {
        log.push_back(L"attrib " + p);
        readOnly.erase(p);
        return true;
    }
    std::map<std::wstring, std::wstring> shortForms;  // 8.3 forms other than the UPX program's
    std::map<std::wstring, std::wstring> fullForms;   // relative names and their full paths
    std::set<std::wstring> unmovable;
    unsigned tempCount = 0;
    std::wstring ShortPath(const std::wstring& p) override {
        if (p == L"C:\\upx\\upx.exe") return shortUpx;
        const auto it = shortForms.find(p);
        return it == shortForms.end() ? p : it->second;
    }
    std::map<std::wstring, std::wstring> longForms;   // 8.3 aliases and the names they stand for
    std::wstring LongPath(const std::wstring& p) override {
        const auto it = longForms.find(p);
        return it == longForms.end() ? p : it->second;
    }
    bool noFreeNames = false;
    std::wstring FullPath(const std::wstring& p) override {
        const auto it = fullForms.find(p);
        return it == fullForms.end() ? p : it->second;
    }
    // A Western code page, roughly: Latin-1 survives, Greek and Japanese do not.
    bool SurvivesAnsiCodePage(const std::wstring& text) override {
        for (wchar_t c : text)
            if (c > 0xFF) return false;
        return true;
    }
    std::wstring FreeTempName(const std::wstring& folder, const std::wstring& source) override {
        if (noFreeNames) return {};
        return (folder.back() == L'\\' ? folder : folder + L"\\") + PlainTempName(7, ++tempCount, source);
    }
    bool CopyFileNew(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"copy-new " + from + L" " + to);
        if (!files.count(from)) return false;
        if (copyFails || files.count(to)) return false;
        files.insert(to);
        return true;
    }
    bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"move " + from + L" " + to);
        if (unmovable.count(from) || !files.count(from)) return false;
        files.erase(from);
        files.insert(to);
        return true;
    }
    void ShowError(const std::wstring& text) override { errors.push_back(text); }
    bool AskGoOnWithoutBackup(const std::wstring& text) override {
        questions.push_back(text);
        return answerBackup;
    }
    bool AskReplace(const std::wstring& text) override {
        questions.push_back(text);
        return answerReplace;
    }
};

inline JobForm Form() {
    JobForm f;
    f.upx = L"C:\\upx\\upx.exe";
    f.source = L"C:\\src\\app.exe";
    f.target = f.source;
    f.level = L"6";
    return f;
}

}  // namespace zandrel::test
