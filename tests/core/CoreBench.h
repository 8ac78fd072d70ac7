#pragma once

#include "FailingTransport.h"
#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "core/Operations.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>

using adaptersim::AdapterModel;
using adaptersim::Direction;
using adaptersim::WireByte;

// A front end that answers from a script and records what it was told.
struct ScriptedObserver : core::OperationObserver {
    std::optional<QString> readTarget = QString();
    std::optional<core::ImageSource> programSource;
    bool acceptSize = true;
    bool replaceShort = false;
    bool replaceReadOnly = false;
    QList<core::Progress> progress;
    QStringList asked; // "size", "short", "read-only" in the order asked
    std::function<void(const core::Progress&)> onProgress;
    std::function<void()> whileAsked; // runs inside every question, as a box left open would

    void OnProgress(const core::Progress& p) override {
        progress << p;
        if (onProgress) {
            onProgress(p);
        }
    }
    std::optional<QString> ChooseReadTarget() override { return readTarget; }
    std::optional<core::ImageSource> ChooseProgramSource() override { return programSource; }
    bool AcceptImageSize(const QString&, qint64, int) override {
        Ask("size");
        return acceptSize;
    }
    bool ReplaceReadOnly(const QString&) override {
        Ask("read-only");
        return replaceReadOnly;
    }
    bool ReplaceWithShortRead(const QString&, int, int) override {
        Ask("short");
        return replaceShort;
    }
    void Ask(const QString& what) {
        asked << what;
        if (whileAsked) {
            whileAsked();
        }
    }
};

// The operations core on the simulated adapter in virtual time.
struct CoreBench {
    FakeClock clock;
    AdapterModel model;
    PortFaults failing;
    core::PortControl port{SimulatedLine(clock, model, failing)};
    core::Operations operations{port, clock};
    ScriptedObserver observer;
    QTemporaryDir files;

    CoreBench() {
        port.SetDevice(QStringLiteral("sim"));
        port.SetInBufferSize(512);
        port.SetInputLen(1);
    }

    static const core::Family& Family(char code) {
        return *core::FindFamily(QString(QChar::fromLatin1(code)));
    }

    core::Outcome Run(core::Operation operation, char family, bool fast = false) {
        model.ClearWireLog();
        core::OperationOptions options;
        options.fastReceive = fast;
        return operations.Run(operation, Family(family), observer, options);
    }

    QString Path(const QString& name) const { return files.filePath(name); }
    QByteArray Sent() const { return model.WireBytes(Direction::ToAdapter); }
    std::vector<WireByte> SentLog() const { return model.WireLog(Direction::ToAdapter); }
};
