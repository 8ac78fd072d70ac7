#pragma once

#include "common/Module1.h"
#include "core/PortControl.h"

#include "platform/QtClock.h"
#include "platform/QtFileDialogs.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"
#include "transport/PortFactory.h"

#include <QPointer>
#include <memory>

class frmMain;
class SignalGuard;
class frmAbout;
class frmEditor;
class QWidget;

// The running program: the Qt platform services and the windows, wired together.
class Program {
public:
    Program();
    ~Program();

    frmMain& MainWindow() { return *main_; }

    // How long the end may take before the backstop ends the process.
    static constexpr int EndWithinMs = 1500;

private:
    void ShowAbout();
    void ShowMemory();
    void UnloadOthers();
    bool MayClose();
    void EndOnSignal(int signal);
    void EndProgram();

    platform::QtClock clock_;
    platform::QtMessageBoxes messages_;
    platform::QtFileDialogs dialogs_;
    platform::QtSettingsStore settings_;
    Module1::ProgramPlaces places_;
    transport::PortFactory factory_; // "sim" attaches a simulated adapter of its own
    core::PortControl port_;
    platform::Services services_;
    std::unique_ptr<frmMain> main_;
    std::unique_ptr<SignalGuard> signals_;
    QPointer<frmAbout> about_;
    QPointer<frmEditor> editor_;
    int exitStatus_ = 0; // 128 + the signal's number when a signal ends the program
};

namespace Module1 {
// The program's entry: program-wide values from the settings, then the main window.
void Main(Program& program);
} // namespace Module1
