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
// shows how far the operation is. The operation removes it when it ends. READ and VERIFY
// can be cancelled from it (Cancel, Esc or its close box); while the chip is being written
// Esc and the close box only say that this cannot be stopped.
class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(QWidget* parent = nullptr);

    // Back to the state of a new operation.
    void Reset();

    // The caution line while the chip is written, and what it says when asked to stop then.
    static const QString Caution;
    static const QString CannotStop;

    void ShowProgress(const core::Progress& progress);
    // Called when the user asks to cancel.
    std::function<void()> onCancel;

    QLabel* lblState = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* lblProgress = nullptr;
    QLabel* lblCaution = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void AskToStop();

    int shownPhase_ = -1;
    double shownAtMs_ = 0;
    double reportedAtMs_ = -1000; // when the last report came, shown or not

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
