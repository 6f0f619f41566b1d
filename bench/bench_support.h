#pragma once
// What the bench programs share: a clock, and the main window made as the
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

inline MainDeps Deps() {
    MainDeps deps;
    deps.settingsKeyOverride = L"Software\\Orvo\\ZandrelBench";
    deps.splash = false;
    return deps;
}

}  // namespace zandrel::bench
