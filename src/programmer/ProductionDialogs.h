#pragma once

#include "production/Journal.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace platform {
class FileDialogs;
class SettingsStore;
} // namespace platform

// Production ▸ Serial Numbers...: where each chip's number goes, its series, and the journal
// that keeps them (a file or a PostgreSQL address, with a Test button). OK saves them in the
// settings, section Production; PROGRAM then numbers every chip while "Number each chip" is
// on.
class SerialNumbersDialog : public QDialog {
    Q_OBJECT
public:
    SerialNumbersDialog(platform::SettingsStore& settings, platform::FileDialogs& dialogs,
                        QWidget* parent = nullptr);

    // Checks the fields and saves them; false, with why under the fields, when one is wrong.
    bool Save();
    // Opens the journal and says what it holds for the series; an existing series' start,
    // step and last fill their fields.
    void Test();
    // Asks for the journal's file.
    void Browse();

    QCheckBox* chkSerial;
    QLineEdit* txtAddress;
    QSpinBox* spnBytes;
    QComboBox* cboFormat;
    QLineEdit* txtSeries;
    QLineEdit* txtStart;
    QLineEdit* txtStep;
    QLineEdit* txtLast;
    QLineEdit* txtJournal;
    QPushButton* cmdBrowse;
    QLabel* lblStatus; // the Test button's answer, or what is wrong

    void accept() override;

private:
    platform::SettingsStore& settings_;
    platform::FileDialogs& dialogs_;
};

// Production ▸ Journal...: the journal's rows, newest first, filtered by series and result,
// exported as CSV.
class JournalView : public QDialog {
    Q_OBJECT
public:
    JournalView(platform::SettingsStore& settings, platform::FileDialogs& dialogs,
                QWidget* parent = nullptr);

    // Reads the rows again; false, with why in lblStatus, when the journal cannot be read.
    bool Reload();
    // The rows the filters let through, newest first.
    QList<core::JournalRow> Shown() const;
    // Asks for a file and writes the rows shown to it as CSV.
    void Export();

    QComboBox* cboSeries;
    QComboBox* cboResult;
    QTableWidget* tblJournal;
    QLabel* lblStatus;

private:
    void Fill();

    platform::SettingsStore& settings_;
    platform::FileDialogs& dialogs_;
    QList<core::JournalRow> rows_; // newest first
};
