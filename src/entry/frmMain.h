#pragma once
// The main window: the contact form, its record source Data1, the editing
// buttons, the menu bar, the toolbar and the status bar.
//
// Handlers whose names carry accents are plain member functions connected by
// pointer: moc does not read identifiers outside ASCII.
#include "AutoBackup.h"
#include "LogIndex.h"
#include "LogStatistics.h"
#include "Prompts.h"
#include "RecordSource.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QVector>
#include <optional>

namespace platform {
class BoundControls;
class FilePlacement;
}

struct SharedLogRequest;
namespace exchange {
enum class Format;
}
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolBar;

class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    // The window's controls, under the names the help book and the program's
    // checks know them by (each is also the control's object name).
    struct Controls {
        // Entry controls, bound to Data1.
        QLineEdit *txtDateHeure, *txtNrSequanel, *txtRST;
        QComboBox *cmbBande, *cmbMHz, *cmbHz;
        QLineEdit *txtOpérateur, *txtPréfixeQRZ;
        QComboBox *cmbQRZ1, *cmbQRZ2, *cmbQRZ3;
        QLineEdit *txtNrQRZ, *txtCodePostal, *txtVille, *txtBP, *txtPays;

        QLabel *lblDate, *lblNrSequanel, *lblRST, *lblBande, *lblMHz, *lblHz, *lblOpérateur, *lblQRZ,
            *lblCodePostal, *lblVille, *lblBP, *LblPays;
        // Under the call sign, in red, while adding or modifying: the contact was
        // already made (serial number, date and time of the last one, how many).
        QLabel *lblDoublon;

        QPushButton *cmdMaintenant, *cmdPrécédent, *cmdNouveau, *cmdModifier, *cmdSupprimer, *cmdSuivant;

        QToolBar *Toolbar1;
        QVector<QAction *> Toolbar1Buttons; // index 0..6 for buttons 1..7
        QStatusBar *StatusBar1;
        QLabel *StatusPanels[4]; // the last one: the rate of contacts
        // A shared log's link to its server: encrypted or not, lost, back.
        QLabel *lblLiaison;
        QTimer *Timer1;
        platform::RecordSource *Data1;
        platform::FileRequest CMDialog1;

        QMenu *mnuFichier, *mnuHeure, *mnuaide;
        QAction *mnuNouveau, *mnuOuvrir, *mnuPartage, *mnuCopierPartage, *mnuCopierFichier, *mnuLigne1, *mnuImprimer, *mnuExporter, *mnuLigne2, *mnuQuitter;
        QAction *mnuExporterAdif, *mnuImporter; // (in the Fichier menu, after mnuExporter)
        // Options of the entry: "Nouveau" fills the mode, the frequency and the
        // operator from the contact added last (checkable, kept in the
        // settings); the automatic copies of the open log.
        QAction *mnuLigne4, *mnuReprendre, *mnuSauvegarde;
        QAction *mnuOrientation, *mnuStatistiques;
        QVector<QAction *> mnuH; // index 0..23 for items 1..24
        QAction *mnuHelp, *mnuLigne3, *mnuAPropos;
    };

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    const Controls &controls() const { return ui; }
    logfile::AutoBackup &autoBackup() { return m_backup; }

    // Binds Data1 to a log file, shows its last contact and enables the
    // commands that need an open file; false (after a message) when the file
    // is refused, the previous one staying bound.
    bool ChargerFichier(const QString &path);
    // Opens a log as "&Ouvrir" does once its file is chosen (an old log file
    // is offered for conversion), or a shared log by its postgresql:// address.
    void openLog(const QString &log);
    // Switches the entry controls on or off.
    void ActiverSaisie(bool enable);
    // Sets the navigation, modify and delete buttons from the record count
    // and the current position.
    void ActualiserBoutons();
    // True when the entries may be stored; otherwise says why, unless silent.
    bool VerifierSaisie(bool silent = false);

    // Stores an addition or a change still pending as "&Valider" does (with
    // its messages, unless silent); false when it was refused and stays
    // pending, on screen.
    bool storePendingEntry(bool silent);
    // The desktop ends the program: an entry still pending is stored when it
    // can be and given up otherwise, and nothing is asked from then on.
    void endSession();

    // The buttons that Enter and Esc press.
    QPushButton *defaultButton() const { return m_default; }
    QPushButton *cancelButton() const { return m_cancel; }

    // A passing notice that needs no answer, in the hint panel of the status
    // bar, until the next notice or a hint replaces it.
    void AfficherAvis(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Controls ui;

    // Handlers.
    void Form_Load();
    void Form_Unload();
    void cmdNouveau_Click();
    void cmdModifier_Click();
    void cmdSupprimer_Click();
    void cmdSuivant_Click();
    void cmdPrécédent_Click();
    void cmdMaintenant_Click();
    // Ctrl+Z: puts back the contact "Supprimer" just deleted, once, when no
    // other command came in between.
    void RétablirContact();
    void txtNrSequanel_GotFocus();
    void mnuNouveau_Click();
    void mnuOuvrir_Click();
    // Asks which shared log to open, then opens it (see openShared).
    void mnuPartage_Click();
    // Opens a shared log, creating its journal first when asked to and it is
    // not there; false (after a message) when it cannot be opened.
    bool openShared(const SharedLogRequest &log);
    // The open log copied, every contact as it is, into a new shared log
    // named through the dialog, or into a new log file; the open log stays.
    void mnuCopierPartage_Click();
    void mnuCopierFichier_Click();
    void mnuImprimer_Click();
    void mnuExporter_Click();
    // The open log written to an ADI or ADX file; another program's file
    // (ADI, ADX, CSV) previewed, then imported into the open log.
    void mnuExporterAdif_Click();
    void mnuImporter_Click();
    // Writes the open log to the file at path in that format and tells how it went.
    void exportLogTo(const QString &path, exchange::Format format);
    void mnuReprendre_Click(bool on);
    void mnuSauvegarde_Click();
    void mnuQuitter_Click();
    void mnuOrientation_Click();
    void mnuStatistiques_Click();
    void mnuH_Click(int index);
    void mnuHelp_Click();
    void mnuAPropos_Click();
    void Toolbar1_ButtonClick(QAction *button);
    void Timer1_Timer();
    // The rate of contacts in the status bar, from the log's figures.
    void showRate();
    // The link to a shared log's server in its panel; the serial number of
    // an addition begun while the server was away, once it answers.
    void showLink();
    bool isShared() const;
    // On a shared log, the next free number reserved and proposed; a notice
    // when the server is away (the number is given once it answers).
    void proposeSerial();
    // Asks the password of a shared log again after the server refused it:
    // false when the operator cancels.
    bool askServerPassword(const QString &address);
    // The buttons set again after another program's change of the log.
    void followOthers();

    // Shows or hides lblDoublon for the call sign typed.
    void AfficherDoublon();
    // Ends an addition or a change still pending before the window leaves its
    // file: stored when the checks and the file accept it; otherwise the
    // operator is told why and asked the question (whether to go on without
    // it), and it is given up on "Oui". False on "Non": it stays pending.
    bool settlePendingEntry(const QString &question);

    enum class EditState { Browsing, Adding, Modifying };
    // Captions, default and cancel buttons, and the enabling of the editing
    // buttons and entry controls, for a state.
    void setEditState(EditState state);
    EditState m_state = EditState::Browsing;
    bool m_sessionEnding = false; // no question may be asked any more

    // The file dialog of New (save) or Open, on the log files.
    QString askLogFile(bool save, const QString &proposed = QString());
    void buildForm();
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void setDefaultButton(QPushButton *b);
    void setCancelButton(QPushButton *b);
    void setCaption(QPushButton *b, const QString &caption);
    void pressDefault();
    void pressCancel();
    bool storeAddition(bool silent);
    bool storeChange(bool silent);
    void cancelEntry();
    void backToBrowsing();
    void reportStoreFailure();
    void convertOldLog(const QString &path);
    // Copies the open log into the new log target (named to the user as
    // shownTarget), a progress dialog shown meanwhile: the message that says
    // it done, or nothing after a message that says why not.
    std::optional<QString> copyOpenLog(const QString &target, const QString &shownTarget);
    bool bindPlacedFile(platform::FilePlacement &placement, const QString &temp, const QString &path);
    void focusDefaultButton();
    // Gives the focus to an entry field with its text selected, to be typed over.
    void focusField(QWidget *field);
    QList<QWidget *> entryControls() const;

    QWidget *m_form = nullptr;
    QPointer<QPushButton> m_default;
    QPointer<QPushButton> m_cancel;
    QElapsedTimer m_lastDeleteClick;
    bool m_restorable = false; // the contact just deleted may be put back (Ctrl+Z)
    // Mode, MHz, kHz and operator as typed in the contact this window added
    // last: what "Nouveau" proposes when mnuReprendre is checked.
    std::optional<QStringList> m_lastAdded;
    logfile::LogIndex m_log;
    statistics::LogStatistics m_stats{m_log}; // the figures of the whole log, for the rate and the statistics window
    logfile::AutoBackup m_backup;      // the automatic copies of the open log file
    qint64 m_rateMinute = -1;         // the minute the rate was last shown for
    QString m_proposedSerial; // the serial number "Nouveau" proposed, settled when stored unchanged
    bool m_serialToCome = false; // a shared log's addition begun without one: proposed once the server answers
    platform::BoundControls *m_bound = nullptr; // owned by Data1
};
