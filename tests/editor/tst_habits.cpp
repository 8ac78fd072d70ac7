// What the Memory window does as today's hex editors do: Find's kind follows the pane, it fits
// the screen, typing may advance, selections (keys, drag) show, Copy and Paste use the
// clipboard, Fill asks for its pattern, Open offers every image format.
#include "EditorFixture.h"

class HabitsTest : public QObject {
    Q_OBJECT

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
        QTRY_VERIFY(f.Pane("PicHex")->hasFocus());
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
        QVERIFY(f.Boxes() == 1 && f.Told(0).contains("Go on from the start?"));
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
        QVERIFY(size->visibleRegion().boundingRect() == size->rect() && size->text() == "1000");
        QCOMPARE(Part<QScrollArea>(f.editor, "scroll")->horizontalScrollBar()->maximum(), 0);
    }

    void advanceAfterEachByteIsKept() { // and the Open dialog offers every image format
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(40)));
        QCOMPARE(f.ts.dialogs.opens.at(0).filter,
                 "Images (*.bin *.hex *.ihx *.ihex *.srec *.s19 *.s28 *.s37 *.mot)|*.bin;*.hex;"
                 "*.ihx;*.ihex;*.srec;*.s19;*.s28;*.s37;*.mot|All files (*)|*|");
        auto* advance = Part<QAction>(f.editor, "mnuAdvance");
        QVERIFY(advance->isCheckable() && !advance->isChecked() &&
                advance->text().startsWith("Advance"));
        Press("AB");
        QCOMPARE(f.editor->Session().View().position, 1); // off: the legacy cursor stays
        advance->trigger();
        Press("CDEF");
        QCOMPARE(f.Image(1, 3).toHex() + f.Label("lblInfo_3"), "cdef022");
        QCOMPARE(f.editor->Session().View().position, 3);
        f.Restart(); // the next editor remembers it
        QVERIFY(Part<QAction>(f.editor, "mnuAdvance")->isChecked());
    }

    void selectionCopyPaste() {
        const auto clipboard = [] { return QApplication::clipboard()->text(); };
        EditorFixture f;
        QVERIFY(f.OpenAndShow(QByteArray("123456789 and more", 18)));
        Press("^c"); // nothing selected: the cursor's byte
        QCOMPARE(clipboard(), "31");
        Press("<Right>");
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::ShiftModifier);
        }
        QCOMPARE(f.Label("lblSelection"), "Start 1\nLength 9\nCRC-32 B9182B5F\nSum 01CCh");
        // Shown in both panes: the selected cells have the selection's background.
        for (const char* pane : {"PicHex", "PicText"}) {
            const QImage image = f.Pane(pane)->Image();
            const QColor selected = image.pixelColor(f.InCell(pane, 0, 5) + QPoint(0, 5));
            const QColor plain = image.pixelColor(f.InCell(pane, 0, 12) + QPoint(0, 5));
            QVERIFY2(selected != plain, pane);
        }
        Press("^c");
        QCOMPARE(clipboard(), "32 33 34 35 36 37 38 39 20");
        Press("<Tab>^c");
        QCOMPARE(clipboard(), "23456789 ");
        Press("<Home>^v"); // the text pane pastes text, over the bytes from the cursor
        QCOMPARE(f.Image(1, 18), QByteArray("23456789  and more"));
        Press("^z");
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
        QApplication::clipboard()->setText(QString(20, 'x'));
        Press("^v");
        QVERIFY(f.Boxes() == 1 && f.Told(0).startsWith("2 bytes do not fit"));
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
    }

    void dragSelectsAcrossRows() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000)));
        auto* hex = f.Pane("PicHex");
        const QPoint to = f.InCell("PicHex", 2, 3);
        QTest::mousePress(hex, Qt::LeftButton, {}, f.InCell("PicHex", 0, 2));
        QMouseEvent move(QEvent::MouseMove, to, hex->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(hex, &move);
        QTest::mouseRelease(hex, Qt::LeftButton, {}, to);
        const auto span = f.editor->Session().Selection();
        QVERIFY(span && span->position == 3 && span->length == 34);
    }

    void fillSelectionAsksForThePattern() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(300000)));
        auto* hex = f.Pane("PicHex");
        QTest::keyClick(hex, Qt::Key_End, Qt::ShiftModifier);
        f.ts.messages.inputs = {"DE AD"};
        f.Menu("mnuFill");
        QVERIFY(f.Told(0).startsWith("Fill the 16 selected bytes"));
        QCOMPARE(f.Image(1, 17).toHex(' '),
                 QByteArray("de ad de ad de ad de ad de ad de ad de ad de ad 10"));
        f.Menu("mnuUndo");
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
            f.Menu("mnuFill");
        }
        QVERIFY(f.Told().startsWith("75\n"));
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
        f.Menu("mnuSave");
        QVERIFY(QDir().rename(gone, own.path()));
        const QString& told = f.Told(0);
        QVERIFY2(told.contains(own.filePath("user.bin")) && told.contains("Save As"),
                 qPrintable(told));
        QCOMPARE(f.Label("Label7"), other);
        QCOMPARE(ReadFile(other).left(2), QByteArray("\x41\x01"));
        QVERIFY(!f.editor->Document().Modified());
    }
};

QTEST_MAIN(HabitsTest)
#include "tst_habits.moc"
