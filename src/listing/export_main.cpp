// sequanel-export: the menu's export from the command line, one log at a time.
//
//   sequanel-export [--remplacer] LOG OUT.csv
//
// Same file as the menu writes, under a temporary name renamed at the end.
// An existing OUT.csv is kept unless --remplacer is given (nobody is there to
// answer the question the save dialog asks). Prints the count on success;
// on failure prints why, in French, and exits with 1 (2 for a wrong command).
#include "CsvExport.h"
#include "Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {
void say(std::FILE *to, const QString &text) { std::fprintf(to, "%s\n", text.toLocal8Bit().constData()); }
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--remplacer")) > 0;
    if (args.size() != 2 || args[0].startsWith(QLatin1Char('-')) || args[1].startsWith(QLatin1Char('-'))) {
        say(stderr, msg::exportUsage());
        return 2;
    }
    const QString log = args[0], csv = args[1];
    if (!replace && QFileInfo::exists(csv)) {
        say(stderr, msg::exportTargetExists().arg(QDir::toNativeSeparators(csv)));
        return 1;
    }
    const listing::ExportOutcome outcome = listing::exportContacts(log, csv);
    say(outcome.ok ? stdout : stderr, outcome.message);
    return outcome.ok ? 0 : 1;
}
