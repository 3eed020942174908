// The program's entry: the toolkit, the application title and the main window.
#include <QApplication>

#include "app/ApplicationTitle.h"
#include "app/qt/TfrmMain.h"
#include "connectivity/attachment/ClientLibrary.h"
#include "platform/OwnExecutable.h"

int main(int argc, char* argv[]) {
    // The attachment layer's load-time step: its settings file, its first library load.
    const TClientLibraryModule clientLibrary(platform::OwnExecutablePath());
    QApplication application(argc, argv);
    ApplicationTitle() = "Updater";
    TfrmMain window;
    window.show();
    return application.exec();
}
