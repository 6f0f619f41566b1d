#include "jobs/run_and_wait.h"

#include <vector>

namespace zandrel {

RunOutcome ProcessRunAndWait::RunAndWait(const RunRequest& request) {
    RunOutcome outcome;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    si.wShowWindow = request.showCommand;
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
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | (held ? CREATE_SUSPENDED : 0),
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
    Sleep(request.lingerMs);
    return outcome;
}

}  // namespace zandrel
