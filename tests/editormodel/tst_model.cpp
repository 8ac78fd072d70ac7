// The Memory window's document on Qt Core: the working image and its history, cursor moves,
// edits, find, go to, compare, records files in and out, saves and the questions they ask.
#include "ModelFixture.h"
#include "editor/model/Bookmarks.h"
#include "editor/model/ByteEdits.h"
#include "editor/model/CellText.h"
#include "editor/model/CursorValues.h"
#include "editor/model/DocumentFields.h"
#include "editor/model/ImageCompare.h"
#include "editor/model/ImageSearch.h"
#include "editor/model/WorkImage.h"
#include "formats/IntelHex.h"

#include <sys/stat.h>

using Answer = EditorObserver::Answer;
Q_DECLARE_METATYPE(EditorObserver::Answer)
using Key = Navigation::Key;

namespace {

constexpr qint64 Chunk = ImageSearch::ChunkSize;
constexpr qint64 Size = Chunk + 1000;

// DE AD BE EF at the start, across the first chunk's end and at the end; Hello in 3 cases.
QByteArray Planted() {
    QByteArray data(Size, '\0');
    for (const qint64 at : {qint64(0), Chunk - 2, Size - 4}) {
        data.replace(at, 4, "\xDE\xAD\xBE\xEF");
    }
    return data.replace(100, 5, "Hello").replace(2000, 5, "HELLO").replace(Chunk + 500, 5, "hello");
}

// data with the bytes at offsets changed: flipped in one bit, in turn the lowest to the
// highest, so every bit of a byte is a difference once.
QByteArray Changed(QByteArray data, const QList<qint64>& offsets) {
    int bit = 0;
    for (const qint64 offset : offsets) {
        data[offset] = static_cast<char>(data[offset] ^ (1 << (bit++ % 8)));
    }
    return data;
}

// Intel HEX of data at address, 16 bytes a record, with its end record.
QByteArray IntelHex(quint16 address, const QByteArray& data) {
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
void Script(EditSession& d, const QString& script) {
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

} // namespace

class EditorModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QFile ours_;
    QFile theirs_;

    void Load(WorkImage& image, const QByteArray& data, const WorkImage::Progress& progress = {}) {
        QFile in(WriteFile(dir_.filePath(QStringLiteral("in.bin")), data));
        QVERIFY(in.open(QIODevice::ReadOnly));
        image.Load(in, progress);
    }

    void OpenPair(const QByteArray& ours, const QByteArray& theirs) {
        for (auto [file, data] : {std::pair{&ours_, ours}, std::pair{&theirs_, theirs}}) {
            file->close();
            file->setFileName(WriteFile(dir_.filePath(file == &ours_ ? "ours" : "theirs"), data));
            QVERIFY(file->open(QIODevice::ReadOnly));
        }
    }

private slots:
    void moves_data() {
        // cursor: 0-based offset; key: ^ for Ctrl
        Columns<qint64, qint64, qint64, QString, qint64, qint64>(
            {"length", "page", "cursor", "key", "newPage", "newCursor"});
        // clang-format off
        QTest::newRow("Ctrl+End, 320: the last row holds the last byte") << 320LL << 1LL << 0LL << "^End" << 17LL << 319LL;
        QTest::newRow("Ctrl+End, 100: one short page") << 100LL << 1LL << 0LL << "^End" << 1LL << 99LL;
        QTest::newRow("Ctrl+End, 4801") << 4801LL << 1LL << 0LL << "^End" << 4497LL << 4800LL;
        QTest::newRow("Ctrl+Home") << 1000LL << 961LL << 970LL << "^Home" << 1LL << 0LL;
        QTest::newRow("PgDown on the short last page") << 1000LL << 961LL << 961LL << "PgDown" << 961LL << 961LL;
        QTest::newRow("PgDown to the last page") << 1000LL << 641LL << 640LL << "PgDown" << 961LL << 960LL;
        QTest::newRow("PgDown, one byte past a page") << 321LL << 1LL << 5LL << "PgDown" << 1LL << 5LL;
        QTest::newRow("PgDown, 960 at 641") << 960LL << 641LL << 640LL << "PgDown" << 641LL << 640LL;
        QTest::newRow("PgDown settles before the end") << 1000LL << 641LL << 959LL << "PgDown" << 961LL << 999LL;
        QTest::newRow("PgUp from 17") << 1000LL << 17LL << 20LL << "PgUp" << 1LL << 4LL;
        QTest::newRow("PgUp at the top") << 1000LL << 1LL << 20LL << "PgUp" << 1LL << 20LL;
        QTest::newRow("Ctrl+PgDown past the data") << 40LL << 1LL << 10LL << "^PgDown" << 1LL << 10LL;
        QTest::newRow("Ctrl+PgDown") << 1000LL << 1LL << 10LL << "^PgDown" << 1LL << 314LL;
        QTest::newRow("Ctrl+PgUp") << 1000LL << 1LL << 314LL << "^PgUp" << 1LL << 10LL;
        QTest::newRow("Up on the first row scrolls") << 1000LL << 33LL << 35LL << "Up" << 17LL << 19LL;
        QTest::newRow("Up at the top") << 1000LL << 1LL << 3LL << "Up" << 1LL << 3LL;
        QTest::newRow("Down on the last row scrolls") << 1000LL << 1LL << 310LL << "Down" << 17LL << 326LL;
        QTest::newRow("Down, short last page") << 1000LL << 961LL << 994LL << "Down" << 961LL << 994LL;
        QTest::newRow("Down into a short row settles") << 330LL << 1LL << 317LL << "Down" << 17LL << 329LL;
        QTest::newRow("Down past the data") << 40LL << 1LL << 30LL << "Down" << 1LL << 30LL;
        QTest::newRow("Right at the last byte") << 40LL << 1LL << 39LL << "Right" << 1LL << 39LL;
        QTest::newRow("Right wraps a row") << 1000LL << 1LL << 15LL << "Right" << 1LL << 16LL;
        QTest::newRow("Right at the page's end scrolls") << 1000LL << 1LL << 319LL << "Right" << 17LL << 320LL;
        QTest::newRow("Left wraps a row") << 1000LL << 1LL << 16LL << "Left" << 1LL << 15LL;
        QTest::newRow("Left at the page's start scrolls") << 1000LL << 17LL << 16LL << "Left" << 1LL << 15LL;
        QTest::newRow("Left at the first byte") << 1000LL << 1LL << 0LL << "Left" << 1LL << 0LL;
        QTest::newRow("Home") << 1000LL << 1LL << 37LL << "Home" << 1LL << 32LL;
        QTest::newRow("End") << 1000LL << 1LL << 37LL << "End" << 1LL << 47LL;
        QTest::newRow("End on a short row stays") << 40LL << 1LL << 32LL << "End" << 1LL << 32LL;
        QTest::newRow("Ctrl+End past 4 GiB") << (1LL << 32) + 1000 << 1LL << 0LL << "^End" << (1LL << 32) + 993 - 304 << (1LL << 32) + 999;
        QTest::newRow("PgUp past 4 GiB") << (1LL << 32) + 1000 << (1LL << 32) + 993 - 304 << (1LL << 32) + 999 << "PgUp" << (1LL << 32) + 993 - 624 << (1LL << 32) + 679;
        // clang-format on
    }
    void moves() {
        const auto [length, page, cursor, key] =
            Row<qint64, qint64, qint64, QString>({"length", "page", "cursor", "key"});
        static const QHash<QString, Key> keys = {{"Left", Key::Left},   {"Right", Key::Right},
                                                 {"Up", Key::Up},       {"Down", Key::Down},
                                                 {"PgUp", Key::PageUp}, {"PgDown", Key::PageDown},
                                                 {"Home", Key::Home},   {"End", Key::End}};
        const bool ctrl = key.startsWith('^');
        const Navigation::View after =
            Navigation::Move({page, cursor + 1}, keys.value(key.mid(ctrl ? 1 : 0)), ctrl, length);
        QTEST(after.pageStart, "newPage");
        QTEST(after.position - 1, "newCursor");
        // Wherever it goes, the cursor is on the page and on the data.
        QVERIFY(after.position >= after.pageStart && after.position <= length &&
                Navigation::RowOf(after) < Navigation::Rows(after.pageStart, length));
    }

    void showPagesOnlyWhenNeeded() {
        // A byte on the page keeps it; another goes to the page paging would show it on.
        QCOMPARE(Navigation::Show({17, 20}, 300, 1000), (Navigation::View{17, 300}));
        QCOMPARE(Navigation::Show({17, 20}, 700, 1000), (Navigation::View{641, 700}));
        QCOMPARE(Navigation::Show({1, 20}, 990, 1000), (Navigation::View{689, 990}));
    }

    void cellTexts() { // the text pane in the code page
        QString cells;
        for (const char byte :
             QByteArray("\x00\x1f\x20\x21\x7f\x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xe9\xff", 15)) {
            cells += CellText::ByteToText(static_cast<unsigned char>(byte));
        }
        QCOMPARE(cells, QStringLiteral("...!.\u20ac.....\u0178\u00a0\u00e9\u00ff"));
    }

    void typing_data() {
        // Advance on. bytes: at offsets 0..2 of the cursor's start; cursor, page: afterwards
        Columns<qint64, QString, QString, qint64, qint64>(
            {"length", "script", "bytes", "cursor", "page"});
        // clang-format off
        QTest::newRow("one byte") << 1000LL << "AB" << "AB 01 02" << 1LL << 1LL;
        QTest::newRow("a run") << 1000LL << "ABCDEF" << "AB CD EF" << 3LL << 1LL;
        QTest::newRow("a half byte completed by a move") << 1000LL << "7>" << "07 01 02" << 1LL << 1LL;
        QTest::newRow("a half byte completed") << 1000LL << "7!" << "07 01 02" << 0LL << 1LL;
        QTest::newRow("text") << 1000LL << "t:xy" << "78 79 02" << 2LL << 1LL;
        QTest::newRow("across rows and pages") << 1000LL << "@319 AB" << "AB 40 41" << 320LL << 17LL;
        QTest::newRow("the last byte stays") << 3LL << "@2 ABCD" << "CD" << 2LL << 1LL;
        // The cursor's byte, not the selection's: the selection ends.
        QTest::newRow("a digit in a selection") << 40LL << "@2 [6 A!" << "0A 03 04" << 2LL << 1LL;
        QTest::newRow("a character in a selection") << 40LL << "@2 [6 t:x" << "78 03 04" << 3LL << 1LL;
        // clang-format on
    }
    void typing() {
        const auto [length, script] = Row<qint64, QString>({"length", "script"});
        ModelFixture f;
        QVERIFY(f.Open(Counting(length)));
        f.session.SetAdvance(true);
        Script(f.session, script);
        const qint64 start =
            script.startsWith('@') ? script.mid(1).section(' ', 0, 0).toLongLong() : 0;
        QTEST(f.Hex(start + 1, 3), "bytes");
        QTEST(f.Cursor(), "cursor");
        QTEST(f.session.View().pageStart, "page");
        QVERIFY(f.document.Modified() && f.observer.said.isEmpty() && !f.session.Selection());
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
        QCOMPARE(f.observer.said.size(), told.isEmpty() ? 0 : 1);
        QVERIFY(f.Said(0, {told}));
    }

    void undoRedoAndTheSavedStep() {
        // Each step "action=shown": u undo, r redo, s save, or a script; then the cursor, the
        // bytes at offsets 0 and 321, "*" while modified.
        ModelFixture f;
        QVERIFY(f.Open(Counting(1000)));
        const QStringList steps =
            QStringLiteral("AB @321 t:Z=321 AB5A*|u=321 AB41*|u=0 0041|u=0 0041|r=0 AB41*|"
                           "r=321 AB5A*|s=321 AB5A|u=321 AB41*|r=321 AB5A|u=321 AB41*|"
                           "t:Q=321 AB51*|r=321 AB51*|u=321 AB41*|4=321 AB41*|u=321 AB41*|"
                           "!=321 AB41*")
                .split('|');
        for (const QString& step : steps) {
            const QString action = step.section('=', 0, 0);
            action == "u"   ? void(f.session.Undo())
            : action == "r" ? void(f.session.Redo())
            : action == "s" ? void(f.document.Save())
                            : Script(f.session, action);
            QCOMPARE(QStringLiteral("%1=%2 %3%4%5")
                         .arg(action)
                         .arg(f.Cursor())
                         .arg(f.Hex(1, 1), f.Hex(322, 1), f.document.Modified() ? "*" : ""),
                     step);
        }
        QCOMPARE(ReadFile(f.path).mid(320, 2), QByteArray("\x40\x5A"));
    }

    void find_data() {
        // from: the cursor's offset, negative: backwards from -from; text "=…": case matched;
        // offsets: Find's, then FindAgain's, -1: not found (the cursor stays); said: the last
        Columns<QString, bool, qint64, QList<Answer>, QList<qint64>, QString>(
            {"text", "hex", "from", "answers", "offsets", "said"});
        using L = QList<qint64>;
        using A = QList<Answer>;
        const QString onStart = "Go on from the start?", onEnd = "Go on from the end?";
        // clang-format off
        QTest::newRow("hex onwards") << "DE AD BE EF" << true << 0LL << A{} << L{0, Chunk - 2, Size - 4, -1} << onStart;
        QTest::newRow("hex backwards from the end") << "deadbeef" << true << -(Size - 1) << A{} << L{Size - 4, Chunk - 2, 0, -1} << onEnd;
        QTest::newRow("hex, the last place it fits") << "DEADBEEF" << true << Size - 4 << A{} << L{Size - 4, -1} << onStart;
        QTest::newRow("text, any case") << "hello" << false << 0LL << A{} << L{100, 2000, Chunk + 500, -1} << onStart;
        QTest::newRow("text, case matched") << "=HELLO" << false << 0LL << A{} << L{2000, -1} << onStart;
        QTest::newRow("past the last, Yes: from the start") << "DEADBEEF" << true << Size - 2 << A{Answer::Yes} << L{0, Chunk - 2} << onStart;
        QTest::newRow("before the first, Yes: from the end") << "hello" << false << -50LL << A{Answer::Yes} << L{Chunk + 500, 2000} << onEnd;
        QTest::newRow("nowhere, Yes") << "DE AD BE EE" << true << 0LL << A{Answer::Yes} << L{-1} << "tell: \"DE AD BE EE\" was not found in the file.";
        QTest::newRow("nothing to find") << " " << true << 0LL << A{} << L{} << "Enter the bytes";
        // clang-format on
    }
    void find() {
        const auto [text, hex, from, answers, offsets, said] =
            Row<QString, bool, qint64, QList<Answer>, QList<qint64>, QString>(
                {"text", "hex", "from", "answers", "offsets", "said"});
        ModelFixture f;
        QVERIFY(f.Open(Planted()));
        f.session.MoveTo(qAbs(from) + 1, false);
        f.observer.answers = answers;
        QString why;
        const bool matchCase = text.startsWith('=');
        const std::optional<SearchPattern> pattern =
            hex ? SearchPattern::FromHex(text, &why)
                : SearchPattern::FromText(text.mid(matchCase ? 1 : 0), matchCase, &why);
        QCOMPARE(pattern.has_value(), !offsets.isEmpty());
        qint64 at = qAbs(from);
        for (int i = 0; i < offsets.size(); ++i) {
            const bool found =
                i == 0 ? f.session.Find(*pattern, from >= 0) : f.session.FindAgain(from >= 0);
            QCOMPARE(found, offsets[i] >= 0);
            at = found ? offsets[i] : at;
            const Navigation::View view = f.session.View();
            QVERIFY(f.Cursor() == at && view.pageStart <= view.position &&
                    view.position < view.pageStart + 320);
        }
        QVERIFY(pattern ? f.Said(-1, {said}) : why.contains(said));
    }

    void goTo_data() {
        // offset: -1: refused, the cursor stays
        Columns<QString, qint64, qint64>({"text", "offset", "page"});
        // clang-format off
        QTest::newRow("last of the first page") << "319" << 319LL << 1LL;
        QTest::newRow("decimal") << " 8000 " << 8000LL << 8001LL;
        QTest::newRow("h suffix") << "1F40h" << 8000LL << 8001LL;
        QTest::newRow("0x") << "0x1f40" << 8000LL << 8001LL;
        QTest::newRow("dollar") << "$1F40" << 8000LL << 8001LL;
        QTest::newRow("last, where no whole page is left") << "9999" << 9999LL << 10001LL - 304;
        QTest::newRow("past the end") << "2710h" << -1LL << 1LL;
        QTest::newRow("hex without its mark") << "1F40" << -1LL << 1LL;
        QTest::newRow("a mark alone") << "0x" << -1LL << 1LL;
        QTest::newRow("negative") << "-5" << -1LL << 1LL;
        // clang-format on
    }
    void goTo() {
        const auto [text, offset] = Row<QString, qint64>({"text", "offset"});
        ModelFixture f;
        QVERIFY(f.Open(Counting(10000)));
        QCOMPARE(f.session.GoTo(text), offset >= 0);
        QCOMPARE(f.Cursor(), std::max<qint64>(offset, 0));
        QTEST(f.session.View().pageStart, "page");
        QVERIFY(offset >= 0 ? f.observer.said.isEmpty()
                            : f.Said(0, {text.trimmed(), "from 0 to 9999"}));
    }

    void refusalsSayWhy() {
        // Refused files leave the document: an empty file, a pipe (it would block), the image.
        ModelFixture f;
        QVERIFY(f.Open(Counting(100)));
        const QString pipe = f.dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QList<std::pair<QString, QString>> refused = {
            {WriteFile(f.dir.filePath("empty"), {}), "is empty"},
            {pipe, "opens files only"},
            {f.dir.filePath("work.tmp"), "working copy"}};
        for (const auto& [path, words] : refused) {
            QVERIFY(!f.document.CanOpen(path) && f.Said(-1, {path, words}));
            QVERIFY(f.document.Loaded() && f.document.SourceName() == f.path);
        }
        QCOMPARE(f.Whole(), Counting(100));
        // Something at the working image's name that cannot be removed: the open says where.
        ModelFixture g;
        QVERIFY(QDir().mkpath(g.dir.filePath(QStringLiteral("work.tmp/inner"))));
        QVERIFY(!g.Open(Counting(40)) && !g.document.Loaded());
        QVERIFY(g.Said(0, {g.dir.filePath("work.tmp")}));
        // A full disk under the copy: said why, nothing left.
        QVERIFY(QDir(g.dir.filePath("work.tmp")).removeRecursively());
        g.path = WriteFile(g.dir.filePath(QStringLiteral("user.bin")), Counting(600000));
        {
            FileSizeLimit full(100000);
            QVERIFY(!g.document.Open(g.path));
        }
        QVERIFY(g.Said(1, {"fail 75: ", "work.tmp", "File too large"}));
        QVERIFY(!g.observer.said[1].contains("Unknown error"));
        QVERIFY(!g.document.Loaded() && !QFile::exists(g.dir.filePath("work.tmp")));
        // Opened, the file is too big to copy whole.
        QVERIFY(QFile::resize(g.path, EditSession::MaxCopy + 1) && g.document.Open(g.path));
        g.session.SelectAll();
        QVERIFY(!g.session.Copy(true) && g.Said(-1, {"Copy takes up to"}));
    }

    void fillStoppedPutsEverythingBack() {
        // Several pieces long: stopped part-way or onto a full disk, the old bytes are all there,
        // no step is kept, nothing is left beside the working image. Most of the file is made
        // anew beside it; a smaller part (the last third) keeps its old bytes aside.
        const qint64 size = 5 * ByteEdits::PieceSize + 3;
        for (const qint64 from : {0LL, 2 * size / 3}) {
            ModelFixture f;
            const QByteArray original = Counting(size, 251);
            QVERIFY(f.Open(original));
            f.session.MoveTo(from + 1, false);
            f.session.Move(Key::End, true, true); // selected to the end
            f.observer.stopAfterReports = 3;
            QVERIFY(!f.session.Fill(QByteArray(1, '\x5A')));
            QCOMPARE(f.Whole(), original);
            QVERIFY(!f.session.CanUndo() && !f.document.Modified());
            {
                FileSizeLimit full(500000);
                QVERIFY(!f.session.Fill(QByteArray(1, '\x11')));
            }
            QVERIFY(f.Whole() == original && !f.session.CanUndo());
            QVERIFY(f.Said(-1, {"fail 75: ", "File too large"}));
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
        QVERIFY(asked.isEmpty() ? f.observer.said.isEmpty() : f.Said(0, {asked}));
        if (how == "readonly") {
            // As it was, replaced or not (the user's own bits left aside: root may write all).
            QCOMPARE(int(QFile::permissions(f.path) & 0x7077), 0x4040);
        }
    }

    void recordsOpenAtTheirAddresses() {
        // A .hex file holding records is asked about (No: its text as bytes). Yes: offsets are
        // the records' addresses, shown in hex; Save writes records back at the same ones.
        const QByteArray records = IntelHex(0x1E00, Counting(40));
        ModelFixture g;
        QVERIFY(g.Open(records, QStringLiteral("fw.hex")));
        QVERIFY(g.document.Length() == records.size() && g.document.Base() == 0);
        ModelFixture f;
        f.observer.answers = {Answer::Yes};
        QVERIFY(f.Open(records, QStringLiteral("fw.hex")));
        QCOMPARE(f.observer.said.value(0),
                 "ask: fw.hex holds Intel HEX records. Open the image they describe (No opens "
                 "the file's text as bytes)?");
        QVERIFY(f.document.Length() == 40 && f.document.OffsetOf(1) == 0x1E00 &&
                f.document.Base() == 0x1E00 && f.document.OffsetHex());
        QVERIFY(f.session.GoTo(QStringLiteral("1E05h")) && f.Cursor() == 5);
        QVERIFY(!f.session.GoTo(QStringLiteral("5")));
        QVERIFY(f.Said(1, {"from 7680 to 7719 (1E00h to 1E27h)"}));
        Script(f.session, "t:Q");
        QVERIFY(f.document.Save());
        const QByteArray edited = Counting(40).replace(5, 1, "Q");
        QCOMPARE(ReadFile(f.path), IntelHex(0x1E00, edited));
        // Save As a .bin writes the bytes themselves.
        QVERIFY(f.document.WriteTo(f.dir.filePath(QStringLiteral("fw.bin"))) &&
                !f.document.Records());
        QCOMPARE(ReadFile(f.dir.filePath(QStringLiteral("fw.bin"))), edited);
    }

    void compareWithAnotherFile() {
        ModelFixture f;
        const QString other = WriteFile(f.dir.filePath(QStringLiteral("chip.bin")),
                                        Counting(4999).replace(100, 1, "X").replace(4000, 1, "Y"));
        QVERIFY(f.Open(Counting(5000)));
        // Nothing compared yet: nothing to say.
        QVERIFY(!f.session.NextDifference(true) && f.observer.said.isEmpty());
        QVERIFY(f.session.CompareWith(other));
        QVERIFY(
            f.Said(0, {"2 bytes differ between user.bin and chip.bin in the 4999 bytes both "
                       "have. user.bin is 5000 bytes, chip.bin is 4999 bytes.",
                       "\n100: 64h here, 58h in chip.bin", "\n4000: A0h here, 59h in chip.bin"}));
        QCOMPARE(f.Cursor(), 100);
        QVERIFY(f.session.NextDifference(true) && f.Cursor() == 4000);
        QVERIFY(!f.session.NextDifference(true) && f.Cursor() == 4000); // none after: it stays
        QVERIFY(f.session.NextDifference(false) && f.Cursor() == 100);
        // Another program appends to the file meanwhile: what was compared is no longer it.
        f.observer.onProgress = [&] {
            QFile grows(other);
            QVERIFY(grows.open(QIODevice::Append) && grows.write("more") == 4);
        };
        QVERIFY(!f.session.CompareWith(other) && !f.session.Comparing());
        QVERIFY(f.Said(-1, {"chip.bin\" changed while it was being compared: it held 4999 bytes "
                            "at the start and holds 5003 now."}));
        // Records are compared as the image they describe.
        f.observer.onProgress = {};
        const QString records = WriteFile(f.dir.filePath(QStringLiteral("build.ihx")),
                                          IntelHex(0x1E00, Counting(64).replace(10, 1, "X")));
        QVERIFY(f.session.CompareWith(records) && f.Cursor() == 10);
        QVERIFY(f.Said(-1, {"1 bytes differ", "starts at 0, build.ihx at 7680"}));
    }

    void compares_data() {
        // changed: in theirs
        Columns<qint64, qint64, QList<qint64>, qint64, int, QString>(
            {"ourSize", "theirSize", "changed", "chunk", "keep", "first"});
        const qint64 mib = qint64(1) << 20;
        using L = QList<qint64>;
        // clang-format off
        QTest::newRow("equal") << 3000LL << 3000LL << L{} << 1024LL << 10 << "";
        QTest::newRow("both empty") << 0LL << 0LL << L{} << 1024LL << 10 << "";
        QTest::newRow("the first byte") << 3000LL << 3000LL << L{0} << 1024LL << 10 << "0:00/01";
        QTest::newRow("the last byte") << 3000LL << 3000LL << L{2999} << 1024LL << 10 << "2999:ee/ef";
        QTest::newRow("theirs longer, the same as far as ours goes") << 3000LL << 5000LL << L{} << 1024LL << 10 << "";
        QTest::newRow("ours longer, a difference at the end of theirs") << 5000LL << 3000LL << L{2999} << 1024LL << 10 << "2999:ee/ef";
        QTest::newRow("either side of piece edges") << 3000LL << 3000LL << L{1023, 1024, 2047, 2048} << 1024LL << 10 << "1023:13/12 1024:14/16 2047:27/23 2048:28/20";
        QTest::newRow("either side of a block inside a piece") << 3 * mib << 3 * mib << L{4095, 4096, mib + 8191} << mib << 10 << "4095:4f/4e 4096:50/52 1056767:39/3d";
        QTest::newRow("fewer kept than differ") << 3000LL << 3000LL << L{5, 6, 7, 2000} << 1024LL << 2 << "5:05/04 6:06/04";
        QTest::newRow("none kept") << 3000LL << 3000LL << L{5, 2000} << 1024LL << 0 << "";
        // clang-format on
        L many; // every bit of every byte position in a word, and runs
        for (qint64 i = 0; i < 3000; i += (i % 5) + 1) {
            many.append(i);
        }
        QTest::newRow("many, counted word by word")
            << 3000LL << 3000LL << many << 1024LL << 0 << "";
    }

    void compares() {
        const auto [ourSize, theirSize, changed, chunk, keep, first] =
            Row<qint64, qint64, QList<qint64>, qint64, int, QString>(
                {"ourSize", "theirSize", "changed", "chunk", "keep", "first"});
        OpenPair(Counting(ourSize, 251), Changed(Counting(theirSize, 251), changed));
        const ImageCompare::Result result = ImageCompare::Compare(ours_, theirs_, keep, {}, chunk);
        QCOMPARE(QList<qint64>({result.differing, result.ourLength, result.theirLength}),
                 QList<qint64>({changed.size(), ourSize, theirSize}));
        QStringList described;
        for (const ImageCompare::Difference& d : result.first) {
            described << QString::asprintf("%lld:%02x/%02x", d.offset, d.ours, d.theirs);
        }
        QCOMPARE(described.join(' '), first);
    }

    void nextDifference_data() {
        // changed: in a file of 3000 bytes, theirs 2990; found: -1: none
        Columns<QList<qint64>, qint64, bool, qint64>({"changed", "from", "forward", "found"});
        using L = QList<qint64>;
        // clang-format off
        QTest::newRow("from before the start: the first byte") << L{0, 9} << -1LL << true << 0LL;
        QTest::newRow("not the one it stands on") << L{0, 9} << 0LL << true << 9LL;
        QTest::newRow("across a piece edge") << L{100, 1024} << 100LL << true << 1024LL;
        QTest::newRow("the last byte both have") << L{2989} << 5LL << true << 2989LL;
        QTest::newRow("none after the last") << L{3, 2989} << 2989LL << true << -1LL;
        QTest::newRow("none forward when equal") << L{} << -1LL << true << -1LL;
        QTest::newRow("from the end: the last byte") << L{7, 2989} << 2990LL << false << 2989LL;
        QTest::newRow("from past the end") << L{7, 2989} << 5000LL << false << 2989LL;
        QTest::newRow("backward across a piece edge") << L{1023, 2500} << 2500LL << false << 1023LL;
        QTest::newRow("backward to the first byte") << L{0, 1} << 1LL << false << 0LL;
        QTest::newRow("none before the first") << L{0, 50} << 0LL << false << -1LL;
        QTest::newRow("the nearest of a run, backward") << L{10, 11, 12} << 2000LL << false << 12LL;
        // clang-format on
    }

    void nextDifference() {
        const auto [changed, from, forward, found] =
            Row<QList<qint64>, qint64, bool, qint64>({"changed", "from", "forward", "found"});
        OpenPair(Counting(3000, 251), Changed(Counting(2990, 251), changed));
        QCOMPARE(ImageCompare::NextDifference(ours_, theirs_, from, forward, {}, 1024).value_or(-1),
                 found);
    }

    void stops() { // a compare, a search backward
        OpenPair(Counting(5000, 251), Counting(5000, 251));
        for (const bool compare : {true, false}) {
            int calls = 0;
            const auto stop = [&](int) { return ++calls < 2; };
            QCOMPARE(ErrorNumberOf([&] {
                         compare ? void(ImageCompare::Compare(ours_, theirs_, 10, stop, 1024))
                                 : void(ImageCompare::NextDifference(ours_, theirs_, 4999, false,
                                                                     stop, 1024));
                     }),
                     platform::ErrorNumber::CancelError);
            QCOMPARE(calls, 2);
        }
    }

    void copiesInPiecesWithProgress_data() {
        // kernel: the system's copy, or the buffer; across: the source and target on /dev/shm,
        // where the system will not copy to the image: the buffer takes over
        Columns<qint64, QList<int>, bool, bool>({"size", "progress", "kernel", "across"});
        // clang-format off
        QTest::newRow("one byte") << qint64(1) << QList<int>{100} << true << false;
        QTest::newRow("one whole piece") << qint64(512000) << QList<int>{100} << true << false;
        QTest::newRow("piece and one byte") << qint64(512001) << QList<int>{100, 100} << true << false;
        QTest::newRow("three pieces and rest, kernel") << qint64(3 * 512000 + 7) << QList<int>{33, 67, 100, 100} << true << false;
        QTest::newRow("three pieces and rest, buffer") << qint64(3 * 512000 + 7) << QList<int>{33, 67, 100, 100} << false << false;
        QTest::newRow("eight pieces, halves to even") << qint64(8 * 512000) << QList<int>{12, 25, 38, 50, 62, 75, 88, 100} << false << false;
        QTest::newRow("across file systems") << qint64(2 * 512000 + 3) << QList<int>{50, 100, 100} << true << true;
        // clang-format on
    }

    void copiesInPiecesWithProgress() {
        const auto [size, progress, kernel, across] =
            Row<qint64, QList<int>, bool, bool>({"size", "progress", "kernel", "across"});
        QTemporaryDir shm(QStringLiteral("/dev/shm/tms370-XXXXXX"));
        if (across && (!shm.isValid() || QStorageInfo(shm.path()) == QStorageInfo(dir_.path()))) {
            QSKIP("needs a second file system at /dev/shm");
        }
        const QDir files(across ? shm.path() : dir_.path());
        QByteArray data = Counting(size, 251); // no piece looks like another
        const QString source = WriteFile(files.filePath(QStringLiteral("source.bin")), data);
        if (size > 2 * 512000) { // past its first piece the file is a hole: it reads as zeros
            std::fill(data.begin() + 512000, data.end(), '\0');
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(512000) && file.resize(size));
        }
        WorkImage image(dir_.filePath(QStringLiteral("hexfiletemp.tmp")));
        image.SetKernelCopy(kernel);
        QFile in(source);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QList<int> seen;
        const auto note = [&seen](int percent) { seen.append(percent); };
        image.Load(in, note);
        const QString target = files.filePath(QStringLiteral("target.bin"));
        image.SaveTo(target, note);
        QCOMPARE(seen, progress + progress);
        QVERIFY(ReadFile(image.Path()) == data && ReadFile(target) == data);
        image.Remove();
        QVERIFY(!QFile::exists(image.Path()));
    }

    void imageFollowsNoLinkAndFailsCleanly() {
        // A link at the image's name is never followed: the image is a private file of its own.
        const QString victim = WriteFile(dir_.filePath(QStringLiteral("victim.txt")), "keep me");
        WorkImage image(dir_.filePath(QStringLiteral("linked.tmp")));
        QVERIFY(QFile::link(victim, image.Path()));
        Load(image, "original");
        QVERIFY(!QFileInfo(image.Path()).isSymLink() && ReadFile(victim) == "keep me");
        QCOMPARE(ReadFile(image.Path()), QByteArray("original"));
        QCOMPARE(int(QFile::permissions(image.Path())) & 0x66, 0); // private
        image.WriteAt(1, 'X');
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, image.WriteAt(9, 1)); // past the end

        // A write that fails (here: the folder goes under it) replaces nothing, and says so.
        QTemporaryDir own;
        const QString user = WriteFile(own.filePath(QStringLiteral("user.bin")), "original");
        const QString gone = own.path() + QStringLiteral("-gone");
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                                 image.SaveTo(user, [&](int) { QDir().rename(own.path(), gone); }));
        QVERIFY(QDir().rename(gone, own.path()));
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{QStringLiteral("user.bin")});
        QCOMPARE(ReadFile(user), QByteArray("original"));

        // The program ends during a copy in: the piece in hand is done, then nothing is left.
        bool openAfterClose = false;
        QCOMPARE(ErrorNumberOf([&] {
                     Load(image, Counting(3 * 512000), [&](int) {
                         image.Close();
                         openAfterClose = image.IsOpen();
                     });
                 }),
                 platform::ErrorNumber::CancelError);
        QVERIFY(openAfterClose && !image.IsOpen() && !QFile::exists(image.Path()));

        // A dangling link is not followed either: the file it names is never created.
        const QString nowhere = dir_.filePath(QStringLiteral("created-through-link"));
        QVERIFY(QFile::link(nowhere, image.Path()));
        Load(image, "new content");
        QVERIFY(!QFile::exists(nowhere));
    }

    void severalRangesAreOneStep() {
        ModelFixture f;
        QVERIFY(f.Open(QByteArray(8, '\0')));
        QVERIFY(f.document.WriteRanges({{2, "\x11"}, {7, "\x22\x33"}}));
        const QString both = QStringLiteral("00 11 00 00 00 00 22 33");
        QCOMPARE(f.Hex(1, 8), both);
        QVERIFY(f.document.Undo() && !f.document.CanUndo());
        QCOMPARE(f.Hex(1, 8), QStringLiteral("00 00 00 00 00 00 00 00"));
        QVERIFY(f.document.Redo() && !f.document.CanRedo());
        QCOMPARE(f.Hex(1, 8), both);
        // All or nothing: the second runs past the end, and the first is put back.
        QVERIFY(!f.document.WriteRanges({{1, "\x44"}, {8, "\x55\x66"}}));
        QCOMPARE(f.Hex(1, 8), both);
        QVERIFY(f.document.Undo() && !f.document.CanUndo());
    }

    void inspectorAtTheLastBytes() {
        ModelFixture f;
        QVERIFY(f.Open(QByteArray::fromHex("00010203040506FEFF")));
        QMap<QString, QString> shown;
        for (const CursorValues::Row& row : CursorValues::Rows(f.document, 8)) {
            shown[row.name] = row.value;
        }
        QCOMPARE(shown.value("u8"), QStringLiteral("254"));
        QCOMPARE(shown.value("i16le"), QStringLiteral("-2"));
        QCOMPARE(shown.value("i16be"), QStringLiteral("-257"));
        QCOMPARE(shown.value("u32le"), CursorValues::NoValue);
        QCOMPARE(shown.value("f64be"), CursorValues::NoValue);

        // Refused with the reason, nothing written; a value that fits is one step.
        const QByteArray before = f.Whole();
        QVERIFY(!CursorValues::WriteValue(f.document, 8, {core::ValueType::U32Le, 4}, "1"));
        QVERIFY(f.Said(-1, {"past the end of the file"}));
        QVERIFY(!CursorValues::WriteValue(f.document, 1, {core::ValueType::U8, 1}, "300"));
        QVERIFY(f.Said(-1, {"300", "u8"}));
        QCOMPARE(f.Whole(), before);
        QVERIFY(CursorValues::WriteValue(f.document, 8, {core::ValueType::U16Be, 2}, "0x1234"));
        QCOMPARE(f.Hex(8, 2), QStringLiteral("12 34"));
        QVERIFY(f.document.Undo());
        QCOMPARE(f.Whole(), before);
    }

    void fieldsFollowTheImageAndChecksumsUpdateInOneStep() {
        // A raw block of 512 bytes starts at 1E00h; the sum inside the CRC's range goes first.
        ModelFixture f;
        DocumentFields fields;
        QString why;
        QVERIFY(fields.Load(WriteFile(f.dir.filePath("l.ini"), "[fields]\nsum = 1E00h:sum8:1E01h-"
                                                               "1E03h\ncrc = 1E04h:crc16:1E00h-"
                                                               "1E03h\nfar = 2000h:u8\n"),
                            &why));
        QVERIFY(f.Open(QByteArray(512, 1)));
        fields.SetBaseline(f.document);
        QCOMPARE(fields.SpanOf(f.document, 1)->position, 5);
        QVERIFY(!fields.SpanOf(f.document, 2));
        QCOMPARE(fields.UpdateChecksums(f.document)->size(), 2);
        // CRC-16/CCITT-FALSE of 03 01 01 01, as Python's binascii.crc_hqx(..., 0xFFFF) gives.
        QCOMPARE(f.Hex(1, 6), QStringLiteral("03 01 01 01 0B 3C"));
        QVERIFY(fields.Rows(f.document).value(1).state.endsWith(QStringLiteral("\u2713")));
        QVERIFY(fields.Broken(f.document).isEmpty());
        QVERIFY(f.document.Write(2, 7));
        QCOMPARE(fields.Broken(f.document), QStringList({"sum", "crc"}));
        QVERIFY(f.document.Undo() && f.document.Undo() && !f.document.CanUndo());
        QCOMPARE(f.Whole(), QByteArray(512, 1));
        // Any other raw length counts from 0: the fields lie outside it.
        QVERIFY(f.Open(QByteArray(600, 1)));
        QVERIFY(!fields.SpanOf(f.document, 0));
    }

    void bookmarksKeptPerFile() {
        ModelFixture f;
        const QString store = f.dir.filePath(QStringLiteral("bookmarks.json"));
        const QString a = f.dir.filePath(QStringLiteral("a.bin"));
        Bookmarks marks;
        for (const Bookmarks::Mark& mark :
             {Bookmarks::Mark{300, 4, "serial"}, {10, 1, {}}, {100, 1, "gain"}}) {
            marks.Add(mark);
        }
        QCOMPARE(marks.IndexAt(303), 2);
        QCOMPARE(marks.IndexAt(304), -1);
        bool wrapped = true;
        QCOMPARE(marks.Step(100, true, &wrapped)->position, 300);
        QVERIFY(!wrapped);
        QCOMPARE(marks.Step(300, true, &wrapped)->position, 10);
        QVERIFY(wrapped);
        QCOMPARE(marks.Step(10, false, &wrapped)->name, QStringLiteral("serial"));
        QVERIFY(wrapped);
        QString why;
        QVERIFY(marks.Save(store, a, &why));
        Bookmarks other;
        other.Add({5, 1, "b"});
        QVERIFY(other.Save(store, f.dir.filePath(QStringLiteral("b.bin")), &why));

        // Back as they were; in a shorter file those past its end go, one over it is cut.
        Bookmarks back;
        back.Load(store, a, 1000);
        QCOMPARE(back.List(), marks.List());
        back.Load(store, a, 301);
        QCOMPARE(back.List().size(), 3);
        QCOMPARE(back.List().last().length, 2);
        back.Load(store, a, 299);
        QCOMPARE(back.List().size(), 2);

        // A store spoilt by another program is kept beside, not written over.
        QFile spoilt(store);
        QVERIFY(spoilt.open(QIODevice::WriteOnly) && spoilt.write("{\"x\": [") > 0);
        spoilt.close();
        QVERIFY(marks.Save(store, a, &why));
        QCOMPARE(ReadFile(store + QStringLiteral(".bad")), QByteArray("{\"x\": ["));
        back.Load(store, a, 1000);
        QCOMPARE(back.List(), marks.List());
    }

    void historyIsBounded() {
        // Past its limit the history lets its oldest steps go, and with them the saved state.
        WorkImage image(dir_.filePath(QStringLiteral("h.tmp")));
        Load(image, QByteArray(16, '\0'));
        ByteEdits edits(image);
        for (std::size_t i = 0; i <= ByteEdits::Limit; ++i) {
            edits.Write(1 + i % 16, static_cast<unsigned char>(i));
        }
        const qint64 last = 1 + ByteEdits::Limit % 16;
        QCOMPARE(edits.Undo().value_or(ByteEdits::Span{}).position, last);
        QCOMPARE(ReadFile(image.Path()).at(last - 1), char((ByteEdits::Limit - 16) & 0xFF));
        for (std::size_t undone = 1; undone < ByteEdits::Limit; ++undone) {
            QVERIFY(edits.Undo());
        }
        QVERIFY(!edits.Undo() && edits.Modified());
    }
};

QTEST_GUILESS_MAIN(EditorModelTest)
#include "tst_model.moc"
