#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QtDebug>

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

    // Reads stderr until it holds words; the run goes on.
    bool WaitFor(const QByteArray& words) {
        QDeadlineTimer deadline(20000);
        while (!err.contains(words) && !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            err += process.readAllStandardError();
        }
        return err.contains(words);
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
