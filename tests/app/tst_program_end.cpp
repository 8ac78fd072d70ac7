// The real program, built as main.cpp builds it, on a pseudo-terminal served by the adapter
// tool, ended from outside at a chosen moment, by a signal or by closing its main window: each
// way ends it within 2 s, the port closed, the user's files as they should be, nothing left in
// the temporary folder but an editor's kept changes. The test starts itself as the program,
// "tst_program_end drive SCENE ENDING FILE", which prints "ready" at the moment and says on
// stderr at its end whether the port is still open.
#include "AdapterTool.h"
#include "ImageFiles.h"
#include "app/Main.h"
#include "editor/frmEditor.h"
#include "programmer/Form3.h"
#include "programmer/frmMain.h"
#include "widgets/PictureBox.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <csignal>
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
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd"))
                                  .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    return !canonical.isEmpty() && std::any_of(fds.begin(), fds.end(), [&](const QFileInfo& fd) {
        return fd.symLinkTarget() == canonical;
    });
}

class Driver : public QObject {
public:
    Driver(Program& program, QStringList args)
        : program_(program), scene_(args.value(0)), ending_(args.value(1)), file_(args.value(2)) {
        connect(&tick_, &QTimer::timeout, this, &Driver::Step);
        tick_.start(20);
    }

private:
    frmMain& Main() { return program_.MainWindow(); }
    frmEditor* Editor() { return TopLevel<frmEditor>(); }

    // One look at the windows: a dialog to answer, or the next move of the scene.
    void Step() {
        // Answered from the event loop, not from here: a box the answer brings runs its own
        // loop, and this timer does not fire again until its handler has returned.
        if (auto* box = TopLevel<QMessageBox>()) {
            QTimer::singleShot(0, box, [this, box] { AnswerBox(box); });
            return;
        }
        if (auto* dialog = TopLevel<QFileDialog>()) {
            if (scene_ == "dialog") { // the moment is the READ's file dialog itself
                Ready();
                return;
            }
            QTimer::singleShot(0, dialog, [this, dialog] {
                // As the user does: the folder, then the name typed into the name field.
                dialog->setDirectory(QFileInfo(file_).absolutePath());
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(QFileInfo(file_).fileName());
                static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as its OK does
            });
            return;
        }
        if (!started_) {
            started_ = true;
            Start();
        } else if (!ready_ && AtMoment()) {
            Ready();
            if (ending_ != "signal") {
                QTimer::singleShot(0, this, [this] { Main().close(); });
            }
        }
    }

    void Ready() {
        if (!ready_) {
            ready_ = true;
            Say("ready");
        }
    }

    // A warning (the image's size) goes on; the question a close brings is answered Yes or
    // Cancel, which keeps everything open: said once the box is gone.
    void AnswerBox(QMessageBox* box) {
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (!ok && ending_ == "cancel") {
            QTimer::singleShot(200, [] { Say("still open"); });
        }
        (ok ? ok : box->button(ending_ == "yes" ? QMessageBox::Yes : QMessageBox::Cancel))->click();
    }

    void Start() {
        if (scene_ == "editor" || scene_ == "save") {
            Main().mnuMemory->trigger();
            QTimer::singleShot(0, this, [this] {
                Editor()->findChild<QAction*>(QStringLiteral("sm1_0"))->trigger();
            });
            return;
        }
        Main().mnuComm[0]->trigger();
        // 512 bytes where the data phase should be long, 256 where the settle wait comes soon.
        Main()
            .findChild<QAction*>(scene_ == "settle" ? "mnuTMS370CX58A" : "mnuTMS370CX56A")
            ->trigger();
        QPushButton* button = scene_ == "dialog" ? Main().Command1 : Main().Command2;
        QTimer::singleShot(0, button, &QPushButton::click);
    }

    bool AtMoment() {
        if (scene_ == "editor" || scene_ == "save") {
            return EditorAtMoment();
        }
        // The progress line's start, and how far the bar must be.
        const bool settle = scene_ == "settle";
        const Form3* working = Main().WorkingWindow();
        return working &&
               working->lblProgress->text().startsWith(settle ? "Programming: waiting"
                                                              : "Programming ") &&
               working->progressBar->value() >= (settle ? 500 : 40);
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
        if (scene_ == "save" && !saving_) {
            saving_ = true;
            QTimer::singleShot(0, editor->findChild<QAction*>(QStringLiteral("mnuSave")),
                               &QAction::trigger);
        }
        return scene_ != "save";
    }

    Program& program_;
    QString scene_, ending_, file_;
    QTimer tick_;
    bool started_ = false, ready_ = false, saving_ = false;
};

int Drive(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VidAvev"));
    QApplication::setApplicationVersion(QStringLiteral(TMS370_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    Program program;
    Module1::Main(program);
    Driver driver(program, QCoreApplication::arguments().mid(2));
    const int status = app.exec();
    if (HoldsOpen(QString::fromLocal8Bit(qgetenv("VIDAVEV_COMM1")))) {
        std::fputs("driver: the serial port is still open\n", stderr);
    }
    return status;
}

const QStringList Chip{"contents are unknown", "erase it and program it again"};

struct Row {
    const char* name;
    // dialog (READ's file dialog), program, settle, editor or save; signal, or the answer (yes,
    // cancel) to the question that closing the main window at the moment brings
    QString scene, ending;
    int signal;        // sent once ready (and once the Cancel is given)
    QStringList words; // on stderr
    bool kept;         // the edits are kept beside the image
};

// clang-format off
const Row Rows[] = {
    {"READ's file dialog, SIGHUP",     "dialog",  "signal", SIGHUP,  {"SIGHUP received", "READ", "unchanged"}, false},
    {"PROGRAM settle, SIGINT",         "settle",  "signal", SIGINT,  Chip + QStringList{"SIGINT received"}, false},
    {"PROGRAM data, closed, Yes",      "program", "yes",    0,       Chip, false},
    {"editor, SIGHUP",                 "editor",  "signal", SIGHUP,  {}, true},
    {"editor saving, SIGTERM",         "save",    "signal", SIGTERM, {"SIGTERM received"}, true},
    // Cancel keeps everything open; a SIGINT then ends it, keeping the edits.
    {"editor, closed, Cancel, SIGINT", "editor",  "cancel", SIGINT,  {}, true},
};
// clang-format on

} // namespace

class ProgramEnd : public QObject {
    Q_OBJECT

private slots:
    void endsWithinTwoSeconds_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(Rows)); ++i) {
            QTest::newRow(Rows[i].name) << i;
        }
    }

    void endsWithinTwoSeconds() {
        QFETCH(int, index);
        const auto& [name, scene, ending, signal, words, kept] = Rows[index];
        QTemporaryDir root;
        const QString temp = root.filePath("tmp");
        for (const char* folder : {"tmp", "home", "runtime", "files"}) {
            QVERIFY(QDir(root.path()).mkpath(folder));
        }
        QFile::setPermissions(root.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        AdapterTool tool;
        const QString pty = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        QVERIFY(pty.startsWith(QLatin1Char('/')));

        // The image: one block for the operations; for a save, big enough (and without
        // holes, which the system copies in no time) that the copy is still under way when
        // the signal comes.
        const QString image = root.filePath(scene == "dialog" ? "files/chip.bin" : "files/fw.bin");
        const QByteArray head = Pattern(512, 5);
        const qint64 size =
            WriteFile(image,
                      scene == "save" ? (head + Pattern((1 << 20) - 512, 7)).repeated(128) : head)
                .size();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", temp);
        env.insert("HOME", root.filePath("home"));
        env.insert("XDG_CONFIG_HOME", root.filePath("home/.config"));
        env.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
        env.insert("VIDAVEV_COMM1", pty);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationFilePath(), {"drive", scene, ending, image});
        QVERIFY(program.waitForStarted(5000));
        const auto waitForLine = [&program](const QByteArray& line) {
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < 30000 && program.state() != QProcess::NotRunning) {
                while (program.canReadLine()) {
                    if (program.readLine().trimmed() == line) {
                        return true;
                    }
                }
                program.waitForReadyRead(100);
            }
            return false;
        };
        if (!waitForLine("ready")) {
            QFAIL(program.readAllStandardError().constData());
        }
        QElapsedTimer clock;
        clock.start();
        if (ending == "cancel") {
            QVERIFY(waitForLine("still open"));
            QVERIFY(!program.waitForFinished(300));
            clock.restart();
        }
        if (signal != 0) {
            QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        }
        const bool finished = program.waitForFinished(2000);
        const qint64 tookMs = clock.elapsed(); // one still running is killed as the test ends
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(finished && tookMs < 2000, qPrintable(QString::number(tookMs) + "ms\n" + err));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), signal ? 128 + signal : 0);
        QVERIFY2(!err.contains("still open") && !err.contains("took too long"), qPrintable(err));
        for (const QString& word : words) {
            QVERIFY2(err.contains(word), qPrintable(word + QStringLiteral(" not in:\n") + err));
        }

        const auto sizeAndHead = [](const QString& path) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            return std::pair(file.size(), file.read(512));
        };
        QCOMPARE(sizeAndHead(image), std::pair(size, head));
        QStringList left;
        for (QDirIterator it(temp, QDir::Files | QDir::System | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            left << it.nextFileInfo().fileName();
        }
        QCOMPARE(left, kept ? QStringList{"fw.bin.tms370-unsaved"} : QStringList());
        if (kept) { // with the byte typed, 41h
            const QString copy = QDir(temp).filePath("fw.bin.tms370-unsaved");
            QVERIFY2(err.contains(copy), qPrintable(err));
            QCOMPARE(sizeAndHead(copy), std::pair(size, QByteArray(head).replace(0, 1, "A")));
        }
        // A write-back that was stopped leaves nothing beside the image either.
        QCOMPARE(QDir(root.filePath("files")).entryList(QDir::Files),
                 QStringList{QFileInfo(image).fileName()});
    }
};

int main(int argc, char* argv[]) {
    if (argc > 1 && qstrcmp(argv[1], "drive") == 0) {
        return Drive(argc, argv);
    }
    QApplication app(argc, argv);
    ProgramEnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_program_end.moc"
