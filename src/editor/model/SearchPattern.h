#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

// What Find looks for: bytes typed in hex ("DE AD BE EF", spaces optional) or text in the
// code page the text pane shows (Windows-1252), with or without regard to case.
struct SearchPattern {
    QByteArray bytes;
    bool matchCase = true;
    QString shown; // as the user typed it, for the messages

    // At most this many bytes are looked for at once.
    static constexpr int MaxBytes = 1024;

    // The pattern, or none with the reason in error.
    static std::optional<SearchPattern> FromHex(const QString& text, QString* error);
    static std::optional<SearchPattern> FromText(const QString& text, bool matchCase,
                                                 QString* error);
    // The bytes of hex text or of code-page text, any number of them (for a paste or a fill);
    // none with the reason in error.
    static std::optional<QByteArray> HexBytes(const QString& text, QString* error);
    static std::optional<QByteArray> TextBytes(const QString& text, QString* error);
};

// Each code of the code page to its lower-case letter's code (itself when it has none):
// bytes compared through it match whatever their case.
const std::array<unsigned char, 256>& CaseFold();
