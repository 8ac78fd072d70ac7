#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The adapter simulator tool on a pseudo-terminal, for runs through the real serial port.
class AdapterTool {
public:
    ~AdapterTool() { Stop(); }

    // Starts the tool with its options; returns the terminal's path, or "" on failure.
    QString Start(const QString& program, const QStringList& options) {
        Stop();
        process_.start(program, options);
        if (!process_.waitForStarted(5000)) {
            return QString();
        }
        while (!process_.canReadLine() && process_.waitForReadyRead(5000)) {
        }
        return process_.canReadLine() ? QString::fromLocal8Bit(process_.readLine()).trimmed()
                                      : QString();
    }

    void Stop() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    QProcess process_;
};
