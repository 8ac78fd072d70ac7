#include "Form3.h"

#include "common/Module1.h"
#include "core/Progress.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

const QString Form3::Caution = QStringLiteral("Do not disconnect the adapter or its power supply.");
const QString Form3::CannotStop =
    QStringLiteral("The chip is being written: this cannot be stopped. Do not disconnect the "
                   "adapter or its power supply.");

Form3::Form3(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(Module1::ProgramTitle);
    setFixedSize(420, 190);

    lblState = new QLabel(QStringLiteral("Working..."), this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setAlignment(Qt::AlignCenter);
    QFont font = lblState->font();
    font.setPointSizeF(12);
    font.setBold(true);
    lblState->setFont(font);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    // Read with its value; the line below it is its description and is read by its text.
    progressBar->setAccessibleName(QStringLiteral("Operation progress"));
    progressBar->setRange(0, 1);
    progressBar->setValue(0);

    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setAlignment(Qt::AlignCenter);
    lblProgress->setWordWrap(true);

    lblCaution = new QLabel(Caution, this);
    lblCaution->setObjectName(QStringLiteral("lblCaution"));
    lblCaution->setAlignment(Qt::AlignCenter);
    lblCaution->setWordWrap(true);
    lblCaution->hide();

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->hide();
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        cmdCancel->setEnabled(false); // taken at the operation's next wait
        if (onCancel) {
            onCancel();
        }
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblState);
    layout->addWidget(progressBar);
    layout->addWidget(lblProgress);
    layout->addWidget(lblCaution);
    layout->addWidget(cmdCancel, 0, Qt::AlignHCenter);
}

void Form3::Reset() {
    shownPhase_ = -1;
    shownAtMs_ = 0;
    reportedAtMs_ = -1000;
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    lblProgress->clear();
    lblCaution->setText(Caution);
    lblCaution->hide();
    cmdCancel->hide();
    cmdCancel->setEnabled(true);
}

void Form3::ShowProgress(const core::Progress& progress) {
    // Bytes taken at line speed come a millisecond apart; the eye needs a fraction of that.
    const bool news = int(progress.phase) != shownPhase_ || progress.done >= progress.total;
    // Bytes at the adapter's pace (75 ms apart) are shown ten times a second; bytes at line
    // speed four times: each showing costs more than a second of the receive loop itself.
    const bool streaming = progress.elapsedMs - reportedAtMs_ < 20;
    reportedAtMs_ = progress.elapsedMs;
    if (!news && progress.elapsedMs - shownAtMs_ < (streaming ? 250 : 100)) {
        return;
    }
    shownPhase_ = int(progress.phase);
    shownAtMs_ = progress.elapsedMs;
    const int total = std::max(progress.total, 1);
    if (progressBar->maximum() != total) {
        progressBar->setRange(0, total);
    }
    progressBar->setValue(std::min(progress.done, total));
    const QString line = core::DescribeProgress(progress);
    lblProgress->setText(line);
    progressBar->setAccessibleDescription(line);
    const bool writing = !progress.cancellable;
    lblCaution->setVisible(writing);
    cmdCancel->setVisible(progress.cancellable);
}

void Form3::closeEvent(QCloseEvent* event) {
    // The window goes when the operation ends; closing it asks for what Cancel does.
    event->ignore();
    AskToStop();
}

void Form3::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        AskToStop();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form3::AskToStop() {
    if (cmdCancel->isVisible()) {
        if (cmdCancel->isEnabled()) {
            cmdCancel->click();
        }
        return;
    }
    if (lblCaution->isVisible()) {
        // Stopping now would leave the chip partly written: the user is told why nothing
        // happens.
        lblCaution->setText(CannotStop);
    }
}
