#include "OperationBench.h"
#include "core/ImageFile.h"
#include "platform/MessageBoxes.h"

#include <QAccessible>
#include <QLabel>
#include <QMenuBar>
#include <QtTest>

using namespace platform::MsgStyle;
using platform::MsgAnswer::Cancel;
using platform::MsgAnswer::No;
using platform::MsgAnswer::OK;
using platform::MsgAnswer::Yes;

namespace {

const core::Family& Y() {
    return *core::FindFamily(QStringLiteral("y"));
}

QByteArray Encoded(const QByteArray& block, core::ImageFormat format) {
    return core::EncodeImage(block, format, Y(), QStringLiteral("TMS370C758A"));
}

} // namespace

// Image formats, the refusable size warning, the Port Number menu after failures, the status
// bar and the compare against a file, as the main window runs them.
class WindowResultsTest : public QObject {
    Q_OBJECT

private slots:
    // What PROGRAM sends for each kind of file, and what it asks first.
    // What PROGRAM sends for each kind of file (after "yp"), and what it asks first ("" none).
    void programTakesImagesOfEveryFormat() {
        const QByteArray block = Pattern(256, 9);
        const QByteArray ihex = Encoded(block, core::ImageFormat::IntelHex);
        const QByteArray srec = Encoded(block, core::ImageFormat::SRecord);
        const QString sizeWarning = "Warning: uploading buffer size <> 256 bytes!\nf.bin is ";
        const QByteArray e("e");
        // clang-format off
        const std::tuple<QString, QByteArray, QList<int>, QByteArray, QString> rows[] = {
            {"f.ihx", ihex, QList<int>{}, "c" + block, ""},
            {"f.s19", srec, QList<int>{}, "c" + block, ""},
            {"f.hex", ihex, QList<int>{Yes}, "c" + block, "f.hex holds Intel HEX records, not raw bytes. Program the data they describe?"},
            {"f.hex", ihex, QList<int>{No}, e, "f.hex holds Intel HEX"},
            {"f.bin", srec, QList<int>{Yes}, "c" + block, "f.bin holds S-records"},
            {"f.hex", block, QList<int>{}, "c" + block, ""},
            {"f.ihx", QByteArray(":021F0000ABCD67\n:021F0200ABCD00\n:00000001FF\n"), QList<int>{}, e, "The image file \"%P\" cannot be programmed: line 2: checksum error"},
            {"f.bin", Pattern(100), QList<int>{OK}, "c" + Pattern(100) + QByteArray(156, '\xFF'), sizeWarning + "100 bytes; the TMS370C758A block is 256 bytes. The rest is filled with FFh."},
            {"f.bin", Pattern(300), QList<int>{Cancel}, e, sizeWarning + "300 bytes; the TMS370C758A block is 256 bytes. The bytes past the first 256 are not sent."},
        };
        // clang-format on
        for (auto [name, content, answers, sent, question] : rows) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            b.w->mnuVerifyAfterProgram->trigger(); // checked against what was decoded
            const QString path = b.Path(name);
            WriteFile(path, content);
            b.t.dialogs.answers << path;
            b.t.messages.answers = answers;
            b.w->Command2->click();
            QCOMPARE(b.Sent().left(2 + sent.size()), "yp" + sent);
            question.replace(QLatin1String("%P"), path);
            if (question.isEmpty()) {
                QVERIFY(b.t.messages.shown.size() <= 1);
            } else {
                QVERIFY2(b.t.messages.shown[0].prompt.startsWith(question),
                         qPrintable(b.t.messages.shown[0].prompt));
            }
            if (sent.startsWith('c')) { // a success asks for no click
                QVERIFY(b.t.messages.shown.size() == (question.isEmpty() ? 0 : 1));
                QVERIFY2(b.w->lblResult->text().contains(" and verified"),
                         qPrintable(b.w->lblResult->text()));
                QCOMPARE(b.model.LastProgrammed(), sent.mid(1).left(256));
            } else {
                QVERIFY(b.model.LastProgrammed().isEmpty()); // the chip was never told to start
            }
            QVERIFY(b.Settled());
        }
    }

    // Every failure of the port or the adapter gives the Port Number menu back; the device
    // stays chosen and another port can be picked. (button, fault): 0 silent, 1 stops after 40, 2
    // read fails, 3 write fails, 4 adapter gone in the settle wait; -1 a file error, which keeps
    // the port.
    void portMenuIsFreeAfterAFailure() {
        for (const auto& [button, fault] :
             {std::pair{1, 0}, {1, 1}, {1, 2}, {3, 0}, {3, 1}, {2, 3}, {2, 4}, {1, -1}}) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            QVERIFY(!b.PortItems(true, false));
            WriteFile(b.Path("p.bin"), Pattern(256));
            b.t.dialogs.answers << b.Path(button == 2 ? "p.bin"
                                          : fault < 0 ? "no/such/r.bin"
                                                      : "r.bin");
            b.model.Faults().silent = fault == 0;
            b.model.Faults().stopAfter = fault == 1 ? 40 : -1;
            b.failing.failOnRead = fault == 2 ? b.failing.reads + 10 : -1;
            b.model.Faults().msPerByte = fault == 2 ? 150 : 0; // the block still coming
            b.failing.failOnWrite = fault == 3 ? b.failing.writes + 20 : -1;
            b.failing.vanished = fault == 4;
            b.Button(button)->click();
            QVERIFY(!b.t.messages.shown.isEmpty());
            if (fault < 0) {
                QVERIFY(b.w->mnuComm[1]->isChecked() && !b.PortItems(true, false));
                continue;
            }
            if (fault == 4) { // nothing failed on the wire, and yet the run is no success
                QVERIFY2(b.t.messages.shown[0].prompt.contains("went away") &&
                             b.t.messages.shown[0].prompt.contains("partly written"),
                         qPrintable(b.t.messages.shown[0].prompt));
            }
            QVERIFY(b.PortItems(true, false));
            b.failing.vanished = false;
            QVERIFY(b.Settled());
            QCOMPARE(b.w->DeviceCode(), QStringLiteral("y"));
            QVERIFY(b.w->mnuDevice->menuAction()->isEnabled());
            b.failing.failOnRead = b.failing.failOnWrite = -1;
            b.w->mnuComm[2]->trigger(); // the advice can be followed: another port
            QVERIFY(b.w->mnuComm[2]->isChecked() && !b.w->mnuComm[2]->isEnabled());
        }
    }

    // The status bar says how each operation ended, without a box on success.
    void statusBarSaysWhatHappened() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        b.model.SetEeprom(QByteArray(256, 0) + Pattern(256, 3));
        const auto run = [&](QPushButton* button, const QString& path = QString()) {
            if (!path.isEmpty()) {
                b.t.dialogs.answers << path;
            }
            button->click();
            return b.w->lblResult->text();
        };
        // An S-record image at the EEPROM's addresses, its header naming the device.
        QString line = run(b.w->Command1, b.Path("chip.s19"));
        QVERIFY2(line.startsWith("READ: 256 bytes from TMS370C758A saved to chip.s19 (S-records), "
                                 "CRC-32 78825239, sum 7F80h, "),
                 qPrintable(line));
        const QByteArray written = ReadFile(b.Path("chip.s19"));
        QVERIFY(written.startsWith("S0" + QByteArray("0E0000") +
                                   QByteArray("TMS370C758A").toHex().toUpper()));
        QString why;
        QCOMPARE(core::DecodeRecords(written, core::ImageFormat::SRecord, Y(), &why),
                 std::optional<QByteArray>(Pattern(256, 3)));

        WriteFile(b.Path("p.bin"), Pattern(256));
        line = run(b.w->Command2, b.Path("p.bin"));
        QVERIFY2(line.startsWith("PROGRAM: p.bin sent to TMS370C758A; not read back (Verify After "
                                 "Program is off), CRC-32 1A5C07A3, sum 7F80h"),
                 qPrintable(line));
        QVERIFY(run(b.w->Command5).startsWith("BULK ERASE sent (the adapter does not confirm it)"));
        QVERIFY(run(b.w->Command4).startsWith("CLEAR WPO sent (the adapter does not confirm it)"));
        QVERIFY(b.t.messages.shown.isEmpty());

        b.t.clock.Schedule(b.t.clock.NowMs() + 3000,
                           [&] { b.w->WorkingWindow()->cmdCancel->click(); });
        QVERIFY(run(b.w->Command1, b.Path("chip.s19"))
                    .startsWith("READ cancelled; chip.s19 was kept as it was"));
        // A screen reader reads the result itself.
        QCOMPARE(QAccessible::queryAccessibleInterface(b.w->lblResult)->text(QAccessible::Name),
                 b.w->lblResult->text());
        const QStringList history = b.w->lblResult->toolTip().split('\n');
        QCOMPARE(history.size(), 5);
        QVERIFY(history[0].startsWith("READ cancelled") && history[4].startsWith("READ: 256"));
    }

    // The window is as wide as its menus need: none hides behind the menu bar's "more".
    void everyMenuIsInSight() {
        OperationBench b;
        QMenuBar* bar = b.w->menuBar();
        QVERIFY(bar->actions().size() >= 5);
        for (QAction* menu : bar->actions()) {
            const QRect place = bar->actionGeometry(menu);
            QVERIFY2(!place.isEmpty() && bar->rect().contains(place), qPrintable(menu->text()));
        }
    }

    // Closed while PROGRAM reads the chip back: no question (nothing is being written), and
    // the end says what state the chip is in.
    void closedDuringTheReadBack() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        b.w->mnuVerifyAfterProgram->trigger();
        WriteFile(b.Path("p.bin"), Pattern(256));
        b.t.dialogs.answers << b.Path("p.bin");
        // 11.7 s of settling after 0.6 s of data, then the read-back.
        b.t.clock.Schedule(b.t.clock.NowMs() + 14000, [&] { b.w->close(); });
        b.w->Command2->click();
        QVERIFY(b.t.messages.shown.isEmpty());
        QCOMPARE(b.calls, QStringList{"endProgram"});
        QCOMPARE(b.ends, QStringList{"PROGRAM stopped during its read-back: the chip was "
                                     "programmed but is not verified."});
    }

    void verifyAgainstAFile() {
        const QByteArray chip = Pattern(256, 3);
        QByteArray other = chip;
        other[0x25] = char(0xC3);
        const std::tuple<QString, QByteArray, QString, int> rows[] = {
            // "" no box
            {"f.ihx", Encoded(chip, core::ImageFormat::IntelHex), "", 0},
            {"f.hex", Encoded(chip, core::ImageFormat::IntelHex),
             "f.hex holds Intel HEX records, not raw bytes. Compare with the data they describe?",
             Question | YesNo},
            {"f.bin", other, "Verify ERROR at 1F25h: expected C3h, found 06h (1 byte differs).",
             Exclamation},
            {"f.bin", Pattern(300),
             "The image file \"%P\" cannot be compared with the chip: it is 300 bytes long, the "
             "block is 256 bytes.",
             Exclamation}};
        for (auto [name, content, message, style] : rows) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            b.model.SetEeprom(QByteArray(256, 0) + chip);
            const QString path = b.Path(name);
            WriteFile(path, content);
            b.t.dialogs.answers << path;
            bool overWorking = false; // a box over the Working window, its Cancel still live
            b.t.messages.onShow = [&](const auto&) {
                overWorking |= b.w->WorkingWindow() != nullptr;
            };
            b.w->mnuVerifyAgainstFile->trigger();
            QCOMPARE(b.t.messages.shown.size(), message.isEmpty() ? 0 : 1);
            if (message.isEmpty()) {
                QVERIFY2(b.w->lblResult->text().startsWith(
                             "VERIFY: TMS370C758A matches f.ihx (256 bytes)"),
                         qPrintable(b.w->lblResult->text()));
            } else {
                QCOMPARE(b.t.messages.shown[0].prompt, message.replace(QLatin1String("%P"), path));
                QCOMPARE(b.t.messages.shown[0].style, style);
            }
            QVERIFY(!overWorking && b.Settled());
        }
    }
};

QTEST_MAIN(WindowResultsTest)
#include "tst_window_results.moc"
