#pragma once

#include <QString>
#include <optional>

// The texts of the editor's cells and offsets. A cell past the end of the data holds "-1" in
// the grid; these routines take that as the value -1.
namespace CellText {

// "00".."FF" in upper case; -1 gives "0".
QString ByteToHex(int value);

// The character of the byte in the program's code page (Windows-1252); 0..32, 7Fh and the
// five bytes the code page leaves undefined give "."; -1 gives "".
QString ByteToText(int value);

// The value of a hex cell text (surrounding spaces ignored) as a byte; "-1" gives 0.
int HexToByte(const QString& text);

// A 0-based offset: ten digits, zero-padded, more when the offset needs them; hexadecimal
// in upper case or decimal.
QString FormatOffset(qint64 offset, bool hex);

// A 0-based offset as the user types it: decimal ("8000") or hexadecimal as 1F40h, 0x1F40
// or $1F40 (either case); none when the text is neither.
std::optional<qint64> ParseOffset(const QString& text);

// "page<sp>word<sp>pages" for the page starting at 1-based pageStart of length bytes.
QString PageLabel(qint64 length, qint64 pageStart, const QString& word);

} // namespace CellText
