#include "ProductionDialogs.h"

#include "platform/FileDialogs.h"
#include "platform/SettingsStore.h"
#include "production/ProductionSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Number(const std::optional<qint64>& n) {
    return n ? QString::number(*n) : QString();
}

const QStringList Results = {"ok", "mismatch", "no answer", "short", "port error", "cancelled"};

} // namespace

// ---- Serial Numbers ----

SerialNumbersDialog::SerialNumbersDialog(platform::SettingsStore& settings,
                                         platform::FileDialogs& dialogs, QWidget* parent)
    : QDialog(parent), settings_(settings), dialogs_(dialogs) {
    setObjectName(QStringLiteral("SerialNumbersDialog"));
    setWindowTitle(QStringLiteral("Serial Numbers"));
    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    chkSerial = static_cast<QCheckBox*>(
        named(new QCheckBox(QStringLiteral("&Number each chip PROGRAM writes")), "chkSerial"));
    txtAddress = static_cast<QLineEdit*>(named(new QLineEdit, "txtAddress"));
    txtAddress->setPlaceholderText(QStringLiteral("1FFCh or 0x1FFC"));
    spnBytes = static_cast<QSpinBox*>(named(new QSpinBox, "spnBytes"));
    spnBytes->setRange(1, 8);
    cboFormat = static_cast<QComboBox*>(named(new QComboBox, "cboFormat"));
    cboFormat->addItem(QStringLiteral("be: most significant byte first"), QStringLiteral("be"));
    cboFormat->addItem(QStringLiteral("le: least significant byte first"), QStringLiteral("le"));
    cboFormat->addItem(QStringLiteral("bcd: packed BCD"), QStringLiteral("bcd"));
    cboFormat->addItem(QStringLiteral("ascii: decimal digits"), QStringLiteral("ascii"));
    txtSeries = static_cast<QLineEdit*>(named(new QLineEdit, "txtSeries"));
    txtStart = static_cast<QLineEdit*>(named(new QLineEdit, "txtStart"));
    txtStart->setPlaceholderText(QStringLiteral("a new series' first number"));
    txtStep = static_cast<QLineEdit*>(named(new QLineEdit, "txtStep"));
    txtStep->setPlaceholderText(QStringLiteral("1"));
    txtLast = static_cast<QLineEdit*>(named(new QLineEdit, "txtLast"));
    txtLast->setPlaceholderText(QStringLiteral("none"));
    txtJournal = static_cast<QLineEdit*>(named(new QLineEdit, "txtJournal"));
    txtJournal->setPlaceholderText(QStringLiteral("a file, or postgresql://USER@HOST[:PORT]/DB"));
    // Wide enough for its own hint.
    txtJournal->setMinimumWidth(
        txtJournal->fontMetrics().horizontalAdvance(txtJournal->placeholderText()) +
        txtJournal->fontMetrics().averageCharWidth() * 4);
    cmdBrowse = static_cast<QPushButton*>(
        named(new QPushButton(QStringLiteral("Br&owse\u2026")), "cmdBrowse"));
    auto* cmdTest =
        static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("&Test")), "cmdTest"));
    lblStatus = static_cast<QLabel*>(named(new QLabel, "lblStatus"));
    lblStatus->setWordWrap(true);

    auto* journalRow = new QHBoxLayout;
    journalRow->addWidget(txtJournal, 1);
    journalRow->addWidget(cmdBrowse);
    journalRow->addWidget(cmdTest);
    auto* journalLabel = new QLabel(QStringLiteral("&Journal:"));
    journalLabel->setBuddy(txtJournal);
    auto* form = new QFormLayout;
    form->addRow(chkSerial);
    form->addRow(QStringLiteral("&Address:"), txtAddress);
    form->addRow(QStringLiteral("&Bytes:"), spnBytes);
    form->addRow(QStringLiteral("&Format:"), cboFormat);
    form->addRow(QStringLiteral("&Series:"), txtSeries);
    form->addRow(QStringLiteral("Sta&rt:"), txtStart);
    form->addRow(QStringLiteral("St&ep:"), txtStep);
    form->addRow(QStringLiteral("&Last:"), txtLast);
    form->addRow(journalLabel, journalRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblStatus);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SerialNumbersDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SerialNumbersDialog::reject);
    connect(cmdTest, &QPushButton::clicked, this, &SerialNumbersDialog::Test);
    connect(cmdBrowse, &QPushButton::clicked, this, &SerialNumbersDialog::Browse);

    const core::ProductionSettings::Values values = core::ProductionSettings::Load(settings_);
    const core::SerialField field = values.serial.value_or(core::SerialField{0x1FFC, 4});
    chkSerial->setChecked(values.serial.has_value());
    txtAddress->setText(core::HexAddress(quint32(field.address)));
    spnBytes->setValue(field.bytes);
    cboFormat->setCurrentIndex(cboFormat->findData(core::SerialFormatName(field.format)));
    txtSeries->setText(values.series.name);
    txtStart->setText(Number(values.series.start));
    txtStep->setText(Number(values.series.step));
    txtLast->setText(Number(values.series.last));
    txtJournal->setText(values.journal);
    // What the journal holds for the series, at once.
    if (!values.journal.isEmpty()) {
        Test();
    }
}

void SerialNumbersDialog::Browse() {
    platform::FileDialogOptions options;
    options.title = QStringLiteral("Journal");
    options.filter = QStringLiteral("Journals (*.db *.sqlite)|*.db;*.sqlite|All files (*)|*");
    options.defaultExt = QStringLiteral("db");
    // A journal kept so far, or a new one.
    if (const std::optional<QString> path = dialogs_.ShowSave(options)) {
        txtJournal->setText(*path);
        Test();
    }
}

bool SerialNumbersDialog::Save() {
    core::ProductionSettings::Values values = core::ProductionSettings::Load(settings_);
    auto refuse = [this](const QString& why) {
        lblStatus->setText(why);
        return false;
    };
    values.journal = txtJournal->text().trimmed();
    values.serial.reset();
    if (chkSerial->isChecked()) {
        QString why;
        values.serial = core::ParseSerialField(QStringLiteral("%1:%2:%3")
                                                   .arg(txtAddress->text().trimmed())
                                                   .arg(spnBytes->value())
                                                   .arg(cboFormat->currentData().toString()),
                                               &why);
        if (!values.serial) {
            return refuse(why.replace(QLatin1String("--serial: "), QString()));
        }
        if (values.journal.isEmpty()) {
            return refuse(QStringLiteral("Serial numbers need a journal to keep their series."));
        }
    }
    struct Field {
        QLineEdit* edit;
        std::optional<qint64>& value;
        const char* name;
    };
    for (const Field& f :
         {Field{txtStart, values.series.start, "Start"}, Field{txtStep, values.series.step, "Step"},
          Field{txtLast, values.series.last, "Last"}}) {
        const QString text = f.edit->text().trimmed();
        f.value = core::ParseSerialNumber(text);
        if (!text.isEmpty() && !f.value) {
            return refuse(QStringLiteral("%1 is a whole number (decimal or 0x hex), not '%2'.")
                              .arg(QLatin1String(f.name), text));
        }
    }
    if (values.series.step && *values.series.step < 1) {
        return refuse(QStringLiteral("Step is at least 1."));
    }
    if (values.serial) {
        const quint64 largest = core::LargestSerial(values.serial->bytes, values.serial->format);
        for (const auto& n : {values.series.start, values.series.last}) {
            if (n && quint64(*n) > largest) {
                return refuse(QStringLiteral("%1 does not fit %2 bytes as %3 (at most %4).")
                                  .arg(*n)
                                  .arg(values.serial->bytes)
                                  .arg(core::SerialFormatName(values.serial->format))
                                  .arg(largest));
            }
        }
    }
    values.series.name = txtSeries->text().trimmed().isEmpty() ? QStringLiteral("default")
                                                               : txtSeries->text().trimmed();
    core::ProductionSettings::Save(settings_, values);
    return true;
}

void SerialNumbersDialog::accept() {
    if (Save()) {
        QDialog::accept();
    }
}

void SerialNumbersDialog::Test() {
    QString why;
    const std::unique_ptr<core::Journal> journal =
        core::Journal::Open(txtJournal->text().trimmed(), &why);
    if (!journal) {
        lblStatus->setText(QStringLiteral("The journal cannot be reached: %1").arg(why));
        return;
    }
    const auto summary = journal->Summary(&why);
    if (!summary) {
        lblStatus->setText(QStringLiteral("The journal cannot be read: %1").arg(why));
        return;
    }
    const QString name = txtSeries->text().trimmed().isEmpty() ? QStringLiteral("default")
                                                               : txtSeries->text().trimmed();
    for (const core::SeriesSummary& s : *summary) {
        if (s.name == name) {
            txtStart->setText(QString::number(s.start));
            txtStep->setText(QString::number(s.step));
            txtLast->setText(Number(s.last));
            lblStatus->setText(
                QStringLiteral("Journal reached. Series '%1': next %2, %3 used, %4 given back, "
                               "%5 held.")
                    .arg(name, s.next ? QString::number(*s.next) : QStringLiteral("none (used up)"))
                    .arg(s.used)
                    .arg(s.givenBack)
                    .arg(s.held));
            return;
        }
    }
    lblStatus->setText(QStringLiteral("Journal reached. Series '%1' is new: its first PROGRAM "
                                      "begins it at Start.")
                           .arg(name));
}

// ---- Journal ----

JournalView::JournalView(platform::SettingsStore& settings, platform::FileDialogs& dialogs,
                         QWidget* parent)
    : QDialog(parent), settings_(settings), dialogs_(dialogs) {
    setObjectName(QStringLiteral("JournalView"));
    setWindowTitle(QStringLiteral("Journal"));
    cboSeries = new QComboBox;
    cboSeries->setObjectName(QStringLiteral("cboSeries"));
    cboResult = new QComboBox;
    cboResult->setObjectName(QStringLiteral("cboResult"));
    cboResult->addItem(QStringLiteral("All results"));
    cboResult->addItems(Results);
    tblJournal = new QTableWidget;
    tblJournal->setObjectName(QStringLiteral("tblJournal"));
    tblJournal->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblJournal->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblJournal->verticalHeader()->hide();
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    auto* cmdExport = new QPushButton(QStringLiteral("&Export CSV..."));
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    auto* cmdReload = new QPushButton(QStringLiteral("&Reload"));
    cmdReload->setObjectName(QStringLiteral("cmdReload"));
    auto* cmdClose = new QPushButton(QStringLiteral("&Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Series:")));
    filters->addWidget(cboSeries);
    filters->addWidget(new QLabel(QStringLiteral("Result:")));
    filters->addWidget(cboResult);
    filters->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(cmdReload);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(tblJournal, 1);
    layout->addLayout(buttons);
    resize(900, 400);

    connect(cboSeries, &QComboBox::currentIndexChanged, this, &JournalView::Fill);
    connect(cboResult, &QComboBox::currentIndexChanged, this, &JournalView::Fill);
    connect(cmdExport, &QPushButton::clicked, this, &JournalView::Export);
    connect(cmdReload, &QPushButton::clicked, this, &JournalView::Reload);
    connect(cmdClose, &QPushButton::clicked, this, &JournalView::accept);
    Reload();
}

bool JournalView::Reload() {
    rows_.clear();
    const QString store = core::ProductionSettings::Load(settings_).journal;
    QString why;
    std::unique_ptr<core::Journal> journal;
    if (store.isEmpty()) {
        why = QStringLiteral("no journal is set: name one in Production ▸ Serial Numbers");
    } else {
        journal = core::Journal::Open(store, &why, nullptr, true);
    }
    std::optional<QList<core::JournalRow>> rows;
    if (journal) {
        rows = journal->Rows(QString(), QDateTime(), &why);
    }
    if (rows) {
        rows_ = *rows;
        std::reverse(rows_.begin(), rows_.end());
    }
    const QString series = cboSeries->currentIndex() > 0 ? cboSeries->currentText() : QString();
    QStringList names;
    for (const core::JournalRow& row : rows_) {
        if (!row.series.isEmpty() && !names.contains(row.series)) {
            names << row.series;
        }
    }
    names.sort();
    {
        const QSignalBlocker blocker(cboSeries);
        cboSeries->clear();
        cboSeries->addItem(QStringLiteral("All series"));
        cboSeries->addItems(names);
        cboSeries->setCurrentIndex(std::max(0, int(cboSeries->findText(series))));
    }
    Fill();
    if (!rows) {
        lblStatus->setText(QStringLiteral("The journal cannot be read: %1").arg(why));
        return false;
    }
    return true;
}

QList<core::JournalRow> JournalView::Shown() const {
    QList<core::JournalRow> shown;
    for (const core::JournalRow& row : rows_) {
        if ((cboSeries->currentIndex() <= 0 || row.series == cboSeries->currentText()) &&
            (cboResult->currentIndex() <= 0 || row.result == cboResult->currentText())) {
            shown << row;
        }
    }
    return shown;
}

void JournalView::Fill() {
    const QStringList columns = {"time",   "bench",  "port",   "chip",  "operation",  "image",
                                 "series", "serial", "result", "crc32", "duration_ms"};
    const QList<core::JournalRow> shown = Shown();
    tblJournal->clear();
    tblJournal->setColumnCount(int(columns.size()));
    tblJournal->setHorizontalHeaderLabels(columns);
    tblJournal->setRowCount(int(shown.size()));
    for (int r = 0; r < shown.size(); ++r) {
        const QJsonObject o = core::JournalRowJson(shown[r]);
        for (int c = 0; c < columns.size(); ++c) {
            const QJsonValue value = o[columns[c]];
            tblJournal->setItem(r, c,
                                new QTableWidgetItem(value.isDouble()
                                                         ? QString::number(qint64(value.toDouble()))
                                                         : value.toString()));
        }
    }
    tblJournal->resizeColumnsToContents();
    lblStatus->setText(QStringLiteral("%1 of %2 rows").arg(shown.size()).arg(rows_.size()));
}

void JournalView::Export() {
    platform::FileDialogOptions options;
    options.title = QStringLiteral("Export Journal");
    options.filter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*)|*");
    options.defaultExt = QStringLiteral("csv");
    options.confirmOverwrite = true;
    const std::optional<QString> path = dialogs_.ShowSave(options);
    if (!path) {
        return;
    }
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(core::JournalCsv(Shown()).toUtf8()) < 0 ||
        !file.commit()) {
        lblStatus->setText(QStringLiteral("Cannot write %1: %2").arg(*path, file.errorString()));
        return;
    }
    lblStatus->setText(QStringLiteral("%1 rows written to %2").arg(Shown().size()).arg(*path));
}
