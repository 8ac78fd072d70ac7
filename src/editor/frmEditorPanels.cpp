// The side panels beside the page: the data inspector (the bytes at the cursor as numbers,
// text and the rest), the fields of a recipe or a layout file, the bookmarks; and their
// commands: Update Checksums, Toggle Bookmark, Next and Previous Bookmark.
#include "frmEditor.h"

#include "OpenDialog.h"
#include "PanelTable.h"
#include "common/Module1.h"
#include "platform/MessageBoxes.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

namespace {

const QString EditorSection = QStringLiteral("Editor");
// The layout last opened, for every file: the images of one product are opened one after
// another under their own names (each board's read), and all want the same fields.
const QString LayoutKey = QStringLiteral("FieldLayout");
const QString LayoutFilter = QStringLiteral(
    "Recipes and layouts (*.ini *.recipe *.layout)|*.ini;*.recipe;*.layout|All files (*)|*");

} // namespace

QDockWidget* frmEditor::Dock(const char* name, const QString& title, QWidget* content,
                             Qt::DockWidgetArea area, const char* action, const QKeySequence& key) {
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QLatin1String(name));
    dock->setWidget(content);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    addDockWidget(area, dock);
    // Shown or not as the user left it last time.
    const QString key_ = QLatin1String(name);
    dock->setVisible(services_.settings.GetSetting(EditorSection, key_) == QLatin1String("1"));
    QAction* toggle = dock->toggleViewAction();
    toggle->setObjectName(QLatin1String(action));
    toggle->setShortcut(key);
    addAction(toggle);
    mnuView_->addAction(toggle);
    connect(toggle, &QAction::triggered, this, [this, key_](bool on) {
        services_.settings.SaveSetting(EditorSection, key_,
                                       on ? QStringLiteral("1") : QStringLiteral("0"));
        // The page keeps its room: the window grows by the panel, as far as the screen allows.
        FitScreen();
        ShowInspector();
        ShowFields();
    });
    return dock;
}

void frmEditor::BuildPanels() {
    mnuView_ = new QMenu(tr("&View"), menuBar_);
    mnuView_->setObjectName(QStringLiteral("mnuView"));
    menuBar_->insertMenu(mnuDone_, mnuView_);

    inspectorTable_ = new PanelTable({tr("Type"), tr("Value")}, 1);
    inspectorTable_->setObjectName(QStringLiteral("inspectorTable"));
    // The type's column as wide as its longest name, the value's the rest.
    inspectorTable_->setColumnWidth(0, fontMetrics().horizontalAdvance(QStringLiteral("u64le__")));
    inspectorDock_ = Dock("dataInspector", tr("Data Inspector"), inspectorTable_,
                          Qt::RightDockWidgetArea, "mnuDataInspector", QKeySequence());
    connect(inspectorTable_, &PanelTable::Entered, this, &frmEditor::InspectorEntered);

    auto* fields = new QWidget;
    auto* column = new QVBoxLayout(fields);
    column->setContentsMargins(2, 2, 2, 2);
    auto* line = new QHBoxLayout;
    auto* open = new QPushButton(tr("Open Layout..."), fields);
    open->setObjectName(QStringLiteral("fieldsOpen"));
    connect(open, &QPushButton::clicked, this, &frmEditor::mnuOpenLayout_Click);
    fieldsFile_ = new QLabel(tr("No recipe or layout file open"), fields);
    fieldsFile_->setObjectName(QStringLiteral("fieldsFile"));
    line->addWidget(open);
    line->addWidget(fieldsFile_, 1);
    column->addLayout(line);
    fieldsTable_ =
        new PanelTable({tr("Field"), tr("Address"), tr("Type"), tr("Value"), tr("Check")}, 3);
    fieldsTable_->setObjectName(QStringLiteral("fieldsTable"));
    for (int c = 0; c < 4; ++c) { // the check's column takes the rest
        fieldsTable_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    column->addWidget(fieldsTable_);
    fieldsDock_ = Dock("fieldsPanel", tr("Fields"), fields, Qt::BottomDockWidgetArea, "mnuFields",
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connect(fieldsTable_, &PanelTable::Entered, this, &frmEditor::FieldEntered);
    connect(fieldsTable_, &PanelTable::Chosen, this, &frmEditor::FieldChosen);

    bookmarksTable_ = new PanelTable({tr("Offset"), tr("Name")}, -1);
    bookmarksTable_->setObjectName(QStringLiteral("bookmarksTable"));
    bookmarksDock_ = Dock("bookmarksPanel", tr("Bookmarks"), bookmarksTable_,
                          Qt::RightDockWidgetArea, "mnuBookmarks", QKeySequence());
    connect(bookmarksTable_, &PanelTable::Chosen, this, [this](int row) {
        if (Ready() && row < bookmarks_.List().size()) {
            GoToMark(bookmarks_.List()[row]);
        }
    });
    tabifyDockWidget(inspectorDock_, bookmarksDock_);
    inspectorDock_->raise();

    const auto item = [this](const char* name, const QString& caption, const QKeySequence& key,
                             auto slot) {
        QAction* action = mnuEdit_->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    mnuEdit_->addSeparator();
    mnuUpdateChecksums_ = item("mnuUpdateChecksums", tr("Update &Checksums"), QKeySequence(),
                               &frmEditor::mnuUpdateChecksums_Click);
    mnuToggleBookmark_ =
        item("mnuToggleBookmark", tr("Toggle &Bookmark..."), QKeySequence(Qt::CTRL | Qt::Key_B),
             &frmEditor::mnuToggleBookmark_Click);
    mnuNextBookmark_ = item("mnuNextBookmark", tr("Next Boo&kmark"), QKeySequence(Qt::Key_F2),
                            [this] { StepBookmark(true); });
    mnuPreviousBookmark_ =
        item("mnuPreviousBookmark", tr("Previous Bookm&ark"), QKeySequence(Qt::SHIFT | Qt::Key_F2),
             [this] { StepBookmark(false); });

    const QString layout = services_.settings.GetSetting(EditorSection, LayoutKey);
    if (!layout.isEmpty()) {
        QString why;
        if (fields_.Load(layout, &why)) {
            fieldsFile_->setText(QFileInfo(layout).fileName());
            fieldsFile_->setToolTip(layout);
        } // a layout gone since is simply not shown; opening it again tells why
    }
}

// ---- The data inspector ----

void frmEditor::ShowInspector() {
    if (!inspectorDock_ || inspectorDock_->isHidden() || !document_.Loaded()) {
        return;
    }
    inspected_ = CursorValues::Rows(document_, session_.View().position);
    QList<QStringList> rows;
    rows.reserve(inspected_.size());
    for (const CursorValues::Row& row : inspected_) {
        rows.append({row.name, row.value});
    }
    inspectorTable_->Show(rows);
}

void frmEditor::InspectorEntered(int row, const QString& text) {
    if (Ready() && row < inspected_.size()) {
        session_.CompletePending();
        if (CursorValues::WriteValue(document_, session_.View().position, inspected_[row].format,
                                     text)) {
            BytesChanged();
        }
    }
    ShowDocument();
    ShowInspector(); // a refused value gives way to what the bytes hold
}

// ---- The fields ----

void frmEditor::ShowFields() {
    if (!fieldsDock_ || fieldsDock_->isHidden() || !document_.Loaded()) {
        return;
    }
    fieldsVersion_ = version_;
    QList<QStringList> rows;
    for (const DocumentFields::Row& row : fields_.Rows(document_)) {
        rows.append({row.name, row.address, row.type, row.value, row.state});
    }
    fieldsTable_->Show(rows);
}

void frmEditor::FieldEntered(int row, const QString& text) {
    if (Ready()) {
        session_.CompletePending();
        if (fields_.Write(document_, row, text)) {
            BytesChanged();
        }
    }
    ShowDocument();
    fieldsVersion_ = -1;
    ShowFields();
}

void frmEditor::FieldChosen(int row) {
    if (!Ready()) {
        return;
    }
    if (const std::optional<EditorDocument::Span> span = fields_.SpanOf(document_, row)) {
        GoToMark({span->position, span->length, QString()});
    } else {
        statusBar()->showMessage(tr("The field %1 lies outside this image.")
                                     .arg(fields_.Rows(document_).value(row).name));
    }
}

void frmEditor::mnuOpenLayout_Click() {
    if (busy_ || finished_) {
        return;
    }
    QString path;
    {
        const Nested nested(*this, true);
        path = Module1::ShowOpenDialog(
            services_.dialogs, LayoutFilter, tr("Open Recipe or Layout"),
            Module1::FolderOf(fields_.Path().isEmpty() ? document_.SourceName() : fields_.Path()));
    }
    if (!path.isEmpty() && !ending_) {
        LoadLayout(path);
    }
}

bool frmEditor::LoadLayout(const QString& path) {
    QString why;
    if (!fields_.Load(path, &why)) {
        Tell(why, Tone::Warning);
        return false;
    }
    services_.settings.SaveSetting(EditorSection, LayoutKey, path);
    fieldsFile_->setText(QFileInfo(path).fileName());
    fieldsFile_->setToolTip(path);
    if (document_.Loaded()) {
        fields_.SetBaseline(document_);
    }
    fieldsVersion_ = -1;
    if (fieldsDock_->isHidden()) {
        fieldsDock_->show();
        services_.settings.SaveSetting(EditorSection, fieldsDock_->objectName(),
                                       QStringLiteral("1"));
    }
    ShowFields();
    UpdateActions();
    return true;
}

void frmEditor::mnuUpdateChecksums_Click() {
    if (!Ready()) {
        return;
    }
    if (session_.PendingDigit()) {
        session_.CompletePending();
        BytesChanged();
    }
    const std::optional<QList<EditorDocument::Span>> written = fields_.UpdateChecksums(document_);
    if (written && !written->isEmpty()) {
        for (const EditorDocument::Span& span : *written) {
            BytesChangedAt(span);
        }
        statusBar()->showMessage(tr("%n checksum field(s) updated.", nullptr, written->size()));
    } else if (written) {
        statusBar()->showMessage(tr("Every checksum field matches its data."));
    }
    ShowDocument();
}

bool frmEditor::SettleChecksums() {
    const QStringList broken = fields_.Broken(document_);
    if (broken.isEmpty()) {
        return true;
    }
    const QString question =
        broken.size() == 1
            ? tr("The checksum field %1 no longer matches the data. Update it before saving?")
                  .arg(broken.first())
            : tr("The checksum fields %1 no longer match the data. Update them before saving?")
                  .arg(broken.join(QStringLiteral(", ")));
    switch (MsgBox(question, MsgStyle::YesNoCancel | MsgStyle::Question)) {
    case MsgAnswer::Yes:
        BytesChanged();
        return fields_.UpdateChecksums(document_).has_value();
    case MsgAnswer::No:
        return true;
    default:
        return false;
    }
}

// ---- Bookmarks ----

QString frmEditor::BookmarkStore() const {
    return QFileInfo(services_.settings.Location())
        .dir()
        .filePath(QStringLiteral("bookmarks.json"));
}

void frmEditor::mnuToggleBookmark_Click() {
    if (!Ready()) {
        return;
    }
    const std::optional<EditorDocument::Span> span = session_.Selection();
    const qint64 position = span ? span->position : session_.View().position;
    if (const int at = bookmarks_.IndexAt(position); at >= 0) {
        bookmarks_.Remove(at);
        statusBar()->showMessage(
            tr("Bookmark at %1 removed.").arg(document_.OffsetText(document_.OffsetOf(position))));
    } else {
        std::optional<QString> name;
        {
            const Nested nested(*this, true);
            name = services_.messages.InputBox(
                tr("A name for the bookmark at %1 (or none):")
                    .arg(document_.OffsetText(document_.OffsetOf(position))),
                tr("Bookmark"), QString());
        }
        if (!name || ending_ || !Ready()) {
            return;
        }
        bookmarks_.Add({position, span ? span->length : 1, name->trimmed()});
    }
    QString why;
    if (!bookmarks_.Save(BookmarkStore(), document_.SourceName(), &why)) {
        Tell(tr("The bookmarks could not be kept in %1: %2").arg(BookmarkStore(), why),
             Tone::Warning);
    }
    ShowBookmarks();
}

void frmEditor::StepBookmark(bool forward) {
    if (!Ready()) {
        return;
    }
    bool wrapped = false;
    const std::optional<Bookmarks::Mark> mark =
        bookmarks_.Step(session_.View().position, forward, &wrapped);
    if (!mark) {
        statusBar()->showMessage(tr("No bookmarks: Ctrl+B sets one at the cursor."));
        return;
    }
    GoToMark(*mark);
    if (wrapped) {
        statusBar()->showMessage(forward ? tr("Past the last bookmark: back to the first.")
                                         : tr("Before the first bookmark: on to the last."));
    }
}

void frmEditor::GoToMark(const Bookmarks::Mark& mark) {
    // The cursor on its first byte, its bytes selected.
    session_.MoveTo(mark.position + mark.length - 1, false);
    session_.MoveTo(mark.position, mark.length > 1);
    ShowDocument();
}

void frmEditor::ShowBookmarks() {
    QList<QStringList> rows;
    for (const Bookmarks::Mark& mark : bookmarks_.List()) {
        QString where = document_.OffsetText(document_.OffsetOf(mark.position));
        if (mark.length > 1) {
            where += tr(" (%1 bytes)").arg(mark.length);
        }
        rows.append({where, mark.name});
    }
    bookmarksTable_->Show(rows);
    UpdateActions();
}

void frmEditor::PanelsOpened() {
    bookmarks_.Load(BookmarkStore(), document_.SourceName(), document_.Length());
    ShowBookmarks();
    fields_.SetBaseline(document_);
    fieldsVersion_ = -1;
    ShowFields();
    ShowInspector();
}

void frmEditor::PanelsClosed() {
    bookmarks_.Clear();
    ShowBookmarks();
    for (PanelTable* table : {inspectorTable_, fieldsTable_}) {
        table->Show({});
    }
    inspected_.clear();
}
