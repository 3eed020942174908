// The program's entry on Windows: the attachment layer's load-time step, the application title
// and the window. The program has no console: whatever ends it early is shown in a box as well
// as written to the standard error stream.
#include <exception>

#include "app/ApplicationTitle.h"
#include "app/win32/FramedBox.h"
#include "app/win32/TfrmMain.h"
#include "connectivity/attachment/ClientLibrary.h"
#include "platform/OwnExecutable.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // No library from the folder the program was started in, also none that a loaded library
    // needs in turn (platform/win32/DynamicLibrary.cpp leaves it out of the names it loads).
    SetDllDirectoryW(L"");
    ApplicationTitle() = "Updater";
    try {
        // The attachment layer's load-time step: its settings file, its first library load. A
        // client library without an entry point ends the program here, after its box.
        const TClientLibraryModule clientLibrary(
            platform::OwnExecutablePath(),
            [](const std::string& text) { win32ui::ReportFailure(nullptr, text); });
        win32ui::TfrmMain window;
        window.Show(showCommand);
        return window.Run();
    } catch (const std::exception& failure) {
        win32ui::ReportFailure(nullptr, failure.what());
    } catch (...) {
        win32ui::ReportFailure(nullptr, "Непредвиденная ошибка!");
    }
    return 1;
}
