// The document and edit session without a window: edits, history, find, compare, records, saves.
#include "ModelFixture.h"
#include "formats/IntelHex.h"

using Answer = EditorObserver::Answer;
Q_DECLARE_METATYPE(EditorObserver::Answer)
using Key = Navigation::Key;

class DocumentModelTest : public QObject {
    Q_OBJECT

    // Intel HEX of data at address, 16 bytes a record, with its end record.
    static QByteArray IntelHex(quint16 address, const QByteArray& data) {
        QByteArray text;
        for (int i = 0; i < data.size(); i += 16) {
            core::AppendIntelHexRecord(text, 0, quint16(address + i), data.constData() + i,
                                       std::min<int>(16, data.size() - i), "\n");
        }
        core::AppendIntelHexRecord(text, 1, 0, nullptr, 0, "\n");
        return text;
    }

    // Runs a script: "AB" hex digits, "t:xy" text, ">" Right, "<" Left, "!" complete, "@n" the
    // cursor to offset n, "[n" the selection from offset n to the cursor.
    static void Script(EditSession& d, const QString& script) {
        static const QRegularExpression token(QStringLiteral("t:(\\S*)|([@[])(\\d+)|(\\S)"));
        for (auto it = token.globalMatch(script); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString c = m.captured(4);
            const qint64 cursor = d.View().position;
            if (m.hasCaptured(1)) {
                for (const QChar typed : m.captured(1)) {
                    d.TypeByte(static_cast<unsigned char>(typed.toLatin1()));
                }
            } else if (m.hasCaptured(2)) {
                d.MoveTo(m.captured(3).toLongLong() + 1, false);
                if (m.captured(2) == "[") {
                    d.MoveTo(cursor, true);
                }
            } else if (c == ">" || c == "<") {
                d.Move(c == ">" ? Key::Right : Key::Left, false, false);
            } else {
                c == "!" ? d.CompletePending() : void(d.TypeHexDigit(c[0]));
            }
        }
    }

private slots:
    void typing_data() {
        // bytes: at offsets 0..2 of the cursor's start; cursor, page: afterwards
        Columns<bool, qint64, QString, QString, qint64, qint64>(
            {"advance", "length", "script", "bytes", "cursor", "page"});
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
        const auto [advance, length, script] =
            Row<bool, qint64, QString>({"advance", "length", "script"});
        ModelFixture f;
        QVERIFY(f.Open(Counting(length)));
        f.session.SetAdvance(advance);
        Script(f.session, script);
        const qint64 start =
            script.startsWith('@') ? script.mid(1).section(' ', 0, 0).toLongLong() : 0;
        QTEST(f.Hex(start + 1, 3), "bytes");
        QTEST(f.Cursor(), "cursor");
        QTEST(f.session.View().pageStart, "page");
        QVERIFY(f.document.Modified() && f.observer.Spoken().isEmpty());
    }

    void typingEndsTheSelection() { // a hex digit or a character: the cursor's, not the range's
        for (const QString typed : {"A", "t:x"}) {
            ModelFixture f;
            QVERIFY(f.Open(Counting(40)));
            Script(f.session, "@2 [6");
            QCOMPARE(f.session.Selection()->length, 5);
            Script(f.session, typed);
            QVERIFY2(!f.session.Selection(), qPrintable(typed));
        }
    }

    void pasteNeverChangesTheLength_data() {
        Columns<QString, bool, QString, QString>(
            {"text", "hex", "told", "bytes"}); // told "": pasted
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
        const auto [text, hex, told] = Row<QString, bool, QString>({"text", "hex", "told"});
        ModelFixture f;
        const QByteArray data = Counting(4) + '\0';
        QVERIFY(f.Open(data));
        QCOMPARE(f.session.Paste(text, hex), told.isEmpty());
        QTEST(f.Hex(1, f.document.Length()), "bytes");
        QCOMPARE(f.document.Modified(), told.isEmpty());
        QCOMPARE(f.session.Undo().has_value(), told.isEmpty());
        QCOMPARE(f.Whole(), data); // one step, taken back whole
        QCOMPARE(f.observer.Spoken().size(), told.isEmpty() ? 0 : 1);
        QVERIFY(f.Said(0, {told}));
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
        QVERIFY(f.Said(0, {"Copy takes up to"}));
    }

    void fillStoppedPutsEverythingBack() {
        // Several pieces long: stopped part-way, the old bytes are all there, no step is kept,
        // nothing is left beside the working image. Most of the file is made anew beside it;
        // a smaller part (the last third) keeps its old bytes aside.
        const qint64 size = 5 * ByteEdits::PieceSize + 3;
        for (const qint64 from : {0LL, 2 * size / 3}) {
            ModelFixture f;
            const QByteArray original = Counting(size, 251);
            QVERIFY(f.Open(original));
            f.SelectToEnd(from);
            f.observer.stopAfterReports = 3;
            QVERIFY(!f.session.Fill(QByteArray(1, '\x5A')));
            QCOMPARE(f.Whole(), original);
            QVERIFY(!f.session.CanUndo() && !f.document.Modified());
            const auto beside = [&] { // an empty history file may stay
                QStringList files;
                for (const QFileInfo& file : QDir(f.dir.path()).entryInfoList({"work.tmp?*"})) {
                    files << (file.size() > 0 ? file.fileName() : QString());
                }
                files.removeAll(QString());
                return files;
            };
            QCOMPARE(beside(), QStringList());

            // Done, then an edit on top: each taken back and done again in turn.
            f.observer.stopAfterReports = -1;
            QVERIFY(f.session.Fill(QByteArray(1, '\x5A')));
            const QByteArray filled = original.left(from) + QByteArray(size - from, '\x5A');
            QCOMPARE(f.Whole(), filled);
            Script(f.session, "@0 t:Q");
            QCOMPARE(f.session.Undo()->length, 1); // each step tells what it changed
            QCOMPARE(f.session.Undo()->length, size - from);
            QCOMPARE(f.Whole(), original);
            QVERIFY(f.session.Redo());
            QCOMPARE(f.Whole(), filled);
            QVERIFY(f.session.Redo());
            QCOMPARE(f.Whole(), QByteArray(filled).replace(0, 1, "Q"));
            f.document.Remove();
            QCOMPARE(beside(), QStringList());
        }
    }

    void fillOntoAFullDiskLeavesTheBytes() { // made anew, or the old bytes kept aside
        for (const qint64 from : {0LL, 3000000LL}) {
            ModelFixture f;
            const QByteArray original = Counting(4000000, 253);
            QVERIFY(f.Open(original));
            f.SelectToEnd(from);
            {
                FileSizeLimit full(500000);
                QVERIFY(!f.session.Fill(QByteArray(1, '\x11')));
            }
            QVERIFY(f.Whole() == original && !f.session.CanUndo());
            QVERIFY(f.Said(0, {"fail 75: ", "File too large"}));
        }
    }

    void findAsksToGoOnFromTheOtherEnd_data() {
        Columns<qint64, bool, QList<Answer>, qint64, int>( // landed -1: stayed
            {"cursor", "forward", "answers", "landed", "said"});
        // clang-format off
        QTest::newRow("forward, found ahead") << 0LL << true << QList<Answer>{} << 10LL << 0;
        QTest::newRow("forward, past the last: Yes") << 50LL << true << QList<Answer>{Answer::Yes} << 10LL << 1;
        QTest::newRow("forward, past the last: No") << 50LL << true << QList<Answer>{Answer::No} << -1LL << 1;
        QTest::newRow("backward, before the first: Yes") << 5LL << false << QList<Answer>{Answer::Yes} << 40LL << 1;
        // clang-format on
    }
    void findAsksToGoOnFromTheOtherEnd() {
        const auto [cursor, forward, answers, landed] =
            Row<qint64, bool, QList<Answer>, qint64>({"cursor", "forward", "answers", "landed"});
        ModelFixture f;
        QByteArray data(64, '\0');
        data.replace(10, 4, "\xDE\xAD\xBE\xEF");
        data.replace(40, 4, "\xDE\xAD\xBE\xEF");
        QVERIFY(f.Open(data));
        f.session.MoveTo(cursor + 1, false);
        f.observer.answers = answers;
        QString why;
        const bool found = f.session.Find(*SearchPattern::FromHex("DE AD BE EF", &why), forward);
        QCOMPARE(found, landed >= 0);
        QCOMPARE(f.Cursor(), landed >= 0 ? landed : cursor);
        QTEST(int(f.observer.Spoken().size()), "said");
        QVERIFY(answers.isEmpty() ||
                f.Said(0, {forward ? "Go on from the start?" : "Go on from the end?"}));
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
        Columns<QString, QList<Answer>, bool, QString>({"how", "answers", "written", "asked"});
        // clang-format off
        QTest::newRow("read-only: No") << "readonly" << QList<Answer>{Answer::No} << false << "user.bin is read-only. Replace it anyway?";
        QTest::newRow("read-only: Yes") << "readonly" << QList<Answer>{Answer::Yes} << true << "user.bin is read-only. Replace it anyway?";
        QTest::newRow("changed: No") << "changed" << QList<Answer>{Answer::No} << false << "was changed by another program";
        QTest::newRow("ours") << "plain" << QList<Answer>{} << true << "";
        // clang-format on
    }
    void writeBackAsksBeforeReplacingWhatIsNotOurs() {
        const auto [how, answers, written, asked] =
            Row<QString, QList<Answer>, bool, QString>({"how", "answers", "written", "asked"});
        ModelFixture f;
        QVERIFY(f.Open(Counting(10)));
        Script(f.session, "t:Q");
        const QByteArray theirs = how == "changed" ? "theirs" : Counting(10);
        if (how == "changed") {
            QTest::qWait(10); // another modification time
            WriteFile(f.path, theirs);
        } else if (how == "readonly") {
            QFile::setPermissions(f.path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        }
        f.observer.answers = answers;
        QVERIFY(f.document.Save() == written && f.document.Modified() != written);
        QCOMPARE(ReadFile(f.path), written ? Counting(10).replace(0, 1, "Q") : theirs);
        QVERIFY(asked.isEmpty() ? f.observer.Spoken().isEmpty() : f.Said(0, {asked}));
        if (how == "readonly") {
            // As it was, replaced or not (the user's own bits left aside: root may write all).
            QCOMPARE(int(QFile::permissions(f.path) & 0x7077), 0x4040);
        }
    }

    void recordsOpenAtTheirAddresses() {
        // Offsets are the records' addresses; Save writes records back at the same ones.
        ModelFixture f;
        QVERIFY(f.Open(IntelHex(0x1E00, Counting(40)), QStringLiteral("fw.ihx")));
        // Shown in hex, as the records give the addresses.
        QVERIFY(f.document.Length() == 40 && f.document.OffsetOf(1) == 0x1E00 &&
                f.document.OffsetHex());
        QVERIFY(f.session.GoTo(QStringLiteral("1E05h")) && f.Cursor() == 5);
        QVERIFY(!f.session.GoTo(QStringLiteral("5")));
        QVERIFY(f.Said(0, {"from 7680 to 7719 (1E00h to 1E27h)"}));
        Script(f.session, "t:Q");
        QVERIFY(f.document.Save());
        const QByteArray edited = Counting(40).replace(5, 1, "Q");
        QCOMPARE(ReadFile(f.path), IntelHex(0x1E00, edited));
        // Save As a .bin writes the bytes themselves.
        QVERIFY(f.document.WriteTo(f.dir.filePath(QStringLiteral("fw.bin"))) &&
                !f.document.Records());
        QCOMPARE(ReadFile(f.dir.filePath(QStringLiteral("fw.bin"))), edited);
    }

    void hexFileWithRecordsIsAsked() { // Yes: the image; No: the text
        for (const Answer answer : {Answer::Yes, Answer::No}) {
            ModelFixture f;
            f.observer.answers = {answer};
            const QByteArray text = IntelHex(0x100, Counting(20));
            QVERIFY(f.Open(text, QStringLiteral("fw.hex")));
            QCOMPARE(f.document.Length(), answer == Answer::Yes ? 20 : text.size());
            QCOMPARE(f.observer.Spoken().value(0),
                     "ask: fw.hex holds Intel HEX records. Open the image they describe (No opens "
                     "the file's text as bytes)?");
            QCOMPARE(f.document.Base(), answer == Answer::Yes ? 0x100 : 0);
        }
    }

    void compareWithAnotherFile() {
        ModelFixture f;
        QByteArray theirs = Counting(5000);
        theirs[100] = 'X';
        theirs[4000] = 'Y';
        theirs.chop(1);
        const QString other = WriteFile(f.dir.filePath(QStringLiteral("chip.bin")), theirs);
        QVERIFY(f.Open(Counting(5000)));
        // Nothing compared yet: nothing to say.
        QVERIFY(!f.session.NextDifference(true) && f.observer.Spoken().isEmpty());
        QVERIFY(f.session.CompareWith(other));
        QVERIFY(
            f.Said(0, {"2 bytes differ between user.bin and chip.bin in the 4999 bytes both "
                       "have. user.bin is 5000 bytes, chip.bin is 4999 bytes.",
                       "\n100: 64h here, 58h in chip.bin", "\n4000: A0h here, 59h in chip.bin"}));
        QCOMPARE(f.Cursor(), 100);
        QVERIFY(f.session.NextDifference(true) && f.Cursor() == 4000);
        QVERIFY(!f.session.NextDifference(true)); // none after: said so, the cursor stays
        QCOMPARE(f.Cursor(), 4000);
        QVERIFY(f.session.NextDifference(false) && f.Cursor() == 100);
        // Another program appends to the file meanwhile: what was compared is no longer it.
        f.observer.onProgress = [&] {
            QFile grows(other);
            QVERIFY(grows.open(QIODevice::Append) && grows.write("more") == 4);
        };
        QVERIFY(!f.session.CompareWith(other) && !f.session.Comparing());
        QVERIFY(f.Said(-1, {"chip.bin\" changed while it was being compared: it held 4999 bytes "
                            "at the start and holds 5003 now."}));
    }

    void compareWithRecordsComparesTheirImage() {
        ModelFixture f;
        QByteArray data = Counting(64);
        const QString other =
            WriteFile(f.dir.filePath(QStringLiteral("build.ihx")), IntelHex(0x1E00, data));
        data[10] = 0;
        QVERIFY(f.Open(data, QStringLiteral("chip.bin")));
        QVERIFY2(f.session.CompareWith(other), qPrintable(f.observer.said.join('|')));
        QVERIFY(f.Said(0, {"1 bytes differ", "starts at 0, build.ihx at 7680"}));
        QCOMPARE(f.Cursor(), 10);
    }

    void openOntoAFullDiskSaysWhy() {
        ModelFixture f;
        f.path = WriteFile(f.dir.filePath(QStringLiteral("user.bin")), Counting(600000));
        {
            FileSizeLimit full(100000); // the temporary folder is full
            QVERIFY(!f.document.Open(f.path));
        }
        QVERIFY(f.Said(0, {"fail 75: ", "work.tmp", "File too large"}));
        QVERIFY(!f.observer.Spoken()[0].contains("Unknown error"));
        QVERIFY(!f.document.Loaded() && !QFile::exists(f.dir.filePath("work.tmp")));
    }
};

QTEST_GUILESS_MAIN(DocumentModelTest)
#include "tst_document.moc"
