#include "AdapterTool.h"
#include "ImageFiles.h"
#include "ToolRun.h"
#include "core/ImageFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

// tms370 as a script runs it: own process, adapter tool on a pseudo-terminal, real clock. (Its
// verified PROGRAM runs in the production line's test.)
class CliEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    AdapterTool tool;
    QString device;

    QString Path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() {
        WriteFile(Path("eeprom.bin"), Pattern(256, 1) + Pattern(256, 2));
        device = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--eeprom", Path("eeprom.bin")});
        QVERIFY(device.startsWith(QLatin1Char('/')));
    }

    // The output file as the tool's own process meets it: read-only, or on a full disk.
    void outputFiles() {
        const std::tuple<int, bool, int, int, QByteArray> rows[] = {
            // mode, --force, size limit
            {0444, false, 0, 4, "out.bin is read-only and was kept as it was; give --force"},
            {0444, true, 0, 0, ""},
            {0640, false, 100, 4, "out.bin: File too large"}};
        for (const auto& [mode, force, sizeLimit, code, words] : rows) {
            const QString path = Path("out.bin");
            QFile::setPermissions(path, QFile::WriteOwner | QFile::ReadOwner);
            WriteFile(path, "old");
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
            QStringList arguments{"read", "-p", device, "-d", "y", "-q", "--fast", "-o", path};
            ToolRun run(force ? arguments << "--force" : arguments, {}, [limit = sizeLimit] {
                if (limit > 0) {
                    std::signal(SIGXFSZ, SIG_IGN);
                    const rlimit fsize{rlim_t(limit), RLIM_INFINITY};
                    ::setrlimit(RLIMIT_FSIZE, &fsize);
                }
            });
            QCOMPARE(run.Finish(), code);
            QVERIFY2(run.err.contains(words) && !run.err.contains("Unknown error"),
                     run.err.constData());
            struct stat st {};
            QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
            QCOMPARE(int(st.st_mode & 07777), mode);
            const QByteArray content = ReadFile(path);
            QVERIFY(code == 0 ? content.size() == 256 : content == "old");
        }
    }

    void secondProcessAndCtrlCInProgram() {
        WriteFile(Path("image.bin"), Pattern(256, 9));
        ToolRun program(
            {"program", "-p", device, "-d", "y", "--no-verify", "-i", Path("image.bin")});
        QVERIFY(program.WaitFor("sending 256 bytes"));

        // The port is taken: the second run is turned away before it sends anything.
        ToolRun second({"read", "-p", device, "-d", "y", "-o", Path("second.bin")});
        QCOMPARE(second.Finish(), 3);
        QVERIFY2(second.err.contains("port busy"), second.err.constData());
        QVERIFY(!QFile::exists(Path("second.bin")));

        // Stopped in the settle wait: the adapter has the whole block and is ready again.
        QVERIFY(program.WaitFor("waiting 11.7 s"));
        ::kill(pid_t(program.process.processId()), SIGINT);
        QVERIFY(program.WaitFor("Press Ctrl+C again"));
        QCOMPARE(program.process.state(), QProcess::Running);
        ::kill(pid_t(program.process.processId()), SIGINT);
        QElapsedTimer stopping;
        stopping.start();
        QCOMPARE(program.Finish(), 130);
        QVERIFY(stopping.elapsed() < 2000); // not after the 11.7 s settle wait
        QVERIFY2(program.err.contains("the chip's contents are now unknown"),
                 program.err.constData());
    }

    // The adapter goes away while the chip settles, when nothing is on the wire: the run
    // must not pass for a good one.
    void adapterGoneInTheSettleWait() {
        AdapterTool lost;
        const QString port = lost.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        QVERIFY(port.startsWith(QLatin1Char('/')));
        WriteFile(Path("image.bin"), Pattern(256, 4));
        ToolRun program({"program", "-p", port, "-d", "y", "--no-verify", "-i", Path("image.bin")});
        QVERIFY(program.WaitFor("waiting 11.7 s"));
        lost.Stop();
        QCOMPARE(program.Finish(), 3);
        QVERIFY2(program.err.contains("went away") && program.err.contains("partly written"),
                 program.err.constData());
        QVERIFY(program.out.isEmpty());
    }

    // A device the user may not open names who may, and the command to join only where
    // joining the group opens it.
    void deviceOfAnotherGroup() {
        const struct group* dialout = ::getgrnam("dialout");
        if (::geteuid() != 0 || !dialout) {
            QSKIP("needs root (to hand the device to a group) and a dialout group");
        }
        const auto asNobody = [](const QStringList& arguments) {
            QProcess process;
            process.start("runuser", QStringList{"-u", "nobody", "--", TMS370_TOOL} + arguments);
            process.waitForFinished(60000);
            return std::pair{process.exitCode(), process.readAllStandardError()};
        };
        if (const auto [code, err] = asNobody({"--version"}); code != 0) { // a private build
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
            const auto [code, err] = asNobody({"erase", "-p", port, "-d", "y"});
            QCOMPARE(code, 3);
            QVERIFY2(err.contains(words.toLocal8Bit()), err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(CliEndToEnd)
#include "tst_cli_e2e.moc"
