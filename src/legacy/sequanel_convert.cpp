// sequanel-convert: converts an old log file (Jet 3.0) into a Sequanel log file.
//
//   sequanel-convert ANCIEN NOUVEAU
//
// NOUVEAU must not exist. Prints how many contacts came across; on failure
// prints why in French on standard error and exits with status 1, so that a
// shell loop can convert a whole folder of old logs.
//
// The reading itself runs in a child process, this same program started as
//   sequanel-convert --worker [--table NAME] SOURCE TARGET
// which reports on its standard output, one line each: "total N",
// "progress N", then "done N" and "message TEXT", or "refused TEXT", or
// "damaged" (TEXT with "\n" for new lines). The program and this command
// watch the child: a crash or a long silence means a damaged file.
#include "Conversion.h"
#include "Messages.h"
#include "Converter.h"
#include "LogFile.h"
#include "SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
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
    QString table;
    if (args.size() == 4 && args[0] == QLatin1String("--table")) {
        table = args[1];
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
    const legacy::Outcome o = table.isEmpty() ? legacy::convertLog(args[0], args[1], progress)
                                              : legacy::copyTable(args[0], args[1], table, progress);
    switch (o.status) {
    case legacy::Outcome::Done:
        say(QStringLiteral("done %1").arg(o.rows));
        say(QStringLiteral("message ") + escaped(o.message));
        return 0;
    case legacy::Outcome::Refused:
        say(QStringLiteral("refused ") + escaped(o.message));
        return 1;
    case legacy::Outcome::Damaged:
        break;
    }
    say(QStringLiteral("damaged"));
    return 3;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "sequanel-convert : %s\n", message.toLocal8Bit().constData());
    return 1;
}

QString quoted(const QString &path) { return QStringLiteral("« %1 »").arg(QDir::toNativeSeparators(path)); }

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

    if (args.size() != 2)
        return fail(msg::convertUsage());
    const QString source = args[0], target = args[1];
    const QFileInfo out(target);
    if (out.exists() || out.isSymLink())
        return fail(msg::convertTargetExists().arg(quoted(target)));
    if (!QFileInfo::exists(source))
        return fail(msg::convertMissing().arg(quoted(source)));
    if (!legacy::isJetFile(source))
        return fail(msg::convertNotJet().arg(quoted(source)));
    if (!out.absoluteDir().exists())
        return fail(msg::convertFolderMissing().arg(quoted(target)));
    if (const QString problem = logfile::nameProblem(target); !problem.isEmpty())
        return fail(problem);

    const QString temp = logfile::temporaryBeside(target);
    QFile::remove(temp);
    const legacy::ChildResult r = legacy::runConverter(source, temp);
    if (r.status != legacy::ChildResult::Done)
        return fail(r.message);
    if (!platform::placeFile(temp, target, false)) {
        const int why = errno;
        QFile::remove(temp);
        return fail(why == EEXIST ? msg::convertTargetExists().arg(quoted(target))
                                  : msg::convertNotWritten().arg(quoted(target)));
    }
    std::printf("%s\nNouveau fichier : %s\n", r.message.toLocal8Bit().constData(), quoted(target).toLocal8Bit().constData());
    return 0;
}
