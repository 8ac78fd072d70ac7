#pragma once

#include <QString>
#include <optional>

namespace platform {

// Message box styles and answers, with the program's numbering: the icon and the buttons
// add up to the style (36 = question + Yes/No).
namespace MsgStyle {
constexpr int OKOnly = 0;
constexpr int OKCancel = 1;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256; // the second button (No, Cancel) is the default
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int OK = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

// Modal message boxes, and the box that asks for a line of text.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Shows prompt with the icon and buttons of style; an empty title means the program's
    // standard title. Returns the answer (MsgAnswer).
    virtual int MsgBox(const QString& prompt, int style = MsgStyle::OKOnly,
                       const QString& title = QString()) = 0;

    // Asks for a line of text with prompt, starting from value; none when the user cancels.
    virtual std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                            const QString& value) = 0;
};

} // namespace platform
