#pragma once

#include <QWidget>

class QLabel;

// The Working window: a small notice that stands in for the hidden main window while the
// adapter works. The user cannot close it; the operation removes it when it ends.
class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(QWidget* parent = nullptr);

    QLabel* lblState = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};
