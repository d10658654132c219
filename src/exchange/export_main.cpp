// sequanel-export: the menu's exports from the command line, one log at a time.
//
//   sequanel-export [--remplacer] [--format csv|adi|adx] JOURNAL FICHIER
//
// Same file as the menu writes (CSV unless told otherwise), under a temporary
// name renamed at the end. An existing FICHIER is kept unless --remplacer is
// given (nobody is there to answer the question the save dialog asks).
// Prints the count on success; on failure prints why, in French, and exits
// with 1 (2 for a wrong command).
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
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--remplacer")) > 0;
    exchange::Format format = exchange::Format::Csv;
    if (const qsizetype at = args.indexOf(QStringLiteral("--format")); at >= 0) {
        const auto named = exchange::formatNamed(args.value(at + 1));
        if (!named) {
            say(stderr, msg::exportBadFormat().arg(args.value(at + 1)) + QLatin1Char('\n') + msg::exportUsage());
            return 2;
        }
        format = *named;
        args.remove(at, 2);
    }
    if (args.size() != 2 || args[0].startsWith(QLatin1Char('-')) || args[1].startsWith(QLatin1Char('-'))) {
        say(stderr, msg::exportUsage());
        return 2;
    }
    const QString log = args[0], out = args[1];
    if (!replace && QFileInfo::exists(out)) {
        say(stderr, msg::exportTargetExists().arg(QDir::toNativeSeparators(out)));
        return 1;
    }
    const exchange::ExportOutcome outcome = exchange::exportLog(log, out, format);
    say(outcome.ok ? stdout : stderr, outcome.message);
    return outcome.ok ? 0 : 1;
}
