#include "CsvExport.h"
#include "Messages.h"

#include "Export.h"
#include "LogFile.h"
#include "Prompts.h"

#include <QApplication>

namespace listing {

namespace {
void exportTo(QWidget *parent, const QString &logPath, const QString &path, exchange::Format format)
{
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const exchange::ExportOutcome outcome = exchange::exportLog(logPath, path, format);
    QApplication::restoreOverrideCursor();
    platform::showMessage(parent, outcome.message,
                          outcome.ok ? platform::MessageIcon::Information : platform::MessageIcon::Critical);
}
} // namespace

ExportOutcome exportContacts(const QString &logPath, const QString &csvPath)
{
    return exchange::exportLog(logPath, csvPath, exchange::Format::Csv);
}

void exportCommand(QWidget *parent, const QString &logPath)
{
    const QString proposed = logfile::besideLog(logPath, QStringLiteral(".csv"));
    exportTo(parent, logPath,
             platform::askSaveFile(parent, msg::exportTitle(), QStringLiteral("Fichier CSV"), QStringLiteral("csv"),
                                   proposed),
             exchange::Format::Csv);
}

void exportAdifCommand(QWidget *parent, const QString &logPath)
{
    platform::FileRequest request;
    request.parent = parent;
    request.save = true;
    request.title = msg::exportAdifTitle();
    request.filter = msg::exportAdifTypes();
    request.confirmOverwrite = true;
    request.defaultSuffix = QStringLiteral("adi");
    request.initialPath = logfile::besideLog(logPath, QStringLiteral(".adi"));
    const QString path = platform::askFileName(request);
    exportTo(parent, logPath, path, exchange::formatOfFile(path) == exchange::Format::Adx ? exchange::Format::Adx
                                                                                         : exchange::Format::Adi);
}

} // namespace listing
