// Commands of the main window's menus and toolbar.
#include "frmMain.h"
#include "Messages.h"

#include "CsvExport.h"
#include "Help.h"
#include "LogFile.h"
#include "ProgramFolder.h"
#include "ZoneClock.h"
#include "frmFuseau.h"
#include "frmListe.h"
#include "frmOrientation.h"
#include "frmSauvegarde.h"
#include "frmSplash.h"
#include "frmStatistiques.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

void frmMain::Toolbar1_ButtonClick(QAction *button)
{
    if (!button || !button->isEnabled())
        return;
    const QString key = button->property("Key").toString();
    if (key == QLatin1String("Nouveau"))
        mnuNouveau_Click();
    else if (key == QLatin1String("Ouvrir"))
        mnuOuvrir_Click();
    else if (key == QLatin1String("Imprimer"))
        mnuImprimer_Click();
    else if (key == QLatin1String("Orientation"))
        mnuOrientation_Click();
    else if (key == QLatin1String("Statistiques"))
        mnuStatistiques_Click();
}

void frmMain::mnuImprimer_Click()
{
    if (!ui.mnuImprimer->isEnabled())
        return;
    if (!ui.Data1->hasAtLeast(1)) {
        platform::showMessage(this, msg::nothingToPrint(), platform::MessageIcon::Warning);
        return;
    }
    frmListe liste(ui.Data1->databaseName(), this);
    liste.exec();
}

void frmMain::mnuExporter_Click()
{
    if (!ui.mnuExporter->isEnabled())
        return;
    // The file must hold what the operator sees: an entry still pending is
    // stored first; one that cannot be stored keeps its message and its place
    // on screen, and nothing is exported.
    if (!storePendingEntry(false))
        return;
    // The file is asked for in the log's folder, under the log's name with ".csv".
    const QString log = ui.Data1->databaseName();
    const QString path = platform::askSaveFile(this, msg::exportTitle(), QStringLiteral("Fichier CSV"),
                                               QStringLiteral("csv"), logfile::besideLog(log, QStringLiteral(".csv")));
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const listing::ExportOutcome outcome = listing::exportContacts(log, path);
    QApplication::restoreOverrideCursor();
    platform::showMessage(this, outcome.message,
                          outcome.ok ? platform::MessageIcon::Information : platform::MessageIcon::Critical);
}

void frmMain::mnuQuitter_Click() { close(); }

void frmMain::mnuSauvegarde_Click()
{
    frmSauvegarde dialog(m_backup.settings(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // (settings that cannot be written still hold for this session)
    logfile::writeBackupSettings(dialog.settings());
    m_backup.setSettings(dialog.settings());
}

void frmMain::AfficherAvis(const QString &text)
{
    // A notice longer than the panel ends in "…", and shows whole as the
    // panel's tip.
    QLabel *panel = ui.StatusPanels[0];
    const int room = std::max(panel->width(), panel->minimumWidth()) - 2 * panel->frameWidth() - 2 * panel->margin() - 4;
    panel->setText(panel->fontMetrics().elidedText(text, Qt::ElideRight, room));
    panel->setToolTip(text);
}

void frmMain::mnuOrientation_Click() { frmOrientation::showSingle(); }

void frmMain::mnuStatistiques_Click() { frmStatistiques::showSingle(&m_stats); }

void frmMain::mnuH_Click(int index)
{
    auto *w = new frmFuseau;
    w->lblInfo->setText(ui.mnuH.value(index - 1)->text());
    w->tmrHeure->setProperty("Tag", zoneclock::zoneOffsetText(index));
    w->show();
}

void frmMain::mnuHelp_Click()
{
    const QString index = platform::programFile(QStringLiteral("help/index.html"));
    QString error;
    if (!platform::showHelpContents(this, index, &error))
        platform::showMessage(this, error, platform::MessageIcon::Information);
}

void frmMain::mnuAPropos_Click()
{
    frmSplash about(this);
    about.Splash->setVisible(true);
    about.exec();
}
