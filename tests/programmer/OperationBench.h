#pragma once

#include "FailingTransport.h"
#include "ImageFiles.h"
#include "TestServices.h"
#include "adaptersim/AdapterModel.h"
#include "programmer/Form3.h"
#include "programmer/frmMain.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <array>

using adaptersim::AdapterModel;
using adaptersim::Direction;
using adaptersim::WireByte;

// The main window on the simulated adapter in virtual time, with a port chosen.
struct OperationBench {
    TestServices t;
    AdapterModel model;
    PortFaults failing; // nothing fails until told to
    core::PortControl port{SimulatedLine(t.clock, model, failing)};
    QTemporaryDir files;
    QStringList calls;
    QStringList ends; // what the program says on stderr as it ends
    std::unique_ptr<frmMain> w;

    OperationBench() {
        t.services.port = &port;
        frmMain::Links links;
        links.endProgram = [this] { calls << "endProgram"; };
        links.reportEnd = [this](const QString& line) { ends << line; };
        w = std::make_unique<frmMain>(t.services, links);
        w->show();
        w->mnuComm[1]->trigger(); // Comm2, tested for DSR
        model.ClearWireLog();
    }

    void Choose(const char* itemName) {
        w->findChild<QAction*>(QLatin1String(itemName))->trigger();
    }

    QString Path(const QString& name) const { return files.filePath(name); }
    QPushButton* Button(int n) const { // 1 READ .. 5 BULK ERASE
        return std::array{w->Command1, w->Command2, w->Command3, w->Command4, w->Command5}[n - 1];
    }
    // Every Port Number item enabled (or not) and checked (or not).
    bool PortItems(bool enabled, bool checked) const {
        return std::all_of(w->mnuComm.begin(), w->mnuComm.end(), [&](QAction* item) {
            return item->isEnabled() == enabled && item->isChecked() == checked;
        });
    }

    QByteArray Sent() const { return model.WireBytes(Direction::ToAdapter); }
    std::vector<WireByte> SentLog() const { return model.WireLog(Direction::ToAdapter); }

    // The main window is back and usable, the Working window gone, the port closed.
    bool Settled() const {
        return w->isVisible() && !w->WorkingWindow() && !port.PortOpen() && !w->OperationRunning();
    }
};
