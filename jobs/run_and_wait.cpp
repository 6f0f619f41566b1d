#include "jobs/run_and_wait.h"

#include <vector>

#include "console/line_splitter.h"
#include "framework/inherit_only.h"
#include "framework/text.h"

namespace zandrel {

namespace {

// A file UPX writes its output into, gone when the last handle to it closes.
UniqueHandle OutputFile() {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    static unsigned counter = 0;
    const std::wstring path = std::wstring(folder) + L"zandrel-upx-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + L".txt";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// What UPX wrote, from the start of the file (its last megabyte at most).
std::vector<std::wstring> ReadOutput(HANDLE file) {
    LARGE_INTEGER size{}, from{};
    if (!GetFileSizeEx(file, &size)) return {};
    from.QuadPart = size.QuadPart > (1 << 20) ? size.QuadPart - (1 << 20) : 0;
    SetFilePointerEx(file, from, nullptr, FILE_BEGIN);
    std::string bytes(static_cast<std::size_t>(size.QuadPart - from.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
    // Cut as the console window cuts a run's output: the same line breaks, no NULs.
    std::vector<std::wstring> lines;
    LineSplitter splitter;
    LineGrowth growth;
    const auto keep = [&](const std::string& text, TOutputType type) {
        KeepLine(lines, FromAnsi(text), growth.ReplacesLast(type));
    };
    splitter.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, keep);
    splitter.Finish(keep);
    return lines;
}

}  // namespace

RunOutcome ProcessRunAndWait::RunAndWait(const RunRequest& request) {
    RunOutcome outcome;
    STARTUPINFOEXW six{};
    STARTUPINFOW& si = six.StartupInfo;
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    si.wShowWindow = request.showCommand;
    const UniqueHandle output = request.captureOutput ? OutputFile() : UniqueHandle();
    // Only the output file is handed to UPX, not every handle the program may have
    // open for inheriting at that moment (a batch's pipes would then end late).
    const InheritOnly inherited{output.get()};
    DWORD extended = 0;
    if (output) {
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = si.hStdError = output.get();
        extended = inherited.Apply(six);
    }
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(request.commandLine.begin(), request.commandLine.end());
    line.push_back(L'\0');
    // A UPX working on copies must not outlive the program, however it ends: it
    // is started held, put in a kill-on-close job, then let go.
    const bool onCopies = request.mayEnd;
    if (onCopies && !job_) {
        job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job_ && !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            job_.reset();
    }
    const bool held = onCopies && job_;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output ? TRUE : FALSE,
                        NORMAL_PRIORITY_CLASS | extended | (held ? CREATE_SUSPENDED : 0),
                        nullptr, request.currentFolder.empty() ? nullptr : request.currentFolder.c_str(), &si, &pi)) {
        outcome.startResult = GetLastError();
        if (outcome.startResult == 0) outcome.startResult = ERROR_FILE_NOT_FOUND;
        return outcome;
    }
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    if (held) {
        AssignProcessToJobObject(job_.get(), pi.hProcess);
        ResumeThread(pi.hThread);
    }

    // Until UPX has ended: the process handle itself decides, never the wake-up reason alone.
    while (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &pi.hProcess, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_FAILED) {
            // No way to wait with messages: wait without them rather than report a running UPX.
            WaitForSingleObject(pi.hProcess, INFINITE);
            break;
        }
        if (woke == WAIT_OBJECT_0) continue;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // A quit request ends the program at once. UPX is left to finish,
                // unless it works only on temporary files that must not stay behind.
                if (request.mayEnd) {
                    TerminateProcess(pi.hProcess, 1);
                    WaitForSingleObject(pi.hProcess, 5000);
                }
                if (request.beforeQuit) request.beforeQuit();
                if (request.atQuit) request.atQuit();
                ExitProcess(static_cast<UINT>(msg.wParam));
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    outcome.exitCode = code;
    if (output) outcome.output = ReadOutput(output.get());
    Sleep(request.lingerMs);
    return outcome;
}

}  // namespace zandrel
