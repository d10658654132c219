// sequanel-export: the menu's exports from the command line, one log at a time.
//
//   sequanel-export [--remplacer] [--format=csv|adi|adx] JOURNAL FICHIER
//
// Same file as the menu writes (CSV unless told otherwise), under a temporary
// name renamed at the end. An existing FICHIER is kept unless --remplacer is
// given (nobody is there to answer the question the save dialog asks).
// Prints the count on success; on failure prints why, in French, and exits
// with 1 (2 for a wrong command; --help and --version as every command of
// the program).
#include "CommandLine.h"
#include "Export.h"
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
    const QString name = QStringLiteral("sequanel-export");
    const platform::CommandSyntax syntax{
        name, msg::exportSynopsis(), msg::exportSummary(),
        {{QStringLiteral("remplacer"), QString(), msg::exportReplaceOption()},
         {QStringLiteral("format"), QStringLiteral("FORMAT"), msg::exportFormatOption()}},
        2, 2, msg::exportNames(), msg::exportStatuses()};
    const platform::CommandLine line = platform::readCommandLine(syntax, QCoreApplication::arguments().mid(1));
    if (line.status >= 0)
        return line.status;
    const QString formatName = line.options.value(QStringLiteral("format"), QStringLiteral("csv"));
    const std::optional<exchange::Format> format = exchange::formatNamed(formatName);
    if (!format) {
        say(stderr, msg::exportBadFormat().arg(name, formatName) + QLatin1Char('\n') + msg::seeHelp().arg(name));
        return 2;
    }
    const QString log = line.names[0], out = line.names[1];
    if (!line.has(QStringLiteral("remplacer")) && QFileInfo::exists(out)) {
        say(stderr, msg::exportTargetExists().arg(QDir::toNativeSeparators(out)));
        return 1;
    }
    const exchange::ExportOutcome outcome = exchange::exportLog(log, out, *format);
    say(outcome.ok ? stdout : stderr, outcome.message);
    return outcome.ok ? 0 : 1;
}
