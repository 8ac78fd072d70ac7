// The Memory window's controls at their design places, its menus, and its set-up on load.
#include "frmEditor.h"

#include "BusyScope.h"
#include "ClickLabel.h"
#include "FindDialog.h"
#include "GoToDialog.h"
#include "LangFile.h"
#include "common/Module1.h"
#include "grid/Grid.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "widgets/PictureBox.h"
#include "widgets/Twips.h"

#include <QAction>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

using widgets::TwipsRect;

static_assert(PageGeometry::BytesPerRow == Grid::Columns, "a row is one row of the grid");
static_assert(PageGeometry::RowsPerPage == Grid::GeometryRows, "a page fills the grid's rows");

namespace {

// Client area of the window, in twips.
constexpr int ClientWidth = 11610;
constexpr int ClientHeight = 7740;

// Places a control at its design position, given in twips.
template <typename W> W* Place(W* widget, int left, int top, int width, int height) {
    widget->setGeometry(TwipsRect(left, top, width, height));
    return widget;
}

// A marker: a small round dot in the middle of its label.
QPixmap Dot() {
    QPixmap pixmap(6, 6);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(0.5, 0.5, 5, 5));
    return pixmap;
}

} // namespace

frmEditor::frmEditor(platform::Services& services, const Module1::ProgramPlaces& places,
                     std::function<void()> showMain, QWidget* parent)
    : QMainWindow(parent), services_(services), places_(places), showMain_(std::move(showMain)),
      document_(*this, Module1::WorkImagePath()) {
    setObjectName(QStringLiteral("frmEditor"));
    caption_ = Module1::ProgramTitle;
    setWindowTitle(caption_);
    LangText[0] = QStringLiteral("of");
    LangText[3] = QStringLiteral("has been changed. Do you want to save the changes?");
    LangText[4] = QStringLiteral("Saving");
    LangText[5] = QStringLiteral("Openning");
    BuildMenus();
    BuildControls();
    BuildPanels();
    LoadLanguage();
    document_.SetDoneQuestion(LangText[3]);
    document_.SetCaptions(LangText[5], LangText[4]);
    grid1 = new Grid(this);
    grid1->setObjectName(QStringLiteral("grid1"));
    grid1->InitializeGrid(PicHex, Shape1);
    grid1->SetRows(RowsPerPage);
    grid2 = new Grid(this);
    grid2->setObjectName(QStringLiteral("grid2"));
    grid2->InitializeGrid(PicText, Shape2);
    grid2->SetRows(RowsPerPage);
    for (Grid* grid : {grid1, grid2}) {
        grid->SetHostMovesCursor(true);
    }
    RowHeight = PicOffSet->height() / RowsPerPage;
    ConnectEvents();
    FitScreen();
}

void frmEditor::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!fitted_) {
        fitted_ = true; // now with its frame known; afterwards the user's size stays
        FitScreen();
    }
}

frmEditor::~frmEditor() = default;

void frmEditor::BuildMenus() {
    // The shortcuts work wherever the focus is in the window; those that need a file stay
    // off until one is open.
    const auto item = [this](QMenu* menu, const char* name, const QString& caption,
                             const QList<QKeySequence>& keys, auto slot) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    setMenuBar(menuBar_);
    mnuFile_ = menuBar_->addMenu(QStringLiteral("&File"));
    mnuFile_->setObjectName(QStringLiteral("mn_0"));
    mnuOpen_ = item(mnuFile_, "sm1_0", QStringLiteral("Open"), {QKeySequence(Qt::CTRL | Qt::Key_O)},
                    &frmEditor::OpenWithDialog);
    mnuSave_ = item(mnuFile_, "mnuSave", tr("&Save"), {QKeySequence(Qt::CTRL | Qt::Key_S)},
                    &frmEditor::mnuSave_Click);
    mnuSaveAs_ =
        item(mnuFile_, "mnuSaveAs", tr("Save &As..."),
             {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, &frmEditor::mnuSaveAs_Click);
    mnuFile_->addSeparator();
    mnuCompare_ =
        item(mnuFile_, "mnuCompare", tr("&Compare With..."), {}, &frmEditor::mnuCompare_Click);

    mnuEdit_ = menuBar_->addMenu(tr("&Edit"));
    mnuEdit_->setObjectName(QStringLiteral("mnuEdit"));
    mnuUndo_ = item(mnuEdit_, "mnuUndo", tr("&Undo"), {QKeySequence(Qt::CTRL | Qt::Key_Z)},
                    &frmEditor::mnuUndo_Click);
    mnuRedo_ =
        item(mnuEdit_, "mnuRedo", tr("&Redo"),
             {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
             &frmEditor::mnuRedo_Click);
    mnuEdit_->addSeparator();
    mnuCopy_ = item(mnuEdit_, "mnuCopy", tr("&Copy"), {QKeySequence(Qt::CTRL | Qt::Key_C)},
                    &frmEditor::mnuCopy_Click);
    mnuPaste_ = item(mnuEdit_, "mnuPaste", tr("&Paste"), {QKeySequence(Qt::CTRL | Qt::Key_V)},
                     &frmEditor::mnuPaste_Click);
    mnuFill_ = item(mnuEdit_, "mnuFill", tr("F&ill Selection..."), {}, &frmEditor::mnuFill_Click);
    mnuSelectAll_ = item(mnuEdit_, "mnuSelectAll", tr("Select &All"),
                         {QKeySequence(Qt::CTRL | Qt::Key_A)}, &frmEditor::mnuSelectAll_Click);
    mnuEdit_->addSeparator();
    mnuAdvance_ = mnuEdit_->addAction(tr("Advance After Each &Byte"));
    mnuAdvance_->setObjectName(QStringLiteral("mnuAdvance"));
    mnuAdvance_->setCheckable(true);
    connect(mnuAdvance_, &QAction::toggled, this, &frmEditor::mnuAdvance_Toggled);
    mnuEdit_->addSeparator();
    mnuFind_ = item(mnuEdit_, "mnuFind", tr("&Find..."), {QKeySequence(Qt::CTRL | Qt::Key_F)},
                    &frmEditor::mnuFind_Click);
    mnuFindNext_ = item(mnuEdit_, "mnuFindNext", tr("Find &Next"), {QKeySequence(Qt::Key_F3)},
                        [this] { FindNext(true); });
    mnuFindPrevious_ = item(mnuEdit_, "mnuFindPrevious", tr("Find Pre&vious"),
                            {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { FindNext(false); });
    mnuGoTo_ = item(mnuEdit_, "mnuGoTo", tr("&Go To..."), {QKeySequence(Qt::CTRL | Qt::Key_G)},
                    &frmEditor::mnuGoTo_Click);
    mnuNextDifference_ = item(mnuEdit_, "mnuNextDifference", tr("Next &Difference"),
                              {QKeySequence(Qt::Key_F6)}, [this] { NextDifference(true); });
    mnuPreviousDifference_ =
        item(mnuEdit_, "mnuPreviousDifference", tr("Previous Di&fference"),
             {QKeySequence(Qt::SHIFT | Qt::Key_F6)}, [this] { NextDifference(false); });
    UpdateActions();

    mnuDone_ = menuBar_->addAction(QStringLiteral("&Done"));
    mnuDone_->setObjectName(QStringLiteral("mnuDone"));
    connect(mnuDone_, &QAction::triggered, this, &frmEditor::mnuDone_Click);
}

void frmEditor::BuildControls() {
    // The page keeps its designed size; where the screen is smaller (a high display scale)
    // it scrolls, and the menus stay in reach above it.
    // On a narrow screen the information panel goes below the page, out of the scrolled part
    // (Compact).
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    scroll_ = new QScrollArea(central);
    scroll_->setObjectName(QStringLiteral("scroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    auto* client = new QWidget(scroll_);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(TwipsRect(0, 0, ClientWidth, ClientHeight).size());
    scroll_->setWidget(client);
    panel_ = new QWidget(central);
    panel_->setObjectName(QStringLiteral("panel"));
    panel_->hide();
    column->addWidget(scroll_);
    column->addWidget(panel_);
    setCentralWidget(central);
    // What Save wrote, and where.
    statusBar()->setObjectName(QStringLiteral("statusBar"));

    const auto label = [client](const QString& name, const QString& caption) {
        auto* l = new QLabel(caption, client);
        l->setObjectName(name);
        return l;
    };
    const auto pane = [client](const QString& name) {
        auto* box = new PictureBox(client);
        box->setObjectName(name);
        box->SetBackColor(Qt::white);
        box->SetForeColor(Qt::black);
        return box;
    };

    lblSelect = Place(new ClickLabel(QStringLiteral("OFFSET DEC"), client), 270, 810, 1140, 240);
    lblSelect->setObjectName(QStringLiteral("lblSelect"));
    lblSelect->setAlignment(Qt::AlignCenter);
    lblSelect->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblSelect->setCursor(Qt::PointingHandCursor);
    QFont small = lblSelect->font();
    small.setPointSizeF(7);
    lblSelect->setFont(small);
    lblSelect->setEnabled(false);

    for (int i = 0; i < BytesPerRow; ++i) {
        Label2[i] = Place(label(QStringLiteral("Label2_%1").arg(i),
                                QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))),
                          1530 + 330 * i, 810, 330, 195);
        Label2[i]->setAlignment(Qt::AlignCenter);
    }
    Label2[16] =
        Place(label(QStringLiteral("Label2_16"), QStringLiteral("Text ")), 6975, 810, 2265, 195);
    Label2[16]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    PicOffSet = Place(pane(QStringLiteral("PicOffSet")), 270, 1110, 1140, 5715);
    PicHex = Place(pane(QStringLiteral("PicHex")), 1515, 1110, 5280, 5715);
    PicText = Place(pane(QStringLiteral("PicText")), 6975, 1110, 2265, 5715);
    for (PictureBox* box : {PicOffSet, PicHex, PicText}) {
        box->SetFontSpec(QStringLiteral("Courier New"), 9);
    }
    PicOffSet->setFocusPolicy(Qt::NoFocus);
    PicHex->setFocusPolicy(Qt::StrongFocus);
    PicText->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(PicHex, PicText);
    PicHex->setEnabled(false);
    PicText->setEnabled(false);
    Shape1 = new MarkerShape(PicHex);
    Shape2 = new MarkerShape(PicText);
    Shape1->SetVisible(false);
    Shape2->SetVisible(false);

    // The markers: column marker under the headers, row marker between offsets and hex.
    const QPixmap dot = Dot();
    Sign[0] = Place(label(QStringLiteral("Sign_0"), QString()), 1620, 1005, 150, 105);
    Sign[1] = Place(label(QStringLiteral("Sign_1"), QString()), 1410, 1140, 105, 225);
    for (QLabel* sign : Sign) {
        sign->setPixmap(dot);
        sign->setAlignment(Qt::AlignCenter);
        sign->hide();
    }

    // The information panel.
    const int panelLeft = 9810;
    const int valueLeft = 10350;
    Label1[8] = Place(label(QStringLiteral("Label1_8"), QStringLiteral("Edit Mode")), panelLeft,
                      810, 1650, 240);
    Label1[0] = Place(label(QStringLiteral("Label1_0"), QStringLiteral("Selected Byte")), panelLeft,
                      1575, 1650, 240);
    Label1[4] =
        Place(label(QStringLiteral("Label1_4"), QStringLiteral("Hex:")), panelLeft, 1800, 540, 240);
    Label1[5] =
        Place(label(QStringLiteral("Label1_5"), QStringLiteral("Dec:")), panelLeft, 2070, 540, 240);
    Label1[1] = Place(label(QStringLiteral("Label1_1"), QStringLiteral("Offset")), panelLeft, 2565,
                      1650, 240);
    Label1[6] =
        Place(label(QStringLiteral("Label1_6"), QStringLiteral("Hex:")), panelLeft, 2790, 540, 240);
    Label1[7] =
        Place(label(QStringLiteral("Label1_7"), QStringLiteral("Dec:")), panelLeft, 3060, 540, 240);
    Label1[2] = Place(label(QStringLiteral("Label1_2"), QStringLiteral("Page")), panelLeft, 3525,
                      1650, 240);
    Label1[9] = Place(label(QStringLiteral("Label1_9"), QStringLiteral("Bytes per Page")),
                      panelLeft, 4275, 1650, 240);
    Label1[3] = Place(label(QStringLiteral("Label1_3"), QStringLiteral("File Size")), panelLeft,
                      5040, 1650, 240);
    Label1[10] =
        Place(label(QStringLiteral("Label1_10"), tr("Selection")), panelLeft, 5790, 1650, 240);
    lblSelection_ =
        Place(label(QStringLiteral("lblSelection"), QString()), panelLeft, 6030, 1740, 1100);
    lblSelection_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblSelection_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (int i : {0, 1, 2, 3, 8, 9, 10}) {
        QFont bold = Label1[i]->font();
        bold.setBold(true);
        Label1[i]->setFont(bold);
    }

    const auto info = [client](int i, const QString& caption) {
        auto* l = new ClickLabel(caption, client);
        l->setObjectName(QStringLiteral("lblInfo_%1").arg(i));
        return l;
    };
    lblInfo[0] = Place(info(0, QStringLiteral("00 ")), valueLeft, 1800, 1110, 240);
    lblInfo[1] = Place(info(1, QStringLiteral("00 ")), valueLeft, 2070, 1110, 240);
    lblInfo[2] = Place(info(2, QStringLiteral("00 ")), valueLeft, 2790, 1110, 240);
    lblInfo[3] = Place(info(3, QStringLiteral("00 ")), valueLeft, 3060, 1110, 240);
    lblInfo[4] = Place(info(4, QStringLiteral("0 of 0")), panelLeft, 3780, 1650, 240);
    lblInfo[8] = Place(info(8, QStringLiteral("0 Bytes")), panelLeft, 4530, 1650, 240);
    lblInfo[5] = Place(info(5, QStringLiteral("0 Bytes")), panelLeft, 5295, 1650, 240);
    lblInfo[6] = Place(info(6, QStringLiteral("Hex")), panelLeft, 1065, 660, 255);
    lblInfo[7] = Place(info(7, QStringLiteral("Text")), panelLeft + 750, 1065, 660, 255);
    for (int i : {6, 7}) {
        lblInfo[i]->setAlignment(Qt::AlignCenter);
        lblInfo[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        lblInfo[i]->setAutoFillBackground(true);
    }
    SetModeColours(0);

    Label7 = Place(label(QStringLiteral("Label7"), QString()), 270, 6960, 9180, 240);
    Picture1 = Place(pane(QStringLiteral("Picture1")), 270, 7260, 9180, 330);
    Picture1->SetBackColor(palette().color(QPalette::Window));
    Picture1->SetForeColor(QColor(0x8C, 0xB4, 0xE8));
    Picture1->setFocusPolicy(Qt::NoFocus);
    Picture1->hide();
    Label8 = new QLabel(QStringLiteral("Openning"), Picture1);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setGeometry(6, 0, Picture1->width() - 12, Picture1->height());
    Label8->setAttribute(Qt::WA_TransparentForMouseEvents);
    cmdStop = Place(new QPushButton(tr("Stop"), client), 9810, 7245, 1380, 360);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdStop->setFocusPolicy(Qt::NoFocus);
    cmdStop->hide();
}

void frmEditor::LoadLanguage() {
    // A missing file, or a record it lacks, leaves blank or fills with anything but text,
    // keeps the built-in caption.
    QFile file3(places_.LanguageFilePath());
    if (!file3.open(QIODevice::ReadOnly)) {
        return;
    }
    const auto apply = [&file3](int n, const std::function<void(const QString&)>& set) {
        const std::optional<QString> text = Module1::ReadLangRecord(file3, n);
        if (text && !text->isEmpty()) {
            set(*text);
        }
    };
    apply(1, [this](const QString& t) {
        caption_ = t;
        setWindowTitle(t);
    });
    apply(22, [this](const QString& t) { Label1[0]->setText(t); });
    apply(23, [this](const QString& t) { Label1[2]->setText(t); });
    apply(25, [this](const QString& t) { Label1[3]->setText(t); });
    apply(21, [this](const QString& t) { Label1[8]->setText(t); });
    apply(24, [this](const QString& t) { Label1[9]->setText(t); });
    apply(33, [this](const QString& t) {
        lblInfo[4]->setText(QStringLiteral("0 ") + t + QStringLiteral(" 0"));
        LangText[0] = t;
    });
    apply(32, [this](const QString& t) { lblInfo[7]->setText(t); });
    apply(20, [this](const QString& t) { Label2[16]->setText(t); });
    apply(34, [this](const QString& t) { mnuFile_->setTitle(t); });
    apply(35, [this](const QString& t) { mnuOpen_->setText(t); });
    apply(127, [this](const QString& t) { LangText[3] = t; });
    apply(128, [this](const QString& t) { LangText[4] = t; });
    apply(129, [this](const QString& t) { LangText[5] = t; });
}

void frmEditor::Compact() {
    // The page without its margins: everything moves up and to the left.
    const QPoint shift = TwipsRect(240, 780, 0, 0).topLeft();
    QWidget* client = scroll_->widget();
    Label7->resize(PicText->geometry().right() - Label7->x() + 1, Label7->height());
    for (QWidget* control : std::initializer_list<QWidget*>{lblSelect, PicOffSet, PicHex, PicText,
                                                            Sign[0], Sign[1], Label7}) {
        control->move(control->pos() - shift);
    }
    for (QLabel* header : Label2) {
        header->move(header->pos() - shift);
    }
    client->setFixedSize(Label7->geometry().right() + TwipsRect(0, 0, 60, 0).width(),
                         Label7->geometry().bottom() + TwipsRect(0, 0, 0, 60).height());
    // The panel in four lines of five columns below the page.
    const auto line = [](int i) { return 45 + 240 * i; };
    const auto put = [this](QWidget* control, int left, int top, int width, int height = 240) {
        control->setParent(panel_);
        Place(control, left, top, width, height);
        control->show();
    };
    put(Label1[8], 60, line(0), 1440);
    put(lblInfo[6], 60, line(1) - 8, 660, 255);
    put(lblInfo[7], 810, line(1) - 8, 660, 255);
    put(Label1[2], 60, line(2), 1440);
    put(lblInfo[4], 60, line(3), 1440);
    for (const auto& [heading, hex, dec, hexValue, decValue, left] :
         {std::tuple{Label1[0], Label1[4], Label1[5], lblInfo[0], lblInfo[1], 1590},
          std::tuple{Label1[1], Label1[6], Label1[7], lblInfo[2], lblInfo[3], 3150}}) {
        put(heading, left, line(0), 1500);
        put(hex, left, line(1), 540);
        put(hexValue, left + 540, line(1), 960);
        put(dec, left, line(2), 540);
        put(decValue, left + 540, line(2), 960);
    }
    put(Label1[9], 4710, line(0), 1650);
    put(lblInfo[8], 4710, line(1), 1650);
    put(Label1[3], 4710, line(2), 1650);
    put(lblInfo[5], 4710, line(3), 1650);
    put(Label1[10], 6450, line(0), 1050);
    put(lblSelection_, 7500, line(0), 1740, 4 * 240);
    // A long work's progress and Stop cover the panel while it lasts.
    put(Picture1, 60, 30, 7260, 330);
    Picture1->hide();
    Label8->setGeometry(6, 0, Picture1->width() - 12, Picture1->height());
    put(cmdStop, 7500, 15, 1380, 360);
    cmdStop->hide();
    Picture1->raise();
    cmdStop->raise();
    panel_->setFixedHeight(TwipsRect(0, 0, 0, line(4) + 45).height());
    panel_->show();
}

void frmEditor::FitScreen() {
    // As large as the page wants, never larger than the screen's free area, and on it.
    QScreen* screen = this->screen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The frame the window manager adds, once the window has one.
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize frame(margins.left() + margins.right(), margins.top() + margins.bottom());
    // What the window holds besides the page (the menu bar, the status line, the panel when
    // it is below), and the room that leaves the page.
    const auto chrome = [this] {
        return QSize(0, menuBar_->sizeHint().height() + statusBar()->sizeHint().height() +
                            (panel_->isHidden() ? 0 : panel_->height()));
    };
    const auto room = [&] { return free.size() - frame - chrome(); };
    // The side panels shown take their room beside (or below) the page: enough for their
    // columns (or a few fields), never more than a third of the screen; the page scrolls where
    // the screen has too little for all.
    const QFontMetrics metrics = fontMetrics();
    const QSize panelRoom(
        std::min(metrics.horizontalAdvance(QLatin1Char('0')) * 27, free.width() / 3),
        std::min(metrics.height() * 11, free.height() / 3));
    QList<QDockWidget*> sides;
    QList<QDockWidget*> belows;
    for (QDockWidget* dock : findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!dock->isHidden() && !dock->isFloating()) {
            const Qt::DockWidgetArea area = dockWidgetArea(dock);
            (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea ? sides : belows)
                .append(dock);
        }
    }
    const QSize panels(sides.isEmpty() ? 0 : panelRoom.width(),
                       belows.isEmpty() ? 0 : panelRoom.height());
    // Where the page with the panel beside it is wider than the screen (a high display scale),
    // the panel goes below it, so that it stays in view.
    if (panel_->isHidden() && scroll_->widget()->width() > room().width()) {
        Compact();
    }
    const QSize space = room();
    // A page that does not fit is scrolled: each bar takes its room.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    QSize view = scroll_->widget()->size();
    if (view.height() > space.height()) {
        view.rwidth() += bar;
    }
    if (view.width() > space.width()) {
        view.rheight() += bar;
    }
    QSize want = (view + chrome() + panels).boundedTo(free.size() - frame);
    resize(want);
    // The dock areas keep a separator's room beside the page, panels shown or not: the page
    // gets what it is short of that, as far as the screen allows.
    layout()->activate();
    want = (want + (view - scroll_->size()).expandedTo(QSize(0, 0))).boundedTo(free.size() - frame);
    resize(want);
    resizeDocks(sides, QList<int>(sides.size(), panels.width()), Qt::Horizontal);
    resizeDocks(belows, QList<int>(belows.size(), panels.height()), Qt::Vertical);
    const QSize outer = want + frame;
    move(free.x() + std::max(0, (free.width() - outer.width()) / 2),
         free.y() + std::max(0, (free.height() - outer.height()) / 2));
}

void frmEditor::ConnectEvents() {
    for (Grid* grid : {grid1, grid2}) {
        connect(grid, &Grid::EnterCell, this, &frmEditor::grid_EnterCell);
    }
    for (PictureBox* pane : {PicHex, PicText}) {
        connect(pane, &PictureBox::KeyDown, this, &frmEditor::Pane_KeyDown);
        // The window sees key releases ahead of its controls.
        connect(pane, &PictureBox::KeyUp, this, &frmEditor::Form_KeyUp);
        connect(pane, &PictureBox::MouseDown, this, [this, pane](int, int shift, int x, int y) {
            Pane_Mouse(pane, shift, x, y, false);
        });
        connect(pane, &PictureBox::MouseMove, this, [this, pane](int, int shift, int x, int y) {
            Pane_Mouse(pane, shift, x, y, true);
        });
        // Every key pressed in a pane sets CtrlDown, also one that brings no key-down of its own.
        pane->installEventFilter(this);
    }
    connect(PicHex, &PictureBox::KeyPress, this, &frmEditor::PicHex_KeyPress);
    connect(PicText, &PictureBox::KeyPress, this, &frmEditor::PicText_KeyPress);
    connect(PicHex, &PictureBox::GotFocus, this, [this] { Pane_GotFocus(EditSession::Pane::Hex); });
    connect(PicText, &PictureBox::GotFocus, this,
            [this] { Pane_GotFocus(EditSession::Pane::Text); });
    connect(PicHex, &PictureBox::LostFocus, this, [this] {
        // Whatever takes the focus from a half-typed byte completes it.
        if (session_.PendingDigit()) {
            session_.CompletePending();
            BytesChanged();
            ShowDocument();
        }
    });

    connect(cmdStop, &QPushButton::clicked, this, [this] { stop_ = true; });
    sumsTimer_ = new QTimer(this);
    sumsTimer_->setSingleShot(true);
    sumsTimer_->setInterval(300);
    connect(sumsTimer_, &QTimer::timeout, this, [this] {
        const std::optional<EditorDocument::Span> span = session_.Selection();
        if (span && Ready()) {
            sums_ = session_.SelectionSums();
            sumsSpan_ = span;
            sumsVersion_ = version_;
            ShowSelection();
        }
    });
    connect(lblSelect, &ClickLabel::Click, this, &frmEditor::lblSelect_Click);
    for (int i = 0; i < static_cast<int>(lblInfo.size()); ++i) {
        connect(lblInfo[i], &ClickLabel::Click, this, [this, i] { lblInfo_Click(i); });
    }
    const bool advance =
        services_.settings.GetSetting(QStringLiteral("Editor"), QStringLiteral("AdvanceAfterByte"),
                                      QStringLiteral("0")) == QLatin1String("1");
    mnuAdvance_->setChecked(advance);
    session_.SetAdvance(advance);
}
