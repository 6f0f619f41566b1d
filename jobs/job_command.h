#pragma once
// Start's checks and the UPX command line, as portable logic. The Win32 side
// supplies file facts, file changes and the message boxes through IJobHost,
// then carries out the returned plan.
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/upx_names.h"

namespace zandrel {

// What Start reads from the main window.
struct JobForm {
    std::wstring upx;
    std::wstring source;
    std::wstring target;
    std::wstring level;  // selected entry of the level list; empty when none
    bool decompress = false;
    bool backup = true;
    bool dosBox = true;
    bool q = false, qq = false, qqq = false;
    bool testFlag = false, listFlag = false;
};

class IJobHost {
public:
    virtual ~IJobHost() = default;
    virtual bool FileExists(const std::wstring& path) = 0;    // an existing file, not a folder
    virtual bool FolderExists(const std::wstring& path) = 0;
    // True when both names lead to one existing file, whatever their spelling.
    virtual bool SameFile(const std::wstring& a, const std::wstring& b) = 0;
    virtual bool CopyFileReplacing(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    virtual bool SetArchiveAttributeOnly(const std::wstring& path) = 0;
    // The 8.3 form of an existing path; the path itself when it has none.
    virtual std::wstring ShortPath(const std::wstring& path) = 0;
    virtual std::wstring FullPath(const std::wstring& path) = 0;
    // The long form of an existing path (8.3 parts expanded); the path itself otherwise.
    virtual std::wstring LongPath(const std::wstring& path) = 0;
    // True when the text goes through the ANSI code page and back unchanged.
    virtual bool SurvivesAnsiCodePage(const std::wstring& text) = 0;
    // A full path in `folder` with a plain name (PlainTempName) that no file has yet;
    // empty when none is free.
    virtual std::wstring FreeTempName(const std::wstring& folder, const std::wstring& sourceName) = 0;
    // Fails if `to` exists, and then leaves it alone; a partial copy is removed.
    virtual bool CopyFileNew(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
    virtual void ShowError(const std::wstring& text) = 0;          // beep, error box
    virtual bool AskGoOnWithoutBackup(const std::wstring& text) = 0;  // beep, error icon, Yes/No
    virtual bool AskReplace(const std::wstring& text) = 0;         // question icon, Yes/Cancel
};

enum class RunWay {
    None,     // a check failed or the user cancelled: nothing runs
    Console,  // test or list: the console runner, output in the message window
    Visible,  // compress/decompress in UPX's own console
    Hidden,   // compress/decompress behind the wait window
};

struct JobPlan {
    RunWay way = RunWay::None;
    std::wstring commandLine;
    UpxFiles files;  // how the files reach UPX; its temporaries exist once the plan is made
};

// Runs Start's checks in their fixed order, makes the backup copy and clears
// the way for the target; returns the command line and how to run it.
JobPlan PrepareJob(const JobForm& form, IJobHost& host);

struct RunOutcome {
    std::uint32_t startResult = 0;  // 0 when UPX was started, else the system's error code
    std::uint32_t exitCode = 0;
};

// After a compress or decompress run: a failed start, or UPX's exit codes 1
// and 2, each with its message.
void ReportOutcome(RunWay way, const RunOutcome& outcome, IJobHost& host);

// After a compress or decompress run: a result UPX wrote under a temporary
// name goes onto the wanted name when UPX ended with success; then the outcome
// is reported. The temporaries are the caller's to remove.
void FinishJob(const JobPlan& plan, const RunOutcome& outcome, IJobHost& host);

// For the console window: one line for each file UPX knows by another name.
std::vector<std::wstring> RenamedNotes(const UpxFiles& files);

// Path pieces as Start uses them ('\' and '/' both separate).
std::wstring FolderPart(const std::wstring& path);    // before the last separator; a root keeps it
std::wstring FileNamePart(const std::wstring& path);  // after the last separator or drive colon
std::wstring BackupName(const std::wstring& source);  // prog.exe -> prog_zandrel_bak.exe
// The program part of a command line: quoted only when it holds a blank.
std::wstring CommandProgram(const std::wstring& shortPath);
// The switches of a job (level or -d/-t/-l, then the quiet switch).
std::wstring JobSwitches(const JobForm& form);

}  // namespace zandrel
