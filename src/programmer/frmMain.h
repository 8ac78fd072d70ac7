#pragma once

#include "OperationHost.h"
#include "core/DeviceCatalogue.h"

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class DeviceOperations;
class Form3;

namespace platform {
class PortEnumeration;
struct Services;
class RuntimeError;
} // namespace platform

// The programmer's main window: the five operation buttons, the status line, and the Port
// Number, Device, Memory and About menus.
class frmMain : public QMainWindow, public OperationHost {
    Q_OBJECT

public:
    // What the main window asks of the rest of the program; app/ fills these in.
    struct Links {
        std::function<void()> showMemory;    // load and show the Memory window
        std::function<void()> showAbout;     // load and show the About window
        std::function<void()> closeAllFiles; // close every file other windows hold open
        std::function<void()> unloadOthers;  // unload every other window
        std::function<void()> endProgram;    // leave the event loop
        // Other windows settle their unsaved work before the window closes; false keeps the
        // program open (the user chose Cancel, or the work could not be saved).
        std::function<bool()> mayClose;
        // Tells the terminal the program was started from what its end interrupted.
        std::function<void(const QString& line)> reportEnd;
    };

    frmMain(platform::Services& services, Links links);
    ~frmMain() override;

    // Selection state.
    const QString& DeviceCode() const { return deviceCode_; }
    bool IsDeviceSelected() const { return !deviceCode_.isEmpty(); }
    int PortNumber() const { return portNumber_; }

    // Port selection and its errors.
    void SelectPort(int n);
    void InitSerialPorts();
    void SerialErrors(const platform::RuntimeError& error,
                      const QString& extraLine = QString()) override;

    // The swap with the Working window around an operation's data phase.
    void ShowWorking() override;
    void ShowProgress(const core::Progress& progress) override;
    void EndWorking() override;
    void CloseWorking() override;
    void FreePortMenu() override;
    void ShowResult(const QString& line) override;
    void ShowChipResult(const QString& text, bool pass) override;
    // The Working window while it stands in for the main window, else nullptr.
    Form3* WorkingWindow() const { return workingShown_ ? form3_ : nullptr; }
    bool OperationRunning() const;

    // Device selection.
    void SelectDevice(const core::DeviceRow& row);

    // Ends the program as closing the window does, without asking first (a signal asked).
    void Unload() { Form_Unload(); }
    // The working image holds edits that could not be kept elsewhere: the end leaves it.
    void KeepWorkImage() { keepWorkImage_ = true; }

    // Controls, named as the window's design names them.
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblResult = nullptr;     // the status bar's last result
    QLabel* lblChipResult = nullptr; // a numbered chip's PASS or FAIL, large
    QMenu* mnuPort_Number = nullptr;
    std::array<QAction*, 8> mnuComm{}; // mnuComm1 .. mnuComm8
    QAction* mnuAssignPorts = nullptr;
    QAction* mnuFastReceive = nullptr;
    QAction* mnuVerifyAfterProgram = nullptr;
    QAction* mnuVerifyAfterErase = nullptr;
    QMenu* mnuDevice = nullptr;
    std::array<QAction*, 8> deviceItems{}; // in catalogue order
    QAction* mnuVerifyAgainstFile = nullptr;
    QAction* mnuMemory = nullptr;
    QAction* mnuAbout = nullptr;
    QMenu* mnuProduction = nullptr;
    QAction* mnuSerialNumbers = nullptr;
    QAction* mnuJournal = nullptr;
    QAction* mnuOpenRecipe = nullptr;
    QAction* mnuCloseRecipe = nullptr;
    QLabel* lblRecipe = nullptr; // the status bar's name of the recipe in force

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void FitMenus();
    void Form_Load();
    void Form_Unload();
    void ShutDown();
    // What ending now does to the operation under way, in words; empty when none runs.
    QString InterruptedOperation() const;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void mnuMemory_Click();
    void mnuAbout_Click();
    void mnuAssignPorts_Click();
    void RefreshPortToolTips();
    const platform::PortEnumeration& Ports() const;
    void mnuSerialNumbers_Click();
    void mnuJournal_Click();
    void mnuOpenRecipe_Click();
    void mnuCloseRecipe_Click();
    // Puts the recipe at path in force: its port and device chosen, PROGRAM following it, the
    // settings naming it. False, with why, when it cannot be (the one in force stays).
    bool UseRecipe(const QString& path, QString* why);
    void DropRecipe();
    void mnuFastReceive_Click(bool checked);
    void mnuVerifyAfterProgram_Click(bool checked);

    void LockPortMenu();
    void EnablePortMenu();
    void UncheckPortMenu();

    platform::Services& services_;
    Links links_;
    QString deviceCode_;
    int portNumber_ = 0;
    bool unloaded_ = false;
    bool keepWorkImage_ = false;
    std::unique_ptr<DeviceOperations> operations_;
    Form3* form3_ = nullptr;
    bool workingShown_ = false;
    QStringList results_; // newest first
};
