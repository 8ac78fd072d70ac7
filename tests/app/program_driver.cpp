// The real program, built as main.cpp builds it, with a hand on its windows: it drives them
// to one chosen moment and prints "ready" there, so the test can end it from outside with a
// signal, or ends it itself by closing the main window as the window manager does.
//
//   program_driver SCENE ENDING ANSWER FILE
//     SCENE   idle | dialog (READ's file dialog) | read | program | settle | erase | editor |
//             save
//     ENDING  signal (the test sends it) | close (the main window is closed at the moment)
//     ANSWER  yes | no | cancel | none: the button for the question the close brings
//     FILE    the image the operation or the editor uses
//
// After the event loop has ended it says on stderr whether the serial port is still open.
#include "app/Main.h"
#include "editor/frmEditor.h"
#include "grid/Grid.h"
#include "programmer/Form3.h"
#include "programmer/frmMain.h"
#include "widgets/PictureBox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

template <typename T> T* TopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

void Say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// Whether a descriptor of this process still refers to path.
bool HoldsOpen(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd :
         fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (!canonical.isEmpty() && fd.symLinkTarget() == canonical) {
            return true;
        }
    }
    return false;
}

class Driver : public QObject {
public:
    Driver(Program& program, QStringList args)
        : program_(program), scene_(args.value(0)), ending_(args.value(1)), answer_(args.value(2)),
          file_(args.value(3)) {
        connect(&tick_, &QTimer::timeout, this, &Driver::Step);
        tick_.start(20);
    }

private:
    frmMain& Main() { return program_.MainWindow(); }

    // One look at the windows: a dialog to answer, or the next move of the scene.
    void Step() {
        // Answered from the event loop, not from here: a box the answer brings runs its own
        // loop, and this timer does not fire again until its handler has returned.
        if (auto* box = TopLevel<QMessageBox>()) {
            QTimer::singleShot(0, box, [this, box] { AnswerBox(box); });
            return;
        }
        if (auto* dialog = TopLevel<QFileDialog>()) {
            if (scene_ == "dialog") {
                // The moment is the READ's file dialog itself.
                if (!ready_) {
                    ready_ = true;
                    Say("ready");
                }
                return;
            }
            QTimer::singleShot(0, dialog, [this, dialog] {
                // As the user does: the folder, then the name typed into the name field.
                dialog->setDirectory(QFileInfo(file_).absolutePath());
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                    name->setText(QFileInfo(file_).fileName());
                } else {
                    dialog->selectFile(file_);
                }
                static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as its OK does
            });
            return;
        }
        if (!started_) {
            started_ = true;
            Start();
            return;
        }
        if (!ready_ && AtMoment()) {
            ready_ = true;
            Say("ready");
            if (ending_ == "close") {
                QTimer::singleShot(0, this, [this] { Main().close(); });
            }
        }
    }

    void AnswerBox(QMessageBox* box) {
        if (qobject_cast<QFileDialog*>(box->parentWidget())) {
            box->button(QMessageBox::Yes)->click(); // the file dialog's "replace it?"
            return;
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click(); // a warning (the image's size): go on
            return;
        }
        const QMessageBox::StandardButton button = answer_ == "yes"      ? QMessageBox::Yes
                                                   : answer_ == "cancel" ? QMessageBox::Cancel
                                                                         : QMessageBox::No;
        if (QAbstractButton* b = box->button(button)) {
            if (button == QMessageBox::Cancel) {
                // Everything stays open: said once the box is gone.
                QTimer::singleShot(200, [] { Say("still open"); });
            }
            b->click();
        } else {
            box->reject();
        }
    }

    void Start() {
        const auto trigger = [this](const char* name) {
            Main().findChild<QAction*>(QLatin1String(name))->trigger();
        };
        if (scene_ == "idle") {
            return;
        }
        if (scene_ == "editor" || scene_ == "save") {
            Main().mnuMemory->trigger();
            QTimer::singleShot(0, this, [this] {
                Editor()->findChild<QAction*>(QStringLiteral("sm1_0"))->trigger();
            });
            return;
        }
        trigger("mnuComm1");
        // 512 bytes where the data phase should be long, 256 where the settle wait comes soon.
        trigger(scene_ == "settle" ? "mnuTMS370CX58A" : "mnuTMS370CX56A");
        QPushButton* button = Main().Command2;
        if (scene_ == "read" || scene_ == "dialog") {
            button = Main().Command1;
        } else if (scene_ == "erase") {
            button = Main().Command5;
        }
        QTimer::singleShot(0, button, &QPushButton::click);
    }

    frmEditor* Editor() { return TopLevel<frmEditor>(); }

    bool AtMoment() {
        if (scene_ == "idle") {
            return Main().isVisible();
        }
        if (scene_ == "editor" || scene_ == "save") {
            return EditorAtMoment();
        }
        // The progress line's start, and how far the bar must be, for each scene.
        const QMap<QString, std::pair<QString, int>> at{{"read", {"Reading", 3}},
                                                        {"program", {"Programming ", 40}},
                                                        {"settle", {"Programming: waiting", 500}},
                                                        {"erase", {"Erasing", 0}}};
        const Form3* working = Main().WorkingWindow();
        return working && at.contains(scene_) &&
               working->lblProgress->text().startsWith(at[scene_].first) &&
               working->progressBar->value() >= at[scene_].second;
    }

    bool EditorAtMoment() {
        frmEditor* editor = Editor();
        if (!editor || !editor->Document().Loaded() || editor->Busy()) {
            return scene_ == "save" && saving_ && editor && editor->Busy();
        }
        if (!editor->Document().Modified()) {
            // A byte typed in the hex pane: 41h at the first byte.
            auto* hex = editor->findChild<PictureBox*>(QStringLiteral("PicHex"));
            hex->setFocus();
            QTest::keyClick(hex, Qt::Key_4);
            QTest::keyClick(hex, Qt::Key_1);
            return false;
        }
        if (scene_ == "save") {
            if (!saving_) {
                saving_ = true;
                QTimer::singleShot(0, editor->findChild<QAction*>(QStringLiteral("mnuSave")),
                                   &QAction::trigger);
            }
            return false;
        }
        return true;
    }

    Program& program_;
    QString scene_;
    QString ending_;
    QString answer_;
    QString file_;
    QTimer tick_;
    bool started_ = false;
    bool ready_ = false;
    bool saving_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VidAvev"));
    QApplication::setApplicationVersion(QStringLiteral(TMS370_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QCoreApplication::arguments().mid(1);

    Program program;
    Module1::Main(program);
    Driver driver(program, args);
    const int status = app.exec();
    if (HoldsOpen(QString::fromLocal8Bit(qgetenv("VIDAVEV_COMM1")))) {
        std::fputs("driver: the serial port is still open\n", stderr);
    }
    return status;
}
