// Program entry.
#include "app/Main.h"

#include <memory>

#include "console/MsgOut.h"
#include "framework/application.h"
#include "framework/files.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace zandrel;
    auto& app = Application::Instance();
    app.Initialize();
    app.SetTitle(L"Zandrel");

    auto frmMain = std::make_unique<TfrmMain>();
    auto messageOutput = std::make_unique<TMessageOutput>();
    frmMain->MessageOutput = messageOutput.get();

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int arguments = argc - 1;
    if (arguments == 1) {
        const std::wstring file = argv[1];
        if (IsExistingFile(file)) {
            frmMain->Show();
            // A relative name is made whole, as a dropped file is.
            frmMain->edSource.SetText(FullPathOf(file));
        }
    } else if (arguments > 1) {
        app.Terminate();
    }
    if (argv) LocalFree(argv);
    if (app.Terminated()) return 0;

    frmMain->Show();
    const int code = app.Run();
    frmMain->MessageOutput = nullptr;
    return code;
}
