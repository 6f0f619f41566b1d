// Program entry.
#include <string>
#include <vector>

#include "app/program.h"
#include "framework/application.h"

#ifdef ZANDREL_NOTICES_MINGW_MAJOR
// THIRD-PARTY-NOTICES.txt carries the licence texts of this runtime's major version
// (package/mingw-w64): a program linked with another would ship the wrong ones.
static_assert(__MINGW64_VERSION_MAJOR == ZANDREL_NOTICES_MINGW_MAJOR,
              "the mingw-w64 runtime differs from the one whose notices are kept in package/mingw-w64");
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace zandrel;
    auto& app = Application::Instance();
    app.Initialize();
    app.SetTitle(L"Zandrel");

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::vector<std::wstring> arguments(argv ? argv + 1 : nullptr, argv ? argv + argc : nullptr);
    if (argv) LocalFree(argv);
    StartRequest request = ReadCommandLine(arguments);
    std::unique_ptr<BatchCollector> collector;
    if (const auto exitCode = TreatSwitches(request, &collector)) {
        app.Terminate();
        return *exitCode;
    }
    ProgramWindows windows;
    const bool goOn = windows.TreatRequest(request, collector.get());
    collector.reset();  // the batch was asked about: later starts make their own
    if (!goOn) {
        app.Terminate();
        return 0;
    }
    windows.Main().Show();
    return app.Run();
}
