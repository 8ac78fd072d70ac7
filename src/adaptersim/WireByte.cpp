#include "WireByte.h"

namespace adaptersim {

QString FormatWireByte(const WireByte& wire) {
    const QChar arrow =
        wire.direction == Direction::ToAdapter ? QLatin1Char('>') : QLatin1Char('<');
    const QChar shown =
        wire.byte >= 0x20 && wire.byte < 0x7f ? QLatin1Char(char(wire.byte)) : QLatin1Char('.');
    return QStringLiteral("%1 %2 %3 %4")
        .arg(wire.timeMs, 11, 'f', 3)
        .arg(arrow)
        .arg(wire.byte, 2, 16, QLatin1Char('0'))
        .arg(shown);
}

} // namespace adaptersim
