// sequanel-convert: converts an old log file (Jet 3.0) into a Sequanel log file,
// or copies a log file into a new shared log or a shared log into a new file.
//
//   sequanel-convert [--partiel] ANCIEN NOUVEAU
//   sequanel-convert JOURNAL NOUVEAU    (one of them postgresql://user@server/base?journal=NAME)
//
// NOUVEAU must not exist. Prints how many contacts came across; on failure
// prints why in French on standard error and exits with status 1, so that a
// shell loop can convert a whole folder of old logs (2 for a wrong command;
// --help and --version as every command of the program). A damaged file whose
// contacts can be read in part is refused too, unless --partiel is given:
// then the readable ones are converted and the status is 3. Stopped by
// SIGINT or SIGTERM, it leaves nothing behind.
//
// The reading itself runs in a child process, this same program started as
//   sequanel-convert --worker [--table NAME] [--nom SHOWN] SOURCE TARGET
// which reports on its standard output, one line each: "total N",
// "progress N", then "done N" and "message TEXT", or "partial N STATED" and
// "message TEXT" (a damaged file, the N readable rows written), or
// "refused TEXT", or "damaged [0 STATED]" (TEXT with "\n" for new lines;
// SHOWN the name its messages give the new file). The program and this
// command watch the child: a crash or a long silence means a damaged file.
#include "CommandLine.h"
#include "Conversion.h"
#include "Messages.h"
#include "Converter.h"
#include "LogFile.h"
#include "SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString escaped(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return text;
}

void limitWorker()
{
    // No core files for a crash on a damaged file, and a bound on what a
    // runaway reading may take (not under AddressSanitizer, which reserves
    // far more address space than it uses).
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
#if !defined(__SANITIZE_ADDRESS__) && !(defined(__has_feature) && __has_feature(address_sanitizer))
    rlimit memory{rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    rlimit cpu{600, 600};
    setrlimit(RLIMIT_CPU, &cpu);
    // libmdb writes its warnings on standard error.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 2);
        ::close(null);
    }
}

int worker(QStringList args)
{
    limitWorker();
    // An interrupt typed at the terminal is for the parent, which stops this child.
    std::signal(SIGINT, SIG_IGN);
    QString table, shown;
    while (args.size() > 2 && args.size() % 2 == 0) {
        if (args[0] == QLatin1String("--table"))
            table = args[1];
        else if (args[0] == QLatin1String("--nom"))
            shown = args[1];
        else
            return 2;
        args = args.mid(2);
    }
    if (args.size() != 2)
        return 2;
    qint64 shownTotal = -1;
    auto progress = [&](qint64 done, qint64 total) {
        if (total != shownTotal)
            say(QStringLiteral("total %1").arg(total));
        shownTotal = total;
        say(QStringLiteral("progress %1").arg(done));
    };
    const legacy::Outcome o = table.isEmpty() ? legacy::convertLog(args[0], args[1], progress, shown)
                                              : legacy::copyTable(args[0], args[1], table, progress);
    switch (o.status) {
    case legacy::Outcome::Done:
    case legacy::Outcome::Partial:
        say(o.status == legacy::Outcome::Done ? QStringLiteral("done %1").arg(o.rows)
                                              : QStringLiteral("partial %1 %2").arg(o.rows).arg(o.stated));
        say(QStringLiteral("message ") + escaped(o.message));
        return 0;
    case legacy::Outcome::Refused:
        say(QStringLiteral("refused ") + escaped(o.message));
        return 1;
    case legacy::Outcome::Damaged:
        break;
    }
    say(o.stated >= 0 ? QStringLiteral("damaged 0 %1").arg(o.stated) : QStringLiteral("damaged"));
    return 3;
}

// SIGINT and SIGTERM only raise this flag; the wait for the child sees it
// within a tenth of a second, stops the child and removes its files.
volatile std::sig_atomic_t g_signal = 0;

void noteSignal(int signal) { g_signal = signal; }

// Leaves as the signal would have, once the files are removed.
[[noreturn]] void leaveBySignal()
{
    std::signal(g_signal, SIG_DFL);
    std::raise(g_signal);
    ::_exit(128 + g_signal);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "sequanel-convert : %s\n", message.toLocal8Bit().constData());
    return 1;
}

QString quoted(const QString &path) { return QStringLiteral("« %1 »").arg(QDir::toNativeSeparators(path)); }

// A shared log's address as the copy names it: without its password.
QString quotedLog(const QString &name)
{
    if (!platform::isServerAddress(name))
        return quoted(name);
    static const QRegularExpression password(QStringLiteral("^(postgresql://[^@/?:]*):[^@/?]*@|[?&]password=[^&]*"));
    return quoted(QString(name).remove(password));
}

// A log file copied into a new shared log, or a shared log into a new log
// file (made under a hidden name beside its place, then put there) or
// another shared log. The old log is only read.
int copyLog(const QString &source, const QString &target)
{
    const bool toFile = !platform::isServerAddress(target);
    if (toFile) {
        const QFileInfo out(target);
        if (out.exists() || out.isSymLink())
            return fail(msg::convertTargetExists().arg(quoted(target)));
        if (!out.absoluteDir().exists())
            return fail(msg::convertFolderMissing().arg(quoted(target)));
        if (const QString problem = logfile::nameProblem(target); !problem.isEmpty())
            return fail(problem);
    }
    if (!platform::isServerAddress(source) && !QFileInfo::exists(source))
        return fail(msg::convertMissing().arg(quoted(source)));
    struct sigaction stop = {};
    stop.sa_handler = noteSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    const QString written = toFile ? logfile::temporaryBeside(target) : target;
    if (toFile)
        platform::Connection::remove(written);
    QString message;
    const std::optional<qint64> copied = logfile::copyLog(source, written, &message, quotedLog(source),
                                                          quotedLog(target), [] { return g_signal == 0; });
    if (g_signal) {
        if (copied)
            platform::Connection::remove(written);
        leaveBySignal();
    }
    if (!copied)
        return fail(message);
    if (toFile && !platform::placeFile(written, target, false)) {
        const int why = errno;
        platform::Connection::remove(written);
        return fail(why == EEXIST ? msg::convertTargetExists().arg(quoted(target))
                                  : msg::convertNotWritten().arg(quoted(target)));
    }
    const QString done = *copied == 0   ? msg::copiedNone().arg(quotedLog(source))
                         : *copied == 1 ? msg::copiedOne().arg(quotedLog(source))
                                        : msg::copiedMany().arg(*copied).arg(quotedLog(source));
    std::printf("%s\n%s\n", done.toLocal8Bit().constData(),
                msg::copyNewLog().arg(quotedLog(target)).toLocal8Bit().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--worker")) {
        // Its verdict is written: the child leaves at once, without the
        // teardown of libraries that a damaged file may have left in any state.
        const int status = worker(args.mid(1));
        std::fflush(stdout);
        ::_exit(status);
    }

    const platform::CommandSyntax syntax{
        QStringLiteral("sequanel-convert"), msg::convertSynopsis(), msg::convertSummary(),
        {{QStringLiteral("partiel"), QString(), msg::convertPartialOption()}},
        2, 2, msg::convertNames(), msg::convertStatuses()};
    const platform::CommandLine line = platform::readCommandLine(syntax, args);
    if (line.status >= 0)
        return line.status;
    const bool partial = line.has(QStringLiteral("partiel"));
    const QString source = line.names[0], target = line.names[1];
    if (!partial && (platform::isServerAddress(source) || platform::isServerAddress(target)))
        return copyLog(source, target);
    const QFileInfo out(target);
    if (out.exists() || out.isSymLink())
        return fail(msg::convertTargetExists().arg(quoted(target)));
    if (!QFileInfo::exists(source))
        return fail(msg::convertMissing().arg(quoted(source)));
    if (QFile probe(source); !QFileInfo(source).isDir() && !probe.open(QIODevice::ReadOnly))
        return fail(msg::convertCannotRead().arg(quoted(source)));
    if (!legacy::isJetFile(source))
        return fail(msg::convertNotJet().arg(quoted(source)));
    if (!out.absoluteDir().exists())
        return fail(msg::convertFolderMissing().arg(quoted(target)));
    if (const QString problem = logfile::nameProblem(target); !problem.isEmpty())
        return fail(problem);

    struct sigaction stop = {};
    stop.sa_handler = noteSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    const QString temp = logfile::temporaryBeside(target);
    QFile::remove(temp);
    const legacy::ChildResult r =
        legacy::runConverter(source, temp, [](qint64, qint64) { return g_signal == 0; }, QString(), target);
    auto removeTemp = [&] {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
    };
    if (g_signal) {
        removeTemp();
        leaveBySignal();
    }
    if (r.status == legacy::ChildResult::Partial && !partial) {
        removeTemp();
        return fail(msg::convertPartialRefused().arg(QDir::toNativeSeparators(source), r.damage)
                    + msg::convertPartialHint());
    }
    if (r.status != legacy::ChildResult::Done && r.status != legacy::ChildResult::Partial)
        return fail(r.message);
    if (!platform::placeFile(temp, target, false)) {
        const int why = errno;
        QFile::remove(temp);
        return fail(why == EEXIST ? msg::convertTargetExists().arg(quoted(target))
                                  : msg::convertNotWritten().arg(quoted(target)));
    }
    std::printf("%s\n%s\n", r.message.toLocal8Bit().constData(), msg::convertNewFile().arg(quoted(target)).toLocal8Bit().constData());
    return r.status == legacy::ChildResult::Partial ? 3 : 0;
}
