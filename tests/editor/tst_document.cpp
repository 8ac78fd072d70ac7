// The Memory window's document through the window: language texts, File > Open with its
// refusals, the working image, Done and its write-back.
#include "EditorFixture.h"
#include "common/LangFile.h"
#include "common/OpenDialog.h"
#include "editor/ClickLabel.h"
#include "platform/MessageBoxes.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <unistd.h>

namespace MsgStyle = platform::MsgStyle;
namespace MsgAnswer = platform::MsgAnswer;

class DocumentTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }
    void languageIntoCaptions();
    void languageMissingOrShort();
    void openCopiesAndRemembersFolder();
    void refusedFilesKeepTheEditor();
    void secondOpenAsksAboutEdits();
    void doneWithoutEdits();
    void doneWithEditsNoAndYes();
    void failedWriteBackKeepsEdits();
    void closeBoxRunsDone();
    void workingImageIsPrivate();
    void workingImageCannotBeCreated();
};

void DocumentTest::languageIntoCaptions() {
    EditorFixture f;
    frmEditor& e = *f.editor;
    QCOMPARE(e.windowTitle(), QStringLiteral("TMS370 EEPROM Programmer - Memory"));
    QCOMPARE(e.Label1[0]->text(), QStringLiteral("Selected Byte"));
    QCOMPARE(e.Label1[9]->text(), QStringLiteral("Bytes per Page"));
    QCOMPARE(e.lblInfo[4]->text(), QStringLiteral("0 of 0"));
    QCOMPARE(e.lblInfo[7]->text(), QStringLiteral("Text"));
    QCOMPARE(e.mn_0->title(), QStringLiteral("&File"));
    QCOMPARE(e.sm1_0->text(), QStringLiteral("Open"));
    QCOMPARE(e.sm1_0->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(e.mnuDone->text(), QStringLiteral("&Done"));
    QCOMPARE(e.LangText[0], QStringLiteral("of"));
    QVERIFY(e.LangText[3].contains(QStringLiteral("save")));
    QCOMPARE(e.RowHeight, 19);
    QCOMPARE(e.PicHex->size(), QSize(352, 381));
    QCOMPARE(e.PicText->size(), QSize(151, 381));
}

void DocumentTest::languageMissingOrShort() {
    const QString saved = Module1::AppFolder;
    QTemporaryDir folder;
    Module1::AppFolder = folder.path() + QLatin1Char('/');
    {
        EditorFixture f; // no language file at all: the design captions
        QCOMPARE(f.editor->windowTitle(), Module1::ProgramTitle);
        QCOMPARE(f.editor->Label2[16]->text(), QStringLiteral("Text "));
        QCOMPARE(f.editor->mn_0->title(), QStringLiteral("&File"));
        QCOMPARE(f.editor->LangText[0], QStringLiteral("of"));
        QVERIFY(!f.editor->LangText[3].isEmpty()); // Done can still ask its question
    }
    {
        // Records 1 to 24 only: those replace their captions, the rest keep the design's.
        QFile file(folder.filePath(QStringLiteral("English.lpk")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int n = 1; n <= 24; ++n) {
            file.write(Module1::MakeLangRecord(n == 1    ? QStringLiteral("Short Title")
                                               : n == 22 ? QStringLiteral("Byte")
                                                         : QString()));
        }
        file.write("partial record");
        file.close();
        EditorFixture f;
        QCOMPARE(f.editor->windowTitle(), QStringLiteral("Short Title"));
        QCOMPARE(f.editor->Label1[0]->text(), QStringLiteral("Byte"));
        QCOMPARE(f.editor->Label1[2]->text(), QStringLiteral("Page")); // blank record
        QCOMPARE(f.editor->Label1[3]->text(), QStringLiteral("File Size"));
        QCOMPARE(f.editor->sm1_0->text(), QStringLiteral("Open"));
    }
    Module1::AppFolder = saved;
}

void DocumentTest::openCopiesAndRemembersFolder() {
    EditorFixture f;
    const QByteArray data = Counting(1000);
    const QString path = f.WriteFile(QStringLiteral("a.bin"), data);
    f.Open(path);
    frmEditor& e = *f.editor;
    QVERIFY(e.FileLoaded);
    QVERIFY(!e.Modified);
    QCOMPARE(e.SourceFileName, path);
    QCOMPARE(e.Label7->text(), path);
    QCOMPARE(e.lblInfo[5]->text(), QStringLiteral("1000"));
    QCOMPARE(e.lblInfo[8]->text(), QStringLiteral("320"));
    QCOMPARE(e.lblInfo[4]->text(), QStringLiteral("1 of 4"));
    QVERIFY(e.PicHex->isEnabled() && e.PicText->isEnabled() && e.lblSelect->isEnabled());
    QVERIFY(!e.Picture1->isVisible());
    QCOMPARE(f.ReadFile(Module1::WorkImagePath()), data);
    QCOMPARE(e.grid1->Value(0, 1), QStringLiteral("01"));

    const platform::FileDialogOptions& asked = f.ts.dialogs.opens.at(0);
    QCOMPARE(asked.title, e.windowTitle());
    QCOMPARE(asked.initialDir, Module1::AppFolder);
    QCOMPARE(asked.filter, QStringLiteral("All Files (*.bin)|*.bin|(*.hex)|*.hex|"));
    QVERIFY(asked.fileMustExist);
    const QString folder = Module1::FolderOf(path);
    QCOMPARE(
        f.ts.services.settings.GetSetting(QStringLiteral("General"), QStringLiteral("LastDir")),
        folder);

    // Cancel changes nothing, and the dialog starts in the last folder; Ctrl+O opens it too.
    QVERIFY(f.Show());
    QTest::keyClick(f.editor, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(f.ts.dialogs.opens.size(), 2);
    QCOMPARE(f.ts.dialogs.opens.at(1).initialDir, folder);
    QVERIFY(e.FileLoaded);
    QCOMPARE(e.SourceFileName, path);
    QVERIFY(f.ts.messages.shown.isEmpty());
}

void DocumentTest::refusedFilesKeepTheEditor() {
    EditorFixture f;
    const QString good = f.WriteFile(QStringLiteral("good.bin"), Counting(100));
    f.Open(good);
    frmEditor& e = *f.editor;

    const QString empty = f.WriteFile(QStringLiteral("empty.bin"), QByteArray());
    f.Open(empty);
    QCOMPARE(f.ts.messages.shown.size(), 1);
    QCOMPARE(f.ts.messages.shown[0].style, MsgStyle::Exclamation);
    QVERIFY(f.ts.messages.shown[0].prompt.contains(empty));

    const QString missing = f.ts.dir.filePath(QStringLiteral("missing.bin"));
    f.Open(missing);
    QCOMPARE(f.ts.messages.shown.size(), 2);
    QVERIFY(f.ts.messages.shown[1].prompt.contains(missing));
    QVERIFY(f.ts.messages.shown[1].prompt.contains(QStringLiteral("No such file")));

    f.Open(f.ts.dir.path()); // a folder cannot be read as a file
    QCOMPARE(f.ts.messages.shown.size(), 3);

    QVERIFY(e.FileLoaded);
    QCOMPARE(e.SourceFileName, good);
    QCOMPARE(e.Label7->text(), good);
    QCOMPARE(e.lblInfo[5]->text(), QStringLiteral("100"));
    QCOMPARE(f.ReadFile(Module1::WorkImagePath()), Counting(100));
}

void DocumentTest::secondOpenAsksAboutEdits() {
    EditorFixture f;
    const QString first = f.WriteFile(QStringLiteral("first.bin"), Counting(64));
    const QString second = f.WriteFile(QStringLiteral("second.bin"), Counting(32));
    f.Open(first);
    f.editor->grid1->SetValue(0, 0, QStringLiteral("AA"));
    f.editor->SaveData(0, 0);
    QVERIFY(f.editor->Modified);

    f.ts.messages.answers = {MsgAnswer::No};
    f.Open(second);
    QCOMPARE(f.ts.messages.shown.size(), 1);
    QCOMPARE(f.ts.messages.shown[0].style, MsgStyle::YesNo | MsgStyle::Question);
    QVERIFY(f.ts.messages.shown[0].prompt.startsWith(QLatin1Char('"') + first + "\" "));
    QCOMPARE(f.ReadFile(first), Counting(64)); // No: discarded
    QCOMPARE(f.editor->SourceFileName, second);
    QVERIFY(!f.editor->Modified);

    f.editor->grid1->SetValue(0, 1, QStringLiteral("BB"));
    f.editor->SaveData(0, 1);
    f.ts.messages.answers = {MsgAnswer::Yes};
    f.Open(first);
    QByteArray expected = Counting(32);
    expected[1] = char(0xBB);
    QCOMPARE(f.ReadFile(second), expected); // Yes: written back before the next file
    QCOMPARE(f.editor->SourceFileName, first);

    // Unedited: no question.
    f.Open(second);
    QCOMPARE(f.ts.messages.shown.size(), 2);
}

void DocumentTest::doneWithoutEdits() {
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("d.bin"), Counting(10)));
    QVERIFY(f.Show());
    QVERIFY(QFile::exists(Module1::WorkImagePath()));
    f.editor->mnuDone->trigger();
    QVERIFY(f.ts.messages.shown.isEmpty());
    QCOMPARE(f.mainShown, 1);
    QVERIFY(!f.editor->isVisible());
    QVERIFY(!QFile::exists(Module1::WorkImagePath()));
    f.FlushDeletes();
    QVERIFY(f.editor.isNull()); // the next Memory command makes a fresh one

    EditorFixture g; // Done before any open: nothing to ask, nothing to delete
    g.editor->mnuDone_Click();
    QVERIFY(g.ts.messages.shown.isEmpty());
    QCOMPARE(g.mainShown, 1);
}

void DocumentTest::doneWithEditsNoAndYes() {
    for (const int answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        EditorFixture f;
        const QString path = f.WriteFile(QStringLiteral("e.bin"), Counting(600000));
        f.Open(path);
        f.editor->grid1->SetValue(1, 2, QStringLiteral("5A"));
        f.editor->SaveData(1, 2);
        f.ts.messages.answers = {answer};
        bool editorHiddenWhenAsked = false;
        f.ts.messages.onShow = [&](const FakeMessageBoxes::Box&) {
            editorHiddenWhenAsked = !f.editor->isVisible() && f.mainShown == 1;
        };
        f.editor->mnuDone_Click();
        QCOMPARE(f.ts.messages.shown.size(), 1);
        const FakeMessageBoxes::Box& box = f.ts.messages.shown[0];
        QCOMPARE(box.prompt, QLatin1Char('"') + path + "\" " + f.editor->LangText[3]);
        QCOMPARE(box.style, 36);
        QCOMPARE(box.title, f.editor->windowTitle());
        QVERIFY(editorHiddenWhenAsked);
        QByteArray expected = Counting(600000);
        if (answer == MsgAnswer::Yes) {
            expected[18] = char(0x5A);
        }
        QCOMPARE(f.ReadFile(path), expected);
        QVERIFY(!QFile::exists(Module1::WorkImagePath()));
    }
}

void DocumentTest::failedWriteBackKeepsEdits() {
    EditorFixture f;
    QTemporaryDir own;
    const QString path = own.filePath(QStringLiteral("ro.bin"));
    QFile::copy(f.WriteFile(QStringLiteral("src.bin"), Counting(50)), path);
    f.Open(path);
    QVERIFY(f.Show());
    f.editor->grid1->SetValue(0, 3, QStringLiteral("77"));
    f.editor->SaveData(0, 3);

    // The file cannot be written: read-only to an ordinary user; for the superuser, whom
    // permissions do not stop, its folder is gone.
    const QString moved = own.path() + QStringLiteral("-moved");
    const bool superuser = ::geteuid() == 0;
    if (superuser) {
        QVERIFY(QDir().rename(own.path(), moved));
    } else {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    }
    f.ts.messages.answers = {MsgAnswer::Yes};
    f.editor->mnuDone_Click();
    QCOMPARE(f.ts.messages.shown.size(), 2);
    const FakeMessageBoxes::Box& error = f.ts.messages.shown[1];
    QCOMPARE(error.style, MsgStyle::OKOnly);
    QVERIFY2(error.prompt.startsWith(QStringLiteral("75\n")), qPrintable(error.prompt));
    QVERIFY(error.prompt.contains(path));
    // The editor is back with its edits; the main window hidden again.
    QVERIFY(f.editor->isVisible());
    QCOMPARE(f.mainHidden, 1);
    QVERIFY(f.editor->Modified);
    QVERIFY(f.editor->FileLoaded);
    QCOMPARE(f.Image(4, 1), QByteArray("\x77"));

    // Once the file can be written again, Done writes the edits.
    if (superuser) {
        QVERIFY(QDir().rename(moved, own.path()));
    } else {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    f.ts.messages.answers = {MsgAnswer::Yes};
    f.editor->mnuDone_Click();
    QByteArray expected = Counting(50);
    expected[3] = char(0x77);
    QCOMPARE(f.ReadFile(path), expected);
    QVERIFY(!QFile::exists(Module1::WorkImagePath()));
}

void DocumentTest::closeBoxRunsDone() {
    EditorFixture f;
    const QString path = f.WriteFile(QStringLiteral("c.bin"), Counting(20));
    f.Open(path);
    QVERIFY(f.Show());
    f.editor->grid1->SetValue(0, 0, QStringLiteral("11"));
    f.editor->SaveData(0, 0);
    f.ts.messages.answers = {MsgAnswer::Yes};
    f.editor->close();
    QCOMPARE(f.ts.messages.shown.size(), 1);
    QCOMPARE(f.mainShown, 1);
    QCOMPARE(f.ReadFile(path).at(0), '\x11');
    QVERIFY(!QFile::exists(Module1::WorkImagePath()));
}

void DocumentTest::workingImageIsPrivate() {
    EditorFixture f;
    const QString victim = f.WriteFile(QStringLiteral("victim.txt"), "keep");
    QVERIFY(QFile::link(victim, Module1::WorkImagePath()));
    f.Open(f.WriteFile(QStringLiteral("p.bin"), Counting(40)));
    QVERIFY(f.editor->FileLoaded);
    QCOMPARE(f.ReadFile(victim), QByteArray("keep"));
    const QFileInfo image(Module1::WorkImagePath());
    QVERIFY(!image.isSymLink());
    QCOMPARE(image.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
             QFileDevice::Permissions());

    // The working image itself is never taken as the file to edit.
    f.Open(Module1::WorkImagePath());
    QCOMPARE(f.ts.messages.shown.size(), 1);
    QVERIFY(f.editor->FileLoaded);
}

void DocumentTest::workingImageCannotBeCreated() {
    EditorFixture f;
    QVERIFY(QDir().mkpath(Module1::WorkImagePath() + QStringLiteral("/inner")));
    f.Open(f.WriteFile(QStringLiteral("n.bin"), Counting(40)));
    QCOMPARE(f.ts.messages.shown.size(), 1);
    QVERIFY(f.ts.messages.shown[0].prompt.contains(Module1::WorkImagePath()));
    QVERIFY(!f.editor->FileLoaded);
    QVERIFY(!f.editor->PicHex->isEnabled());
    QVERIFY(QDir(Module1::WorkImagePath()).removeRecursively());
}

QTEST_MAIN(DocumentTest)
#include "tst_document.moc"
