#include "Main.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <cstring>

namespace {

constexpr int UsageError = 64;

const char HelpText[] =
    "Usage: tms370prog [options]\n"
    "Reads, programs, verifies and erases the data EEPROM of TMS370-family chips through a\n"
    "programming adapter on a serial port, and edits image files as hex and text.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help and exit.\n"
    "  -v, --version  Show the version and exit.\n"
    "Qt's own options (-platform, -style, -reverse, ...) are accepted as well.\n"
    "\n"
    "Environment:\n"
    "  VIDAVEV_COMM1 .. VIDAVEV_COMM8\n"
    "                 The device a Port Number item opens for this run: a path such as\n"
    "                 /dev/ttyUSB0, or sim for the built-in simulated adapter.\n"
    "\n"
    "Settings: ~/.config/VidAvev/VidAvev.ini (sections General and Ports).\n"
    "See tms370prog(1) and tms370(1).\n";

// --help and --version are answered before QApplication exists, so they work without a
// display (on a build server, over ssh, in a package check).
bool AnswerInformationRequest(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            break;
        }
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0 ||
            std::strcmp(arg, "-?") == 0) {
            std::fputs(HelpText, stdout);
            return true;
        }
        if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--version") == 0) {
            std::printf("tms370prog %s\n", TMS370_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AnswerInformationRequest(argc, argv)) {
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VidAvev"));
    QApplication::setApplicationVersion(QStringLiteral(TMS370_VERSION));

    // Qt has taken its own options out; anything left is a mistake the user should hear of
    // rather than a window that silently ignores it.
    const QStringList rest = QCoreApplication::arguments().mid(1);
    if (!rest.isEmpty()) {
        QTextStream(stderr) << "tms370prog: unknown argument '" << rest.first()
                            << "'\nTry 'tms370prog --help'.\n";
        return UsageError;
    }

    // The main window hides while another window stands in for it; only its unload ends
    // the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Program program;
    Module1::Main(program);
    return app.exec();
}
