// Explorer's menus at work: the real zandrel.exe started by its switches and by the
// shell's verbs, several starts at once joined into one batch, the hand-over between
// starts, and the system menu's two items. The keys and the Send To shortcut are the
// real ones of the tests' own Wine prefix, wiped before and after each test.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "app/descrambler.h"
#include "framework/names.h"
#include "framework/registry.h"
#include "launched_program.h"
#include "shell/BatchHandOver.h"
#include "shell/ExplorerEntries.h"
#include "shell/explorer_entries.h"
#include "shell/hand_over.h"
#include "test_support.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

void WipeOurEntries() {
    for (const auto& verb : OurVerbKeys()) RegistryKey::DeleteKey(HKEY_CURRENT_USER, verb.key);
    for (const auto& parent : ParentKeysOfOurVerbs()) {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, parent, false);
        if (key && key->Empty()) RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str());
    }
    DeleteFileW(SendToShortcutPath().c_str());
}

// The program's own settings key (the launched program reads no other): the UPX
// stand-in as its UPX for the test's life, the old value put back after.
class StoredUpx {
public:
    StoredUpx() : key_(Widen8(BytsToEncStr4(texts::SettingsKey))), name_(Widen8(BytsToEncStr4(texts::ValUpxPath))) {
        if (const auto k = RegistryKey::Open(HKEY_CURRENT_USER, key_, false)) old_ = k->ReadString(name_);
        RegistryKey::Open(HKEY_CURRENT_USER, key_, true)->WriteString(name_, StandinPath());
    }
    ~StoredUpx() {
        const auto k = RegistryKey::Open(HKEY_CURRENT_USER, key_, true);
        if (old_) k->WriteString(name_, *old_);
        else k->DeleteValue(name_);
    }

private:
    std::wstring key_, name_;
    std::optional<std::wstring> old_;
};

class ExplorerStarts : public ::testing::Test {
protected:
    void SetUp() override { WipeOurEntries(); }
    void TearDown() override { WipeOurEntries(); }
};

// Runs the program and waits for its end, watching that it never shows a window.
DWORD RunWithoutWindow(const std::wstring& arguments) {
    Launched run;
    Launch(run, ZandrelPath(), arguments);
    bool shown = false;
    const ULONGLONG end = GetTickCount64() + 20000;
    while (WaitForSingleObject(run.pi.hProcess, 5) == WAIT_TIMEOUT && GetTickCount64() < end)
        shown = shown || !VisibleWindows(run.pi.dwProcessId, nullptr).empty();
    EXPECT_FALSE(shown) << Narrow(arguments);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(run.pi.hProcess, 0), WAIT_OBJECT_0) << Narrow(arguments) << " did not end";
    GetExitCodeProcess(run.pi.hProcess, &code);
    return code;
}

TEST_F(ExplorerStarts, TheSwitchesAddAndRemoveWithoutAWindowAndTellByTheirExitCode) {
    EXPECT_EQ(RunWithoutWindow(L"/register-shell C:\\extra.exe"), 1u);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None) << "a refused switch wrote something";
    EXPECT_EQ(RunWithoutWindow(L"/Register-Shell"), 0u);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::Ours) << "the started program's own path";
    EXPECT_EQ(RunWithoutWindow(L"/UNREGISTER-SHELL"), 0u);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);
    for (const auto& parent : ParentKeysOfOurVerbs())
        EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, parent, false)) << Narrow(parent);
}

// The shell runs a verb as Explorer does: its command line from our keys. Explorer finds
// them by the file's type; Wine's shell does not look under HKEY_CURRENT_USER's classes
// (nor SystemFileAssociations) at all, so it is given the key that holds the verb.
void RunVerb(Launched& run, const std::wstring& verb, const std::wstring& file) {
    const bool folder = GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY;
    const std::wstring type = folder ? L"Directory" : L"SystemFileAssociations\\" + std::wstring(
                                                                   SameName(file.substr(file.size() - 4), L".dll")
                                                                       ? L".dll"
                                                                       : L".exe");
    HKEY classKey = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + type).c_str(), 0, KEY_READ, &classKey),
              ERROR_SUCCESS);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_CLASSKEY;
    info.hkeyClass = classKey;
    info.lpVerb = verb.c_str();
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    const BOOL ran = ShellExecuteExW(&info);
    const DWORD error = GetLastError();
    RegCloseKey(classKey);
    ASSERT_TRUE(ran) << Narrow(verb) << " " << Narrow(file) << " " << error;
    ASSERT_TRUE(info.hProcess);
    run.pi.hProcess = info.hProcess;
    run.pi.dwProcessId = GetProcessId(info.hProcess);
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(info.hProcess, 0, image, &size);
    ASSERT_TRUE(SameName(FileNamePart(image), L"zandrel.exe")) << "the shell started " << Narrow(image);
}

TEST_F(ExplorerStarts, OpenInZandrelPutsTheFileIntoTheSourceField) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    TempDir dir;
    for (const std::wstring name : {L"a program.exe", L"a library.dll"}) {
        WriteBytes(dir / name, "MZ");
        Launched run;
        RunVerb(run, kOpenVerb, dir / name);
        const HWND main = FindMainWindow(run.pi.dwProcessId);
        ASSERT_TRUE(main) << Narrow(name);
        const auto texts = EditTexts(main);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), dir / name), 2) << "source and target: " << Narrow(name);
        CloseAndWait(run, main);
    }
}

// Attack: Zandrel kept in a folder whose name holds "%1". The shell reads %1, %L, %*... as
// its placeholders anywhere in a verb's command, the program's own path too: such a verb
// starts no Zandrel. The add must not say it is done then, nor leave such a verb behind.
TEST_F(ExplorerStarts, AnAddFromAFolderWhoseNameTheShellWouldReadAsAPlaceholderSaysSo) {
    TempDir dir;
    const std::wstring folder = dir / L"Tools 100%1";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring exe = folder + L"\\zandrel.exe";
    ASSERT_TRUE(CopyFileW(ZandrelPath().c_str(), exe.c_str(), TRUE));
    WriteBytes(dir / L"one.exe", "MZ");
    const ShellOutcome added = AddExplorerEntries(exe);
    if (added.done) {
        // What it said must then be so: the verb starts that program with the file.
        Launched run;
        RunVerb(run, kOpenVerb, dir / L"one.exe");
        if (const HWND main = run.pi.hProcess ? FindMainWindow(run.pi.dwProcessId) : nullptr) CloseAndWait(run, main);
    }
    EXPECT_FALSE(added.done) << "Explorer's menus were reported added, but their verbs cannot start " << Narrow(exe);
    EXPECT_NE(added.reason.find(L"%"), std::wstring::npos) << Narrow(added.reason);
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::None) << "a verb that starts nothing was left";
    for (const auto& verb : OurVerbKeys())
        EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, verb.key, false)) << Narrow(verb.key);
}

// The question's texts once its count is in, from whichever process shows it.
struct QuestionSeen {
    DWORD pid = 0;
    HWND window = nullptr;
    std::wstring count;
};

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

// Waits for a batch question whose count line starts with `count` among the processes.
QuestionSeen WaitForQuestion(const std::vector<DWORD>& pids, const std::wstring& count, DWORD waitMs = 30000) {
    const ULONGLONG end = GetTickCount64() + waitMs;
    while (GetTickCount64() < end) {
        for (const DWORD pid : pids)
            for (const HWND question : VisibleWindows(pid, L"ZandrelBatchConfirm"))
                for (HWND child = GetWindow(question, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                    if (const auto text = WindowText(child); text.rfind(count, 0) == 0) return {pid, question, text};
        Sleep(50);
    }
    return {};
}

void ExpectOneBatchOfAll(std::vector<Launched>& runs, const std::wstring& count) {
    std::vector<DWORD> pids;
    for (const auto& run : runs) pids.push_back(run.pi.dwProcessId);
    const QuestionSeen seen = WaitForQuestion(pids, count);
    ASSERT_TRUE(seen.window) << "no batch question of " << Narrow(count);
    for (auto& run : runs) {
        if (run.pi.dwProcessId == seen.pid) continue;
        ASSERT_EQ(WaitForSingleObject(run.pi.hProcess, 15000), WAIT_OBJECT_0) << "a second Zandrel stayed";
        DWORD code = 99;
        GetExitCodeProcess(run.pi.hProcess, &code);
        EXPECT_EQ(code, 0u);
    }
    for (auto& run : runs) {
        if (run.pi.dwProcessId != seen.pid) continue;
        EXPECT_EQ(VisibleWindows(seen.pid, L"ZandrelBatchConfirm").size(), 1u);
        PostMessageW(seen.window, WM_KEYDOWN, VK_ESCAPE, 0);  // no batch: the window stays
        PostMessageW(seen.window, WM_CLOSE, 0, 0);
        const HWND main = FindMainWindow(seen.pid);
        ASSERT_TRUE(main);
        for (int i = 0; i < 100 && !VisibleWindows(seen.pid, L"ZandrelBatchConfirm").empty(); ++i) Sleep(50);
        CloseAndWait(run, main);
    }
}

// Many starts: one question of all their files, or (in the failure) how many asked on their
// own. Every start is ended after.
void ExpectOneQuestionAmong(std::vector<Launched>& runs, const std::wstring& count, DWORD waitMs) {
    std::vector<DWORD> pids;
    for (const auto& run : runs) pids.push_back(run.pi.dwProcessId);
    const QuestionSeen seen = WaitForQuestion(pids, count, waitMs);
    std::size_t alive = 0, questions = 0;
    for (auto& run : runs)
        if (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_TIMEOUT) {
            ++alive;
            questions += VisibleWindows(run.pi.dwProcessId, L"ZandrelBatchConfirm").size();
        }
    EXPECT_TRUE(seen.window) << "no one question of " << Narrow(count) << "; " << alive << " Zandrels still run, "
                             << questions << " batch questions shown";
    for (auto& run : runs) {
        if (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(run.pi.hProcess, 9);
        WaitForSingleObject(run.pi.hProcess, 5000);
    }
}

TEST_F(ExplorerStarts, CompressOnManyFilesEndsInOneZandrelAskingAboutThemAll) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    StoredUpx upx;
    TempDir dir;
    const std::vector<std::wstring> names{L"one.exe", L"two.exe", L"three.exe", L"four.exe"};
    for (const auto& name : names) WriteBytes(dir / name, "MZ");
    // As Explorer does for a plain verb: one start per selected file, nearly at once.
    std::vector<Launched> runs(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) RunVerb(runs[i], kCompressVerb, dir / names[i]);
    ExpectOneBatchOfAll(runs, L"4 files in " + dir.Path());
}

// Attack: twenty programs on a busy machine. Every processor is taken while Explorer makes
// its starts, so each start takes longer to come to its hand-over than on an idle one: the
// collector must not take that for the end of the selection.
TEST_F(ExplorerStarts, CompressOnTwentyFilesOfABusyMachineEndsInOneBatch) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    StoredUpx upx;
    TempDir dir;
    std::atomic<bool> busy{true};
    std::vector<std::thread> load;
    for (int i = 0; i < 3; ++i)
        load.emplace_back([&busy] {
            std::atomic<unsigned> spin{0};
            while (busy) spin.fetch_add(1, std::memory_order_relaxed);
        });
    std::vector<Launched> runs(20);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::wstring name = dir / (L"p" + std::to_wstring(i) + L".exe");
        WriteBytes(name, "MZ");
        RunVerb(runs[i], kCompressVerb, name);
    }
    ExpectOneQuestionAmong(runs, L"20 files in " + dir.Path(), 30000);
    busy = false;
    for (auto& thread : load) thread.join();
}

// A busy machine starts Explorer's programs seconds apart: a start that comes once the
// question is up joins it; one that comes after the answer asks on its own.
TEST_F(ExplorerStarts, AStartWhileTheQuestionIsUpJoinsItAndOneAfterTheAnswerAsksAlone) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    StoredUpx upx;
    TempDir dir;
    for (const std::wstring name : {L"one.exe", L"two.exe", L"three.exe"}) WriteBytes(dir / name, "MZ");
    std::vector<Launched> runs(2);
    RunVerb(runs[0], kCompressVerb, dir / L"one.exe");
    const QuestionSeen first = WaitForQuestion({runs[0].pi.dwProcessId}, L"1 file in " + dir.Path());
    ASSERT_TRUE(first.window) << "no question of the first file";
    Sleep(2 * FileCollection::kQuietMs);  // long after the first collection
    RunVerb(runs[1], kCompressVerb, dir / L"two.exe");
    ASSERT_TRUE(WaitForQuestion({runs[0].pi.dwProcessId}, L"2 files in " + dir.Path()).window)
        << "the late file did not join the question";
    EXPECT_EQ(WaitForSingleObject(runs[1].pi.hProcess, 15000), WAIT_OBJECT_0) << "the late start stayed";
    // Cancelled: the first Zandrel stays open, without a question; the next start is a batch of its own.
    PostMessageW(first.window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 100 && !VisibleWindows(first.pid, L"ZandrelBatchConfirm").empty(); ++i) Sleep(50);
    ASSERT_TRUE(VisibleWindows(first.pid, L"ZandrelBatchConfirm").empty());
    Launched third;
    RunVerb(third, kCompressVerb, dir / L"three.exe");
    const QuestionSeen own = WaitForQuestion({third.pi.dwProcessId}, L"1 file in " + dir.Path());
    EXPECT_TRUE(own.window) << "the start after the answer did not ask on its own";
    EXPECT_TRUE(VisibleWindows(first.pid, L"ZandrelBatchConfirm").empty()) << "the answered Zandrel asked again";
    for (Launched* run : {&runs[0], &third})
        if (const HWND main = FindMainWindow(run->pi.dwProcessId)) {
            for (const HWND question : VisibleWindows(run->pi.dwProcessId, L"ZandrelBatchConfirm"))
                PostMessageW(question, WM_CLOSE, 0, 0);
            CloseAndWait(*run, main);
        }
}

// Attack: a selection of 200 programs, started as Explorer starts a plain verb.
TEST_F(ExplorerStarts, CompressOnTwoHundredFilesEndsInOneBatchOfThemAll) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    StoredUpx upx;
    TempDir dir;
    constexpr std::size_t kFiles = 200;
    for (std::size_t i = 0; i < kFiles; ++i) WriteBytes(dir / (L"p" + std::to_wstring(i) + L".exe"), "MZ");
    std::vector<Launched> runs(kFiles);
    for (std::size_t i = 0; i < kFiles; ++i) RunVerb(runs[i], kCompressVerb, dir / (L"p" + std::to_wstring(i) + L".exe"));
    // Two hundred Wine starts take a while on a busy machine: they all join the one question.
    ExpectOneQuestionAmong(runs, L"200 files in " + dir.Path(), 120000);
}

TEST_F(ExplorerStarts, SendToAndTheFolderVerbMakeOneBatchToo) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    StoredUpx upx;
    TempDir dir;
    CreateDirectoryW((dir / L"inside").c_str(), nullptr);
    for (const std::wstring name : {L"inside\\a.exe", L"inside\\b.exe", L"c.exe"}) WriteBytes(dir / name, "MZ");
    // Send To starts the shortcut's program once with its arguments and every file.
    const auto shortcut = ReadShortcut(SendToShortcutPath());
    ASSERT_TRUE(shortcut);
    std::vector<Launched> runs(2);
    Launch(runs[0], shortcut->target, shortcut->arguments + L" \"" + (dir / L"c.exe") + L"\"");
    RunVerb(runs[1], kCompressVerb, dir / L"inside");  // the folder's verb, in the same moment
    ExpectOneBatchOfAll(runs, L"3 files in 2 folders");
}

// ---------------------------------------------------------------------------
// The hand-over between starts, in this process: a start collecting on a thread.

HWND WaitForCollector() {
    for (int i = 0; i < 200; ++i) {
        if (const HWND w = FindWindowExW(HWND_MESSAGE, nullptr, kCollectorClass, nullptr)) return w;
        Sleep(10);
    }
    return nullptr;
}

LRESULT SendCopyData(HWND window, ULONG_PTR tag, const void* data, DWORD size) {
    COPYDATASTRUCT copy{tag, size, const_cast<void*>(data)};
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_BLOCK, 5000, &answer);
    return static_cast<LRESULT>(answer);
}

// The collecting start's thread: its messages until `until` holds (20 s at most).
void PumpUntil(const std::function<bool()>& until) {
    const ULONGLONG end = GetTickCount64() + 20000;
    while (!until() && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

bool WaitForPhase(const std::atomic<int>& phase, int wanted) {
    for (int i = 0; i < 2000 && phase < wanted; ++i) Sleep(10);
    return phase >= wanted;
}

TEST(BatchHandOver, TheCollectorTakesHandOversOnlyAndLaterStartsJoinItsQuestionUntilAnswered) {
    std::vector<std::wstring> collected, late;
    std::mutex lateLock;
    std::atomic<int> phase{0};
    std::atomic<bool> kept{false};
    // The collecting start: its first collection, a while before its question is up, the
    // question, the answer, the end.
    std::thread first([&] {
        auto batch = CollectBatchFiles({L"C:\\own.exe"});
        if (!batch || !batch->collector) return (void)(phase = 99);
        collected = batch->files;
        kept = true;
        phase = 1;
        PumpUntil([&] { return phase == 2; });
        batch->collector->PassLateFilesTo([&](const std::vector<std::wstring>& files) {
            const std::lock_guard<std::mutex> hold(lateLock);
            late.insert(late.end(), files.begin(), files.end());
            return true;
        });
        phase = 3;
        PumpUntil([&] { return phase == 4; });
        batch->collector->PassLateFilesTo(nullptr);
        phase = 5;
        PumpUntil([&] { return phase == 6; });
        batch->collector.reset();
        phase = 7;
    });
    const struct Join {
        std::thread& t;
        std::atomic<int>& phase;
        ~Join() {
            phase = 100;
            t.join();
        }
    } join{first, phase};
    const auto lateSoFar = [&] {
        const std::lock_guard<std::mutex> hold(lateLock);
        return late;
    };
    const HWND collector = WaitForCollector();
    ASSERT_TRUE(collector);
    EXPECT_TRUE(HandOverFiles(collector, {L"C:\\two.exe", L"\\\\server\\share\\three.dll"}));
    // What is no hand-over is refused, and nothing of it joins the batch.
    const auto good = EncodeHandOver({L"C:\\bad.exe"});
    const auto relative = EncodeHandOver({L"bad.exe"});
    const std::string odd = "C\0:\0\\\0b\0\0\0!";
    EXPECT_EQ(SendCopyData(collector, kHandOverTag + 1, good.data(), static_cast<DWORD>(good.size())), FALSE);
    EXPECT_EQ(SendCopyData(collector, kHandOverTag, relative.data(), static_cast<DWORD>(relative.size())), FALSE);
    EXPECT_EQ(SendCopyData(collector, kHandOverTag, odd.data(), static_cast<DWORD>(odd.size())), FALSE);
    EXPECT_EQ(SendCopyData(collector, kHandOverTag, nullptr, 0), FALSE);
    EXPECT_EQ(SendCopyData(collector, kHandOverTag, good.data(), static_cast<DWORD>(good.size() - 2)), FALSE);
    // A later start hands its file over and ends.
    EXPECT_FALSE(CollectBatchFiles({L"D:\\four.exe"})) << "the later start did not hand over";
    ASSERT_TRUE(WaitForPhase(phase, 1));
    ASSERT_TRUE(kept) << "the collector was not kept for later starts";
    EXPECT_EQ(collected, (std::vector<std::wstring>{L"C:\\own.exe", L"C:\\two.exe", L"\\\\server\\share\\three.dll",
                                                  L"D:\\four.exe"}));
    // Seconds later (a busy machine): the file waits for the question, then joins it.
    EXPECT_FALSE(CollectBatchFiles({L"E:\\five.exe"})) << "a late start was not taken before the question";
    EXPECT_TRUE(lateSoFar().empty());
    phase = 2;
    ASSERT_TRUE(WaitForPhase(phase, 3));
    EXPECT_EQ(lateSoFar(), std::vector<std::wstring>{L"E:\\five.exe"}) << "the waiting file reached the question";
    EXPECT_FALSE(CollectBatchFiles({L"F:\\six.exe"})) << "a start while the question is up did not join it";
    EXPECT_EQ(lateSoFar(), (std::vector<std::wstring>{L"E:\\five.exe", L"F:\\six.exe"}));
    // Once the question is answered nothing more is taken, and then the collector is gone.
    phase = 4;
    ASSERT_TRUE(WaitForPhase(phase, 5));
    EXPECT_FALSE(HandOverFiles(collector, {L"G:\\seven.exe"})) << "a file was taken after the answer";
    EXPECT_EQ(lateSoFar().size(), 2u);
    phase = 6;
    ASSERT_TRUE(WaitForPhase(phase, 7));
    EXPECT_FALSE(FindWindowExW(HWND_MESSAGE, nullptr, kCollectorClass, nullptr)) << "the collector stayed";
    // A start after the collector is done collects for itself.
    const ULONGLONG before = GetTickCount64();
    const auto alone = CollectBatchFiles({L"C:\\late.exe"});
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->files, std::vector<std::wstring>{L"C:\\late.exe"});
    EXPECT_GE(GetTickCount64() - before, FileCollection::kQuietMs - 20) << "it waited for others";
}

// ---------------------------------------------------------------------------
// The system menu's two items do what the switches do.

class ExplorerSystemMenu : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WipeOurEntries();
        programPath = ZandrelPath();
        MakeWindow();
    }
    void TearDown() override {
        WipeOurEntries();
        MainWindowTest::TearDown();
    }
    UINT ItemState(UINT item) {
        SendMessageW(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSystemMenu(form->Handle(), FALSE)),
                     MAKELPARAM(0, TRUE));
        return GetMenuState(GetSystemMenu(form->Handle(), FALSE), item, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED);
    }
};

TEST_F(ExplorerSystemMenu, TheItemThatAppliesIsEnabledAndEachSaysWhatItDid) {
    const HMENU menu = GetSystemMenu(form->Handle(), FALSE);
    wchar_t text[64] = {};
    GetMenuStringW(menu, TfrmMain::kAddExplorerMenus, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Add to Explorer's menus");
    GetMenuStringW(menu, TfrmMain::kRemoveExplorerMenus, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Remove from Explorer's menus");
    EXPECT_EQ(ItemState(TfrmMain::kAddExplorerMenus), 0u);
    EXPECT_NE(ItemState(TfrmMain::kRemoveExplorerMenus), 0u);

    SendMessageW(form->Handle(), WM_SYSCOMMAND, TfrmMain::kAddExplorerMenus, 0);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::Ours);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Information);
    EXPECT_NE(dialogs.boxes[0].text.find(L"\"Zandrel\" in Send To"), std::wstring::npos);
    EXPECT_NE(ItemState(TfrmMain::kAddExplorerMenus), 0u);
    EXPECT_EQ(ItemState(TfrmMain::kRemoveExplorerMenus), 0u);

    SendMessageW(form->Handle(), WM_SYSCOMMAND, TfrmMain::kRemoveExplorerMenus, 0);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, L"Zandrel is no longer in Explorer's menus.");
    EXPECT_EQ(ItemState(TfrmMain::kAddExplorerMenus), 0u);
    EXPECT_NE(ItemState(TfrmMain::kRemoveExplorerMenus), 0u);
    EXPECT_EQ(dialogs.beeps, 0);
}

}  // namespace
}  // namespace zandrel::test
