// sequanel-export: the menu's export from the command line, one log at a time.
//
//   sequanel-export [--remplacer] LOG OUT.csv
//
// Same file as the menu writes, under a temporary name renamed at the end.
// An existing OUT.csv is kept unless --remplacer is given (nobody is there to
// answer the question the save dialog asks). Prints the count on success;
// on failure prints why, in French, and exits with 1 (2 for a wrong command;
// --help and --version as every command of the program).
#include "CommandLine.h"
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
    const platform::CommandSyntax syntax{
        QStringLiteral("sequanel-export"), msg::exportSynopsis(), msg::exportSummary(),
        {{QStringLiteral("remplacer"), QString(), msg::exportReplaceOption()}},
        2, 2, msg::exportNames(), msg::exportStatuses()};
    const platform::CommandLine line = platform::readCommandLine(syntax, QCoreApplication::arguments().mid(1));
    if (line.status >= 0)
        return line.status;
    const QString log = line.names[0], csv = line.names[1];
    if (!line.has(QStringLiteral("remplacer")) && QFileInfo::exists(csv)) {
        say(stderr, msg::exportTargetExists().arg(QDir::toNativeSeparators(csv)));
        return 1;
    }
    const listing::ExportOutcome outcome = listing::exportContacts(log, csv);
    say(outcome.ok ? stdout : stderr, outcome.message);
    return outcome.ok ? 0 : 1;
}
