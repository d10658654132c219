// The open log written to an ADIF file for another program, and another
// program's contacts (ADI, ADX or CSV) added to the open log after a preview.
#include "frmMain.h"
#include "frmImportation.h"
#include "Messages.h"

#include "Export.h"
#include "Import.h"
#include "LogFile.h"
#include "Progress.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>

void frmMain::mnuExporterAdif_Click()
{
    // (what the operator sees is what the file holds: see mnuExporter_Click)
    if (!ui.mnuExporterAdif->isEnabled() || !storePendingEntry(false))
        return;
    // ".adi" proposed beside the log; a name ending in ".adx" gives ADX.
    platform::FileRequest request;
    request.parent = this;
    request.save = true;
    request.title = msg::exportAdifTitle();
    request.filter = msg::exportAdifTypes();
    request.confirmOverwrite = true;
    request.defaultSuffix = QStringLiteral("adi");
    request.initialPath = logfile::besideLog(ui.Data1->databaseName(), QStringLiteral(".adi"));
    const QString path = platform::askFileName(request);
    if (!path.isEmpty())
        exportLogTo(path, exchange::formatOfFile(path) == exchange::Format::Adx ? exchange::Format::Adx
                                                                              : exchange::Format::Adi);
}

void frmMain::exportLogTo(const QString &path, exchange::Format format)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const exchange::ExportOutcome outcome = exchange::exportLog(ui.Data1->databaseName(), path, format);
    QApplication::restoreOverrideCursor();
    platform::showMessage(this, outcome.message,
                          outcome.ok ? platform::MessageIcon::Information : platform::MessageIcon::Critical);
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
