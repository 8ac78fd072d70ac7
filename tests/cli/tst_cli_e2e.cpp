#include "AdapterTool.h"
#include "ImageFiles.h"
#include "core/ImageFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

// tms370 as a script runs it: own process, adapter tool on a pseudo-terminal, real clock.
class CliEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    AdapterTool tool;
    QString device;

    QString Path(const QString& name) const { return dir.filePath(name); }

    void Write(const QString& name, const QByteArray& data) { WriteFile(Path(name), data); }

    void Start(QProcess& process, const QStringList& arguments) {
        process.start(QStringLiteral(TMS370_TOOL), arguments);
        QVERIFY(process.waitForStarted(5000));
    }

    // Reads the process's stderr until it holds words.
    bool WaitForError(QProcess& process, QByteArray& err, const QByteArray& words) {
        QDeadlineTimer deadline(20000);
        while (!err.contains(words) && !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            err += process.readAllStandardError();
        }
        return err.contains(words);
    }

    int Finish(QProcess& process, QByteArray& out, QByteArray& err) {
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    int RunTool(const QStringList& arguments, QByteArray* out = nullptr) {
        QProcess process;
        Start(process, arguments);
        QByteArray o, e;
        const int code = Finish(process, o, e);
        if (out) {
            *out = o;
        }
        qInfo().noquote() << arguments.join(' ') << "->" << code << e.trimmed();
        return code;
    }

private slots:
    void initTestCase() {
        QByteArray eeprom = Pattern(256, 1) + Pattern(256, 2);
        Write("eeprom.bin", eeprom);
        device = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--eeprom", Path("eeprom.bin")});
        QVERIFY(device.startsWith(QLatin1Char('/')));
    }

    void readProgramAndVerify() {
        QCOMPARE(
            RunTool({"read", "-p", device, "-d", "TMS370CX56A", "--fast", "-o", Path("chip.ihx")}),
            0);
        QCOMPARE(core::LoadImageFile(Path("chip.ihx"), std::nullopt, *core::FindFamily("x"), false)
                     .block,
                 Pattern(256, 1) + Pattern(256, 2));

        Write("image.bin", Pattern(256, 7));
        QByteArray out;
        QCOMPARE(
            RunTool({"program", "-p", device, "-d", "y", "--fast", "-i", Path("image.bin")}, &out),
            0);
        QVERIFY2(out.contains(" programmed into family y and verified, CRC-32 "), out.constData());

        QByteArray other = Pattern(256, 7);
        other[0x25] = char(0xA5);
        Write("other.bin", other);
        QCOMPARE(
            RunTool({"verify", "-p", device, "-d", "y", "--fast", "-i", Path("other.bin")}, &out),
            1);
        QVERIFY2(out.contains("  1F25h  expected A5h  found"), out.constData());
    }

    // The output file as the tool's own process meets it: read-only, or on a full disk.
    void outputFiles_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("force");
        QTest::addColumn<int>("sizeLimit"); // 0 none
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("read-only") << 0444 << false << 0 << 4
                                   << "out.bin is read-only and was kept as it was; give --force";
        QTest::newRow("read-only, --force") << 0444 << true << 0 << 0 << "";
        QTest::newRow("full disk") << 0640 << false << 100 << 4 << "out.bin: File too large";
    }
    void outputFiles() {
        QFETCH(int, mode);
        QFETCH(bool, force);
        QFETCH(int, sizeLimit);
        QFETCH(int, code);
        QFETCH(QString, words);
        const QString path = Path("out.bin");
        QFile::setPermissions(path, QFile::WriteOwner | QFile::ReadOwner);
        Write("out.bin", "old");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        QProcess process;
        process.setChildProcessModifier([sizeLimit] {
            if (sizeLimit > 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{rlim_t(sizeLimit), RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
        });
        QStringList arguments{"read", "-p", device, "-d", "y", "-q", "--fast", "-o", path};
        if (force) {
            arguments << "--force";
        }
        Start(process, arguments);
        QByteArray out, err;
        QCOMPARE(Finish(process, out, err), code);
        QVERIFY2(err.contains(words.toLocal8Bit()) && !err.contains("Unknown error"),
                 err.constData());
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), mode);
        const QByteArray content = ReadFile(path);
        QVERIFY(code == 0 ? content.size() == 256 : content == "old");
    }

    void secondProcessAndCtrlCInProgram() {
        Write("image.bin", Pattern(256, 9));
        QProcess program;
        Start(program,
              {"program", "-p", device, "-d", "y", "--no-verify", "-i", Path("image.bin")});
        QByteArray out, err;
        QVERIFY(WaitForError(program, err, "sending 256 bytes"));

        // The port is taken: the second run is turned away before it sends anything.
        QProcess second;
        Start(second, {"read", "-p", device, "-d", "y", "-o", Path("second.bin")});
        QByteArray secondOut, secondErr;
        QCOMPARE(Finish(second, secondOut, secondErr), 3);
        QVERIFY2(secondErr.contains("port busy"), secondErr.constData());
        QVERIFY(!QFile::exists(Path("second.bin")));

        // Stopped in the settle wait: the adapter has the whole block and is ready again.
        QVERIFY(WaitForError(program, err, "waiting 11.7 s"));
        ::kill(pid_t(program.processId()), SIGINT);
        QVERIFY(WaitForError(program, err, "Press Ctrl+C again"));
        QCOMPARE(program.state(), QProcess::Running);
        ::kill(pid_t(program.processId()), SIGINT);
        QElapsedTimer stopping;
        stopping.start();
        QCOMPARE(Finish(program, out, err), 130);
        QVERIFY(stopping.elapsed() < 2000); // not after the 11.7 s settle wait
        QVERIFY2(err.contains("the chip's contents are now unknown"), err.constData());
    }

    // The adapter goes away while the chip settles, when nothing is on the wire: the run
    // must not pass for a good one.
    void adapterGoneInTheSettleWait() {
        AdapterTool lost;
        const QString port = lost.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        QVERIFY(port.startsWith(QLatin1Char('/')));
        Write("image.bin", Pattern(256, 4));
        QProcess program;
        Start(program, {"program", "-p", port, "-d", "y", "--no-verify", "-i", Path("image.bin")});
        QByteArray out, err;
        QVERIFY(WaitForError(program, err, "waiting 11.7 s"));
        lost.Stop();
        QCOMPARE(Finish(program, out, err), 3);
        QVERIFY2(err.contains("went away") && err.contains("partly written"), err.constData());
        QVERIFY(out.isEmpty());
    }

    // Every option a --help names is described in the man page.
    // A device the user may not open names who may, and the command to join only where
    // joining the group opens it.
    void deviceOfAnotherGroup() {
        const struct group* dialout = ::getgrnam("dialout");
        if (::geteuid() != 0 || !dialout) {
            QSKIP("needs root (to hand the device to a group) and a dialout group");
        }
        const auto asNobody = [this](const QStringList& arguments, QByteArray& err) {
            QProcess process;
            process.start(QStringLiteral("runuser"),
                          QStringList{"-u", "nobody", "--", QStringLiteral(TMS370_TOOL)} +
                              arguments);
            QByteArray out;
            return Finish(process, out, err);
        };
        QByteArray err;
        if (asNobody({"--version"}, err) != 0) { // a build in a private folder, for one
            QSKIP(qPrintable("nobody cannot run the tool from here: " + err.trimmed()));
        }
        AdapterTool locked;
        const QString port = locked.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        const QByteArray path = QFile::encodeName(port);
        for (const auto& [group, mode, words] :
             {std::tuple{dialout->gr_gid, 0660,
                         port + " belongs to the group dialout; add yourself with:\n    sudo "
                                "usermod -aG dialout $USER\n"},
              std::tuple{gid_t(0), 0600, "Only its owner root may open " + port + ". Ask an "}}) {
            QVERIFY(::chown(path.constData(), 0, group) == 0 &&
                    ::chmod(path.constData(), mode) == 0);
            err.clear();
            QCOMPARE(asNobody({"erase", "-p", port, "-d", "y"}, err), 3);
            QVERIFY2(err.contains(words.toLocal8Bit()), err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(CliEndToEnd)
#include "tst_cli_e2e.moc"
