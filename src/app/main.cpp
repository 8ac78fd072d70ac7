#include "Main.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VidAvev"));
    // The main window hides while another window stands in for it; only its unload ends
    // the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Program program;
    Module1::Main(program);
    return app.exec();
}
