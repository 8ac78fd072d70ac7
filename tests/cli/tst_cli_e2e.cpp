#include "AdapterTool.h"
#include "ImageFiles.h"
#include "PostgresServer.h"
#include "Ser2net.h"

#include "core/Checksums.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

// One tms370 process: what it says, and how it ends (its exit code, -1 when killed).
struct ToolRun {
    QProcess process;
    QByteArray out, err;
    int code = -1;

    explicit ToolRun(const QStringList& arguments, const QStringList& environment = {}) {
        QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
        for (const QString& pair : environment) {
            all.insert(pair.section('=', 0, 0), pair.section('=', 1));
        }
        process.setProcessEnvironment(all);
        process.start(QStringLiteral(TMS370_TOOL), arguments);
        process.waitForStarted(5000);
    }

    // Reads until what it said holds words; the run goes on.
    bool WaitFor(const QByteArray& words, int ms = 20000) {
        QDeadlineTimer deadline(ms);
        while (!(out + err).contains(words) && !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
            err += process.readAllStandardError();
        }
        return (out + err).contains(words);
    }

    int Finish() {
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        qInfo().noquote() << code << out.trimmed() << err.trimmed().split('\n').last();
        return code;
    }
};

// tms370 processes on the real clock: the adapter tool on a pseudo-terminal, directly or behind
// ser2net (raw, RFC 2217), and misbehaving servers. (What transports carry: their contract.)
class CliEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    AdapterTool tool, rawAdapter, rfcAdapter;
    QString device;
    Ser2net ser2net;

    QString Path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() {
        WriteFile(Path("eeprom.bin"), Pattern(256, 1) + Pattern(256, 2));
        device = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--eeprom", Path("eeprom.bin")});
        QVERIFY(device.startsWith(QLatin1Char('/')));
        if (Ser2net::Installed()) {
            // Replies 10 ms apart: a READ is still under way when its server is stopped.
            const QString rawTty =
                rawAdapter.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--slow", "10"});
            const QString rfcTty =
                rfcAdapter.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--log", Path("rfc.log")});
            QVERIFY(rawTty.startsWith('/') && rfcTty.startsWith('/'));
            QVERIFY(ser2net.Start(dir.path(), rawTty, rfcTty));
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
        ::kill(pid_t(program.process.processId()), SIGINT);
        QElapsedTimer stopping;
        stopping.start();
        QCOMPARE(program.Finish(), 130);
        QVERIFY(stopping.elapsed() < 2000); // not after the 11.7 s settle wait
        QVERIFY2(program.err.contains("the chip's contents are now unknown"),
                 program.err.constData());
    }

    // What a program wrapping the tool meets: an image through pipes, the bash completion's
    // answers, and the README's Python wrapper as it stands.
    void wrappers() {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i) {
            bytes += char(i); // every byte value, \0, \n and \r among them
        }
        ToolRun program(
            {"program", "-p", device, "-d", "y", "--fast", "-i", "-", "--format", "json"});
        program.process.write(bytes);
        program.process.closeWriteChannel();
        QCOMPARE(program.Finish(), 0);
        QCOMPARE(QJsonDocument::fromJson(program.out)["crc32"],
                 QString::number(core::Crc32(bytes), 16).toUpper());
        const auto shell = [this](const QString& script) {
            QProcess bash;
            bash.setWorkingDirectory(dir.path());
            bash.start("bash", {"-c", script, TMS370_TOOL});
            bash.waitForFinished(30000);
            return bash.readAllStandardOutput();
        };
        const QString toBinary = " | srec_cat - -intel -offset -0x1F00 -o - -binary";
        QCOMPARE(shell("\"$0\" read -p " + device + " -d y -q --fast -f ihex -o -" + toBinary),
                 bytes);
        WriteFile(Path("a.S19"), "");
        WriteFile(Path("a.txt"), "");
        const QByteArray answers = shell(
            "source <(\"$0\" completion bash) || exit; complete -p tms370 >/dev/null || exit;"
            "c() { COMP_WORDS=(tms370 \"$@\"); COMP_CWORD=$#; _tms370; echo \"${COMPREPLY[*]}\"; };"
            "c re; c read -d TMS370CX5; c verify -i a.; c program --format ''");
        QCOMPARE(answers, "read\nTMS370CX56A TMS370CX58A\na.S19\nraw ihex srec text json\n");
        for (const QString other : {"zsh", "fish"}) {
            if (QStandardPaths::findExecutable(other).isEmpty()) {
                qInfo("%s is not installed: its script's syntax is not checked", qPrintable(other));
                continue;
            }
            QCOMPARE(shell("\"$0\" completion " + other + " > s && " + other + " -n s && echo ok"),
                     "ok\n");
        }

        const QByteArray readme = ReadFile(README_PATH);
        const qsizetype from =
            readme.indexOf("```python\n", readme.indexOf("### For wrapper authors"));
        const QByteArray example =
            readme.mid(from + 10, readme.indexOf("```", from + 10) - from - 10);
        QProcess python;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", QFileInfo(TMS370_TOOL).path() + ":" + environment.value("PATH"));
        python.setProcessEnvironment(environment);
        python.setWorkingDirectory(dir.path());
        python.start("python3", {"-c", example});
        QVERIFY(python.waitForFinished(30000));
        QVERIFY2(python.exitCode() == 0 &&
                     python.readAllStandardOutput().startsWith("\nok: READ: 512 bytes"),
                 python.readAllStandardError().constData());
    }

    // The adapter goes away while the chip settles: the run must not pass for a good one.
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

    // A numbered PROGRAM, the journal's server frozen as the chip settles: a signal ends the wait
    // at once, the result is told and kept; then a verified PROGRAM on the thawed server.
    void journalOnAFrozenServer() {
        PostgresServer server;
        if (const QString why = server.Start(); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        WriteFile(Path("image.bin"), Pattern(256, 6));
        const QStringList environment{"XDG_DATA_HOME=" + Path("data"),
                                      QStringLiteral("PGPASSWORD=") + PostgresServer::Password};
        const QStringList program =
            QString("program -p %1 -d TMS370CX58A --fast -i %2 --journal %3 --serial 1FFEh:2 "
                    "--serial-start 1 --store-timeout 600")
                .arg(device, Path("image.bin"), server.Url())
                .split(' ');
        ToolRun frozen(program, environment);
        QVERIFY(frozen.WaitFor("waiting 11.7 s"));
        server.Freeze(true);
        auto thaw = qScopeGuard([&] { server.Freeze(false); });
        QVERIFY(frozen.WaitFor("Programmed and verified"));
        QTest::qWait(300); // into the wait for the server
        ::kill(pid_t(frozen.process.processId()), SIGTERM);
        QCOMPARE(frozen.Finish(), 6);
        QVERIFY2(frozen.err.contains("a signal ended the wait for the journal's server). It is "
                                     "kept in " +
                                     Path("data").toUtf8()),
                 frozen.err.constData());
        thaw.dismiss();
        server.Freeze(false);
        ToolRun next(program, environment); // the kept result reaches the journal first
        QCOMPARE(next.Finish(), 0);
        QVERIFY(next.out.startsWith("Programmed and verified TMS370C758A, serial 2 ("));

        // A session of chips on one connection; Ctrl+C at a prompt ends it, its summary told,
        // with nothing held and the port let go.
        ToolRun session(program + QStringList{"--repeat"}, environment);
        QVERIFY(session.WaitFor("Insert the next chip"));
        session.process.write("\n");
        QDeadlineTimer until(40000);
        while (session.err.count("Insert the next chip") < 2 && !until.hasExpired()) {
            session.WaitFor("never said", 100);
        }
        ::kill(pid_t(session.process.processId()), SIGINT);
        QCOMPARE(session.Finish(), 130);
        QVERIFY2(session.out.endsWith("Session: 2 chips, 2 verified (serials 3 to 4), 0 same, 0 "
                                      "failed, 0 numbers given back\n"),
                 session.out.constData());
        QCOMPARE(QDir::temp().entryList({"tms370-*" + QFileInfo(device).fileName() + ".lock"}),
                 QStringList());
        ToolRun summary({"journal", "--journal", server.Url(), "--summary"}, environment);
        QCOMPARE(summary.Finish(), 0);
        QVERIFY2(summary.out.simplified().endsWith("default 1 1 - 5 4 0 0 0"),
                 summary.out.constData());
    }

    // A device the user may not open: who may, and the command to join where a group may.
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

    // Port errors, never a hang or a crash; nothing reaches the adapter behind a refused port.
    void refusalsAndMisbehavingServers() {
        if (!Ser2net::Installed()) {
            QSKIP("ser2net is not installed (scripts/setup installs it)");
        }
        QTcpServer silent, endless; // silent: the system accepts for it, and nothing is said
        silent.listen(QHostAddress::LocalHost, 0);
        endless.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&endless, &QTcpServer::newConnection, [&endless] {
            QTcpSocket* client = endless.nextPendingConnection();
            client->write(QByteArray("\xff\xfd\x2c\xff\xfa\x2c", 6)); // never ended
            QObject::connect(client, &QTcpSocket::bytesWritten,
                             [client] { client->write(QByteArray(4096, 'x')); });
        });
        // clang-format off
        const std::tuple<QString, int, QByteArray> rows[] = { // -1: any ending but a crash or hang
        // %R raw, %F RFC 2217, %C closed, %S silent, %E endless
        {"rfc2217://127.0.0.1:%F", 3, "Error Comm: Check Port Number/Cable/Turn ON Power Supply\ntms370: A terminal server in front of a pseudo-terminal reports every line low: rfc2217://127.0.0.1:"},
        {"net:127.0.0.1:%C", 3, "the connection was refused"},
        {"net:no-such-host.invalid:23", 3, "cannot connect"},
        {"rfc2217://127.0.0.1:%R", 3, "does not speak RFC 2217"},
        {"net:127.0.0.1:%F", 3, "this port speaks RFC 2217: use rfc2217://"},
        {"net:127.0.0.1:%S", 2, "no answer"},
        {"rfc2217://127.0.0.1:%S?dsr=ignore", 3, "does not speak RFC 2217"},
        {"rfc2217://127.0.0.1:%E?dsr=ignore", 3, "subnegotiation of more than"},
        {"net:127.0.0.1:%E", -1, "READ"},
        };
        // clang-format on
        for (auto [port, code, words] : rows) {
            port.replace("%R", QString::number(ser2net.rawPort))
                .replace("%F", QString::number(ser2net.rfcPort))
                .replace("%C", QString::number(FreePort()))
                .replace("%S", QString::number(silent.serverPort()))
                .replace("%E", QString::number(endless.serverPort()));
            const QByteArray heard = ReadFile(Path("rfc.log"));
            QElapsedTimer took;
            took.start();
            ToolRun run({"read", "-p", port, "-d", "y", "--fast", "-o", Path("read.bin")});
            QTRY_VERIFY_WITH_TIMEOUT(run.process.state() == QProcess::NotRunning, 20000);
            QVERIFY2(run.Finish() >= 0 && took.elapsed() < 10000, qPrintable(port));
            QVERIFY2(code < 0 || run.code == code, qPrintable(port));
            QVERIFY2(run.err.contains(words), run.err.constData());
            QCOMPARE(ReadFile(Path("rfc.log")), heard); // nothing reached the adapter
        }
    }

    // The terminal server goes away in the middle of a READ: a port error, the old file kept.
    void serverStoppedMidRead() {
        if (!Ser2net::Installed()) {
            QSKIP("ser2net is not installed (scripts/setup installs it)");
        }
        WriteFile(Path("old.bin"), "old");
        ToolRun run({"read", "-p", ser2net.Raw(), "-d", "y", "-o", Path("old.bin")});
        run.process.setReadChannel(QProcess::StandardError);
        run.process.waitForReadyRead(5000);
        QTest::qWait(1500);
        ser2net.process.kill();
        ser2net.process.waitForFinished(3000);
        QCOMPARE(run.Finish(), 3);
        QVERIFY2(run.err.contains("closed the connection"), run.err.constData());
        QCOMPARE(ReadFile(Path("old.bin")), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(CliEndToEnd)
#include "tst_cli_e2e.moc"
