#pragma once

#include "TestServices.h"
#include "common/Module1.h"
#include "editor/frmEditor.h"
#include "grid/Grid.h"
#include "platform/PictureBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>

// The temporary folder of the whole test program: the working image goes there, never into
// the system's temporary folder. Call once, before any editor is made.
inline QTemporaryDir& TestTempFolder() {
    static QTemporaryDir folder;
    static const bool set = [] {
        qputenv("TMPDIR", QFile::encodeName(folder.path()));
        Module1::AppFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        Module1::LanguageFile = QStringLiteral("English.lpk");
        return true;
    }();
    Q_UNUSED(set);
    return folder;
}

// One Memory window on the test doubles, with a record of the main window's show and hide.
struct EditorFixture {
    EditorFixture() {
        TestTempFolder();
        editor = new frmEditor(ts.services, [this] { ++mainShown; });
    }
    ~EditorFixture() {
        if (editor) {
            delete editor.data();
        }
        QFile::remove(Module1::WorkImagePath());
    }

    QString WriteFile(const QString& name, const QByteArray& data) {
        const QString path = ts.dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(data);
        return path;
    }
    QByteArray ReadFile(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    // File > Open, answering the dialog with path.
    void Open(const QString& path) {
        ts.dialogs.answers.append(path);
        editor->OpenWithDialog();
    }
    // Shows the window, active, so focus and keys behave as for a user.
    bool Show() {
        editor->show();
        editor->activateWindow();
        return QTest::qWaitForWindowActive(editor);
    }
    // The bytes of the working image from 1-based position.
    QByteArray Image(qint64 position, qint64 size) {
        QByteArray bytes(size, '\0');
        bytes.resize(editor->Image().ReadAt(position, bytes.data(), size));
        return bytes;
    }
    // Deletes a window Done has let go.
    void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // Clicks the middle of cell (r, c) of a pane.
    void ClickCell(PictureBox* pane, Grid* grid, int r, int c) {
        QTest::mouseClick(pane, Qt::LeftButton, Qt::NoModifier,
                          QPoint(c * grid->CellWidth() + grid->CellWidth() / 2,
                                 r * grid->CellHeight() + grid->CellHeight() / 2));
    }

    TestServices ts;
    QPointer<frmEditor> editor;
    int mainShown = 0;
};

// A file of size bytes whose byte at offset i is i mod 256.
inline QByteArray Counting(qint64 size) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        data[i] = static_cast<char>(i & 0xFF);
    }
    return data;
}

// While it lives, no file of the test may grow to limit bytes or past: a write there fails
// as on a full disk (EFBIG rather than ENOSPC, through the same paths).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
};
