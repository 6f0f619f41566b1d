// Program entry.
#include <string>
#include <vector>

#include "app/program.h"
#include "framework/application.h"

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
    if (const auto exitCode = TreatSwitches(request)) {
        app.Terminate();
        return *exitCode;
    }
    ProgramWindows windows;
    if (!windows.TreatRequest(request)) {
        app.Terminate();
        return 0;
    }
    windows.Main().Show();
    return app.Run();
}
