// The README's picture of a batch: once the batch has ended, the batch window
// with its table and totals (the question before it is answered with Start). The batch runs over copies of a
// few of the system's programs and one packed file, with the program given as
// UPX (the tests' stand-in). Usage: shot_batch UPX.exe   (runs until closed)
#include <windows.h>

#include <string>
#include <vector>

#include "packed_format.h"
#include "app/Main.h"
#include "batch/BatchConfirm.h"
#include "console/MsgOut.h"
#include "framework/application.h"

namespace {
zandrel::TfrmMain* g_form = nullptr;

// Start, as the user presses it, once the question has counted the files.
void CALLBACK PressStart(HWND, UINT, UINT_PTR timer, DWORD) {
    zandrel::TBatchConfirm* question = g_form ? g_form->BatchQuestion() : nullptr;
    if (!question || question->Counting()) return;
    KillTimer(nullptr, timer);
    question->btnStart.Click();
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace zandrel;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 2) return 2;
    auto& app = Application::Instance();
    app.Initialize();
    app.SetTitle(L"Zandrel");
    MainDeps deps;
    deps.settingsKeyOverride = L"Software\\Orvo\\ZandrelShots";
    deps.splash = false;
    TfrmMain form(deps);
    TMessageOutput output;
    form.MessageOutput = &output;
    form.Show();
    form.edUPX.SetText(argv[1]);

    wchar_t temp[MAX_PATH], system[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring folder = std::wstring(temp) + L"Release";
    CreateDirectoryW(folder.c_str(), nullptr);
    // A fresh start: an earlier picture's packed files and backups go.
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*.exe").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (const auto* name : {L"notepad.exe", L"winver.exe", L"cmd.exe"})
        CopyFileW((std::wstring(system) + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE);
    const std::string packed = standin::Pack("MZ packed by an earlier run", 6);
    const HANDLE file = CreateFileW((folder + L"\\setup.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(file, packed.data(), static_cast<DWORD>(packed.size()), &put, nullptr);
    CloseHandle(file);

    g_form = &form;
    SetTimer(nullptr, 0, 50, PressStart);
    form.StartBatch({folder}, TfrmMain::BatchKind::FormJob);
    const int code = app.Run();
    form.MessageOutput = nullptr;
    LocalFree(argv);
    return code;
}
