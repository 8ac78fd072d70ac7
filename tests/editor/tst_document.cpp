// The Memory window's document: language texts, Open and its refusals, Save, Done, kept edits.
#include "EditorFixture.h"
#include "editor/LangFile.h"
#include "editor/OpenDialog.h"
#include "formats/IntelHex.h"

#include <sys/stat.h>

class DocumentTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }

    void languageTexts() {
        // Record 1 is blank and keeps the built-in text, 22 is padded with zero bytes.
        QByteArray file;
        for (int n = 1; n <= 129; ++n) {
            file += Module1::MakeLangRecord(n == 1 ? QString() : QStringLiteral("R%1").arg(n));
        }
        file.replace(21 * 104 + 7, 10, QByteArray(10, '\0'));
        QTemporaryDir folder;
        WriteFile(folder.filePath(QStringLiteral("English.lpk")), file);
        EditorFixture f;
        Module1::ProgramPlaces places;
        places.appFolder = folder.path() + '/';
        f.Restart(places);
        frmEditor& e = *f.editor;
        QCOMPARE(QStringList({e.windowTitle(), f.Label("Label1_0"), f.Label("Label1_2"),
                              f.Label("Label1_3"), f.Label("Label1_8"), f.Label("Label1_9"),
                              f.Label("lblInfo_4"), f.Label("lblInfo_7"), f.Label("Label2_16"),
                              Part<QMenu>(&e, "mn_0")->title(), Part<QAction>(&e, "sm1_0")->text(),
                              e.Document().DoneQuestion()})
                     .join('|'),
                 Module1::ProgramTitle + "|R22|R23|R25|R21|R24|0 R33 0|R32|R20|R34|R35|\"\" R127");
    }

    void languageRecords_data() {
        QTest::addColumn<QByteArray>("text"); // bytes 4.. of the record, padded with spaces
        QTest::addColumn<QString>("read");    // "<none>": the caller keeps its own text
        // clang-format off
        QTest::newRow("padded") << QByteArray("  Caf\xe9 \x80 5  ") << QStringLiteral("Caf\u00e9 \u20ac 5");
        QTest::newRow("zero bytes at the end") << QByteArray("Open\0\0\0", 7) << "Open";
        QTest::newRow("blank") << QByteArray() << "";
        QTest::newRow("a control code") << QByteArray("Sa\x07ve") << "<none>";
        QTest::newRow("a zero inside") << QByteArray("Sa\0ve", 5) << "<none>";
        QTest::newRow("an undefined code") << QByteArray("Ja\x81") << "<none>";
        QTest::newRow("delete") << QByteArray("\x7f") << "<none>";
        // clang-format on
    }

    void languageRecords() {
        QFETCH(QByteArray, text);
        QByteArray bytes = Module1::MakeLangRecord(QString());
        bytes.replace(4, text.size(), text);
        bytes += Module1::MakeLangRecord(QStringLiteral("cut off")).left(103);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QTEST(Module1::ReadLangRecord(buffer, 1).value_or(QStringLiteral("<none>")), "read");
        QCOMPARE(Module1::ReadLangRecord(buffer, 2), std::nullopt);
        QCOMPARE(Module1::MakeLangRecord(QStringLiteral("\u20ac\u0416")).mid(4, 3), "\x80? ");
    }

    void openDialogAndLastFolder() {
        const QString filter = QStringLiteral("All Files (*.bin)|*.bin|(*.hex)|*.hex");
        FakeFileDialogs dialogs;
        dialogs.answers = {QStringLiteral("/data/x.bin"), std::nullopt};
        QCOMPARE(Module1::ShowOpenDialog(dialogs, filter, {}, "/d"), QStringLiteral("/data/x.bin"));
        QCOMPARE(Module1::ShowOpenDialog(dialogs, filter + '|', {}, "/d"), QString());
        for (const platform::FileDialogOptions& asked : dialogs.opens) {
            QVERIFY(asked.filter == filter + '|' && asked.initialDir == "/d" &&
                    asked.fileMustExist);
        }
        QCOMPARE(Module1::FolderOf(QStringLiteral("/data/X.BIN files/x.bin")),
                 QStringLiteral("/data/X.BIN files/"));
    }

    void openCopiesAndRemembersFolder() {
        EditorFixture f;
        // The programmer's READ saved into a folder: the first Open starts there.
        f.ts.dialogs.answers = {f.ts.dir.filePath("read/chip.bin")};
        f.ts.dialogs.ShowSave({});
        QVERIFY(f.OpenAndShow(Counting(1000)));
        QVERIFY(f.editor->Document().Loaded() && !f.editor->Document().Modified() &&
                !f.Enabled("mnuUndo"));
        QCOMPARE(f.ts.dialogs.opens.at(0).initialDir, f.ts.dir.filePath("read/"));
        // Cancel changes nothing, and the dialog starts in the last folder; Ctrl+O opens it too.
        Press(QStringLiteral("<Tab>^o"));
        QCOMPARE(f.ts.dialogs.opens.at(1).initialDir, f.ts.dir.path() + QLatin1Char('/'));
        QVERIFY(f.editor->SourceFileName() == f.path && f.Boxes() == 0);
    }

    void recordsComparedAndSaved() {
        // Records at 1E00h read in hex, the reports too; a compare marks the bytes that differ
        // in both panes; the title shows changes to save, and Save says what it wrote.
        EditorFixture f;
        QByteArray records;
        core::AppendIntelHexRecord(records, 0, 0x1E00, Counting(32).constData(), 32, "\n");
        core::AppendIntelHexRecord(records, 1, 0, nullptr, 0, "\n");
        f.Open(f.WriteFile(QStringLiteral("fw.ihx"), records));
        QVERIFY(f.Show());
        QCOMPARE(Part<ClickLabel>(f.editor, "lblSelect")->text(), "OFFSET HEX");
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
    }

    void refusedFilesKeepTheEditor() { // an empty file, a pipe (it would block), the image
        EditorFixture f;
        const QString good = f.WriteFile(QStringLiteral("good.bin"), Counting(100));
        f.Open(good);
        const QString pipe = f.ts.dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QList<std::pair<QString, QString>> refused = {
            {f.WriteFile("empty", {}), "is empty"},
            {pipe, "not a file"},
            {Module1::WorkImagePath(), "working copy"}};
        int shown = 0;
        for (const auto& [path, words] : refused) {
            f.Open(path);
            QCOMPARE(f.Boxes(), ++shown);
            QVERIFY2(f.Told().contains(path) && f.Told().contains(words), qPrintable(f.Told()));
            QVERIFY(f.editor->Document().Loaded() && f.editor->SourceFileName() == good);
            QCOMPARE(ReadFile(Module1::WorkImagePath()), Counting(100));
        }
    }

    void secondOpenAsksAboutEdits() {
        EditorFixture f;
        const QString first = f.WriteFile(QStringLiteral("first.bin"), Counting(64));
        const QString second = f.WriteFile(QStringLiteral("second.bin"), Counting(32));
        f.Open(first);
        f.Write(1, 0xAA);
        f.ts.messages.answers = {MsgAnswer::No};
        f.Open(second);
        QVERIFY(f.Told(0).contains(first));
        QCOMPARE(ReadFile(first), Counting(64)); // No: discarded, the history with it
        QVERIFY(f.editor->SourceFileName() == second && !f.Enabled("mnuUndo"));

        f.Write(2, 0xBB);
        f.ts.messages.answers = {MsgAnswer::Yes};
        f.Open(first);
        QCOMPARE(ReadFile(second).left(3), QByteArray("\0\xBB\x02", 3)); // Yes: written back first
        f.Open(second);                                                  // unedited: no question
        QCOMPARE(f.Boxes(), 2);

        // The next file goes while the question is up: the open says so, and nothing shows.
        f.Write(3, 0xCC);
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box&) { QFile::remove(first); };
        f.Open(first);
        QCOMPARE(f.Boxes(), 4);
        QVERIFY(f.Told(3).contains("No such"));
        QVERIFY(!f.editor->Document().Loaded() && !f.Enabled("mnuSave"));
    }

    void done_data() {
        // theirs: another program changed the file after the open; answers: none: no edits; the
        // last Yes writes back
        Columns<QString, bool, QList<int>>({"how", "theirs", "answers"});
        const int no = MsgAnswer::No, yes = MsgAnswer::Yes, cancel = MsgAnswer::Cancel;
        // clang-format off
        QTest::newRow("no edits") << "Done" << false << QList<int>{};
        QTest::newRow("edits, No") << "Done" << false << QList<int>{no};
        QTest::newRow("edits, Yes") << "Done" << false << QList<int>{yes};
        QTest::newRow("edits, Esc keeps all") << "Done" << false << QList<int>{cancel};
        QTest::newRow("close box, No") << "close" << false << QList<int>{no};
        QTest::newRow("close box, Yes") << "close" << false << QList<int>{yes};
        QTest::newRow("changed, Save, No") << "Save" << true << QList<int>{no};
        QTest::newRow("changed, Done, No") << "Done" << true << QList<int>{yes, no};
        QTest::newRow("changed, Done, Yes") << "Done" << true << QList<int>{yes, yes};
        // clang-format on
    }

    void done() {
        const auto [how, theirs, answers] =
            Row<QString, bool, QList<int>>({"how", "theirs", "answers"});
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(600000)));
        if (!answers.isEmpty()) {
            f.Write(19, 0x5A);
        }
        QByteArray expected =
            theirs ? (WriteFile(f.path, "theirs"), QByteArray("theirs")) : Counting(600000);
        f.ts.messages.answers = answers;
        bool upWhenAsked = true;
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box& box) {
            upWhenAsked &= f.editor->isVisible() && f.mainShown == 0 && box.prompt.contains(f.path);
        };
        how == "close" ? void(f.editor->close()) : f.Menu(how == "Save" ? "mnuSave" : "mnuDone");
        QCOMPARE(f.Boxes(), answers.size());
        QVERIFY(upWhenAsked);
        if (!answers.isEmpty() && how != "Save") {
            QCOMPARE(f.ts.messages.shown[0].style, MsgStyle::YesNoCancel | MsgStyle::Question);
        }
        if (theirs) {
            const FakeMessageBoxes::Box& box = f.ts.messages.shown.last();
            QVERIFY(box.prompt.contains("was changed by another program"));
            QCOMPARE(box.style, MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2);
        }
        if (!answers.isEmpty() && answers.last() == MsgAnswer::Yes) {
            expected = Counting(600000).replace(18, 1, "\x5A");
        }
        QCOMPARE(ReadFile(f.path), expected);
        const bool closed = how != "Save" &&
                            (answers.isEmpty() || answers.last() != MsgAnswer::Cancel) &&
                            (!theirs || answers.last() == MsgAnswer::Yes);
        QCOMPARE(f.mainShown, closed ? 1 : 0);
        QVERIFY(closed ? !QFile::exists(Module1::WorkImagePath()) && f.Deleted()
                       : f.editor->isVisible() && f.editor->Document().Modified());
    }

    void programEndsInsideTheEditor() { // copying in, let go only, asking Done's question
        // Let go while its routine waits: it stops silently, writes nothing, goes when done.
        for (const QString when : {"open", "open, let go", "done"}) {
            EditorFixture f;
            const QString small = f.WriteFile(QStringLiteral("small.bin"), Counting(1000));
            if (!when.startsWith(QLatin1String("open"))) {
                f.Open(small);
                f.Write(1, 0x99);
            }
            bool inside = false, deletedInside = false;
            connect(f.editor, &QObject::destroyed, this, [&] { deletedInside = inside; });
            const bool letGo = when == QLatin1String("open, let go");
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
                if (when == QLatin1String("done")) {
                    f.Menu("mnuDone");
                } else {
                    f.Open(f.WriteFile(QStringLiteral("big.bin"), Counting(6 * 512000)));
                }
                inside = false;
                loop.quit();
            });
            loop.exec();
            QVERIFY(!deletedInside);
            QCOMPARE(f.Boxes(), when == QLatin1String("done") ? 1 : 0);
            QCOMPARE(ReadFile(small), Counting(1000));
            QVERIFY(f.Deleted());
        }
    }

    void workingImageCannotBeMade() {
        // Something at its name that cannot be removed: the open says what and where.
        EditorFixture f;
        QVERIFY(QDir().mkpath(Module1::WorkImagePath() + QStringLiteral("/inner")));
        f.Open(f.WriteFile(QStringLiteral("n.bin"), Counting(40)));
        QVERIFY(f.Told(0).contains(Module1::WorkImagePath()));
        QVERIFY(!f.editor->Document().Loaded() && !f.Pane("PicHex")->isEnabled());
        QVERIFY(QDir(Module1::WorkImagePath()).removeRecursively());
    }

    // A signal ends the program without asking: the edits, a half-typed byte too, are kept
    // beside the working image, and the next editor offers them.
    void keptChangesComeBackAtTheNextStart() { // Yes: the document again; No: gone
        for (const int answer : {MsgAnswer::Yes, MsgAnswer::No}) {
            EditorFixture f;
            QVERIFY(f.OpenAndShow(Counting(40)));
            QCOMPARE(f.editor->KeepUnsavedChanges(), std::nullopt); // nothing to keep yet
            QVERIFY(QFile::exists(Module1::WorkImagePath()));
            Press("41<Right>7");
            const std::optional<QString> kept = f.editor->KeepUnsavedChanges();
            QCOMPARE(kept, std::optional<QString>(Module1::KeptChangesPath(f.path)));
            QVERIFY(kept->endsWith(QStringLiteral("/user.bin.tms370-unsaved")));
            QVERIFY(!QFile::exists(Module1::WorkImagePath()));
            const QByteArray edited = Counting(40).replace(0, 2, "\x41\x07");
            QCOMPARE(ReadFile(*kept), edited);
            const QString time = QFileInfo(*kept).lastModified().toString("HH:mm");
            delete f.editor.data();
            QCOMPARE(ReadFile(f.path), Counting(40));

            f.Restart();
            f.ts.messages.answers << answer;
            f.editor->OfferKeptChanges();
            QCOMPARE(f.ts.messages.shown.size(), 1);
            QCOMPARE(
                f.Told(),
                QString("Unsaved changes of user.bin from %1 were kept. Open them?").arg(time));
            QVERIFY(!QFile::exists(*kept));
            QCOMPARE(f.editor->Document().Loaded(), answer == MsgAnswer::Yes);
            if (answer == MsgAnswer::Yes) {
                QVERIFY(f.editor->SourceFileName() == f.path && f.editor->Document().Modified());
                QCOMPARE(f.Image(1, 40), edited);
                f.ts.messages.answers << MsgAnswer::Yes; // Done: write the changes back
                f.Menu("mnuDone");
                QCOMPARE(ReadFile(f.path), edited);
            }
            f.Restart(); // offered once only

            f.editor->OfferKeptChanges();
            QCOMPARE(f.Boxes(), answer == MsgAnswer::Yes ? 2 : 1);
        }
    }

    void keptChangesThatCannotBeOpenedStay() {
        EditorFixture f;
        const QString user = f.WriteFile("user.bin", Counting(40));
        const QString kept = WriteFile(Module1::KeptChangesPath(user), QByteArray());
        f.ts.settings.SaveSetting("Unsaved", "user.bin.tms370-unsaved", user);
        f.ts.messages.answers << MsgAnswer::Yes;
        f.editor->OfferKeptChanges();
        QVERIFY(f.Boxes() == 2 && f.Told(1).contains("empty")); // the offer, then why not
        QVERIFY(!f.editor->Document().Loaded() && QFile::exists(kept));
        f.Restart();
        f.editor->OfferKeptChanges(); // asked again, No this time
        QCOMPARE(f.Boxes(), 3);
        QVERIFY(!QFile::exists(kept));
    }

    void editsThatCannotBeKeptAreReported() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(40)));
        Press("4");
        const QString kept = Module1::KeptChangesPath(f.path);
        QFile::remove(kept);
        QVERIFY(QDir().mkpath(kept + "/inside")); // a folder holds the name
        try {
            f.editor->KeepUnsavedChanges();
            QFAIL("kept in a folder's place");
        } catch (const platform::RuntimeError& error) {
            QVERIFY(error.Number() == platform::ErrorNumber::PathFileAccess &&
                    error.Description().contains(kept));
        }
        QVERIFY(QFile::exists(Module1::WorkImagePath()));
        QDir(kept).removeRecursively();
    }

    void closingAsksAsDone() { // with Cancel to stay
        for (const int answer : {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel}) {
            EditorFixture f;
            QVERIFY(f.OpenAndShow(Counting(40)));
            Press("4");
            f.ts.messages.answers << answer;
            QCOMPARE(f.editor->SettleBeforeEnd(), answer != MsgAnswer::Cancel);
            QCOMPARE(f.Boxes(), 1);
            QCOMPARE(f.ts.messages.shown[0].style, MsgStyle::YesNoCancel | MsgStyle::Question);
            QVERIFY(f.Told(0).startsWith('"' + f.path + "\" "));
            QCOMPARE(ReadFile(f.path).at(0), answer == MsgAnswer::Yes ? '\x04' : '\x00');
            QCOMPARE(f.editor->Document().Modified(), answer != MsgAnswer::Yes);
        }
    }
};

QTEST_MAIN(DocumentTest)
#include "tst_document.moc"
