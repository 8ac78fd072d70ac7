#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The About window: four product information items, one shown at a time.
class frmAbout : public QWidget {
    Q_OBJECT

public:
    // featuresText: the device list line; onClose: shows the main window again.
    frmAbout(QString title, QString featuresText, std::function<void()> onClose,
             QWidget* parent = nullptr);

    QListWidget* lstMain = nullptr;
    QLabel* lblInfo = nullptr;
    QPushButton* cmdOK = nullptr;

    // The text lblInfo shows for an item index 1..4; empty for any other.
    QString InfoText(int index) const;

    void lstMain_ItemClick(int index);
    void cmdOK_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();

    QString title_;
    QString featuresText_;
    std::function<void()> onClose_;
    bool closing_ = false;
};
