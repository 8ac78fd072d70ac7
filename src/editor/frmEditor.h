#pragma once

#include "common/Module1.h"
#include "model/Bookmarks.h"
#include "model/CursorValues.h"
#include "model/DocumentFields.h"
#include "model/EditSession.h"
#include "model/EditorDocument.h"
#include "model/EditorObserver.h"

#include <QColor>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class BusyScope;
class ClickLabel;
class FindDialog;
class GoToDialog;
class Grid;
class MarkerShape;
class PanelTable;
class PictureBox;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QTimer;

namespace platform {
struct Services;
class RuntimeError;
} // namespace platform

// The Memory window: shows the document (a file of any size) as pages of 20 rows of 16
// bytes, as offsets, hex and text side by side, and routes the user's keys, clicks and
// commands to it. What the document does lives in EditorDocument and what the user does to it
// in EditSession; the window draws them, asks their questions and shows their progress.
class frmEditor : public QMainWindow, private EditorObserver {
    Q_OBJECT

public:
    // showMain shows the main window again when the editor goes (once its write-back, if
    // any, is over).
    frmEditor(platform::Services& services, const Module1::ProgramPlaces& places,
              std::function<void()> showMain, QWidget* parent = nullptr);
    ~frmEditor() override;

    // Opens path as File > Open does once a file is chosen.
    bool OpenFile(const QString& path);
    // The program is ending (or Done is over): closes the working image, stops a copy or a
    // search under way and lets nothing new start.
    void CloseAllFiles();
    // The program ends without asking (a signal): unsaved edits, a half-typed byte
    // included, are moved out of the working image to Module1::KeptChangesPath, and the
    // settings remember whose they are. The kept file's path, or nothing when there were none;
    // a RuntimeError (75) when they could not be moved.
    std::optional<QString> KeepUnsavedChanges();
    // The program is asked to end: unsaved edits are settled as Done settles them, with
    // Cancel. False keeps the program open (Cancel, or the edits could not be written).
    bool SettleBeforeEnd();
    // At the editor's start: offers the edits an earlier run kept ("Unsaved changes of fw.bin
    // from 10:42 were kept. Open them?"). Yes opens them as the document of their file, with
    // changes to save; either answer removes the kept file.
    void OfferKeptChanges();
    // A copy, a search or another long work is under way, or the window is handling events
    // inside one of its own routines: it may not be deleted now, only let go with
    // deleteLater (it goes once its routine is over).
    bool Busy() const { return busy_ || yielding_ > 0; }
    QString SourceFileName() const { return document_.SourceName(); }
    // The document the window shows and its edit session; after changing either directly,
    // Refresh shows the change.
    const EditorDocument& Document() const { return document_; }
    EditorDocument& Document() { return document_; }
    const EditSession& Session() const { return session_; }
    EditSession& Session() { return session_; }
    void Refresh() {
        BytesChanged();
        ShowDocument();
    }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int BytesPerRow = PageGeometry::BytesPerRow;
    static constexpr int RowsPerPage = PageGeometry::RowsPerPage;
    static constexpr int BytesPerPage = PageGeometry::BytesPerPage;
    // The Open and Save As dialogs' filters: every format the editor reads, then any file.
    static const QString OpenFilter;

    // Set-up (frmEditorLayout.cpp).
    void BuildMenus();
    void BuildControls();
    void ConnectEvents();
    void LoadLanguage();
    void FitScreen();
    // The panel below the page, the page's margins gone: for a screen too narrow for both side
    // by side.
    void Compact();

    // The document's observer (frmEditorObserver.cpp): progress, questions, Save As.
    void WorkStarts(const QString& caption, bool stoppable) override;
    bool WorkProgress(int percent) override;
    void WorkOver() override;
    Answer Ask(const QString& question, bool cancel, Tone tone, bool defaultNo) override;
    void Tell(const QString& message, Tone tone) override;
    void Fail(const platform::RuntimeError& error) override;
    std::optional<QString> SaveAsTarget() override;
    bool Ending() const override { return ending_; }
    // Everything that hands control to the event loop from inside a routine of the window
    // (a yield, a message box, a file dialog) does it inside a Nested: the window cannot be
    // deleted meanwhile, only let go. A box or a dialog (answered) lifts the input blocker of
    // a work under way while it is up, so that the user can answer it.
    struct Nested {
        explicit Nested(frmEditor& editor, bool answered = false);
        ~Nested();
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
        frmEditor& editor_;
        BusyScope* lifted_ = nullptr;
    };
    void Yield();
    int MsgBox(const QString& prompt, int style);
    void ShowProgress(int percent);

    // Display (frmEditorDisplay.cpp): the page, the cursors, the panel.
    void FillGrid();
    void DrawOffsets();
    void DrawCell(int row, int col, int value, bool selected, bool differs);
    static inline const QColor DifferenceBack{0xFF, 0xD0, 0xD0};
    static inline const QColor DifferenceLine{0xD0, 0x00, 0x00};
    // Brings the panes to the document after any change: the page when it moved, the
    // cells, the cursors, the panel and the menus.
    void ShowDocument();
    // The bytes changed (an edit, an undo, a paste): the page and the sums are figured again.
    void BytesChanged() {
        changed_ = true;
        ++version_;
    }
    // Only the bytes of span changed: the page is drawn again when it shows them.
    void BytesChangedAt(const EditorDocument::Span& span) {
        ++version_;
        changed_ = changed_ || (span.position < drawnPage_ + BytesPerPage &&
                                span.position + span.length > drawnPage_);
    }
    void ShowCursor();
    void ShowPanel();
    void ShowSelection();
    void UpdateActions();
    void ShowNoFile();
    void ShowOpened();
    void SetModeColours(int pane);
    // "fw.bin - caption", with "*" before it while there are changes to save.
    void ShowTitle();
    // The offset column, the column headers and the radix toggle in hex (or decimal).
    void SetRadix(bool hex);
    // The file written, in the status line.
    void ShowWritten();

    // Input (frmEditorInput.cpp): keys, clicks and drags in the panes.
    void Pane_KeyDown(int keyCode, int shift);
    void PicHex_KeyPress(int& KeyAscii);
    void PicText_KeyPress(int& KeyAscii);
    void Pane_GotFocus(EditSession::Pane pane);
    void Pane_Mouse(PictureBox* pane, int shift, int x, int y, bool drag);
    void grid_EnterCell(int Row, int Col);
    void Form_KeyUp(int KeyCode, int Shift);
    void lblSelect_Click();
    void lblInfo_Click(int Index);

    // Commands (frmEditorCommands.cpp): the menus.
    void OpenWithDialog();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuDone_Click();
    void mnuUndo_Click();
    void mnuRedo_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuFill_Click();
    void mnuSelectAll_Click();
    void mnuAdvance_Toggled(bool on);
    void mnuFind_Click();
    void FindDialog_FindNext(bool forward);
    void FindNext(bool forward);
    void mnuGoTo_Click();
    void mnuCompare_Click();
    void NextDifference(bool forward);
    bool Ready() const { return !busy_ && !finished_ && document_.Loaded(); }

    // The side panels (frmEditorPanels.cpp): the data inspector, the fields, the bookmarks,
    // and their commands.
    void BuildPanels();
    QDockWidget* Dock(const char* name, const QString& title, QWidget* content,
                      Qt::DockWidgetArea area, const char* action, const QKeySequence& key);
    void ShowInspector();
    void InspectorEntered(int row, const QString& text);
    // The fields' rows, figured again when the bytes changed since they were last shown.
    void ShowFields();
    void FieldEntered(int row, const QString& text);
    void FieldChosen(int row);
    void mnuOpenLayout_Click();
    bool LoadLayout(const QString& path);
    void mnuUpdateChecksums_Click();
    // Before a save: asks whether to update the checksum fields that were right and are not
    // now. False when the user cancels (nothing is saved).
    bool SettleChecksums();
    void mnuToggleBookmark_Click();
    void StepBookmark(bool forward);
    void GoToMark(const Bookmarks::Mark& mark);
    void ShowBookmarks();
    QString BookmarkStore() const;
    // A file was opened (its bookmarks, its fields) or closed.
    void PanelsOpened();
    void PanelsClosed();
    platform::Services& services_;
    Module1::ProgramPlaces places_;
    std::function<void()> showMain_;
    EditorDocument document_;
    EditSession session_{document_};

    // ---- Controls ----
    QMenuBar* menuBar_ = nullptr;
    QMenu* mnuFile_ = nullptr;
    QAction* mnuOpen_ = nullptr;
    QAction* mnuSave_ = nullptr;
    QAction* mnuSaveAs_ = nullptr;
    QAction* mnuCompare_ = nullptr;
    QMenu* mnuEdit_ = nullptr;
    QAction* mnuUndo_ = nullptr;
    QAction* mnuRedo_ = nullptr;
    QAction* mnuCopy_ = nullptr;
    QAction* mnuPaste_ = nullptr;
    QAction* mnuFill_ = nullptr;
    QAction* mnuSelectAll_ = nullptr;
    QAction* mnuAdvance_ = nullptr;
    QAction* mnuFind_ = nullptr;
    QAction* mnuFindNext_ = nullptr;
    QAction* mnuFindPrevious_ = nullptr;
    QAction* mnuGoTo_ = nullptr;
    QAction* mnuNextDifference_ = nullptr;
    QAction* mnuPreviousDifference_ = nullptr;
    QAction* mnuDone_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* panel_ = nullptr; // the information panel when it is below the page
    PictureBox* PicOffSet = nullptr;
    PictureBox* PicHex = nullptr;
    PictureBox* PicText = nullptr;
    MarkerShape* Shape1 = nullptr;    // grid1's cursor
    MarkerShape* Shape2 = nullptr;    // grid2's cursor
    PictureBox* Picture1 = nullptr;   // progress bar
    QLabel* Label8 = nullptr;         // its caption
    QPushButton* cmdStop = nullptr;   // stops a long work
    QLabel* Label7 = nullptr;         // the open file's name
    std::array<QLabel*, 11> Label1{}; // panel headings, 10: the selection
    std::array<QLabel*, 17> Label2{}; // column headers, 16: over the text pane
    std::array<ClickLabel*, 9> lblInfo{};
    QLabel* lblSelection_ = nullptr; // the selection's start, length and checksums
    std::array<QLabel*, 2> Sign{};   // column and row markers
    ClickLabel* lblSelect = nullptr;
    Grid* grid1 = nullptr;             // hex pane
    Grid* grid2 = nullptr;             // text pane
    FindDialog* findDialog_ = nullptr; // made on first use
    GoToDialog* goToDialog_ = nullptr;
    QMenu* mnuView_ = nullptr;
    QAction* mnuUpdateChecksums_ = nullptr;
    QAction* mnuToggleBookmark_ = nullptr;
    QAction* mnuNextBookmark_ = nullptr;
    QAction* mnuPreviousBookmark_ = nullptr;
    QDockWidget* inspectorDock_ = nullptr;
    QDockWidget* fieldsDock_ = nullptr;
    QDockWidget* bookmarksDock_ = nullptr;
    PanelTable* inspectorTable_ = nullptr;
    PanelTable* fieldsTable_ = nullptr;
    PanelTable* bookmarksTable_ = nullptr;
    QLabel* fieldsFile_ = nullptr; // the layout file the fields come from

    // ---- Window state ----
    int RowHeight = 0;
    bool OffsetHex = false;
    bool CtrlDown = false;
    // 0: the page word; 3: Done's question; 4, 5: progress captions of writing and opening.
    std::array<QString, 6> LangText;
    QString caption_;        // the window's caption from the language file, the boxes' title
    qint64 drawnPage_ = 0;   // the page the panes show
    qint64 drawnLength_ = 0; // of the image they show it from
    std::optional<EditorDocument::Span> drawnSelection_;
    bool changed_ = false;                  // the bytes changed: the page is drawn again
    int version_ = 0;                       // counts the changes of the bytes
    std::optional<EditSession::Sums> sums_; // of the selection sumsSpan_ at version sumsVersion_
    std::optional<EditorDocument::Span> sumsSpan_;
    // Selections up to this size get their sums at once; larger ones after a pause.
    static constexpr qint64 QuickSumsBytes = qint64(16) << 20;
    QTimer* sumsTimer_ = nullptr;
    int sumsVersion_ = -1;
    bool fitted_ = false;  // sized to the screen at its first showing
    bool framed_ = false;  // and again once the window manager's frame was known
    bool syncing_ = false; // the window moves the grids' cursors to the document's
    bool findHex_ = true;  // the kind Find used last in this session
    bool findChosen_ = false;
    bool busy_ = false;
    std::unique_ptr<BusyScope> busyScope_;
    bool finished_ = false; // Done has run; the window waits to be deleted
    bool stop_ = false;
    int yielding_ = 0;             // Yield calls under way
    bool ending_ = false;          // let go while yielding: what runs stops, and nothing starts
    bool deleteRequested_ = false; // to be deleted once the last Yield is over
    int shownPercent_ = -1;        // what the progress bar shows now
    double lastYieldMs_ = 0;       // when ShowProgress last handled the events
    QList<CursorValues::Row> inspected_; // what the inspector shows
    Bookmarks bookmarks_;
    DocumentFields fields_;
    int fieldsVersion_ = -1; // the bytes' version the fields panel shows
};
