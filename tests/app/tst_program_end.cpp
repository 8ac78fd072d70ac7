#include "AdapterTool.h"
#include "ImageFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// The real program (program_driver builds it as main.cpp does) on a pseudo-terminal served
// by the adapter tool, ended from outside at a chosen moment: by a signal, or by the window
// manager's close of its main window. Every way ends it within 2 s, with the port closed,
// the user's files as they should be, and nothing in the temporary folder but the kept
// changes of an editor that had some.
namespace {

const QStringList Chip{"contents are unknown", "erase it and program it again"};
const QStringList Kept{"fw.bin.tms370-unsaved"};
const QStringList Read{"READ", "unchanged"};

struct Row {
    const char* name;
    QString scene, ending, answer; // ending: signal | close; answer: to the close's question
    int signal, status;
    QStringList words;  // on stderr
    QString imageAfter; // old | edited
    bool kept;          // the edits are kept beside the image
};

// clang-format off
const Row Rows[] = {
    {"idle, SIGTERM",                  "idle",    "signal", "none",   SIGTERM, 143, {"SIGTERM"},        "old",    false},
    {"READ's file dialog, SIGTERM",    "dialog",  "signal", "none",   SIGTERM, 143, Read,               "old",    false},
    {"READ, SIGTERM",                  "read",    "signal", "none",   SIGTERM, 143, Read,               "old",    false},
    {"READ, SIGHUP",                   "read",    "signal", "none",   SIGHUP,  129, {"SIGHUP", "READ"}, "old",    false},
    {"READ, closed",                   "read",    "close",  "none",   0,       0,   Read,               "old",    false},
    {"PROGRAM data, SIGHUP",           "program", "signal", "none",   SIGHUP,  129, Chip,               "old",    false},
    {"PROGRAM settle, SIGINT",         "settle",  "signal", "none",   SIGINT,  130, Chip,               "old",    false},
    {"PROGRAM data, closed, Yes",      "program", "close",  "yes",    0,       0,   Chip,               "old",    false},
    {"BULK ERASE, SIGTERM",            "erase",   "signal", "none",   SIGTERM, 143, Chip,               "old",    false},
    {"editor, SIGHUP",                 "editor",  "signal", "none",   SIGHUP,  129, Kept,               "old",    true},
    {"editor saving, SIGTERM",         "save",    "signal", "none",   SIGTERM, 143, Kept,               "old",    true},
    {"editor, closed, Yes",            "editor",  "close",  "yes",    0,       0,   {},                 "edited", false},
    {"editor, closed, No",             "editor",  "close",  "no",     0,       0,   {},                 "old",    false},
    // Cancel keeps everything open; a SIGINT then ends it, keeping the edits.
    {"editor, closed, Cancel, SIGINT", "editor",  "close",  "cancel", SIGINT,  130, Kept,               "old",    true},
};
// clang-format on

QStringList TempContents(const QString& folder) {
    QStringList names;
    for (QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        names << it.nextFileInfo().fileName();
    }
    return names;
}

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
        const auto& [name, scene, ending, answer, signal, status, words, imageAfter, kept] =
            Rows[index];
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString temp = root.filePath("tmp");
        const QString home = root.filePath("home");
        const QString runtime = root.filePath("runtime");
        for (const QString& folder : {temp, home, runtime, root.filePath("files")}) {
            QVERIFY(QDir().mkpath(folder));
        }
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        AdapterTool tool;
        const QString pty = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        QVERIFY(pty.startsWith(QLatin1Char('/')));

        // The image: one block for the operations; for a save, big enough (and without
        // holes, which the system copies in no time) that the copy is still under way when
        // the signal comes.
        const bool read = scene == "read" || scene == "dialog";
        const QString image = root.filePath(read ? "files/chip.bin" : "files/fw.bin");
        const QByteArray head = Pattern(512, 5);
        const int pieces = scene == "save" ? 128 : 1;
        const QByteArray piece = pieces == 1 ? head : head + Pattern((1 << 20) - 512, 7);
        const qint64 size = qint64(pieces) * piece.size();
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (int i = 0; i < pieces; ++i) {
                QCOMPARE(file.write(piece), qint64(piece.size()));
            }
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", temp);
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("VIDAVEV_COMM1", pty);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PROGRAM_DRIVER), {scene, ending, answer, image});
        QVERIFY(program.waitForStarted(5000));

        const auto waitForLine = [&program](const QByteArray& line) {
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < 30000) {
                while (program.canReadLine()) {
                    if (program.readLine().trimmed() == line) {
                        return true;
                    }
                }
                if (program.state() == QProcess::NotRunning) {
                    return false;
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
        if (answer == "cancel") {
            QVERIFY(waitForLine("still open"));
            QVERIFY(!program.waitForFinished(300));
            clock.restart();
        }
        if (signal != 0) {
            QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        }
        const bool finished = program.waitForFinished(2000);
        const qint64 tookMs = clock.elapsed();
        if (!finished) {
            program.kill();
            program.waitForFinished(5000);
        }
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(finished, qPrintable(QStringLiteral("still running after 2 s\n") + err));
        QVERIFY2(tookMs < 2000, qPrintable(QString::number(tookMs)));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QVERIFY2(!err.contains("still open") && !err.contains("took too long"), qPrintable(err));
        for (const QString& word : words) {
            QVERIFY2(err.contains(word), qPrintable(word + QStringLiteral(" not in:\n") + err));
        }

        // The port is free again: another program may open it at once.
        QFile port(pty);
        QVERIFY(port.open(QIODevice::ReadWrite));

        QFile after(image);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.size(), size);
        QByteArray edited = head;
        edited[0] = 0x41;
        QCOMPARE(after.read(512), imageAfter == "edited" ? edited : head);

        const QStringList left = TempContents(temp);
        if (kept) {
            QCOMPARE(left, QStringList{"fw.bin.tms370-unsaved"});
            const QString copy = QDir(temp).filePath("fw.bin.tms370-unsaved");
            QVERIFY2(err.contains(copy), qPrintable(err));
            QFile keptCopy(copy);
            QVERIFY(keptCopy.open(QIODevice::ReadOnly));
            QCOMPARE(keptCopy.size(), size);
            QCOMPARE(keptCopy.read(512), edited);
        } else {
            QCOMPARE(left, QStringList{});
        }
        // A write-back that was stopped leaves nothing beside the image either.
        QCOMPARE(QDir(root.filePath("files")).entryList(QDir::Files),
                 QStringList{QFileInfo(image).fileName()});
    }
};

QTEST_MAIN(ProgramEnd)
#include "tst_program_end.moc"
