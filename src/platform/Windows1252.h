#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

namespace platform {

// The 8-bit code page of the program's texts and typed characters (Windows-1252).

// The code of a character in the code page; 0 when the code page lacks it.
int ToWindows1252(QChar ch);

// The character of a code. The five codes the code page leaves undefined (81h, 8Dh, 8Fh,
// 90h, 9Dh) give the control character of the same number, as Windows does.
QChar FromWindows1252(unsigned char code);

// False for the five codes the code page leaves undefined.
bool IsDefinedWindows1252(unsigned char code);

// Bytes to text; undefined codes become replacement.
QString DecodeWindows1252(const QByteArray& bytes, QChar replacement = QChar(0xFFFD));

} // namespace platform
