#include "PgServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <QVersionNumber>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/prctl.h>
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

PgServer::PgServer(const Options &options) : m_folder(QStringLiteral("/tmp/sequanel-pg-XXXXXX")), m_options(options)
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
    if (!initdb.waitForFinished(120000) || initdb.exitStatus() != QProcess::NormalExit || initdb.exitCode() != 0) {
        m_error = QStringLiteral("initdb failed: %1").arg(logTail());
        return;
    }
    QFile hba(m_folder.filePath(QStringLiteral("data/pg_hba.conf")));
    QByteArray lines = options.hba.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (hba.open(QIODevice::ReadOnly))
        lines += hba.readAll();
    hba.close();
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || hba.write(lines) != lines.size()) {
        m_error = QStringLiteral("pg_hba.conf not written");
        return;
    }
    hba.close();
    // A CA of the test's own, and the server's certificate for "localhost".
    const QString f = m_folder.path() + QLatin1Char('/');
    const QString key = QStringLiteral(" -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=");
    for (const QString &command : options.tls ? QStringList{"req -x509" + key + "Sequanel-test -keyout " + f + "ca.key -out " + f + "ca.crt",
                                                            "req" + key + "localhost -keyout " + f + "server.key -out " + f + "server.csr",
                                                            "x509 -req -days 2 -in " + f + "server.csr -CA " + f + "ca.crt -CAkey " + f
                                                                + "ca.key -CAcreateserial -out " + f + "server.crt"}
                                              : QStringList()) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), command.split(QLatin1Char(' ')));
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
            m_error = QStringLiteral("openssl %1: %2").arg(command, QString::fromLocal8Bit(openssl.readAllStandardError()));
            return;
        }
    }
    if (options.tls && pw)
        for (const char *name : {"server.key", "server.crt"})
            if (::chown(QFile::encodeName(f + QLatin1String(name)).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                m_error = QStringLiteral("the server's key cannot be given to postgres");
                return;
            }
    start();
}

PgServer::~PgServer() { stop(); }

// The programs run as the postgres user when the test runs as root.
void PgServer::setUp(QProcess &process) const
{
    process.setStandardOutputFile(m_folder.filePath(QStringLiteral("server.log")), QIODevice::Append);
    process.setProcessChannelMode(QProcess::MergedChannels);
    const bool root = ::geteuid() == 0;
    const passwd *pw = root ? ::getpwnam("postgres") : nullptr;
    const uid_t uid = pw ? pw->pw_uid : 0;
    const gid_t gid = pw ? pw->pw_gid : 0;
    // In the namespace first: entering one needs root.
    const QByteArray netns = m_options.netns.isEmpty() ? QByteArray() : "/run/netns/" + m_options.netns.toUtf8();
    process.setChildProcessModifier([root, uid, gid, netns] {
        if (root) {
            const int ns = netns.isEmpty() ? -1 : ::open(netns.constData(), O_RDONLY);
            if ((!netns.isEmpty() && (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0)) || uid == 0
                || ::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        }
        // A test stopped by a signal, or by a wrong argument, runs no
        // destructor: the server then stops (fast) with it, never outliving
        // it. (Set after the change of user, which clears it.)
        ::prctl(PR_SET_PDEATHSIG, SIGINT);
    });
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
    // The Unix socket in the folder, and TCP only where the test asks.
    QStringList arguments = QStringLiteral("-c listen_addresses=%1 -c fsync=%2 -p %3")
                                .arg(m_options.listen, m_options.durable ? QLatin1String("on") : QLatin1String("off"))
                                .arg(m_port)
                                .split(QLatin1Char(' '));
    if (!m_options.messages.isEmpty())
        arguments << QStringLiteral("-c") << QStringLiteral("lc_messages=") + m_options.messages;
    if (m_options.tls)
        arguments << QStringLiteral("-c") << QStringLiteral("ssl=on") << QStringLiteral("-c")
                  << QStringLiteral("ssl_cert_file=") + m_folder.filePath(QStringLiteral("server.crt")) << QStringLiteral("-c")
                  << QStringLiteral("ssl_key_file=") + m_folder.filePath(QStringLiteral("server.key"));
    m_server->start(m_bin + QStringLiteral("/postgres"), arguments << QStringLiteral("-D") << data << QStringLiteral("-k")
                                                                  << m_folder.path());
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

QString PgServer::address(const QString &journal, const QString &host, const QString &user, const QString &parameters) const
{
    return QStringLiteral("postgresql://%1@%2:%3/postgres?journal=%4%5")
        .arg(user, QString::fromLatin1(QUrl::toPercentEncoding(host.isEmpty() ? m_folder.path() : host)),
             QString::number(m_port), QString::fromLatin1(QUrl::toPercentEncoding(journal)),
             parameters.isEmpty() ? QString() : QLatin1Char('&') + parameters);
}

} // namespace testsupport
