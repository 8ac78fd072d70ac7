#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// What every fuzz target shares: Qt's application object and no VIDAVEV_COMMn variables (set
// up before the first input), a scratch folder of its own, the input taken apart piece by
// piece, and a check that stops the run with a message.
namespace fuzz {

// A file name inside this process's scratch folder (removed at exit).
QString ScratchPath(const QString& name);
// Writes bytes to path, replacing it; stops the run when that fails.
void WriteFile(const QString& path, const QByteArray& bytes);

// Stops the run (libFuzzer then keeps the input) when a property does not hold.
void Check(bool holds, const char* what);

// The input read from the front: small choices first, then the rest as the payload.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next byte, 0 once the input is used up.
    uint8_t Byte();
    // A value from 0 to below n (n > 0) from the next byte(s).
    int Below(int n);
    bool Flag() { return Byte() & 1; }
    // Everything not taken yet.
    QByteArray Rest();
    // The rest as text a user might type or a file might hold: UTF-8, or (when the next byte
    // is odd) raw UTF-16, which lets unpaired surrogates and every code unit through.
    QString Text();
    bool Empty() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace fuzz
