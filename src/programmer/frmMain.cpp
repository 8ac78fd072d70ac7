#include "frmMain.h"

#include "AssignPortsDialog.h"
#include "DeviceOperations.h"
#include "Form3.h"
#include "OperationMessages.h"
#include "ProductionDialogs.h"
#include "common/Module1.h"
#include "core/Pause.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "core/ProgramSettings.h"
#include "core/SerialMessages.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/PortEnumeration.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "production/Recipe.h"
#include "widgets/CommandButton.h"
#include "widgets/Twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTime>

using platform::MsgStyle::Critical;
using widgets::TwipsRect;

namespace {

// The status bar keeps this many results of the run in its tool tip.
constexpr int ResultHistory = 20;

QFont ButtonFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

QFont StatusFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

// name with an access key no other item of its menu has (taken holds theirs): the first
// free character of the chip's own part ("CX56A" of "TMS370CX56A"), else of the whole name.
QString WithAccessKey(const QString& name, QString& taken) {
    const qsizetype own = name.startsWith(QLatin1String("TMS37")) ? 6 : 0;
    for (const QString& part : {name.mid(own), name}) {
        for (const QChar c : part) {
            if (c.isLetterOrNumber() && !taken.contains(c.toUpper())) {
                taken += c.toUpper();
                const qsizetype at = name.indexOf(c, name.size() - part.size());
                return name.left(at) + QLatin1Char('&') + name.mid(at);
            }
        }
    }
    return name;
}

// Where the recipe in force is kept.
const QString Recipes = QStringLiteral("Production");

} // namespace

frmMain::frmMain(platform::Services& services, Links links)
    : services_(services), links_(std::move(links)),
      operations_(std::make_unique<DeviceOperations>(services, *this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Module1::ProgramTitle);
    BuildControls();
    BuildMenus();
    FitMenus();
    // The window is as large as its fixed client, menu bar and status bar need, whatever the
    // fonts of the desktop.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    Form_Load();
}

frmMain::~frmMain() {
    delete form3_;
}

bool frmMain::OperationRunning() const {
    return operations_->Running();
}

void frmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(TwipsRect(0, 0, 4935, 6030).size());
    setCentralWidget(client);

    auto makeButton = [](QWidget* parent, const char* name, const QString& caption,
                         const QRect& place) {
        auto* button = new CommandButton(caption, parent);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(place);
        button->setFont(ButtonFont());
        return button;
    };

    Frame1 = new QGroupBox(QStringLiteral("Main Control"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(TwipsRect(315, 855, 4290, 1275));
    Frame1->setFont(ButtonFont());
    Command1 = makeButton(Frame1, "Command1", QStringLiteral(" READ    <-------"),
                          TwipsRect(180, 495, 1185, 465));
    Command2 = makeButton(Frame1, "Command2", QStringLiteral("PROGRAM ------->"),
                          TwipsRect(1575, 495, 1185, 465));
    Command3 = makeButton(Frame1, "Command3", QStringLiteral("VERIFY <----->"),
                          TwipsRect(2970, 495, 1095, 465));

    Frame2 = new QGroupBox(QStringLiteral("Auxilary Control"), client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(TwipsRect(270, 2925, 4290, 1545));
    Frame2->setFont(ButtonFont());
    Command4 = makeButton(Frame2, "Command4", QStringLiteral("CLEAR WPO REGISTER #00h"),
                          TwipsRect(180, 360, 3930, 420));
    // Drawn over the lower half of Frame2, but a child of the window itself.
    Command5 = makeButton(client, "Command5", QStringLiteral("EEPROM BULK ERASE #FFh"),
                          TwipsRect(450, 3870, 3930, 420));
    Command5->raise();

    Label1 = new QLabel(Module1::ProgramTitle, client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(TwipsRect(315, 4860, 4335, 585));
    Label1->setFont(StatusFont());
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // A numbered chip's result, between the two frames, large enough to read from a step
    // away; hidden while chips are not numbered.
    lblChipResult = new QLabel(client);
    lblChipResult->setObjectName(QStringLiteral("lblChipResult"));
    lblChipResult->setGeometry(TwipsRect(315, 2175, 4290, 705));
    lblChipResult->setAlignment(Qt::AlignCenter);
    lblChipResult->setWordWrap(true);
    lblChipResult->hide();

    // How the last operation ended, read by its text; the tool tip holds the run's history.
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setAccessibleDescription(QStringLiteral("Result of the last operation"));
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The line never widens the window: it wraps within three lines (a result with a long
    // file name ends there; the tool tip holds it whole).
    lblResult->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    lblResult->setMinimumWidth(1);
    lblResult->setWordWrap(true);
    lblResult->setIndent(4);
    lblResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblResult->setFixedHeight(3 * lblResult->fontMetrics().lineSpacing() + 2);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(lblResult, 1);
    lblRecipe = new QLabel(this);
    lblRecipe->setObjectName(QStringLiteral("lblRecipe"));
    lblRecipe->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblRecipe->setContentsMargins(0, 0, 6, 0);
    lblRecipe->hide();
    statusBar()->addPermanentWidget(lblRecipe);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Command5);

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmMain::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
}

void frmMain::FitMenus() {
    // The client area keeps its designed size and place; the window widens where its menus
    // need more room than the client's width, so none hides behind the menu bar's "more".
    QWidget* client = centralWidget();
    const int wide = menuBar()->sizeHint().width();
    if (wide <= client->width()) {
        return;
    }
    auto* frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("clientFrame"));
    frame->setFixedSize(wide, client->height());
    takeCentralWidget();
    client->setParent(frame);
    client->move(0, 0);
    setCentralWidget(frame);
}

void frmMain::BuildMenus() {
    QMenuBar* bar = menuBar();

    mnuPort_Number = bar->addMenu(QStringLiteral("&Port Number"));
    mnuPort_Number->setObjectName(QStringLiteral("mnuPort_Number"));
    mnuPort_Number->setToolTipsVisible(true);
    for (int i = 0; i < 8; ++i) {
        const int n = i + 1;
        QAction* item = mnuPort_Number->addAction(QStringLiteral("Comm&%1").arg(n));
        item->setObjectName(QStringLiteral("mnuComm%1").arg(n));
        item->setCheckable(true);

        connect(item, &QAction::triggered, this, [this, n] { SelectPort(n); });
        mnuComm[i] = item;
    }
    mnuPort_Number->addSeparator();
    mnuAssignPorts = mnuPort_Number->addAction(QStringLiteral("&Assign Ports..."));
    mnuAssignPorts->setObjectName(QStringLiteral("mnuAssignPorts"));
    mnuAssignPorts->setToolTip(QStringLiteral(
        "Choose the device each Comm item opens: a port of this computer, a USB adapter by its "
        "serial number, or a terminal server"));
    connect(mnuAssignPorts, &QAction::triggered, this, &frmMain::mnuAssignPorts_Click);
    // What each item opens, looked at anew whenever the menu opens: adapters come and go.
    connect(mnuPort_Number, &QMenu::aboutToShow, this, &frmMain::RefreshPortToolTips);
    // Options of the link, never locked with the port items.
    mnuPort_Number->addSeparator();
    mnuFastReceive = mnuPort_Number->addAction(QStringLiteral("Fast &Receive"));
    mnuFastReceive->setObjectName(QStringLiteral("mnuFastReceive"));
    mnuFastReceive->setCheckable(true);
    mnuFastReceive->setToolTip(
        QStringLiteral("READ and VERIFY take the adapter's bytes as fast as the line brings "
                       "them, instead of one every 75 ms"));
    mnuFastReceive->setChecked(
        core::ProgramSettings::Option(services_.settings, core::ProgramSettings::FastReceive));
    connect(mnuFastReceive, &QAction::triggered, this, &frmMain::mnuFastReceive_Click);
    mnuVerifyAfterProgram = mnuPort_Number->addAction(QStringLiteral("&Verify After Program"));
    mnuVerifyAfterProgram->setObjectName(QStringLiteral("mnuVerifyAfterProgram"));
    mnuVerifyAfterProgram->setCheckable(true);
    mnuVerifyAfterProgram->setToolTip(
        QStringLiteral("After PROGRAM, read the chip back and compare it with the file"));
    mnuVerifyAfterProgram->setChecked(core::ProgramSettings::Option(
        services_.settings, core::ProgramSettings::VerifyAfterProgram));
    connect(mnuVerifyAfterProgram, &QAction::triggered, this,
            &frmMain::mnuVerifyAfterProgram_Click);
    mnuVerifyAfterErase = mnuPort_Number->addAction(QStringLiteral("Verify After &Erase"));
    mnuVerifyAfterErase->setObjectName(QStringLiteral("mnuVerifyAfterErase"));
    mnuVerifyAfterErase->setCheckable(true);
    mnuVerifyAfterErase->setToolTip(
        QStringLiteral("After BULK ERASE, read the chip back and check that every byte is FFh"));
    mnuVerifyAfterErase->setChecked(
        core::ProgramSettings::Option(services_.settings, core::ProgramSettings::VerifyAfterErase));
    connect(mnuVerifyAfterErase, &QAction::triggered, this, [this](bool checked) {
        operations_->verifyAfterErase = checked;
        core::ProgramSettings::SaveOption(services_.settings,
                                          core::ProgramSettings::VerifyAfterErase, checked);
    });
    RefreshPortToolTips();
    operations_->fastReceive = mnuFastReceive->isChecked();
    operations_->verifyAfterProgram = mnuVerifyAfterProgram->isChecked();
    operations_->verifyAfterErase = mnuVerifyAfterErase->isChecked();

    mnuDevice = bar->addMenu(QStringLiteral("&Device"));
    mnuDevice->setObjectName(QStringLiteral("mnuDevice"));
    QString keys = QStringLiteral("F"); // Verify Against &File
    for (std::size_t i = 0; i < core::DeviceCatalogue.size(); ++i) {
        const core::DeviceRow& row = core::DeviceCatalogue[i];
        QAction* item = mnuDevice->addAction(WithAccessKey(row.Name(), keys));
        item->setObjectName(QLatin1String(row.item));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, &row] { SelectDevice(row); });
        deviceItems[i] = item;
    }
    // Beside the adapter's own compare: the chip read back and compared with a file.
    mnuDevice->addSeparator();
    mnuVerifyAgainstFile = mnuDevice->addAction(QStringLiteral("Verify Against &File..."));
    mnuVerifyAgainstFile->setObjectName(QStringLiteral("mnuVerifyAgainstFile"));
    mnuVerifyAgainstFile->setToolTip(
        QStringLiteral("Read the chip back and compare it with an image file of any format"));
    connect(mnuVerifyAgainstFile, &QAction::triggered, this,
            [this] { operations_->VerifyAgainstFile(deviceCode_); });

    // A production run: each chip numbered from a series, every operation in a journal.
    mnuProduction = bar->addMenu(QStringLiteral("P&roduction"));
    mnuProduction->setObjectName(QStringLiteral("mnuProduction"));
    mnuSerialNumbers = mnuProduction->addAction(QStringLiteral("&Serial Numbers..."));
    mnuSerialNumbers->setObjectName(QStringLiteral("mnuSerialNumbers"));
    connect(mnuSerialNumbers, &QAction::triggered, this, &frmMain::mnuSerialNumbers_Click);
    mnuJournal = mnuProduction->addAction(QStringLiteral("&Journal..."));
    mnuJournal->setObjectName(QStringLiteral("mnuJournal"));
    connect(mnuJournal, &QAction::triggered, this, &frmMain::mnuJournal_Click);
    mnuProduction->addSeparator();
    mnuOpenRecipe = mnuProduction->addAction(QStringLiteral("Open &Recipe..."));
    mnuOpenRecipe->setObjectName(QStringLiteral("mnuOpenRecipe"));
    connect(mnuOpenRecipe, &QAction::triggered, this, &frmMain::mnuOpenRecipe_Click);
    mnuCloseRecipe = mnuProduction->addAction(QStringLiteral("&Close Recipe"));
    mnuCloseRecipe->setObjectName(QStringLiteral("mnuCloseRecipe"));
    mnuCloseRecipe->setEnabled(false);
    connect(mnuCloseRecipe, &QAction::triggered, this, &frmMain::mnuCloseRecipe_Click);

    mnuMemory = bar->addAction(QStringLiteral("&Memory"));
    mnuMemory->setObjectName(QStringLiteral("mnuMemory"));
    connect(mnuMemory, &QAction::triggered, this, &frmMain::mnuMemory_Click);

    mnuAbout = bar->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
}

void frmMain::Form_Load() {
    mnuDevice->menuAction()->setEnabled(false);
    // The recipe in force when the program last ended is in force again.
    const QString recipe = services_.settings.GetSetting(Recipes, QStringLiteral("Recipe"));
    QString why;
    if (!recipe.isEmpty() && !UseRecipe(recipe, &why)) {
        ShowResult(QStringLiteral("No recipe in force: %1").arg(why));
    }
}

// ---- Recipes ----

void frmMain::mnuOpenRecipe_Click() {
    if (OperationRunning()) {
        return;
    }
    platform::FileDialogOptions options;
    options.title = QStringLiteral("Open Recipe");
    options.filter = QStringLiteral("Recipes (*.ini)|*.ini|All Files (*.*)|*.*");
    options.fileMustExist = true;
    const std::optional<QString> path = services_.dialogs.ShowOpen(options);
    QString why;
    if (path && !UseRecipe(*path, &why)) {
        services_.messages.MsgBox(QStringLiteral("The recipe cannot be used; the one in force "
                                                 "stays:\n%1")
                                      .arg(why),
                                  platform::MsgStyle::Exclamation);
    }
}

void frmMain::mnuCloseRecipe_Click() {
    if (!OperationRunning()) {
        DropRecipe();
        services_.settings.SaveSetting(Recipes, QStringLiteral("Recipe"), QString());
    }
}

bool frmMain::UseRecipe(const QString& path, QString* why) {
    std::optional<production::Recipe> recipe = production::ReadRecipe(path, why);
    if (!recipe || !production::ApplyRecipe(*recipe, {}, why)) {
        return false;
    }
    const core::DeviceRow* device = nullptr;
    if (const std::optional<QString> name = recipe->Value(QStringLiteral("device"))) {
        for (const core::DeviceRow& row : core::DeviceCatalogue) {
            if (row.Name().compare(*name, Qt::CaseInsensitive) == 0 ||
                QString::fromLatin1(row.chip).compare(*name, Qt::CaseInsensitive) == 0) {
                device = &row;
            }
        }
        if (!device) {
            *why = QStringLiteral("%1: the Device menu has no %2").arg(path, *name);
            return false;
        }
    }
    int port = 0;
    if (const std::optional<QString> name = recipe->Value(QStringLiteral("port"))) {
        const QRegularExpressionMatch comm =
            QRegularExpression(QStringLiteral("^[Cc][Oo][Mm][Mm]([1-8])$")).match(*name);
        if (!comm.hasMatch()) {
            *why = QStringLiteral("%1: the window opens Comm1 to Comm8, not %2").arg(path, *name);
            return false;
        }
        port = comm.captured(1).toInt();
    }
    if (port != 0 && port != portNumber_) {
        SelectPort(port);
    }
    if (device) {
        SelectDevice(*device);
    }
    lblRecipe->setText(QStringLiteral("Recipe: %1").arg(recipe->name));
    lblRecipe->setToolTip(recipe->path);
    lblRecipe->show();
    mnuCloseRecipe->setEnabled(true);
    services_.settings.SaveSetting(Recipes, QStringLiteral("Recipe"), recipe->path);
    operations_->recipe = std::move(recipe);
    return true;
}

void frmMain::DropRecipe() {
    operations_->recipe.reset();
    lblRecipe->hide();
    mnuCloseRecipe->setEnabled(false);
}

// ---- Device selection ----

void frmMain::SelectDevice(const core::DeviceRow& row) {
    if (OperationRunning()) {
        return;
    }
    for (std::size_t i = 0; i < core::DeviceCatalogue.size(); ++i) {
        deviceItems[i]->setChecked(&core::DeviceCatalogue[i] == &row);
    }
    Label1->setText(QLatin1String(row.status));
    deviceCode_ = QLatin1String(row.code);
    operations_->deviceName = QLatin1String(row.chip);
}

// ---- Port selection ----

void frmMain::SelectPort(int n) {
    if (OperationRunning()) {
        return;
    }
    for (int i = 0; i < 8; ++i) {
        mnuComm[i]->setChecked(i + 1 == n);
    }
    portNumber_ = n;
    operations_->portName = QStringLiteral("Comm%1").arg(n);
    operations_->portDevice = core::PortItem(services_.settings, n).device;
    LockPortMenu();
    InitSerialPorts();
}

void frmMain::InitSerialPorts() {
    core::PortControl* port = services_.port;
    if (!port) {
        return;
    }
    try {
        core::SetUpPort(*port, core::PortItem(services_.settings, portNumber_));
        port->SetPortOpen(true);
        if (port->DSRHolding()) {
            LockPortMenu();
            port->SetRThreshold(1);
            port->SetPortOpen(false);
        } else {
            if (!port->DSRHolding()) {
                core::Pause(services_.clock, 5);
            }
            const QString device = core::PortDeviceName(services_.settings, portNumber_);
            const QString advice = core::NoDsrAdvice(device);
            services_.messages.MsgBox(
                OperationMessages::CheckPort +
                    QStringLiteral("\nComm%1 is %2; %3")
                        .arg(portNumber_)
                        .arg(core::ShownPortName(device),
                             advice.isEmpty()
                                 ? QStringLiteral("no adapter holds its DSR line.")
                                 : QStringLiteral("its line reports DSR low.\n") + advice),
                Critical);
            UncheckPortMenu();
            EnablePortMenu();
            port->SetPortOpen(false);
        }
    } catch (const platform::RuntimeError& error) {
        SerialErrors(error);
    }
}

void frmMain::SerialErrors(const platform::RuntimeError& error, const QString& extraLine) {
    const auto show = [&](const QString& text, int style) {
        QString prompt = text;
        // The port's own words name the device and what the system said of it.
        const QString description = core::ShownText(error.Description());
        if (!description.isEmpty() && description != text) {
            prompt += QLatin1Char('\n') + description;
        }
        if (!extraLine.isEmpty()) {
            prompt += QLatin1Char('\n') + extraLine;
        }
        services_.messages.MsgBox(prompt, style);
    };
    if (const core::SerialMessage* message = core::FindSerialMessage(error.Number())) {
        show(QLatin1String(message->text), message->style);
    } else if (error.Number() == platform::ErrorNumber::SerialSystemError) {
        show(core::ShownText(error.Description()), platform::MsgStyle::Exclamation);
    } else if (!extraLine.isEmpty()) {
        services_.messages.MsgBox(extraLine, platform::MsgStyle::Exclamation);
    }
    EnablePortMenu();
    UncheckPortMenu();
}

void frmMain::LockPortMenu() {
    for (QAction* item : mnuComm) {
        item->setEnabled(false);
    }
    mnuDevice->menuAction()->setEnabled(true);
}

void frmMain::EnablePortMenu() {
    for (QAction* item : mnuComm) {
        item->setEnabled(true);
    }
}

void frmMain::UncheckPortMenu() {
    for (QAction* item : mnuComm) {
        item->setChecked(false);
    }
}

// ---- Operations ----

// A click while an operation runs (inside one of its waits) is ignored by the operation.
void frmMain::Command1_Click() {
    operations_->Read(deviceCode_);
}
void frmMain::Command2_Click() {
    operations_->Program(deviceCode_);
}
void frmMain::Command3_Click() {
    operations_->Verify(deviceCode_);
}
void frmMain::Command4_Click() {
    operations_->ClearWpo(deviceCode_);
}
void frmMain::Command5_Click() {
    operations_->BulkErase(deviceCode_);
}

void frmMain::ShowWorking() {
    hide();
    // One Working window serves every operation: building and laying it out anew would cost
    // more than a fast READ's whole receive loop.
    if (!form3_) {
        form3_ = new Form3();
        form3_->onCancel = [this] { operations_->Cancel(); };
    }
    form3_->Reset();
    Module1::CenterForm(form3_);
    form3_->show();
    workingShown_ = true;
}

void frmMain::ShowProgress(const core::Progress& progress) {
    if (form3_ && workingShown_) {
        form3_->ShowProgress(progress);
    }
}

void frmMain::EndWorking() {
    CloseWorking();
    show();
    activateWindow();
}

void frmMain::CloseWorking() {
    if (form3_) {
        form3_->hide();
    }
    workingShown_ = false;
}

// ---- Other windows ----

void frmMain::mnuMemory_Click() {
    if (!links_.showMemory || OperationRunning()) {
        return;
    }
    hide();
    links_.showMemory();
}

void frmMain::mnuAbout_Click() {
    if (!links_.showAbout || OperationRunning()) {
        return;
    }
    hide();
    links_.showAbout();
}

void frmMain::mnuSerialNumbers_Click() {
    if (OperationRunning()) {
        return;
    }
    SerialNumbersDialog dialog(services_.settings, services_.dialogs, this);
    dialog.exec();
}

void frmMain::mnuJournal_Click() {
    if (OperationRunning()) {
        return;
    }
    JournalView view(services_.settings, services_.dialogs, this);
    view.exec();
}

void frmMain::mnuFastReceive_Click(bool checked) {
    operations_->fastReceive = checked;
    core::ProgramSettings::SaveOption(services_.settings, core::ProgramSettings::FastReceive,
                                      checked);
}

void frmMain::mnuVerifyAfterProgram_Click(bool checked) {
    operations_->verifyAfterProgram = checked;
    core::ProgramSettings::SaveOption(services_.settings, core::ProgramSettings::VerifyAfterProgram,
                                      checked);
}

// ---- Port assignment ----

const platform::PortEnumeration& frmMain::Ports() const {
    static const platform::QtPortEnumeration system;
    return services_.ports ? *services_.ports : system;
}

void frmMain::RefreshPortToolTips() {
    const QList<platform::SystemPort> present = Ports().Ports();
    for (int i = 0; i < 8; ++i) {
        mnuComm[i]->setToolTip(
            core::DescribePort(core::PortDeviceName(services_.settings, i + 1), present));
    }
}

void frmMain::mnuAssignPorts_Click() {
    if (OperationRunning()) {
        return;
    }
    AssignPortsDialog dialog(services_.settings, Ports(), this);
    if (dialog.exec() == QDialog::Accepted) {
        RefreshPortToolTips();
    }
}

// ---- Results ----

void frmMain::ShowResult(const QString& line) {
    const QString stamped =
        QStringLiteral("%1, %2").arg(line, QTime::currentTime().toString(QStringLiteral("HH:mm")));
    lblResult->setText(stamped);
    results_.prepend(stamped);
    if (results_.size() > ResultHistory) {
        results_.removeLast();
    }
    lblResult->setToolTip(results_.join(QLatin1Char('\n')));
}

void frmMain::ShowChipResult(const QString& text, bool pass) {
    lblChipResult->setVisible(!text.isEmpty());
    if (text.isEmpty()) {
        return;
    }
    lblChipResult->setText(text);
    lblChipResult->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: %1; }")
            .arg(pass ? QStringLiteral("#1b7f2a") : QStringLiteral("#c0172b")));
    // As large as the text fits, on one line or two.
    QFont font = lblChipResult->font();
    font.setBold(true);
    const QRect room = lblChipResult->rect().adjusted(4, 2, -4, -2);
    for (int size = room.height() * 2 / 3; size > 8; --size) {
        font.setPixelSize(size);
        const QRect needed = QFontMetrics(font).boundingRect(room, Qt::TextWordWrap, text);
        if (needed.height() <= room.height() && needed.width() <= room.width()) {
            break;
        }
    }
    lblChipResult->setFont(font);
}

void frmMain::FreePortMenu() {
    EnablePortMenu();
    UncheckPortMenu();
}

// ---- Closing ----

void frmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_ && links_.mayClose && !links_.mayClose()) {
        event->ignore();
        return;
    }
    if (!unloaded_ && operations_->WritingChip() &&
        services_.messages.MsgBox(OperationMessages::CloseWhileProgramming,
                                  platform::MsgStyle::Exclamation | platform::MsgStyle::YesNo |
                                      platform::MsgStyle::DefaultButton2) !=
            platform::MsgAnswer::Yes) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

void frmMain::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    const QString interrupted = InterruptedOperation();
    if (!interrupted.isEmpty() && links_.reportEnd) {
        links_.reportEnd(interrupted);
    }
    // An operation still running ends at its next wait, closing its file and the port.
    operations_->Abort();
    if (links_.closeAllFiles) {
        links_.closeAllFiles();
    }
    if (services_.port && services_.port->PortOpen()) {
        try {
            services_.port->SetPortOpen(false);
        } catch (const platform::RuntimeError&) {
            // The program is ending; a port that will not close is released by the system.
        }
    }
    const QString workImage = Module1::WorkImagePath();
    if (QFile::exists(workImage) && !keepWorkImage_) {
        QFile::remove(workImage);
    }
    ShutDown();
}

QString frmMain::InterruptedOperation() const {
    if (!operations_->Running()) {
        return QString();
    }
    // Told whenever a changing command runs: it may be on its way to the chip even before
    // the Working window says so.
    const QString unknown = QStringLiteral(" stopped while the chip may be being written: the "
                                           "chip's contents are unknown; erase it and program it "
                                           "again.");
    if (operations_->ReadingBack()) {
        return operations_->RunningOperation() == core::Operation::BulkErase
                   ? QStringLiteral("BULK ERASE stopped during its read-back: the chip was erased "
                                    "but is not known to be blank.")
                   : QStringLiteral("PROGRAM stopped during its read-back: the chip was "
                                    "programmed but is not verified.");
    }
    switch (operations_->RunningOperation()) {
    case core::Operation::Read:
        return QStringLiteral("READ cancelled: the image file is unchanged.");
    case core::Operation::Verify:
        return QStringLiteral("VERIFY cancelled.");
    case core::Operation::Program:
        return QStringLiteral("PROGRAM") + unknown;
    case core::Operation::ClearWpo:
        return QStringLiteral("CLEAR WPO") + unknown;
    case core::Operation::BulkErase:
        return QStringLiteral("BULK ERASE") + unknown;
    }
    return QString();
}

void frmMain::ShutDown() {
    if (links_.unloadOthers) {
        links_.unloadOthers();
    }
    hide();
    if (links_.endProgram) {
        links_.endProgram();
    }
}
