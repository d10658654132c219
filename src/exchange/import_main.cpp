// sequanel-import: the menu's import from the command line.
//
//   sequanel-import [--partiel] FICHIER JOURNAL
//
// Adds the contacts of an ADI, ADX or CSV file to an existing log (a file or
// a postgresql:// address) in one transaction. Each refused record is told on
// standard error; then nothing is imported (status 1) unless --partiel is
// given: the readable contacts are imported and the status is 3. Prints the
// count on success (status 0); on failure prints why, in French, with
// status 1 (2 for a wrong command; --help and --version as every command of
// the program).
#include "CommandLine.h"
#include "Import.h"
#include "Messages.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {
void say(std::FILE *to, const QString &text) { std::fprintf(to, "%s\n", text.toLocal8Bit().constData()); }
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const platform::CommandSyntax syntax{
        QStringLiteral("sequanel-import"), msg::importSynopsis(), msg::importSummary(),
        {{QStringLiteral("partiel"), QString(), msg::importPartialOption()}},
        2, 2, msg::importNames(), msg::importStatuses()};
    const platform::CommandLine line = platform::readCommandLine(syntax, QCoreApplication::arguments().mid(1));
    if (line.status >= 0)
        return line.status;
    const bool partial = line.has(QStringLiteral("partiel"));
    const QStringList args = line.names;
    QString message;
    std::optional<exchange::ImportPlan> plan = exchange::planImport(args[0], args[1], &message);
    if (!plan) {
        say(stderr, message);
        return 1;
    }
    for (const QString &refusal : plan->refused)
        say(stderr, refusal);
    if (plan->refusedCount > plan->refused.size())
        say(stderr, msg::importAndMore().arg(plan->refusedCount - plan->refused.size()));
    if (plan->refusedCount > 0 && !partial) {
        say(stderr, msg::importPartialRefused().arg(plan->refusedCount).arg(args[0]));
        return 1;
    }
    const exchange::ImportOutcome outcome = exchange::runImport(*plan, args[1], partial);
    say(outcome.ok ? stdout : stderr, outcome.message);
    if (!outcome.ok)
        return 1;
    return plan->refusedCount > 0 ? 3 : 0;
}
