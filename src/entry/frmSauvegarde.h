#pragma once
// The dialog of the automatic copies of the open log: whether they are made,
// into which folder, how often, and how many are kept.
#include "AutoBackup.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class frmSauvegarde : public QDialog
{
    Q_OBJECT
public:
    frmSauvegarde(const logfile::BackupSettings &settings, QWidget *parent = nullptr);

    QCheckBox *chkActive = nullptr;
    QLineEdit *txtDossier = nullptr;
    QPushButton *cmdParcourir = nullptr;
    QSpinBox *spnContacts = nullptr, *spnMinutes = nullptr, *spnCopies = nullptr;
    QPushButton *cmdOK = nullptr, *cmdAnnuler = nullptr;

    // What the fields say; valid once the dialog was accepted.
    logfile::BackupSettings settings() const { return m_settings; }
    // Copies asked for without a folder that exists, or without a number of
    // contacts or minutes, are said, and the dialog stays.
    void accept() override;

private:
    void cmdParcourir_Click();
    logfile::BackupSettings m_settings;
};
