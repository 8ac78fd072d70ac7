// A block written by our Intel HEX and S-record writers and read back by our readers must
// come back whole, at its address. Now and then (one input in 256, chosen by its bytes, so a
// finding replays; every input when TMS370_FUZZ_SREC_CAT=all) srec_cat, where it is
// installed, reads the same text and must agree.
#include "FuzzSupport.h"
#include "formats/IntelHex.h"
#include "formats/RecordReader.h"
#include "formats/SRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>

namespace {

// The data the record reader hands on from text, when every record follows the one before
// it from address on; none when the text is refused or leaves a gap.
std::optional<QByteArray> ReadBack(const QByteArray& text, core::ImageFormat format,
                                   quint32 address) {
    QByteArray bytes;
    bool inOrder = true;
    core::RecordReader reader(format, [&](quint32 at, const QByteArray& data, qint64) {
        inOrder = at == address + quint32(bytes.size());
        bytes += data;
        return inOrder;
    });
    const bool read = reader.Feed(text.constData(), text.size()) && reader.Finish();
    return read && inOrder ? std::optional<QByteArray>(bytes) : std::nullopt;
}

// What srec_cat makes of text (Intel HEX or S-records) as the bytes from address on. (Its
// -crop cannot name the end of a block that ends at 4 GiB; the text holds only the block.)
QByteArray SrecCat(const QString& program, const QByteArray& text, bool intel, quint32 address) {
    const QString in = fuzz::ScratchPath(QStringLiteral("roundtrip.txt"));
    const QString out = fuzz::ScratchPath(QStringLiteral("roundtrip.bin"));
    fuzz::WriteFile(in, text);
    QFile::remove(out);
    QProcess process;
    process.start(program, {in, intel ? QStringLiteral("-intel") : QStringLiteral("-motorola"),
                            QStringLiteral("-offset"), QStringLiteral("-%1").arg(address),
                            QStringLiteral("-o"), out, QStringLiteral("-binary")});
    const bool finished = process.waitForFinished(10000);
    if (!finished || process.exitCode() != 0) {
        std::fprintf(stderr, "%s\n%s\n", text.constData(),
                     process.readAllStandardError().constData());
        fuzz::Check(false, "srec_cat reads what our writer wrote");
    }
    QFile file(out);
    fuzz::Check(file.open(QIODevice::ReadOnly), "srec_cat wrote its output");
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    quint32 address = 0;
    for (int i = 0; i < 4; ++i) {
        address = address << 8 | input.Byte();
    }
    const int recordBytes = 1 + input.Below(64);
    const QByteArray header = QByteArray(input.Below(16), 'H');
    const QByteArray block = input.Rest();
    // The formats address 4 GiB: a block that would run past it has no text.
    if (block.isEmpty() || quint64(address) + quint64(block.size()) > 0x100000000ULL) {
        return 0;
    }
    const QByteArray hex = core::WriteIntelHex(block, address, recordBytes);
    fuzz::Check(ReadBack(hex, core::ImageFormat::IntelHex, address) == block,
                "our reader takes our Intel HEX, and it gives the block back");
    fuzz::Check(core::IsIntelHexText(hex), "our Intel HEX is recognised as Intel HEX");
    const QByteArray srec = core::WriteSRecord(block, address, header, recordBytes);
    fuzz::Check(ReadBack(srec, core::ImageFormat::SRecord, address) == block,
                "our reader takes our S-records, and they give the block back");

    static const QString srecCat = QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QCryptographicHash::Sha1);
    static const bool always = qgetenv("TMS370_FUZZ_SREC_CAT") == "all";
    if (!srecCat.isEmpty() && (always || static_cast<unsigned char>(digest[0]) == 0)) {
        fuzz::Check(SrecCat(srecCat, hex, true, address) == block,
                    "srec_cat reads our Intel HEX as the block");
        fuzz::Check(SrecCat(srecCat, srec, false, address) == block,
                    "srec_cat reads our S-records as the block");
    }
    return 0;
}
