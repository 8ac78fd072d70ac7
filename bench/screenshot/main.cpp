// Draws the Memory window with a file loaded, a byte edited and a few bytes selected, and
// saves it as a PNG, to look at the layout. Usage: editor_screenshot <file> <out.png> [layout]
// (under a display, e.g. xvfb-run -a -s "-screen 0 1280x1024x24"); with a recipe or layout
// file, the data inspector and the fields panel are shown beside the page, with its fields.
#include "BenchServices.h"
#include "common/Module1.h"
#include "editor/frmEditor.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void Key(QWidget* to, Qt::Key key, const QString& text = QString(),
         Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(to, &down);
    QApplication::sendEvent(to, &up);
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <file> <out.png>\n", argv[0]);
        return 2;
    }
    QTemporaryDir temp;
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    Module1::ProgramPlaces places;
    places.appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');

    BenchServices bench;
    frmEditor editor(bench.services, places, [] {});
    editor.show();
    editor.activateWindow();
    bench.dialogs.answers = {QString::fromLocal8Bit(argv[1])};
    editor.findChild<QAction*>(QStringLiteral("sm1_0"))->trigger();
    if (argc > 3) {
        for (const char* panel : {"mnuDataInspector", "mnuFields"}) {
            QAction* toggle = editor.findChild<QAction*>(QLatin1String(panel));
            if (!toggle->isChecked()) {
                toggle->trigger();
            }
        }
        bench.dialogs.answers = {QString::fromLocal8Bit(argv[3])};
        editor.findChild<QPushButton*>(QStringLiteral("fieldsOpen"))->click();
    }
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents();
    }
    PictureBox* hex = editor.findChild<PictureBox*>(QStringLiteral("PicHex"));
    hex->setFocus();
    QApplication::processEvents();
    Key(hex, Qt::Key_Down);
    Key(hex, Qt::Key_Down);
    Key(hex, Qt::Key_Down);
    for (int i = 0; i < 5; ++i) {
        Key(hex, Qt::Key_Right);
    }
    Key(hex, Qt::Key_A, QStringLiteral("a"));
    Key(hex, Qt::Key_B, QStringLiteral("b")); // an edited byte
    Key(hex, Qt::Key_Down);
    Key(hex, Qt::Key_Down);
    for (int i = 0; i < 6; ++i) {
        Key(hex, Qt::Key_Right, QString(), Qt::ShiftModifier); // a selection
    }
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents();
    }
    // With TMS370_SHOT_HOLD=ms the window stays up that long, to capture the whole screen.
    const int hold = qEnvironmentVariableIntValue("TMS370_SHOT_HOLD");
    for (QElapsedTimer held;
         hold > 0 && (held.isValid() || (held.start(), true)) && held.elapsed() < hold;) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const QPixmap shot = editor.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
