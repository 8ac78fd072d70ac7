#include "Form3.h"

#include "app/Module1.h"

#include <QCloseEvent>
#include <QLabel>

Form3::Form3(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(Module1::ProgramTitle);
    setFixedSize(260, 80);
    lblState = new QLabel(QStringLiteral("Working..."), this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setGeometry(0, 0, 260, 80);
    lblState->setAlignment(Qt::AlignCenter);
    QFont font = lblState->font();
    font.setPointSizeF(12);
    font.setBold(true);
    lblState->setFont(font);
}

void Form3::closeEvent(QCloseEvent* event) {
    // Closing it would leave the adapter half-way; the operation ends it.
    event->ignore();
}
