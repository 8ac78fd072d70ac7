#include "DeviceOperations.h"

#include "AdapterLink.h"
#include "OperationHost.h"
#include "OperationMessages.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/SerialPort.h"
#include "platform/Services.h"

#include <QFile>
#include <QSaveFile>

using namespace OperationMessages;
using platform::MsgStyle::Critical;
using platform::MsgStyle::Exclamation;
using platform::MsgStyle::Information;

namespace {

constexpr float ReadSettleMs = 10;
constexpr float ProgramSettleMs = 40;
constexpr float FirstByteWaitMs = 200;
constexpr float OneCommandWaitMs = 500;
constexpr unsigned char MismatchMark = 101;
constexpr unsigned char ErasedByte = 0xFF;

// An image file that could not be opened, read or written.
struct FileError {
    QString path;
    QString reason;
    bool writing;
};

platform::FileDialogOptions ImageDialog(bool save) {
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("*.bin files|*.bin|*.hex files|*.hex");
    options.defaultExt = QStringLiteral("bin");
    options.fileMustExist = !save;
    options.confirmOverwrite = save;
    return options;
}

} // namespace

DeviceOperations::DeviceOperations(platform::Services& services, OperationHost& host)
    : services_(services), host_(host) {}

DeviceOperations::~DeviceOperations() = default;

bool DeviceOperations::Begin(const QString& deviceCode, bool refuseFamilyT) {
    if (running_) {
        return false;
    }
    if (deviceCode.isEmpty()) {
        services_.messages.MsgBox(SelectDevice, Exclamation);
        return false;
    }
    if (refuseFamilyT && deviceCode == QLatin1String("t")) {
        services_.messages.MsgBox(NotSupported, Exclamation);
        return false;
    }
    if (!services_.port) {
        services_.messages.MsgBox(CheckPort, Critical);
        return false;
    }
    running_ = true;
    abort_ = false;
    working_ = false;
    link_ = std::make_unique<AdapterLink>(*services_.port, services_.clock, abort_);
    return true;
}

void DeviceOperations::CleanUp() {
    if (file_) {
        if (auto* save = dynamic_cast<QSaveFile*>(file_.get())) {
            save->cancelWriting(); // an existing file keeps its old contents
        }
        file_.reset();
    }
    if (services_.port && services_.port->PortOpen()) {
        try {
            services_.port->SetPortOpen(false);
        } catch (const platform::RuntimeError&) {
            // The port is already failing; what matters now is the first error.
        }
    }
    if (working_) {
        working_ = false;
        if (abort_) {
            host_.CloseWorking();
        } else {
            host_.EndWorking();
        }
    }
    link_.reset();
    running_ = false;
}

void DeviceOperations::Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const FileError& error) {
        FileFailed(error.path, error.reason, error.writing);
    } catch (const platform::RuntimeError& error) {
        OperationErrorHandler(error);
    } catch (const OperationAborted&) {
        CleanUp();
    }
}

void DeviceOperations::ReturnToMain() {
    working_ = false;
    host_.EndWorking();
}

void DeviceOperations::Done() {
    running_ = false;
    link_.reset();
}

void DeviceOperations::OperationErrorHandler(const platform::RuntimeError& error) {
    CleanUp();
    if (error.Number() == platform::ErrorNumber::IllegalCall) {
        services_.messages.MsgBox(RestartProgram, Critical);
    } else {
        host_.SerialErrors(error);
    }
}

void DeviceOperations::FileFailed(const QString& path, const QString& reason, bool writing) {
    CleanUp();
    const QString prompt =
        writing ? QStringLiteral("Could not write the image file \"%1\": %2\n"
                                 "Check that the folder exists and that you may write there, "
                                 "then try again.")
                : QStringLiteral("Could not read the image file \"%1\": %2\n"
                                 "Check that the file exists and that you may read it, "
                                 "then try again.");
    services_.messages.MsgBox(prompt.arg(path, reason), Exclamation);
}

// ---- READ ----

void DeviceOperations::Read(const QString& deviceCode) {
    if (!Begin(deviceCode, false)) {
        return;
    }
    Guarded([&] {
        link_->OpenLink(deviceCode, 'r');
        const std::optional<QString> path = services_.dialogs.ShowSave(ImageDialog(true));
        if (!path) {
            link_->AbandonLink();
            CleanUp();
            return;
        }
        link_->StartDataPhase(ReadSettleMs);
        host_.ShowWorking();
        working_ = true;

        const int n = BlockSize(deviceCode);
        // The new image goes to a file beside the old one and replaces it only when the
        // read is over, so a failed read never leaves a half-written image behind.
        auto save = std::make_unique<QSaveFile>(*path);
        if (!save->open(QIODevice::WriteOnly)) {
            throw FileError{*path, save->errorString(), true};
        }
        file_ = std::move(save);
        link_->Wait(FirstByteWaitMs);
        const int received = link_->ReceiveBlock(n, [this, &path](int, unsigned char byte) {
            const char c = static_cast<char>(byte);
            if (file_->write(&c, 1) != 1) {
                throw FileError{*path, file_->errorString(), true};
            }
            return true;
        });

        auto* image = static_cast<QSaveFile*>(file_.get());
        if (received == 0) {
            image->cancelWriting(); // nothing read: the file stays as it was
        } else if (!image->commit()) {
            throw FileError{*path, image->errorString(), true};
        }
        file_.reset();
        link_->CloseLink();
        ReturnToMain();
        Done();

        if (received == 0) {
            services_.messages.MsgBox(CheckPort, Critical);
        } else if (received < n) {
            services_.messages.MsgBox(
                QStringLiteral("Only %1 of %2 bytes were received from the adapter. The file "
                               "\"%3\" holds the %1 bytes received.\nCheck the adapter and "
                               "its power supply, then read again.")
                    .arg(received)
                    .arg(n)
                    .arg(*path),
                Exclamation);
        }
    });
}

// ---- PROGRAM ----

void DeviceOperations::Program(const QString& deviceCode) {
    if (!Begin(deviceCode, false)) {
        return;
    }
    Guarded([&] {
        link_->OpenLink(deviceCode, 'p');
        const std::optional<QString> path = services_.dialogs.ShowOpen(ImageDialog(false));
        if (!path) {
            link_->AbandonLink();
            CleanUp();
            return;
        }
        {
            // The file must be there before the adapter is told to start.
            QFile probe(*path);
            if (!probe.open(QIODevice::ReadOnly)) {
                const QString reason = probe.errorString();
                link_->AbandonLink();
                FileFailed(*path, reason, false);
                return;
            }
        }
        link_->StartDataPhase(ProgramSettleMs);
        host_.ShowWorking();
        working_ = true;

        const int n = BlockSize(deviceCode);
        auto image = std::make_unique<QFile>(*path);
        if (!image->open(QIODevice::ReadOnly)) {
            throw FileError{*path, image->errorString(), false};
        }
        file_ = std::move(image);
        if (file_->size() != n) {
            services_.messages.MsgBox(n == 512 ? SizeWarning512 : SizeWarning256, Exclamation);
        }
        QByteArray block = file_->read(n);
        if (block.size() < n && file_->error() != QFileDevice::NoError) {
            throw FileError{*path, file_->errorString(), false};
        }
        // A short file is completed with the erased value.
        block.append(n - block.size(), static_cast<char>(ErasedByte));
        for (char byte : block) {
            link_->SendDataByte(static_cast<unsigned char>(byte));
        }
        file_.reset();
        link_->ProgramSettle(n);
        link_->CloseLink();
        ReturnToMain();
        Done();
    });
}

// ---- VERIFY ----

void DeviceOperations::Verify(const QString& deviceCode) {
    if (!Begin(deviceCode, true)) {
        return;
    }
    Guarded([&] {
        bool mismatch = false;
        link_->OpenLink(deviceCode, 'v');
        link_->StartDataPhase(ReadSettleMs);
        host_.ShowWorking();
        working_ = true;
        const int n = BlockSize(deviceCode);
        link_->Wait(FirstByteWaitMs);
        const int received = link_->ReceiveBlock(n, [&mismatch](int, unsigned char byte) {
            if (byte == MismatchMark) {
                mismatch = true;
                return false;
            }
            return true;
        });
        link_->CloseLink();
        // The result is shown while the Working window is still up.
        if (received == 0) {
            services_.messages.MsgBox(CheckPort, Critical);
        } else if (mismatch) {
            services_.messages.MsgBox(VerifyError, Exclamation);
        } else {
            services_.messages.MsgBox(VerifyOK, Information);
        }
        ReturnToMain();
        Done();
    });
}

// ---- CLEAR WPO and BULK ERASE ----

void DeviceOperations::ClearWpo(const QString& deviceCode) {
    OneCommand(deviceCode, 'w');
}

void DeviceOperations::BulkErase(const QString& deviceCode) {
    OneCommand(deviceCode, 'b');
}

void DeviceOperations::OneCommand(const QString& deviceCode, char command) {
    if (!Begin(deviceCode, true)) {
        return;
    }
    Guarded([&] {
        link_->OpenLink(deviceCode, command);
        host_.ShowWorking();
        working_ = true;
        link_->Wait(OneCommandWaitMs);
        // Unlike the data operations, the windows swap back before the port closes.
        ReturnToMain();
        link_->CloseLink();
        Done();
    });
}
