// A block written by our Intel HEX and S-record writers and read back by our readers must
// come back whole, at its address. Now and then (one input in 256, chosen by its bytes, so a
// finding replays; every input when TMS370_FUZZ_SREC_CAT=all) srec_cat, where it is
// installed, reads the same text and must agree.
#include "FuzzSupport.h"
#include "formats/ImageRecords.h"
#include "formats/IntelHex.h"
#include "formats/SRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>

namespace {

// The records' bytes laid out from address on; none when they leave a gap, overlap or stray.
std::optional<QByteArray> Assemble(const QList<core::DataRecord>& records, quint32 address,
                                   qsizetype size) {
    QByteArray block(size, '\0');
    qsizetype next = 0;
    for (const core::DataRecord& record : records) {
        if (record.address != quint32(address + quint32(next)) ||
            next + record.bytes.size() > size) {
            return std::nullopt;
        }
        block.replace(next, record.bytes.size(), record.bytes);
        next += record.bytes.size();
    }
    return next == size ? std::optional<QByteArray>(block) : std::nullopt;
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitQt();
    return 0;
}

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
    QString error;
    const QByteArray hex = core::WriteIntelHex(block, address, recordBytes);
    const auto hexRecords = core::ParseIntelHex(hex, &error);
    fuzz::Check(hexRecords.has_value(), "our reader takes what our Intel HEX writer wrote");
    fuzz::Check(Assemble(*hexRecords, address, block.size()) == block,
                "Intel HEX gives the block back");
    fuzz::Check(core::IsIntelHexText(hex), "our Intel HEX is recognised as Intel HEX");

    const QByteArray srec = core::WriteSRecord(block, address, header, recordBytes);
    const auto srecRecords = core::ParseSRecord(srec, &error);
    fuzz::Check(srecRecords.has_value(), "our reader takes what our S-record writer wrote");
    fuzz::Check(Assemble(*srecRecords, address, block.size()) == block,
                "S-records give the block back");

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
