// The Memory window's controls at their design places, its menus, and its set-up on load.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "common/Module1.h"
#include "grid/Grid.h"
#include "widgets/PictureBox.h"
#include "widgets/Twips.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>

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

frmEditor::frmEditor(platform::Services& services, std::function<void()> showMain, QWidget* parent)
    : QMainWindow(parent), services_(services), showMain_(std::move(showMain)) {
    setObjectName(QStringLiteral("frmEditor"));
    setWindowTitle(Module1::ProgramTitle);
    LangText[0] = QStringLiteral("of");
    LangText[3] = QStringLiteral("has been changed. Do you want to save the changes?");
    LangText[4] = QStringLiteral("Saving");
    LangText[5] = QStringLiteral("Openning");
    BuildMenus();
    BuildControls();
    Form_Load();
    ConnectEvents();
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
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    setMenuBar(menuBar);
    mn_0 = menuBar->addMenu(QStringLiteral("&File"));
    mn_0->setObjectName(QStringLiteral("mn_0"));
    sm1_0 = item(mn_0, "sm1_0", QStringLiteral("Open"), {QKeySequence(Qt::CTRL | Qt::Key_O)},
                 &frmEditor::OpenWithDialog);
    mnuSave = item(mn_0, "mnuSave", tr("&Save"), {QKeySequence(Qt::CTRL | Qt::Key_S)},
                   &frmEditor::mnuSave_Click);
    mnuSaveAs = item(mn_0, "mnuSaveAs", tr("Save &As..."),
                     {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, &frmEditor::mnuSaveAs_Click);

    mnuEdit = menuBar->addMenu(tr("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuUndo = item(mnuEdit, "mnuUndo", tr("&Undo"), {QKeySequence(Qt::CTRL | Qt::Key_Z)},
                   &frmEditor::mnuUndo_Click);
    mnuRedo =
        item(mnuEdit, "mnuRedo", tr("&Redo"),
             {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
             &frmEditor::mnuRedo_Click);
    mnuEdit->addSeparator();
    mnuFind = item(mnuEdit, "mnuFind", tr("&Find..."), {QKeySequence(Qt::CTRL | Qt::Key_F)},
                   &frmEditor::mnuFind_Click);
    mnuFindNext = item(mnuEdit, "mnuFindNext", tr("Find &Next"), {QKeySequence(Qt::Key_F3)},
                       [this] { FindNext(true); });
    mnuFindPrevious = item(mnuEdit, "mnuFindPrevious", tr("Find &Previous"),
                           {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { FindNext(false); });
    mnuGoTo = item(mnuEdit, "mnuGoTo", tr("&Go To..."), {QKeySequence(Qt::CTRL | Qt::Key_G)},
                   &frmEditor::mnuGoTo_Click);
    for (QAction* action :
         {mnuSave, mnuSaveAs, mnuUndo, mnuRedo, mnuFind, mnuFindNext, mnuFindPrevious, mnuGoTo}) {
        action->setEnabled(false);
    }

    mnuDone = menuBar->addAction(QStringLiteral("&Done"));
    mnuDone->setObjectName(QStringLiteral("mnuDone"));
    connect(mnuDone, &QAction::triggered, this, &frmEditor::mnuDone_Click);
}

void frmEditor::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(TwipsRect(0, 0, ClientWidth, ClientHeight).size());
    setCentralWidget(client);

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
    for (int i : {0, 1, 2, 3, 8, 9}) {
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

void frmEditor::Form_Load() {
    LoadLanguage();
    adjustSize();
    Module1::CenterForm(this);
    grid1 = new Grid(this);
    grid1->InitializeGrid(PicHex, Shape1);
    grid1->SetRows(RowsPerPage);
    grid2 = new Grid(this);
    grid2->InitializeGrid(PicText, Shape2);
    grid2->SetRows(RowsPerPage);
    RowHeight = PicOffSet->height() / RowsPerPage;
}

void frmEditor::ConnectEvents() {
    connect(grid1, &Grid::EnterCell, this, &frmEditor::grid1_EnterCell);
    connect(grid1, &Grid::LeaveCell, this, &frmEditor::grid1_LeaveCell);
    connect(grid1, &Grid::RequestNextRow, this, &frmEditor::grid1_RequestNextRow);
    connect(grid1, &Grid::RequestPreviousRow, this, &frmEditor::grid1_RequestPreviousRow);
    connect(grid1, &Grid::RequestNextPage, this, &frmEditor::grid1_RequestNextPage);
    connect(grid1, &Grid::RequestPreviousPage, this, &frmEditor::grid1_RequestPreviousPage);
    connect(grid1, &Grid::RequestBOF, this, &frmEditor::grid1_RequestBOF);
    connect(grid1, &Grid::RequestEOF, this, &frmEditor::grid1_RequestEOF);
    connect(grid2, &Grid::EnterCell, this, &frmEditor::grid2_EnterCell);
    connect(grid2, &Grid::RequestNextRow, this, &frmEditor::grid2_RequestNextRow);
    connect(grid2, &Grid::RequestPreviousRow, this, &frmEditor::grid2_RequestPreviousRow);
    connect(grid2, &Grid::RequestNextPage, this, &frmEditor::grid2_RequestNextPage);
    connect(grid2, &Grid::RequestPreviousPage, this, &frmEditor::grid2_RequestPreviousPage);
    connect(grid2, &Grid::RequestBOF, this, &frmEditor::grid2_RequestBOF);
    connect(grid2, &Grid::RequestEOF, this, &frmEditor::grid2_RequestEOF);

    connect(PicHex, &PictureBox::KeyDown, this, &frmEditor::PicHex_KeyDown);
    connect(PicHex, &PictureBox::KeyPress, this, &frmEditor::PicHex_KeyPress);
    connect(PicHex, &PictureBox::GotFocus, this, &frmEditor::PicHex_GotFocus);
    connect(PicHex, &PictureBox::LostFocus, this, &frmEditor::PicHex_LostFocus);
    connect(PicText, &PictureBox::KeyDown, this, &frmEditor::PicText_KeyDown);
    connect(PicText, &PictureBox::KeyPress, this, &frmEditor::PicText_KeyPress);
    connect(PicText, &PictureBox::GotFocus, this, &frmEditor::PicText_GotFocus);
    // The window sees key releases ahead of its controls.
    connect(PicHex, &PictureBox::KeyUp, this, &frmEditor::Form_KeyUp);
    connect(PicText, &PictureBox::KeyUp, this, &frmEditor::Form_KeyUp);
    // Every key pressed in a pane sets CtrlDown, also one that brings no key-down of its own.
    PicHex->installEventFilter(this);
    PicText->installEventFilter(this);

    connect(cmdStop, &QPushButton::clicked, this, [this] { stopSearch_ = true; });
    connect(lblSelect, &ClickLabel::Click, this, &frmEditor::lblSelect_Click);
    for (int i = 0; i < static_cast<int>(lblInfo.size()); ++i) {
        connect(lblInfo[i], &ClickLabel::Click, this, [this, i] { lblInfo_Click(i); });
    }
}
