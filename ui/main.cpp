#include <QApplication>

#include "ui/LoaderApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    vantrel::CLoaderApp app(QCoreApplication::applicationFilePath());
    // Start-up runs the window for the program's whole life and then has nothing left to do.
    app.Startup();
    return 0;
}
