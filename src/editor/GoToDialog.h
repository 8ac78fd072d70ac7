#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Edit > Go To: an offset, in decimal or in hex (1F40h, 0x1F40, $1F40). OK asks the window
// to go there; the window closes the dialog once it has.
class GoToDialog : public QDialog {
    Q_OBJECT

public:
    explicit GoToDialog(QWidget* parent);

    QLabel* lblRange = nullptr;
    QLineEdit* txtOffset = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

signals:
    void Go(const QString& offset);
};
