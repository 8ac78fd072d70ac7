#pragma once

#include "WorkImage.h"

#include <QWidget>
#include <array>
#include <functional>

class ClickLabel;
class Grid;
class MarkerShape;
class PictureBox;
class QAction;
class QFile;
class QLabel;
class QMenu;
class QMenuBar;

namespace platform {
struct Services;
class RuntimeError;
} // namespace platform

// The Memory window: shows a file of any size as pages of 20 rows of 16 bytes, as offsets,
// hex and text side by side, lets the user change bytes in either pane, and on Done offers
// to write the changes back. The bytes live in the working image on disk, never in memory.
class frmEditor : public QWidget {
    Q_OBJECT

public:
    static constexpr int BytesPerRow = 16;
    static constexpr int RowsPerPage = 20;
    static constexpr int BytesPerPage = 320;

    // showMain shows the main window again when the editor goes; hideMain hides it when the
    // editor has to come back (a write-back that failed).
    frmEditor(platform::Services& services, std::function<void()> showMain,
              std::function<void()> hideMain = {}, QWidget* parent = nullptr);
    ~frmEditor() override;

    // ---- Document ----
    // Copies the file into the working image and prepares the window (no drawing).
    bool OpenFile(const QString& FileName);
    void OpenWithDialog(); // File > Open
    void mnuDone_Click();  // Done
    // Closes the working image; the program is ending.
    void CloseAllFiles();
    // A copy into or out of the working image is under way.
    bool Busy() const { return busy_; }
    WorkImage& Image() { return image_; }

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
    void SaveData(int R, int C);
    void lblSelect_Click();
    void lblInfo_Click(int Index);

    // ---- Window state ----
    qint64 PageStart = 1; // 1-based position of the byte at row 0, column 0
    int ActivePane = 0;   // 1 hex pane, 2 text pane, 0 before either had the focus
    bool Modified = false;
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
    QAction* mnuDone = nullptr;
    PictureBox* PicOffSet = nullptr;
    PictureBox* PicHex = nullptr;
    PictureBox* PicText = nullptr;
    MarkerShape* Shape1 = nullptr;    // grid1's cursor
    MarkerShape* Shape2 = nullptr;    // grid2's cursor
    PictureBox* Picture1 = nullptr;   // progress bar
    QLabel* Label8 = nullptr;         // its caption
    QLabel* Label7 = nullptr;         // the open file's name
    std::array<QLabel*, 10> Label1{}; // panel headings
    std::array<QLabel*, 17> Label2{}; // column headers, 16: over the text pane
    std::array<ClickLabel*, 9> lblInfo{};
    std::array<QLabel*, 2> Sign{}; // column and row markers
    ClickLabel* lblSelect = nullptr;

protected:
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
    void LoadLanguage();
    bool LoadWorkImage(QFile& source);
    bool SaveBack();
    void EnableEditor();
    void ShowNoFile();
    void ShowProgress(int percent);
    bool CanOpen(const QString& path);
    bool SaveOrDiscardChanges();
    bool AskToSave(); // Done's question: true for Yes
    void ShowError(const platform::RuntimeError& error);
    void Yield();

    // Display (frmEditorDisplay.cpp).
    void DrawOffsets();
    bool IsPastEnd(int row, int col) const;
    void SetHexCell(int R, int C, const QString& text);
    void SetTextCell(int R, int C, const QString& text);

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
    // Writes a half-entered hex cell as its low digit ("7" becomes 07h), wherever the page
    // has moved since the digit was typed.
    void CompletePending();
    void MovePage(qint64 newStart);

    platform::Services& services_;
    std::function<void()> showMain_;
    std::function<void()> hideMain_;
    WorkImage image_;
    bool endOfFile_ = false;
    bool busy_ = false;
    bool finished_ = false; // Done has run; the window waits to be deleted
    int shownPercent_ = -1; // what the progress bar shows now

    // A first hex digit typed but not yet completed: the byte's position, its cell and the
    // page it was typed on.
    struct PendingDigit {
        bool active = false;
        qint64 position = 0;
        qint64 pointer = 0;
        int row = 0;
        int col = 0;
        QChar digit;
    } pending_;
};
