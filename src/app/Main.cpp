#include "Main.h"

#include "SignalGuard.h"
#include "about/frmAbout.h"
#include "common/Module1.h"
#include "core/DeviceCatalogue.h"
#include "editor/frmEditor.h"
#include "platform/RuntimeError.h"
#include "programmer/frmMain.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

// A line for the terminal the program was started from.
void Say(const QString& line) {
    QTextStream(stderr) << "tms370prog: " << line << '\n';
}

} // namespace

Program::Program()
    : messages_(Module1::ProgramTitle),
      places_(Module1::ProgramPlacesOf(QCoreApplication::applicationDirPath(), settings_)),
      factory_(clock_),
      port_(factory_.AsOpener()), services_{clock_, messages_, dialogs_, settings_, &port_} {
    frmMain::Links links;
    links.showAbout = [this] { ShowAbout(); };
    links.showMemory = [this] { ShowMemory(); };
    links.closeAllFiles = [this] {
        if (editor_) {
            editor_->CloseAllFiles();
        }
    };
    links.unloadOthers = [this] { UnloadOthers(); };
    links.mayClose = [this] { return MayClose(); };
    links.reportEnd = Say;
    links.endProgram = [this] { EndProgram(); };
    main_ = std::make_unique<frmMain>(services_, std::move(links));
    signals_ = std::make_unique<SignalGuard>([this](int signal) { EndOnSignal(signal); });
}

Program::~Program() {
    UnloadOthers();
    // What follows (the library's own clean-up, a sanitizer's leak check) may take its time.
    SignalGuard::CancelBackstop();
}

void Program::ShowAbout() {
    about_ = new frmAbout(Module1::ProgramTitle, core::FeaturesText(), [this] {
        main_->show();
        main_->activateWindow();
    });
    Module1::CenterForm(about_);
    about_->show();
}

void Program::ShowMemory() {
    // A fresh editor every time; one that Done has left behind may still await deletion.
    if (editor_) {
        if (editor_->Busy()) {
            editor_->deleteLater(); // never under one of its own routines
        } else {
            delete editor_.data();
        }
    }
    editor_ = new frmEditor(services_, places_, [this] {
        main_->show();
        main_->activateWindow();
    });
    editor_->show();
    editor_->OfferKeptChanges();
}

void Program::UnloadOthers() {
    if (about_) {
        delete about_.data();
    }
    if (editor_) {
        if (editor_->Busy()) {
            // Still inside its copy loop: that ends at its next step, then the editor goes.
            editor_->CloseAllFiles();
            editor_->deleteLater();
        } else {
            delete editor_.data();
        }
    }
}

bool Program::MayClose() {
    // The editor's unsaved edits are settled as Done settles them; Cancel keeps all open.
    return !editor_ || editor_->SettleBeforeEnd();
}

void Program::EndOnSignal(int signal) {
    exitStatus_ = 128 + signal;
    Say(SignalGuard::Name(signal) + QStringLiteral(" received: ending."));
    // Nobody is asked: edits not yet written back are kept beside the working image.
    if (editor_) {
        try {
            if (const std::optional<QString> kept = editor_->KeepUnsavedChanges()) {
                Say(QStringLiteral("the unsaved changes of %1 are kept in %2; the editor offers "
                                   "them at its next start.")
                        .arg(editor_->SourceFileName(), *kept));
            }
        } catch (const platform::RuntimeError& error) {
            // Nothing is lost for it: the working image stays where it is.
            main_->KeepWorkImage();
            Say(QStringLiteral("error %1: %2; they stay in %3.")
                    .arg(error.Number())
                    .arg(error.Description(), Module1::WorkImagePath()));
        }
    }
    main_->Unload();
}

void Program::EndProgram() {
    // Not quit(): that first asks every window to close and gives up when one refuses, as
    // the Working window does while the adapter works, and nobody asks again. exit() ends
    // the event loop once the operation under way has returned to it.
    QCoreApplication::exit(exitStatus_);
    SignalGuard::EndWithin(EndWithinMs, exitStatus_);
}

namespace Module1 {

void Main(Program& program) {
    CenterForm(&program.MainWindow());
    program.MainWindow().show();
}

} // namespace Module1
