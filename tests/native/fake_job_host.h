#pragma once
// Start's view of a disk, in memory: files, folders, other spellings of names,
// short forms, and the dialogs and file changes recorded.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/descrambler.h"
#include "jobs/file_safety.h"
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

    std::map<std::wstring, std::string> contents;  // a file's bytes; a file without an entry is empty
    std::map<std::wstring, unsigned> versions;      // bumped by every write: the stamp's time
    std::set<std::wstring> unknownSameness;         // names the system cannot compare

    std::wstring Real(const std::wstring& p) const {
        auto it = identity.find(p);
        return it == identity.end() ? p : it->second;
    }
    std::string Content(const std::wstring& p) const {
        const auto it = contents.find(Real(p));
        return it == contents.end() ? std::string() : it->second;
    }
    void Put(const std::wstring& p, const std::string& bytes) {
        files.insert(p);
        contents[p] = bytes;
        ++versions[p];
    }
    bool FileExists(const std::wstring& p) override { return files.count(Real(p)) > 0; }
    bool FolderExists(const std::wstring& p) override { return folders.count(p) > 0; }
    Sameness CompareFiles(const std::wstring& a, const std::wstring& b) override {
        if (unknownSameness.count(a) || unknownSameness.count(b)) return Sameness::Unknown;
        return FileExists(a) && Real(a) == Real(b) ? Sameness::Same : Sameness::Different;
    }
    bool SameContent(const std::wstring& a, const std::wstring& b) override {
        return FileExists(a) && FileExists(b) && Content(a) == Content(b);
    }
    std::string ReadBytes(const std::wstring& p, std::uint64_t offset, std::size_t count) override {
        const std::string bytes = Content(p);
        if (!FileExists(p) || offset >= bytes.size()) return {};
        return bytes.substr(static_cast<std::size_t>(offset), count);
    }
    std::optional<FileStamp> Stamp(const std::wstring& p) override {
        if (!FileExists(p)) return std::nullopt;
        return FileStamp{static_cast<std::int64_t>(Content(p).size()), versions[Real(p)]};
    }
    std::set<std::wstring> hidden;
    std::uint32_t Attributes(const std::wstring& p) override {
        if (!FileExists(p)) return kNoFile;
        return (readOnly.count(p) ? kReadOnly : 0) | (hidden.count(p) ? kHidden : 0) | kArchive;
    }
    bool SetAttributes(const std::wstring& p, std::uint32_t attributes) override {
        log.push_back(L"attributes " + p + L" " + std::to_wstring(attributes));
        if (attributes & kReadOnly) readOnly.insert(p); else readOnly.erase(p);
        if (attributes & kHidden) hidden.insert(p); else hidden.erase(p);
        return true;
    }
    bool RemoveFile(const std::wstring& p) override {
        log.push_back(L"delete " + p);
        if (undeletable.count(p) || readOnly.count(p)) return false;
        files.erase(Real(p));
        contents.erase(Real(p));
        return true;
    }
    bool SetArchiveAttributeOnly(const std::wstring& p) override {
        log.push_back(L"attrib " + p);
        readOnly.erase(p);
        hidden.erase(p);
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
    bool longPathFails = false;                        // the path's long form cannot be told
    std::wstring LongPath(const std::wstring& p) override {
        const auto it = longForms.find(p);
        return it == longForms.end() || longPathFails ? p : it->second;
    }
    std::wstring LongName(const std::wstring& p) override {
        if (!longForms.count(p) && !FileExists(p) && !FolderExists(p)) return {};
        const auto it = longForms.find(p);
        const std::wstring name = it == longForms.end() ? p : it->second;
        return name.substr(name.find_last_of(L"\\") + 1);
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
        for (;;)
            if (auto path = NewTempName(folder, source); path.empty() || !files.count(path)) return path;
    }
    std::wstring NewTempName(const std::wstring& folder, const std::wstring& source) override {
        if (noFreeNames) return {};
        return (folder.back() == L'\\' ? folder : folder + L"\\") + PlainTempName(7, ++tempCount, source);
    }
    CopyResult CopyFileNew(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"copy-new " + from + L" " + to);
        if (files.count(to)) return CopyResult::NameTaken;
        if (!FileExists(from) || copyFails) return CopyResult::Failed;
        Put(to, Content(from));
        return CopyResult::Copied;
    }
    bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"move " + from + L" " + to);
        if (unmovable.count(from) || !files.count(from)) return false;
        const std::string bytes = Content(from);
        files.erase(from);
        contents.erase(from);
        Put(to, bytes);
        return true;
    }
    bool MoveNew(const std::wstring& from, const std::wstring& to) override {
        if (files.count(to)) {
            log.push_back(L"move-new " + from + L" " + to + L" refused");
            return false;
        }
        log.push_back(L"move-new " + from + L" " + to);
        return MoveReplacing(from, to) && (log.pop_back(), true);
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
