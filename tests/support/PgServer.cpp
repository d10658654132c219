#include "PgServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <QVersionNumber>

#include <algorithm>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace testsupport {

namespace {

// The Debian package keeps the server's programs in a folder named after its
// version, off the PATH: the newest one installed.
QString serverPrograms()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &x, const QString &y) { return QVersionNumber::fromString(x) > QVersionNumber::fromString(y); });
    for (const QString &version : versions)
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(version)))
            return QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
    return QString();
}

} // namespace

PgServer::PgServer(bool durable) : m_folder(QStringLiteral("/tmp/sequanel-pg-XXXXXX")), m_durable(durable)
{
    m_bin = serverPrograms();
    // The socket file is named after the port; the folder is the test's own,
    // so any number will do.
    m_port = 40000 + int(::getpid() % 20000);
    const passwd *pw = ::geteuid() == 0 ? ::getpwnam("postgres") : nullptr;
    if (m_bin.isEmpty() || !m_folder.isValid() || (::geteuid() == 0 && !pw)
        || (pw && ::chown(QFile::encodeName(m_folder.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)) {
        m_error = QStringLiteral("no server programs under /usr/lib/postgresql, or no folder for the postgres user");
        return;
    }
    // The cluster speaks English (connection refusals are told by their text).
    QProcess initdb;
    setUp(initdb);
    initdb.start(m_bin + QStringLiteral("/initdb"), QStringLiteral("-U sequanel -A trust -E UTF8 --locale=C --no-sync -D")
                                                        .split(QLatin1Char(' '))
                                                    << m_folder.filePath(QStringLiteral("data")));
    if (initdb.waitForFinished(120000) && initdb.exitStatus() == QProcess::NormalExit && initdb.exitCode() == 0)
        start();
    else
        m_error = QStringLiteral("initdb failed: %1").arg(logTail());
}

PgServer::~PgServer() { stop(); }

// The programs run as the postgres user when the test runs as root.
void PgServer::setUp(QProcess &process) const
{
    process.setStandardOutputFile(m_folder.filePath(QStringLiteral("server.log")), QIODevice::Append);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (::geteuid() == 0) {
        const passwd *pw = ::getpwnam("postgres");
        const uid_t uid = pw ? pw->pw_uid : 0;
        const gid_t gid = pw ? pw->pw_gid : 0;
        process.setChildProcessModifier([uid, gid] {
            if (uid == 0 || ::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
    }
}

QString PgServer::logTail() const
{
    QFile log(m_folder.filePath(QStringLiteral("server.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(2000)) : QString();
}

bool PgServer::isRunning() const { return m_server && m_server->state() == QProcess::Running; }

bool PgServer::start()
{
    const QString data = m_folder.filePath(QStringLiteral("data"));
    m_server = std::make_unique<QProcess>();
    setUp(*m_server);
    // No TCP port: the Unix socket in the folder only.
    m_server->start(m_bin + QStringLiteral("/postgres"), QStringLiteral("-c listen_addresses= -c fsync=%1 -p %2 -D")
                                                             .arg(m_durable ? QLatin1String("on") : QLatin1String("off"))
                                                             .arg(m_port)
                                                             .split(QLatin1Char(' '))
                                                         << data << QStringLiteral("-k") << m_folder.path());
    // The server writes "ready" as the eighth line of postmaster.pid once it
    // accepts connections.
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && m_server->state() != QProcess::NotRunning) {
        QFile pid(data + QStringLiteral("/postmaster.pid"));
        if (pid.open(QIODevice::ReadOnly) && pid.readAll().split('\n').value(7).trimmed() == "ready")
            return true;
        m_server->waitForFinished(50);
    }
    m_error = QStringLiteral("the server did not start: %1").arg(logTail());
    stop();
    return false;
}

bool PgServer::stop()
{
    if (!m_server)
        return true;
    // The postmaster is this object's child: stopped by its own process id.
    // SIGINT is the fast shutdown; SIGQUIT, the immediate one, if it hangs.
    if (m_server->state() != QProcess::NotRunning)
        ::kill(pid_t(m_server->processId()), SIGINT);
    const bool clean = m_server->state() == QProcess::NotRunning || m_server->waitForFinished(60000);
    if (!clean) {
        ::kill(pid_t(m_server->processId()), SIGQUIT);
        m_server->waitForFinished(10000);
    }
    m_server.reset();
    return clean;
}

QString PgServer::address(const QString &journal) const
{
    return QStringLiteral("postgresql://sequanel@%1:%2/postgres?journal=%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_folder.path())), QString::number(m_port),
             QString::fromLatin1(QUrl::toPercentEncoding(journal)));
}

} // namespace testsupport
