#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// The program's 8-bit code page, Windows-1252, as the language file's texts and the editor's
// text pane use it, on top of the platform's conversions.
namespace CodePage {

// False for the five bytes the code page leaves undefined: 81h, 8Dh, 8Fh, 90h, 9Dh.
bool IsDefined(unsigned char b);

// The character of byte b (an undefined byte gives the control character of its number).
QChar ToUnicode(unsigned char b);

// The byte of character c, or -1 when the code page has no such character.
int FromUnicode(QChar c);

// Bytes to text; undefined bytes become replacement.
QString Decode(const QByteArray& bytes, QChar replacement = QChar(0xFFFD));

} // namespace CodePage
