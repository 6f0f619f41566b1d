// The user's file under real faults: a UPX that dies half-way, a disk that
// fills up, a file in use, a source changed during the run, a second run.
// Real files, the real runner and the UPX stand-in; the small volumes R: and S:
// are real tmpfs volumes the test session mounts.
#include "packed_format.h"
#include "test_support.h"

#include <algorithm>

#include "jobs/batch_run.h"
#include "framework/files.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"
#include "framework/registry.h"
#include "jobs/run_and_wait.h"
#include "jobs/temporary_files.h"
#include "zandrel_texts.h"
#include "app/descrambler.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

// A program of some size: "half" of the stand-in's write is then a real part.
std::string Program(std::size_t size, char seed = 'p') {
    std::string bytes = "MZ";
    for (std::size_t i = 2; i < size; ++i) bytes.push_back(static_cast<char>(seed + i * 7));
    return bytes;
}

bool Plain(const std::wstring& name) { return name.rfind(L"~zandrel", 0) == 0; }

// The stand-in stops at a point of its job until the test lets it go on.
class Pause {
public:
    Pause(const std::wstring& point, const std::wstring& signal)
        : signal_(signal), at_(L"STANDIN_PAUSE_AT", point), file_(L"STANDIN_SIGNAL", signal) {}
    ~Pause() { Release(); }
    bool Reached() const { return Exists(signal_); }
    void Release() const { DeleteFileW(signal_.c_str()); }

private:
    std::wstring signal_;
    EnvSwitch at_, file_;
};

// What to do while a synchronous run waits: a timer of the waiting loop calls it.
class DuringTheRun {
public:
    explicit DuringTheRun(std::function<bool()> step) {
        step_ = std::move(step);
        timer_ = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
            if (step_ && step_()) KillTimer(nullptr, id), step_ = nullptr;
        });
    }
    ~DuringTheRun() {
        KillTimer(nullptr, timer_);
        step_ = nullptr;
    }

private:
    static inline std::function<bool()> step_;
    UINT_PTR timer_ = 0;
};

class Faults : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (!std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).starts_with("Own")) Make();
    }
    // The real runner, UPX hidden (no linger).
    void Make() {
        MakeWindow(&real);
        UseStandin(*form);
        form->chkDosBox.Click();
    }
    void Backup(bool on) {
        if (form->chkBackup.Checked() != on) form->chkBackup.Click();
    }
    // The only box shown, or a note that there was none or more than one.
    std::wstring Box() const { return dialogs.boxes.size() == 1 ? dialogs.boxes[0].text : L"<boxes: " + std::to_wstring(dialogs.boxes.size()) + L">"; }
    ProcessRunAndWait real;
    TempDir dir{L"zf"};
    TempDir signals{L"zs"};
};

// ---- The stand-in behaves as UPX does (what the program's safety relies on) ----

DWORD RunStandin(const std::wstring& arguments) {
    std::wstring line = L"\"" + StandinPath() + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return 9999;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 9999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(StandinLikeUpx, WritesInPlaceThroughItsWorkFileAndDiesWhereItIsTold) {
    TempDir dir(L"zl");
    const auto app = dir / L"app.exe";
    const std::string original = Program(150 * 1024);
    WriteBytes(app, original);
    WriteBytes(dir / L"app.upx", "the user's own");
    {
        EnvSwitch die(L"STANDIN_DIE_AT", L"removed");
        EXPECT_EQ(RunStandin(L"-6 \"" + app + L"\""), 0xC0000005u);
    }
    // app.upx was taken: UPX's work file is app.000, and the input is gone just before the rename.
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.000", L"app.upx"}));
    EXPECT_EQ(ReadBytes(dir / L"app.upx"), "the user's own");
    EXPECT_EQ(standin::Unpack(ReadBytes(dir / L"app.000")), original) << "the work file is whole";
    DeleteFileW((dir / L"app.000").c_str());
    WriteBytes(app, original);
    {
        EnvSwitch die(L"STANDIN_DIE_AT", L"half");
        EXPECT_EQ(RunStandin(L"-6 \"" + app + L"\""), 0xC0000005u);
    }
    EXPECT_LT(ReadBytes(dir / L"app.000").size(), original.size()) << "half written";
    EXPECT_EQ(ReadBytes(app), original);
    DeleteFileW((dir / L"app.000").c_str());
    // A read-only file is refused before anything is written, as UPX refuses it.
    SetFileAttributesW(app.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunStandin(L"-6 \"" + app + L"\""), 1u);
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app.upx"}));
    SetFileAttributesW(app.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(RunStandin(L"-6 \"" + app + L"\""), 0u);
    EXPECT_TRUE(standin::IsPacked(ReadBytes(app)));
    EXPECT_EQ(RunStandin(L"-6 \"" + app + L"\""), 2u) << "already packed: a warning";
}

// ---- UPX dies half-way through a job in place ----

TEST_F(Faults, AUpxThatDiesAtAnyPointLeavesTheFileWholeAndNoWorkFile) {
    const std::string original = Program(200 * 1024);
    const auto app = dir / L"app.exe";
    form->edSource.SetText(app);
    for (const bool backup : {true, false}) {
        for (const wchar_t* point : {L"half", L"written", L"removed"}) {
            SCOPED_TRACE(Narrow(point) + (backup ? " with a backup" : " without a backup"));
            for (const auto& name : Listing(dir.Path())) DeleteFileW((dir / name).c_str());
            WriteBytes(app, original);
            Backup(backup);
            dialogs.boxes.clear();
            EnvSwitch die(L"STANDIN_DIE_AT", point);
            form->btnStart.Click();
            const bool removed = std::wstring(point) == L"removed";
            // Without a copy of the original, UPX's finished work file is the best there is.
            if (removed && !backup)
                EXPECT_EQ(standin::Unpack(ReadBytes(app)), original);
            else
                EXPECT_EQ(ReadBytes(app), original);
            const auto left = Listing(dir.Path());
            const std::set<std::wstring> expected =
                backup ? std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"} : std::set<std::wstring>{L"app.exe"};
            EXPECT_EQ(left, expected);
            EXPECT_EQ(Box().rfind(L"UPX did not end normally (exit code 0xC0000005). ", 0), 0u) << Narrow(Box());
        }
    }
}

// UPX's rename fails after it removed the file (a scanner holds its new file):
// UPX says "error", and the file is missing unless Zandrel puts it back.
TEST_F(Faults, AFileUpxRemovedBeforeItsRenameFailedIsPutBack) {
    const std::string original = Program(100 * 1024);
    const auto app = dir / L"app.exe";
    WriteBytes(app, original);
    Backup(true);
    form->edSource.SetText(app);
    Pause pause(L"removed", signals / L"signal");
    UniqueHandle scanner;
    DuringTheRun hold([&] {
        if (!pause.Reached()) return false;
        scanner.reset(CreateFileW((dir / L"app.upx").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
        pause.Release();
        return true;
    });
    form->btnStart.Click();
    scanner.reset();
    EXPECT_EQ(ReadBytes(app), original);
    EXPECT_EQ(Box(), L"UPX ended (exit code 1) without the file in its place. The file was put back as it was, from " +
                         (dir / L"app_zandrel_bak.exe") + L".");
}

// UPX ended from outside (Task Manager, taskkill /F) gets exit code 1, UPX's own code
// for an error: only the files it left tell that it did not end as UPX ends.
TEST_F(Faults, AUpxEndedFromOutsideWithAnErrorsCodeLeavesNoWorkFileAndNamesItsTarget) {
    const std::string original = Program(200 * 1024);
    const auto app = dir / L"app.exe", other = dir / L"other.exe";
    Backup(true);
    form->edSource.SetText(app);
    for (const bool inPlace : {true, false}) {
        for (const wchar_t* point : {L"half", L"written"}) {
            SCOPED_TRACE(Narrow(point) + (inPlace ? " in place" : " to another target"));
            for (const auto& name : Listing(dir.Path())) DeleteFileW((dir / name).c_str());
            WriteBytes(app, original);
            form->edTarget.SetText(inPlace ? app : other);
            dialogs.boxes.clear();
            Pause pause(point, signals / L"signal");
            bool ended = false;
            DuringTheRun kill([&] {
                if (!pause.Reached()) return false;
                for (const DWORD id : ChildProcesses(L"upx.exe")) {
                    UniqueHandle upx(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
                    ended = upx && TerminateProcess(upx.get(), 1) && WaitForSingleObject(upx.get(), 5000) == WAIT_OBJECT_0;
                }
                pause.Release();
                return true;
            });
            form->btnStart.Click();
            ASSERT_TRUE(ended);
            EXPECT_EQ(ReadBytes(app), original);
            // A target that is there may be another program's, made meanwhile: it is named, not removed.
            const std::set<std::wstring> left = inPlace ? std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"}
                                                        : std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe", L"other.exe"};
            EXPECT_EQ(Listing(dir.Path()), left) << "no work file";
            const std::wstring said = inPlace ? L"UPX ended (exit code 1) without finishing its work. The file is unchanged."
                                              : L"UPX ended (exit code 1), yet " + other +
                                                    L" is there: UPX may have been ended before it finished it. Check it "
                                                    L"before you use it.";
            EXPECT_EQ(Box(), said);
            EXPECT_EQ(form->lblStatus.Text(),
                      L"app.exe: UPX ended (exit code 1) without finishing its work; see the message for what was done.");
        }
    }
}

// ---- The disk fills up ----

TEST_F(Faults, UpxsOwnWriteOnAFullDiskLeavesTheFileAndNoWorkFile) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zd", small);
    const auto app = full / L"app.exe";
    const std::string original = Program(1500 * 1024);
    WriteBytes(app, original);
    DiskFiller filler(small, 1000 * 1024);
    Backup(false);
    form->edSource.SetText(app);
    form->btnStart.Click();
    EXPECT_EQ(Box(), Message(texts::MsgJobError) + L"\n\nUPX: IOException: cannot write " + app) << "with UPX's reason";
    EXPECT_EQ(ReadBytes(app), original);
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"app.exe"});
}

TEST_F(Faults, ABackupThatDoesNotFitLeavesTheOlderBackupAndNoPart) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zd", small);
    const auto app = full / L"app.exe";
    WriteBytes(app, Program(900 * 1024));
    WriteBytes(full / L"app_zandrel_bak.exe", "an older backup of another version");
    DiskFiller filler(small, 300 * 1024);
    Backup(true);
    form->edSource.SetText(app);
    dialogs.answers = {BoxAnswer::No};
    form->btnStart.Click();
    EXPECT_EQ(Box(), Message(texts::AskNoBackup));
    EXPECT_EQ(ReadBytes(full / L"app_zandrel_bak.exe"), "an older backup of another version");
    EXPECT_EQ(Listing(full.Path()), (std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"}));
}

// The source needs a working copy (no short names, a name UPX cannot spell);
// the target, which the user agreed to replace, is one UPX could write itself.
TEST_F(Faults, OwnWindowAWorkingCopyThatDoesNotFitLeavesTheTargetToBeReplaced) {
    ZANDREL_NEED_VOLUME(small, 'R');
    shortNames = false;
    Make();
    TempDir full(L"zd", small);
    const auto omega = full / L"\u03a9mega.exe", target = full / L"plain.exe";
    WriteBytes(omega, Program(1200 * 1024));
    WriteBytes(target, "the old target");
    DiskFiller filler(small, 400 * 1024);
    Backup(false);
    form->edSource.SetText(omega);
    form->edTarget.SetText(target);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::wstring>{Message(texts::AskReplace), Message(texts::MsgNoWorkCopy)}));
    EXPECT_EQ(ReadBytes(target), "the old target");
    EXPECT_EQ(Listing(full.Path()), (std::set<std::wstring>{L"\u03a9mega.exe", L"plain.exe"}));
}

// ---- A file in use, a file changed during the run ----

TEST_F(Faults, AResultThatCannotBeMovedLeavesTheTargetAndItsAttributes) {
    const auto source = dir / L"app.exe", target = dir / L"\u65e5\u672c.exe";
    WriteBytes(source, Program(4000));
    WriteBytes(target, "the old target");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // Another program reads it and lets nobody replace it meanwhile.
    UniqueHandle held(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    Backup(false);
    form->edSource.SetText(source);
    form->edTarget.SetText(target);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    held.reset();
    EXPECT_EQ(dialogs.Texts().back(),
              Message(texts::MsgResultNotPut1) + target + Message(texts::MsgResultNotPut2));
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(target), "the old target");
    const auto left = Listing(dir.Path());
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), Plain)) << "the result under its plain name is gone";
}

TEST_F(Faults, OwnWindowASourceChangedWhileUpxWorksOnItsCopyKeepsTheChange) {
    shortNames = false;
    Make();
    const auto omega = dir / L"\u03a9mega.exe";
    WriteBytes(omega, Program(5000));
    Backup(false);
    form->edSource.SetText(omega);
    Pause pause(L"opened", signals / L"signal");
    const std::string saved = Program(6000, 's');
    DuringTheRun change([&] {
        if (!pause.Reached()) return false;
        Sleep(30);  // a write time the file system tells from the first one
        WriteBytes(omega, saved);
        pause.Release();
        return true;
    });
    form->btnStart.Click();
    EXPECT_EQ(ReadBytes(omega), saved);
    EXPECT_EQ(Box(), omega + L" was changed while UPX worked on a copy of it. The changed file was kept; UPX's result "
                             L"was not put in its place.");
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"\u03a9mega.exe"});
}

// ---- Two volumes: files are told apart by volume, not by their number alone ----

TEST_F(Faults, FilesOnTwoVolumesWithTheSameNumberAreNotTheSameFile) {
    ZANDREL_NEED_VOLUME(small, 'R');
    ZANDREL_NEED_VOLUME(second, 'S');
    TempDir one(L"zv", small), two(L"zv", second);
    const auto source = one / L"app.exe", target = two / L"app.exe";
    // Each volume numbers its files on its own: new files are made until the two
    // carry the same number, as files of two volumes often do.
    auto number = [](const std::wstring& path) {
        UniqueHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(file.get(), &info);
        return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    };
    auto make = [](const std::wstring& path, const std::string& bytes) {
        DeleteFileW(path.c_str());
        WriteBytes(path, bytes);
    };
    make(source, Program(3000));
    make(target, "another file on another volume");
    for (int tries = 0; tries < 20000 && number(source) != number(target); ++tries) {
        if (number(source) < number(target))
            make(source, Program(3000));
        else
            make(target, "another file on another volume");
    }
    ASSERT_EQ(number(source), number(target)) << "the volumes' numbers could not be brought together";
    ASSERT_NE(FileIdentity(source), FileIdentity(target));
    Backup(false);
    form->edSource.SetText(source);
    form->edTarget.SetText(target);
    dialogs.answers = {BoxAnswer::Yes};
    form->btnStart.Click();
    EXPECT_EQ(ReadBytes(source), Program(3000)) << "the source is not packed in place";
    EXPECT_TRUE(standin::IsPacked(ReadBytes(target)));
    // A second name of one file (a hard link) is the in-place case: never deleted as a target.
    const auto link = one / L"link.exe";
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), source.c_str(), nullptr));
    form->edTarget.SetText(link);
    dialogs.boxes.clear();
    form->btnStart.Click();
    EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(Box());
    EXPECT_TRUE(standin::IsPacked(ReadBytes(source)));
}

// ---- UPX's end, however it ends, is said ----

TEST_F(Faults, OwnWindowATestWhoseUpxDiesSaysSoWithItsCode) {
    realConsole = true;
    Make();
    const auto app = dir / L"app.exe";
    WriteBytes(app, standin::Pack("MZ packed", 6));
    form->edSource.SetText(app);
    EnvSwitch crash(L"STANDIN_EXIT", L"3221225477");
    form->btnTest.Click();
    ASSERT_TRUE(WaitIdle(form->DosCommand1));
    const std::wstring said = L"UPX did not end normally (exit code 0xC0000005): what it wrote above may be incomplete.";
    EXPECT_EQ(Box(), said);
    messageOutput->Flush();
    const std::wstring shown = messageOutput->memOutput.Text();
    EXPECT_NE(shown.find(said), std::wstring::npos) << Narrow(shown);
}

// ---- What a program ended from outside left: the next start's clean-up ----

std::uint64_t StartOf(HANDLE process) {
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(process, &created, &ended, &kernel, &user);
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A note as a program writes it: "<process id> <its start time>", and "|<file>" for a private copy.
std::wstring NoteOf(DWORD id, std::uint64_t started, const std::wstring& original = {}) {
    const std::wstring note = std::to_wstring(id) + L" " + std::to_wstring(started);
    return original.empty() ? note : note + L"|" + original;
}

TEST(Leftovers, GoWhenTheirProgramIsGoneAndNoOriginalIsEverLost) {
    TempDir dir(L"zo");
    const std::wstring key = kTestKey + L"\\LeftoverTest";
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
    const auto notes = RegistryKey::Open(HKEY_CURRENT_USER, key, true);
    ASSERT_TRUE(notes);
    // A program that ran and ended.
    std::wstring line = L"\"" + StandinPath() + L"\" --version";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 20000);
    const DWORD gone = pi.dwProcessId;
    const std::uint64_t goneStarted = StartOf(pi.hProcess);
    CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
    const DWORD me = GetCurrentProcessId();
    const std::uint64_t meStarted = StartOf(GetCurrentProcess());

    auto put = [&](const std::wstring& name, const std::string& bytes, const std::wstring& note) {
        WriteBytes(dir / name, bytes);
        notes->WriteString(dir / name, note);
    };
    put(L"~zandrel-1-1.exe", "a working copy", NoteOf(gone, goneStarted));
    put(L"~zandrel-1-2.exe", "still in use by this program", NoteOf(me, meStarted));
    put(L"~zandrel-1-3.exe", "noted the older way", std::to_wstring(me));
    put(L"~zandrel-1-4.exe", "an id used again by another program", NoteOf(me, meStarted + 1));
    put(L"~zandrel-1-5.exe", "the original of a.exe", NoteOf(gone, goneStarted, dir / L"a.exe"));
    WriteBytes(dir / L"b.exe", "the original of b.exe");
    put(L"~zandrel-1-6.exe", "the original of b.exe", NoteOf(gone, goneStarted, dir / L"b.exe"));
    WriteBytes(dir / L"c.exe", "c.exe packed");
    WriteBytes(dir / L"c_zandrel_bak.exe", "an older backup");
    put(L"~zandrel-1-7.exe", "the original of c.exe", NoteOf(gone, goneStarted, dir / L"c.exe"));
    put(L"users-own.exe", "a file of the user's", NoteOf(gone, goneStarted));
    // Files another program holds cannot go now: nothing waits for them.
    std::vector<UniqueHandle> held;
    for (int i = 0; i < 5; ++i) {
        const std::wstring name = L"~zandrel-1-" + std::to_wstring(20 + i) + L".exe";
        put(name, "held", NoteOf(gone, goneStarted));
        held.emplace_back(CreateFileW((dir / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    const ULONGLONG began = GetTickCount64();
    TemporaryFiles::RemoveLeftovers(key);
    const ULONGLONG took = GetTickCount64() - began;
    held.clear();

    EXPECT_LT(took, 2000u) << "waited for files held by another program";
    std::set<std::wstring> expected{L"~zandrel-1-2.exe", L"~zandrel-1-3.exe", L"a.exe", L"b.exe", L"c.exe",
                                    L"c_zandrel_bak.exe", L"c_zandrel_bak2.exe", L"users-own.exe"};
    for (int i = 0; i < 5; ++i) expected.insert(L"~zandrel-1-" + std::to_wstring(20 + i) + L".exe");
    EXPECT_EQ(Listing(dir.Path()), expected);
    EXPECT_EQ(ReadBytes(dir / L"a.exe"), "the original of a.exe") << "a missing file gets its original back";
    EXPECT_EQ(ReadBytes(dir / L"c_zandrel_bak2.exe"), "the original of c.exe") << "kept beside, as a backup";
    EXPECT_EQ(ReadBytes(dir / L"c_zandrel_bak.exe"), "an older backup");
    const auto left = RegistryKey::Open(HKEY_CURRENT_USER, key, false)->ValueNames();
    std::set<std::wstring> noted(left.begin(), left.end()), stillNoted{dir / L"~zandrel-1-2.exe", dir / L"~zandrel-1-3.exe"};
    for (int i = 0; i < 5; ++i) stillNoted.insert(dir / (L"~zandrel-1-" + std::to_wstring(20 + i) + L".exe"));
    EXPECT_EQ(noted, stillNoted) << "a note stays while its file may still be needed or could not go";
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
}

}  // namespace
}  // namespace zandrel::test
