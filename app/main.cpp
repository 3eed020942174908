// The program's entry: the toolkit, the application title and the main window.
#include <QApplication>

#include "app/ApplicationTitle.h"
#include "app/TfrmMain.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    ApplicationTitle() = "Updater";
    TfrmMain window;
    window.show();
    return application.exec();
}
