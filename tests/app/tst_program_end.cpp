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
class ProgramEnd : public QObject {
    Q_OBJECT

    static QStringList TempContents(const QString& folder) {
        QStringList names;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (!it.fileInfo().isDir()) {
                names << it.fileName();
            }
        }
        return names;
    }

private slots:
    void endsWithinTwoSeconds_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("ending"); // signal | close
        QTest::addColumn<QString>("answer"); // to the question the close brings
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("words");  // on stderr
        QTest::addColumn<QString>("imageAfter"); // old | new | edited
        QTest::addColumn<bool>("kept");          // the edits are kept beside the image

        const QStringList chip{"contents are unknown", "erase it and program it again"};
        const QStringList kept{"fw.bin.tms370-unsaved"};
        const QStringList read{"READ", "unchanged"};
        struct Row {
            const char* name;
            const char* scene;
            const char* ending;
            const char* answer;
            int signal;
            int status;
            QStringList words;
            const char* imageAfter;
            bool kept;
        };
        // clang-format off
        const Row rows[] = {
            {"idle, SIGTERM",                  "idle",    "signal", "none",   SIGTERM, 143, {"SIGTERM"},         "old",    false},
            {"READ's file dialog, SIGTERM",    "dialog",  "signal", "none",   SIGTERM, 143, read,                "old",    false},
            {"READ, SIGTERM",                  "read",    "signal", "none",   SIGTERM, 143, read,                "old",    false},
            {"READ, SIGHUP",                   "read",    "signal", "none",   SIGHUP,  129, {"SIGHUP", "READ"},  "old",    false},
            {"READ, closed",                   "read",    "close",  "none",   0,       0,   read,                "old",    false},
            {"PROGRAM data, SIGHUP",           "program", "signal", "none",   SIGHUP,  129, chip,                "old",    false},
            {"PROGRAM settle, SIGINT",         "settle",  "signal", "none",   SIGINT,  130, chip,                "old",    false},
            {"PROGRAM data, closed, Yes",      "program", "close",  "yes",    0,       0,   chip,                "old",    false},
            {"BULK ERASE, SIGTERM",            "erase",   "signal", "none",   SIGTERM, 143, chip,                "old",    false},
            {"editor, SIGHUP",                 "editor",  "signal", "none",   SIGHUP,  129, kept,                "old",    true},
            {"editor saving, SIGTERM",         "save",    "signal", "none",   SIGTERM, 143, kept,                "old",    true},
            {"editor, closed, Yes",            "editor",  "close",  "yes",    0,       0,   {},                  "edited", false},
            {"editor, closed, No",             "editor",  "close",  "no",     0,       0,   {},                  "old",    false},
            // Cancel keeps everything open; a SIGINT then ends it, keeping the edits.
            {"editor, closed, Cancel, SIGINT", "editor",  "close",  "cancel", SIGINT,  130, kept,                "old",    true},
        };
        // clang-format on
        for (const Row& r : rows) {
            QTest::newRow(r.name) << QString(r.scene) << QString(r.ending) << QString(r.answer)
                                  << r.signal << r.status << r.words << QString(r.imageAfter)
                                  << r.kept;
        }
    }

    void endsWithinTwoSeconds() {
        QFETCH(QString, scene);
        QFETCH(QString, ending);
        QFETCH(QString, answer);
        QFETCH(int, signal);
        QFETCH(int, status);
        QFETCH(QStringList, words);
        QFETCH(QString, imageAfter);
        QFETCH(bool, kept);

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
