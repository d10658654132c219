#include "CsvExport.h"

namespace listing {

ExportOutcome exportContacts(const QString &logPath, const QString &csvPath)
{
    return exchange::exportLog(logPath, csvPath, exchange::Format::Csv);
}

} // namespace listing
