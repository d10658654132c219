#include "Converter.h"
#include "Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace legacy {

namespace {
QString g_program;
int g_stallLimit = 10000;

QString program()
{
    return g_program.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/sequanel-convert")
                               : g_program;
}

QString unescape(const QString &text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            ++i;
            out += text[i] == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}
} // namespace

void setConverterProgram(const QString &path) { g_program = path; }
void setStallLimit(int milliseconds) { g_stallLimit = milliseconds; }

bool isJetFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(20);
    if (head.size() < 20 || head[0] != 0)
        return false;
    const QByteArray magic = head.mid(4, 15);
    return magic == "Standard Jet DB" || magic == "Standard ACE DB";
}

QString damagedMessage(const QString &source) { return msg::convertDamaged().arg(QDir::toNativeSeparators(source)); }

QString damageCounts(qint64 readable, qint64 stated)
{
    // Thousands set apart by a blank, as French writes them: 1 000.
    auto grouped = [](qint64 n) {
        QString digits = QString::number(n);
        for (int at = digits.size() - 3; at > (n < 0 ? 1 : 0); at -= 3)
            digits.insert(at, QLatin1Char(' '));
        return digits;
    };
    return msg::convertDamagedCounts().arg(
        (readable > 1 ? msg::convertReadableMany() : msg::convertReadableOne()).arg(grouped(readable)),
        (stated > 1 ? msg::convertStatedMany() : msg::convertStatedOne()).arg(grouped(stated)));
}

ChildResult runConverter(const QString &source, const QString &target, const ProgressCheck &progress,
                         const QString &table, const QString &shownTarget)
{
    ChildResult result;
    QProcess child;
    QStringList args{QStringLiteral("--worker")};
    if (!table.isEmpty())
        args << QStringLiteral("--table") << table;
    if (!shownTarget.isEmpty())
        args << QStringLiteral("--nom") << shownTarget;
    args << source << target;
    child.setProgram(program());
    child.setArguments(args);
    child.setStandardErrorFile(QProcess::nullDevice());
    // The child is killed when this process ends, however it ends; a parent
    // gone before the request took hold is seen in getppid().
    const pid_t parent = ::getpid();
    child.setChildProcessModifier([parent] {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
    });

    qint64 done = 0, total = 0;
    QString verdict;
    bool canceled = false, stalled = false;
    QElapsedTimer quiet;
    QEventLoop loop;
    auto stop = [&] {
        child.kill();
        child.waitForFinished(5000);
    };
    auto ask = [&] {
        if (!canceled && progress && !progress(done, total)) {
            canceled = true;
            stop();
        }
    };
    auto readLines = [&] {
        quiet.restart();
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).chopped(1);
            const QString word = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            if (word == QLatin1String("total"))
                total = rest.toLongLong();
            else if (word == QLatin1String("progress"))
                done = rest.toLongLong();
            else if (word == QLatin1String("done") || word == QLatin1String("partial")
                     || word == QLatin1String("damaged")) {
                verdict = word;
                result.rows = rest.section(QLatin1Char(' '), 0, 0).toLongLong();
                result.stated = rest.isEmpty() ? -1 : rest.section(QLatin1Char(' '), 1, 1).toLongLong();
            } else if (word == QLatin1String("message") || word == QLatin1String("refused")) {
                if (word == QLatin1String("refused"))
                    verdict = word;
                result.message = unescape(rest);
            }
        }
    };
    QObject::connect(&child, &QProcess::readyReadStandardOutput, &loop, [&] {
        readLines();
        ask();
    });
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        ask();
        if (!canceled && child.state() == QProcess::Running && quiet.elapsed() > g_stallLimit) {
            stalled = true;
            stop();
        }
    });

    quiet.start();
    child.start();
    const bool started = child.waitForStarted(10000);
    if (started) {
        tick.start();
        loop.exec();
        tick.stop();
        if (child.state() != QProcess::NotRunning)
            stop();
        readLines();
    }

    auto removeTarget = [&] {
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
    };
    if (!started) {
        result.status = ChildResult::Refused;
        result.message = msg::converterCannotStart().arg(QDir::toNativeSeparators(program()));
    } else if (canceled) {
        result.status = ChildResult::Canceled;
    } else if (!stalled && (verdict == QLatin1String("done") || verdict == QLatin1String("partial"))
               && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) {
        result.status = verdict == QLatin1String("done") ? ChildResult::Done : ChildResult::Partial;
        if (result.status == ChildResult::Partial)
            result.damage = damageCounts(result.rows, result.stated);
    } else if (!stalled && verdict == QLatin1String("refused") && child.exitStatus() == QProcess::NormalExit) {
        result.status = ChildResult::Refused;
    } else {
        result.status = ChildResult::Damaged;
        result.message = damagedMessage(source);
        // A table that says how many rows it has, none of which could be read.
        if (!stalled && verdict == QLatin1String("damaged") && result.stated > 0)
            result.message = msg::convertPartialRefused().arg(QDir::toNativeSeparators(source),
                                                             damageCounts(0, result.stated));
        result.rows = 0;
    }
    if (result.status != ChildResult::Done && result.status != ChildResult::Partial)
        removeTarget();
    return result;
}

} // namespace legacy
