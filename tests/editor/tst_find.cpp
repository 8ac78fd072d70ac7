// Find and Go To through the window: both ways, across a chunk's end, at the ends, refused.
#include "EditorFixture.h"
#include "editor/model/ImageSearch.h"

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

} // namespace

class FindTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EditorFixture> f_;
    frmEditor* e_ = nullptr;

    void Find(const QString& text, bool hex, bool matchCase, bool forward) {
        QTest::keyClick(e_, Qt::Key_F, Qt::ControlModifier);
        FindDialog* dialog = e_->findChild<FindDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->txtFind->setText(text);
        (hex ? dialog->optHex : dialog->optText)->setChecked(true);
        dialog->chkMatchCase->setChecked(matchCase);
        (forward ? dialog->optForward : dialog->optBackward)->setChecked(true);
        QTest::mouseClick(dialog->cmdFindNext, Qt::LeftButton);
    }

private slots:
    void init() {
        f_ = std::make_unique<EditorFixture>();
        QVERIFY(f_->OpenAndShow(Planted()));
        e_ = f_->editor;
    }
    void cleanup() { f_.reset(); }

    void find_data() {
        // from: the cursor's offset; negative: backwards from -from; offsets: the dialog's, then
        // F3's; -1: the box; box: a word of the box that ends the search
        Columns<QString, bool, bool, qint64, QList<qint64>, QString>(
            {"text", "hex", "matchCase", "from", "offsets", "box"});
        const QString none = QStringLiteral("not found");
        // clang-format off
        QTest::newRow("hex onwards") << "DE AD BE EF" << true << true << 0LL << QList<qint64>{0, Chunk - 2, Size - 4, -1} << none;
        QTest::newRow("hex backwards from the end") << "deadbeef" << true << true << -(Size - 1) << QList<qint64>{Size - 4, Chunk - 2, 0, -1} << none;
        QTest::newRow("hex, the last place it fits") << "DEADBEEF" << true << true << Size - 4 << QList<qint64>{Size - 4, -1} << none;
        QTest::newRow("text, any case") << "hello" << false << false << 0LL << QList<qint64>{100, 2000, Chunk + 500, -1} << none;
        QTest::newRow("text, case matched") << "HELLO" << false << true << 0LL << QList<qint64>{2000, -1} << none;
        QTest::newRow("nowhere") << "DE AD BE EE" << true << true << 0LL << QList<qint64>{-1} << none;
        QTest::newRow("odd digits") << "DE A" << true << true << 0LL << QList<qint64>{-1} << "one hex digit";
        QTest::newRow("not hex") << "DE XY" << true << true << 0LL << QList<qint64>{-1} << "\"X\" is not a hex digit";
        QTest::newRow("not in the code page") << "\u0416" << false << true << 0LL << QList<qint64>{-1} << "Windows-1252";
        QTest::newRow("nothing") << " " << true << true << 0LL << QList<qint64>{-1} << "Enter the bytes";
        // clang-format on
    }

    void find() {
        const auto [text, hex, matchCase, from, offsets, box] =
            Row<QString, bool, bool, qint64, QList<qint64>, QString>(
                {"text", "hex", "matchCase", "from", "offsets", "box"});
        const bool forward = from >= 0;
        QVERIFY(e_->Session().GoTo(QString::number(qAbs(from))));
        e_->Refresh();
        Find(text, hex, matchCase, forward);
        for (const qint64 offset : offsets) {
            if (offset < 0) {
                QVERIFY(f_->Boxes() == 1 && f_->Told(0).contains(box));
                QCOMPARE(f_->Label("lblInfo_3").toLongLong(),
                         offsets.size() > 1 ? offsets[offsets.size() - 2] : qAbs(from));
                break;
            }
            QCOMPARE(f_->Label("lblInfo_3") + QString::number(f_->Boxes()),
                     QString::number(offset) + '0');
            QVERIFY(!hex || f_->Label("lblInfo_0") == QLatin1String("DE"));
            QVERIFY(offset + 1 >= e_->Session().View().pageStart &&
                    offset + 1 < e_->Session().View().pageStart + 320);
            QTest::keyClick(e_->findChild<FindDialog*>(), Qt::Key_F3,
                            forward ? Qt::NoModifier : Qt::ShiftModifier);
        }
    }

    void stopped() {
        // The Stop button and Escape each end a search that outlasts its first chunk.
        f_->ts.clock.Schedule(
            0, [&] { QTest::mouseClick(Part<QPushButton>(e_, "cmdStop"), Qt::LeftButton); });
        Find(QStringLiteral("nowhere"), false, true, true);
        bool escapedWhileBusy = false;
        f_->ts.clock.Schedule(0, [&] {
            escapedWhileBusy = e_->Busy();
            QTest::keyClick(e_->findChild<FindDialog*>(), Qt::Key_Escape);
        });
        QTest::keyClick(e_->findChild<FindDialog*>(), Qt::Key_F3);
        QVERIFY(escapedWhileBusy && !e_->Busy() && !Part<QPushButton>(e_, "cmdStop")->isVisible());
        QCOMPARE(f_->Boxes(), 0); // no "not found": the search never ended
    }

    void goTo_data() {
        // offset: -1: refused
        Columns<QString, qint64, qint64>({"text", "offset", "page"});
        // clang-format off
        QTest::newRow("last of the first page") << "319" << 319LL << 1LL;
        QTest::newRow("decimal") << " 8000 " << 8000LL << 8001LL;
        QTest::newRow("h suffix") << "1F40h" << 8000LL << 8001LL;
        QTest::newRow("0x") << "0x1f40" << 8000LL << 8001LL;
        QTest::newRow("dollar") << "$1F40" << 8000LL << 8001LL;
        QTest::newRow("last, where no whole page is left") << QString::number(Size - 1) << Size - 1 << 16 * (Size / 16) + 1 - 304;
        QTest::newRow("past the end") << QString::number(Size, 16) + "h" << -1LL << 1LL;
        QTest::newRow("hex without its mark") << "1F40" << -1LL << 1LL;
        QTest::newRow("a mark alone") << "0x" << -1LL << 1LL;
        QTest::newRow("negative") << "-5" << -1LL << 1LL;
        // clang-format on
    }

    void goTo() {
        const auto [text, offset] = Row<QString, qint64>({"text", "offset"});
        QTest::keyClick(e_, Qt::Key_G, Qt::ControlModifier);
        GoToDialog* dialog = e_->findChild<GoToDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(dialog->lblRange->text().contains(QStringLiteral("0 to %1").arg(Size - 1)));
        dialog->txtOffset->setText(text);
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
        QTEST(e_->Session().View().pageStart, "page");
        QCOMPARE(f_->Boxes(), offset < 0 ? 1 : 0);
        QCOMPARE(dialog->isVisible(), offset < 0); // a refused offset is to be put right
        if (offset < 0) {
            QVERIFY(f_->Told(0).contains(text.trimmed()) &&
                    f_->Told(0).contains(QString::number(Size - 1)));
        } else {
            QCOMPARE(f_->Label("lblInfo_3"), QString::number(offset));
        }
    }
};

QTEST_MAIN(FindTest)
#include "tst_find.moc"
