#include "GoToDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

GoToDialog::GoToDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("GoToDialog"));
    setWindowTitle(tr("Go To"));
    setWindowModality(Qt::WindowModal);
    lblRange = new QLabel(this);
    lblRange->setObjectName(QStringLiteral("lblRange"));
    txtOffset = new QLineEdit(this);
    txtOffset->setObjectName(QStringLiteral("txtOffset"));
    lblRange->setBuddy(txtOffset);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdOK = buttons->button(QDialogButtonBox::Ok);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = buttons->button(QDialogButtonBox::Cancel);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, [this] { emit Go(txtOffset->text()); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblRange);
    layout->addWidget(txtOffset);
    layout->addWidget(buttons);
}
