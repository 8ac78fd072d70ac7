#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace core {
struct Progress;
}

// The Working window: stands in for the hidden main window while the adapter works and
// shows how far the operation is. The user cannot close it; the operation removes it when
// it ends. READ and VERIFY can be cancelled from it (Cancel or Esc).
class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(QWidget* parent = nullptr);

    // Back to the state of a new operation.
    void Reset();
    void ShowProgress(const core::Progress& progress);
    // Called when the user asks to cancel.
    std::function<void()> onCancel;

    QLabel* lblState = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* lblProgress = nullptr;
    QLabel* lblCaution = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    int shownPhase_ = -1;
    double shownAtMs_ = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
