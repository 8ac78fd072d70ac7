#include "AssignPortsDialog.h"

#include "core/PortDevices.h"
#include "platform/PortEnumeration.h"
#include "platform/SettingsStore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString PortsSection = QStringLiteral("Ports");

QString Key(int n) {
    return QStringLiteral("Comm%1").arg(n);
}

bool SetForThisRun(int n) {
    return !qEnvironmentVariable(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)))
                .trimmed()
                .isEmpty();
}

} // namespace

AssignPortsDialog::AssignPortsDialog(platform::SettingsStore& settings,
                                     const platform::PortEnumeration& ports, QWidget* parent)
    : QDialog(parent), settings_(settings), ports_(ports) {
    setObjectName(QStringLiteral("AssignPortsDialog"));
    setWindowTitle(QStringLiteral("Assign Ports"));
    auto* layout = new QVBoxLayout(this);
    auto* help = new QLabel(
        QStringLiteral("Choose the port each item opens: a port of this computer, or type a "
                       "device path, usb:SERIAL (a USB adapter by its serial number), "
                       "net:HOST:PORT or rfc2217://HOST:PORT (a terminal server), or sim."),
        this);
    help->setWordWrap(true);
    layout->addWidget(help);
    auto* grid = new QGridLayout();
    for (int i = 0; i < 8; ++i) {
        const int n = i + 1;
        auto* label = new QLabel(QStringLiteral("Comm&%1").arg(n), this);
        auto* combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("cboComm%1").arg(n));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(36);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setAccessibleName(QStringLiteral("Comm%1").arg(n));
        label->setBuddy(combo);
        combo->setEditText(core::PortDeviceName(settings_, n));
        if (SetForThisRun(n)) {
            combo->setEditText(core::ShownPortName(core::PortDeviceName(settings_, n)));
            combo->setEnabled(false);
            combo->setToolTip(
                QStringLiteral("Set for this run by VIDAVEV_COMM%1 in the environment").arg(n));
        }
        auto* now = new QLabel(this);
        now->setObjectName(QStringLiteral("lblNow%1").arg(n));
        now->setWordWrap(true);
        grid->addWidget(label, i, 0);
        grid->addWidget(combo, i, 1);
        grid->addWidget(now, i, 2);
        cboComm[i] = combo;
        lblNow_[i] = now;
        connect(combo, &QComboBox::editTextChanged, this, [this, i](const QString& text) {
            lblNow_[i]->setText(core::DescribePort(text.trimmed(), ports_.Ports())
                                    .section(QStringLiteral(" \u2014 "), 1));
        });
    }
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    RefreshPorts();
    refresh_ = new QTimer(this);
    refresh_->setInterval(1000);
    connect(refresh_, &QTimer::timeout, this, &AssignPortsDialog::RefreshPorts);
    refresh_->start();
}

void AssignPortsDialog::RefreshPorts() {
    const QList<platform::SystemPort> present = ports_.Ports();
    for (int i = 0; i < 8; ++i) {
        QComboBox* combo = cboComm[i];
        const QString typed = combo->currentText();
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const platform::SystemPort& port : present) {
            QString what = port.description;
            if (!port.serialNumber.isEmpty()) {
                what += QStringLiteral(", serial %1").arg(port.serialNumber);
            }
            combo->addItem(QStringLiteral("%1").arg(port.PreferredName()));
            combo->setItemData(combo->count() - 1, what, Qt::ToolTipRole);
            if (!port.serialNumber.isEmpty()) {
                combo->addItem(QStringLiteral("usb:%1").arg(port.serialNumber));
                combo->setItemData(combo->count() - 1, what, Qt::ToolTipRole);
            }
        }
        combo->addItem(QStringLiteral("sim"));
        combo->setEditText(typed);
        lblNow_[i]->setText(
            core::DescribePort(typed.trimmed(), present).section(QStringLiteral(" \u2014 "), 1));
    }
}

void AssignPortsDialog::accept() {
    for (int i = 0; i < 8; ++i) {
        if (cboComm[i]->isEnabled()) {
            settings_.SaveSetting(PortsSection, Key(i + 1), cboComm[i]->currentText().trimmed());
        }
    }
    QDialog::accept();
}
