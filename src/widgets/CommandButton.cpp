#include "CommandButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// Breaks caption into lines at blanks only (an arrow like "<------>" stays whole).
QString WrapAtBlanks(const QString& caption, const QFontMetrics& metrics, int width) {
    const QStringList words = caption.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList lines;
    QString line;
    for (const QString& word : words) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty()) {
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void CommandButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect face = rect().adjusted(3, 1, -3, -1);
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (fontMetrics().horizontalAdvance(caption) <= face.width()) {
        painter.drawText(face, flags, caption);
    } else {
        painter.drawText(face, flags, WrapAtBlanks(caption, fontMetrics(), face.width()));
    }
}
