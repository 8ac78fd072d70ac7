#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QIODevice;

// The language file: fixed 104-byte records, counted from 1. Each holds 4 bytes the program
// does not use and 100 characters of text in the program's code page, padded with spaces.
namespace Module1 {

constexpr int LangRecordLength = 104;
constexpr int LangTextLength = 100;

// Record n of an open language file, without its leading spaces and its trailing spaces and
// zero bytes. None when the file does not hold the whole record, or when the record is not
// printable text in the code page (a control code, an undefined code): the caller keeps
// its own text then.
std::optional<QString> ReadLangRecord(QIODevice& file, int n);

// The record that holds text (cut at 100 characters; a character the code page lacks
// becomes "?").
QByteArray MakeLangRecord(const QString& text);

} // namespace Module1
