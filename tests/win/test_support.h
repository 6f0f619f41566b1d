#pragma once
// Shared helpers of the Windows tests: a recording dialog service, temp
// folders, files, the test-only settings key, and a main window to drive.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Main.h"
#include "console/MsgOut.h"
#include "framework/dialogs.h"
#include "zandrel_version.h"

namespace zandrel::test {

inline const std::wstring kTestKey = L"Software\\Orvo\\ZandrelTests";

struct ShownBox {
    std::wstring text;
    BoxKind kind;
    BoxButtons buttons;
};

class RecordingDialogs : public IDialogService {
public:
    int beeps = 0;
    std::vector<ShownBox> boxes;
    std::vector<std::wstring> reports;
    std::deque<BoxAnswer> answers;  // for questions; when empty: Cancel
    // Runs once while the next box is up, as a user who does something else before answering.
    std::function<void()> whileAsked;
    std::deque<std::optional<std::wstring>> files;  // file dialogs' answers; when empty: cancelled
    struct ShownFileDialog : FileDialogRequest {
        bool save = false;  // a Save dialog, not an Open one
    };
    std::vector<ShownFileDialog> fileRequests;  // every file dialog, Open and Save, in order
    std::vector<std::wstring> opened;
    INT_PTR shellAnswer = 42;

    void Beep() override { ++beeps; }
    BoxAnswer Box(HWND, const std::wstring& text, BoxKind kind, BoxButtons buttons) override;
    void ReportException(const std::wstring& text) override { reports.push_back(text); }
    std::optional<std::wstring> OpenFile(HWND, const FileDialogRequest& request) override;
    std::optional<std::wstring> SaveFile(HWND, const FileDialogRequest& request) override;
    INT_PTR ShellOpen(HWND, const std::wstring& path) override {
        opened.push_back(path);
        return shellAnswer;
    }
    std::vector<std::pair<std::wstring, std::wstring>> ran;  // path, folder
    bool runForReal = false;  // hand ShellRun to the system after recording it
    bool ShellRun(HWND owner, const std::wstring& path, const std::wstring& folder) override {
        ran.push_back({path, folder});
        return runForReal ? SystemDialogs().ShellRun(owner, path, folder) : true;
    }
    std::vector<std::wstring> Texts() const;
};

// A unique folder below %TEMP% (or in the root of the volume `on`, "R:"),
// removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::wstring& hint = L"zt", const std::wstring& on = {});
    ~TempDir();
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The fault tests' small real volumes (scripts/fault-volumes mounts them): "R:"
// of 4 MB, which a test may fill up, and "S:", a second drive of 32 MB. Empty
// when the letter does not lead to such a volume: the test then says so and skips.
std::wstring FaultVolume(wchar_t letter);
#define ZANDREL_NEED_VOLUME(variable, letter)                                                            \
    const std::wstring variable = FaultVolume(letter);                                                \
    if (variable.empty())                                                                             \
    GTEST_SKIP() << "no small volume at " << char(letter)                                            \
                 << ": (scripts/fault-volumes mounts it as root; mounting was refused or not run)"
std::uint64_t FreeBytes(const std::wstring& volume);
// Fills a volume until about `leave` bytes are free, while it lives.
class DiskFiller {
public:
    DiskFiller(const std::wstring& volume, std::uint64_t leave);
    ~DiskFiller();
    DiskFiller(const DiskFiller&) = delete;
    DiskFiller& operator=(const DiskFiller&) = delete;

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
std::wstring StandinPath();   // the UPX stand-in (upx.exe)
std::wstring ZandrelPath();   // the real program
std::wstring FromBuildPath(const char* unixPath);  // a build-tree path as Wine names it
std::string Narrow(const std::wstring& w);

// The stand-in as the window's UPX program, its check answered now (a test's
// switches for the stand-in, set later, then do not reach the check's run).
void UseStandin(TfrmMain& form);

// Settings in the test-only key.
void ClearSettings();
void StoreSetting(const std::wstring& name, const std::wstring& value);
std::wstring StoredSetting(const std::wstring& name);  // empty when absent

// Pixels drawn into a 32-bit bitmap, for tests of painting.
struct Picture {
    int w = 0, h = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y * w + x)]; }
};
// What `paint` draws on a bitmap of w x h.
Picture PaintInto(int w, int h, const std::function<void(HDC)>& paint);
// What a window's client area paints (WM_PRINTCLIENT).
Picture PaintOf(HWND hwnd);

// Handles the messages waiting now, dropping a quit request.
void PumpMessages();

// Sets an environment variable (a stand-in switch) for the children started while it lives.
struct EnvSwitch {
    std::wstring name;
    EnvSwitch(std::wstring n, const std::wstring& value) : name(std::move(n)) {
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    ~EnvSwitch() { SetEnvironmentVariableW(name.c_str(), nullptr); }
};

// Pumps messages until the runner is idle (its end steps delivered) or time is up.
bool WaitIdle(const TDosCommand& runner, int ms = 20000);

// The names in a folder (any length of path), "." and ".." left out.
std::set<std::wstring> Listing(const std::wstring& folder);

// This test program, and its argument that makes it a child for the runner's tests: it
// starts the rest of its command line, which inherits its standard streams, writes
// "started and left, without a break" and ends at once with exit code 5.
std::wstring ThisProgram();
inline constexpr const wchar_t* kStartAndLeave = L"--start-and-leave";
// Does that when the command line asks for it; false when it does not.
bool StartAndLeaveIfAsked(int& exitCode);
// Its argument that makes it reset the event of the handle value that follows, as it
// would if it had inherited that handle, and say "reset" or "not reset" on its output.
// A child that writes a line, closes its standard output and error, and stays 1.5 s.
inline constexpr const wchar_t* kCloseOutputAndStay = L"--close-output-and-stay";
bool CloseOutputAndStayIfAsked(int& exitCode);
inline constexpr const wchar_t* kResetEvent = L"--reset-event";
bool ResetEventIfAsked(int& exitCode);
// A child that reads its input in small bites, slowly, and writes back what it read,
// until the number of bytes that follows the argument has come (or its input ends).
inline constexpr const wchar_t* kEchoInputSlowly = L"--echo-input-slowly";
bool EchoInputSlowlyIfAsked(int& exitCode);

// The handles this process has open, counted in the system's list of all handles
// (GetProcessHandleCount always answers 0 under Wine).
std::size_t OpenHandleCount();

// Processes started by `parent` (this process by default) from a program of this file name.
std::vector<DWORD> ChildProcesses(const std::wstring& exeName, DWORD parent = GetCurrentProcessId());

// A shell drop of these names, as WM_DROPFILES carries it (the receiver frees it).
HDROP MakeDrop(const std::vector<std::wstring>& names);

// Records, through a hook on this thread, when windows are created and destroyed:
// nothing is missed however short a window lives, whatever else the machine does.
class WindowLifetimes {
public:
    struct Event {
        std::wstring windowClass;
        bool created;
        ULONGLONG tick;
    };
    WindowLifetimes();
    ~WindowLifetimes();
    // The tick of the first creation (or destruction) of a window of this class; 0: none.
    ULONGLONG First(const std::wstring& windowClass, bool created) const;
    // Where that event stands among all recorded, from 1; 0: none.
    std::size_t Order(const std::wstring& windowClass, bool created) const;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static inline std::vector<Event>* events_ = nullptr;
    std::vector<Event> own_;
    HHOOK hook_ = nullptr;
};

// Records what reaches the runners.
struct FakeRunner : IRunAndWait {
    struct Call {
        std::wstring commandLine;
        WORD show;
        DWORD linger;
        std::wstring currentFolder;
        bool mainEnabled;
        bool backMaximised;  // the background window of a visible run
        bool waitShown;      // the wait window of a hidden run
        RECT backRect;       // where the background window stood
        bool captured;       // UPX's output was to be caught (a hidden run only)
    };
    std::vector<Call> calls;
    RunOutcome answer;
    HWND main = nullptr;
    std::function<void()> during;  // what happens while UPX runs
    RunOutcome RunAndWait(const RunRequest& request) override {
        if (during) during();
        const HWND back = FindWindowW(L"ZandrelDosBoxBack", L"Orvo Zandrel v" ZANDREL_VERSION_SHORT_W L"...Background");
        const HWND wait = FindWindowW(L"ZandrelHourglass", nullptr);
        RECT backRect{};
        if (back) GetWindowRect(back, &backRect);
        calls.push_back({request.commandLine, request.showCommand, request.lingerMs, request.currentFolder,
                         main ? IsWindowEnabled(main) != FALSE : true,
                         back && IsWindowVisible(back) && IsZoomed(back), wait && IsWindowVisible(wait), backRect,
                         request.captureOutput});
        return answer;
    }
};

struct FakeConsole : IConsoleCommand {
    std::vector<std::wstring> executed;
    std::wstring commandLine, currentFolder;
    std::shared_ptr<void> kept;
    void SetCommandLine(const std::wstring& line) override { commandLine = line; }
    void SetCurrentFolder(const std::wstring& folder) override { currentFolder = folder; }
    void KeepUntilEnded(std::shared_ptr<void> resource) override { kept = std::move(resource); }
    void Execute() override { executed.push_back(commandLine); }
};

// A main window (with its console message window) on the test key, its
// dialogs recorded and its runners faked unless a real runner is given.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void MakeWindow(IRunAndWait* runner = nullptr);

    bool splash = false;       // the splash holds the start for 1.9 s
    bool realConsole = false;  // DosCommand1 runs Test and List instead of the recorder
    bool shortNames = true;    // false: as on a volume without 8.3 names
    std::wstring programPath;  // the program Explorer's menus start; empty: the test program
    RecordingDialogs dialogs;
    FakeRunner runner;
    FakeConsole console;
    std::unique_ptr<TfrmMain> form;
    std::unique_ptr<TMessageOutput> messageOutput;
};

}  // namespace zandrel::test
