// The open log written to an ADIF file for another program, and another
// program's contacts (ADI, ADX or CSV) added to the open log after a preview.
#include "frmMain.h"
#include "frmImportation.h"
#include "Messages.h"

#include "CsvExport.h"
#include "Import.h"
#include "LogFile.h"
#include "Progress.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

void frmMain::mnuExporterAdif_Click()
{
    if (!ui.mnuExporterAdif->isEnabled())
        return;
    // (what the operator sees is what the file holds: see mnuExporter_Click)
    if (!storePendingEntry(false))
        return;
    listing::exportAdifCommand(this, ui.Data1->databaseName());
}

void frmMain::mnuImporter_Click()
{
    if (!ui.mnuImporter->isEnabled() || !storePendingEntry(false))
        return;
    const QString log = ui.Data1->databaseName();
    platform::FileRequest request;
    request.parent = this;
    request.title = msg::importTitle();
    request.filter = msg::importTypes();
    request.fileMustExist = true;
    request.initialPath = QFileInfo(logfile::besideLog(log, QString())).absolutePath() + QLatin1Char('/');
    const QString file = platform::askFileName(request);
    if (file.isEmpty())
        return;

    QString message;
    std::optional<exchange::ImportPlan> plan;
    {
        platform::Progress progress(this, msg::importProgress().arg(QDir::toNativeSeparators(file)));
        plan = exchange::planImport(file, log, &message,
                                    [&](qint64 done, qint64 total) { return progress.report(done, total); });
    }
    if (!plan) {
        if (!message.isEmpty()) // (nothing to say when the operator stopped the reading)
            platform::showMessage(this, message, platform::MessageIcon::Critical);
        return;
    }
    frmImportation preview(*plan, this);
    if (preview.exec() != QDialog::Accepted)
        return;
    exchange::ImportOutcome outcome;
    {
        platform::Progress progress(this, msg::importStoring().arg(platform::logDisplayName(log)));
        outcome = exchange::runImport(*plan, log, true,
                                      [&](qint64 done, qint64 total) { return progress.report(done, total); });
    }
    if (outcome.message.isEmpty())
        return;
    platform::showMessage(this, outcome.message,
                          outcome.ok ? platform::MessageIcon::Information : platform::MessageIcon::Critical);
    // The window shows the log as it now stands, at its last contact.
    if (outcome.ok && outcome.imported > 0)
        ChargerFichier(log);
}
