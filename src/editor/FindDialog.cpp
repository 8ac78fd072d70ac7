#include "FindDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(tr("Find"));
    txtFind = Named(new QLineEdit(this), "txtFind");
    txtFind->setPlaceholderText(tr("DE AD BE EF, or text"));
    optHex = Named(new QRadioButton(tr("&Hex bytes"), this), "optHex");
    optText = Named(new QRadioButton(tr("&Text"), this), "optText");
    optHex->setChecked(true);
    chkMatchCase = Named(new QCheckBox(tr("Match &case"), this), "chkMatchCase");
    chkMatchCase->setEnabled(false);
    connect(optText, &QRadioButton::toggled, chkMatchCase, &QCheckBox::setEnabled);
    optForward = Named(new QRadioButton(tr("&Forward"), this), "optForward");
    optBackward = Named(new QRadioButton(tr("&Backward"), this), "optBackward");
    optForward->setChecked(true);

    auto* kind = new QGroupBox(tr("Find"), this);
    auto* kindLayout = new QHBoxLayout(kind);
    kindLayout->addWidget(optHex);
    kindLayout->addWidget(optText);
    kindLayout->addWidget(chkMatchCase);
    auto* direction = new QGroupBox(tr("Direction"), this);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(optForward);
    directionLayout->addWidget(optBackward);

    auto* buttons = new QDialogButtonBox(this);
    cmdFindNext =
        Named(buttons->addButton(tr("Find &Next"), QDialogButtonBox::AcceptRole), "cmdFindNext");
    cmdFindNext->setDefault(true);
    cmdClose = Named(buttons->addButton(QDialogButtonBox::Close), "cmdClose");
    connect(cmdFindNext, &QPushButton::clicked, this,
            [this] { emit FindNext(optForward->isChecked()); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(tr("Fi&nd what:"), txtFind);
    layout->addLayout(form);
    layout->addWidget(kind);
    layout->addWidget(direction);
    layout->addWidget(buttons);
}
