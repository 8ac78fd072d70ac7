#pragma once

#include "AdapterLink.h"
#include "DeviceCatalogue.h"
#include "Outcome.h"
#include "Progress.h"
#include "StopRequest.h"
#include "formats/ImageFormat.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {
class Clock;
} // namespace platform

namespace core {

class PortControl;

// The image PROGRAM sends.
struct ImageSource {
    explicit ImageSource(QString path_ = QString(), std::optional<QByteArray> block_ = std::nullopt)
        : path(std::move(path_)), block(std::move(block_)) {}

    QString path; // the file it comes from, as messages name it
    // The bytes to send; without them `path` is read as a raw image file.
    std::optional<QByteArray> block;
    // Set when the file cannot be programmed (records that are malformed or lie outside the
    // block): the operation is abandoned before "c" and fails with these words.
    QString refusal;
};

struct OperationOptions {
    // READ and VERIFY take the adapter's bytes as they arrive instead of one per 75 ms.
    bool fastReceive = false;
    // READ: the format the target file is written in (by default the one its name calls for),
    // and the device an S-record header names.
    std::optional<ImageFormat> targetFormat;
    QString deviceName;
};

// What an operation asks of its front end while it runs. Each call comes at a fixed point of
// the wire sequence, so however long the answer takes, the bytes on the wire and their order
// stay the same.
class OperationObserver {
public:
    virtual ~OperationObserver() = default;

    // At every change of phase, every byte received or sent and every settle step.
    virtual void OnProgress(const Progress&) {}
    // READ, after the command letter: the file the block goes to. Nothing cancels (the
    // adapter is told "e"); an empty path keeps the block in the outcome only.
    virtual std::optional<QString> ChooseReadTarget() { return QString(); }
    // PROGRAM, after the command letter: the image to send. Nothing cancels ("e").
    virtual std::optional<ImageSource> ChooseProgramSource() { return std::nullopt; }
    // PROGRAM, before "c": the image is not one block long. True sends one block anyway (a
    // short image ends in FFh, a longer one is cut); false cancels ("e").
    virtual bool AcceptImageSize(const QString& /*path*/, qint64 /*size*/, int /*blockSize*/) {
        return true;
    }
    // READ, once the file is chosen: it is read-only (its owner's write bit is clear). True
    // replaces it, keeping its mode; false keeps it as it was and cancels ("e"), as does a
    // front end that does not answer.
    virtual bool ReplaceReadOnly(const QString& /*path*/) { return false; }
    // READ, when fewer bytes than a block arrived into a file that existed: true replaces it
    // with the bytes received, false keeps it as it was.
    virtual bool ReplaceWithShortRead(const QString& /*path*/, int /*received*/,
                                      int /*blockSize*/) {
        return false;
    }
};

// The five operations on the chip's data EEPROM over one serial port. Each runs to its end
// and returns what happened; it shows nothing. The port is closed again on every way out.
class Operations {
public:
    Operations(PortControl& port, platform::Clock& clock);
    ~Operations();

    Outcome Run(Operation operation, const Family& family, OperationObserver& observer,
                const OperationOptions& options = {});

    // Reads the chip back into memory and compares it with expected on the host: Done when
    // every byte matches, Mismatch with the differences otherwise.
    Outcome VerifyAgainst(const Family& family, const QByteArray& expected,
                          OperationObserver& observer, const OperationOptions& options = {});

    bool Running() const { return running_; }
    // Made while an operation runs; cleared when the next one starts.
    StopRequest& Stop() { return stop_; }

private:
    struct Run_;
    void Read(Run_& run);
    void Program(Run_& run);
    void Verify(Run_& run);
    void OneCommand(Run_& run, char letter);

    PortControl& port_;
    platform::Clock& clock_;
    StopRequest stop_;
    bool running_ = false;
};

} // namespace core
