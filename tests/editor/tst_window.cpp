// The Memory window end to end (open records, compare, edit, save) and the wiring of each
// command, key, pane and dialog to the document below it (the rules are the document's); the
// grid control and picture box it is drawn with.
#include "EditorFixture.h"
#include "ErrorNumberOf.h"
#include "editor/LangFile.h"
#include "editor/OpenDialog.h"
#include "editor/model/ImageSearch.h"
#include "editor/model/Navigation.h"
#include "formats/IntelHex.h"

#include <QSignalSpy>
#include <climits>

// A host like the memory editor: data of a length, the page refilled when the grid asks to
// scroll (20 rows, fewer at the end), and a log of the grid's events.
class GridHost {
public:
    GridHost(qint64 length, QSize box) : length(length) {
        window.resize(box.width(), box.height() + 40);
        pic->setGeometry(QRect(QPoint(0, 0), box));
        other->setGeometry(0, box.height() + 5, 100, 30);
        grid.InitializeGrid(pic, marker);
        grid.SetMax(length);
        for (auto [event, name] : {std::pair{&Grid::EnterCell, "E"}, {&Grid::LeaveCell, "L"}}) {
            QObject::connect(&grid, event, &grid, [this, name](int r, int c) {
                log << QStringLiteral("%1%2,%3").arg(name).arg(r).arg(c);
            });
        }
        QObject::connect(&grid, &Grid::Click, &grid, [this] { log << QStringLiteral("Click"); });
        Handle(&Grid::RequestNextRow, "NextRow", [this] {
            return grid.Rows() == 20 && pageStart + 16 <= this->length ? pageStart + 16 : None;
        });
        Handle(&Grid::RequestPreviousRow, "PrevRow", [this] { return pageStart - 16; });
        Handle(&Grid::RequestNextPage, "NextPage", [this] {
            const qint64 next =
                pageStart + 320 < this->length ? pageStart + 320 : 16 * (this->length / 16) - 319;
            return grid.Rows() < 20 ? None : next;
        });
        Handle(&Grid::RequestPreviousPage, "PrevPage",
               [this] { return pageStart >= 2 ? pageStart - 320 : None; });
        Handle(&Grid::RequestBOF, "BOF", [] { return qint64(1); });
        Handle(&Grid::RequestEOF, "EOF", [this] { return 16 * (this->length / 16) + 1 - 304; });
        Fill();
        grid.Reset();
    }

    // Puts the page at pageStart and the cursor on (r, c), then forgets the events so far.
    void Start(qint64 page, int r, int c) {
        pageStart = page;
        Fill();
        grid.SelectCell(r, c);
        log.clear();
    }

    void Fill() {
        grid.SetPointer(pageStart);
        grid.SetRows(Navigation::Rows(pageStart, length));
        for (int r = 0; r < grid.Rows(); ++r) {
            for (int c = 0; c < 16; ++c) {
                grid.SetValue(r, c, QString::number((pageStart + 16 * r + c) % 256, 16));
            }
        }
        grid.Refresh();
    }

    QPoint Cursor() const { return {grid.Row(), grid.Col()}; }

    qint64 length;
    qint64 pageStart = 1;
    QWidget window;
    PictureBox* pic = new PictureBox(&window);
    QLineEdit* other = new QLineEdit(&window);
    MarkerShape* marker = new MarkerShape(pic);
    Grid grid;
    QStringList log;

private:
    static constexpr qint64 None = LLONG_MIN;
    template <typename Scroller> void Handle(void (Grid::*event)(), const char* name, Scroller s) {
        QObject::connect(&grid, event, &grid, [this, name, s] {
            log << QString::fromLatin1(name);
            if (const qint64 page = s(); page != None) {
                pageStart = std::max<qint64>(1, page);
                Fill();
            }
        });
    }
};

class EditorWindowTest : public QObject {
    Q_OBJECT

private slots:
    void languageTexts() {
        // Record 1 is blank and keeps the built-in text, 22 is padded with zero bytes; 2 to 7
        // as read alone ("-": refused, the caller keeps its own text); the last is cut off.
        const QList<QByteArray> texts = {"  Caf\xe9 \x80 5  ",
                                         QByteArray("Open\0\0\0", 7),
                                         "Sa\x07ve",
                                         QByteArray("Sa\0ve", 5),
                                         "Ja\x81",
                                         "\x7f"};
        QByteArray file;
        for (int n = 1; n <= 129; ++n) {
            file += Module1::MakeLangRecord(n == 1 ? QString() : QStringLiteral("R%1").arg(n));
        }
        file.replace(21 * 104 + 7, 10, QByteArray(10, '\0'));
        for (int n = 2; n <= 7; ++n) {
            file.replace((n - 1) * 104 + 4, texts[n - 2].size(), texts[n - 2]);
        }
        file.chop(1);
        QTemporaryDir folder;
        WriteFile(folder.filePath(QStringLiteral("English.lpk")), file);
        QBuffer buffer(&file);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QStringList read;
        for (const int n : {1, 2, 3, 4, 5, 6, 7, 129}) {
            read << Module1::ReadLangRecord(buffer, n).value_or(QStringLiteral("-"));
        }
        QCOMPARE(read.join('|'), QStringLiteral("|Caf\u00e9 \u20ac 5|Open|-|-|-|-|-"));
        QCOMPARE(Module1::MakeLangRecord(QStringLiteral("\u20ac\u0416")).mid(4, 3), "\x80? ");
        EditorFixture f;
        Module1::ProgramPlaces places;
        places.appFolder = folder.path() + '/';
        f.Restart(places);
        frmEditor& e = *f.editor;
        QCOMPARE(QStringList({e.windowTitle(), f.Label("Label1_0"), f.Label("lblInfo_4"),
                              Part<QAction>(&e, "sm1_0")->text(), e.Document().DoneQuestion()})
                     .join('|'),
                 Module1::ProgramTitle + "|R22|0 R33 0|R35|\"\" R127");
    }

    void recordsOpenedComparedEditedAndSaved() {
        // Open starts where the programmer's READ saved; records at 1E00h read in hex, the
        // reports too; a compare marks the bytes that differ in both panes; the title shows
        // changes to save, and Save says what it wrote. Then Ctrl+O starts in the last folder.
        EditorFixture f;
        QByteArray records;
        core::AppendIntelHexRecord(records, 0, 0x1E00, Counting(32).constData(), 32, "\n");
        core::AppendIntelHexRecord(records, 1, 0, nullptr, 0, "\n");
        f.ts.dialogs.answers = {f.ts.dir.filePath("read/chip.bin")};
        f.ts.dialogs.ShowSave({});
        f.Open(f.WriteFile(QStringLiteral("fw.ihx"), records));
        QVERIFY(f.Show() && !f.editor->Document().Modified() && !f.Enabled("mnuUndo"));
        const platform::FileDialogOptions& asked = f.ts.dialogs.opens.at(0);
        QVERIFY(asked.initialDir == f.ts.dir.filePath("read/") && asked.filter.endsWith("|*|") &&
                asked.fileMustExist);
        QCOMPARE(Part<ClickLabel>(f.editor, "lblSelect")->text(), "OFFSET HEX");
        QCOMPARE(f.Label("Label2_15"), "0F");
        f.ts.dialogs.answers = {f.WriteFile("chip.bin", Counting(32).replace(20, 1, "X"))};
        f.Menu("mnuCompare");
        QVERIFY(f.Told().contains("\n1E14h: 14h here, 58h in chip.bin"));
        for (const char* pane : {"PicHex", "PicText"}) { // offset 1E14h, on row 1
            const auto low = [&](int col) {
                return f.Pane(pane)->Image().pixelColor(
                    f.InCell(pane, 1, col, {2, f.GridOf(pane)->CellHeight() - 1}));
            };
            QVERIFY(low(4) == QColor(0xD0, 0, 0) && low(5) == QColor(Qt::white));
        }
        Press("41");
        QVERIFY(f.editor->windowTitle().startsWith("*fw.ihx - "));
        Press("^s");
        QVERIFY(f.editor->windowTitle().startsWith("fw.ihx - "));
        QVERIFY(f.editor->statusBar()->currentMessage().startsWith(
            "Saved: 32 bytes to fw.ihx (Intel HEX), "));
        QTest::mouseClick(Part<ClickLabel>(f.editor, "lblSelect"), Qt::LeftButton); // radix
        QCOMPARE(f.Label("Label2_15"), "15");
        Press(QStringLiteral("<Tab>^o")); // Cancel changes nothing
        QCOMPARE(f.ts.dialogs.opens.last().initialDir, f.ts.dir.path() + QLatin1Char('/'));
        QVERIFY(f.editor->SourceFileName().endsWith("fw.ihx") && f.Boxes() == 1);
        // A filter gets its closing bar once; a folder is the path's, whatever its name.
        QCOMPARE(Module1::DialogFilter("(*.hex)|*.hex|"), "(*.hex)|*.hex|");
        QCOMPARE(Module1::FolderOf("/data/X.BIN files/x.bin"),
                 QStringLiteral("/data/X.BIN files/"));
    }

    void openChecksTheFileThenAsksAboutEdits() { // a refused file keeps all; No lets edits go
        EditorFixture f;
        const QString first = f.WriteFile(QStringLiteral("first.bin"), Counting(64));
        const QString second = f.WriteFile(QStringLiteral("second.bin"), Counting(32));
        f.Open(first);
        f.Write(1, 0xAA);
        f.Open(f.WriteFile(QStringLiteral("empty"), {}));
        QVERIFY(f.Boxes() == 1 && f.Told().contains("is empty"));
        QVERIFY(f.editor->SourceFileName() == first && f.editor->Document().Modified());
        f.ts.messages.answers = {MsgAnswer::No};
        f.Open(second);
        QVERIFY(f.Told(1).contains(first) && f.editor->SourceFileName() == second);
        QVERIFY(ReadFile(first) == Counting(64) && !f.Enabled("mnuUndo"));
        f.Write(2, 0xBB);
        f.ts.messages.answers = {MsgAnswer::Yes};
        f.Open(first);
        QCOMPARE(ReadFile(second).left(3), QByteArray("\0\xBB\x02", 3)); // Yes: written back first
        // The next file goes while the question is up: the open says so, and nothing shows.
        f.Write(3, 0xCC);
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box&) { QFile::remove(second); };
        f.Open(second);
        QVERIFY(f.Boxes() == 5 && f.Told(4).contains("No such"));
        QVERIFY(!f.editor->Document().Loaded() && !f.Enabled("mnuSave") &&
                !f.Pane("PicHex")->isEnabled());
    }

    void done_data() {
        // how: Done, the close box, or the program's end; theirs: another program changed the
        // file after the open; answers: none: no edits; the last Yes writes back
        Columns<QString, bool, QList<int>>({"how", "theirs", "answers"});
        const int no = MsgAnswer::No, yes = MsgAnswer::Yes, cancel = MsgAnswer::Cancel;
        // clang-format off
        QTest::newRow("no edits") << "Done" << false << QList<int>{};
        QTest::newRow("edits, Yes") << "Done" << false << QList<int>{yes};
        QTest::newRow("edits, Esc keeps all") << "Done" << false << QList<int>{cancel};
        QTest::newRow("close box, No") << "close" << false << QList<int>{no};
        QTest::newRow("changed, not replaced: stays") << "Done" << true << QList<int>{yes, no};
        QTest::newRow("changed, replaced") << "Done" << true << QList<int>{yes, yes};
        QTest::newRow("end, Yes") << "end" << false << QList<int>{yes};
        QTest::newRow("end, Cancel") << "end" << false << QList<int>{cancel};
        // clang-format on
    }
    void done() {
        const auto [how, theirs, answers] =
            Row<QString, bool, QList<int>>({"how", "theirs", "answers"});
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(600000)));
        if (!answers.isEmpty()) {
            Press("5"); // half-typed: whole before the question
        }
        if (theirs) {
            WriteFile(f.path, "theirs");
        }
        f.ts.messages.answers = answers;
        bool upWhenAsked = true;
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box& box) {
            upWhenAsked &= f.editor->isVisible() && f.mainShown == 0 && box.prompt.contains(f.path);
        };
        const bool settled = answers.isEmpty() || (answers.last() != MsgAnswer::Cancel &&
                                                   (!theirs || answers.last() == MsgAnswer::Yes));
        if (how == "end") {
            QCOMPARE(f.editor->SettleBeforeEnd(), settled);
        } else {
            how == "close" ? void(f.editor->close()) : f.Menu("mnuDone");
        }
        QVERIFY(f.Boxes() == answers.size() && upWhenAsked);
        if (!answers.isEmpty()) {
            QCOMPARE(f.ts.messages.shown[0].style, MsgStyle::YesNoCancel | MsgStyle::Question);
        }
        if (theirs) {
            QCOMPARE(f.ts.messages.shown[1].style,
                     MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2);
            QVERIFY(f.Told(1).contains("was changed by another program"));
        }
        const bool written = !answers.isEmpty() && answers.last() == MsgAnswer::Yes;
        QCOMPARE(ReadFile(f.path), written  ? Counting(600000).replace(0, 1, "\x05")
                                   : theirs ? QByteArray("theirs")
                                            : Counting(600000));
        const bool closed = how != "end" && settled;
        QCOMPARE(f.mainShown, closed ? 1 : 0);
        QVERIFY(closed ? !QFile::exists(Module1::WorkImagePath()) && f.Deleted()
                       : f.editor->isVisible() && f.editor->Document().Modified() != written);
    }

    void programEndsInsideTheEditor() { // copying in, let go only, asking Done's question
        // Let go while its routine waits: it stops silently, writes nothing, goes when done.
        for (const QString when : {"open", "open, let go", "done"}) {
            EditorFixture f;
            const QString small = f.WriteFile(QStringLiteral("small.bin"), Counting(1000));
            const bool letGo = when == QLatin1String("open, let go"), done = when == "done";
            if (done) {
                f.Open(small);
                f.Write(1, 0x99);
            }
            bool inside = false, deletedInside = false;
            connect(f.editor, &QObject::destroyed, this, [&] { deletedInside = inside; });
            const auto unload = [&] {
                if (!letGo) {
                    f.editor->CloseAllFiles();
                }
                letGo || f.editor->Busy() ? f.editor->deleteLater() : delete f.editor.data();
            };
            QTimer soon; // at the first event the routine lets through; "let go" waits for the copy
            connect(&soon, &QTimer::timeout, this, [&] {
                if (!letGo || f.editor->Document().Image().Copying()) {
                    soon.stop();
                    unload();
                }
            });
            f.ts.messages.onShow = [&](const FakeMessageBoxes::Box&) { unload(); };
            f.ts.messages.answers = {MsgAnswer::Yes};
            QEventLoop loop; // the routine runs inside the event loop, as a menu action does
            QTimer::singleShot(0, this, [&] {
                inside = true;
                soon.start(0);
                done ? f.Menu("mnuDone") : f.Open(f.WriteFile("big.bin", Counting(6 * 512000)));
                inside = false;
                loop.quit();
            });
            loop.exec();
            QVERIFY(!deletedInside);
            QCOMPARE(f.Boxes(), done ? 1 : 0);
            QCOMPARE(ReadFile(small), Counting(1000));
            QVERIFY(f.Deleted());
        }
    }

    void keptChangesComeBackAtTheNextStart() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(40)));
        QCOMPARE(f.editor->KeepUnsavedChanges(), std::nullopt); // nothing to keep yet
        auto* advance = Part<QAction>(f.editor, "mnuAdvance");
        QVERIFY(advance->isCheckable() && !advance->isChecked());
        advance->trigger(); // on: a byte typed moves the cursor on
        Press("41<Right>7");
        const QString kept = Module1::KeptChangesPath(f.path);
        QVERIFY(QDir().mkpath(kept + "/inside")); // a folder holds the name: said where
        try {
            f.editor->KeepUnsavedChanges();
            QFAIL("kept in a folder's place");
        } catch (const platform::RuntimeError& error) {
            QVERIFY(error.Number() == platform::ErrorNumber::PathFileAccess &&
                    error.Description().contains(kept));
        }
        QVERIFY(QFile::exists(Module1::WorkImagePath()) && QDir(kept).removeRecursively());
        QCOMPARE(f.editor->KeepUnsavedChanges(), std::optional<QString>(kept));
        QVERIFY(!QFile::exists(Module1::WorkImagePath()));
        const QByteArray edited = Counting(40).replace(0, 3, "\x41\x01\x07");
        QCOMPARE(ReadFile(kept), edited);
        const QString time = QFileInfo(kept).lastModified().toString("HH:mm");
        delete f.editor.data();
        QCOMPARE(ReadFile(f.path), Counting(40));

        f.Restart(); // Yes: the document again; Advance is remembered
        QVERIFY(Part<QAction>(f.editor, "mnuAdvance")->isChecked());
        f.ts.messages.answers << MsgAnswer::Yes;
        f.editor->OfferKeptChanges();
        QCOMPARE(f.Told(0),
                 QString("Unsaved changes of user.bin from %1 were kept. Open them?").arg(time));
        QVERIFY(!QFile::exists(kept) && f.editor->SourceFileName() == f.path &&
                f.editor->Document().Modified());
        QCOMPARE(f.Image(1, 40), edited);
        f.ts.messages.answers << MsgAnswer::Yes; // Done: write the changes back
        f.Menu("mnuDone");
        QCOMPARE(ReadFile(f.path), edited);
        f.Restart(); // offered once only
        f.editor->OfferKeptChanges();
        QCOMPARE(f.Boxes(), 2);

        // Kept changes that cannot be opened stay, asked again; No lets them go.
        WriteFile(kept, QByteArray());
        f.ts.settings.SaveSetting("Unsaved", "user.bin.tms370-unsaved", f.path);
        f.ts.messages.answers << MsgAnswer::Yes;
        f.editor->OfferKeptChanges();
        QVERIFY(f.Boxes() == 4 && f.Told(3).contains("empty")); // the offer, then why not
        QVERIFY(!f.editor->Document().Loaded() && QFile::exists(kept));
        f.Restart();
        f.editor->OfferKeptChanges();
        QVERIFY(f.Boxes() == 5 && !QFile::exists(kept) && !f.editor->Document().Loaded());
    }

    void pages_data() {
        // last: (row, column) of the last byte shown
        Columns<int, qint64, int, QString, QPoint>({"size", "start", "rows", "label", "last"});
        // clang-format off
        QTest::newRow("16 bytes") << 16 << 1LL << 2 << "1 of 1" << QPoint(0, 15);
        QTest::newRow("320 bytes") << 320 << 1LL << 20 << "1 of 1" << QPoint(19, 15);
        QTest::newRow("321 bytes") << 321 << 1LL << 20 << "1 of 2" << QPoint(19, 15);
        QTest::newRow("321 bytes at 17") << 321 << 17LL << 20 << "2 of 2" << QPoint(19, 0);
        QTest::newRow("1000 bytes at 961") << 1000 << 961LL << 3 << "4 of 4" << QPoint(2, 7);
        // clang-format on
    }

    void pages() {
        const auto [size, start, last] = Row<int, qint64, QPoint>({"size", "start", "last"});
        EditorFixture f;
        f.Open(f.WriteFile(QStringLiteral("p.bin"), Counting(size)));
        f.editor->Session().ShowPage(start);
        f.editor->Refresh(); // over the first page: nothing of it may show through
        QTEST(f.GridOf("PicHex")->Rows(), "rows");
        QTEST(f.Label("lblInfo_4"), "label");
        const int lastByte = int(start - 1 + 16 * last.x() + last.y());
        QCOMPARE(f.Hex(last.x(), last.y()), QByteArray(1, char(lastByte)).toHex().toUpper());
        const int h = f.GridOf("PicHex")->CellHeight();
        QVERIFY(!Inked(f.Pane("PicHex"), QRect(0, (last.x() + 1) * h, 999, 20 * h)));
        QVERIFY(
            !Inked(f.Pane("PicOffSet"),
                   QRect(0, (last.x() + 1) * (f.Pane("PicOffSet")->height() / 20), 999, 20 * h)));
    }

    void beyondFourGiB() {
        EditorFixture f;
        const qint64 four = qint64(1) << 32;
        const qint64 length = four + 1000; // the last row short
        const QString path = f.ts.dir.filePath(QStringLiteral("huge.bin"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(length)); // sparse
            QVERIFY(file.seek(four - 1) && file.write("\x11\x22") == 2);     // across 4 GiB
            QVERIFY(file.seek(length - 3) && file.write("\x01\x02\x03") == 3);
        }
        f.Open(path);
        frmEditor& e = *f.editor;
        QCOMPARE(f.Label("lblInfo_5"), QString::number(length));
        QVERIFY(f.Show());
        QTest::keyClick(f.Pane("PicHex"), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(e.Session().View().pageStart, 16 * (length / 16) + 1 - 304); // the last row, 20th
        QCOMPARE(f.Hex(19, 7) + f.Hex(19, 8), QStringLiteral("03-1"));
        QCOMPARE(f.Label("lblInfo_4") + ' ' + f.Label("lblInfo_3"),
                 QStringLiteral("%1 of %1 %2").arg((length - 1) / 320 + 1).arg(length - 1));

        // The byte before the boundary, edited and saved: every byte lands where it was.
        QVERIFY(e.Session().GoTo(QStringLiteral("0xFFFFFFFF")));
        e.Refresh();
        QCOMPARE(f.Label("lblInfo_0"), QStringLiteral("11"));
        Press(QStringLiteral("44"));
        f.Menu("mnuSave");
        QFile out(path);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.size(), length);
        QVERIFY(out.seek(four - 2));
        QCOMPARE(out.read(3), QByteArray("\0\x44\x22", 3));
        QVERIFY(out.seek(length - 4));
        QCOMPARE(out.read(4), QByteArray("\0\x01\x02\x03", 4));
    }

    void keys_data() {
        // bytes: the image's bytes at positions 1 and 2; cells: the hex and text cells of 1
        Columns<QString, QString, QString>({"keys", "bytes", "cells"});
        // clang-format off
        QTest::newRow("two digits") << "ab" << "AB 01" << "AB \u00ab";
        QTest::newRow("the next digit starts again") << "ab4" << "AB 01" << "4 .";
        QTest::newRow("Enter completes") << "7<Return>" << "07 01" << "07 .";
        QTest::newRow("moving on completes") << "7<Right>" << "07 01" << "07 .";
        QTest::newRow("a page move completes where typed") << "d<PgDown>" << "0D 01" << "";
        QTest::newRow("the other pane completes") << "e<Tab>" << "0E 01" << "0E .";
        QTest::newRow("not hex") << "G-z <Backspace><Return>" << "3C 01" << "3C <";
        QTest::newRow("Ctrl") << "^b" << "3C 01" << "3C <";
        QTest::newRow("Ctrl+Shift") << "^+a<Return>" << "0A 01" << "0A .";
        QTest::newRow("a character without key code after Ctrl+key") << "<Tab>^<End>^<Home>!" << "21 01" << "21 !";
        QTest::newRow("text: Enter") << "<Tab><Return>" << "0D 01" << "0D .";
        QTest::newRow("text: code page") << "<Tab>\u20ac<Right>\u0416" << "80 01" << "80 \u20ac";
        QTest::newRow("text: Backspace") << "<Tab><Right><Backspace>" << "3C 08" << "3C <";
        QTest::newRow("text: Ctrl") << "<Tab>^x" << "3C 01" << "3C <";
        QTest::newRow("text: Ctrl+Shift") << "<Tab>^+x" << "78 01" << "78 x";
        QTest::newRow("text: Tab types nothing") << "<Tab>\t<Tab>" << "3C 01" << "3C <";
        QTest::newRow("undo") << "ab^z" << "3C 01" << "3C <";
        QTest::newRow("redo") << "ab^z^y" << "AB 01" << "AB \u00ab";
        QTest::newRow("redo, Ctrl+Shift") << "ab^z^+z" << "AB 01" << "AB \u00ab";
        QTest::newRow("undo of a half-typed digit: the byte shows again") << "4^z" << "3C 01" << "3C <";
        // clang-format on
    }

    void keys() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000).replace(0, 1, "\x3C")));
        const auto [keys, bytes, cells] =
            Row<QString, QString, QString>({"keys", "bytes", "cells"});
        Press(keys);
        QCOMPARE(f.Image(1, 2).toHex(' ').toUpper(), bytes.toLatin1());
        QCOMPARE(f.editor->Document().Modified(), bytes != QLatin1String("3C 01"));
        QVERIFY(cells.isEmpty() || f.Hex(0, 0) + ' ' + f.Text(0, 0) == cells);
        // The cursor never moves by itself.
        QCOMPARE(f.GridOf(QApplication::focusWidget() == f.Pane("PicText") ? "PicText" : "PicHex")
                     ->Col(),
                 keys.contains(QLatin1String("<Right>")) ? 1 : 0);
    }

    void panesKeepTheSameCell() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000).replace(0, 1, "\x3C")));
        // The other cursor follows, by keys and clicks, in either pane.
        const auto click = [&](const char* pane, int row, int col) {
            QTest::mouseClick(f.Pane(pane), Qt::LeftButton, {}, f.InCell(pane, row, col, {3, 3}));
        };
        const auto cell = [&](const char* pane) {
            return QPoint(f.GridOf(pane)->Row(), f.GridOf(pane)->Col());
        };
        Press(QStringLiteral("<Down><Down><Right>"));
        QCOMPARE(cell("PicText"), QPoint(2, 1));
        Press(QStringLiteral("<Tab><Down><Left><Left>"));
        QCOMPARE(cell("PicHex"), QPoint(2, 15));
        click("PicText", 3, 5);
        QCOMPARE(f.Label("lblInfo_0") + ' ' + f.Label("lblInfo_3"), QStringLiteral("35 53"));
        QCOMPARE(cell("PicHex"), QPoint(3, 5));
        // A drag selects across rows.
        auto* hex = f.Pane("PicHex");
        const QPoint to = f.InCell("PicHex", 2, 3);
        QTest::mousePress(hex, Qt::LeftButton, {}, f.InCell("PicHex", 0, 2));
        QMouseEvent move(QEvent::MouseMove, to, hex->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(hex, &move);
        QTest::mouseRelease(hex, Qt::LeftButton, {}, to);
        const auto span = f.editor->Session().Selection();
        QVERIFY(span && span->position == 3 && span->length == 34);
        f.editor->Session().ShowPage(321);
        f.editor->Refresh();
        click("PicHex", 0, 0);
        QCOMPARE(f.Label("lblInfo_2") + ' ' + f.Label("lblInfo_3"), QStringLiteral("140 320"));
        QTest::mouseClick(Part<QLabel>(f.editor, "lblInfo_4"),
                          Qt::LeftButton); // any label of the panel switches
        QTRY_VERIFY(f.Pane("PicText")->hasFocus());
        QVERIFY(!f.editor->Document().Modified());
    }

    void failedEditAndSave() { // the image shows what it holds; Save As is offered
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000).replace(0, 1, "\x3C")));
        Press(QStringLiteral("<PgDown>"));
        {
            FileSizeLimit full(100); // the image cannot take a byte from offset 100 on
            Press(QStringLiteral("99<Right>7<Return>"));
            QVERIFY(f.Boxes() == 2 && f.Told(0).startsWith(QStringLiteral("75\n")));
            QCOMPARE(f.Hex(0, 0) + f.Text(0, 1) + f.Label("lblInfo_0"),
                     "40A41"); // what the image holds
            QVERIFY(!f.editor->Document().Modified() && !f.Enabled("mnuUndo"));
            Press(QStringLiteral("<PgUp>55"));
            QVERIFY(f.editor->Document().Modified());
        }
        // A save that fails offers Save As: the new name shows, the edits go there.
        QTemporaryDir elsewhere;
        const QString other = elsewhere.filePath("other.bin");
        const QString gone = f.ts.dir.path() + "-gone"; // the file's folder goes: Save fails
        QVERIFY(QDir().rename(f.ts.dir.path(), gone));
        f.ts.messages.answers = {MsgAnswer::Yes}; // Save them in another file?
        f.ts.dialogs.answers = {other};
        f.Menu("mnuSave");
        QVERIFY(QDir().rename(gone, f.ts.dir.path()));
        QVERIFY2(f.Told().contains(f.path) && f.Told().contains("Save As"), qPrintable(f.Told()));
        QCOMPARE(f.Label("Label7"), other);
        QCOMPARE(ReadFile(other), ReadFile(f.path).replace(1, 1, "\x55"));
        QVERIFY(!f.editor->Document().Modified());
    }

    void findAndGoToDialogs() { // the kind follows the pane until chosen; Find Next, F3, refusals
        EditorFixture f;
        const qint64 size = ImageSearch::ChunkSize + 1000;
        QByteArray data = Counting(size);
        data.replace(100, 4, "\xDE\xAD\xBE\xEF").replace(500, 4, "\xDE\xAD\xBE\xEF");
        QVERIFY(f.OpenAndShow(data.replace(200, 5, "Hello").replace(300, 5, "HELLO")));
        Press("<Tab>^f");
        auto* dialog = f.editor->findChild<FindDialog*>();
        QVERIFY(dialog && dialog->isVisible() && dialog->optText->isChecked());
        dialog->hide();
        Press("<Tab>");
        QTRY_VERIFY(f.Pane("PicHex")->hasFocus());
        Press("^f");
        QVERIFY(dialog->optHex->isChecked()); // the hex pane: hex bytes
        const auto next = [&](const QString& text) {
            dialog->txtFind->setText(text);
            QTest::mouseClick(dialog->cmdFindNext, Qt::LeftButton);
            return f.Label("lblInfo_3");
        };
        QCOMPARE(next("DE AD BE EF"), "100");
        QTest::keyClick(dialog, Qt::Key_F3);
        QCOMPARE(f.Label("lblInfo_3"), "500");
        QTest::keyClick(dialog, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(f.Label("lblInfo_3"), "100");
        QCOMPARE(next("DE A"), "100"); // refused: said why
        QVERIFY(f.Boxes() == 1 && f.Told(0).contains("one hex digit"));
        dialog->optText->setChecked(true);
        dialog->chkMatchCase->setChecked(true);
        QCOMPARE(next("HELLO"), "300");
        dialog->optBackward->setChecked(true);
        QCOMPARE(next("zzz"), "300"); // not found: Go on? No
        QVERIFY(f.Boxes() == 2 && f.Told(1).contains("Go on from the end?"));
        // Chosen once, the kind stays for the session whatever the pane.
        dialog->hide();
        Press("^f");
        QVERIFY(dialog->optText->isChecked());
        // Go To shows the range; a refused offset stays to be put right.
        dialog->hide();
        QTest::keyClick(f.editor, Qt::Key_G, Qt::ControlModifier);
        auto* go = f.editor->findChild<GoToDialog*>();
        QVERIFY(go && go->isVisible() && go->lblRange->text().contains(QString::number(size - 1)));
        for (const QString& text : {QString::number(size), QStringLiteral("450")}) {
            go->txtOffset->setText(text);
            QTest::mouseClick(go->cmdOK, Qt::LeftButton);
            QCOMPARE(go->isVisible(), text != "450");
        }
        QVERIFY(f.Boxes() == 3 && f.Told(2).contains(QString::number(size)));
        QCOMPARE(f.Label("lblInfo_3"), "450");

        // The Stop button and Escape each end a search that outlasts its first chunk.
        frmEditor* e = f.editor;
        f.ts.clock.Schedule(
            0, [&] { QTest::mouseClick(Part<QPushButton>(e, "cmdStop"), Qt::LeftButton); });
        Press("^f");
        dialog->optForward->setChecked(true);
        QCOMPARE(next("nowhere"), "450");
        bool escapedWhileBusy = false;
        f.ts.clock.Schedule(0, [&] {
            escapedWhileBusy = e->Busy();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QTest::keyClick(dialog, Qt::Key_F3);
        QVERIFY(escapedWhileBusy && !e->Busy() && !Part<QPushButton>(e, "cmdStop")->isVisible());
        QCOMPARE(f.Boxes(), 3); // no "not found": the search never ended
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
        // The side panels shown fit beside the page, the window still on the screen.
        f.Menu("mnuDataInspector");
        f.Menu("mnuFields");
        QTest::qWait(50);
        QVERIFY2(free.contains(f.editor->frameGeometry()), qPrintable(where));
        for (const char* panel : {"inspectorTable", "fieldsTable"}) {
            QVERIFY(Part<QWidget>(f.editor, panel)->visibleRegion().boundingRect().height() > 40);
        }
    }

    void dataInspector() {
        // Shown as last left; follows the cursor; a value typed is written as one step, one that
        // runs past the end is refused with the reason.
        EditorFixture f;
        f.Menu("mnuDataInspector");
        f.Restart();
        QVERIFY(f.OpenAndShow(QByteArray::fromHex("3412785600")));
        QTableWidget* table = Part<QTableWidget>(f.editor, "inspectorTable");
        QVERIFY(table->isVisible());
        const auto cell = [table](const QString& name) {
            for (int r = 0; r < table->rowCount(); ++r) {
                if (table->item(r, 0)->text() == name) {
                    return table->item(r, 1);
                }
            }
            qFatal("no row %s", qPrintable(name));
        };
        QCOMPARE(cell("u16le")->text(), "4660");
        Press("<Right><Right>");
        QCOMPARE(cell("u16be")->text(), "30806");
        cell("i16le")->setText("-2");
        QCOMPARE(f.Image(3, 2), QByteArray("\xFE\xFF"));
        cell("u32le")->setText("7");
        QVERIFY(f.Told().contains("past the end of the file") && cell("u32le")->text() == "—");
        f.Menu("mnuUndo");
        QCOMPARE(f.Image(1, 5), QByteArray::fromHex("3412785600"));
        QCOMPARE(cell("u16be")->text(), "30806");
    }

    void fieldsAndChecksums() {
        // A click on a field selects its bytes; Update Checksums is one step; Save asks about
        // a checksum that was right and is not now: Cancel keeps, No saves as is, Yes updates.
        EditorFixture f;
        const QString layout = f.WriteFile("fw.layout", "[fields]\ngain = 1E10h:i16le\n"
                                                        "crc = 1FFEh:crc16:1E00h-1FFDh\n");
        QVERIFY(f.OpenAndShow(QByteArray(512, '\0')));
        f.ts.dialogs.answers = {layout};
        Part<QPushButton>(f.editor, "fieldsOpen")->click();
        QTableWidget* table = Part<QTableWidget>(f.editor, "fieldsTable");
        QCOMPARE(table->item(0, 1)->text(), "1E10h");
        QVERIFY(table->item(1, 4)->text().endsWith(QStringLiteral("✗")));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(0, 0)).center());
        const std::optional<EditorDocument::Span> picked = f.editor->Session().Selection();
        QVERIFY(picked && picked->position == 0x11 && picked->length == 2);
        f.Menu("mnuUpdateChecksums");
        QVERIFY(table->item(1, 4)->text().endsWith(QStringLiteral("✓")));
        const QByteArray right = f.Image(511, 2);
        f.Menu("mnuUndo");
        QCOMPARE(f.Image(511, 2), QByteArray(2, '\0'));
        f.Menu("mnuRedo");
        Press("^s");
        QCOMPARE(f.Boxes(), 0);
        const auto saveAfterEdit = [&](int answer) { // the gain and the crc saved
            table->item(0, 3)->setText(QString::number(300 + answer));
            f.ts.messages.answers = {answer};
            Press("^s");
            return ReadFile(f.path).mid(0x10, 2) + ReadFile(f.path).mid(0x1FE, 2);
        };
        QCOMPARE(saveAfterEdit(MsgAnswer::Cancel), QByteArray(2, '\0') + right);
        QVERIFY(f.Told().startsWith("The checksum field crc no longer matches the data. Update "
                                    "it before saving?"));
        QCOMPARE(saveAfterEdit(MsgAnswer::No), "\x33\x01" + right);
        table->item(0, 3)->setText("1"); // saved wrong once: not asked again
        Press("^s");
        QCOMPARE(f.Boxes(), 2);
        f.Menu("mnuUpdateChecksums");
        Press("^s");
        const QByteArray yes = saveAfterEdit(MsgAnswer::Yes);
        QVERIFY(yes.startsWith("\x32\x01") && !yes.endsWith(right));
        QCOMPARE(f.Boxes(), 3);
    }

    void bookmarks() {
        // Ctrl+B asks a name; F2 steps round, saying so; they come back with the file.
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(100)));
        f.ts.messages.inputs = {"gain", ""};
        Press("<Right><Right>^b<Down>^b");
        Press("<F2>");
        QCOMPARE(f.editor->Session().View().position, 3);
        QVERIFY(f.editor->statusBar()->currentMessage().contains("back to the first"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2, Qt::ShiftModifier);
        QCOMPARE(f.editor->Session().View().position, 19);
        f.Restart();
        f.Open(f.path);
        QTableWidget* list = Part<QTableWidget>(f.editor, "bookmarksTable");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(0, 1)->text(), "gain");
        f.editor->Session().MoveTo(3, false);
        f.Menu("mnuToggleBookmark");
        QCOMPARE(list->rowCount(), 1);
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
        QApplication::clipboard()->setText("abcdefghi"); // over the pasted bytes, still selected
        Press("^v");
        QVERIFY(f.Image(1, 18) == "abcdefghi and more" && f.Text(0, 0) == "a");
        Press("^z^z");
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
        QApplication::clipboard()->setText(QString(20, 'x'));
        Press("^v");
        QVERIFY(f.Boxes() == 1 && f.Told(0).startsWith("2 bytes do not fit"));
        QCOMPARE(f.Image(1, 18), QByteArray("123456789 and more"));
    }

    void fillSelectionAsksForThePattern() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(300000)));
        QTest::keyClick(f.Pane("PicHex"), Qt::Key_End, Qt::ShiftModifier);
        f.ts.messages.inputs = {"DE AD"};
        f.Menu("mnuFill");
        QVERIFY(f.Told(0).startsWith("Fill the 16 selected bytes"));
        QCOMPARE(f.Image(1, 17), QByteArray("\xDE\xAD").repeated(8) + '\x10');
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

    // The keys move by GridMoves (tested with the editor's document); the grid raises the
    // request the move asks for between leaving its cell and entering the one it lands on.
    // A click ("@x,y" in pixels, cells of 22 x 19) moves to the cell under it, or the nearest.
    void moves_data() {
        // from, to: (row, column)
        Columns<qint64, qint64, QPoint, QString, QString, QPoint>(
            {"length", "page", "from", "input", "events", "to"});
        // clang-format off
        QTest::newRow("left, data before") << 1000LL << 17LL << QPoint(0, 0) << "Left" << "L0,0 PrevRow E0,15" << QPoint(0, 15);
        QTest::newRow("down, one more byte") << 321LL << 1LL << QPoint(19, 3) << "Down" << "L19,3 NextRow E19,0 E19,0" << QPoint(19, 0);
        QTest::newRow("right, no more data") << 320LL << 1LL << QPoint(19, 15) << "Right" << "" << QPoint(19, 15);
        QTest::newRow("page down") << 1000LL << 961LL << QPoint(1, 6) << "PgDown" << "L1,6 NextPage E1,6" << QPoint(1, 6);
        QTest::newRow("page up") << 1000LL << 321LL << QPoint(5, 5) << "PgUp" << "L5,5 PrevPage E5,5" << QPoint(5, 5);
        QTest::newRow("ctrl+home") << 1000LL << 321LL << QPoint(5, 5) << "Ctrl+Home" << "L5,5 BOF E0,0" << QPoint(0, 0);
        QTest::newRow("ctrl+end") << 1000LL << 1LL << QPoint(5, 5) << "Ctrl+End" << "L5,5 EOF E19,7 E19,7" << QPoint(19, 7);
        QTest::newRow("ctrl+page down, no scroll") << 1000LL << 1LL << QPoint(4, 6) << "Ctrl+PgDown" << "L4,6 E19,6" << QPoint(19, 6);
        QTest::newRow("click on the cursor cell") << 1000LL << 1LL << QPoint(2, 2) << "@50,40" << "Click" << QPoint(2, 2);
        QTest::newRow("click past the data") << 40LL << 1LL << QPoint(2, 2) << "@300,45" << "L2,2 E2,7 Click" << QPoint(2, 7);
        QTest::newRow("click right of the last column") << 1000LL << 1LL << QPoint(2, 2) << "@355,10" << "L2,2 E0,15 Click" << QPoint(0, 15);
        QTest::newRow("click below the last row, short page") << 40LL << 1LL << QPoint(2, 2) << "@10,370" << "L2,2 E2,0 Click" << QPoint(2, 0);
        // clang-format on
    }
    void moves() {
        const auto [length, page, from, input, to] =
            Row<qint64, qint64, QPoint, QString, QPoint>({"length", "page", "from", "input", "to"});
        GridHost host(length, QSize(360, 381)); // 8 pixels right of the last column
        host.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        host.Start(page, from.x(), from.y());
        const QKeyCombination combo = QKeySequence(input)[0];
        input.startsWith('@') ? QTest::mouseClick(host.pic, Qt::LeftButton, {},
                                                  QPoint(input.mid(1).section(',', 0, 0).toInt(),
                                                         input.section(',', 1).toInt()))
                              : QTest::keyClick(host.pic, combo.key(), combo.keyboardModifiers());
        QTEST(host.log.join(' '), "events");
        QCOMPARE(host.Cursor(), to);
        QCOMPARE(QPoint(host.marker->Left(), host.marker->Top()),
                 QPoint(to.y() * host.grid.CellWidth(), to.x() * host.grid.CellHeight()));
        // Each later move reports the cell it leaves again; Reset goes back to the origin.
        host.log.clear();
        host.grid.SelectCell(1, 2);
        host.grid.Reset();
        QCOMPARE(host.log.join(' '),
                 QStringLiteral("L%1,%2 E1,2 L1,2 E0,0").arg(to.x()).arg(to.y()));
    }

    void cellsPastTheDataMarkerAndFocus() {
        GridHost host(20, QSize(100, 100));             // rows 0 and 1; row 1 holds 4 bytes
        host.grid.SetValue(1, 4, QStringLiteral("FF")); // ignored
        QCOMPARE(host.grid.Value(1, 3) + host.grid.Value(1, 4), QStringLiteral("14-1"));
        // SelectCell onto such a cell, or outside the grid, leaves the cursor, without events.
        host.Start(1, 1, 2);
        host.grid.SelectCell(1, 9);
        host.grid.SelectCell(0, 16);
        QCOMPARE(host.Cursor(), QPoint(1, 2));
        QVERIFY(host.log.isEmpty());
        // Rows 0..Rows (the row after the page too) and columns 0..15; error 9 outside.
        host.grid.SetRows(3);
        QCOMPARE(ErrorNumberOf([&] { host.grid.SetValue(3, 15, host.grid.Value(3, 15)); }), 0);
        QCOMPARE(ErrorNumberOf([&] { host.grid.SetValue(4, 0, QString()); }), 9);
        QCOMPARE(ErrorNumberOf([&] { host.grid.Value(0, 16); }), 9);

        // Any button focuses the box and reports where; the box tells its focus coming.
        host.other->setFocus();
        host.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        QSignalSpy got(host.pic, &PictureBox::GotFocus);
        QSignalSpy mouse(host.pic, &PictureBox::MouseDown);
        QTest::mouseClick(host.pic, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
        QVERIFY(host.pic->Focused());
        QCOMPARE(mouse.takeFirst(), QVariantList({2, 1, 30, 40}));
        host.other->setFocus();
        QVERIFY(got.count() == 1 && !host.pic->Focused());

        // The marker inverts what is shown from its corner on, never the image below.
        PictureBox box;
        box.resize(100, 100);
        box.FillBox(QRect(0, 0, 100, 100), QColor(0x10, 0x20, 0x30));
        auto* marker = new MarkerShape(&box);
        marker->Move(20, 20, 10, 8);
        const QImage shown = box.Rendered();
        QVERIFY(shown.pixelColor(20, 20) == QColor(0xEF, 0xDF, 0xCF) &&
                shown.pixel(30, 27) == box.Image().pixel(30, 27));
        QCOMPARE(box.grab().toImage(), shown);
        marker->SetVisible(false);
        QCOMPARE(box.Rendered(), box.Image());
        marker->SetVisible(true);
        delete marker;
        QCOMPARE(box.Rendered(), box.Image());
    }
};

QTEST_MAIN(EditorWindowTest)
#include "tst_window.moc"
