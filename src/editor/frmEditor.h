#pragma once

#include "model/ByteEdits.h"
#include "model/PageGeometry.h"
#include "model/SearchPattern.h"
#include "model/WorkImage.h"

#include <QDateTime>
#include <QMainWindow>
#include <array>
#include <functional>
#include <optional>

class ClickLabel;
class FindDialog;
class GoToDialog;
class Grid;
class MarkerShape;
class PictureBox;
class QAction;
class QFile;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace platform {
struct Services;
class RuntimeError;
} // namespace platform

// The Memory window: shows a file of any size as pages of 20 rows of 16 bytes, as offsets,
// hex and text side by side, lets the user change bytes in either pane, take changes back,
// find bytes and go to an offset, and writes the changes back on Save or on Done. The bytes
// live in the working image on disk, never in memory.
class frmEditor : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int BytesPerRow = PageGeometry::BytesPerRow;
    static constexpr int RowsPerPage = PageGeometry::RowsPerPage;
    static constexpr int BytesPerPage = PageGeometry::BytesPerPage;

    // showMain shows the main window again when the editor goes (once its write-back, if
    // any, is over).
    frmEditor(platform::Services& services, std::function<void()> showMain,
              QWidget* parent = nullptr);
    ~frmEditor() override;

    // ---- Document ----
    // Copies the file into the working image and prepares the window (no drawing).
    bool OpenFile(const QString& FileName);
    void OpenWithDialog(); // File > Open
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuDone_Click(); // Done
    // The program is ending (or Done is over): closes the working image, stops a copy or a
    // search under way and lets nothing new start.
    void CloseAllFiles();
    // The program ends without asking (a signal): unsaved edits, a half-typed byte
    // included, are moved out of the working image to Module1::KeptChangesPath, and the
    // settings remember whose they are. The kept file's path, or nothing when there were none;
    // a RuntimeError (75) when they could not be moved.
    std::optional<QString> KeepUnsavedChanges();
    // The program is asked to end: unsaved edits are settled as Done settles them, but with
    // Cancel too. False keeps the program open (Cancel, or the edits could not be written).
    bool SettleBeforeEnd();
    // At the editor's start: offers the edits an earlier run kept ("Unsaved changes of fw.bin
    // from 10:42 were kept. Open them?"). Yes opens them as the document of their file, with
    // changes to save; either answer removes the kept file.
    void OfferKeptChanges();
    // A copy into or out of the working image or a search is under way, or the window is
    // handling events inside one of its own routines: it may not be deleted now, only let
    // go with deleteLater (it goes once its routine is over).
    bool Busy() const { return busy_ || yielding_ > 0; }
    WorkImage& Image() { return image_; }
    // The working image differs from the user's file (taking every edit back clears it).
    bool Modified() const { return edits_.Modified(); }

    // ---- Display ----
    void FillGrid();

    // ---- Paging ----
    void MoveNextLine();
    void MoveNextPage();
    void MovePreviousLine();
    void MovePreviousPage();
    void MoveFirst();
    void MoveLast();
    // The last row read by FillGrid came up short.
    bool EndOfFile() const { return endOfFile_; }

    // ---- Editing and panel ----
    // Writes value into the byte of cell (R, C) of the page.
    void SaveData(int R, int C, int value);
    void lblSelect_Click();
    void lblInfo_Click(int Index);

    // ---- Edit menu ----
    void mnuUndo_Click();
    void mnuRedo_Click();
    void mnuFind_Click();
    // F3 and Shift+F3: the last pattern again, onwards or backwards from the cursor.
    void FindNext(bool forward);
    void mnuGoTo_Click();
    // Goes to the 0-based offset typed; false, after saying why, when there is none such.
    bool GoToOffset(const QString& text);

    // ---- Window state ----
    qint64 PageStart = 1; // 1-based position of the byte at row 0, column 0
    int ActivePane = 0;   // 1 hex pane, 2 text pane, 0 before either had the focus
    bool OffsetHex = false;
    bool FileLoaded = false;
    QString SourceFileName;
    int RowHeight = 0;
    // 0: the page word; 3: Done's question; 4, 5: progress captions of writing and opening.
    std::array<QString, 6> LangText;
    bool CtrlDown = false;
    Grid* grid1 = nullptr; // hex pane
    Grid* grid2 = nullptr; // text pane

    // ---- Controls ----
    QMenuBar* menuBar = nullptr;
    QMenu* mn_0 = nullptr;    // File
    QAction* sm1_0 = nullptr; // File > Open
    QAction* mnuSave = nullptr;
    QAction* mnuSaveAs = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuFind = nullptr;
    QAction* mnuFindNext = nullptr;
    QAction* mnuFindPrevious = nullptr;
    QAction* mnuGoTo = nullptr;
    QAction* mnuDone = nullptr;
    PictureBox* PicOffSet = nullptr;
    PictureBox* PicHex = nullptr;
    PictureBox* PicText = nullptr;
    MarkerShape* Shape1 = nullptr;    // grid1's cursor
    MarkerShape* Shape2 = nullptr;    // grid2's cursor
    PictureBox* Picture1 = nullptr;   // progress bar
    QLabel* Label8 = nullptr;         // its caption
    QPushButton* cmdStop = nullptr;   // stops a search
    QLabel* Label7 = nullptr;         // the open file's name
    std::array<QLabel*, 10> Label1{}; // panel headings
    std::array<QLabel*, 17> Label2{}; // column headers, 16: over the text pane
    std::array<ClickLabel*, 9> lblInfo{};
    std::array<QLabel*, 2> Sign{}; // column and row markers
    ClickLabel* lblSelect = nullptr;
    FindDialog* findDialog = nullptr; // made on first use
    GoToDialog* goToDialog = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Set-up (frmEditorLayout.cpp).
    void BuildMenus();
    void BuildControls();
    void ConnectEvents();
    void Form_Load();

    // Document (frmEditorDocument.cpp).
    static const QString OpenFilter;
    void LoadLanguage();
    bool LoadWorkImage(QFile& source, const QString& name);
    void EnableEditor();
    void ShowNoFile();
    void ShowProgress(int percent);
    void StartProgress(const QString& caption);
    bool CanOpen(const QString& path);
    bool SaveOrDiscardChanges();
    bool AskToSave(); // Done's question: true for Yes
    QString DoneQuestion() const;
    // Loads the bytes of bytesFrom as the document FileName (OpenFile when they are one).
    bool OpenFile(const QString& FileName, const QString& bytesFrom);
    void ShowOpened();
    void ShowError(const platform::RuntimeError& error);
    // Everything that hands control to the event loop from inside a routine of the window
    // (a yield, a message box, a file dialog) does it inside a Nested: the window cannot be
    // deleted meanwhile, only let go.
    struct Nested {
        explicit Nested(frmEditor& editor);
        ~Nested();
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
        frmEditor& editor_;
    };
    void Yield();
    int MsgBox(const QString& prompt, int style);

    // Write-back (frmEditorWriteBack.cpp).
    struct FileStamp {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const QString& path);
    // Writes the edits to target, asking first when target is the user's file and another
    // program changed it, and offering Save As when the write fails. True once the edits
    // are in a file.
    bool WriteTo(QString target);
    // Copies the working image over target with the progress bar; the failure, if any.
    std::optional<platform::RuntimeError> SaveBack(const QString& target);
    bool ConfirmReplace();
    bool OfferSaveAs(const platform::RuntimeError& failure);
    std::optional<QString> AskSaveAsTarget();
    bool IsWorkImage(const QString& path) const;

    // Display (frmEditorDisplay.cpp).
    void DrawOffsets();
    bool IsPastEnd(int row, int col) const;
    void SetHexCell(int R, int C, const QString& text);
    void SetTextCell(int R, int C, const QString& text);
    // Redraws the cells of the byte at position, when the page shows it, from the image.
    void ShowByte(qint64 position);
    // Pages to position when the page does not show it, and puts the cursor on it.
    void ShowPosition(qint64 position);
    qint64 CursorPosition() const;

    // Panel (frmEditorPanel.cpp).
    void grid1_EnterCell(int Row, int Col);
    void grid2_EnterCell(int Row, int Col);
    void ShowCell(int Row, int Col, int paneTop);
    void grid1_RequestNextRow();
    void grid1_RequestPreviousRow();
    void grid1_RequestNextPage() { MoveNextPage(); }
    void grid1_RequestPreviousPage() { MovePreviousPage(); }
    void grid1_RequestBOF() { MoveFirst(); }
    void grid1_RequestEOF() { MoveLast(); }
    // The text pane asks for the same moves.
    void grid2_RequestNextRow() { grid1_RequestNextRow(); }
    void grid2_RequestPreviousRow() { grid1_RequestPreviousRow(); }
    void grid2_RequestNextPage() { MoveNextPage(); }
    void grid2_RequestPreviousPage() { MovePreviousPage(); }
    void grid2_RequestBOF() { MoveFirst(); }
    void grid2_RequestEOF() { MoveLast(); }

    // Editing (frmEditorEditing.cpp).
    void PicHex_KeyDown(int KeyCode, int Shift);
    void PicHex_KeyPress(int& KeyAscii);
    void PicHex_GotFocus();
    void PicHex_LostFocus();
    void PicText_KeyDown(int KeyCode, int Shift);
    void PicText_KeyPress(int& KeyAscii);
    void PicText_GotFocus();
    void grid1_LeaveCell(int OldRow, int OldCol);
    void Form_KeyUp(int KeyCode, int Shift);
    void SetModeColours(int pane);
    // Writes a half-entered hex cell as its low digit ("7" becomes 07h).
    void CompletePending();
    // Writes value at position through the edit history. Whether or not the write
    // succeeded, the cells then show the byte the image holds.
    bool WriteByte(qint64 position, int value);
    void UpdateEditActions();
    void MovePage(qint64 newStart);

    // Find and Go To (frmEditorFind.cpp).
    void FindDialog_FindNext(bool forward);

    platform::Services& services_;
    std::function<void()> showMain_;
    WorkImage image_;
    ByteEdits edits_{image_};
    FileStamp sourceStamp_; // the user's file as it was opened or last written
    bool endOfFile_ = false;
    bool busy_ = false;
    bool finished_ = false; // Done has run; the window waits to be deleted
    bool stopSearch_ = false;
    int yielding_ = 0;             // Yield calls under way
    bool ending_ = false;          // let go while yielding: what runs stops, and nothing starts
    bool deleteRequested_ = false; // to be deleted once the last Yield is over
    int shownPercent_ = -1;        // what the progress bar shows now
    double lastYieldMs_ = 0;       // when ShowProgress last handled the events
    std::optional<SearchPattern> lastPattern_;
    qint64 lastMatch_ = 0; // where the last search landed: the next one starts after it

    // A first hex digit typed but not yet completed: the byte's position and the digit.
    struct PendingDigit {
        bool active = false;
        qint64 position = 0;
        QChar digit;
    } pending_;
};
