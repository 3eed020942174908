// The program's entry on Windows: the attachment layer's load-time step, the application title
// and the window.
#include "app/ApplicationTitle.h"
#include "app/win32/TfrmMain.h"
#include "connectivity/attachment/ClientLibrary.h"
#include "platform/OwnExecutable.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // No library from the folder the program was started in, also none that a loaded library
    // needs in turn (platform/win32/DynamicLibrary.cpp leaves it out of the names it loads).
    SetDllDirectoryW(L"");
    // The attachment layer's load-time step: its settings file, its first library load.
    const TClientLibraryModule clientLibrary(platform::OwnExecutablePath());
    ApplicationTitle() = "Updater";
    win32ui::TfrmMain window;
    window.Show(showCommand);
    return window.Run();
}
