// The editing workflow of the main window: log files, adding, changing,
// cancelling and deleting contacts, and the entry checks.
#include "frmMain.h"
#include "frmPartage.h"
#include "Passwords.h"
#include "Messages.h"

#include "Captions.h"
#include "Clock.h"
#include "Converter.h"
#include "LogFile.h"
#include "Regional.h"
#include "Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <limits>

using namespace captions;

namespace {
const QString kFilter = QStringLiteral("Base de données  (*.adb)|*.adb");
// Where the last folder chosen in a file dialog is kept.
const QString kFolders = QStringLiteral("Dossiers"), kLastFolder = QStringLiteral("Dernier");

// Characters the serial number column holds.
int serialSize()
{
    for (const platform::ColumnDef &c : logfile::transmission().columns)
        if (c.name == QLatin1String("Sequanel"))
            return c.size;
    return 0;
}

QString displayForm(const QString &path)
{
    if (path.size() > 30)
        return path.left(3) + QStringLiteral("...") + path.right(24);
    return path;
}

// A contact as the log index knows it: as typed, and as stored in the current row.
logfile::IndexedContact typedContact(const frmMain::Controls &w)
{
    return {w.txtNrSequanel->text(),
            {w.txtPréfixeQRZ->text(), w.cmbQRZ1->currentText(), w.cmbQRZ2->currentText(),
             w.cmbQRZ3->currentText(), w.txtNrQRZ->text()}};
}
logfile::IndexedContact storedContact(const platform::RecordSource &source)
{
    logfile::IndexedContact c{source.value(QStringLiteral("Sequanel")).toString(), {}};
    for (const QString &column : logfile::callSignColumns())
        c.callSign << source.value(column);
    return c;
}
} // namespace

// ------------------------------------------------------------ log files

QString frmMain::askLogFile(bool save, const QString &proposed)
{
    ui.CMDialog1 = platform::FileRequest{};
    ui.CMDialog1.parent = this;
    ui.CMDialog1.save = save;
    ui.CMDialog1.title = save ? QStringLiteral("Création d'un fichier ") : QStringLiteral("Ouvrir");
    ui.CMDialog1.filter = kFilter;
    ui.CMDialog1.confirmOverwrite = save;
    ui.CMDialog1.fileMustExist = false;
    // A name typed without its extension still makes a file the Open dialog lists.
    ui.CMDialog1.defaultSuffix = save ? QStringLiteral("adb") : QString();
    // The dialog starts in the open log's folder, else in the last folder
    // used, else in the user's own folder (never among the program's files).
    const QString app = QCoreApplication::applicationDirPath();
    QString start = proposed;
    if (start.isEmpty() && !ui.Data1->databaseName().isEmpty() && !platform::isServerAddress(ui.Data1->databaseName()))
        start = QFileInfo(ui.Data1->databaseName()).absolutePath() + QLatin1Char('/');
    if (start.isEmpty())
        if (const QString last = platform::readSetting(app, kFolders, kLastFolder, QString()); QFileInfo(last).isDir())
            start = last + QLatin1Char('/');
    if (start.isEmpty())
        start = QDir::homePath() + QLatin1Char('/');
    ui.CMDialog1.initialPath = start;
    const QString chosen = platform::askFileName(ui.CMDialog1);
    if (!chosen.isEmpty())
        platform::writeSetting(app, kFolders, kLastFolder, QFileInfo(chosen).absolutePath());
    return chosen;
}

void frmMain::mnuNouveau_Click()
{
    const QString path = askLogFile(true);
    if (path.isEmpty())
        return;

    // The new file is made beside the chosen one and then put in its place, so
    // that a failure leaves the old file, if any, as it was.
    if (const QString problem = logfile::newFileProblem(path); !problem.isEmpty()) {
        platform::showMessage(this, problem, platform::MessageIcon::Critical);
        return;
    }
    const QString temp = logfile::temporaryBeside(path);
    QFile::remove(temp);
    QString message;
    if (!logfile::createEmpty(temp, &message, path)) {
        platform::showMessage(this, message, platform::MessageIcon::Critical);
        return;
    }
    // An entry still pending is settled before its file is left (or
    // replaced, when the new file takes its place); when the operator keeps
    // it, nothing of the new file remains.
    if (!settlePendingEntry(msg::newWithoutStoring())) {
        QFile::remove(temp);
        return;
    }
    platform::FilePlacement placement;
    if (!logfile::replaceFile(temp, path, &message, &placement)) {
        QFile::remove(temp);
        platform::showMessage(this, message, platform::MessageIcon::Critical);
        return;
    }
    bindPlacedFile(placement, temp, path);
}

// A new file just put in place of the file at path is bound; when it cannot
// be, the file that was there goes back, and the previous log stays bound.
bool frmMain::bindPlacedFile(platform::FilePlacement &placement, const QString &temp, const QString &path)
{
    if (!ChargerFichier(path)) {
        placement.undo();
        QFile::remove(temp);
        return false;
    }
    if (placement.keep())
        return true;
    platform::showMessage(this, msg::cannotReplaceFile().arg(QDir::toNativeSeparators(path), msg::diskError()),
                          platform::MessageIcon::Critical);
    QFile::remove(temp);
    ChargerFichier(path);
    return false;
}

void frmMain::mnuOuvrir_Click()
{
    const QString path = askLogFile(false);
    if (!path.isEmpty())
        openLog(path);
}

void frmMain::openLog(const QString &log)
{
    // An old log file, recognised by its first bytes, is offered for conversion.
    if (!platform::isServerAddress(log) && legacy::isJetFile(log)) {
        convertOldLog(log);
        return;
    }
    ChargerFichier(log);
}

void frmMain::mnuPartage_Click()
{
    // After a refusal the dialog comes back with its five fields as typed.
    frmPartage dialog(this);
    while (dialog.exec() == QDialog::Accepted && !openShared(dialog.request())) {
    }
}

bool frmMain::openShared(const SharedLogRequest &log)
{
    const QString address = log.address();
    // A password left empty keeps the one typed before in the session.
    if (!log.password.isEmpty())
        platform::setServerPassword(address, log.password);
    if (log.create) {
        // A journal that is there already is opened as it is.
        platform::EngineError error;
        if (!platform::Connection::open(address, platform::OpenMode::ReadOnly, &error)
            && platform::faultOf(error) == platform::EngineFault::CannotOpen) {
            QString message;
            if (!logfile::createEmpty(address, &message, log.shortName())) {
                platform::showMessage(this, message, platform::MessageIcon::Critical);
                return false;
            }
        }
    }
    if (!ChargerFichier(address))
        return false;
    rememberSharedLog(log);
    return true;
}

bool frmMain::ChargerFichier(const QString &path)
{
    // The file is tried before anything of the window changes: a file that
    // cannot be used leaves the previous one bound, with its title and buttons.
    // A server that refuses the password asks it again, as often as wanted.
    for (;;) {
        platform::RecordSource probe;
        logfile::configure(probe, path);
        if (probe.refresh())
            break;
        // The password box cancelled ends here, without a message: the
        // operator chose not to go on, the server did not refuse anything.
        if (platform::passwordRefused(probe.error().engine())) {
            if (!askServerPassword(path))
                return false;
            continue;
        }
        platform::showMessage(this, logfile::openFailureMessage(probe.error(), path), platform::MessageIcon::Critical);
        return false;
    }
    if (!settlePendingEntry(msg::openWithoutStoring()))
        return false;

    const QString title =
        QStringLiteral("Sequanel (Saisie des contacts) [") + displayForm(platform::logDisplayName(path)) + QLatin1Char(']');
    ui.Data1->setDatabaseName(path);
    if (!ui.Data1->refresh()) {
        platform::showMessage(this, logfile::openFailureMessage(ui.Data1->error(), path),
                              platform::MessageIcon::Critical);
        return false;
    }
    // A log that cannot be written (a CD, a write-protected stick, a shared
    // log the user may only read) is browsed, printed, exported and counted,
    // and says so in the title; its editing buttons stay off.
    const bool readOnly = ui.Data1->isReadOnly();
    setWindowTitle(readOnly ? title + msg::titleReadOnly() : title);
    m_log.open(ui.Data1->database());
    m_stats.open(path);
    m_backup.setLog(readOnly || platform::isServerAddress(path) ? QString() : path);
    if (ui.Data1->hasAtLeast(1))
        ui.Data1->moveLast();
    m_restorable = false;
    m_lastAdded.reset();

    ui.Toolbar1Buttons[3]->setEnabled(true);
    ui.mnuImprimer->setEnabled(true);
    ui.mnuImporter->setEnabled(!readOnly); // (on with printing, but it writes)
    for (QPushButton *b : {ui.cmdPrécédent, ui.cmdNouveau, ui.cmdSuivant, ui.cmdSupprimer, ui.cmdModifier})
        b->setEnabled(true);
    ui.cmdNouveau->setEnabled(!readOnly);
    (readOnly ? ui.cmdPrécédent : ui.cmdNouveau)->setFocus();
    ActualiserBoutons();
    if (readOnly && platform::isServerAddress(path))
        AfficherAvis(msg::sharedLogReadOnly());
    return true;
}

bool frmMain::askServerPassword(const QString &address)
{
    const QString server = platform::logDisplayName(address).section(QLatin1Char('/'), 0, -3);
    const QString user = platform::logUserName(address);
    const QString text = (platform::serverPassword(address).isEmpty() ? msg::passwordAsked() : msg::passwordRefused())
                             .arg(server, user);
    const std::optional<QString> typed = platform::askPassword(this, text);
    if (!typed)
        return false;
    if (!typed->isEmpty()) // (an empty box keeps the password typed before)
        platform::setServerPassword(address, *typed);
    return true;
}

bool frmMain::isShared() const { return platform::isServerAddress(ui.Data1->databaseName()); }

// ------------------------------------------------------------ entry checks

bool frmMain::VerifierSaisie(bool silent)
{
    // Every check is made; the first field at fault, in the tab order, is
    // where the operator is put back once told.
    QWidget *fault = nullptr;
    // On a shared log an addition begun while the server was away has no
    // number yet: the store gives it the next free one.
    const bool numberToCome = isShared() && m_state == EditState::Adding && ui.txtNrSequanel->text().isEmpty();
    auto check = [&fault](bool ok, QWidget *field) {
        if (!ok && !fault)
            fault = field;
    };
    check(platform::parseDateTime(ui.txtDateHeure->text()).has_value(), ui.txtDateHeure);
    check(numberToCome || platform::parseNumber(ui.txtNrSequanel->text()).has_value(), ui.txtNrSequanel);
    check(platform::parseNumber(ui.cmbMHz->currentText()).has_value(), ui.cmbMHz);
    check(platform::parseNumber(ui.cmbHz->currentText()).has_value(), ui.cmbHz);
    check(platform::parseNumber(ui.txtPréfixeQRZ->text()).has_value(), ui.txtPréfixeQRZ);
    check(platform::parseNumber(ui.txtNrQRZ->text()).has_value(), ui.txtNrQRZ);
    if (fault && !silent) {
        platform::showMessage(this, msg::entryNotValid(), platform::MessageIcon::Critical);
        focusField(fault);
    }
    return !fault;
}

void frmMain::focusField(QWidget *field)
{
    field->setFocus();
    if (auto *box = qobject_cast<QComboBox *>(field))
        box->lineEdit()->selectAll();
    else if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->selectAll();
}

void frmMain::cmdMaintenant_Click() { ui.txtDateHeure->setText(platform::formatDateTime(platform::now())); }

// ------------------------------------------------------------ worked before

void frmMain::AfficherDoublon()
{
    const platform::EditMode mode = ui.Data1->editMode();
    std::optional<logfile::Worked> worked = logfile::Worked{};
    if (mode != platform::EditMode::None)
        worked = m_log.worked(ui.Data1->database(), typedContact(ui).callSign,
                              mode == platform::EditMode::Editing ? ui.Data1->currentRowid() : std::nullopt);
    // While the log is being read, the answer is not known: that is said in
    // the warning's place (the log index says when it is known).
    // (said in the window's own colour: it is no warning)
    QPalette palette = ui.lblDoublon->palette();
    palette.setColor(QPalette::WindowText, worked ? QColor(0xC0, 0, 0) : this->palette().color(QPalette::WindowText));
    ui.lblDoublon->setPalette(palette);
    if (!worked) {
        ui.lblDoublon->setText(msg::checkingDuplicates());
        ui.lblDoublon->show();
        return;
    }
    if (worked->count == 0) {
        ui.lblDoublon->hide();
        return;
    }
    QString text = msg::workedBefore();
    if (const QString serial = worked->serial.trimmed(); !serial.isEmpty())
        text += msg::workedSerial().arg(serial);
    if (worked->date.isValid())
        text += msg::workedWhen()
                    .arg(worked->date.toString(QStringLiteral("dd/MM/yy")),
                         worked->date.toString(QStringLiteral("hh:mm")));
    if (worked->count > 1)
        text += msg::workedTimes().arg(worked->count);
    ui.lblDoublon->setText(text);
    ui.lblDoublon->show();
}

// ------------------------------------------------------------ editing buttons

void frmMain::setEditState(EditState state)
{
    m_state = state;
    if (state != EditState::Adding) {
        m_proposedSerial.clear(); // only an addition started by "Nouveau" has one
        m_serialToCome = false;
    }
    const bool editing = state != EditState::Browsing;
    setCaption(ui.cmdNouveau, state == EditState::Adding ? kValider : kNouveau);
    setCaption(ui.cmdModifier, state == EditState::Modifying ? kValider : kModifier);
    setCaption(ui.cmdSupprimer, editing ? kAnnuler : kSupprimer);
    if (editing) {
        ui.cmdPrécédent->setEnabled(false);
        ui.cmdSuivant->setEnabled(false);
        ui.cmdNouveau->setEnabled(state == EditState::Adding);
        ui.cmdModifier->setEnabled(state == EditState::Modifying);
        ui.cmdSupprimer->setEnabled(true); // (greyed in an empty file while browsing)
        setDefaultButton(state == EditState::Adding ? ui.cmdNouveau : ui.cmdModifier);
        setCancelButton(ui.cmdSupprimer);
        ActiverSaisie(true);
        return;
    }
    // Back to browsing: Enter keeps the button of the work just done.
    ui.cmdNouveau->setEnabled(!ui.Data1->isReadOnly());
    setCancelButton(nullptr);
    ActiverSaisie(false);
    ActualiserBoutons();
    focusDefaultButton();
}

void frmMain::cmdNouveau_Click()
{
    if (m_state == EditState::Adding) {
        storeAddition(false);
        return;
    }
    setEditState(EditState::Adding);
    if (isShared()) {
        ui.Data1->moveLast();
        ui.Data1->addNew();
        ui.txtDateHeure->setText(platform::formatDateTime(platform::now()));
        ui.txtRST->setFocus();
        proposeSerial();
        return;
    }

    platform::Connection *db = ui.Data1->database();
    const std::optional<qint64> n = m_log.largestSerial(db);
    const platform::EngineError readError = db ? db->lastError() : platform::EngineError{};
    ui.Data1->moveLast();
    ui.Data1->addNew();
    ui.txtDateHeure->setText(platform::formatDateTime(platform::now()));
    // What stays the same from one contact to the next, when asked for.
    if (ui.mnuReprendre->isChecked() && m_lastAdded) {
        ui.cmbBande->setEditText(m_lastAdded->value(0));
        ui.cmbMHz->setEditText(m_lastAdded->value(1));
        ui.cmbHz->setEditText(m_lastAdded->value(2));
        ui.txtOpérateur->setText(m_lastAdded->value(3));
    }
    // Only a number the column can hold is proposed (a number written by
    // another tool may already be the largest there is), and only from a
    // reading that succeeded.
    m_proposedSerial = n && *n < std::numeric_limits<qint64>::max() ? QString::number(*n + 1) : QString();
    if (!m_proposedSerial.isEmpty() && m_proposedSerial.size() <= serialSize()) {
        ui.txtNrSequanel->setText(m_proposedSerial);
        ui.txtRST->setFocus();
        return;
    }
    m_proposedSerial.clear();
    ui.txtNrSequanel->clear();
    ui.txtNrSequanel->setFocus();
    if (!n)
        platform::showMessage(this, msg::serialNotRead().arg(platform::describe(readError)),
                              platform::MessageIcon::Warning);
    else
        platform::showMessage(this, msg::serialsFull().arg(serialSize()), platform::MessageIcon::Warning);
}

// The next free serial number reserved for this station while its operator
// gives it on the air: another station is proposed the one after.
void frmMain::proposeSerial()
{
    const std::optional<qint64> n = logfile::reserveNextSerial(ui.Data1->database());
    if (!n) {
        // No number another station could not take too: none is proposed,
        // and none invited; it comes once the server answers (showLink).
        if (!std::exchange(m_serialToCome, true))
            AfficherAvis(msg::serialWhenServerBack());
        return;
    }
    m_serialToCome = false;
    const QString text = QString::number(*n);
    if (text.size() > serialSize()) {
        platform::showMessage(this, msg::serialsFull().arg(serialSize()), platform::MessageIcon::Warning);
        ui.txtNrSequanel->setFocus();
        return;
    }
    m_proposedSerial = text;
    ui.txtNrSequanel->setText(text);
}

bool frmMain::storeAddition(bool silent)
{
    if (!VerifierSaisie(silent))
        return false;
    logfile::IndexedContact typed = typedContact(ui);
    // On a file, the number proposed and left as it is is settled when the
    // contact is stored, once the file is locked for writing: another
    // program may have stored that number meanwhile; a number the operator
    // typed is stored as typed. On a shared log every plain number (the one
    // reserved, or one typed) is kept when no other station stored it or
    // holds it, and an addition without one gets the next free one.
    const QString proposed = m_proposedSerial, asTyped = typed.serial;
    static const QRegularExpression plain(QStringLiteral("^(0|[1-9][0-9]{0,14})$"));
    const bool shared = isShared();
    const bool settle = shared ? asTyped.isEmpty() || plain.match(asTyped).hasMatch() : !proposed.isEmpty() && asTyped == proposed;
    const bool keep = shared && !asTyped.isEmpty();
    const platform::SettledColumn serial{
        QStringLiteral("Sequanel"),
        [this, keep, asTyped](platform::Connection &db) -> std::optional<QString> {
            if (keep) {
                const std::optional<bool> free = logfile::serialFree(db, asTyped.toLongLong());
                if (!free || *free)
                    return free ? std::optional(asTyped) : std::nullopt;
            }
            const std::optional<qint64> n = m_log.largestSerialLocked(db), held = logfile::largestReserved(db);
            if (!n || !held)
                return std::nullopt;
            const qint64 taken = std::max(*n, *held);
            return QString::number(taken < std::numeric_limits<qint64>::max() ? taken + 1 : taken);
        },
        [this, keep](platform::Connection &db, const platform::Sql &typedText) {
            return keep ? logfile::typedSerialInStatement(&db, typedText) : logfile::nextSerialInStatement(&db, serialSize());
        }};
    // (read before the store, which shows the contact that was current again)
    const QStringList kept{ui.cmbBande->currentText(), ui.cmbMHz->currentText(), ui.cmbHz->currentText(), ui.txtOpérateur->text()};
    if (!ui.Data1->update(settle ? &serial : nullptr)) {
        if (!silent)
            reportStoreFailure();
        return false;
    }
    if (settle)
        typed.serial = ui.Data1->settledText();
    m_lastAdded = kept;
    m_log.noteStored(ui.Data1->addedRowid(), typed);
    m_backup.contactStored();
    setEditState(EditState::Browsing);
    // Said in the status bar: keys typed for the next contact stay in the form.
    if (settle && typed.serial != asTyped && !silent) {
        if (asTyped.isEmpty())
            AfficherAvis(msg::storedUnder().arg(typed.serial));
        else
            AfficherAvis((shared ? msg::serialTakenByStation() : msg::serialTaken()).arg(asTyped, typed.serial));
        platform::beep();
    }
    return true;
}

void frmMain::cmdModifier_Click()
{
    if (m_state == EditState::Modifying) {
        storeChange(false);
        return;
    }
    if (!ui.Data1->hasAtLeast(1)) {
        if (ui.Data1->error().isSet())
            reportStoreFailure(); // the file could not be read: say why
        else
            platform::beep();
        return;
    }
    ui.Data1->edit();
    setEditState(EditState::Modifying);
    ui.txtRST->setFocus();
}

bool frmMain::storeChange(bool silent)
{
    if (!VerifierSaisie(silent))
        return false;
    const std::optional<qint64> row = ui.Data1->currentRowid();
    const logfile::IndexedContact before = storedContact(*ui.Data1), after = typedContact(ui);
    if (!ui.Data1->update()) {
        if (ui.Data1->error().kind == platform::SourceError::RowGone) {
            // Another program deleted the contact: what was typed becomes a
            // new contact, which "Valider" stores and "Annuler" drops.
            ui.Data1->editToAddNew();
            setEditState(EditState::Adding);
            if (silent)
                return storeAddition(true);
            platform::showMessage(this, (isShared() ? msg::contactGoneShared() : msg::contactGone()) + msg::entryKeptAsNew(),
                                  platform::MessageIcon::Warning);
        } else if (!silent) {
            reportStoreFailure();
        }
        return false;
    }
    if (row)
        m_log.noteChanged(*row, before, after);
    setEditState(EditState::Browsing);
    return true;
}

void frmMain::cmdSupprimer_Click()
{
    if (m_state != EditState::Browsing) {
        cancelEntry();
        return;
    }
    // One click, one deletion: the second click of a double click, or a held
    // key repeating, comes before the double-click interval is over since the
    // click before it, and is not a new command.
    const bool repeated = m_lastDeleteClick.isValid()
                          && m_lastDeleteClick.elapsed() < QApplication::doubleClickInterval();
    m_lastDeleteClick.start();
    if (repeated) {
        ui.cmdNouveau->setFocus(); // (the click took the focus)
        return;
    }
    const std::optional<qint64> row = ui.Data1->currentRowid();
    const logfile::IndexedContact stored = storedContact(*ui.Data1);
    const bool shared = isShared();
    const bool deleted = ui.Data1->deleteCurrent();
    if (deleted) {
        if (row)
            m_log.noteRemoved(*row, stored);
    } else if (ui.Data1->error().kind == platform::SourceError::RowGone) {
        platform::showMessage(this, shared ? msg::contactGoneShared() : msg::contactGone(), platform::MessageIcon::Warning);
    } else if (ui.Data1->error().kind == platform::SourceError::Engine) {
        // The file refused the deletion (read-only, full disk, locked), or
        // the server did not answer: the contact may still be there, the
        // operator must know it, and it stays on screen.
        const platform::EngineError e = ui.Data1->error().engine();
        platform::showMessage(this,
                              platform::answerLost(e) ? msg::contactMaybeDeleted()
                                                      : (shared ? msg::contactNotDeletedShared() : msg::contactNotDeleted())
                                                            + platform::describe(e),
                              platform::MessageIcon::Critical);
    }
    // The form must not go on showing a contact that is gone: when the file
    // cannot be read again, it is left empty and the operator told why.
    // A contact not deleted stays on screen.
    const bool kept = !deleted && ui.Data1->error().kind == platform::SourceError::Engine;
    if (!kept && !ui.Data1->moveLast() && ui.Data1->error().isSet())
        platform::showMessage(this, (shared ? msg::logNotRereadShared() : msg::logNotReread())
                                        + platform::describe(ui.Data1->error().engine()),
                              platform::MessageIcon::Warning);
    ActualiserBoutons();
    // Enter, the key of the next contact, must never delete another one: it
    // goes back to "Nouveau", which takes the focus.
    setDefaultButton(ui.cmdNouveau);
    ui.cmdNouveau->setFocus();
    if (deleted) {
        m_restorable = true;
        AfficherAvis(msg::contactDeleted().arg(stored.serial.trimmed()));
    }
}

void frmMain::RétablirContact()
{
    if (!m_restorable || m_state != EditState::Browsing)
        return;
    if (!ui.Data1->restoreDeleted()) {
        // Refused by the file: it may be tried again.
        if (ui.Data1->error().isSet())
            platform::showMessage(this,
                                  (isShared() ? msg::contactNotRestoredShared() : msg::contactNotRestored())
                                      + platform::describe(ui.Data1->error().engine()),
                                  platform::MessageIcon::Critical);
        else
            m_restorable = false;
        return;
    }
    m_restorable = false;
    const logfile::IndexedContact restored = storedContact(*ui.Data1);
    m_log.noteStored(ui.Data1->currentRowid(), restored);
    ActualiserBoutons();
    AfficherAvis(msg::contactRestored().arg(restored.serial.trimmed()));
}

void frmMain::cancelEntry()
{
    // The number reserved for the addition given up goes back to the others.
    if (m_state == EditState::Adding && !m_proposedSerial.isEmpty())
        if (platform::Connection *db = ui.Data1->database())
            db->releaseReservations();
    ui.Data1->cancelUpdate();
    if (ui.Data1->hasAtLeast(1))
        ui.Data1->moveLast();
    setEditState(EditState::Browsing);
}

// The field that had the focus is now locked; the focus goes to the button
// that Enter presses, so that Enter goes on with the same kind of work.
void frmMain::focusDefaultButton()
{
    if (m_default && m_default->isEnabled())
        m_default->setFocus();
}

void frmMain::reportStoreFailure()
{
    const platform::SourceError e = ui.Data1->error();
    // Stored, or not: only the server knows, and the next Valider asks it.
    const QString text = !platform::answerLost(e.engine()) ? logfile::storeFailureMessage(e, ui.Data1->databaseName())
                         : m_state == EditState::Adding  ? msg::contactMaybeStored()
                                                         : msg::changeMaybeStored();
    platform::showMessage(this, text, platform::MessageIcon::Critical);
    // Put the operator on the field to correct.
    for (QWidget *w : entryControls())
        if (!e.column.isEmpty() && w->property("column").toString() == e.column) {
            focusField(w);
            break;
        }
}

bool frmMain::storePendingEntry(bool silent)
{
    if (platform::waitingForServer())
        return false; // (asked while a statement of the window waits: it is the statement's to end)
    switch (m_state) {
    case EditState::Adding: return storeAddition(silent);
    case EditState::Modifying: return storeChange(silent);
    case EditState::Browsing: break;
    }
    return true;
}

bool frmMain::settlePendingEntry(const QString &question)
{
    if (storePendingEntry(true))
        return true;
    if (!m_sessionEnding) {
        // Why it was refused, as the refusal says it, then the question.
        QString why = VerifierSaisie(true) ? logfile::storeFailureReason(ui.Data1->error(), ui.Data1->databaseName())
                                           : msg::entryNotValid();
        if (why.isEmpty())
            why = msg::contactNotStored();
        if (platform::showMessage(this, msg::pendingNotStored().arg(why, question), platform::MessageIcon::Question,
                                  platform::MessageButtons::YesNoDefaultNo)
            != platform::Answer::Yes)
            return false;
    }
    cancelEntry();
    return true;
}

void frmMain::endSession()
{
    if (platform::waitingForServer()) { // once the statement under way is answered
        QTimer::singleShot(20, this, &frmMain::endSession);
        return;
    }
    m_sessionEnding = true;
    settlePendingEntry(QString());
}
