#pragma once
// What the bench programs share: clocks, and the main window made as the
// program makes it, without the splash's pause and with settings of its own.
#include <windows.h>

#include "app/Main.h"

namespace zandrel::bench {

inline double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// This process's CPU time so far (kernel and user), in milliseconds.
inline double OwnCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

inline MainDeps Deps() {
    MainDeps deps;
    deps.settingsKeyOverride = L"Software\\Orvo\\ZandrelBench";
    deps.splash = false;
    return deps;
}

}  // namespace zandrel::bench
