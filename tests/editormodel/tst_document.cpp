// The editor's document and edit session without a window: typing, paste, fill and their
// history, find with its wrap question, compare, records, and the write back's questions.
#include "ModelFixture.h"
#include "formats/IntelHex.h"

#include <QDir>
#include <QFileInfo>

using Answer = EditorObserver::Answer;
Q_DECLARE_METATYPE(EditorObserver::Answer)
using Key = Navigation::Key;

class DocumentModelTest : public QObject {
    Q_OBJECT

    // Intel HEX of data at address, 16 bytes a record, with its end record.
    static QByteArray IntelHex(quint16 address, const QByteArray& data) {
        QByteArray text;
        for (int i = 0; i < data.size(); i += 16) {
            const int n = std::min<int>(16, data.size() - i);
            core::AppendIntelHexRecord(text, 0, quint16(address + i), data.constData() + i, n,
                                       "\n");
        }
        core::AppendIntelHexRecord(text, 1, 0, nullptr, 0, "\n");
        return text;
    }

    // Runs a little script on the document: "AB" hex digits, 't:xy' text, ">" Right, "<" Left,
    // "!" complete, "@n" the cursor to offset n, "[n" the selection from offset n to the cursor.
    static void Script(EditSession& d, const QString& script) {
        for (int i = 0; i < script.size(); ++i) {
            const QChar c = script[i];
            if (c == '>' || c == '<') {
                d.Move(c == '>' ? Key::Right : Key::Left, false, false);
            } else if (c == '!') {
                d.CompletePending();
            } else if (c == 't' && script.mid(i, 2) == "t:") {
                for (i += 2; i < script.size() && script[i] != ' '; ++i) {
                    d.TypeByte(static_cast<unsigned char>(script[i].toLatin1()));
                }
            } else if (c == '@' || c == '[') {
                int j = i + 1;
                while (j < script.size() && script[j].isDigit()) {
                    ++j;
                }
                const qint64 n = script.mid(i + 1, j - i - 1).toLongLong();
                if (c == '@') {
                    d.MoveTo(n + 1, false);
                } else {
                    const qint64 cursor = d.View().position;
                    d.MoveTo(n + 1, false);
                    d.MoveTo(cursor, true);
                }
                i = j - 1;
            } else if (c != ' ') {
                d.TypeHexDigit(c);
            }
        }
    }

private slots:
    void typing_data() {
        QTest::addColumn<bool>("advance");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("bytes"); // at offsets 0..2 of the cursor's start
        QTest::addColumn<qint64>("cursor"); // offset afterwards
        QTest::addColumn<qint64>("page");   // page start afterwards
        // clang-format off
        QTest::newRow("on: one byte") << true << 1000LL << "AB" << "AB 01 02" << 1LL << 1LL;
        QTest::newRow("on: a run") << true << 1000LL << "ABCDEF" << "AB CD EF" << 3LL << 1LL;
        QTest::newRow("on: a half byte completed by a move") << true << 1000LL << "7>" << "07 01 02" << 1LL << 1LL;
        QTest::newRow("on: a half byte completed") << true << 1000LL << "7!" << "07 01 02" << 0LL << 1LL;
        QTest::newRow("on: text") << true << 1000LL << "t:xy" << "78 79 02" << 2LL << 1LL;
        QTest::newRow("on: across rows and pages") << true << 1000LL << "@319 AB" << "AB 40 41" << 320LL << 17LL;
        QTest::newRow("on: the last byte stays") << true << 3LL << "@2 ABCD" << "CD" << 2LL << 1LL;
        // clang-format on
    }
    void typing() {
        QFETCH(bool, advance);
        QFETCH(qint64, length);
        QFETCH(QString, script);
        ModelFixture f;
        QVERIFY(f.Open(Counting(length)));
        f.session.SetAdvance(advance);
        Script(f.session, script);
        const qint64 start =
            script.startsWith('@') ? script.mid(1).section(' ', 0, 0).toLongLong() : 0;
        QTEST(QString::fromLatin1(f.Image(start + 1, 3).toHex(' ').toUpper()), "bytes");
        QTEST(f.session.View().position - 1, "cursor");
        QTEST(f.session.View().pageStart, "page");
        QVERIFY(f.document.Modified());
        QVERIFY(f.observer.Spoken().isEmpty());
    }

    void typingEndsTheSelection_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("a hex digit") << "@2 [6 A";
        QTest::newRow("a character") << "@2 [6 t:x";
    }
    void typingEndsTheSelection() {
        QFETCH(QString, script);
        ModelFixture f;
        QVERIFY(f.Open(Counting(40)));
        Script(f.session, script.section(' ', 0, 1));
        QCOMPARE(f.session.Selection()->length, 5);
        Script(f.session, script.section(' ', 2));
        QVERIFY(!f.session.Selection()); // the byte typed is the cursor's, not the range's
    }

    void pasteNeverChangesTheLength_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("told"); // empty: pasted
        QTest::addColumn<QString>("bytes");
        // clang-format off
        QTest::newRow("hex") << "DE AD be ef" << true << "" << "DE AD BE EF 00";
        QTest::newRow("hex without spaces") << "DEADBEEF" << true << "" << "DE AD BE EF 00";
        QTest::newRow("text in the code page") << QString("\u20acA") << false << "" << "80 41 02 03 00";
        QTest::newRow("past the end") << "01 02 03 04 05 06" << true << "1 bytes do not fit: the paste holds 6 bytes, and 5 are left from offset 0" << "00 01 02 03 00";
        QTest::newRow("not hex") << "DE AG" << true << "\"G\" is not a hex digit" << "00 01 02 03 00";
        QTest::newRow("half a byte") << "DE A" << true << "one hex digit only" << "00 01 02 03 00";
        QTest::newRow("outside the code page") << QString("\u0416") << false << "Windows-1252" << "00 01 02 03 00";
        QTest::newRow("empty") << "" << true << "empty" << "00 01 02 03 00";
        // clang-format on
    }
    void pasteNeverChangesTheLength() {
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(QString, told);
        ModelFixture f;
        QByteArray data = Counting(4);
        data += '\0';
        QVERIFY(f.Open(data));
        QCOMPARE(f.session.Paste(text, hex), told.isEmpty());
        QTEST(QString::fromLatin1(f.Whole().toHex(' ').toUpper()), "bytes");
        QCOMPARE(f.document.Modified(), told.isEmpty());
        QCOMPARE(f.session.Undo().has_value(), told.isEmpty());
        QCOMPARE(f.Whole(), data); // one step, taken back whole
        const QStringList spoken = f.observer.Spoken();
        QVERIFY2(told.isEmpty() ? spoken.isEmpty() : spoken.size() == 1 && spoken[0].contains(told),
                 qPrintable(spoken.join('|')));
    }

    void copyOfTooMuchIsRefused() {
        ModelFixture f;
        const QString path = f.dir.filePath(QStringLiteral("big.bin"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(EditSession::MaxCopy + 1));
        }
        QVERIFY(f.document.Open(path));
        f.session.SelectAll();
        QCOMPARE(f.session.Copy(true), std::nullopt);
        QVERIFY(f.observer.Spoken().value(0).contains("Copy takes up to"));
    }

    void fillStoppedPutsEverythingBack_data() {
        QTest::addColumn<qint64>("from"); // 0-based offset of the selection's start
        QTest::addColumn<int>("reports"); // the report that stops it
        // Most of the file is made anew beside it; a smaller part keeps its old bytes aside.
        QTest::newRow("the whole file") << 0LL << 3;
        QTest::newRow("the last third") << 2 * (5 * ByteEdits::PieceSize + 3) / 3 << 3;
    }
    void fillStoppedPutsEverythingBack() {
        // Several pieces long: stopped part-way, the old bytes are all there and no step is
        // kept; nothing is left beside the working image.
        QFETCH(qint64, from);
        QFETCH(int, reports);
        ModelFixture f;
        const qint64 size = 5 * ByteEdits::PieceSize + 3;
        const QByteArray original = Counting(size, 251);
        QVERIFY(f.Open(original));
        f.session.MoveTo(from + 1, false);
        f.session.Move(Key::End, true, true);
        f.observer.stopAfterReports = reports;
        QVERIFY(!f.session.Fill(QByteArray(1, '\x5A')));
        QCOMPARE(f.Whole(), original);
        QVERIFY(!f.session.CanUndo() && !f.document.Modified());
        const auto beside = [&] {
            QStringList files = QDir(f.dir.path()).entryList({"work.tmp*"}, QDir::Files);
            files.removeAll("work.tmp");
            for (const QString& name : files) {
                if (QFileInfo(f.dir.filePath(name)).size() == 0) {
                    files.removeAll(name); // an empty history file may stay
                }
            }
            return files;
        };
        QCOMPARE(beside(), QStringList());

        // Done, then an edit on top: each taken back and done again in turn.
        f.observer.stopAfterReports = -1;
        QVERIFY(f.session.Fill(QByteArray(1, '\x5A')));
        QByteArray filled = original;
        std::fill(filled.begin() + from, filled.end(), '\x5A');
        QCOMPARE(f.Whole(), filled);
        Script(f.session, "@0 t:Q");
        QByteArray typed = filled;
        typed[0] = 'Q';
        QCOMPARE(f.session.Undo()->length, 1); // each step tells what it changed
        QCOMPARE(f.session.Undo()->length, size - from);
        QCOMPARE(f.Whole(), original);
        QVERIFY(f.session.Redo());
        QCOMPARE(f.Whole(), filled);
        QVERIFY(f.session.Redo());
        QCOMPARE(f.Whole(), typed);
        QCOMPARE(f.document.Length(), size);
        f.document.Remove();
        QCOMPARE(beside(), QStringList());
    }

    void fillOntoAFullDiskLeavesTheBytes_data() {
        QTest::addColumn<qint64>("from");
        QTest::newRow("made anew") << 0LL;
        QTest::newRow("old bytes kept aside") << 3000000LL;
    }
    void fillOntoAFullDiskLeavesTheBytes() {
        QFETCH(qint64, from);
        ModelFixture f;
        const QByteArray original = Counting(4000000, 253);
        QVERIFY(f.Open(original));
        f.session.MoveTo(from + 1, false);
        f.session.Move(Key::End, true, true);
        {
            FileSizeLimit full(500000);
            QVERIFY(!f.session.Fill(QByteArray(1, '\x11')));
        }
        QCOMPARE(f.Whole(), original);
        QVERIFY(!f.session.CanUndo());
        const QString told = f.observer.Spoken().value(0);
        QVERIFY2(told.startsWith("fail 75: ") && told.contains("File too large"), qPrintable(told));
    }

    void findAsksToGoOnFromTheOtherEnd_data() {
        QTest::addColumn<qint64>("cursor");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<qint64>("landed"); // offset, or -1: stayed
        QTest::addColumn<int>("said");
        // clang-format off
        QTest::newRow("forward, found ahead") << 0LL << true << QList<Answer>{} << 10LL << 0;
        QTest::newRow("forward, past the last: Yes") << 50LL << true << QList<Answer>{Answer::Yes} << 10LL << 1;
        QTest::newRow("forward, past the last: No") << 50LL << true << QList<Answer>{Answer::No} << -1LL << 1;
        QTest::newRow("backward, before the first: Yes") << 5LL << false << QList<Answer>{Answer::Yes} << 40LL << 1;
        // clang-format on
    }
    void findAsksToGoOnFromTheOtherEnd() {
        QFETCH(qint64, cursor);
        QFETCH(bool, forward);
        QFETCH(QList<Answer>, answers);
        ModelFixture f;
        QByteArray data(64, '\0');
        data.replace(10, 4, "\xDE\xAD\xBE\xEF");
        data.replace(40, 4, "\xDE\xAD\xBE\xEF");
        QVERIFY(f.Open(data));
        f.session.MoveTo(cursor + 1, false);
        f.observer.answers = answers;
        QString why;
        const bool found = f.session.Find(*SearchPattern::FromHex("DE AD BE EF", &why), forward);
        QFETCH(qint64, landed);
        QCOMPARE(found, landed >= 0);
        QCOMPARE(f.session.View().position - 1, landed >= 0 ? landed : cursor);
        QTEST(int(f.observer.Spoken().size()), "said");
        if (!answers.isEmpty()) {
            QVERIFY(f.observer.Spoken()[0].contains(forward ? "Go on from the start?"
                                                            : "Go on from the end?"));
        }
    }

    void findNowhereSaysSo() {
        ModelFixture f;
        QVERIFY(f.Open(Counting(100)));
        f.observer.answers = {Answer::Yes};
        QString why;
        QVERIFY(!f.session.Find(*SearchPattern::FromText("nothing", true, &why), true));
        QCOMPARE(f.observer.Spoken().value(1), "tell: \"nothing\" was not found in the file.");
    }

    void writeBackAsksBeforeReplacingWhatIsNotOurs_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("asked");
        // clang-format off
        QTest::newRow("read-only: No") << "readonly" << QList<Answer>{Answer::No} << false << "user.bin is read-only. Replace it anyway?";
        QTest::newRow("read-only: Yes") << "readonly" << QList<Answer>{Answer::Yes} << true << "user.bin is read-only. Replace it anyway?";
        QTest::newRow("changed: No") << "changed" << QList<Answer>{Answer::No} << false << "was changed by another program";
        QTest::newRow("ours") << "plain" << QList<Answer>{} << true << "";
        // clang-format on
    }
    void writeBackAsksBeforeReplacingWhatIsNotOurs() {
        QFETCH(QString, how);
        QFETCH(QList<Answer>, answers);
        QFETCH(bool, written);
        QFETCH(QString, asked);
        ModelFixture f;
        QVERIFY(f.Open(Counting(10)));
        Script(f.session, "t:Q");
        QByteArray theirs = Counting(10);
        if (how == "changed") {
            theirs = "theirs";
            QTest::qWait(10); // another modification time
            WriteFile(f.path, theirs);
        } else if (how == "readonly") {
            QFile::setPermissions(f.path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        }
        f.observer.answers = answers;
        QCOMPARE(f.document.Save(), written);
        QByteArray edited = Counting(10);
        edited[0] = 'Q';
        QCOMPARE(ReadFile(f.path), written ? edited : theirs);
        QCOMPARE(f.document.Modified(), !written);
        const QStringList spoken = f.observer.Spoken();
        QVERIFY2(asked.isEmpty() ? spoken.isEmpty() : spoken.value(0).contains(asked),
                 qPrintable(spoken.join('|')));
        if (how == "readonly") {
            // As it was, replaced or not (the user's own bits left aside: root may write all).
            QCOMPARE(int(QFile::permissions(f.path) & 0x7077), 0x4040);
        }
    }

    void recordsOpenAtTheirAddresses() {
        // Offsets are the records' addresses; Save writes records back at the same ones.
        ModelFixture f;
        QVERIFY(f.Open(IntelHex(0x1E00, Counting(40)), QStringLiteral("fw.ihx")));
        QCOMPARE(f.document.Length(), 40);
        QCOMPARE(f.document.OffsetOf(1), 0x1E00);
        QVERIFY(f.document.OffsetHex()); // as the records give the addresses
        QVERIFY(f.session.GoTo(QStringLiteral("1E05h")));
        QCOMPARE(f.session.View().position, 6);
        QVERIFY(!f.session.GoTo(QStringLiteral("5")));
        QVERIFY(f.observer.Spoken().value(0).contains("from 7680 to 7719 (1E00h to 1E27h)"));
        Script(f.session, "t:Q");
        QVERIFY(f.document.Save());
        QByteArray edited = Counting(40);
        edited[5] = 'Q';
        QCOMPARE(ReadFile(f.path), IntelHex(0x1E00, edited));
        // Save As a .bin writes the bytes themselves.
        const QString bin = f.dir.filePath(QStringLiteral("fw.bin"));
        QVERIFY(f.document.WriteTo(bin));
        QCOMPARE(ReadFile(bin), edited);
        QVERIFY(!f.document.Records());
    }

    void hexFileWithRecordsIsAsked_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<qint64>("length");
        QTest::newRow("Yes: the image") << Answer::Yes << 20LL;
        QTest::newRow("No: the text") << Answer::No << qint64(IntelHex(0x100, Counting(20)).size());
    }
    void hexFileWithRecordsIsAsked() {
        QFETCH(Answer, answer);
        ModelFixture f;
        f.observer.answers = {answer};
        QVERIFY(f.Open(IntelHex(0x100, Counting(20)), QStringLiteral("fw.hex")));
        QTEST(f.document.Length(), "length");
        QCOMPARE(f.observer.Spoken().value(0),
                 "ask: fw.hex holds Intel HEX records. Open the image they describe (No opens the "
                 "file's text as bytes)?");
        QCOMPARE(f.document.Base(), answer == Answer::Yes ? 0x100 : 0);
    }

    void compareWithAnotherFile() {
        ModelFixture f;
        QByteArray theirs = Counting(5000);
        theirs[100] = 'X';
        theirs[4000] = 'Y';
        theirs.chop(1);
        const QString other = WriteFile(f.dir.filePath(QStringLiteral("chip.bin")), theirs);
        QVERIFY(f.Open(Counting(5000)));
        QVERIFY(!f.session.NextDifference(true)); // nothing compared yet: nothing to say
        QVERIFY(f.observer.Spoken().isEmpty());
        QVERIFY(f.session.CompareWith(other));
        const QString told = f.observer.Spoken().value(0);
        QVERIFY2(told.contains("2 bytes differ between user.bin and chip.bin in the 4999 bytes "
                               "both have. user.bin is 5000 bytes, chip.bin is 4999 bytes.") &&
                     told.contains("\n100: 64h here, 58h in chip.bin") &&
                     told.contains("\n4000: A0h here, 59h in chip.bin"),
                 qPrintable(told));
        QCOMPARE(f.session.View().position - 1, 100);
        QVERIFY(f.session.NextDifference(true));
        QCOMPARE(f.session.View().position - 1, 4000);
        QVERIFY(!f.session.NextDifference(true)); // none after: said so, the cursor stays
        QCOMPARE(f.session.View().position - 1, 4000);
        QVERIFY(f.session.NextDifference(false));
        QCOMPARE(f.session.View().position - 1, 100);
        // Another program appends to the file meanwhile: what was compared is no longer it.
        f.observer.onProgress = [&] {
            QFile grows(other);
            QVERIFY(grows.open(QIODevice::Append) && grows.write("more") == 4);
        };
        QVERIFY(!f.session.CompareWith(other) && !f.session.Comparing());
        QVERIFY2(f.observer.Spoken().last().contains("chip.bin\" changed while it was being "
                                                     "compared: it held 4999 bytes at the start "
                                                     "and holds 5003 now."),
                 qPrintable(f.observer.Spoken().last()));
    }

    void compareWithRecordsComparesTheirImage() {
        ModelFixture f;
        QByteArray data = Counting(64);
        const QString other =
            WriteFile(f.dir.filePath(QStringLiteral("build.ihx")), IntelHex(0x1E00, data));
        data[10] = 0;
        QVERIFY(f.Open(data, QStringLiteral("chip.bin")));
        QVERIFY2(f.session.CompareWith(other), qPrintable(f.observer.said.join('|')));
        const QString told = f.observer.Spoken().value(0);
        QVERIFY2(told.contains("1 bytes differ") && told.contains("starts at 0, build.ihx at 7680"),
                 qPrintable(told));
        QCOMPARE(f.session.View().position - 1, 10);
    }

    void openOntoAFullDiskSaysWhy() {
        ModelFixture f;
        f.path = WriteFile(f.dir.filePath(QStringLiteral("user.bin")), Counting(600000));
        {
            FileSizeLimit full(100000); // the temporary folder is full
            QVERIFY(!f.document.Open(f.path));
        }
        const QString told = f.observer.Spoken().value(0);
        QVERIFY2(told.startsWith("fail 75: ") && told.contains("work.tmp") &&
                     told.contains("File too large") && !told.contains("Unknown error"),
                 qPrintable(told));
        QVERIFY(!f.document.Loaded() && !QFile::exists(f.dir.filePath("work.tmp")));
    }
};

QTEST_GUILESS_MAIN(DocumentModelTest)
#include "tst_document.moc"
