#include "frmAbout.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace {

const QString Prompt = QStringLiteral("Please, select information item above!!!");
const QString Company =
    QStringLiteral("TMS370 EEPROM Programmer project, 2026. Contact: tms370prog@example.org");

// The items' icon (icon 1 of the image list): a small chip with its pins.
QIcon ChipIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 2));
    for (int i = 0; i < 4; ++i) {
        const int y = 8 + i * 5;
        painter.drawLine(2, y, 8, y);
        painter.drawLine(24, y, 30, y);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x38));
    painter.drawRoundedRect(7, 4, 18, 24, 2, 2);
    painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
    painter.drawEllipse(QPointF(11, 8), 1.5, 1.5);
    return QIcon(pixmap);
}

} // namespace

frmAbout::frmAbout(QString title, QString featuresText, std::function<void()> onClose,
                   QWidget* parent)
    : QWidget(parent, Qt::Window), title_(std::move(title)), featuresText_(std::move(featuresText)),
      onClose_(std::move(onClose)) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About ") + title_);
    setFixedSize(420, 300);
    setAutoFillBackground(true);
    QPalette back = palette();
    back.setColor(QPalette::Window, QColor(0x20, 0x30, 0x48));
    setPalette(back);

    lstMain = new QListWidget(this);
    lstMain->setObjectName(QStringLiteral("lstMain"));
    lstMain->setViewMode(QListView::IconMode);
    lstMain->setFlow(QListView::LeftToRight);
    lstMain->setMovement(QListView::Static);
    lstMain->setResizeMode(QListView::Adjust);
    lstMain->setIconSize(QSize(32, 32));
    lstMain->setGridSize(QSize(94, 64));
    lstMain->setWrapping(false); // the four items stand in one row
    lstMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstMain->setGeometry(12, 12, 396, 80);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setGeometry(12, 104, 396, 140);
    lblInfo->setWordWrap(true);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(318, 258, 90, 28);
    cmdOK->setDefault(true);

    connect(lstMain, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { lstMain_ItemClick(lstMain->row(item) + 1); });
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    Form_Load();
}

void frmAbout::Form_Load() {
    const QIcon icon = ChipIcon();
    for (const char* text : {"Product", "Version", "Features", "Company"}) {
        lstMain->addItem(new QListWidgetItem(icon, QLatin1String(text)));
    }
    const char* shown[] = {"Product", "Vesion", "Features", "Company"};
    for (int i = 0; i < 4; ++i) {
        lstMain->item(i)->setText(QLatin1String(shown[i]));
    }
    QPalette white = lblInfo->palette();
    white.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0xFF));
    lblInfo->setPalette(white);
    lblInfo->setText(Prompt);
}

QString frmAbout::InfoText(int index) const {
    switch (index) {
    case 1:
        return title_ + QStringLiteral(" EEPROM programmer");
    case 2:
        return title_ + QStringLiteral(" software v 1.9");
    case 3:
        return featuresText_;
    case 4:
        return Company;
    default:
        return QString();
    }
}

void frmAbout::lstMain_ItemClick(int index) {
    QPalette white = lblInfo->palette();
    white.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0xFF));
    lblInfo->setPalette(white);
    if (index >= 1 && index <= 4) {
        lblInfo->setText(InfoText(index));
    }
}

void frmAbout::cmdOK_Click() {
    close();
}

// Esc and Enter act as OK, wherever the focus is in the window.
void frmAbout::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        cmdOK_Click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

// OK and the title bar's close box both end here: the window goes, the main window returns.
void frmAbout::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closing_) {
        return;
    }
    closing_ = true;
    hide();
    if (onClose_) {
        onClose_();
    }
}
