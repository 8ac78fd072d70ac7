#include "OperationBench.h"
#include "production/Journal.h"
#include "programmer/ProductionDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

// The window's Production menu: Serial Numbers... numbers each chip PROGRAM writes, every
// operation goes to the journal, Journal... shows and exports it.
class ProductionWindowTest : public QObject {
    Q_OBJECT

    // Serial numbers on, through the dialog, with the journal in the bench's folder.
    static void NumberChips(OperationBench& b, const QString& field = "1FFCh:4:be") {
        SerialNumbersDialog dialog(b.t.settings, b.t.dialogs);
        const QStringList parts = field.split(':');
        dialog.chkSerial->setChecked(true);
        dialog.txtAddress->setText(parts[0]);
        dialog.spnBytes->setValue(parts[1].toInt());
        dialog.cboFormat->setCurrentIndex(dialog.cboFormat->findData(parts[2]));
        dialog.txtStart->setText("1040");
        dialog.txtJournal->setText(b.Path("journal.db"));
        QVERIFY2(dialog.Save(), qPrintable(dialog.lblStatus->text()));
    }

    static QString Program(OperationBench& b, const QString& path) {
        b.t.dialogs.answers << path;
        b.w->Command2->click();
        return b.w->lblResult->text();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void dialogRefusesWhatCannotBeWritten() {
        const std::tuple<QString, int, QString, QString, QString> rows[] = {
            {"1FFC", 4, "", "j.db", "'1FFC' is no address"},
            {"1FFFh", 1, "256", "j.db", "256 does not fit 1 bytes as be (at most 255)"},
            {"1FFCh", 4, "12a", "j.db", "not '12a'"},
            {"1FFCh", 4, "1", "", "need a journal"}};
        for (const auto& [address, bytes, start, journal, why] : rows) {
            OperationBench b;
            SerialNumbersDialog dialog(b.t.settings, b.t.dialogs);
            dialog.chkSerial->setChecked(true);
            dialog.txtAddress->setText(address);
            dialog.spnBytes->setValue(bytes);
            dialog.txtStart->setText(start);
            dialog.txtJournal->setText(journal);
            QVERIFY(!dialog.Save());
            QVERIFY2(dialog.lblStatus->text().contains(why), qPrintable(dialog.lblStatus->text()));
            QCOMPARE(b.t.settings.GetSetting("Production", "Serial"), QString());
        }
    }

    // Two chips, the second spoiled: each is read back though Verify After Program is off,
    // and the window shows each result large (what becomes of the numbers is the production
    // run's test).
    void programNumbersEachChip() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        NumberChips(b);
        SerialNumbersDialog again(b.t.settings, b.t.dialogs); // the fields come back as saved
        QCOMPARE(again.txtAddress->text(), "1FFCh");
        QCOMPARE(again.txtStart->text(), "1040");
        again.Test();
        QCOMPARE(again.lblStatus->text(),
                 "Journal reached. Series 'default' is new: its first PROGRAM begins it at "
                 "Start.");

        WriteFile(b.Path("p.bin"), Pattern(256));
        QString line = Program(b, b.Path("p.bin"));
        QVERIFY2(line.startsWith("PROGRAM: serial 1040 verified (00000410h at 1FFCh), p.bin into "
                                 "TMS370C758A, CRC-32 "),
                 qPrintable(line));
        QCOMPARE(b.model.Block('y'), Pattern(252) + QByteArray::fromHex("00000410"));
        QVERIFY(b.Sent().endsWith("yrc")); // read back
        // Each chip's result large in the window, without a click.
        QVERIFY(b.t.messages.shown.isEmpty() && b.w->lblChipResult->isVisible());
        QCOMPARE(b.w->lblChipResult->text(), "PASS serial 1040");

        b.model.Faults().spoiledPrograms = {2};
        bool overWorking = false;
        b.t.messages.onShow = [&](const auto&) { overWorking |= b.w->WorkingWindow() != nullptr; };
        line = Program(b, b.Path("p.bin"));
        QVERIFY2(line.contains("; serial 1041 given back"), qPrintable(line));
        QCOMPARE(b.w->lblChipResult->text(), "FAIL \u2014 serial 1041 given back");
        QVERIFY(!overWorking && !b.t.messages.shown.isEmpty());
        b.t.dialogs.answers << b.Path("r.bin");
        b.w->Command1->click(); // READ
        b.w->Command1->click(); // READ, cancelled at its file dialog: a row all the same
        QVERIFY(b.Settled());

        // An existing series' numbers come from the journal as the dialog opens.
        b.t.settings.SaveSetting("Production", "SerialStart", "");
        SerialNumbersDialog shown(b.t.settings, b.t.dialogs);
        QCOMPARE(
            QStringList({shown.txtStart->text(), shown.txtStep->text(), shown.txtLast->text()}),
            QStringList({"1040", "1", ""}));
        QVERIFY(shown.lblStatus->text().startsWith("Journal reached. Series 'default': next 1041"));
        shown.show(); // the journal's field shows its hint whole, its label's key reaches it
        QVERIFY(shown.txtJournal->width() > shown.txtJournal->fontMetrics().horizontalAdvance(
                                                shown.txtJournal->placeholderText()));
        const QList<QLabel*> labels = shown.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
            return label->text() == "&Journal:" && label->buddy() == shown.txtJournal;
        }));
        b.t.dialogs.answers << b.Path("other.db");
        shown.cmdBrowse->click();
        QCOMPARE(shown.txtJournal->text(), b.Path("other.db"));

        JournalView view(b.t.settings, b.t.dialogs);
        QCOMPARE(view.tblJournal->rowCount(), 4);
        const auto cell = [&](int row, int column) {
            return view.tblJournal->item(row, column)->text();
        };
        // Newest first: operation, image, result, CRC-32.
        QCOMPARE(QStringList({cell(0, 4), cell(0, 5), cell(0, 8), cell(0, 9)}),
                 QStringList({"READ", "", "cancelled", ""}));
        QCOMPARE(QStringList({cell(1, 4), cell(1, 5), cell(1, 8)}),
                 QStringList({"READ", b.Path("r.bin"), "ok"}));
        QCOMPARE(cell(1, 9), cell(2, 9)); // the chip holds what the read-back found
        QCOMPARE(QStringList({cell(2, 2), cell(2, 4), cell(2, 7)}),
                 QStringList({"Comm2", "PROGRAM", "1041"}));
        view.cboResult->setCurrentText("mismatch");
        QCOMPARE(view.tblJournal->rowCount(), 1);
        QCOMPARE(view.tblJournal->item(0, 7)->text(), "1041");
        view.cboResult->setCurrentIndex(0);
        view.cboSeries->setCurrentText("default");
        QCOMPARE(view.tblJournal->rowCount(), 2);
        QCOMPARE(view.lblStatus->text(), "2 of 4 rows");

        b.t.dialogs.answers << b.Path("journal.csv");
        view.Export();
        const QList<QByteArray> csv = ReadFile(b.Path("journal.csv")).split('\n');
        QCOMPARE(csv.size(), 4); // the header, two rows, the last line's end
        QVERIFY(csv[0].startsWith("time,bench,port,device,chip,operation,image,image_sha256,"
                                  "series,serial,result,crc32,"));
        QVERIFY(csv[1].contains(",default,1041,mismatch,"));
    }

    // Before anything is sent: a field outside the chosen chip's EEPROM, a journal out of reach.
    void refusedBeforeAnythingIsSent() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        NumberChips(b, "1EFEh:2:be"); // in a 512-byte part's EEPROM, not in this one's
        WriteFile(b.Path("p.bin"), Pattern(256));
        Program(b, b.Path("p.bin"));
        QVERIFY2(b.t.messages.shown.last().prompt.contains("lies outside the EEPROM"),
                 qPrintable(b.t.messages.shown.last().prompt));
        QVERIFY(b.Sent().isEmpty());
        QVERIFY(b.Settled());

        // A short image is asked about before the number is patched into it.
        NumberChips(b);
        b.t.dialogs.answers.clear(); // the refused run never asked for its file
        WriteFile(b.Path("short.bin"), Pattern(100));
        Program(b, b.Path("short.bin"));
        QVERIFY2(b.t.messages.shown.last().prompt.startsWith(
                     "Warning: uploading buffer size <> 256 bytes!\nshort.bin is 100 bytes"),
                 qPrintable(b.t.messages.shown.last().prompt));
        QVERIFY(!b.Sent().contains('c') && b.Settled()); // Cancel, the safe answer
        b.model.ClearWireLog();

        b.t.settings.SaveSetting("Production", "Journal", b.Path("no/such/folder/j.db"));
        b.t.messages.shown.clear();
        b.w->Command3->click(); // VERIFY
        QVERIFY(b.t.messages.shown.last().prompt.startsWith("The journal cannot be reached"));
        QVERIFY(b.Sent().isEmpty());
    }

    void menuOpensTheDialogs() {
        OperationBench b;
        for (QAction* item : {b.w->mnuSerialNumbers, b.w->mnuJournal}) {
            QTimer::singleShot(0, [] {
                QWidget* dialog = QApplication::activeModalWidget();
                QVERIFY(dialog);
                dialog->close();
            });
            item->trigger();
        }
    }
};

QTEST_MAIN(ProductionWindowTest)
#include "tst_production_window.moc"
