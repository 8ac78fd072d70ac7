// What the Memory window does the way today's hex editors do: Find's kind follows the pane,
// Done asks with Cancel, the window fits the screen, bytes typed in a run advance, a
// selection (keys or a drag) shows in both panes and the panel, Copy and Paste go through
// the clipboard, Fill asks for its pattern, and the Open dialog offers every image format.
#include "EditorFixture.h"
#include "editor/FindDialog.h"
#include "platform/MessageBoxes.h"

#include <QClipboard>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

class HabitsTest : public QObject {
    Q_OBJECT

    static QPoint CellCentre(frmEditor* e, const char* pane, int row, int col) {
        const Grid* grid = Part<Grid>(e, QLatin1String(pane) == "PicHex" ? "grid1" : "grid2");
        return QPoint(col * grid->CellWidth() + grid->CellWidth() / 2,
                      row * grid->CellHeight() + grid->CellHeight() / 2);
    }

private slots:
    void initTestCase() { TestTempFolder(); }

    void findStartsAsThePaneAndKeepsTheChoice() {
        EditorFixture f;
        QByteArray data = Counting(600);
        data.replace(500, 4, "\xDE\xAD\xBE\xEF");
        QVERIFY(f.OpenAndShow(data));
        Press("<Tab>^f");
        auto* dialog = f.editor->findChild<FindDialog*>();
        QVERIFY(dialog && dialog->optText->isChecked());
        dialog->hide();
        Press("<Tab>");
        QTRY_VERIFY(Part<PictureBox>(f.editor, "PicHex")->hasFocus());
        Press("^f");
        QVERIFY(dialog->optHex->isChecked()); // the hex pane: hex bytes
        dialog->txtFind->setText("DE AD BE EF");
        QTest::mouseClick(dialog->cmdFindNext, Qt::LeftButton);
        QCOMPARE(f.editor->Session().View().position, 501);
        // Chosen once, the kind stays for the session whatever the pane.
        dialog->optText->setChecked(true);
        dialog->txtFind->setText("zzz");
        QTest::mouseClick(dialog->cmdFindNext, Qt::LeftButton); // not found: Go on? No
        dialog->hide();
        Press("^f");
        QVERIFY(dialog->optText->isChecked());
        QCOMPARE(f.ts.messages.shown.size(), 1);
        QVERIFY(f.ts.messages.shown[0].prompt.contains("Go on from the start?"));
    }

    void fitsTheScreenAndScrolls() {
        // Run at a display scale of 2 as well: the window never outgrows the screen's free
        // area, its panel stays in view (below the page there), and the page never scrolls
        // sideways.
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000)));
        const QRect free = f.editor->screen()->availableGeometry();
        QString where;
        QDebug(&where) << f.editor->frameGeometry() << "on" << free;
        QVERIFY2(free.contains(f.editor->frameGeometry()), qPrintable(where));
        QLabel* size = Part<QLabel>(f.editor, "lblInfo_5"); // right and low in the panel
        QCOMPARE(size->visibleRegion().boundingRect(), size->rect());
        QCOMPARE(size->text(), QStringLiteral("1000"));
        QCOMPARE(Part<QScrollArea>(f.editor, "scroll")->horizontalScrollBar()->maximum(), 0);
    }

    void advanceAfterEachByteIsKept() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(40)));
        auto* advance = Part<QAction>(f.editor, "mnuAdvance");
        QVERIFY(advance->isCheckable() && !advance->isChecked() &&
                advance->text().startsWith("Advance"));
        Press("AB");
        QCOMPARE(f.editor->Session().View().position, 1); // off: the legacy cursor stays
        advance->trigger();
        Press("CDEF");
        QCOMPARE(f.Image(1, 3).toHex(), QByteArray("cdef02"));
        QCOMPARE(f.editor->Session().View().position, 3);
        QCOMPARE(Part<QLabel>(f.editor, "lblInfo_3")->text(), "2");
        delete f.editor.data(); // the next editor remembers it
        f.editor = new frmEditor(f.ts.services, TestPlaces(), [] {});
        QVERIFY(Part<QAction>(f.editor, "mnuAdvance")->isChecked());
    }

    void selectionCopyPaste() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(QByteArray("123456789 and more", 18)));
        Press("^c"); // nothing selected: the cursor's byte
        QCOMPARE(QApplication::clipboard()->text(), "31");
        Press("<Right>");
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::ShiftModifier);
        }
        QCOMPARE(Part<QLabel>(f.editor, "lblSelection")->text(),
                 "Start 1\nLength 9\nCRC-32 B9182B5F\nSum 01CCh");
        // Shown in both panes: the selected cells have the selection's background.
        for (const char* pane : {"PicHex", "PicText"}) {
            const QImage image = Part<PictureBox>(f.editor, pane)->Image();
            const QColor selected =
                image.pixelColor(CellCentre(f.editor, pane, 0, 5) + QPoint(0, 5));
            const QColor plain = image.pixelColor(CellCentre(f.editor, pane, 0, 12) + QPoint(0, 5));
            QVERIFY2(selected != plain, pane);
        }
        Press("^c");
        QCOMPARE(QApplication::clipboard()->text(), "32 33 34 35 36 37 38 39 20");
        Press("<Tab>^c");
        QCOMPARE(QApplication::clipboard()->text(), "23456789 ");
        Press("<Home>^v"); // the text pane pastes text, over the bytes from the cursor
        QCOMPARE(f.Image(1, 18), QByteArray("23456789  and more"));
        Press("^z");
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
        QApplication::clipboard()->setText(QString(20, 'x'));
        Press("^v");
        QCOMPARE(f.ts.messages.shown.size(), 1);
        QVERIFY(f.ts.messages.shown[0].prompt.startsWith("2 bytes do not fit"));
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
    }

    void dragSelectsAcrossRows() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000)));
        auto* hex = Part<PictureBox>(f.editor, "PicHex");
        QTest::mousePress(hex, Qt::LeftButton, {}, CellCentre(f.editor, "PicHex", 0, 2));
        QMouseEvent move(QEvent::MouseMove, CellCentre(f.editor, "PicHex", 2, 3),
                         hex->mapToGlobal(CellCentre(f.editor, "PicHex", 2, 3)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(hex, &move);
        QTest::mouseRelease(hex, Qt::LeftButton, {}, CellCentre(f.editor, "PicHex", 2, 3));
        const std::optional<EditorDocument::Span> span = f.editor->Session().Selection();
        QVERIFY(span);
        QCOMPARE(span->position, 3);
        QCOMPARE(span->length, 34);
    }

    void fillSelectionAsksForThePattern() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(300000)));
        auto* hex = Part<PictureBox>(f.editor, "PicHex");
        QTest::keyClick(hex, Qt::Key_End, Qt::ShiftModifier);
        f.ts.messages.inputs = {"DE AD"};
        Part<QAction>(f.editor, "mnuFill")->trigger();
        QVERIFY(f.ts.messages.shown.at(0).prompt.startsWith("Fill the 16 selected bytes"));
        QCOMPARE(f.Image(1, 17).toHex(' '),
                 QByteArray("de ad de ad de ad de ad de ad de ad de ad de ad 10"));
        Part<QAction>(f.editor, "mnuUndo")->trigger();
        QCOMPARE(f.Image(1, 17), Counting(17));
        // A failure told during the fill (a full disk) takes the user's answer: a click
        // reaches the box, and the pointer is the usual one over it.
        QPushButton answer(QStringLiteral("OK"));
        answer.show();
        int clicks = 0;
        QObject::connect(&answer, &QPushButton::clicked, [&] { ++clicks; });
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box& box) {
            if (box.style != -1) {
                QTest::mouseClick(&answer, Qt::LeftButton);
                clicks += QApplication::overrideCursor() ? 100 : 0;
            }
        };
        Press(QStringLiteral("^a"));
        f.ts.messages.inputs = {"00"};
        {
            FileSizeLimit full(100000);
            Part<QAction>(f.editor, "mnuFill")->trigger();
        }
        QVERIFY(f.ts.messages.shown.last().prompt.startsWith("75\n"));
        QCOMPARE(clicks, 1);
    }

    void aSaveAsOfferedAfterAFailureShowsTheNewName() {
        EditorFixture f;
        QTemporaryDir own;
        f.Open(WriteFile(own.filePath("user.bin"), Counting(40)));
        QVERIFY(f.Show());
        Press("41");
        const QString gone = own.path() + "-gone"; // the file's folder goes: Save fails
        QVERIFY(QDir().rename(own.path(), gone));
        const QString other = f.ts.dir.filePath("other.bin");
        f.ts.messages.answers = {MsgAnswer::Yes}; // Save them in another file?
        f.ts.dialogs.answers = {other};
        Part<QAction>(f.editor, "mnuSave")->trigger();
        QVERIFY(QDir().rename(gone, own.path()));
        const QString& told = f.ts.messages.shown.at(0).prompt;
        QVERIFY2(told.contains(own.filePath("user.bin")) && told.contains("Save As"),
                 qPrintable(told));
        QCOMPARE(Part<QLabel>(f.editor, "Label7")->text(), other);
        QCOMPARE(ReadFile(other).left(2), QByteArray("\x41\x01"));
        QVERIFY(!f.editor->Document().Modified());
    }

    void openOffersEveryImageFormat() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(40)));
        QCOMPARE(f.ts.dialogs.opens.at(0).filter,
                 "Images (*.bin *.hex *.ihx *.ihex *.srec *.s19 *.s28 *.s37 *.mot)|*.bin;*.hex;"
                 "*.ihx;*.ihex;*.srec;*.s19;*.s28;*.s37;*.mot|All files (*)|*|");
    }
};

QTEST_MAIN(HabitsTest)
#include "tst_habits.moc"
