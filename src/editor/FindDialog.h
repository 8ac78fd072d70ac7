#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Edit > Find: what to look for (hex bytes or text, the case option) and which way. It
// stays open beside the Memory window; each Find Next asks the window to search once.
class FindDialog : public QDialog {
    Q_OBJECT

public:
    explicit FindDialog(QWidget* parent);

    QLineEdit* txtFind = nullptr;
    QRadioButton* optHex = nullptr;
    QRadioButton* optText = nullptr;
    QCheckBox* chkMatchCase = nullptr;
    QRadioButton* optForward = nullptr;
    QRadioButton* optBackward = nullptr;
    QPushButton* cmdFindNext = nullptr;
    QPushButton* cmdClose = nullptr;

signals:
    void FindNext(bool forward);
};
