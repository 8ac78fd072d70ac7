#include "EditSession.h"
#include "ImageCompare.h"
#include "LateProgress.h"
#include "core/FileErrors.h"
#include "core/RegularFile.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <functional>

using platform::RuntimeError;
using Tone = EditorObserver::Tone;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("EditSession", text);
}

QString HexByte(unsigned char value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

// ---- Compare ----

void EditSession::DropCompare() {
    compared_.close();
    comparedLength_ = 0;
    if (!comparedImagePath_.isEmpty()) {
        QFile::remove(comparedImagePath_);
        comparedImagePath_.clear();
    }
    comparedPath_.clear();
}

bool EditSession::CompareWith(const QString& path) {
    if (!Loaded()) {
        return false;
    }
    CompletePending();
    DropCompare();
    // Another program may be writing the file meanwhile: what it held at the start is
    // compared, and a change by the end makes the result void.
    const EditorDocument::FileStamp before = EditorDocument::StampOf(path);
    QFile theirs;
    const QString why = core::OpenRegularFile(theirs, path);
    if (!why.isEmpty()) {
        observer_.Tell(Tr("Cannot open \"%1\": %2.").arg(path, why), Tone::Warning);
        return false;
    }
    // A records file is compared by the image its records describe, from its first address.
    QString theirName = QFileInfo(path).fileName();
    qint64 theirBase = 0;
    const core::ImageFormat format = core::ImageFormatOfPath(path);
    if (format != core::ImageFormat::Raw) {
        WorkImage decoded(document_.Image().Path() + QStringLiteral(".compare"));
        // Opened again by its name, which the records' messages give.
        QFile named(path);
        if (!named.open(QIODevice::ReadOnly) ||
            !document_.Run(document_.OpeningCaption(), true,
                           [&](const ByteEdits::Progress& progress) {
                               theirBase = decoded.LoadRecords(named, format, progress).base;
                           })) {
            return false;
        }
        decoded.Close();
        comparedImagePath_ = decoded.Path();
        theirs.close();
        theirs.setFileName(comparedImagePath_);
        if (!theirs.open(QIODevice::ReadOnly)) {
            observer_.Tell(
                Tr("Cannot read \"%1\": %2").arg(comparedImagePath_, theirs.errorString()),
                Tone::Warning);
            DropCompare();
            return false;
        }
    }
    QFile ours(document_.Image().Path());
    if (!ours.open(QIODevice::ReadOnly)) {
        observer_.Tell(Tr("Cannot read the working copy \"%1\": %2")
                           .arg(document_.Image().Path(), core::FileErrorReason(ours)),
                       Tone::Warning);
        DropCompare();
        return false;
    }
    constexpr int Shown = 5;
    ImageCompare::Result result;
    if (!document_.Run(Tr("Comparing... (Esc or Stop ends the comparison)"), true,
                       [&](const ByteEdits::Progress& progress) {
                           result = ImageCompare::Compare(ours, theirs, Shown, progress);
                       })) {
        DropCompare();
        return false;
    }
    if (const EditorDocument::FileStamp after = EditorDocument::StampOf(path); !(after == before)) {
        DropCompare();
        const QString changed =
            after.size != before.size
                ? Tr("\"%1\" changed while it was being compared: it held %2 bytes at the start "
                     "and holds %3 now.")
                      .arg(path)
                      .arg(before.size)
                      .arg(after.size)
                : Tr("\"%1\" was written to while it was being compared.").arg(path);
        observer_.Tell(changed + QLatin1Char(' ') +
                           Tr("Another program is changing it: compare again once it has "
                              "finished."),
                       Tone::Warning);
        return false;
    }
    comparedPath_ = path;
    compared_.setFileName(comparedImagePath_.isEmpty() ? path : comparedImagePath_);
    if (compared_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        comparedLength_ = std::min(result.ourLength, result.theirLength);
    }
    const QString ourName = QFileInfo(document_.SourceName()).fileName();
    QString message;
    if (result.differing == 0 && result.ourLength == result.theirLength) {
        message =
            Tr("%1 and %2 hold the same %3 bytes.").arg(ourName, theirName).arg(result.ourLength);
    } else {
        const qint64 common = std::min(result.ourLength, result.theirLength);
        message = Tr("%1 bytes differ between %2 and %3 in the %4 bytes both have.")
                      .arg(result.differing)
                      .arg(ourName, theirName)
                      .arg(common);
        if (result.ourLength != result.theirLength) {
            message += QLatin1Char(' ') + Tr("%1 is %2 bytes, %3 is %4 bytes.")
                                              .arg(ourName)
                                              .arg(result.ourLength)
                                              .arg(theirName)
                                              .arg(result.theirLength);
        }
        if (theirBase != document_.Base()) {
            message += QLatin1Char(' ') + Tr("%1 starts at %2, %3 at %4: each was compared from "
                                             "its first byte.")
                                              .arg(ourName, document_.OffsetText(document_.Base()),
                                                   theirName, document_.OffsetText(theirBase));
        }
        if (!result.first.isEmpty()) {
            message += QLatin1Char('\n') + (result.differing > result.first.size()
                                                ? Tr("The first differences:")
                                                : Tr("The differences:"));
            for (const ImageCompare::Difference& d : result.first) {
                message += QLatin1Char('\n') +
                           Tr("%1: %2h here, %3h in %4")
                               .arg(document_.OffsetText(document_.OffsetOf(d.offset + 1)),
                                    HexByte(d.ours), HexByte(d.theirs), theirName);
            }
        }
        if (result.differing > 0) {
            message += QLatin1Char('\n') + Tr("F6 and Shift+F6 go to the next and the previous.");
        }
    }
    observer_.Tell(message, Tone::Information);
    if (!result.first.isEmpty()) {
        ShowFound(result.first.front().offset + 1);
    }
    return true;
}

qint64 EditSession::ReadCompared(qint64 position, char* data, qint64 size) {
    const qint64 offset = position - 1;
    if (!compared_.isOpen() || offset >= comparedLength_ || !compared_.seek(offset)) {
        return 0;
    }
    return std::max<qint64>(0, compared_.read(data, std::min(size, comparedLength_ - offset)));
}

bool EditSession::NextDifference(bool forward) {
    if (!Loaded() || comparedPath_.isEmpty()) {
        return false;
    }
    CompletePending();
    QFile ours(document_.Image().Path());
    QFile theirs(comparedImagePath_.isEmpty() ? comparedPath_ : comparedImagePath_);
    if (!ours.open(QIODevice::ReadOnly) || !theirs.open(QIODevice::ReadOnly)) {
        observer_.Tell(Tr("Cannot read \"%1\" to compare: %2")
                           .arg(theirs.fileName(), core::FileErrorReason(theirs)),
                       Tone::Warning);
        return false;
    }
    std::optional<qint64> found;
    const qint64 from = view_.position - 1;
    try {
        LateProgress progress(observer_, Tr("Comparing... (Esc or Stop ends the comparison)"));
        found = ImageCompare::NextDifference(ours, theirs, from, forward, std::ref(progress));
    } catch (const RuntimeError& error) {
        document_.Fail(error);
    }
    if (!found) {
        observer_.Tell((forward ? Tr("No byte differs from %1 after offset %2.")
                                : Tr("No byte differs from %1 before offset %2."))
                           .arg(QFileInfo(comparedPath_).fileName(),
                                document_.OffsetText(document_.OffsetOf(view_.position))),
                       Tone::Information);
        return false;
    }
    ShowFound(*found + 1);
    return true;
}
