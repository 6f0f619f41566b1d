#pragma once
// The file browser pane's test fixture: a main window with its file list, and
// helpers for files, times, keys and the tool bar.
#include "test_support.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace zandrel::test {

inline FILETIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                  static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), 0};
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

inline void SetTime(const std::wstring& path, const FILETIME& time) {
    const HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << Narrow(path);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

inline void SetSize(const std::wstring& path, std::int64_t size) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = size;
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

inline void MakeDir(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path); }

inline std::vector<std::wstring> Names(const TDirView& list) {
    std::vector<std::wstring> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Item(i)->FileName);
    return names;
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Holds keys down in the thread's keyboard state, as GetKeyState sees it.
struct HeldKeys {
    BYTE saved[256];
    explicit HeldKeys(std::initializer_list<int> keys) {
        GetKeyboardState(saved);
        BYTE state[256];
        std::copy(std::begin(saved), std::end(saved), state);
        for (int k : keys) state[k] = 0x80;
        SetKeyboardState(state);
    }
    ~HeldKeys() { SetKeyboardState(saved); }
};

class Browser : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeWindow();
        list = &form->ShellDir1;
    }
    // Every file, as with the filter's "All files" entry, without raising its click.
    void AllFiles() { form->FilterComboBox1.SetItemIndex(2); }
    void KeyUp(WORD key, std::initializer_list<int> held) {
        HeldKeys keys(held);
        SendMessageW(list->Handle(), WM_KEYUP, key, 0);
    }
    void Enter() { SendMessageW(list->Handle(), WM_KEYDOWN, VK_RETURN, 0); }
    int Find(const std::wstring& name) const { return list->FindFileItem(name); }
    void Focus(const std::wstring& name) {
        const int i = Find(name);
        ASSERT_GE(i, 0) << Narrow(name);
        list->SetFocusedItem(i);
    }
    // A left click in the middle of a tool-bar button, the way the mouse sends it.
    void ClickTool(const ToolButton& button) {
        const RECT r = button.Rect();
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(button.Bar()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button.Bar()->Handle(), WM_LBUTTONUP, 0, at);
        PumpMessages();
    }

    TDirView* list = nullptr;
};

// Every look the program's code takes at the files of one drive letter, and whether the
// system's box asking for a missing disk was held back at that moment. It patches this
// program's import table (the code under test is linked into it), so nothing the code
// calls by itself is missed. The process runs without the suppression meanwhile, as the
// program does: the test framework turns it on for the whole process.
class DriveProbes {
public:
    struct Probe {
        std::string function;
        std::wstring path;
        bool quiet;
    };
    explicit DriveProbes(wchar_t letter) {
        letter_ = static_cast<wchar_t>(towupper(letter));
        active_ = this;
        processMode_ = SetErrorMode(0);
        Patch("kernel32.dll", "GetFileAttributesW", &GetAttributes, &getAttributes_);
        Patch("kernel32.dll", "GetFileAttributesExW", &GetAttributesEx, &getAttributesEx_);
        Patch("kernel32.dll", "FindFirstFileExW", &FindFirstEx, &findFirstEx_);
        Patch("kernel32.dll", "FindFirstFileW", &FindFirst, &findFirst_);
        Patch("kernel32.dll", "CreateFileW", &Create, &create_);
        Patch("kernel32.dll", "GetDiskFreeSpaceExW", &FreeSpace, &freeSpace_);
        Patch("kernel32.dll", "GetVolumeInformationW", &Volume, &volume_);
        Patch("shell32.dll", "SHParseDisplayName", &Parse, &parse_);
        Patch("shell32.dll", "SHGetFileInfoW", &FileInfo, &fileInfo_);
    }
    ~DriveProbes() {
        for (auto& [slot, original] : patched_) Write(slot, original);
        SetErrorMode(processMode_);
        active_ = nullptr;
    }
    DriveProbes(const DriveProbes&) = delete;
    DriveProbes& operator=(const DriveProbes&) = delete;

    std::vector<Probe> All() const {
        std::lock_guard lock(mutex_);
        return probes_;
    }
    // The looks taken while the system would have asked for the disk.
    std::string Unguarded() const {
        std::string list;
        for (const auto& p : All())
            if (!p.quiet) list += p.function + "(" + Narrow(p.path) + ") ";
        return list;
    }

private:
    static void Note(const char* function, const wchar_t* path) {
        DriveProbes* self = active_;
        if (!self || !path) return;
        std::wstring p = path;
        if (p.rfind(L"\\\\?\\", 0) == 0) p = p.substr(4);
        if (p.size() < 2 || p[1] != L':' || towupper(p[0]) != self->letter_) return;
        const bool quiet = ((GetThreadErrorMode() | GetErrorMode()) & SEM_FAILCRITICALERRORS) != 0;
        std::lock_guard lock(self->mutex_);
        self->probes_.push_back({function, p, quiet});
    }
    template <typename F>
    void Patch(const char* dll, const char* function, F hook, F* original) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        int found = 0;
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
            if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk
                                                                                          : d->FirstThunk));
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                auto* slot = reinterpret_cast<void**>(&slots->u1.Function);
                *original = reinterpret_cast<F>(*slot);
                patched_.push_back({slot, *slot});
                Write(slot, reinterpret_cast<void*>(hook));
                ++found;
            }
        }
        if (found == 0) ADD_FAILURE() << "the program imports no " << function;
    }
    static void Write(void** slot, void* value) {
        DWORD old = 0;
        VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
        *slot = value;
        VirtualProtect(slot, sizeof(void*), old, &old);
    }

    static DWORD WINAPI GetAttributes(LPCWSTR n) { return Note("GetFileAttributesW", n), getAttributes_(n); }
    static BOOL WINAPI GetAttributesEx(LPCWSTR n, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
        return Note("GetFileAttributesExW", n), getAttributesEx_(n, l, d);
    }
    static HANDLE WINAPI FindFirstEx(LPCWSTR n, FINDEX_INFO_LEVELS l, LPVOID d, FINDEX_SEARCH_OPS o, LPVOID f, DWORD x) {
        return Note("FindFirstFileExW", n), findFirstEx_(n, l, d, o, f, x);
    }
    static HANDLE WINAPI FindFirst(LPCWSTR n, LPWIN32_FIND_DATAW d) { return Note("FindFirstFileW", n), findFirst_(n, d); }
    static HANDLE WINAPI Create(LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
        return Note("CreateFileW", n), create_(n, a, s, sa, c, f, t);
    }
    static BOOL WINAPI FreeSpace(LPCWSTR n, PULARGE_INTEGER a, PULARGE_INTEGER b, PULARGE_INTEGER c) {
        return Note("GetDiskFreeSpaceExW", n), freeSpace_(n, a, b, c);
    }
    static BOOL WINAPI Volume(LPCWSTR n, LPWSTR v, DWORD vs, LPDWORD s, LPDWORD m, LPDWORD f, LPWSTR fs, DWORD fss) {
        return Note("GetVolumeInformationW", n), volume_(n, v, vs, s, m, f, fs, fss);
    }
    static HRESULT WINAPI Parse(PCWSTR n, IBindCtx* b, PIDLIST_ABSOLUTE* p, SFGAOF in, SFGAOF* out) {
        return Note("SHParseDisplayName", n), parse_(n, b, p, in, out);
    }
    static DWORD_PTR WINAPI FileInfo(LPCWSTR n, DWORD a, SHFILEINFOW* i, UINT s, UINT flags) {
        // By identifier, or by name without touching the disk: no look at the drive.
        if (!(flags & (SHGFI_PIDL | SHGFI_USEFILEATTRIBUTES))) Note("SHGetFileInfoW", n);
        return fileInfo_(n, a, i, s, flags);
    }

    static inline DriveProbes* active_ = nullptr;
    static inline decltype(&GetFileAttributesW) getAttributes_ = nullptr;
    static inline decltype(&GetFileAttributesExW) getAttributesEx_ = nullptr;
    static inline decltype(&FindFirstFileExW) findFirstEx_ = nullptr;
    static inline decltype(&FindFirstFileW) findFirst_ = nullptr;
    static inline decltype(&CreateFileW) create_ = nullptr;
    static inline decltype(&GetDiskFreeSpaceExW) freeSpace_ = nullptr;
    static inline decltype(&GetVolumeInformationW) volume_ = nullptr;
    static inline decltype(&SHParseDisplayName) parse_ = nullptr;
    static inline decltype(&SHGetFileInfoW) fileInfo_ = nullptr;
    wchar_t letter_;
    UINT processMode_ = 0;
    std::vector<std::pair<void**, void*>> patched_;
    mutable std::mutex mutex_;
    std::vector<Probe> probes_;
};

// A context menu with the commands a shell offers, by verb; it records what it is asked to
// carry out, and does what `carryOut` does for a verb.
struct FakeContextMenu : IContextMenu {
    std::vector<std::wstring> verbs{L"rename", L"cut", L"copy"};
    std::vector<std::wstring> invoked;
    std::function<void(const std::wstring& verb)> carryOut;
    UINT first = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_IContextMenu ? static_cast<IContextMenu*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT idFirst, UINT, UINT) override {
        first = idFirst;
        for (UINT i = 0; i < verbs.size(); ++i) InsertMenuW(menu, index + i, MF_BYPOSITION, idFirst + i, verbs[i].c_str());
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(verbs.size()));
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        invoked.push_back(verbs[LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb))]);
        if (carryOut) carryOut(invoked.back());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR id, UINT type, UINT*, CHAR* name, UINT size) override {
        if (type != GCS_VERBW || id >= verbs.size()) return E_INVALIDARG;
        lstrcpynW(reinterpret_cast<wchar_t*>(name), verbs[id].c_str(), static_cast<int>(size));
        return S_OK;
    }
};

}  // namespace zandrel::test
