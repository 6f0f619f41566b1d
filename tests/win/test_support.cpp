#include "test_support.h"

#include <fstream>
#include <optional>

#include <tlhelp32.h>

#include "app/globals.h"
#include "app/settings.h"
#include "framework/application.h"
#include "framework/files.h"
#include "framework/registry.h"

namespace zandrel::test {

BoxAnswer RecordingDialogs::Box(HWND, const std::wstring& text, BoxKind kind, BoxButtons buttons) {
    boxes.push_back({text, kind, buttons});
    if (auto meanwhile = std::move(whileAsked)) {
        whileAsked = nullptr;
        meanwhile();
    }
    if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    if (answers.empty()) return BoxAnswer::Cancel;
    const auto a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<std::wstring> RecordingDialogs::OpenFile(HWND, const FileDialogRequest& request) {
    fileRequests.push_back({request, false});
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::wstring> RecordingDialogs::SaveFile(HWND owner, const FileDialogRequest& request) {
    const auto answer = OpenFile(owner, request);
    fileRequests.back().save = true;
    return answer;
}

std::vector<std::wstring> RecordingDialogs::Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    return texts;
}

TempDir::TempDir(const std::wstring& hint, const std::wstring& on) {
    static int counter = 0;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    if (!on.empty()) wcscpy(base, (on.back() == L'\\' ? on : on + L"\\").c_str());
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Wine reuses process ids: the clock keeps names of earlier runs apart.
    path_ = std::wstring(base) + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(now.QuadPart % 1000000007) + L"-" + std::to_wstring(++counter);
    std::filesystem::create_directories(path_);
    if (!path_.empty() && path_.back() == L'\\') path_.pop_back();
}

TempDir::~TempDir() {
    std::error_code ec;
    // The \\?\ form reaches trees deeper than MAX_PATH; read-only files would stop the removal.
    const std::wstring whole = L"\\\\?\\" + path_;
    for (auto it = std::filesystem::recursive_directory_iterator(whole, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(whole, ec);
}

void UseStandin(TfrmMain& form) {
    form.edUPX.SetText(StandinPath());
    EXPECT_EQ(form.UpxCheck.Answer(StandinPath()), UpxVerdict::Upx) << "the stand-in answers as UPX does";
}

std::wstring FaultVolume(wchar_t letter) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    ULARGE_INTEGER available{}, total{}, free{};
    // Only the tests' own small volume: never a big disk a stale drive letter leads to.
    if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED || !GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free) ||
        total.QuadPart > 64ull << 20)
        return {};
    return root.substr(0, 2);
}

std::uint64_t FreeBytes(const std::wstring& volume) {
    ULARGE_INTEGER available{}, total{}, free{};
    GetDiskFreeSpaceExW((volume + L"\\").c_str(), &available, &total, &free);
    return available.QuadPart;
}

DiskFiller::DiskFiller(const std::wstring& volume, std::uint64_t leave) : path_(volume + L"\\filler.bin") {
    const std::uint64_t free = FreeBytes(volume);
    if (free <= leave) return;
    UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string block(64 * 1024, 'f');
    // Real bytes, not a sparse end: a file system fills up only with those.
    for (std::uint64_t left = free - leave; left > 0;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(left, block.size()));
        DWORD put = 0;
        if (!WriteFile(file.get(), block.data(), n, &put, nullptr) || put == 0) break;
        left -= put;
    }
}

DiskFiller::~DiskFiller() { DeleteFileW(path_.c_str()); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << Narrow(path);
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool Exists(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::wstring FromBuildPath(const char* unixPath) {
    // The build tree's /path/x.exe is Z:\path\x.exe under Wine.
    std::wstring w(unixPath, unixPath + strlen(unixPath));
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w.size() > 1 && w[1] == L':' ? w : L"Z:" + w;
}

std::wstring StandinPath() { return FromBuildPath(ZANDREL_STANDIN); }
std::wstring ZandrelPath() { return FromBuildPath(ZANDREL_EXE); }

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    return s;
}

void ClearSettings() { RegistryKey::DeleteKey(HKEY_CURRENT_USER, kTestKey); }

void StoreSetting(const std::wstring& name, const std::wstring& value) { WriteIniToReg(kTestKey, name, value); }

std::wstring StoredSetting(const std::wstring& name) { return ReadIniFromReg(kTestKey, name); }

Picture PaintInto(int w, int h, const std::function<void(HDC)>& paint) {
    Picture p;
    p.w = w, p.h = h;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    paint(dc);
    GdiFlush();
    const auto* raw = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i) {
        const std::uint32_t v = raw[i];
        p.pixels.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return p;
}

Picture PaintOf(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return PaintInto(r.right, r.bottom, [hwnd](HDC dc) {
        SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitIdle(const TDosCommand& runner, int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (GetTickCount64() < end) {
        PumpMessages();
        if (!runner.Running()) return true;
        // Wake as soon as the reader hands something over.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
}

std::set<std::wstring> Listing(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(ApiPath(folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}

namespace {

// The rest of this program's command line after `mode` and a blank; none when it has no such mode.
std::optional<std::wstring> ModeArgument(const wchar_t* mode) {
    const std::wstring line = GetCommandLineW();
    const std::wstring marker = std::wstring(mode) + L" ";
    const auto at = line.find(marker);
    if (at == std::wstring::npos) return std::nullopt;
    return line.substr(at + marker.size());
}

void SayOnOutput(const std::string& text) {
    DWORD put = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

}  // namespace

bool StartAndLeaveIfAsked(int& exitCode) {
    auto argument = ModeArgument(kStartAndLeave);
    if (!argument) return false;
    std::wstring& rest = *argument;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    exitCode = 9;
    if (!CreateProcessW(nullptr, rest.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return true;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    SayOnOutput("started and left, without a break");
    exitCode = 5;
    return true;
}

bool CloseOutputAndStayIfAsked(int& exitCode) {
    if (std::wstring(GetCommandLineW()).find(kCloseOutputAndStay) == std::wstring::npos) return false;
    SayOnOutput("written before the close\r\n");
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    CloseHandle(out);
    if (err != out) CloseHandle(err);
    Sleep(1500);
    exitCode = 4;
    return true;
}

bool ResetEventIfAsked(int& exitCode) {
    const auto argument = ModeArgument(kResetEvent);
    if (!argument) return false;
    const auto value = static_cast<ULONG_PTR>(std::stoull(*argument));
    SayOnOutput(ResetEvent(reinterpret_cast<HANDLE>(value)) ? "reset\r\n" : "not reset\r\n");
    exitCode = 0;
    return true;
}

bool EchoInputSlowlyIfAsked(int& exitCode) {
    const auto argument = ModeArgument(kEchoInputSlowly);
    if (!argument) return false;
    unsigned long long left = std::stoull(*argument);
    char bite[700];
    while (left > 0) {
        DWORD got = 0;
        if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), bite, static_cast<DWORD>(std::min<unsigned long long>(left, sizeof bite)),
                      &got, nullptr) || got == 0)
            break;
        left -= got;
        SayOnOutput(std::string(bite, got));
        Sleep(2);
    }
    exitCode = left == 0 ? 0 : 1;
    return true;
}

std::size_t OpenHandleCount() {
    // The system's extended handle list (class 64): one entry per open handle of every process.
    struct Entry {
        PVOID object;
        ULONG_PTR processId, handle;
        ULONG access;
        USHORT backTrace, type;
        ULONG attributes, reserved;
    };
    struct List {
        ULONG_PTR count, reserved;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<char> buffer(1 << 20);
    constexpr LONG kTooSmall = static_cast<LONG>(0xC0000004);
    LONG status = 0;
    ULONG needed = 0;
    while ((status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) == kTooSmall)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    const auto& list = *reinterpret_cast<const List*>(buffer.data());
    std::size_t count = 0;
    for (ULONG_PTR i = 0; i < list.count; ++i) count += list.entries[i].processId == GetCurrentProcessId();
    return count;
}

std::vector<DWORD> ChildProcesses(const std::wstring& exeName, DWORD parent) {
    std::vector<DWORD> found;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, exeName.c_str()) == 0)
            found.push_back(entry.th32ProcessID);
    return found;
}

void MainWindowTest::SetUp() {
    // A test that minimised the program must not hide the next one's windows.
    if (const HWND app = Application::Instance().Handle(); IsIconic(app)) ShowWindow(app, SW_RESTORE);
    ClearSettings();
    Application::Instance().SetDialogs(&dialogs);
}

void MainWindowTest::MakeWindow(IRunAndWait* realRunner) {
    MainDeps deps;
    deps.runner = realRunner ? realRunner : &runner;
    deps.console = realConsole ? nullptr : &console;
    deps.settingsKeyOverride = kTestKey;
    deps.splash = splash;
    deps.shortNames = shortNames;
    deps.programPath = programPath;
    form = std::make_unique<TfrmMain>(deps);
    messageOutput = std::make_unique<TMessageOutput>();
    form->MessageOutput = messageOutput.get();
    runner.main = form->Handle();
    form->Show();
    PumpMessages();
}

void MainWindowTest::TearDown() {
    if (form) form->MessageOutput = nullptr;
    messageOutput.reset();
    form.reset();
    PumpMessages();
    Application::Instance().SetDialogs(nullptr);
    ClearSettings();
    TestFlag = ListFlag = false;
}

WindowLifetimes::WindowLifetimes() {
    events_ = &own_;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

WindowLifetimes::~WindowLifetimes() {
    if (hook_) UnhookWindowsHookEx(hook_);
    events_ = nullptr;
}

LRESULT CALLBACK WindowLifetimes::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if ((code == HCBT_CREATEWND || code == HCBT_DESTROYWND) && events_) {
        wchar_t name[64]{};
        GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
        events_->push_back({name, code == HCBT_CREATEWND, GetTickCount64()});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

ULONGLONG WindowLifetimes::First(const std::wstring& windowClass, bool created) const {
    for (const auto& e : own_)
        if (e.windowClass == windowClass && e.created == created) return e.tick;
    return 0;
}

std::size_t WindowLifetimes::Order(const std::wstring& windowClass, bool created) const {
    for (std::size_t i = 0; i < own_.size(); ++i)
        if (own_[i].windowClass == windowClass && own_[i].created == created) return i + 1;
    return 0;
}

HDROP MakeDrop(const std::vector<std::wstring>& names) {
    std::size_t chars = 1;
    for (const auto& n : names) chars += n.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& n : names) {
        std::copy(n.begin(), n.end(), text);
        text += n.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

}  // namespace zandrel::test
