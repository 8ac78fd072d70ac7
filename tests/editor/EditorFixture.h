#pragma once

#include "../common/TableRows.h"
#include "EditorFiles.h"
#include "FakeFileDialogs.h"
#include "FileSystemLimits.h"
#include "TestServices.h"
#include "common/Module1.h"
#include "editor/ClickLabel.h"
#include "editor/FindDialog.h"
#include "editor/GoToDialog.h"
#include "editor/frmEditor.h"
#include "grid/Grid.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "widgets/PictureBox.h"

#include <QtTest>
#include <QtWidgets>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

// A control of the window, found by its name as a user's tool (a screen reader) finds it.
template <typename T> T* Part(const QObject* window, const QString& name) {
    T* part = window->findChild<T*>(name);
    if (part == nullptr) {
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    }
    return part;
}

inline bool Inked(PictureBox* box, const QRect& area) {
    const QImage drawn = box->Image().copy(area & box->Image().rect());
    QImage blank = drawn;
    blank.fill(box->BackColor());
    return drawn != blank;
}

// Types into the focus: characters (without key code), <Name> keys, ^ for Ctrl, ^+ Ctrl+Shift.
inline void Press(const QString& keys) {
    static const QRegularExpression token(QStringLiteral("(\\^\\+?)?(?:<(\\w+)>|(.))"));
    for (auto it = token.globalMatch(keys); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QWidget* widget = QApplication::focusWidget();
        if (m.captured(1).isEmpty() && m.capturedLength(3) == 1) {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, m.captured(3), {});
            continue;
        }
        const QString mods = m.captured(1).isEmpty() ? QString()
                             : m.captured(1) == "^"  ? QStringLiteral("Ctrl+")
                                                     : QStringLiteral("Ctrl+Shift+");
        const QKeyCombination key = QKeySequence(mods + m.captured(2) + m.captured(3))[0];
        QTest::keyClick(widget, key.key(), key.keyboardModifiers());
    }
}

// One Memory window on the test doubles, with a count of the main window's reappearances.
struct EditorFixture {
    EditorFixture() {
        static QTemporaryDir folder; // the working images go into the test program's own folder
        qputenv("TMPDIR", QFile::encodeName(folder.path()));
        Restart();
    }
    // The editor of the program's next start, this one gone: by default with the test program's
    // folder, and the language file built beside it.
    void Restart(Module1::ProgramPlaces places = {}) {
        if (places.appFolder.isEmpty()) {
            places.appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        }
        delete editor.data();
        editor = new frmEditor(ts.services, places, [this] { ++mainShown; });
    }
    ~EditorFixture() {
        delete editor.data();
        QFile::remove(Module1::WorkImagePath());
    }

    QString WriteFile(const QString& name, const QByteArray& data) {
        return ::WriteFile(ts.dir.filePath(name), data);
    }
    void Open(const QString& path) {
        ts.dialogs.answers.append(path);
        Menu("sm1_0");
    }
    // Shows the window active, the hex pane focused, so keys go where a user's would.
    bool Show() {
        editor->show();
        editor->activateWindow();
        return QTest::qWaitForWindowActive(editor) && Pane("PicHex")->hasFocus();
    }
    bool OpenAndShow(const QByteArray& data) {
        Open(path = WriteFile(QStringLiteral("user.bin"), data));
        return Show();
    }
    // The bytes of the working image from 1-based position.
    QByteArray Image(qint64 position, qint64 size) {
        QByteArray bytes(size, '\0');
        bytes.resize(editor->Document().Image().ReadAt(position, bytes.data(), size));
        return bytes;
    }
    // Writes value at 1-based position as a byte typed into the text pane would be.
    void Write(qint64 position, int value) {
        editor->Session().MoveTo(position, false);
        editor->Session().TypeByte(static_cast<unsigned char>(value));
        editor->Refresh();
    }
    QString Label(const char* name) const { return Part<QLabel>(editor, name)->text(); }
    void Menu(const char* name) const { Part<QAction>(editor, name)->trigger(); }
    bool Enabled(const char* action) const { return Part<QAction>(editor, action)->isEnabled(); }
    PictureBox* Pane(const char* name) const { return Part<PictureBox>(editor, name); }
    // The grid drawn on a pane, "PicHex" or "PicText", and a point in a cell of it: at from the
    // cell's corner, its centre by default.
    Grid* GridOf(const char* pane) const {
        return Part<Grid>(editor, QLatin1String(pane) == "PicHex" ? "grid1" : "grid2");
    }
    QPoint InCell(const char* pane, int row, int col, QPoint at = {-1, -1}) const {
        const Grid* grid = GridOf(pane);
        const QPoint centre(grid->CellWidth() / 2, grid->CellHeight() / 2);
        return QPoint(col * grid->CellWidth(), row * grid->CellHeight()) +
               (at.x() < 0 ? centre : at);
    }
    QString Hex(int row, int col) const { return GridOf("PicHex")->Value(row, col); }
    QString Text(int row, int col) const { return GridOf("PicText")->Value(row, col); }
    int Boxes() const { return ts.messages.shown.size(); }
    QString Told(int i = -1) const { // the prompt of the i-th box shown, of the last by default
        return ts.messages.shown.value(i < 0 ? ts.messages.shown.size() - 1 : i).prompt;
    }
    bool Deleted() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return editor.isNull();
    }

    TestServices ts;
    QPointer<frmEditor> editor;
    QString path; // the user's file of OpenAndShow
    int mainShown = 0;
};
